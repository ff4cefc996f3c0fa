// Expression evaluation: one table of filter texts over a small bound record, grouped by what
// they exercise (relations by type, the text-to-number rule, AND/OR/NOT, truth of values,
// functions). That a parsed filter follows the record as it changes, and the relations, case,
// blanks, numeric texts and NOT on the fields a driver pushes down, whose SQL must agree with
// the evaluator, are the property test's (test_filter_equivalence.cpp).

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "runtime/core/date_time.h"
#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "runtime/data/expression_sql.h"
#include "tests/support/param_names.h"

namespace {

struct Rec {
  rt::Long id = 12;
  rt::Short small = -3;
  rt::Real ratio = 2.5;
  rt::PackedDecimal<9, 2> amount;
  rt::FixedString<12> name{"O'Brien"};
  rt::CString<16> code{"AND 1=1"};
  rt::FixedString<6> numtext{"  42"};
  rt::FixedString<6> blank;
  rt::Long zero = 0;
  rt::Long date = rt::DateFromCivil(2026, 12, 6);
};

class ExpressionFixture {
 public:
  ExpressionFixture() {
    EXPECT_TRUE(rec.amount.Store(rt::Decimal::FromText("1234.50")));
    scopes.Bind("R:ID", rec.id);
    scopes.Bind("R:SMALL", rec.small);
    scopes.Bind("R:RATIO", rec.ratio);
    scopes.Bind("R:AMOUNT", rec.amount);
    scopes.Bind("R:NAME", rec.name);
    scopes.Bind("R:CODE", rec.code);
    scopes.Bind("R:NUMTEXT", rec.numtext);
    scopes.Bind("R:BLANK", rec.blank);
    scopes.Bind("R:ZERO", rec.zero);
    scopes.Bind("R:DATE", rt::FieldRef::Date(rec.date));
  }
  Rec rec;
  rt::BindScopes scopes;
};

struct Case {
  const char* reason;
  const char* text;
  const char* value;  // ValueText(); comparisons and logic give "1" or "0"
};

class Evaluate : public ::testing::TestWithParam<Case> {};

TEST_P(Evaluate, GivesValue) {
  ExpressionFixture f;
  const Case& c = GetParam();
  SCOPED_TRACE(c.text);
  rt::SetError(33);
  const rt::ParsedExpression parsed = rt::Expression::Parse(c.text, f.scopes);
  ASSERT_TRUE(parsed) << parsed.Error().message;
  EXPECT_EQ(rt::ErrorCode(), 0) << "a good parse clears the last error";
  EXPECT_EQ(parsed->ValueText(), c.value);
  const std::string value = c.value;
  const bool truth = value.find_first_not_of(' ') != std::string::npos && value != "0";
  EXPECT_EQ(parsed->IsTrue(), truth);
  EXPECT_EQ(parsed->Text(), c.text);
}

// clang-format off
const Case kRelations[] = {
    {"1_2_long_equal_decimal_literal", "R:ID = 12.00", "1"},
    {"1_6_ge_reversed_spelling", "R:ID => 12", "1"},
    {"1_8_ne", "R:ID <> 12", "0"},
    {"1_11_NOT_equal", "R:ID NOT = 11", "1"},
    {"1_15_qbe_order_lt_tilde_eq", "R:ID <~= 12", "0"},
    {"1_19_real", "R:RATIO = 2.5", "1"},
    {"1_21_decimal_trailing_zero", "R:AMOUNT = 1234.5", "1"},
    {"1_23_field_against_field", "R:SMALL < R:ID", "1"},
    {"1_25_31_digit_literal", "9999999999999999999999999999999 > R:ID", "1"},
    {"1_26_leading_point", ".5 = 0.5", "1"},
    {"1_27_trailing_point", "12. = R:ID", "1"},
};
INSTANTIATE_TEST_SUITE_P(Relations, Evaluate, ::testing::ValuesIn(kRelations), ByReason());

const Case kText[] = {
    {"2_1_doubled_quote_matches_one", "R:NAME = 'O''Brien'", "1"},
    {"2_5_shorter_is_blank_padded", "'ab' < 'ab!'", "1"},
    {"2_9_quote_and_semicolon", "R:NAME <> ''';DROP TABLE x;--'", "1"},
    {"2_10_cstring_against_fixed", "R:CODE > R:NAME", "0"},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(Text, Evaluate, ::testing::ValuesIn(kText), ByReason());

const Case kTextToNumber[] = {
    {"3_1_numeric_text_field_vs_number", "R:NUMTEXT = 42", "1"},
    {"3_3_text_field_not_numeric_compares_as_text", "R:NAME > 0", "1"},
    {"3_4_not_numeric_never_equals_number", "R:NAME = 0", "0"},
    {"3_6_number_vs_numeric_literal_order", "R:ID < '9'", "0"},
    {"3_7_number_vs_text_literal_is_text", "R:ID = '12abc'", "0"},
    {"3_8_number_text_vs_text_blank_padded", "R:ID < '12abc'", "1"},
    {"3_9_empty_text_is_no_number", "R:ZERO = ''", "0"},
};
INSTANTIATE_TEST_SUITE_P(TextToNumber, Evaluate, ::testing::ValuesIn(kTextToNumber), ByReason());

const Case kLogic[] = {
    {"4_4_and_binds_tighter_than_or", "R:ID = 1 OR R:ID = 12 AND R:SMALL = 5", "0"},
    {"4_5_parentheses", "(R:ID = 1 OR R:ID = 12) AND R:SMALL = -3", "1"},
    {"4_7_tilde_not", "~(R:ID = 1)", "1"},
    {"4_8_keywords_and_names_any_case", "not r:id = 1 and R:small < 0 Or 0", "1"},
};
INSTANTIATE_TEST_SUITE_P(Logic, Evaluate, ::testing::ValuesIn(kLogic), ByReason());

const Case kTruth[] = {
    {"5_3_blank_field", "R:BLANK AND 1", "0"},
    {"5_4_text_field", "R:NAME AND 1", "1"},
    {"5_5_text_zero_is_true", "'0' AND 1", "1"},
    {"5_6_zero_places", "0.00 OR 0", "0"},
    {"5_7_blank_literal", "' ' OR 0", "0"},
    {"5_8_negative", "-0.01 AND 1", "1"},
};
INSTANTIATE_TEST_SUITE_P(Truth, Evaluate, ::testing::ValuesIn(kTruth), ByReason());

const Case kFunctions[] = {
    {"6_1_upper", "UPPER(R:NAME) = 'O''BRIEN'", "1"},
    {"6_2_lower", "lower('AbC')", "abc"},
    {"6_3_instring", "INSTRING('Bri', R:NAME, 1, 1)", "3"},
    {"6_5_instring_defaults", "INSTRING('rb', 'barber')", "3"},
    {"6_6_instring_step", "INSTRING('r', 'barber', 2, 2)", "6"},
    {"6_7_instring_start", "INSTRING('b', 'barber', 1, 2)", "4"},
    {"6_8_instring_backwards", "INSTRING('ar', 'barber', -1, 6)", "2"},
    {"6_9_instring_backwards_far_start", "INSTRING('r', 'barber', -1, 100000)", "6"},
    {"6_9b_instring_backwards_from_inside", "INSTRING('b', 'barber', -1, 2)", "1"},
    {"6_10_instring_step_zero", "INSTRING('b', 'barber', 0, 1)", "0"},
    {"6_11_fixed_string_keeps_padding", "INSTRING(' ', R:NAME)", "8"},
    {"6_12_clip_drops_it", "INSTRING(' ', CLIP(R:NAME))", "0"},
    {"6_13_sub", "SUB(R:NAME, 3, 3)", "Bri"},
    {"6_14_sub_from_end", "SUB('abcdef', -2, 2)", "ef"},
    {"6_16_sub_past_end", "SUB('abc', 5, 1)", ""},
    {"6_17_sub_negative_length", "SUB('abc', 1, -1)", ""},
    {"6_18_left", "LEFT('  ab')", "ab  "},
    {"6_20_format_bare_picture", "FORMAT(R:AMOUNT, @n10.2)", "  1,234.50"},
    {"6_22_format_zero_padded", "FORMAT(R:ID,@n05)", "00012"},
    {"6_23_format_date", "FORMAT(R:DATE, @d17)", "12/06/2026"},
    {"6_24_format_parenthesised_picture", "FORMAT(R:SMALL, @n(5))", "  (3)"},
    {"6_27_sql_term_is_blank", "SQL(B > 2 AND C = ')')", ""},
    {"6_28_nested", "UPPER(SUB(LOWER(R:NAME), 1, 4))", "O'BR"},
};
INSTANTIATE_TEST_SUITE_P(Functions, Evaluate, ::testing::ValuesIn(kFunctions), ByReason());

// A column's name goes into the SQL as a quoted identifier, its own quotes doubled, so no name
// breaks out of it (the property test's columns have plain names).
TEST(ExpressionSql, ColumnNamesAreQuotedIdentifiers) {
  ExpressionFixture f;
  const auto parsed = rt::Expression::Parse("R:ID = 12", f.scopes);
  ASSERT_TRUE(parsed);
  const rt::SqlFilter sql = rt::TranslateToSql(*parsed, [](const rt::FieldRef&) {
    return std::optional<rt::SqlColumn>(rt::SqlColumn{"i\"d) OR (1", rt::SqlColumnKind::Integer});
  });
  EXPECT_NE(sql.where.find("\"i\"\"d) OR (1\""), std::string::npos) << sql.where;
}

}  // namespace
