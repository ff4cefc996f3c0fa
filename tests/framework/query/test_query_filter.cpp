// QueryClass's filter text: what each typed value turns into, and that over-long values and
// filters are cut, never broken. How the expression language reads the text is its own test's.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/query/query_class.h"
#include "runtime/core/assert.h"
#include "runtime/core/date_time.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"

namespace {

class TestQuery : public QueryClass {
 public:
  explicit TestQuery(rt::Byte kind = QueryKind::Range) : kind_(kind) {
    Init("Test", nullptr, nullptr);
    AddItem("Q:NAME", "Name", "S40");
    AddItem("Q:ID", "Id", "N9");
    AddItem("UPPER(Q:CITY)", "City", "S20");
    AddItem("Q:DATE", "Date", "D17");
  }
  rt::Byte Kind() const override { return kind_; }

 private:
  rt::Byte kind_;
};

struct FilterCase { const char* reason; rt::Byte kind; const char* field; std::string low, middle, high; std::string expected; };

TEST(QueryFilter, TypedValuesBecomeThisFilter) {
  const rt::Byte R = QueryKind::Range, One = QueryKind::OneValue;
  const FilterCase cases[] = {
      // 1.x a string field
      {"1_1 a plain value is an equality", R, "Q:NAME", "", "abc", "", "(Q:NAME = 'abc')"},
      {"1_2 a leading star contains", R, "Q:NAME", "", "*abc", "", "INSTRING('abc',Q:NAME,1,1) <> 0"},
      {"1_3 a trailing star begins", R, "Q:NAME", "", "abc*", "", "SUB(Q:NAME,1,3) = 'abc'"},
      {"1_5 a caret compares without case", R, "Q:NAME", "", "^abc", "", "(UPPER(Q:NAME) = 'ABC')"},
      {"1_6 caret then star", R, "Q:NAME", "", "^*abc", "", "INSTRING('ABC',UPPER(Q:NAME),1,1) <> 0"},
      {"1_7 star then caret", R, "Q:NAME", "", "*^abc", "", "INSTRING('ABC',UPPER(Q:NAME),1,1) <> 0"},
      {"1_12 tilde is not equal", R, "Q:NAME", "", "~abc", "", "(Q:NAME ~= 'abc')"},
      {"1_13 not equal to nothing", R, "Q:NAME", "", "<>", "", "(Q:NAME <> '')"},
      {"1_14 a star alone asks nothing", R, "Q:NAME", "", "*", "", ""},
      {"1_15 a field declared caseless", R, "UPPER(Q:CITY)", "", "paris", "", "(UPPER(Q:CITY) = 'PARIS')"},
      // 2.x literal matching: nothing typed becomes expression text
      {"2_1 a quote is doubled", R, "Q:NAME", "", "O'Brien", "", "(Q:NAME = 'O''Brien')"},
      {"2_3 an inner star is a character", R, "Q:NAME", "", "a*b", "", "(Q:NAME = 'a*b')"},
      {"2_5 a quote in a contains", R, "Q:NAME", "", "*'; DROP TABLE Item; --", "",
          "INSTRING('''; DROP TABLE Item; --',Q:NAME,1,1) <> 0"},
      {"2_6 words on a number field are quoted", R, "Q:ID", "", "1 OR 1=1", "", "(Q:ID = '1 OR 1=1')"},
      {"2_8 digits beyond a number's 31 are quoted", R, "Q:ID", "", std::string(40, '9'), "",
          "(Q:ID = '" + std::string(40, '9') + "')"},
      // 3.x a number field
      {"3_1 a number", R, "Q:ID", "", "5", "", "(Q:ID = 5)"},
      {"3_3 greater or equal", R, "Q:ID", "", ">=5", "", "(Q:ID >= 5)"},
      {"3_6 not equal to nothing is zero", R, "Q:ID", "", "<>", "", "(Q:ID <> 0)"},
      {"3_7 grouped digits are read by the picture", R, "Q:ID", "", "1,000", "", "(Q:ID = 1000)"},
      {"3_8 a range is exclusive", R, "Q:ID", "10", "", "20", "(Q:ID > 10) AND (Q:ID < 20)"},
      {"3_9 a range with typed relations", R, "Q:ID", ">=10", "", "<=20", "(Q:ID >= 10) AND (Q:ID <= 20)"},
      {"3_10 only a low bound", R, "Q:ID", "10", "", "", "(Q:ID > 10)"},
      {"3_12 bounds beside an equal single value", R, "Q:ID", "7", "7", "7", "(Q:ID >= 7) AND (Q:ID <= 7)"},
      {"3_13 contains on a number compares its picture", R, "Q:ID", "", "*12", "",
          "INSTRING('12',FORMAT(Q:ID,@N9),1,1) <> 0"},
      {"3_14 begins on a number skips its leading blanks", R, "Q:ID", "", "12*", "",
          "SUB(LEFT(FORMAT(Q:ID,@N9)),1,2) = '12'"},
      // 4.x dates are read by their picture
      {"4_1 a date", R, "Q:DATE", "", "12/31/2026", "",
          "(Q:DATE = " + std::to_string(rt::DateFromCivil(2026, 12, 31)) + ")"},
      {"4_2 a date the picture cannot read is text", R, "Q:DATE", "", "31/02/x", "", "(Q:DATE = '31/02/x')"},
      // 5.x a one-value form
      {"5_1 a low value is moved to the single one", One, "Q:NAME", "abc", "", "", "(Q:NAME = 'abc')"},
      {"5_2 a single value wins over a low one", One, "Q:ID", "3", "4", "", "(Q:ID = 4)"},
      {"5_3 a high value is dropped", One, "Q:ID", "", "4", "9", "(Q:ID = 4)"},
  };
  rt::testing::ClearAssertionMessages();
  for (const FilterCase& c : cases) {
    SCOPED_TRACE(c.reason);
    TestQuery query(c.kind);
    EXPECT_TRUE(query.SetValues(c.field, c.middle, c.low, c.high));
    EXPECT_EQ(query.GetFilter(), c.expected);
  }
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
}

TEST(QueryFilterText, ConditionsOfSeveralFieldsAreJoinedAndClearQueryEmptiesThem) {
  TestQuery query;
  query.SetValues("Q:NAME", "abc*");
  query.SetValues("q:id", "", "10", "20");
  query.SetValues("UPPER(Q:CITY)", "rome");
  EXPECT_EQ(query.GetFilter(), "SUB(Q:NAME,1,3) = 'abc' AND (Q:ID > 10) AND (Q:ID < 20) AND (UPPER(Q:CITY) = 'ROME')");
  query.ClearQuery();
  EXPECT_EQ(query.GetFilter(), "");
  EXPECT_FALSE(query.SetValues("Q:NOPE", "1")) << "a field the query does not have";
  query.SetValues("Q:NAME", "^abc");
  query.GetFilter();
  query.SetValues("Q:NAME", "abc");
  EXPECT_EQ(query.GetFilter(), "(Q:NAME = 'abc')") << "a caret typed once does not make the field caseless afterwards";
  TestQuery one(QueryKind::OneValue);
  one.SetValues("Q:NAME", "", "abc");
  one.GetFilter();
  EXPECT_EQ(one.Fields()[0].Low.Str() + "|" + one.Fields()[0].Middle.Str(), "|abc") << "a one-value form keeps the moved value";
}

// ---- MakeOperator and Quote ----

struct OperatorCase { const char* reason; std::string value, name, operators, rest; };

TEST(QueryOperator, SplitsAndNormalises) {
  const OperatorCase cases[] = {
      {"1 a name alone", "5", ">", ">", "5"},
      {"2 typed and named merge", ">=5", ">", ">=", "5"},
      {"3 not equal with nothing typed", "", "NOT =", "<>", ""},
      {"4 contains puts a star in front", "abc", "Contains", "", "*abc"},
      {"5 begins puts a star behind", "abc", "Begins", "", "abc*"},
      {"6 less and greater drop the equals", "=<>5", "", "<>", "5"},
      {"7 each character once in typed order", "><<>x", "", "><", "x"},
      {"8 tilde first", "~=x", "", "~=", "x"},
      {"9 at most twenty are operators", std::string(25, '=') + "5", "", "=", std::string(5, '=') + "5"},
  };
  for (const OperatorCase& c : cases) {
    SCOPED_TRACE(c.reason);
    std::string operators, rest;
    QueryClass::MakeOperator(c.value, c.name, operators, rest);
    EXPECT_EQ(operators + "|" + rest, c.operators + "|" + c.rest);
    EXPECT_EQ(QueryClass::MakeOperator(c.value, c.name), c.operators + c.rest);
  }
}

TEST(QueryQuote, QuotesAreDoubledAndLongTextsCutWhole) {
  EXPECT_EQ(QueryClass::Quote("") + QueryClass::Quote("it's"), "'''it''s'");
  EXPECT_EQ(QueryClass::Quote(std::string(600, '\'')), "'" + std::string(998, '\'') + "'") << "499 quotes doubled";
  std::string wide;
  for (int i = 0; i < 600; ++i) wide += "\xC3\xA9";  // é
  EXPECT_EQ(QueryClass::Quote(wide).size(), 2u + 998u) << "never inside a character";
}

// ---- Cutting ----

TEST(QueryFilterText, LongValuesAreCutAndALongFilterStopsAtAWholeCondition) {
  rt::FixedString<40> name;
  rt::BindScopes scopes;
  scopes.Bind("Q:NAME", name);
  const auto parses = [&](const std::string& text) {
    const rt::ParsedExpression parsed = rt::Expression::Parse(text, scopes);
    return parsed.IsOk() ? std::string() : parsed.Error().message;
  };
  TestQuery query;
  ASSERT_TRUE(query.SetValues("Q:NAME", std::string(700, '\'')));
  EXPECT_EQ(query.Fields()[0].Middle.View().size(), 499u) << "a value holds 499 bytes";
  const std::string one = query.GetFilter();
  EXPECT_EQ(one, "(Q:NAME = '" + std::string(998, '\'') + "')");
  EXPECT_EQ(parses(one), "");

  // Twelve fields of 499 quotes each: each condition alone takes about a thousand bytes.
  TestQuery many;
  for (int i = 0; i < 11; ++i) many.AddItem("Q:NAME", "again", "S40");
  for (FieldQueueEntry& entry : many.Fields())
    if (entry.Name == "Q:NAME") entry.Middle = std::string(499, '\'');
  const std::string filter = many.GetFilter();
  EXPECT_LE(filter.size(), QueryClass::kMaxFilter);
  EXPECT_GT(filter.size(), QueryClass::kMaxFilter - 1020) << "as many whole conditions as fit";
  EXPECT_EQ(parses(filter), "");
}

}  // namespace
