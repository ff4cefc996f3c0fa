#pragma once
// List format strings and list sources: how a list control lays out its columns and where its
// rows come from. Owns the format grammar below and the formatting of one cell; does not own
// the rows (a ListSource is the program's, typically a queue) nor the list control (control.h).
// Calls runtime/core's pictures.
//
// A format string is a run of columns, each:
//   <width> <align>[(<indent>)] [modifiers] [~<heading>~[<align>[(<indent>)]]] [@<picture>@]
// align: L left, R right, C centre, D decimal (indent = offset of the point from the right).
// Modifiers: | right border, M resizable, _ underline, F fixed, S(<n>) scroll width, #<n>#
// field number, and the single letters Y * I J T P E Q, which are accepted and kept in Format.
// "64R(2)|M~ID~C(0)@n-14@80L(2)|M~Name~L(2)@s20@" is two resizable columns.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/types.h"

namespace rt {

struct ListColumn {
  Long width = 0;
  char alignment = 'L';
  Long indent = 0;
  std::string heading;
  char headingAlignment = 'L';
  Long headingIndent = 0;
  bool hasHeading = false;
  bool rightBorder = false;
  bool resizable = false;
  bool underline = false;
  bool fixed = false;
  Long scrollWidth = 0;
  Long fieldNo = 0;     // the source field this column shows (1-based)
  std::string picture;  // as written, e.g. "@n-14"; empty for none
  std::string format;   // this column's part of the format string
};

// nullopt with a reason in `error` when the text is not a format string (empty is zero columns).
std::optional<std::vector<ListColumn>> ParseListFormat(std::string_view format, std::string* error = nullptr);

// A cell's value shown through the column's picture (an empty picture shows it as it is).
std::string FormatCell(const ListColumn& column, std::string_view value);

// Rows for a list. The program owns it and keeps it alive while a list shows it; it is read on
// the program thread that owns the window.
class ListSource {
 public:
  virtual ~ListSource() = default;
  virtual Long RowCount() const = 0;
  // The field's value as plain text (numbers in decimal, dates and times as standard numbers).
  // `row` and `field` are 1-based.
  virtual std::string Value(Long row, Long field) const = 0;
};

// A virtual list's callback: row -1 asks the row count, -2 the column count, -3 whether the
// contents changed ("1"); rows from 1 give the value of `column` (1-based).
using VirtualListProc = std::function<std::string(Long row, Long column)>;

}  // namespace rt
