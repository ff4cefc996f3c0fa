#pragma once
// The central copy of the log: a sender thread of its own tails the log file from the cursor
// beside it and stores each entry on the log server; the hooks only wake it (Wake). One sender
// per log file sends for every program of the folder (the cursor's lock); the others wait to
// take over. An entry the log file could not take goes to the spool beside the log instead
// (AddUnlogged). Tells LogLossNotice when the server is lost and back. Owns the cursor, the
// spool writer, the sender thread and its connection; started once by the set-up, stopped by
// its destructor or Stop. Knows no window.

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "msglog/central_spool.h"
#include "msglog/log_loss.h"

class CentralCopy {
 public:
  struct Settings {
    std::string conninfo;    // the administrator's; shown only through RedactConnection
    std::string logPath;     // the log file the hooks write
    std::string cursorPath;  // beside the log (the real file, when the log's name is a link)
    std::string spoolPath;   // beside it too: entries the log could not take
    std::string program;     // the executable's path, stored with each entry
    std::chrono::milliseconds retry{2000};  // between attempts while the server is away
  };

  CentralCopy();
  ~CentralCopy();
  CentralCopy(const CentralCopy&) = delete;
  CentralCopy& operator=(const CentralCopy&) = delete;

  // ---- Start and stop ----
  // Starts the sender, which first sends what earlier runs left in the log and the spool.
  void Start(Settings settings, LogLossNotice& notice);
  // Ends the sender after its current attempt; what is not sent waits in the log past the
  // cursor (or in the spool) for the next sender.
  void Stop();
  bool IsOn() const;

  // ---- Entries (any thread) ----
  // An entry reached the log file: the sender looks soon. Costs no system call while the
  // sender is busy or gathering.
  void Wake();
  // `entry` (its text, line end excluded) could not be written to the log file: it is spooled
  // for the server instead. A spool that cannot be written either is reported as a lost entry.
  void AddUnlogged(std::string_view entry);

  // ---- Test support ----
  // Waits until everything the log file held at the call is on the server (by whichever sender
  // holds the cursor) and this sender's round left the spool empty; false when `timeout` passed.
  bool WaitSent(std::chrono::milliseconds timeout);

 private:
  struct Sender;

  mutable std::shared_mutex startMutex_;  // Add shares it; Start and Stop hold it alone
  std::unique_ptr<Sender> sender_;
};
