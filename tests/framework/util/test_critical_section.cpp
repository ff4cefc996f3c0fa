// CriticalSection and CriticalProcedure: the guard's Init/Kill rules, counted against a section
// that records its calls, and real exclusion between threads.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "framework/util/critical_section.h"

namespace {

// Counts calls and forwards to a real section, so exclusion still holds.
class CountingSync final : public rt::ISyncObject {
 public:
  void Wait() override {
    real_->Wait();
    ++waits;
  }
  void Release() override {
    ++releases;
    real_->Release();
  }
  void Kill() override { ++kills; }
  ~CountingSync() override { real_->Kill(); }
  int waits = 0, releases = 0, kills = 0;

 private:
  rt::ISyncObject* real_ = rt::NewCriticalSection();
};

TEST(CriticalProcedure, InitTwiceReleasesTheFirstBeforeWaitingOnTheSecond) {
  CountingSync first, second;
  {
    CriticalProcedure guard;
    guard.Init(&first);
    guard.Init(&second);
    EXPECT_EQ(first.waits, 1);
    EXPECT_EQ(first.releases, 1);
    EXPECT_EQ(second.waits, 1);
    EXPECT_EQ(second.releases, 0);
  }
  EXPECT_EQ(second.releases, 1);
}

TEST(CriticalProcedure, KillThenDestructorReleasesOnce) {
  CountingSync sync;
  {
    CriticalProcedure guard;
    guard.Init(&sync);
    guard.Kill();
    guard.Init(nullptr);  // a null section leaves the guard empty: Kill and the destructor touch nothing
    guard.Kill();
  }
  EXPECT_EQ(sync.waits, 1);
  EXPECT_EQ(sync.releases, 1);
  EXPECT_EQ(sync.kills, 0);  // a guard never destroys what it holds
}

// The section is re-entrant and counts: a guarded operation calling another of the same object
// neither blocks itself nor, when the inner guard ends, lets another thread in.
TEST(CriticalProcedure, NestedGuardsOnOneSectionHoldItUntilTheOuterEnds) {
  CriticalSection section;
  CriticalProcedure outer;
  outer.Init(section.GetIFace());
  {
    CriticalProcedure inner;
    inner.Init(section.GetIFace());
  }
  std::atomic<bool> otherGotIn{false};
  std::thread other([&] {
    CriticalProcedure guard;
    guard.Init(section.GetIFace());
    otherGotIn = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // time for the other thread to get in, if it could
  EXPECT_FALSE(otherGotIn.load()) << "the inner guard's release freed the outer's hold";
  outer.Kill();
  other.join();
  EXPECT_TRUE(otherGotIn.load());
}

TEST(CriticalSection, GuardsExcludeOtherThreads) {
  CriticalSection section;
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
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(counter, 80000);
}

}  // namespace
