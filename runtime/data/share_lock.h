#pragma once
// Share locks between openers of one file, in every thread and process: an opener states what it
// does (read, write) and what it denies others (read, write), and is refused when that clashes
// with an opener already there. Open-file-description locks on a small side file carry the
// state, so they vanish with the descriptor, also when a process is killed.
// Owns its descriptor; calls nothing but the C library.

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

 private:
  int fd_ = -1;
};

}  // namespace rt
