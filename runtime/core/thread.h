#pragma once
// Program threads and per-thread instances.
//
// A program thread is an OS thread that the runtime numbers (1 = the main program thread).
// Every per-thread global is a `PerThread<T>` with a name: each program thread gets its own
// instance, built when the thread starts and destroyed when it ends, in the build and destroy
// orders the program declares once, by name, in one table (DeclareThreadOrder). Without a table
// instances are built in the order they were declared and destroyed in reverse. An OS thread the
// runtime did not start (a test's own thread, the GUI thread) works too: it has thread number 0
// and its instances are built on first use.

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/core/types.h"

namespace rt {

// ---- Starting and numbering threads ----

// Runs `procedure` on a new program thread and returns its number at once (the runtime's START).
// `stackSize` is the least stack the thread gets; the runtime may give more.
Long Start(std::function<void()> procedure, std::size_t stackSize = 0);

// The calling thread's number: 1 for the main program thread, 0 for a thread that is not one.
Long Thread();

// Makes the calling OS thread a program thread for the lifetime of the scope: numbers it, builds
// its per-thread instances on entry and destroys them on exit. `Start` runs its procedure inside
// one; the program entry runs inside the first, so it is thread 1.
class ThreadScope {
 public:
  ThreadScope();
  ~ThreadScope();
  struct Reserved { Long number; };
  explicit ThreadScope(Reserved number);  // for Start, which numbers the thread before it runs
  ThreadScope(const ThreadScope&) = delete;
  ThreadScope& operator=(const ThreadScope&) = delete;
  Long Number() const { return number_; }

 private:
  Long number_;
};

// Program threads that are running now (scopes included).
std::size_t RunningThreadCount();
// Waits until no thread started by `Start` is running; false on time-out.
bool WaitForStartedThreads(std::chrono::milliseconds timeout);

// ---- Per-thread instances ----

// The program's one table of per-thread objects: `build` and `destroy` each name every
// PerThread exactly once. Declared before the first program thread starts; an object missing or
// named twice is an assertion and leaves the previous orders in force. Names of objects that the
// binary does not link are passed over. Returns whether it took.
struct ThreadOrder {
  std::vector<std::string> build;
  std::vector<std::string> destroy;
};
bool DeclareThreadOrder(const ThreadOrder& order);

namespace detail {
struct SlotType {
  std::string name;
  std::function<std::shared_ptr<void>()> make;
};
std::size_t RegisterSlot(SlotType type);
void* SlotInstance(std::size_t slot);               // the calling thread's, built on first use
std::shared_ptr<void> SlotInstanceOf(std::size_t slot, Long thread);  // another thread's, or empty
}  // namespace detail

// One instance of T per program thread. Declare it once, with a name unique in the program,
// before the threads that use it start. Using an instance after its thread destroyed it (from
// another instance's destructor) is an assertion; it is then built again for the rest of the end.
template <class T>
class PerThread {
 public:
  explicit PerThread(std::string name, std::function<std::unique_ptr<T>()> make = [] { return std::make_unique<T>(); })
      : slot_(detail::RegisterSlot({std::move(name), [make = std::move(make)]() -> std::shared_ptr<void> {
          return std::shared_ptr<T>(make());
        }})) {}
  PerThread(const PerThread&) = delete;
  PerThread& operator=(const PerThread&) = delete;

  T& operator*() const { return *static_cast<T*>(detail::SlotInstance(slot_)); }
  T* operator->() const { return static_cast<T*>(detail::SlotInstance(slot_)); }
  // The instance of another program thread (the runtime's INSTANCE), or empty when that thread
  // is not running or has not built it. Holding it keeps the instance alive when its thread ends
  // meanwhile: it is then destroyed when the last holder lets go.
  std::shared_ptr<T> InstanceOf(Long thread) const {
    return std::static_pointer_cast<T>(detail::SlotInstanceOf(slot_, thread));
  }

 private:
  std::size_t slot_;
};

// ---- Runtime-internal per-thread state (not for use above runtime/core) ----

struct ErrorState {
  Long code = 0;
  std::string text;
  std::string fileCode;
  std::string fileText;
};

namespace detail {
struct ThreadState {
  Long number = 0;
  ErrorState error;
  // Indexed by slot number; empty until built. Only the owning thread changes it, under the
  // mutex, because other threads read it (InstanceOf).
  std::vector<std::shared_ptr<void>> instances;
  std::vector<bool> destroyed;  // by slot: taken down at the thread's end
  std::mutex instancesMutex;
};
ThreadState& CurrentThreadState();
}  // namespace detail

}  // namespace rt
