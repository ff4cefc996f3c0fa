#pragma once
// What a view needs of a filter: a parsed expression that says whether the current records
// match, gives its text back, and may offer an equivalent SQL condition. The expression
// evaluator plugs in here through a FilterParser; views never parse filter text themselves.
// Owns only the interface.

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/core/types.h"
#include "runtime/data/driver.h"
#include "runtime/data/field_ref.h"

namespace rt {

// Maps a field a filter names to where the driver stores it; nullopt: not comparable in SQL.
using ColumnOf = std::function<std::optional<StoredColumn>(const FieldRef& field)>;

class ViewFilter {
 public:
  virtual ~ViewFilter() = default;
  // Evaluated against the record buffers as they are (the view has loaded the row).
  virtual bool Matches() = 0;
  virtual std::string Text() const = 0;
  // An SQL condition that selects at least the rows Matches accepts (exactly them when marked
  // exact), or nullopt. Optional: without an exact one the view checks Matches on every row.
  virtual std::optional<SqlWhere> PushDown(const ColumnOf& /*columns*/) const { return std::nullopt; }
};

// Parses filter text: a filter, or an error code and text (the filter is then null).
struct ParsedFilter {
  std::unique_ptr<ViewFilter> filter;
  Long code = 0;
  std::string message;
};
using FilterParser = std::function<ParsedFilter(std::string_view text)>;

}  // namespace rt
