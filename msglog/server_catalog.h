#pragma once
// The message log as the log server holds it, for the log window: every desk's entries newest
// first by (moment, seq), narrowed by the same filter as the file's. A worker thread of its own
// connects, reads pages of rows and then rows that arrive; the window's thread only takes what
// it published. A server that cannot be reached at the start gives way to the file's catalog
// (the log beside the program), and Problem() says so. Owns the worker, its connection, the rows
// read and the file catalog it falls back to; never writes to the server.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "msglog/central_store.h"
#include "msglog/log_catalog.h"
#include "msglog/log_source.h"

namespace msglog {

class ServerLogCatalog final : public LogSource {
 public:
  // Rows read from the table at most (newest first); entries that arrive later are added.
  static constexpr std::size_t kRowLimit = 10000;

  ServerLogCatalog() = default;
  ~ServerLogCatalog() override { Stop(); }
  ServerLogCatalog(const ServerLogCatalog&) = delete;
  ServerLogCatalog& operator=(const ServerLogCatalog&) = delete;

  // ---- Open, filter, close ----
  // Starts the worker on `conninfo` (the administrator's string); `filePath` is the log shown
  // when the server cannot be reached. Returns at once.
  void Open(std::string conninfo, std::string filePath, LogFilter filter, Changed changed);
  void SetFilter(LogFilter filter) override;
  void Stop() override;

  // ---- Rows and state (the owner's thread) ----
  std::size_t RowCount() const override;
  const LogEntry* Row(std::size_t row) const override;
  bool IsComplete() const override;
  int Progress() const override;
  std::string Problem() const override;
  // The server could not be reached at the start: the rows are the file's.
  bool IsFallenBack() const { return fellBack_.load(); }

 private:
  void Start();
  void Work(std::stop_token stop);
  bool ReadPages(std::stop_token stop);
  void Publish(std::vector<LogEntry>& rows);
  void SetProblem(std::string problem);

  std::string conninfo_, filePath_;
  LogFilter filter_;
  Changed changed_;
  CentralStore store_;    // the worker's while it runs
  LogCatalog file_;       // the rows once fellBack_ is set
  bool connected_ = false;  // the worker reached the server once

  mutable std::mutex mutex_;
  mutable std::vector<LogEntry> pending_;  // guarded: read, not yet taken by the owner
  std::string problem_;            // guarded
  std::atomic<bool> fellBack_{false}, complete_{false};
  std::atomic<bool> limited_{false};  // the row limit stopped the reading before the table's start
  std::atomic<std::int64_t> scanned_{0}, total_{0};
  std::condition_variable_any wake_;

  // The owner's thread only: newest first, each entry's line its seq.
  mutable std::vector<LogEntry> rows_;

  std::jthread worker_;  // last: stopped and joined before the members it uses go
};

}  // namespace msglog
