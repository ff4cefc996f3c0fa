#pragma once
// The process-wide values that every message-log entry carries: the logged-in user's name and
// the log's path, the computer name and the executable's directory. The set-up writes the last
// three once at start-up, before any other thread starts; afterwards they are only read. The user
// name is set by the login screen while other threads may be logging, so it is guarded.

#include <mutex>
#include <string>
#include <string_view>

#include "msglog/central_copy.h"
#include "msglog/log_loss.h"
#include "msglog/log_path.h"
#include "runtime/core/fixed_string.h"

// GLO:USERNAME, a fixed string of 20: blank until a user has logged in.
class GuardedUserName {
 public:
  void Set(std::string_view name);
  rt::FixedString<20> Get() const;

 private:
  mutable std::mutex mutex_;
  rt::FixedString<20> name_;
};

extern GuardedUserName GLO_USERNAME;

// The two paths hold any path the system can open, not only 256 bytes, so that a deep install
// still logs beside its executable.
extern rt::CString<kLogPathCapacity> GLO_KESTROMSGLOG__NAME;     // full path of the message log file
extern rt::CString<40> GLO_KESTROMSGLOG__COMPUTER;               // the computer name
extern rt::CString<kLogPathCapacity> GLO_KESTROMSGLOG__EXEPATH;  // the executable's directory

// Whether this session has lost entries, and who is to be told: the writer reports, the frame listens.
extern LogLossNotice GLO_MessageLogLoss;

// The central copy on the log server, started by the set-up when the administrator configured
// one; off otherwise. Declared after the notice it reports to, so it stops first at exit.
extern CentralCopy GLO_CentralLog;
