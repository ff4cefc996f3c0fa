#include "msglog/log_path.h"

#include <cctype>

#include "runtime/core/text.h"

namespace {

// "" (the root of the current drive, or POSIX's "/") or a drive such as "C:".
bool IsRootDirectory(std::string_view directory) {
  return directory.empty() || (directory.size() == 2 && directory[1] == ':' && std::isalpha(static_cast<unsigned char>(directory[0])));
}

}  // namespace

MessageLogLocation MessageLogLocationFor(std::string_view executablePath) {
  const std::size_t last = executablePath.find_last_of("\\/");
  MessageLogLocation location;
  // An executable in a root directory ("\", "C:\", "/") logs to the current directory. Only the
  // root itself: a short directory such as "/a" is an ordinary one.
  if (last != std::string_view::npos && !IsRootDirectory(executablePath.substr(0, last))) {
    location.exeDirectory = std::string(executablePath.substr(0, last));
    location.logPath = std::string(rt::Clip(location.exeDirectory)) + executablePath[last] + kMessageLogFileName;
    // A path the log name cannot hold would be cut mid-component and name an ancestor.
    if (location.logPath.size() < kLogPathCapacity) return location;
  } else {
    location.exeDirectory = std::string(executablePath);
  }
  location.logPath = std::string(".\\") + kMessageLogFileName;
  return location;
}
