#pragma once
// quibbet_log's command line: what to read, which entries to keep and how to write them.
// Owns the parsed values; parsing reports a bad option or date as text, never by exiting.

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "msglog/log_entry.h"
#include "msglog/log_filter.h"

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
  kExitNoServer = 6,    // --server: the log server cannot be reached or read
};

struct Options {
  Mode mode = Mode::List;
  Format format = Format::Text;
  bool follow = false;
  std::string file;    // "" for the log beside the program
  std::string server;  // --server: the log server's connection string instead of a file

  msglog::LogFilter filter;
};

// Parses the arguments. Returns kExitOk, or kExitUsage with `error` saying what is wrong.
// `now` is the moment "today" means.
int ParseOptions(int argc, char** argv, std::time_t now, Options& options, std::string& error);

std::string UsageText();

}  // namespace quibbet_log
