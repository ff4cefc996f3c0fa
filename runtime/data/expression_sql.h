#pragma once
// Pushing a parsed filter down to SQL: translates the parts of an expression (expression.h) whose
// rows SQLite selects exactly as the evaluator does into a WHERE fragment with '?' placeholders and
// the values to bind to them. Owns only the translation rules; knows no connection or table (the
// caller maps fields to columns) and never pastes a value into the SQL text. Calls expression.h.
//
// What is pushed (everything else is left to the evaluator):
//  - integer column  relation  number or numeric text literal (a fraction becomes a bound on
//    its floor);
//  - integer column  relation  integer column;
//  - real column  relation  number or numeric text literal, as a range of doubles: the runtime
//    compares Reals at 15 significant digits, so the bounds are where its comparison changes,
//    not the literal's own double;
//  - text column  = or <>  text literal (clipped), or text column;
//  - a bare column: true when non-zero (integer, real) or not blank (text);
//  - of a text column (or UPPER of one; upper() is made to map ASCII letters only, as UPPER does):
//    INSTRING('text', column [, 1 [, 1]]) against 0 as found / not found, for a text that does not
//    end in a blank; SUB(column, 1, n) = or <> a text literal; UPPER(column) = or <> a text literal;
//  - AND, OR and NOT over pushed parts.
// Not pushed, because the answers can differ: text ordering (blank padding sorts a byte below
// the blank after the shorter text, BINARY before it), text against numbers (decided per row by
// IsNumeric), real against real or integer columns, and every other function (LEFT, CLIP, LOWER,
// FORMAT depend on padding or pictures). On PostgreSQL a text value that the server cannot hold
// (not UTF-8, or with a zero byte) is not pushed either: the server would refuse the statement.
// Each fragment is written in the SQL of its column's engine (the view hands it to the driver
// that stores the column, which numbers and types the '?').
// The columns must hold no NULL (the driver stores every field's value; a NaN Real, which SQLite
// would store as NULL, is not supported).

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "runtime/data/expression.h"
#include "runtime/data/field_ref.h"

namespace rt {

// How a field is stored in its column.
enum class SqlColumnKind {
  Integer,  // Long, Short, UShort, Byte, Date, Time as INTEGER
  Real,     // Real as REAL
  Text,     // String as TEXT without trailing blanks, byte order (BINARY, COLLATE "C")
  // CString as TEXT as written, which may end in blanks (files hold them so): compared trimmed.
  PaddedText,
};

// The SQL a fragment is written in: the engine of the driver that stores the columns.
enum class SqlDialect { SQLite, Postgres };

struct SqlColumn {
  std::string name;  // written quoted into the fragment
  SqlColumnKind kind = SqlColumnKind::Integer;
  SqlDialect dialect = SqlDialect::SQLite;
};

// The column of a bound field, or nullopt when the field has no column that can be pushed.
using SqlColumnOf = std::function<std::optional<SqlColumn>(const FieldRef& field)>;

using SqlValue = std::variant<std::int64_t, double, std::string>;

struct SqlFilter {
  // A condition for a WHERE clause ("" when nothing could be pushed), with one '?' per value in
  // `parameters`, in order.
  std::string where;
  std::vector<SqlValue> parameters;
  // True when `where` selects exactly the rows the expression accepts; false when only some
  // conditions of a top-level AND were pushed and the evaluator must still test each row
  // (the pushed ones never drop a row that the whole expression accepts).
  bool complete = false;
};

SqlFilter TranslateToSql(const Expression& expression, const SqlColumnOf& columnOf);

}  // namespace rt
