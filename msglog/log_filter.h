#pragma once
// Which entries of the message log a reader wants: by user, computer, button pressed, window
// title, text, kind and moment. The command-line tool and the log window filter alike through
// it. Owns its values; matching reads an entry and changes nothing.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "msglog/log_entry.h"

namespace msglog {

// Lower case for comparing without regard to case: UTF-8 decoded and folded by the C library's
// wide-character tables; bytes that are not UTF-8 are kept as they are.
std::string FoldCase(std::string_view text);

constexpr unsigned KindBit(EntryKind kind) { return 1u << static_cast<unsigned>(kind); }

struct LogFilter {
  // An unset filter keeps every entry. Values are kept folded (FoldCase) and trimmed of blanks
  // where they must equal a field.
  std::optional<std::string> user, computer, pressed;  // equal, ignoring case
  std::optional<std::string> window, text;            // contained, ignoring case
  unsigned kinds = ~0u;                                // KindBit()s of the kinds kept
  std::optional<std::int64_t> since, until;            // LogMoment::Key() bounds, inclusive

  // Setters that fold and trim as the fields are compared; an empty value clears the filter.
  void SetUser(std::string_view value);
  void SetComputer(std::string_view value);
  void SetPressed(std::string_view value);
  void SetWindow(std::string_view value);
  void SetText(std::string_view value);

  // True for a whole entry (never a damaged one) that passes every filter.
  bool Accepts(const EntryView& entry) const;
  bool operator==(const LogFilter&) const = default;
};

}  // namespace msglog
