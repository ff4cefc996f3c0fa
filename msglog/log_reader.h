#pragma once
// Reading the message log as a stream of entries, in constant memory, while other programs may
// be appending to it. Owns one read-only descriptor and one fixed buffer; never writes, locks or
// seeks the writers' file. The format is the one message_log.cpp writes; what cannot be read as
// an entry comes back as a Damaged entry with its line, and reading goes on after it.
// Plain POSIX below; no runtime or framework calls.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "msglog/log_entry.h"

namespace msglog {

// ---- Entries in memory ----

// How the bytes after the scanned span stand.
enum class SpanEnd {
  MoreFollows,  // the span is a window: an entry reaching its end may go on
  LiveEnd,      // the file ends here for now: a whole-looking last entry is taken, a cut one waits
  FinalEnd,     // nothing will follow: a cut last entry is reported as damaged
};

// Parses the entry (or damaged stretch) starting at `data[0]`, a line start. Returns the bytes it
// covers, or 0 when the entry needs bytes after the span. `entry.offset` and `entry.line` are set
// from `offset` and `line`; the views point into `data`.
std::size_t ScanEntry(const char* data, std::size_t size, SpanEnd end, std::uint64_t offset, std::uint64_t line,
                      EntryView& entry);

// True for a line that starts an entry ("Dec 06, 2026 09:04:05 USER:"); `line` excludes its end.
bool IsEntryHeader(const char* line, std::size_t size);

// ---- The streaming reader ----

class LogReader {
 public:
  // Bytes held at most; an entry or damaged stretch longer than this is cut into damaged pieces.
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;

  LogReader();
  ~LogReader();
  LogReader(const LogReader&) = delete;
  LogReader& operator=(const LogReader&) = delete;

  // ---- Open and close ----
  // Opens `path` and reads from `offset` (an entry start, from an index), counting lines from
  // `line`. Returns 0 or the errno that failed.
  int Open(const std::string& path, std::uint64_t offset = 0, std::uint64_t line = 1);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // ---- Read ----
  enum class Result { Entry, End, Error };
  // The next whole entry. End when no whole entry follows yet: a later call reads what was
  // appended meanwhile. Error when a read fails (LastError() says why).
  Result Next(EntryView& entry);
  // After End: takes an entry still cut short at the end of the file as the last one (damaged
  // unless whole), for a file known to be complete. False when nothing is left.
  bool TakeTail(EntryView& entry);

  // ---- State ----
  std::uint64_t Offset() const { return bufferOffset_ + begin_; }  // where the next entry starts
  std::uint64_t PendingBytes() const { return end_ - begin_; }     // after End: an entry in writing
  int LastError() const { return error_; }
  int Descriptor() const { return fd_; }

 private:
  bool Fill();  // moves the unread bytes to the front and reads more; false at the end or on error
  void Advance(const EntryView& entry, std::size_t bytes);

  int fd_ = -1;
  std::vector<char> buffer_;
  std::size_t begin_ = 0, end_ = 0;  // unread bytes in buffer_
  std::uint64_t bufferOffset_ = 0;   // file offset of buffer_[0]
  std::uint64_t line_ = 1;           // line number at begin_
  int error_ = 0;
};

// ---- The last entries, for a first page ----

// Reads the last `count` entries of `path` (oldest first) from the end, without reading the rest
// of the file; their line numbers are 0. A cut-short last entry still in writing is left out.
// Returns 0 or an errno.
int ReadLastEntries(const std::string& path, std::size_t count, std::vector<LogEntry>& entries);

}  // namespace msglog
