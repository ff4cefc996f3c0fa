#pragma once
// Test support: who hears when a program thread starts or stops waiting for input. The headless
// backend's Robot and the Qt tests wait on it until a thread has handled what was sent to it;
// the product never listens. Owns the one observer slot; the accept loop (accept_loop.cpp) is
// the only caller. Calls nothing.

#include <cstdint>

#include "runtime/core/types.h"

namespace rt::ui {

enum class ProgramThreadState { Busy, WaitingForInput, Ended };

class ThreadActivityObserver {
 public:
  // The calling program thread `thread` started or stopped waiting for input; `handledInput` is
  // the sequence number of the last user input it has taken (input_sink.h). Must not block.
  virtual void ThreadStateChanged(Long thread, ProgramThreadState state, std::uint64_t handledInput) = 0;

 protected:
  ~ThreadActivityObserver() = default;
};

// Any thread. One observer at a time; nullptr removes it, and returns only once no call to the
// removed one is still running, so its owner may then destroy it.
void SetThreadActivityObserver(ThreadActivityObserver* observer);

// For the accept loop: tells the observer, when there is one.
void ReportThreadState(Long thread, ProgramThreadState state, std::uint64_t handledInput);

}  // namespace rt::ui
