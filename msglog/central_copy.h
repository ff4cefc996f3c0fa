#pragma once
// The central copy of this process's log entries: the hooks hand each entry to Add, which
// appends it to the spool beside the log (one write, no network); a sender thread of its own
// moves the spool to the log server and tells LogLossNotice when the server is lost and back.
// Owns the spool writer, the sender thread and its connection; started once by the set-up,
// stopped by its destructor or Stop. Knows no window.

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
    std::string conninfo;   // the administrator's; shown only through RedactConnection
    std::string spoolPath;  // beside the log
    std::string program;    // the executable's path, stored with each entry
    std::chrono::milliseconds retry{2000};  // between attempts while the server is away
  };

  CentralCopy();
  ~CentralCopy();
  CentralCopy(const CentralCopy&) = delete;
  CentralCopy& operator=(const CentralCopy&) = delete;

  // ---- Start and stop ----
  // Starts the sender, which first sends what earlier runs left spooled.
  void Start(Settings settings, LogLossNotice& notice);
  // Ends the sender after its current attempt; what is not sent stays spooled for the next one.
  void Stop();
  bool IsOn() const;

  // ---- Entries (any thread) ----
  // Spools `entry` (the log file's text for it, line end excluded) and wakes the sender. A spool
  // that cannot be written is reported to the notice as a lost entry.
  void Add(std::string_view entry);

  // ---- Test support ----
  // Waits until a round of the sender left nothing unsent; false when `timeout` passed first.
  bool WaitSent(std::chrono::milliseconds timeout);

 private:
  struct Sender;

  mutable std::shared_mutex startMutex_;  // Add shares it; Start and Stop hold it alone
  std::unique_ptr<Sender> sender_;
};
