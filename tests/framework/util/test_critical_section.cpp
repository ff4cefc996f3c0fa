// CriticalSection and CriticalProcedure: the guard's Init/Kill rules, counted against a section
// that records its calls, and real exclusion between threads.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "framework/util/critical_section.h"

namespace {

// Counts waits and releases ("waits releases"), forwarding to a real section so exclusion holds.
class CountingSync final : public rt::ISyncObject {
 public:
  void Wait() override { real_->Wait(), ++waits; }
  void Release() override { ++releases, real_->Release(); }
  void Kill() override { ++kills; }
  ~CountingSync() override { real_->Kill(); }
  std::string Counts() const { return std::to_string(waits) + " " + std::to_string(releases); }
  int waits = 0, releases = 0, kills = 0;

 private:
  rt::ISyncObject* real_ = rt::NewCriticalSection();
};

// Init on a second section releases the first before waiting; Kill releases once, a null section
// leaves the guard empty, and a guard never destroys what it holds.
TEST(CriticalProcedure, EachHeldSectionIsReleasedExactlyOnce) {
  CountingSync first, second;
  {
    CriticalProcedure guard;
    guard.Init(&first);
    guard.Init(&second);
    EXPECT_EQ(first.Counts() + " " + second.Counts(), "1 1 1 0");
  }
  EXPECT_EQ(second.Counts(), "1 1") << "the destructor releases";
  {
    CriticalProcedure guard;
    guard.Init(&first);
    guard.Kill();
    guard.Init(nullptr);
    guard.Kill();
  }
  EXPECT_EQ(first.Counts(), "2 2") << "Kill then the destructor release once";
  EXPECT_EQ(first.kills + second.kills, 0);
}

// The section is re-entrant and counts: an inner guard's end does not let another thread in while
// the outer holds it; four threads counting under the guard lose no step.
TEST(CriticalSection, NestedGuardsHoldUntilTheOuterEndsAndGuardsExcludeOtherThreads) {
  CriticalSection section;
  CriticalProcedure outer;
  outer.Init(section.GetIFace());
  CriticalProcedure().Init(section.GetIFace());
  long counter = 0;  // deliberately unsynchronised but for the guard
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        CriticalProcedure guard;
        guard.Init(section.GetIFace());
        ++counter;
      }
    });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // time for the others to get in, if they could
  EXPECT_EQ(counter, 0) << "the inner guard's release freed the outer's hold";
  outer.Kill();
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
}

}  // namespace
