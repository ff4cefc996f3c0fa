#include "runtime/ui/thread_activity.h"

#include <mutex>

namespace rt::ui {

namespace {
// Held while the observer is called, so that removing it waits for calls in flight.
std::mutex gObserverMutex;
ThreadActivityObserver* gObserver = nullptr;
}  // namespace

void SetThreadActivityObserver(ThreadActivityObserver* observer) {
  std::lock_guard lock(gObserverMutex);
  gObserver = observer;
}

void ReportThreadState(Long thread, ProgramThreadState state, std::uint64_t handledInput) {
  std::lock_guard lock(gObserverMutex);
  if (gObserver) gObserver->ThreadStateChanged(thread, state, handledInput);
}

}  // namespace rt::ui
