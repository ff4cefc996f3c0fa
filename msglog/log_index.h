#pragma once
// An index of where each entry of the message log starts, built on a worker thread of its own so
// that a window can show the last page at once (ReadLastEntries) and reach any entry once the
// index has come that far. Owns its worker and the list of positions; reads the file through a
// LogReader of its own and never writes it.

#include <atomic>
#include <cstdint>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "msglog/log_entry.h"

namespace msglog {

struct EntryPosition {
  std::uint64_t offset = 0;
  std::uint64_t line = 1;
};

class LogIndex {
 public:
  LogIndex() = default;
  ~LogIndex() { Stop(); }
  LogIndex(const LogIndex&) = delete;
  LogIndex& operator=(const LogIndex&) = delete;

  // ---- Build ----
  // Starts indexing `path` from its beginning up to its end as found (entries appended later are
  // not indexed). A running build is stopped first.
  void Start(const std::string& path);
  // Stops the worker and waits for it; the positions found so far stay.
  void Stop();

  // ---- Query state (any thread) ----
  bool IsDone() const { return done_.load(); }
  int Error() const { return error_.load(); }  // errno of a failed open or read, else 0
  // Bytes indexed and the file's size when the build started: the progress to show.
  std::uint64_t BytesDone() const { return bytesDone_.load(); }
  std::uint64_t BytesTotal() const { return bytesTotal_.load(); }
  std::size_t EntryCount() const;
  // The position of the `index`th entry (0 the oldest); false past those found so far.
  bool PositionOf(std::size_t index, EntryPosition& position) const;

 private:
  void Build(std::stop_token stop, std::string path);

  mutable std::mutex mutex_;
  std::vector<EntryPosition> positions_;  // guarded by mutex_
  std::atomic<bool> done_{false};
  std::atomic<int> error_{0};
  std::atomic<std::uint64_t> bytesDone_{0}, bytesTotal_{0};
  std::jthread worker_;  // last: stopped and joined before the members it uses go
};

// Reads the one entry that starts at `position`. Returns 0, an errno, or ENOENT when no whole
// entry starts there.
int ReadEntryAt(const std::string& path, const EntryPosition& position, LogEntry& entry);

}  // namespace msglog
