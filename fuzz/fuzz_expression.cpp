// Expressions on arbitrary filter texts over a small bound record. Input: one line of bytes that
// fill an extra record (text fields and a number), a newline, then the filter text (without a
// newline the whole input is the text). Besides the sanitizers' own checks it traps when a
// documented property breaks: a refused text sets error 800 with a message; a parsed one gives its
// text back; and whatever is pushed down to SQL selects in SQLite exactly the rows the evaluator
// accepts (or, for a partly pushed AND, never loses one).

#include <sqlite3.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/core/text.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression.h"
#include "runtime/data/expression_sql.h"
#include "tests/runtime/data/test_expression_sqlite.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

struct Rec {
  rt::Long n = 0;
  rt::Short s = 0;
  rt::Real r = 0;
  rt::FixedString<8> name;
  rt::CString<8> code;
  rt::PackedDecimal<7, 2> amount;
};

std::vector<Rec> FixedRows() {
  std::vector<Rec> rows(4);
  rows[1].n = -1, rows[1].s = 7, rows[1].r = 0.1, rows[1].name = "a\x01", rows[1].code = "A ";
  rows[2].n = 2147483647, rows[2].s = -32768, rows[2].r = -2.5, rows[2].name = "O'Brien", rows[2].code = "' OR 1";
  rows[3].n = 12, rows[3].s = 12, rows[3].r = 12, rows[3].name = " 12", rows[3].code = "12";
  Check(rows[3].amount.Store(rt::Decimal::FromText("-12.34")));
  return rows;
}

class Table {
 public:
  Table() {
    Check(sqlite3_open(":memory:", &db_) == SQLITE_OK);
    Check(sqlite3_exec(db_, "CREATE TABLE t (id INTEGER PRIMARY KEY, n INTEGER, s INTEGER, r REAL, name TEXT, code TEXT)",
                       nullptr, nullptr, nullptr) == SQLITE_OK);
  }
  ~Table() { sqlite3_close(db_); }

  void Fill(const std::vector<Rec>& rows) {
    Check(sqlite3_exec(db_, "DELETE FROM t", nullptr, nullptr, nullptr) == SQLITE_OK);
    sqlite3_stmt* insert = nullptr;
    Check(sqlite3_prepare_v2(db_, "INSERT INTO t VALUES (?, ?, ?, ?, ?, ?)", -1, &insert, nullptr) == SQLITE_OK);
    for (std::size_t i = 0; i < rows.size(); ++i) {
      const std::string name(rt::Clip(rows[i].name.View())), code(rows[i].code.View());  // as the drivers store them
      sqlite3_bind_int64(insert, 1, static_cast<sqlite3_int64>(i));
      sqlite3_bind_int64(insert, 2, rows[i].n);
      sqlite3_bind_int64(insert, 3, rows[i].s);
      sqlite3_bind_double(insert, 4, rows[i].r);
      sqlite3_bind_text(insert, 5, name.data(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 6, code.data(), static_cast<int>(code.size()), SQLITE_TRANSIENT);
      Check(sqlite3_step(insert) == SQLITE_DONE);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
  }

  std::set<std::size_t> Select(const rt::SqlFilter& filter) {
    const auto ids = test_expression::SelectIds(db_, filter);
    Check(ids.has_value());
    return *ids;
  }

 private:
  sqlite3* db_ = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Table table;
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string_view seed = split == std::string_view::npos ? std::string_view() : input.substr(0, split);
  const std::string_view text = split == std::string_view::npos ? input : input.substr(split + 1);

  std::vector<Rec> rows = FixedRows();
  Rec extra;
  // Through std::string: FixedString::Assign hands an empty view's null data to memcpy.
  extra.name = std::string(seed.substr(0, 8));
  extra.code = std::string(seed.substr(seed.size() > 8 ? 8 : seed.size(), 7));
  if (seed.size() >= 4) std::memcpy(&extra.n, seed.data(), 4);
  if (seed.size() >= 6) std::memcpy(&extra.s, seed.data() + 4, 2);
  if (seed.size() >= 14) std::memcpy(&extra.r, seed.data() + 6, 8);
  if (std::isnan(extra.r)) extra.r = 0;  // SQLite keeps no NaN (it becomes NULL)
  rows.push_back(extra);

  Rec buffer;
  rt::BindScopes scopes;
  scopes.Bind("N", buffer.n);
  scopes.Bind("S", buffer.s);
  scopes.Bind("R", buffer.r);
  scopes.Bind("NAME", buffer.name);
  scopes.Bind("CODE", buffer.code);
  scopes.Bind("AMOUNT", buffer.amount);

  const rt::ParsedExpression parsed = rt::Expression::Parse(text, scopes);
  if (!parsed) {
    Check(parsed.Error().code == rt::BadExpressionErr && rt::ErrorCode() == rt::BadExpressionErr);
    Check(!parsed.Error().message.empty() && rt::Error() == parsed.Error().message);
    Check(parsed.Error().position >= 1 && parsed.Error().position <= text.size() + 1);
    return 0;
  }
  Check(parsed->Text() == text);

  std::set<std::size_t> accepted;
  for (std::size_t i = 0; i < rows.size(); ++i) {
    buffer = rows[i];
    if (parsed->IsTrue()) accepted.insert(i);
    (void)parsed->ValueText();
  }

  const rt::SqlColumnOf columnOf = [&](const rt::FieldRef& field) -> std::optional<rt::SqlColumn> {
    using K = rt::SqlColumnKind;
    if (field.IsSameField(rt::FieldRef(buffer.n))) return rt::SqlColumn{"n", K::Integer};
    if (field.IsSameField(rt::FieldRef(buffer.s))) return rt::SqlColumn{"s", K::Integer};
    if (field.IsSameField(rt::FieldRef(buffer.r))) return rt::SqlColumn{"r", K::Real};
    if (field.IsSameField(rt::FieldRef(buffer.name))) return rt::SqlColumn{"name", K::Text};
    if (field.IsSameField(rt::FieldRef(buffer.code))) return rt::SqlColumn{"code", K::PaddedText};
    return std::nullopt;
  };
  const rt::SqlFilter filter = rt::TranslateToSql(*parsed, columnOf);
  if (filter.where.empty()) {
    Check(!filter.complete);
    return 0;
  }
  table.Fill(rows);
  const std::set<std::size_t> selected = table.Select(filter);
  if (filter.complete) {
    Check(selected == accepted);
  } else {
    for (const std::size_t id : accepted) Check(selected.count(id) == 1);
  }
  return 0;
}
