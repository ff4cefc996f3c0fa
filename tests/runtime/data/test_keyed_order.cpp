// Key order equals the runtime's own comparison: for every field type the encoded key bytes
// (compared as SQLite's BINARY collation does, with memcmp) order two values exactly as
// FieldRef::Compare does, descending components reverse it, case-insensitive keys fold letters.
// That a file reads in its keys' order is test_driver_files.cpp's and the views' (and the
// server's against KEYED in test_pg_driver.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/field_ref.h"
#include "runtime/data/key_encoding.h"
#include "tests/support/param_names.h"

namespace {

struct AllTypes {
  rt::Long L = 0;
  rt::Short S = 0;
  rt::UShort U = 0;
  rt::Byte B = 0;
  rt::Real R = 0;
  rt::PackedDecimal<31, 4> D;
  rt::FixedString<6> STR;
  rt::CString<6> CSTR;
  rt::Long DATE = 0;
  rt::Long TIME = 0;
};

const rt::RecordLayout& AllLayout() {
  static const rt::RecordLayout layout(sizeof(AllTypes), {
      rt::LayoutField("ALL:L", &AllTypes::L), rt::LayoutField("ALL:S", &AllTypes::S),
      rt::LayoutField("ALL:U", &AllTypes::U), rt::LayoutField("ALL:B", &AllTypes::B),
      rt::LayoutField("ALL:R", &AllTypes::R), rt::LayoutField("ALL:D", &AllTypes::D),
      rt::LayoutField("ALL:STR", &AllTypes::STR), rt::LayoutField("ALL:CSTR", &AllTypes::CSTR),
      rt::LayoutDate("ALL:DATE", &AllTypes::DATE), rt::LayoutTime("ALL:TIME", &AllTypes::TIME),
  });
  return layout;
}

int Sign(int v) { return v < 0 ? -1 : (v > 0 ? 1 : 0); }

std::string Encode(std::size_t field, const AllTypes& record, bool ascending = true, bool noCase = false) {
  return rt::EncodeOrder({{field, ascending, noCase}}, AllLayout(), &record);
}

int CompareBytes(const std::string& a, const std::string& b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return Sign(c != 0 ? c : static_cast<int>(a.size()) - static_cast<int>(b.size()));
}

struct TypeCase {
  const char* reason;
  std::size_t field;
  std::vector<std::function<void(AllTypes&)>> values;  // each sets the field to one value
};

std::vector<TypeCase> TypeCases() {
  auto text = [](const char* v) { return [v](AllTypes& r) { r.STR = v; }; };
  auto ctext = [](const char* v) { return [v](AllTypes& r) { r.CSTR = v; }; };
  auto dec = [](const char* v) { return [v](AllTypes& r) { ASSERT_TRUE(r.D.Store(rt::Decimal::FromText(v))); }; };
  auto real = [](double v) { return [v](AllTypes& r) { r.R = v; }; };
  auto along = [](rt::Long v) { return [v](AllTypes& r) { r.L = v; }; };
  auto ashort = [](rt::Short v) { return [v](AllTypes& r) { r.S = v; }; };
  return {
      {"Long signed, both limits", 1, {along(INT32_MIN), along(-1), along(0), along(1), along(255), along(256), along(INT32_MAX)}},
      {"Short signed", 2, {ashort(INT16_MIN), ashort(-2), ashort(0), ashort(7), ashort(INT16_MAX)}},
      {"UShort", 3, {[](AllTypes& r) { r.U = 0; }, [](AllTypes& r) { r.U = 255; }, [](AllTypes& r) { r.U = 65535; }}},
      {"Byte", 4, {[](AllTypes& r) { r.B = 0; }, [](AllTypes& r) { r.B = 127; }, [](AllTypes& r) { r.B = 255; }}},
      {"Real with negatives, zeros and extremes", 5,
       {real(-std::numeric_limits<double>::max()), real(-1e10), real(-0.5), real(-0.0), real(0.0), real(0.5),
        real(2), real(std::numeric_limits<double>::max())}},
      {"Decimal of 31 digits beyond 64 bits", 6,
       {dec("-999999999999999999999999999.9999"), dec("-18446744073709551616"), dec("-0.0001"), dec("0"), dec("0.0001"),
        dec("1.5"), dec("1.50"), dec("18446744073709551616"), dec("999999999999999999999999999.9999")}},
      {"String blank padded, bytes below a blank first", 7,
       {text(""), text("\t"), text("a\t"), text("a"), text("a "), text("a b"), text("ab"), text("b"), text("\xC3\xA9")}},
      {"CString blank padded", 8, {ctext(""), ctext("\x01"), ctext("A"), ctext("A  "), ctext("AB"), ctext("a")}},
      {"Date", 9, {[](AllTypes& r) { r.DATE = 0; }, [](AllTypes& r) { r.DATE = 4; }, [](AllTypes& r) { r.DATE = 80000; }}},
      {"Time", 10, {[](AllTypes& r) { r.TIME = 0; }, [](AllTypes& r) { r.TIME = 1; }, [](AllTypes& r) { r.TIME = 8640000; }}},
  };
}

class KeyEncodingOrder : public ::testing::TestWithParam<TypeCase> {};

TEST_P(KeyEncodingOrder, EveryPairOrdersAsCompareDoesAndDescendingReversesIt) {
  const TypeCase& c = GetParam();
  const rt::FieldLayout& field = *AllLayout().Field(c.field);
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    for (std::size_t j = 0; j < c.values.size(); ++j) {
      AllTypes a, b;
      c.values[i](a);
      c.values[j](b);
      const int expected = Sign(rt::FieldRef(field, &a).Compare(rt::FieldRef(field, &b)));
      EXPECT_EQ(CompareBytes(Encode(c.field, a), Encode(c.field, b)), expected) << "values " << i << " and " << j;
      EXPECT_EQ(CompareBytes(Encode(c.field, a, false), Encode(c.field, b, false)), -expected) << "descending " << i << ", " << j;
      EXPECT_EQ(Encode(c.field, a).size(), Encode(c.field, b).size()) << "components have one width per field";
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Types, KeyEncodingOrder, ::testing::ValuesIn(TypeCases()),
                         ByReason());

}  // namespace
