#include "runtime/ui/list_format.h"

#include <cctype>

#include "runtime/core/picture.h"

namespace rt {

namespace {

class FormatReader {
 public:
  explicit FormatReader(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  char Take() { return AtEnd() ? '\0' : text_[pos_++]; }
  std::size_t Pos() const { return pos_; }
  std::string_view Slice(std::size_t from) const { return text_.substr(from, pos_ - from); }

  std::optional<Long> Number() {
    Long value = 0;
    std::size_t digits = 0;
    while (std::isdigit(static_cast<unsigned char>(Peek()))) {
      value = value * 10 + (Take() - '0');
      if (++digits > 6) return std::nullopt;
    }
    return digits ? std::optional<Long>(value) : std::nullopt;
  }
  // "(n)" after an alignment letter; absent means 0.
  bool Indent(Long& out) {
    out = 0;
    if (Peek() != '(') return true;
    Take();
    const bool negative = Peek() == '-';
    if (negative) Take();
    const auto n = Number();
    if (!n || Take() != ')') return false;
    out = negative ? -*n : *n;
    return true;
  }
  // Text up to `close`; false when it never comes.
  bool Until(char close, std::string& out) {
    const std::size_t end = text_.find(close, pos_);
    if (end == std::string_view::npos) return false;
    out = std::string(text_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return true;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

bool IsAlignment(char c) { return c == 'L' || c == 'R' || c == 'C' || c == 'D'; }

bool Fail(std::string* error, const std::string& why) {
  if (error) *error = why;
  return false;
}

bool ReadColumn(FormatReader& in, ListColumn& column, std::string* error) {
  const std::size_t start = in.Pos();
  const auto width = in.Number();
  if (!width) return Fail(error, "column width expected at " + std::to_string(in.Pos()));
  column.width = *width;
  const char align = static_cast<char>(std::toupper(static_cast<unsigned char>(in.Take())));
  if (!IsAlignment(align)) return Fail(error, "alignment L, R, C or D expected at " + std::to_string(in.Pos() - 1));
  column.alignment = align;
  if (!in.Indent(column.indent)) return Fail(error, "bad indent at " + std::to_string(in.Pos()));
  while (!in.AtEnd() && !std::isdigit(static_cast<unsigned char>(in.Peek()))) {
    const char c = in.Take();
    switch (std::toupper(static_cast<unsigned char>(c))) {
      case '|': column.rightBorder = true; break;
      case 'M': column.resizable = true; break;
      case '_': column.underline = true; break;
      case 'F': column.fixed = true; break;
      case 'Y': case '*': case 'I': case 'J': case 'T': case 'P': case 'E': case 'Q': break;
      case 'S':
        if (!in.Indent(column.scrollWidth)) return Fail(error, "bad S(n) at " + std::to_string(in.Pos()));
        break;
      case '#': {
        const auto field = in.Number();
        if (!field || in.Take() != '#') return Fail(error, "bad #field# at " + std::to_string(in.Pos()));
        column.fieldNo = *field;
        break;
      }
      case '~': {
        if (!in.Until('~', column.heading)) return Fail(error, "heading without closing ~");
        column.hasHeading = true;
        const char headingAlign = static_cast<char>(std::toupper(static_cast<unsigned char>(in.Peek())));
        if (IsAlignment(headingAlign)) {
          in.Take();
          column.headingAlignment = headingAlign;
          if (!in.Indent(column.headingIndent)) return Fail(error, "bad heading indent at " + std::to_string(in.Pos()));
        } else {
          column.headingAlignment = column.alignment;
        }
        break;
      }
      case '@': {
        std::string body;
        if (!in.Until('@', body)) return Fail(error, "picture without closing @");
        column.picture = '@' + body;
        break;
      }
      default:
        return Fail(error, std::string("unknown modifier '") + c + "' at " + std::to_string(in.Pos() - 1));
    }
  }
  column.format = std::string(in.Slice(start));
  return true;
}

}  // namespace

std::optional<std::vector<ListColumn>> ParseListFormat(std::string_view format, std::string* error) {
  std::vector<ListColumn> columns;
  FormatReader in(format);
  while (!in.AtEnd()) {
    ListColumn column;
    if (!ReadColumn(in, column, error)) return std::nullopt;
    columns.push_back(std::move(column));
    if (columns.back().fieldNo == 0) {
      // Columns without #n# show the field after the previous column's.
      columns.back().fieldNo = columns.size() == 1 ? 1 : columns[columns.size() - 2].fieldNo + 1;
    }
  }
  return columns;
}

std::string FormatCell(const ListColumn& column, std::string_view value) {
  return column.picture.empty() ? std::string(value) : FormatText(value, column.picture);
}

}  // namespace rt
