#pragma once
// One entry of the message log as a reader sees it: its kind, the moment and the fields the
// kind has, and where it starts. A view points into its reader's buffer and lives until the
// reader's next call; LogEntry is the owning copy for callers that keep entries.
// Owns no file and knows nothing of the writer beyond the text it leaves.

#include <cstdint>
#include <string>
#include <string_view>

namespace msglog {

enum class EntryKind {
  Message,       // a message box and the button pressed
  Stop,          // a stop dialog, logged before it opens
  DeclinedStop,  // "Previous STOP Ignored.": the user went on after a stop
  Damaged,       // a stretch of the file that is no whole entry; `damage` says why
};

// The date and time as the entry carries them: local time, no zone.
struct LogMoment {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool IsSet() const { return year != 0; }
  // yyyymmddhhmmss, for comparing moments.
  std::int64_t Key() const {
    return ((((year * 100LL + month) * 100 + day) * 100 + hour) * 100 + minute) * 100 + second;
  }
};

struct EntryView {
  EntryKind kind = EntryKind::Damaged;
  std::uint64_t offset = 0;  // byte offset of the entry's first line
  std::uint64_t line = 0;    // its 1-based line number; 0 when read from the end of the file
  std::uint32_t lines = 0;   // the lines it takes
  LogMoment moment;
  std::string_view user, computer;
  std::string_view windowTitle;                  // message and stop
  std::string_view title;                        // message: the box's caption
  std::string_view text;                         // message text or stop text; may hold line ends
  std::string_view shownButtons, pressedButton;  // message
  std::string_view raw;     // the entry's bytes as they stand, line ends included
  const char* damage = "";  // why a Damaged entry is one ("" otherwise)
  bool clipped = false;     // the writer cut it at 2000 characters: its last fields are missing
};

const char* KindName(EntryKind kind);  // "message", "stop", "declined", "damaged"

// An entry that outlives its reader.
struct LogEntry {
  EntryKind kind = EntryKind::Damaged;
  std::uint64_t offset = 0, line = 0;
  std::uint32_t lines = 0;
  LogMoment moment;
  std::string user, computer, windowTitle, title, text, shownButtons, pressedButton, raw;
  std::string damage;
  bool clipped = false;

  static LogEntry From(const EntryView& view);
  EntryView View() const;  // valid while this entry lives
};

}  // namespace msglog
