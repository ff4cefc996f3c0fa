#pragma once
// Share locks between openers of one file, in every thread and process: an opener states what it
// does (read, write) and what it denies others (read, write), and is refused when that clashes
// with an opener already there. Open-file-description locks on a small side file carry the
// state, so they vanish with the descriptor, also when a process is killed. The same descriptor
// carries the opener's record holds: one byte per record pointer past the share bytes, so a
// hold ends with its opener however that opener ends (another PID namespace included).
// Owns its descriptor; calls nothing but the C library.

#include <cstdint>
#include <string>

#include "runtime/core/types.h"

namespace rt {

class ShareLock {
 public:
  ShareLock() = default;
  ~ShareLock() { Release(); }
  ShareLock(const ShareLock&) = delete;
  ShareLock& operator=(const ShareLock&) = delete;

  // 0, 5 (a clash with another opener), or 90 with errno in `error`.
  Long Acquire(const std::string& lockPath, Long mode, int& error);
  void Release();
  bool IsHeld() const { return fd_ >= 0; }

  // ---- Record holds (need Acquire first) ----
  // A hold is an exclusive lock on the record's byte; a writer takes a shared one for the length
  // of its statement, so no hold can start between its check and its write. Both fail at once
  // (no wait) when another opener's lock is in the way; our own locks never are.
  bool TryHoldRecord(std::int64_t pointer);
  bool TryWriteRecord(std::int64_t pointer);
  void UnlockRecord(std::int64_t pointer);
  // An exclusive lock of another opener on the record: a live hold.
  bool IsHeldElsewhere(std::int64_t pointer) const;
  // A shared lock of another opener on the record: a write in progress.
  bool IsBeingWritten(std::int64_t pointer) const;

 private:
  int fd_ = -1;
};

}  // namespace rt
