// SQL push-down proof: a real SQLite table holds rows with edge values (blanks, a byte below the
// blank, case, quotes, SQL keywords, negatives, zero, the ends of a Long), CStrings stored as the
// drivers store them (as written, trailing blanks kept); each filter of the
// table is run both ways, the evaluator over every row and SQLite over the pushed WHERE, and the
// row ids must be equal (complete push-down) or the SQL rows must contain the evaluator's (part
// of an AND pushed). Whether a filter is pushed is part of each case, so losing a push-down is
// caught too.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>
#include <vector>

#include "runtime/core/fixed_string.h"
#include "runtime/core/text.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "tests/support/param_names.h"
#include "runtime/data/expression_sql.h"
#include "tests/runtime/data/test_expression_sqlite.h"

namespace {

struct Row {
  rt::Long n = 0;
  rt::Short s = 0;
  rt::UShort u = 0;
  rt::Real r = 0;
  rt::FixedString<10> name;
  rt::CString<10> code;
};

const std::vector<Row> kRows = [] {
  std::vector<Row> rows;
  auto add = [&](rt::Long n, rt::Short s, rt::UShort u, rt::Real r, const char* name, const char* code) {
    rows.push_back(Row{n, s, u, r, {}, {}});
    rows.back().name = name;
    rows.back().code = code;
  };
  add(0, 0, 0, 0.0, "", "");
  add(-1, -1, 1, -1.5, " ", " ");
  add(1, 2, 65535, 0.1 + 0.2, "a", "a");
  add(12, 12, 12, 0.3, "A", "A ");
  add(13, -32768, 13, 1e300, "a\x01", "a\x01");
  add(2147483647, 32767, 2, 2.5, "ab", "ab");
  add(-2147483647 - 1, 5, 3, -0.0, "ab\x01", "x");
  add(7, 7, 7, 7.0, " 42", "O'Brien");
  add(8, 8, 8, 8.0, "O'Brien", "AND 1=1");
  add(10, 10, 10, 10.0, "' OR 1=1", "abc  ");
  add(11, 11, 11, 11.0, "abc  ", "\xC3\xA9t\xC3\xA9");
  add(3, 3, 3, 3.0, "\xC3\xA9t\xC3\xA9", "ab");
  // Reals where the runtime's 15-digit comparison and the double's own value part ways.
  const double inf = std::numeric_limits<double>::infinity();
  for (const double r : {1e-40, -4e-32, 6e-32, std::nextafter(0.3, 1.0), std::nextafter(0.3, 0.0), 0.299999999999999,
                         0.2999999999999995, 0.3000000000000005, inf, -inf, 1e31, 9.99999999999999e30, 2.4999999999999996}) {
    add(100, 0, 0, r, "r", "r");
  }
  return rows;
}();

struct PushCase {
  const char* reason;
  const char* filter;
  bool pushed;    // some SQL comes back
  bool complete;  // the SQL alone selects the rows
};

class Database {
 public:
  Database() {
    EXPECT_EQ(sqlite3_open(":memory:", &db_), SQLITE_OK);
    Exec("CREATE TABLE t (id INTEGER PRIMARY KEY, n INTEGER NOT NULL, s INTEGER NOT NULL, u INTEGER NOT NULL,"
         " r REAL NOT NULL, \"NAME\" TEXT NOT NULL, \"co\"\"de\" TEXT NOT NULL)");
    sqlite3_stmt* insert = nullptr;
    EXPECT_EQ(sqlite3_prepare_v2(db_, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?, ?)", -1, &insert, nullptr), SQLITE_OK);
    for (std::size_t i = 0; i < kRows.size(); ++i) {
      const Row& row = kRows[i];
      const std::string name(rt::Clip(row.name.View())), code(row.code.View());
      sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(i));
      sqlite3_bind_int64(insert, 2, row.n);
      sqlite3_bind_int64(insert, 3, row.s);
      sqlite3_bind_int64(insert, 4, row.u);
      sqlite3_bind_double(insert, 5, row.r);
      sqlite3_bind_text(insert, 6, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 7, code.data(), static_cast<int>(code.size()), SQLITE_TRANSIENT);
      EXPECT_EQ(sqlite3_step(insert), SQLITE_DONE);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  }
  ~Database() { sqlite3_close(db_); }

  std::set<std::size_t> Select(const rt::SqlFilter& filter) {
    const auto ids = test_expression::SelectIds(db_, filter);
    if (!ids) ADD_FAILURE() << "SQLite refused: " << filter.where << ": " << sqlite3_errmsg(db_);
    return ids.value_or(std::set<std::size_t>());
  }

 private:
  void Exec(const char* sql) { EXPECT_EQ(sqlite3_exec(db_, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db_); }
  sqlite3* db_ = nullptr;
};

class PushDown : public ::testing::TestWithParam<PushCase> {};

TEST_P(PushDown, SelectsTheEvaluatorsRows) {
  const PushCase& c = GetParam();
  SCOPED_TRACE(c.filter);
  Row buffer;
  rt::BindScopes scopes;
  scopes.Bind("R:N", buffer.n);
  scopes.Bind("R:S", buffer.s);
  scopes.Bind("R:U", buffer.u);
  scopes.Bind("R:R", buffer.r);
  scopes.Bind("R:NAME", buffer.name);
  scopes.Bind("R:CODE", buffer.code);
  const rt::SqlColumnOf columnOf = [&](const rt::FieldRef& field) -> std::optional<rt::SqlColumn> {
    using K = rt::SqlColumnKind;
    if (field.IsSameField(rt::FieldRef(buffer.n))) return rt::SqlColumn{"n", K::Integer};
    if (field.IsSameField(rt::FieldRef(buffer.s))) return rt::SqlColumn{"s", K::Integer};
    if (field.IsSameField(rt::FieldRef(buffer.u))) return rt::SqlColumn{"u", K::Integer};
    if (field.IsSameField(rt::FieldRef(buffer.r))) return rt::SqlColumn{"r", K::Real};
    if (field.IsSameField(rt::FieldRef(buffer.name))) return rt::SqlColumn{"NAME", K::Text};
    if (field.IsSameField(rt::FieldRef(buffer.code))) return rt::SqlColumn{"co\"de", K::PaddedText};
    return std::nullopt;
  };

  const auto parsed = rt::Expression::Parse(c.filter, scopes);
  ASSERT_TRUE(parsed) << parsed.Error().message;
  std::set<std::size_t> evaluated;
  for (std::size_t i = 0; i < kRows.size(); ++i) {
    buffer = kRows[i];
    if (parsed->IsTrue()) evaluated.insert(i);
  }

  const rt::SqlFilter filter = rt::TranslateToSql(*parsed, columnOf);
  EXPECT_EQ(!filter.where.empty(), c.pushed) << filter.where;
  EXPECT_EQ(filter.complete, c.complete) << filter.where;
  // Values travel as parameters only: no string literal in the SQL but the empty one.
  std::string unquoted = filter.where;
  for (std::size_t at; (at = unquoted.find("''")) != std::string::npos;) unquoted.erase(at, 2);
  EXPECT_EQ(unquoted.find('\''), std::string::npos) << filter.where;
  Database db;
  const std::set<std::size_t> selected = db.Select(filter);
  if (filter.complete) {
    EXPECT_EQ(selected, evaluated) << filter.where;
  } else {
    for (const std::size_t id : evaluated) EXPECT_TRUE(selected.count(id)) << "row " << id << " lost by " << filter.where;
  }
}

// clang-format off
const PushCase kCases[] = {
    // integers against numbers
    {"1_1_equal", "R:N = 12", true, true},
    {"1_5_long_max", "R:N = 2147483647", true, true},
    {"1_6_long_min", "R:N <= -2147483648", true, true},
    {"1_8_fraction_below", "R:N < 12.5", true, true},
    {"1_11_fraction_equal_not_pushed", "R:N = 12.5", false, false},
    {"1_12_beyond_64_bits_not_pushed", "R:N < 99999999999999999999", false, false},
    // integers against text literals
    {"2_1_numeric_text", "R:N = '12'", true, true},
    {"2_3_text_not_numeric_not_pushed", "R:N < 'abc'", false, false},
    {"2_4_empty_text_not_pushed", "R:N = ''", false, false},
    // text columns
    {"3_3_trailing_blanks", "R:NAME = 'abc   '", true, true},
    {"3_5_below_blank_equal", "R:NAME = 'a' OR R:NAME = 'ab\x01'", true, true},
    {"3_8_quote", "R:NAME = 'O''Brien' OR R:CODE = 'O''Brien'", true, true},
    {"3_10_injection_text", "R:NAME = ''' OR 1=1'", true, true},
    {"3_11_utf8", "R:NAME = '\xC3\xA9t\xC3\xA9'", true, true},
    {"3_12_cstring_trailing_blank", "R:CODE = 'A'", true, true},
    {"3_18_cstring_stored_with_blanks", "R:CODE = 'abc' OR R:CODE = ''", true, true},
    {"3_19_cstring_of_blanks_is_false", "NOT R:CODE", true, true},
    // reals: ranges of doubles around where the runtime's comparison changes
    {"4_1_real_equal", "R:R = 0.3", true, true},
    {"4_9_real_numeric_text", "R:R = ' 0.3'", true, true},
    {"4_10_real_31_digits", "R:R > 9999999999999999999999999999999", true, true},
    {"4_11_real_tiny_literal", "R:R = 0.0000000000000000000000000000001", true, true},
    {"4_13_real_text_not_numeric", "R:R = 'x'", false, false},
    // not pushed: ordering, numbers, functions
    {"6_1_text_less", "R:NAME < 'ab'", false, false},
    {"6_8_or_with_unpushable", "R:N = 1 OR LOWER(R:NAME) = 'a'", false, false},
    // AND: the pushable conditions go down, the evaluator tests the rest
    {"5_1_partial_and", "R:N > 0 AND LOWER(R:NAME) = 'a'", true, false},
    {"5_2_nested_partial_and", "(R:N > 0 AND R:NAME <> 'a') AND INSTRING('b', R:NAME, 2) <> 0", true, false},
    {"5_3_not_of_or", "NOT (R:N = 1 OR R:NAME = 'a')", true, true},
    {"5_6_qbe_text", "(R:N >= 1) AND (R:N < 12) AND INSTRING('B',UPPER(R:NAME),1,1) <> 0", true, true},
    // functions of a text column, counted in bytes like the evaluator's
    {"7_6_contains_multibyte", "INSTRING('\xA9t', R:NAME, 1, 1) <> 0", true, true},
    {"7_7_contains_below_blank", "INSTRING('\x01', R:NAME) <> 0", true, true},
    {"7_9_trailing_blank_not_pushed", "INSTRING('c ', R:NAME) <> 0", false, false},
    {"7_10_empty_not_pushed", "INSTRING('', R:NAME) = 0", false, false},
    {"7_11_other_step_not_pushed", "INSTRING('a', R:NAME, 2, 1) <> 0", false, false},
    {"7_13b_begins_as_long_not", "SUB(R:CODE, 1, 2) <> 'ab' AND SUB(R:NAME, 1, 3) <> 'a\x01 '", true, true},
    {"7_13c_begins_shorter_than_the_text", "SUB(R:NAME, 1, 3) = 'ab'", true, true},
    {"7_16_begins_past_the_text", "SUB(R:NAME, 1, 9) = 'abc'", true, true},
    {"7_17_begins_inside_a_character", "SUB(R:NAME, 1, 1) = '\xC3'", true, true},
    {"7_18_begins_with_blanks", "SUB(R:CODE, 1, 4) = 'abc '", true, true},
    {"7_21_upper_not_equal_utf8", "UPPER(R:CODE) <> '\xC3\xA9T\xC3\xA9'", true, true},
    {"7_22b_upper_cstring_with_blanks", "UPPER(R:CODE) = 'ABC' OR UPPER(R:CODE) <> 'A'", true, true},
    {"7_22c_begins_cstring_with_blanks", "SUB(R:CODE, 1, 5) = 'abc' OR SUB(UPPER(R:CODE), 1, 1) = 'A'", true, true},
};
// clang-format on
INSTANTIATE_TEST_SUITE_P(Filters, PushDown, ::testing::ValuesIn(kCases), ByReason());

}  // namespace
