#pragma once
// How far the log server has the log file: the cursor file beside the log holds the byte offset
// up to which the server acknowledged the log, and which file that offset belongs to. Owns the
// cursor's format (two checksummed slots, written in turn and synced, so a write cut by a power
// loss leaves the other), its kernel lock (one sender per log file across processes) and the
// identity of a log file and of an entry in it. Plain POSIX; no runtime, database or thread.

#include <cstdint>
#include <string>
#include <string_view>

namespace msglog {

// ---- Identity ----

// A log file as the server's ids know it: its inode and a hash of its first line, so a file an
// administrator replaced or emptied (even on a reused inode) is another. 0 while the file holds
// no whole first line.
std::uint64_t LogIdentity(int fd);

// An entry's id on the server, made from the computer, the file's identity, the entry's offset
// and its bytes: a resent entry gets the same id, and another entry at the same place of a file
// emptied and written again (its identity unchanged) another. A UUID in text form.
std::string LogEntryId(std::string_view computer, std::uint64_t identity, std::uint64_t offset, std::string_view entry);

// ---- The cursor file ----

struct LogPosition {
  std::uint64_t identity = 0;  // the log file the offset is in; 0: none yet (start at 0)
  std::uint64_t offset = 0;    // every entry before it is on the server
};

class LogCursor {
 public:
  LogCursor() = default;
  ~LogCursor();
  LogCursor(const LogCursor&) = delete;
  LogCursor& operator=(const LogCursor&) = delete;

  // ---- Open and close ----
  // Opens `path`, creating it when missing. 0 or errno.
  int Open(const std::string& path);
  void Close();
  bool IsOpen() const { return fd_ >= 0; }
  const std::string& Path() const { return path_; }

  // ---- The sender's lock ----
  // Takes the cursor's exclusive lock without waiting; true when this cursor holds it. A
  // process that dies lets it go with its descriptor.
  bool TryHold();
  bool IsHeld() const { return held_; }

  // ---- Read and write ----
  // The last position written whole; none when the file is empty or both slots are spoilt.
  LogPosition Read() const;
  // Writes `position` over the older slot and syncs it (only the holder). 0 or errno.
  int Write(const LogPosition& position);

 private:
  int fd_ = -1;
  bool held_ = false;
  mutable std::uint64_t sequence_ = 0;  // of the last slot written or read
  std::string path_;
};

}  // namespace msglog
