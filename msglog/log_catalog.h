#pragma once
// The entries of one message log as a window lists them: newest first, narrowed by a filter.
// The last entries are read from the end at once, so a first page shows on any size of log; a
// worker thread of its own then reads the whole file for the positions of the entries the
// filter keeps, and goes on following the file as the program appends to it. Owns the worker,
// the positions and a small cache of entries read; reads the file and never writes it.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "msglog/log_entry.h"
#include "msglog/log_filter.h"
#include "msglog/log_index.h"
#include "msglog/log_source.h"

namespace msglog {

class LogCatalog final : public LogSource {
 public:
  // Entries read from the end for the first page.
  static constexpr std::size_t kFirstEntries = 200;

  LogCatalog() = default;
  ~LogCatalog() override { Stop(); }
  LogCatalog(const LogCatalog&) = delete;
  LogCatalog& operator=(const LogCatalog&) = delete;

  // ---- Open, filter, close ----
  // Reads the last entries of `path` and starts the worker. A log that does not exist yet is an
  // empty one that the worker waits for.
  void Open(std::string path, LogFilter filter, Changed changed);
  // Narrows (or widens) the rows: the first page again at once, the whole log by the worker.
  void SetFilter(LogFilter filter) override;
  // Stops the worker and waits for it; the rows found stay.
  void Stop() override;

  // ---- Rows (the owner's thread) ----
  std::size_t RowCount() const override;
  // Row 1 is the newest entry kept. Null past the rows or when the entry cannot be read.
  const LogEntry* Row(std::size_t row) const override;
  // The worker has read the whole log: every row is there, not only the last page's.
  bool IsComplete() const override { return complete_.load(); }
  int Progress() const override;                   // percent of the log read, 100 once complete
  int Error() const { return error_.load(); }      // errno of a failed read, else 0
  std::string Problem() const override;            // "The log cannot be read: …" after an error

 private:
  void Start();
  void Work(std::stop_token stop);
  void Publish(std::vector<EntryPosition>& found, bool notify);

  std::string path_;
  LogFilter filter_;
  Changed changed_;
  std::vector<LogEntry> lastEntries_;   // the last entries of the log, oldest first, unfiltered
  std::vector<std::size_t> firstPage_;  // indexes into lastEntries_ the filter keeps, newest first

  mutable std::mutex mutex_;
  std::vector<EntryPosition> positions_;  // guarded: entries kept, oldest first
  unsigned generation_ = 0;               // guarded: counts the files read under the name
  std::atomic<bool> complete_{false};
  std::atomic<int> error_{0};
  std::atomic<std::uint64_t> bytesDone_{0}, bytesTotal_{0};
  std::condition_variable_any wake_;

  mutable std::map<std::uint64_t, LogEntry> cache_;  // by offset; the owner's thread only
  mutable unsigned cacheGeneration_ = 0;
  mutable LogEntry unreadable_;

  std::jthread worker_;  // last: stopped and joined before the members it uses go
};

}  // namespace msglog
