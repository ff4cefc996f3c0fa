#include "msglog/log_path.h"

#include "runtime/core/text.h"

MessageLogLocation MessageLogLocationFor(std::string_view executablePath) {
  // 1-based position of the last separator; 0 when there is none.
  const std::size_t last = executablePath.find_last_of("\\/");
  const std::size_t position = last == std::string_view::npos ? 0 : last + 1;
  MessageLogLocation location;
  // Positions 1 to 3 are a root directory ("\", "C:\"): the log then goes to the current directory.
  if (position > 3) {
    location.exeDirectory = std::string(executablePath.substr(0, position - 1));
    location.logPath = std::string(rt::Clip(location.exeDirectory)) + executablePath[last] + kMessageLogFileName;
  } else {
    location.exeDirectory = std::string(executablePath);
    location.logPath = std::string(".\\") + kMessageLogFileName;
  }
  return location;
}
