#pragma once
// Where the message log lies: beside the executable, or in the current directory when the
// executable sits in a root directory ("\", "C:\", "/") or so deep that its path cannot be held. A pure rule over the executable's path, in which '\' and
// '/' both separate directories.

#include <string>
#include <string_view>

struct MessageLogLocation {
  std::string exeDirectory;  // the executable's directory, or its whole path when it has none
  std::string logPath;       // the directory followed by "\Quibbet_.txt", or ".\Quibbet_.txt"
};

inline constexpr char kMessageLogFileName[] = "Quibbet_.txt";
// Beside the executable: the log server's connection string, set by the administrator.
inline constexpr char kLogServerFileName[] = "Quibbet_.logserver";
// Beside the log: how far the log server has the log.
inline constexpr char kCursorFileName[] = "Quibbet_.cursor";
// Beside the log: entries the log file could not take, not yet on the log server.
inline constexpr char kSpoolFileName[] = "Quibbet_.spool";
// Bytes the log's path may take, its terminating zero included: the longest path the system opens.
// A log beside an executable deeper than that goes to the current directory.
inline constexpr std::size_t kLogPathCapacity = 4096;

MessageLogLocation MessageLogLocationFor(std::string_view executablePath);
