#pragma once
// Test support shared by the push-down test and the expression fuzz target: runs a pushed filter
// on a SQLite table "t" whose "id" column numbers the rows. Binds the filter's parameters the way
// a driver must (by position, text with its length), so both check the same path.

#include <sqlite3.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <variant>

#include "runtime/data/expression_sql.h"

namespace test_expression {

// The ids of the rows that `filter` selects (all rows for an empty filter); nullopt when SQLite
// refuses the statement or the placeholders do not match the parameters.
inline std::optional<std::set<std::size_t>> SelectIds(sqlite3* db, const rt::SqlFilter& filter) {
  const std::string sql = "SELECT id FROM t" + (filter.where.empty() ? std::string() : " WHERE " + filter.where);
  sqlite3_stmt* select = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &select, nullptr) != SQLITE_OK) return std::nullopt;
  if (sqlite3_bind_parameter_count(select) != static_cast<int>(filter.parameters.size())) {
    sqlite3_finalize(select);
    return std::nullopt;
  }
  for (std::size_t i = 0; i < filter.parameters.size(); ++i) {
    const int at = static_cast<int>(i + 1);
    const rt::SqlValue& value = filter.parameters[i];
    if (const auto* integer = std::get_if<std::int64_t>(&value)) sqlite3_bind_int64(select, at, *integer);
    if (const auto* real = std::get_if<double>(&value)) sqlite3_bind_double(select, at, *real);
    if (const auto* text = std::get_if<std::string>(&value))
      sqlite3_bind_text(select, at, text->data(), static_cast<int>(text->size()), SQLITE_TRANSIENT);
  }
  std::set<std::size_t> ids;
  while (sqlite3_step(select) == SQLITE_ROW) ids.insert(static_cast<std::size_t>(sqlite3_column_int64(select, 0)));
  sqlite3_finalize(select);
  return ids;
}

}  // namespace test_expression
