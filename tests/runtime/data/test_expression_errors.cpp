// Malformed filter texts: each gives no expression, the documented problem, error 800 with the
// exact message (fault and position), and the same as the thread's last error. Oversized and
// deeply nested inputs are refused rather than exhausting memory or the stack.

#include <gtest/gtest.h>

#include <string>

#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "tests/support/param_names.h"

namespace {

using P = rt::ExpressionProblem;

struct ErrorCase {
  const char* reason;
  std::string text;
  P problem;
  const char* message;  // after "Bad Expression: "
};

class ParseError : public ::testing::TestWithParam<ErrorCase> {};

TEST_P(ParseError, IsReported) {
  rt::Long id = 1;
  rt::FixedString<10> name{"x"};
  rt::BindScopes scopes;
  scopes.Bind("R:ID", id);
  scopes.Bind("R:NAME", name);
  const ErrorCase& c = GetParam();
  rt::ClearError();
  const rt::ParsedExpression parsed = rt::Expression::Parse(c.text, scopes);
  ASSERT_FALSE(parsed);
  EXPECT_EQ(parsed.Error().problem, c.problem);
  EXPECT_EQ(parsed.Error().code, rt::BadExpressionErr);
  const std::string expected = std::string("Bad Expression: ") + c.message;
  EXPECT_EQ(parsed.Error().message, expected);
  EXPECT_EQ(rt::ErrorCode(), 800);
  EXPECT_EQ(rt::Error(), expected);
}

std::string Repeat(const std::string& piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

// clang-format off
const ErrorCase kErrors[] = {
    {"1_1_empty", "", P::Syntax, "empty expression at 1"},
    {"1_3_missing_close", "(R:ID = 1", P::Syntax, "missing ')' at 10"},
    {"1_4_extra_close", "R:ID = 1)", P::Syntax, "unexpected ')' at 9"},
    {"1_5_dangling_relation", "R:ID =", P::Syntax, "expected a value, found the end at 7"},
    {"1_8_doubled_relation", "R:ID == 1", P::Syntax, "bad comparison '==' at 6"},
    {"1_10_chained_comparison", "R:ID = 1 = 1", P::Syntax, "comparisons do not chain; use parentheses at 10"},
    {"1_11_two_values", "R:ID 1", P::Syntax, "unexpected '1' at 6"},
    {"1_12_bad_character", "R:ID != 1", P::Syntax, "unexpected character '!' at 6"},
    {"1_13_control_byte", "R:ID = \x01", P::Syntax, "unexpected character byte 0x01 at 8"},
    {"1_14_not_without_relation", "R:ID NOT 1", P::Syntax, "expected a comparison after NOT at 10"},
    {"1_16_missing_comma", "SUB(R:NAME 1)", P::Syntax, "expected ',' or ')' at 12"},
    {"2_1_unterminated", "R:NAME = 'abc", P::Unterminated, "unterminated string at 10"},
    {"2_3_unterminated_in_sql_term", "SQL(a = ')", P::Unterminated, "unterminated string at 1"},
    {"2_4_sql_term_unclosed", "SQL(a = (1)", P::Syntax, "missing ')' at 1"},
    {"3_1_unknown_name", "R:NOPE = 1", P::UnknownName, "unknown name 'R:NOPE' at 1"},
    {"3_3_unknown_function", "FOO(1)", P::UnknownFunction, "unknown function 'FOO' at 1"},
    {"3_4_bound_name_is_no_function", "R:ID(1)", P::UnknownFunction, "unknown function 'R:ID' at 1"},
    {"4_1_too_few_arguments", "UPPER()", P::ArgumentCount, "UPPER takes 1 argument, not 0 at 1"},
    {"4_3_range_of_arguments", "INSTRING('a')", P::ArgumentCount, "INSTRING takes 2 to 4 arguments, not 1 at 1"},
    {"5_1_letters_after_digits", "R:ID = 12abc", P::BadNumber, "malformed number at 8"},
    {"5_3_32_digits", "R:ID < 12345678901234567890123456789012", P::BadNumber, "number out of range '12345678901234567890123456789012' at 8"},
    {"6_1_100KB_literal", "R:NAME = '" + std::string(100 * 1024, 'x') + "'", P::TooLong, "text longer than 65536 bytes at 1"},
    {"6_2_literal_over_limit", "R:NAME = '" + std::string(16 * 1024 + 1, 'x') + "'", P::TooLong, "literal longer than 16384 bytes at 10"},
    {"6_3_name_over_limit", std::string(16 * 1024 + 1, 'n'), P::TooLong, "literal longer than 16384 bytes at 1"},
    {"7_1_10000_parentheses", Repeat("(", 10000) + "1" + Repeat(")", 10000), P::TooDeep, "nested deeper than 64 levels at 65"},
    {"7_2_10000_nots", Repeat("NOT ", 10000) + "1", P::TooDeep, "nested deeper than 64 levels at 257"},
    {"7_3_5000_calls", Repeat("UPPER(", 5000) + "'a'" + Repeat(")", 5000), P::TooDeep, "nested deeper than 64 levels at 385"},
    {"7_4_deep_unbalanced", Repeat("(", 100000), P::TooLong, "text longer than 65536 bytes at 1"},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Texts, ParseError, ::testing::ValuesIn(kErrors), ByReason());

// The deepest nesting allowed parses and evaluates; one more level is refused. A long flat chain
// is not nesting: more conditions than the depth limit parse and evaluate.
TEST(ParseLimits, DepthBoundaryPairAndALongChain) {
  rt::BindScopes scopes;
  const int max = rt::Expression::kMaxDepth;
  const auto deepest = rt::Expression::Parse(Repeat("(", max) + "1 = 1" + Repeat(")", max), scopes);
  ASSERT_TRUE(deepest) << deepest.Error().message;
  EXPECT_TRUE(deepest->IsTrue());
  EXPECT_FALSE(rt::Expression::Parse(Repeat("(", max + 1) + "1 = 1" + Repeat(")", max + 1), scopes));
  const auto chain = rt::Expression::Parse(Repeat("0 OR ", 4 * max) + "1", scopes);
  ASSERT_TRUE(chain) << chain.Error().message;
  EXPECT_TRUE(chain->IsTrue());
}

TEST(ParseLimits, LiteralBoundaryPair) {
  rt::BindScopes scopes;
  const std::size_t max = rt::Expression::kMaxLiteralBytes;
  EXPECT_TRUE(rt::Expression::Parse("'" + std::string(max, 'q') + "' <> ''", scopes));  // one more: the error table
}

}  // namespace
