// FieldRef: assignment between every pair of field types that the framework mixes (numbers,
// decimals, strings, dates), with the boundary pairs where a value stops fitting; comparison
// across types; clearing to zero and to either end; the null reference.

#include <gtest/gtest.h>

#include <string>

#include "runtime/core/assert.h"
#include "runtime/data/field_ref.h"
#include "tests/support/param_names.h"

namespace {

enum class K { Long, Short, UShort, Byte, Real, Dec72, Dec50, Str5, CStr4, Date, Time };

// One variable of each kind, reached by kind.
struct Vars {
  rt::Long l = 0;
  rt::Short s = 0;
  rt::UShort u = 0;
  rt::Byte b = 0;
  rt::Real r = 0;
  rt::PackedDecimal<7, 2> d72;
  rt::PackedDecimal<5, 0> d50;
  rt::FixedString<5> str;
  rt::CString<4> cstr;  // three characters
  rt::Long date = 0, time = 0;

  rt::FieldRef Ref(K k) {
    switch (k) {
      case K::Long: return l;
      case K::Short: return s;
      case K::UShort: return u;
      case K::Byte: return b;
      case K::Real: return r;
      case K::Dec72: return d72;
      case K::Dec50: return d50;
      case K::Str5: return str;
      case K::CStr4: return cstr;
      case K::Date: return rt::FieldRef::Date(date);
      case K::Time: return rt::FieldRef::Time(time);
    }
    return {};
  }
};

struct AssignCase {
  const char* reason;
  K from;
  const char* source;  // set with SetText, then checked to read back as `sourceText`
  const char* sourceText;
  K to;
  bool fits;
  const char* expected;  // the target's Text() afterwards; when !fits, its old value "7"
};

class FieldAssign : public ::testing::TestWithParam<AssignCase> {};

TEST_P(FieldAssign, ConvertsAsTheRuntimeAssigns) {
  const AssignCase& c = GetParam();
  Vars v;
  const rt::FieldRef from = v.Ref(c.from), to = v.Ref(c.to);
  ASSERT_TRUE(from.SetText(c.source));
  ASSERT_EQ(from.Text(), c.sourceText);
  ASSERT_TRUE(to.SetText("7"));
  EXPECT_EQ(to.Assign(from), c.fits);
  EXPECT_EQ(to.Text(), c.expected);
}

const AssignCase kAssignCases[] = {
    // 1.x numbers to text
    {"1.2 Long cut at the string's size", K::Long, "-2147483648", "-2147483648", K::Str5, true, "-2147"},
    {"1.3 Real without trailing zeros", K::Real, "2.50", "2.5", K::Str5, true, "2.5"},
    {"1.4 Decimal drops zero places", K::Dec72, "12.30", "12.3", K::Str5, true, "12.3"},
    {"1.5 Real at 15 significant digits, not 17", K::Real, "0.1", "0.1", K::Str5, true, "0.1"},
    {"1.7 Time into CString cut to 3", K::Time, "4500001", "4500001", K::CStr4, true, "450"},
    // 2.x text to numbers: the leading number
    {"2.1 leading number", K::Str5, "12kg", "12kg", K::Long, true, "12"},
    {"2.2 sign and blanks, truncated", K::Str5, " -3.9", " -3.9", K::Long, true, "-3"},
    {"2.3 no number reads 0", K::Str5, "abc", "abc", K::Long, true, "0"},
    {"2.5 exponent not read", K::Str5, "1e5", "1e5", K::Real, true, "1"},
    {"2.6 text to decimal rounds half away", K::Str5, "1.005", "1.005", K::Dec72, true, "1.01"},
    {"2.7 negative half away", K::Str5, "-.005", "-.005", K::Dec72, true, "-0.01"},
    {"2.8 text to date", K::CStr4, "123", "123", K::Date, true, "123"},
    // 3.x integer ranges, boundary pairs
    {"3.1 Short max fits", K::Long, "32767", "32767", K::Short, true, "32767"},
    {"3.2 Short max + 1 refused", K::Long, "32768", "32768", K::Short, false, "7"},
    {"3.3 Short min fits", K::Long, "-32768", "-32768", K::Short, true, "-32768"},
    {"3.4 Short min - 1 refused", K::Long, "-32769", "-32769", K::Short, false, "7"},
    {"3.5 UShort 65535 fits", K::Long, "65535", "65535", K::UShort, true, "65535"},
    {"3.6 UShort -1 refused", K::Long, "-1", "-1", K::UShort, false, "7"},
    {"3.7 Byte 255 fits", K::Real, "255.9", "255.9", K::Byte, true, "255"},
    {"3.8 Byte 256 refused", K::Real, "256", "256", K::Byte, false, "7"},
    {"3.9 Real past Long refused", K::Real, "2147483648", "2147483648", K::Long, false, "7"},
    {"3.10 Real truncates toward zero", K::Real, "-2.99", "-2.99", K::Long, true, "-2"},
    {"3.11 Decimal truncates", K::Dec72, "-99999.99", "-99999.99", K::Long, true, "-99999"},
    // 4.x decimals: exact between decimals, overflow pairs
    {"4.1 largest DECIMAL(7,2)", K::Str5, "99999", "99999", K::Dec72, true, "99999"},
    {"4.2 one digit too many", K::Long, "100000", "100000", K::Dec72, false, "7"},
    {"4.3 rounding up into overflow", K::Real, "99999.995", "99999.995", K::Dec72, false, "7"},
    {"4.4 just below it rounds down", K::Real, "99999.994", "99999.994", K::Dec72, true, "99999.99"},
    {"4.5 decimal to fewer places rounds", K::Dec72, "2.5", "2.5", K::Dec50, true, "3"},
    {"4.7 DECIMAL(5,0) overflow", K::Dec72, "99999.5", "99999.5", K::Dec50, false, "7"},
    {"4.8 Real 0.1 to decimal exact", K::Real, "0.1", "0.1", K::Dec72, true, "0.1"},
    {"4.9 decimal to real", K::Dec72, "12.34", "12.34", K::Real, true, "12.34"},
    // 5.x text to text: cut never inside a UTF-8 character
    {"5.1 fits exactly", K::CStr4, "äb", "äb", K::Str5, true, "äb"},
    {"5.2 3-byte char cut whole", K::Str5, "ab€", "ab€", K::CStr4, true, "ab"},
    {"5.3 2-byte char just past the end", K::Str5, "abcé", "abcé", K::CStr4, true, "abc"},
    {"5.4 2-byte char across the end", K::Str5, "abé", "abé", K::CStr4, true, "ab"},
};

INSTANTIATE_TEST_SUITE_P(Pairs, FieldAssign, ::testing::ValuesIn(kAssignCases), ByReason());

// Text fields are written straight from the text: each case first fills the field with "xyz..."
// so that a tail left behind by a shorter value would show.
struct TextCase {
  const char* reason;
  bool cString;           // CString<6> (five characters) or FixedString<5>
  const char* text;
  const char* bytes;      // the field's bytes afterwards (a CString's up to its terminator)
  const char* readBack;   // Text()
};

const TextCase kTextCases[] = {
    {"1.1 string shorter than the field is blank-padded", false, "ab", "ab   ", "ab"},
    {"1.2 string exactly the field", false, "abcde", "abcde", "abcde"},
    {"1.3 string one over is cut", false, "abcdef", "abcde", "abcde"},
    {"1.4 string cut before a character that would not fit", false, "abcdé", "abcd ", "abcd"},
    {"2.1 cstring shorter is zero-terminated", true, "ab", "ab", "ab"},
    {"2.2 cstring exactly its characters", true, "abcde", "abcde", "abcde"},
    {"2.3 cstring one over is cut", true, "abcdef", "abcde", "abcde"},
    {"2.4 cstring keeps trailing blanks", true, "ab  ", "ab  ", "ab  "},
};

class FieldText : public ::testing::TestWithParam<TextCase> {};

TEST_P(FieldText, WritesTheTextAndClearsTheRest) {
  const TextCase& c = GetParam();
  rt::FixedString<5> str;
  rt::CString<6> cstr;
  const rt::FieldRef ref = c.cString ? rt::FieldRef(cstr) : rt::FieldRef(str);
  ASSERT_TRUE(ref.SetText("xyzxyzxyz"));
  ASSERT_TRUE(ref.SetText(c.text));
  if (c.cString) {
    EXPECT_EQ(std::string(cstr.View()), c.bytes);
    const char* raw = reinterpret_cast<const char*>(ref.Address());
    for (std::size_t i = std::string(c.bytes).size(); i < 6; ++i) EXPECT_EQ(raw[i], '\0') << "byte " << i;
  } else {
    EXPECT_EQ(std::string(str.View()), c.bytes);
  }
  EXPECT_EQ(ref.Text(), c.readBack);
}

INSTANTIATE_TEST_SUITE_P(Cases, FieldText, ::testing::ValuesIn(kTextCases), ByReason());

// A field set from its own bytes (a view of itself, shifted) reads back the moved text.
TEST(FieldRef, SetTextFromItsOwnBytes) {
  rt::FixedString<5> s;
  const rt::FieldRef ref(s);
  ASSERT_TRUE(ref.SetText("abcde"));
  ASSERT_TRUE(ref.SetText(std::string_view(reinterpret_cast<const char*>(ref.Address()) + 2, 3)));
  EXPECT_EQ(ref.Text(), "cde");
}

struct CompareCase {
  const char* reason;
  K a;
  const char* aText;
  K b;
  const char* bText;
  int expected;
};

class FieldCompare : public ::testing::TestWithParam<CompareCase> {};

TEST_P(FieldCompare, ComparesAcrossTypes) {
  const CompareCase& c = GetParam();
  Vars va, vb;
  ASSERT_TRUE(va.Ref(c.a).SetText(c.aText));
  ASSERT_TRUE(vb.Ref(c.b).SetText(c.bText));
  EXPECT_EQ(va.Ref(c.a).Compare(vb.Ref(c.b)), c.expected);
  EXPECT_EQ(vb.Ref(c.b).Compare(va.Ref(c.a)), -c.expected) << "antisymmetric";
}

const CompareCase kCompareCases[] = {
    {"1 Long vs Real equal", K::Long, "5", K::Real, "5.0", 0},
    {"2 Decimal vs Real 0.1", K::Dec72, "0.10", K::Real, "0.1", 0},
    {"3 Decimal cents", K::Dec72, "-0.01", K::Long, "0", -1},
    {"4 signed vs unsigned", K::Long, "-1", K::UShort, "0", -1},
    {"5 numeric text numerically", K::Str5, "10", K::Long, "9", 1},
    {"6 other text as text", K::Str5, "x", K::Long, "9", 1},
    {"7 trailing blanks ignored", K::Str5, "ab", K::CStr4, "ab ", 0},
    {"8 case counts", K::Str5, "ab", K::CStr4, "AB", 1},
    {"9 prefix is smaller", K::Str5, "ab", K::CStr4, "abc", -1},
    {"11 date vs Long", K::Date, "82000", K::Long, "82001", -1},
    {"12 decimals of other shapes", K::Dec72, "12.00", K::Dec50, "12", 0},
};

INSTANTIATE_TEST_SUITE_P(Pairs, FieldCompare, ::testing::ValuesIn(kCompareCases), ByReason());

// Clearing: zero or blank, and the two ends, checked by comparing with neighbours.
TEST(FieldRef, ClearToZeroAndBothEnds) {
  struct Row {
    K kind;
    const char* high;
    const char* low;
  };
  const Row rows[] = {
      {K::Long, "2147483647", "-2147483648"}, {K::Short, "32767", "-32768"}, {K::UShort, "65535", "0"},
      {K::Byte, "255", "0"},                  {K::Dec72, "99999.99", "-99999.99"}, {K::Dec50, "99999", "-99999"},
      {K::Date, "2147483647", "-2147483648"},
  };
  for (const Row& row : rows) {
    Vars v;
    const rt::FieldRef f = v.Ref(row.kind);
    ASSERT_TRUE(f.SetText("3"));
    f.Clear(1);
    EXPECT_EQ(f.Text(), row.high);
    f.Clear(-1);
    EXPECT_EQ(f.Text(), row.low);
    f.Clear();
    EXPECT_EQ(f.Text(), "0");
  }
  Vars v;
  v.r = 1;
  v.Ref(K::Real).Clear(1);
  EXPECT_GT(v.r, 1e300);
  v.Ref(K::Real).Clear(-1);
  EXPECT_LT(v.r, -1e300);

  // Strings: the high end sorts after any text, the low end before any.
  rt::FixedString<5> probe("zzzzz");
  v.Ref(K::Str5).Clear(1);
  EXPECT_GT(v.Ref(K::Str5).Compare(probe), 0);
  v.Ref(K::Str5).Clear(-1);
  probe = "!";
  EXPECT_LT(v.Ref(K::Str5).Compare(probe), 0) << "bytes 0 sort before any printable text";
  probe = "";
  EXPECT_LT(v.Ref(K::Str5).Compare(probe), 0) << "and before blanks";
  v.Ref(K::Str5).Clear();
  EXPECT_EQ(v.str.View(), "     ");
  v.Ref(K::CStr4).Clear(1);
  EXPECT_EQ(v.cstr.View().size(), 3u) << "the terminator stays";
}

// A cleared value of another field's shape: the pair buffers are made this way.
TEST(FieldValue, ClearedLikeHasTheShapeAndTheClearedValue) {
  rt::FixedString<5> s("abc");
  rt::PackedDecimal<7, 2> d;
  ASSERT_TRUE(d.Store(rt::Decimal::FromText("1.5")));
  rt::FieldValue sv = rt::FieldValue::ClearedLike(s), dv = rt::FieldValue::ClearedLike(d);
  EXPECT_EQ(sv.Ref().Shape(), rt::FieldRef(s).Shape());
  EXPECT_EQ(sv.Ref().Text(), "");
  EXPECT_EQ(dv.Ref().Text(), "0");
  EXPECT_EQ(s.Str(), "abc") << "the model is not touched";
  ASSERT_TRUE(dv.Ref().Assign(d));
  EXPECT_EQ(dv.Ref().Compare(d), 0);
}

// The null reference: holding it is fine; using it is a reported programming error.
TEST(FieldRef, NullReferenceAssertsOnUse) {
  rt::testing::ClearAssertionMessages();
  const rt::FieldRef none;
  rt::Long l = 4;
  EXPECT_TRUE(none.IsNull());
  EXPECT_FALSE(rt::FieldRef(l).Assign(none));
  EXPECT_EQ(l, 4);
  EXPECT_EQ(none.Text(), "");
  none.Clear();
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 3u);
}

}  // namespace
