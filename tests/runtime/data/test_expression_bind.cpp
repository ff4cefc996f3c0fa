// BIND scopes: names found innermost first, hidden and revealed by push/pop, a stray pop refused,
// and each program thread with its own scopes (a whole record bound: the property test and views).

#include <gtest/gtest.h>

#include <thread>

#include "runtime/core/assert.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "tests/runtime/data/afile_record.h"

namespace {

// Inner names hide outer ones (any case) until popped, outer ones stay visible, a popped scope's
// names are gone, a rebind in one scope replaces, and an expression keeps the fields it was
// parsed against after their scope is popped.
TEST(BindScopes, InnerScopesHideOuterNamesUntilPopped) {
  rt::Long outer = 1, inner = 2, other = 3, temp = 5;
  rt::BindScopes scopes;
  scopes.Bind("AFI:ID", other);
  scopes.Bind("afi:id", outer);  // a rebind in the same scope replaces
  scopes.Bind("LOC:OTHER", other);
  scopes.Push();
  scopes.Bind("Afi:Id", inner);
  scopes.Bind("LOC:TEMP", temp);
  EXPECT_TRUE(scopes.Find("AFI:ID").IsSameField(rt::FieldRef(inner)));
  EXPECT_TRUE(scopes.Find("loc:other").IsSameField(rt::FieldRef(other)));
  const auto parsed = rt::Expression::Parse("AFI:ID = 2", scopes);
  scopes.Pop();
  EXPECT_TRUE(scopes.Find("afi:id").IsSameField(rt::FieldRef(outer)));
  EXPECT_TRUE(scopes.Find("LOC:TEMP").IsNull());
  EXPECT_EQ(rt::Expression::Parse("LOC:TEMP = 5", scopes).Error().problem, rt::ExpressionProblem::UnknownName);
  EXPECT_EQ(scopes.Depth(), 1u);
  ASSERT_TRUE(parsed);
  EXPECT_TRUE(parsed->IsTrue()) << "the expression reads the field it was parsed against";
  inner = 3;
  EXPECT_FALSE(parsed->IsTrue());

  // A stray pop is reported; the outermost scope stays, emptied, and still takes names.
  rt::testing::ClearAssertionMessages();
  scopes.Pop();
  ASSERT_EQ(rt::testing::AssertionMessages().size(), 1u);
  EXPECT_EQ(scopes.Depth(), 1u);
  EXPECT_TRUE(scopes.Find("LOC:OTHER").IsNull());
  scopes.Bind("LOC:OTHER", other);
  EXPECT_FALSE(scopes.Find("LOC:OTHER").IsNull());
}

// The thread's scopes: what one program thread binds another does not see, and pushes and
// pops on one thread leave the other's alone.
TEST(ThreadBinds, EachThreadHasItsOwn) {
  rt::Long mine = 1;
  rt::PushBind();
  rt::Bind("T:VALUE", mine);
  ASSERT_TRUE(rt::Expression::Parse("T:VALUE = 1"));

  bool otherSawMine = true, otherParsedOwn = false;
  std::thread other([&] {
    otherSawMine = !rt::ThreadBinds().Find("T:VALUE").IsNull();
    rt::Long theirs = 2;
    rt::PushBind();
    rt::Bind("T:VALUE", theirs);
    otherParsedOwn = rt::Expression::Parse("T:VALUE = 2") && rt::Expression::Parse("T:VALUE = 2")->IsTrue();
    rt::PushBind();  // left pushed: only that thread's scopes grow
  });
  other.join();

  EXPECT_FALSE(otherSawMine);
  EXPECT_TRUE(otherParsedOwn);
  EXPECT_EQ(rt::ThreadBinds().Depth(), 2u);
  EXPECT_TRUE(rt::ThreadBinds().Find("T:VALUE").IsSameField(rt::FieldRef(mine)));
  rt::PopBind();
  EXPECT_TRUE(rt::ThreadBinds().Find("T:VALUE").IsNull());
}

}  // namespace
