// BIND scopes: names found innermost first, hidden and revealed by push/pop, a whole record bound
// at once, a stray pop refused, and each program thread with its own scopes.

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "runtime/core/assert.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "tests/runtime/data/afile_record.h"

namespace {

TEST(BindScopes, InnerScopeHidesOuterUntilPopped) {
  rt::Long outer = 1, inner = 2, other = 3;
  rt::BindScopes scopes;
  scopes.Bind("AFI:ID", outer);
  scopes.Bind("LOC:OTHER", other);
  scopes.Push();
  scopes.Bind("afi:id", inner);  // same name, any case
  EXPECT_TRUE(scopes.Find("AFI:ID").IsSameField(rt::FieldRef(inner)));
  EXPECT_TRUE(scopes.Find("loc:other").IsSameField(rt::FieldRef(other)));  // outer names stay visible
  scopes.Pop();
  EXPECT_TRUE(scopes.Find("Afi:Id").IsSameField(rt::FieldRef(outer)));
  EXPECT_EQ(scopes.Depth(), 1u);
}

TEST(BindScopes, NamesOfAPoppedScopeAreGone) {
  rt::Long value = 5;
  rt::BindScopes scopes;
  scopes.Push();
  scopes.Bind("LOC:TEMP", value);
  scopes.Pop();
  EXPECT_TRUE(scopes.Find("LOC:TEMP").IsNull());
  const auto parsed = rt::Expression::Parse("LOC:TEMP = 5", scopes);
  ASSERT_FALSE(parsed);
  EXPECT_EQ(parsed.Error().problem, rt::ExpressionProblem::UnknownName);
}

TEST(BindScopes, RebindingInTheSameScopeReplaces) {
  rt::Long first = 1, second = 2;
  rt::BindScopes scopes;
  scopes.Bind("X", first);
  scopes.Bind("x", second);
  EXPECT_TRUE(scopes.Find("X").IsSameField(rt::FieldRef(second)));
  scopes.Push();
  scopes.Pop();  // the outer scope was not disturbed by the replacement
  EXPECT_TRUE(scopes.Find("X").IsSameField(rt::FieldRef(second)));
}

TEST(BindScopes, StrayPopIsReportedAndKeepsOneScope) {
  rt::Long value = 1;
  rt::BindScopes scopes;
  scopes.Bind("X", value);
  rt::testing::ClearAssertionMessages();
  scopes.Pop();
  ASSERT_EQ(rt::testing::AssertionMessages().size(), 1u);
  EXPECT_EQ(scopes.Depth(), 1u);
  EXPECT_TRUE(scopes.Find("X").IsNull());
  scopes.Bind("X", value);  // still usable
  EXPECT_FALSE(scopes.Find("X").IsNull());
}

// An expression keeps the fields it was parsed against: popping the scope later does not
// change what it reads.
TEST(BindScopes, ExpressionKeepsFieldsResolvedAtParse) {
  rt::Long outer = 1, inner = 2;
  rt::BindScopes scopes;
  scopes.Bind("N", outer);
  scopes.Push();
  scopes.Bind("N", inner);
  const auto parsed = rt::Expression::Parse("N = 2", scopes);
  scopes.Pop();
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->IsTrue());
  inner = 3;
  EXPECT_FALSE(parsed->IsTrue());
}

TEST(BindScopes, BindRecordBindsEveryFieldOfTheLayout) {
  test_afile::AFI_Record record;
  record.ID = 7;
  record.ASTRING = "seven";
  ASSERT_TRUE(record.ADECIMAL.Store(rt::Decimal::FromText("7.25")));
  rt::BindScopes scopes;
  scopes.BindRecord(test_afile::AFileLayout(), &record);
  const auto parsed = rt::Expression::Parse("AFI:ID = 7 AND AFI:ASTRING = 'seven' AND AFI:ADECIMAL = 7.25 AND AFI:ADATE = 0", scopes);
  ASSERT_TRUE(parsed) << parsed.Error().message;
  EXPECT_TRUE(parsed->IsTrue());
  record.ADATE = 1;
  EXPECT_FALSE(parsed->IsTrue());
}

// The thread's scopes: what one program thread binds another does not see, and pushes and
// pops on one thread leave the other's alone.
TEST(ThreadBinds, EachThreadHasItsOwn) {
  rt::Long mine = 1;
  rt::PushBind();
  rt::Bind("T:VALUE", mine);
  ASSERT_TRUE(rt::Expression::Parse("T:VALUE = 1"));

  bool otherSawMine = true, otherParsedOwn = false;
  std::size_t otherDepth = 0;
  std::thread other([&] {
    otherSawMine = !rt::ThreadBinds().Find("T:VALUE").IsNull();
    rt::Long theirs = 2;
    rt::PushBind();
    rt::PushBind();
    rt::Bind("T:VALUE", theirs);
    otherParsedOwn = rt::Expression::Parse("T:VALUE = 2") && rt::Expression::Parse("T:VALUE = 2")->IsTrue();
    otherDepth = rt::ThreadBinds().Depth();
    rt::PopBind();
    rt::PopBind();
  });
  other.join();

  EXPECT_FALSE(otherSawMine);
  EXPECT_TRUE(otherParsedOwn);
  EXPECT_EQ(otherDepth, 3u);
  EXPECT_EQ(rt::ThreadBinds().Depth(), 2u);
  EXPECT_TRUE(rt::ThreadBinds().Find("T:VALUE").IsSameField(rt::FieldRef(mine)));
  rt::PopBind();
  EXPECT_TRUE(rt::ThreadBinds().Find("T:VALUE").IsNull());
}

TEST(ThreadBinds, BindGBindsARecordForTheThread) {
  test_afile::AFI_Record record;
  record.ID = 42;
  rt::PushBind();
  rt::BindG(test_afile::AFileLayout(), &record);
  const auto parsed = rt::Expression::Parse("AFI:ID = 42");
  rt::PopBind();
  ASSERT_TRUE(parsed) << parsed.Error().message;
  EXPECT_TRUE(parsed->IsTrue());
}

}  // namespace
