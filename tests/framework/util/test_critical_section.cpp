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

// Init on a second section releases the first before waiting; Kill releases once, a null section
// leaves the guard empty, and a guard never destroys what it holds.
TEST(CriticalProcedure, EachHeldSectionIsReleasedExactlyOnce) {
  CountingSync first, second;
  {
    CriticalProcedure guard;
    guard.Init(&first);
    guard.Init(&second);
    EXPECT_EQ(first.waits * 10 + first.releases, 11);
    EXPECT_EQ(second.waits * 10 + second.releases, 10);
  }
  EXPECT_EQ(second.waits * 10 + second.releases, 11) << "the destructor releases";
  {
    CriticalProcedure guard;
    guard.Init(&first);
    guard.Kill();
    guard.Init(nullptr);
    guard.Kill();
  }
  EXPECT_EQ(first.waits * 10 + first.releases, 22) << "Kill then the destructor release once";
  EXPECT_EQ(first.kills + second.kills, 0);
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
