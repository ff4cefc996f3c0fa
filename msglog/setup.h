#pragma once
// The message-log set-up that start-up runs once, before any window opens: the computer name,
// the log path beside the executable, the central copy when the administrator configured a log
// server beside the executable, and the two hooks. A message raised before it is shown without
// being logged.

#include <string>

// Reads the computer name into GLO_KESTROMSGLOG__COMPUTER (empty when it does not fit).
void ReadComputerName();
// Works out GLO_KESTROMSGLOG__EXEPATH and GLO_KESTROMSGLOG__NAME from the executable's path.
void SetMessageLogPath();
// The log server's connection string from `file` (the first line that is neither blank nor a
// "#" comment, trimmed); "" when the file is missing or names none.
std::string ReadLogServerFile(const std::string& file);
// The administrator's log server: the connection string in kLogServerFileName beside the
// executable, "" when none is configured.
std::string LogServerConnection();
// The spool and the cursor beside the log at `logPath`: beside the file it links to, when
// `logPath` is a link (the installed layout links the program's folder to the system's log).
std::string SpoolPathFor(const std::string& logPath);
std::string CursorPathFor(const std::string& logPath);
// Starts GLO_CentralLog when kLogServerFileName beside the executable names a server. Only the
// administrator's file counts: no option, environment variable or user's setting names the server.
void StartCentralLog();
// Installs KestroMessage_ and KestroStop_ in system properties 31285 and 31286.
void InstallMessageHooks();

// All four, in that order.
void MessageLogSetup();
