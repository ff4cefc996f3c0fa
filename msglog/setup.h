#pragma once
// The message-log set-up that start-up runs once, before any window opens: the computer name,
// the log path beside the executable, and the two hooks. A message raised before it is shown
// without being logged.

// Reads the computer name into GLO_KESTROMSGLOG__COMPUTER (empty when it does not fit).
void ReadComputerName();
// Works out GLO_KESTROMSGLOG__EXEPATH and GLO_KESTROMSGLOG__NAME from the executable's path.
void SetMessageLogPath();
// Installs KestroMessage_ and KestroStop_ in system properties 31285 and 31286.
void InstallMessageHooks();

// All three, in that order.
void MessageLogSetup();
