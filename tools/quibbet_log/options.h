#pragma once
// quibbet_log's command line: what to read, which entries to keep and how to write them.
// Owns the parsed values; parsing reports a bad option or date as text, never by exiting.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "msglog/log_entry.h"

namespace quibbet_log {

enum class Format { Text, Csv, Json };
enum class Mode { List, Summary, Check, Help, Version };

// Exit codes, the same in --help.
enum ExitCode : int {
  kExitOk = 0,
  kExitDamaged = 1,     // --check found damaged entries
  kExitUsage = 2,       // a bad option, value or date
  kExitNoFile = 3,      // the log file does not exist
  kExitUnreadable = 4,  // it exists but cannot be read
  kExitOutput = 5,      // the output cannot be written (a full disk, a closed pipe)
};

struct Options {
  Mode mode = Mode::List;
  Format format = Format::Text;
  bool follow = false;
  std::string file;  // "" for the log beside the program

  // Filters; an unset one keeps every entry.
  std::optional<std::string> user, computer, pressed;  // equal, ignoring case
  std::optional<std::string> window, text;            // contained, ignoring case (folded)
  unsigned kinds = ~0u;                                // bits of 1 << EntryKind
  std::optional<std::int64_t> since, until;            // LogMoment::Key() bounds, inclusive

  // True for a whole entry that passes every filter.
  bool Accepts(const msglog::EntryView& entry) const;
};

// Parses the arguments. Returns kExitOk, or kExitUsage with `error` saying what is wrong.
// `now` is the moment "today" means.
int ParseOptions(int argc, char** argv, std::time_t now, Options& options, std::string& error);

std::string UsageText();

// Lower case for comparing without regard to case: UTF-8 decoded and folded by the C library's
// wide-character tables; bytes that are not UTF-8 are kept as they are.
std::string Folded(std::string_view text);

}  // namespace quibbet_log
