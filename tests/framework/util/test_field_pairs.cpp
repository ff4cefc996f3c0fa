// FieldPairsClass and BufferedPairsClass over fields of mixed types.

#include <gtest/gtest.h>

#include "framework/util/field_pairs.h"
#include "runtime/core/assert.h"
#include "runtime/core/fixed_string.h"

namespace {

struct Record { rt::Long id = 0; rt::FixedString<10> name; rt::PackedDecimal<7, 2> amount; };
// id: a number shown as text
struct ListRow { rt::CString<12> id; rt::FixedString<10> name; rt::Real amount = 0; };

class PairsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rec.id = 42;
    rec.name = "Smith";
    ASSERT_TRUE(rec.amount.Store(rt::Decimal::FromText("12.50")));
    rt::testing::ClearAssertionMessages();
  }
  Record rec;
  ListRow row;
};

TEST_F(PairsTest, AssignsBothWaysWithConversion) {
  FieldPairsClass pairs;
  pairs.Init();
  pairs.AddPair(rec.id, row.id);
  pairs.AddPair(rec.name, row.name);
  pairs.AddPair(rec.amount, row.amount);
  EXPECT_EQ(pairs.EqualLeftRight(), 0);
  pairs.AssignLeftToRight();
  EXPECT_EQ(row.id.Str() + "|" + row.name.Str() + "|" + std::to_string(row.amount), "42|Smith|12.500000");
  EXPECT_EQ(pairs.EqualLeftRight() + pairs.Equal(), 2);

  row.id = "7 dwarves";
  row.amount = 0.125;  // rounds half away to 0.13 in DECIMAL(7,2)
  pairs.AssignRightToLeft();
  EXPECT_EQ(std::to_string(rec.id) + " " + rec.amount.Load()->ToString(), "7 0.13");
  EXPECT_EQ(pairs.EqualLeftRight(), 0) << "0.13 is not 0.125";
}

TEST_F(PairsTest, EqualStopsAtTheFirstDifferenceAndClears) {
  FieldPairsClass pairs;
  pairs.Init();
  EXPECT_EQ(pairs.EqualLeftRight(), 1) << "no pairs: equal";
  pairs.AssignLeftToRight();  // nothing to do, nothing breaks
  pairs.AddPair(rec.name, row.name);
  pairs.AddPair(rec.id, row.id);
  row.name = "Smith   ";  // trailing blanks do not count
  row.id = "42";          // numeric text equals the number
  EXPECT_EQ(pairs.EqualLeftRight(), 1);
  row.name = "smith";
  EXPECT_EQ(pairs.EqualLeftRight(), 0) << "case counts in the plain comparison";
  pairs.ClearRight();
  EXPECT_EQ(std::string(row.name.View()) + "|" + row.id.Str() + "|" + std::to_string(rec.id), std::string(10, ' ') + "||42") << "left untouched";
  pairs.ClearLeft();
  EXPECT_EQ(rec.name.Str() + std::to_string(rec.id), "0");
}

TEST_F(PairsTest, LifeCycleWithoutListAndKillKeepsValues) {
  FieldPairsClass pairs;
  pairs.AddPair(rec.id, row.id);  // before Init
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{""});
  pairs.Init();
  pairs.AddPair(rec.id, row.id);
  pairs.Init();  // drops the pair
  EXPECT_EQ(pairs.PairCount(), 0u);
  pairs.AddPair(rec.name, row.name);
  pairs.Kill();
  EXPECT_TRUE(!pairs.HasList() && rec.name.Str() == "Smith") << "Kill keeps the values";
  pairs.AddPair(rec.id, row.id);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 2u);
}

TEST_F(PairsTest, BufferStartsClearedInTheRightFieldsTypeAndComparesCaselessUnlessAsked) {
  row.name = "Jones";
  row.amount = 3.5;
  BufferedPairsClass pairs;
  pairs.Init();
  pairs.AddPair(rec.name, row.name);
  pairs.AddPair(rec.amount, row.amount);
  EXPECT_EQ(row.name.Str(), "Jones") << "AddPair leaves the right field alone";
  pairs.AssignBufferToLeft();  // the cleared buffers: blank and 0
  EXPECT_EQ(rec.name.Str() + rec.amount.Load()->ToString(), "0.00");

  pairs.AssignRightToBuffer();
  EXPECT_EQ(pairs.EqualRightBuffer(), 1);
  row.amount = 3.25;
  EXPECT_EQ(pairs.EqualRightBuffer(), 0);
  pairs.AssignBufferToRight();
  EXPECT_EQ(row.amount, 3.5);
  // A Real buffer keeps what a DECIMAL(7,2) could not.
  row.amount = 0.125;
  pairs.AssignRightToBuffer();
  pairs.AssignBufferToLeft();
  pairs.AssignLeftToBuffer();
  EXPECT_EQ(pairs.EqualRightBuffer(true), 0) << "the buffer now holds 0.13";

  // Buffered comparisons ignore case unless asked.
  row.name = "XYZ";
  row.amount = 3.5;
  pairs.AssignRightToBuffer();
  pairs.AssignBufferToLeft();
  row.name = "xyz";
  EXPECT_EQ(pairs.EqualRightBuffer() * 10 + pairs.EqualRightBuffer(true), 10);
  rec.name = "xYz  ";
  EXPECT_EQ(pairs.EqualLeftBuffer() * 10 + pairs.EqualLeftBuffer(true), 10);
}

}  // namespace
