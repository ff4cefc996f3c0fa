// Pushed down = evaluated here, per driver: a file of every field kind holds random records
// (blanks, trailing blanks, case, quotes, UTF-8, bytes below the blank, negatives, the ends of
// each integer, no date and dates, null flags), and random filters from the expression grammar
// (every relation, INSTRING/SUB/UPPER and the functions never pushed, AND/OR/NOT; the forms query
// by example builds are among them) are set on a view. The view's rows must be the rows the
// evaluator selects over the same records; a filter the driver's SQL refuses fails too. A share
// of the filters must be pushed, so the test cannot pass by pushing nothing. Seeded: a failure
// names its filter and repeats.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <iterator>
#include <limits>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "runtime/data/expression_filter.h"
#include "runtime/data/expression_sql.h"
#include "runtime/data/view.h"
#include "tests/runtime/data/filter_equivalence.h"

namespace equivalence {

namespace {

struct Every {
  rt::Long ID = 0;
  rt::Long L = 0;
  rt::Short S = 0;
  rt::UShort U = 0;
  rt::Byte B = 0;
  rt::Real R = 0;
  rt::PackedDecimal<7, 2> D;
  rt::FixedString<8> NAME;
  rt::CString<8> CODE;
  rt::Long DAY = 0;
  rt::Long AT = 0;
};

const rt::RecordLayout& EveryLayout() {
  static const rt::RecordLayout layout(sizeof(Every), {
      rt::LayoutField("E:ID", &Every::ID), rt::LayoutField("E:L", &Every::L), rt::LayoutField("E:S", &Every::S),
      rt::LayoutField("E:U", &Every::U), rt::LayoutField("E:B", &Every::B), rt::LayoutField("E:R", &Every::R),
      rt::LayoutField("E:D", &Every::D), rt::LayoutField("E:NAME", &Every::NAME), rt::LayoutField("E:CODE", &Every::CODE),
      rt::LayoutDate("E:DAY", &Every::DAY), rt::LayoutTime("E:AT", &Every::AT),
  });
  return layout;
}

constexpr int kRecords = 60;
constexpr std::size_t kFilters = 2000;

// Texts every record and filter draws from (no record text the server refuses; a filter's may).
const std::vector<std::string> kTexts = {"", " ", "a", "A", "ab", "abc", "ABC", "abc  ", "a b", "O'Brien", "\xC3\xA9t\xC3\xA9",
                                         "x\x01", "42", " 42", "Ab", "b "};

template <typename T>
const T& Pick(std::mt19937& random, const std::vector<T>& from) {
  return from[random() % from.size()];
}

std::string Quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("''") : std::string(1, c);
  return out + "'";
}

// Random filter texts: each draws its fields, relations and literals from the pools below.
class Filters {
 public:
  explicit Filters(unsigned seed) : random_(seed) {}

  std::string Next() { return Expression(3); }

 private:
  std::string Field() { return Pick(random_, kFields); }
  std::string TextField() { return random_() % 8 == 0 ? Pick(random_, kNumberFields) : Pick(random_, kTextFields); }
  std::string Relation() { return Pick(random_, kRelations); }
  std::string Text() {
    static const std::vector<std::string> extra = {"abc   ", "AB", "\xC3\xA9", "\xA9t", "c ", "b\x01", "o'b", "'' OR 1=1"};
    return Quoted(random_() % 3 ? Pick(random_, kTexts) : Pick(random_, extra));
  }
  std::string Literal() {
    static const std::vector<std::string> numbers = {"0",     "1",     "-1",     "12",     "-12",    "2.5",        "-1.25",
                                                     "0.3",   "-0.01", "65535",  "255",    "12.000", "-32768",     "70000",
                                                     "360001", "100.50", "1000", "2147483647", "-2147483648"};
    static const std::vector<std::string> numericTexts = {"'12'", "' -1 '", "'0.3'", "'2.5'", "'-1.25'"};
    switch (random_() % 4) {
      case 0: return Text();
      case 1: return Pick(random_, numericTexts);
      default: return Pick(random_, numbers);
    }
  }
  std::string MaybeUpper(const std::string& field) { return random_() % 3 == 0 ? "UPPER(" + field + ")" : field; }

  std::string Atom() {
    switch (random_() % 9) {
      case 0: return Field() + " " + Relation() + " " + Literal();
      case 1: return Literal() + " " + Relation() + " " + Field();
      case 2: return Field() + " " + Relation() + " " + Field();
      case 3: return (random_() % 2 ? "NOT " : "") + Field();
      case 4: {  // found or not found, with the optional step and start
        static const std::vector<std::string> tails = {"", ",1", ",1,1", ",2,1", ",1,2"};
        static const std::vector<std::string> against = {"<> 0", "= 0", "> 0", "= 1"};
        return "INSTRING(" + Text() + "," + MaybeUpper(TextField()) + Pick(random_, tails) + ") " + Pick(random_, against);
      }
      case 5: {
        const std::string start = random_() % 6 ? "1" : "2";
        return "SUB(" + MaybeUpper(TextField()) + "," + start + "," + std::to_string(1 + random_() % 9) + ") " +
               (random_() % 2 ? "=" : "<>") + " " + Text();
      }
      case 6: return "UPPER(" + TextField() + ") " + Relation() + " " + Text();
      case 7: {  // functions that stay with the evaluator
        static const std::vector<std::string> functions = {"LEFT", "CLIP", "LOWER"};
        return Pick(random_, functions) + "(" + TextField() + ") " + Relation() + " " + Text();
      }
      default: return "(" + Field() + " " + Relation() + " " + Literal() + ")";
    }
  }

  std::string Expression(int depth) {
    if (depth == 0 || random_() % 3 == 0) return Atom();
    switch (random_() % 3) {
      case 0: return "NOT (" + Expression(depth - 1) + ")";
      case 1: return Expression(depth - 1) + " AND " + Expression(depth - 1);
      default: return "(" + Expression(depth - 1) + " OR " + Expression(depth - 1) + ")";
    }
  }

  const std::vector<std::string> kNumberFields = {"E:ID", "E:L", "E:S", "E:U", "E:B", "E:R", "E:D", "E:DAY", "E:AT"};
  const std::vector<std::string> kTextFields = {"E:NAME", "E:CODE"};
  const std::vector<std::string> kFields = {"E:ID",    "E:L",    "E:S",   "E:U",   "E:B",    "E:R",
                                            "E:D",     "E:NAME", "E:CODE", "E:DAY", "E:AT", "E:CODE", "E:NAME"};
  const std::vector<std::string> kRelations = {"=",  "<>", "<",     ">",  "<=", ">=",  "~=",
                                               "~<", "~>", "NOT =", "=<", "><", "~<=", "NOT <"};
  std::mt19937 random_;
};

std::vector<Every> RandomRecords(unsigned seed) {
  std::mt19937 random(seed);
  const std::vector<rt::Long> longs = {0, 1, -1, 12, -12, 42, 2147483647, -2147483647 - 1};
  const std::vector<rt::Short> shorts = {0, 1, -1, 12, -32768, 32767};
  const std::vector<rt::UShort> ushorts = {0, 1, 12, 65535};
  const std::vector<rt::Byte> bytes = {0, 1, 12, 255};
  const std::vector<rt::Real> reals = {0.0, -0.0, 0.3, 0.1 + 0.2, -1.5, 2.5, 1e300, -7.0, 12.0, 1000.0};
  const std::vector<std::string> decimals = {"0", "-1.25", "3.10", "-0.01", "12.00", "100.50", "2.5"};
  const std::vector<rt::Long> days = {0, 70000, 70001, 80000};
  const std::vector<rt::Long> times = {0, 1, 360001, 8640000};
  std::vector<Every> records(kRecords);
  for (int i = 0; i < kRecords; ++i) {
    Every& e = records[static_cast<std::size_t>(i)];
    e.ID = i + 1;
    e.L = Pick(random, longs);
    e.S = Pick(random, shorts);
    e.U = Pick(random, ushorts);
    e.B = Pick(random, bytes);
    e.R = Pick(random, reals);
    EXPECT_TRUE(e.D.Store(rt::Decimal::FromText(Pick(random, decimals))));
    e.NAME = Pick(random, kTexts);
    e.CODE = Pick(random, kTexts);
    e.DAY = Pick(random, days);
    e.AT = Pick(random, times);
  }
  // Reals where the runtime's 15-digit comparison and the double's own value part ways.
  const double inf = std::numeric_limits<double>::infinity();
  const double edges[] = {1e-40, -4e-32, 6e-32, std::nextafter(0.3, 1.0), std::nextafter(0.3, 0.0), 0.299999999999999,
                          0.2999999999999995, 0.3000000000000005, inf, -inf, 1e31, 9.99999999999999e30, 2.4999999999999996};
  for (std::size_t i = 0; i < std::size(edges); ++i) records[i].R = edges[i];
  return records;
}

// Filters whose translation has its own edges (bounds, numbers in text, escaping and injection,
// trailing blanks, reals, partial ANDs, the functions that go down): they run first, and whether
// each goes down, and whole, is checked too, so losing a push-down is caught.
struct Fixed {
  const char* filter;
  bool pushed;    // some SQL comes back
  bool complete;  // the SQL alone selects the rows
};

// clang-format off
const Fixed kFixed[] = {
    {"E:L = 2147483647", true, true}, {"E:L <= -2147483648", true, true}, {"E:L < 12.5", true, true},
    {"E:L = 12.5", false, false}, {"E:L < 99999999999999999999", false, false},
    {"E:L = '12'", true, true}, {"E:L < 'abc'", false, false}, {"E:L = ''", false, false},
    {"E:NAME = 'abc   '", true, true}, {"E:NAME = 'a' OR E:NAME = 'x\x01'", true, true},
    {"E:NAME = 'O''Brien' OR E:CODE = 'O''Brien'", true, true}, {"E:NAME = ''' OR 1=1'", true, true},
    {"E:NAME = '\xC3\xA9t\xC3\xA9'", true, true}, {"E:CODE = 'b'", true, true},
    {"E:CODE = 'abc' OR E:CODE = ''", true, true}, {"NOT E:CODE", true, true},
    {"E:R = 0.3", true, true}, {"E:R = ' 0.3'", true, true}, {"E:R > 9999999999999999999999999999999", true, true},
    {"E:R = 0.0000000000000000000000000000001", true, true}, {"E:R = 'x'", false, false},
    {"E:NAME < 'ab'", false, false}, {"E:L = 1 OR LOWER(E:NAME) = 'a'", false, false},
    {"E:L > 0 AND LOWER(E:NAME) = 'a'", true, false},
    {"(E:L > 0 AND E:NAME <> 'a') AND INSTRING('b', E:NAME, 2) <> 0", true, false},
    {"NOT (E:L = 1 OR E:NAME = 'a')", true, true},
    {"(E:L >= 1) AND (E:L < 12) AND INSTRING('B',UPPER(E:NAME),1,1) <> 0", true, true},
    {"INSTRING('\xA9t', E:NAME, 1, 1) <> 0", true, true}, {"INSTRING('\x01', E:NAME) <> 0", true, true},
    {"INSTRING('c ', E:NAME) <> 0", false, false}, {"INSTRING('', E:NAME) = 0", false, false},
    {"INSTRING('a', E:NAME, 2, 1) <> 0", false, false},
    {"SUB(E:CODE, 1, 2) <> 'ab' AND SUB(E:NAME, 1, 3) <> 'x\x01 '", true, true},
    {"SUB(E:NAME, 1, 3) = 'ab'", true, true}, {"SUB(E:NAME, 1, 7) = 'abc'", true, true},
    {"SUB(E:NAME, 1, 1) = '\xC3'", true, true}, {"SUB(E:CODE, 1, 4) = 'abc '", true, true},
    {"UPPER(E:CODE) <> '\xC3\xA9T\xC3\xA9'", true, true}, {"UPPER(E:CODE) = 'ABC' OR UPPER(E:CODE) <> 'A'", true, true},
    {"SUB(E:CODE, 1, 5) = 'abc' OR SUB(UPPER(E:CODE), 1, 1) = 'A'", true, true},
};
// clang-format on

}  // namespace

TEST_P(FilterEquivalence, AViewReturnsTheRowsTheEvaluatorSelects) {
  rt::FileDecl decl;
  decl.label = "Every";
  decl.driver = GetParam().driver;
  TempDir temp;
  decl.name = (temp / "every").string();
  if (GetParam().nameFor) {
    std::string skip;
    decl.name = GetParam().nameFor(decl.name, skip);
    if (decl.name.empty()) GTEST_SKIP() << skip;
  }
  decl.layout = &EveryLayout();
  decl.keys = {{"E:IDKey", {{1, true}}, true, false, false, true}};
  Every record;
  rt::File file(decl, record);
  file.Create();
  file.Open();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
  const std::vector<Every> records = RandomRecords(20);
  std::mt19937 nulls(21);
  for (const Every& e : records) {
    record = e;
    file.SetNulls("");
    if (nulls() % 4 == 0) file.SetNull(1 + nulls() % EveryLayout().FieldCount(), true);  // kept values all the same
    file.Add();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
  }

  Every local;
  rt::BindScopes localScopes, viewScopes;
  localScopes.BindRecord(EveryLayout(), &local);
  viewScopes.BindRecord(EveryLayout(), &record);
  // The columns the drivers push, to count the filters that go down (not to decide the rows).
  const rt::SqlColumnOf columns = [&](const rt::FieldRef& field) -> std::optional<rt::SqlColumn> {
    for (std::size_t i = 1; i <= EveryLayout().FieldCount(); ++i) {
      const rt::FieldLayout& f = *EveryLayout().Field(i);
      if (!field.IsSameField(rt::FieldRef(f, reinterpret_cast<std::byte*>(&local)))) continue;
      switch (f.shape.type) {
        case rt::FieldType::Real: return rt::SqlColumn{f.name, rt::SqlColumnKind::Real};
        case rt::FieldType::String: return rt::SqlColumn{f.name, rt::SqlColumnKind::Text};
        case rt::FieldType::CString: return rt::SqlColumn{f.name, rt::SqlColumnKind::PaddedText};
        case rt::FieldType::Decimal:
        case rt::FieldType::Date:
        case rt::FieldType::Time: return std::nullopt;
        default: return rt::SqlColumn{f.name, rt::SqlColumnKind::Integer};
      }
    }
    return std::nullopt;
  };

  Filters filters(22);
  int pushed = 0, complete = 0, failures = 0;
  for (std::size_t n = 0; n < kFilters + std::size(kFixed) && failures < 10; ++n) {
    const Fixed* fixed = n < std::size(kFixed) ? &kFixed[n] : nullptr;
    const std::string filter = fixed ? fixed->filter : filters.Next();
    const auto parsed = rt::Expression::Parse(filter, localScopes);
    ASSERT_TRUE(parsed) << filter << ": " << parsed.Error().message;
    std::set<rt::Long> expected;
    for (const Every& e : records) {
      local = e;
      if (parsed->IsTrue()) expected.insert(e.ID);
    }
    const rt::SqlFilter sql = rt::TranslateToSql(*parsed, columns);
    pushed += !sql.where.empty();
    complete += sql.complete;
    if (fixed) {
      EXPECT_EQ(!sql.where.empty(), fixed->pushed) << filter << ": " << sql.where;
      EXPECT_EQ(sql.complete, fixed->complete) << filter << ": " << sql.where;
    }
    // Values travel as parameters only: no string literal in the SQL but the empty one.
    std::string unquoted = sql.where;
    for (std::size_t at; (at = unquoted.find("''")) != std::string::npos;) unquoted.erase(at, 2);
    EXPECT_EQ(unquoted.find('\''), std::string::npos) << filter << ": " << sql.where;
    rt::View view(file, rt::ExpressionFilterParser(viewScopes));
    view.SetProperty(rt::PropViewOrder, "E:ID");
    view.SetBuffering({16, 1, 0, 60});  // several pages: the pushed filter runs at every page
    view.Open();
    view.SetProperty(rt::PropViewFilter, filter);
    EXPECT_EQ(rt::ErrorCode(), 0) << filter << ": " << rt::Error();
    std::set<rt::Long> got;
    for (view.Next(); rt::ErrorCode() == 0; view.Next()) got.insert(record.ID);
    EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << filter << ": " << rt::Error() << " " << rt::FileError();
    if (got != expected) {
      ++failures;
      ADD_FAILURE() << "filter " << n << ": " << filter << "\n  pushed (as translated here): " << sql.where << "\n  view: " << ::testing::PrintToString(got)
                    << "\n  evaluator: " << ::testing::PrintToString(expected);
    }
  }
  ::testing::Test::RecordProperty("filters", static_cast<int>(kFilters));
  ::testing::Test::RecordProperty("pushed", pushed);
  std::printf("%zu filters over %d records: %d pushed down, %d of them whole\n", kFilters, kRecords, pushed, complete);
  EXPECT_GT(pushed, static_cast<int>(kFilters / 4)) << "too few filters went down to test the push-down";
  EXPECT_GT(complete, static_cast<int>(kFilters / 6));
}

}  // namespace equivalence
