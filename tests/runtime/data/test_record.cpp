// Record layouts and whole-record buffers: fields by number and bound name, save/compare/restore
// as bytes, and malformed layouts.

#include <gtest/gtest.h>

#include <cstring>

#include "runtime/core/assert.h"
#include "runtime/core/date_time.h"
#include "runtime/core/picture.h"
#include "runtime/data/record.h"
#include "tests/runtime/data/afile_record.h"

namespace {

using test_afile::AFI_Record;
using test_afile::AFileLayout;

// Malformed tables: outside the record, overlapping, repeated name. Each is reported and dropped.
TEST(RecordLayout, MalformedFieldsAreReportedAndLeftOut) {
  struct Two {
    rt::Long a = 0;
    rt::Long b = 0;
  };
  rt::testing::ClearAssertionMessages();
  const rt::RecordLayout layout(sizeof(Two), {
      rt::LayoutField("T:A", &Two::a),
      {"T:OVER", rt::FieldShape::Of(rt::FieldType::Long), 2, ""},     // overlaps A and B
      {"T:OUT", rt::FieldShape::Of(rt::FieldType::Real), 4, ""},      // 4 + 8 > 8
      {"t:a", rt::FieldShape::Of(rt::FieldType::Long), 4, ""},        // name repeated (case aside)
      rt::LayoutField("T:B", &Two::b),
  });
  EXPECT_EQ(layout.FieldCount(), 2u);
  EXPECT_EQ(layout.FieldNumber("T:B"), 2u);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 3u);
}

// Every field's text through the layout, "|" between.
std::string Fields(const rt::RecordRef& rec) {
  std::string out;
  for (std::size_t i = 1; i <= AFileLayout().FieldCount(); ++i) out += (i > 1 ? "|" : "") + rec.Field(i).Text();
  return out;
}

AFI_Record SampleRecord() {
  AFI_Record r;
  r.ID = 1234;
  r.ASTRING = "Zürich";
  EXPECT_TRUE(r.ADECIMAL.Store(rt::Decimal::FromText("-12345.67")));
  r.ADATE = rt::DateFromCivil(2026, 1, 5);
  r.ATIME = rt::TimeFromParts(13, 45, 0);
  return r;
}

// Save, change, compare, restore: the buffer comes back byte for byte.
TEST(RecordRef, SaveCompareRestoreAsBytes) {
  AFI_Record r = SampleRecord();
  const rt::RecordRef rec(r, AFileLayout());
  const std::string sample = Fields(rec);
  const rt::SavedRecord saved = rec.Save();
  ASSERT_EQ(saved.size(), 36u);
  EXPECT_TRUE(rec.IsSameAs(saved));

  rec.Field("AFI:ATIME").SetText("1");
  EXPECT_FALSE(rec.IsSameAs(saved));
  r.ID = 0;
  rec.Restore(saved);
  EXPECT_TRUE(rec.IsSameAs(saved));
  EXPECT_EQ(Fields(rec), sample);

  // A copy of another record's size is refused, the buffer untouched.
  rt::testing::ClearAssertionMessages();
  rec.Restore(rt::SavedRecord(35, std::byte{0}));
  EXPECT_EQ(Fields(rec), sample);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 1u);
}

// Fields reached through the layout, by 1-based number (both ends checked) or by name in any
// case, read and write the struct members themselves, and the stored date/time format: the
// standard numbers as little-endian Longs.
TEST(RecordRef, FieldsReadAndWriteTheStruct) {
  const rt::RecordLayout& layout = AFileLayout();
  EXPECT_EQ(layout.Field(0), nullptr);
  EXPECT_EQ(layout.Field(6), nullptr);
  EXPECT_EQ(layout.FieldNumber("afi:adecimal"), 3u);
  EXPECT_EQ(layout.FieldNumber("ADECIMAL"), 0u) << "the bound name includes the prefix";
  AFI_Record r = SampleRecord();
  const rt::RecordRef rec(r, AFileLayout());
  EXPECT_EQ(Fields(rec), "1234|Zürich|-12345.67|" + std::to_string(rt::DateFromCivil(2026, 1, 5)) + "|" +
                             std::to_string(rt::TimeFromParts(13, 45, 0)));
  EXPECT_TRUE(rec.Field(99).IsNull());

  EXPECT_TRUE(rec.Field("AFI:ADATE").SetText("82000"));
  unsigned char raw[4];
  std::memcpy(raw, reinterpret_cast<const char*>(&r) + 28, 4);
  EXPECT_EQ(raw[0] | raw[1] << 8 | raw[2] << 16 | raw[3] << 24, 82000);
  EXPECT_EQ(r.ADATE, 82000);

  // The picture travels with the field, so a list can format it.
  const rt::FieldLayout& decimal = *AFileLayout().Field(3);
  EXPECT_EQ(rt::Format(*r.ADECIMAL.Load(), decimal.picture), "-12,345.67");
}

}  // namespace
