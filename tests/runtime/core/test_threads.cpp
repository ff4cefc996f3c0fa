// Program threads: numbering, per-thread instances built and destroyed in declared order,
// reaching another thread's instance, and the per-thread last error.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"

namespace {

std::mutex gEventsMutex;
std::vector<std::string> gEvents;

void Record(std::string event) {
  std::lock_guard lock(gEventsMutex);
  gEvents.push_back(std::move(event));
}

template <int Id>
struct Recorded {
  Recorded() { Record("build " + std::to_string(Id)); }
  ~Recorded() { Record("destroy " + std::to_string(Id)); }
  int value = 0;
};

rt::PerThread<Recorded<1>> gFirst{"First"};
rt::PerThread<Recorded<2>> gSecond{"Second"};
rt::PerThread<Recorded<3>> gThird{"Third"};

struct Held {
  std::string text = std::string(64, 'h');  // on the heap: a freed instance is caught by ASan
};
rt::PerThread<Held> gHeld{"Held"};

// Its destructor reaches gFirst, which the table destroys before it.
struct UsesFirstWhenDestroyed {
  ~UsesFirstWhenDestroyed() { gFirst->value = 1; }
};
rt::PerThread<UsesFirstWhenDestroyed> gUsesFirst{"UsesFirstWhenDestroyed"};

std::vector<std::string> OurEvents() {
  std::lock_guard lock(gEventsMutex);
  return std::exchange(gEvents, {});
}

TEST(ProgramThreads, InstancesFollowTheDeclaredTable) {
  OurEvents();
  // Built 1, 2, 3; destroyed 3 first, then 1, then 2 — as the program's table says.
  ASSERT_TRUE(rt::DeclareThreadOrder({{"First", "Second", "Third", "Held", "UsesFirstWhenDestroyed"},
                                      {"Third", "First", "UsesFirstWhenDestroyed", "Second", "Held"}}));
  rt::testing::ClearAssertionMessages();
  {
    rt::ThreadScope scope;
    EXPECT_EQ(rt::Thread(), scope.Number());
  }
  EXPECT_EQ(OurEvents(), (std::vector<std::string>{"build 1", "build 2", "build 3", "destroy 3", "destroy 1",
                                                   "build 1", "destroy 2", "destroy 1"}));
  // The rebuild of 1 above was the instance that used it after its destruction: reported.
  EXPECT_EQ(rt::testing::AssertionMessages(),
            std::vector<std::string>{"per-thread First used after its thread destroyed it"});

  // A table that misses, doubles or misnames an object is refused whole.
  rt::testing::ClearAssertionMessages();
  EXPECT_FALSE(rt::DeclareThreadOrder({{"First", "Second", "Third", "Held"}, {"Third", "First", "Second", "Held"}}));
  EXPECT_FALSE(rt::DeclareThreadOrder({{"First", "First", "Second", "Third", "Held", "UsesFirstWhenDestroyed"},
                                       {"Third", "First", "UsesFirstWhenDestroyed", "Second", "Held"}}));
  EXPECT_FALSE(rt::DeclareThreadOrder({{"Frist", "Second", "Third", "Held", "UsesFirstWhenDestroyed"},
                                       {"Third", "First", "UsesFirstWhenDestroyed", "Second", "Held"}}));
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 3u);
}

// The other thread's instance is reached while it lives, and one held from outside outlives it.
TEST(ProgramThreads, EachThreadHasItsOwnInstanceAndOthersCanReachIt) {
  std::promise<void> parked, release;
  std::atomic<rt::Long> seenInside{0};
  const rt::Long other = rt::Start([&, released = release.get_future().share()] {
    gFirst->value = 42;
    gHeld->text[0] = 'H';
    seenInside = rt::Thread();
    parked.set_value();
    released.wait();
  });
  parked.get_future().wait();
  EXPECT_EQ(seenInside, other);
  EXPECT_NE(other, rt::Thread());
  const std::shared_ptr<Held> held = gHeld.InstanceOf(other);
  const auto first = gFirst.InstanceOf(other);
  // Read while the thread lives: its teardown may write its instances (UsesFirstWhenDestroyed).
  const rt::Long firstValue = first ? first->value : 0;
  release.set_value();
  ASSERT_TRUE(first && held);
  EXPECT_EQ(firstValue, 42);
  EXPECT_NE(&*gFirst, first.get());
  ASSERT_TRUE(rt::WaitForStartedThreads(std::chrono::seconds(10)));
  EXPECT_EQ(gHeld.InstanceOf(other), nullptr);  // gone with its thread
  EXPECT_EQ(held->text, "H" + std::string(63, 'h'));  // still whole after its thread ended
}

// Concurrent starts get distinct numbers, each thread with a small requested stack that must
// still run deep enough code.
TEST(ProgramThreads, ConcurrentStartsGetDistinctNumbersAndSmallStacksRunDeepEnoughCode) {
  std::mutex mutex;
  std::vector<rt::Long> seen, returned;
  std::function<void(int)> recurse = [&](int n) {
    char frame[1024] = {};
    frame[0] = static_cast<char>(n);
    asm volatile("" : : "r"(frame) : "memory");  // keep the frame on the stack
    if (n < 200) return recurse(n + 1);
    std::lock_guard lock(mutex);
    seen.push_back(rt::Thread());  // only a thread that got this deep
  };
  for (int i = 0; i < 8; ++i) returned.push_back(rt::Start([&] { recurse(0); }, 50000));
  ASSERT_TRUE(rt::WaitForStartedThreads(std::chrono::seconds(10)));
  std::sort(seen.begin(), seen.end());
  std::sort(returned.begin(), returned.end());
  EXPECT_EQ(seen, returned);
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
}

// Run under the sanitizers, this catches a reader of another thread's table racing with that
// thread building or tearing down its instances.
TEST(ProgramThreads, InstanceOfIsSafeWhileThatThreadStartsAndEnds) {
  std::atomic<bool> stop{false};
  std::atomic<bool> reading{false};
  std::atomic<long> seen{0};
  // The reader asks for every thread number there may be while threads start and end.
  std::thread reader([&] {
    while (!stop) {
      for (rt::Long number = 1; number < 400; ++number)
        if (const auto held = gHeld.InstanceOf(number)) seen += held->text.size() == 64;
      reading = true;
    }
  });
  while (!reading) std::this_thread::yield();
  std::vector<rt::Long> numbers;
  for (int i = 0; i < 40; ++i) numbers.push_back(rt::Start([] { gHeld->text.resize(64); }));
  ASSERT_TRUE(rt::WaitForStartedThreads(std::chrono::seconds(10)));
  stop = true;
  reader.join();
  for (rt::Long number : numbers) EXPECT_EQ(gHeld.InstanceOf(number), nullptr);
}

TEST(LastError, IsPerThreadAndKeptScopesPutItBack) {
  rt::SetError(rt::NoFileErr);
  rt::SetFileError("2", "No such file or directory");
  rt::Long otherThreadSaw = -1;
  rt::Start([&] { otherThreadSaw = rt::ErrorCode(); });
  ASSERT_TRUE(rt::WaitForStartedThreads(std::chrono::seconds(10)));
  EXPECT_EQ(otherThreadSaw, 0);
  // All four: the code, its text, the file error's code and text.
  const auto all = [] { return std::to_string(rt::ErrorCode()) + "|" + rt::Error() + "|" + rt::FileErrorCode() + "|" + rt::FileError(); };
  {  // nested: each scope gives back what it found, whichever of the four the work changed
    const rt::ErrorsKept outer;
    rt::SetError(rt::NoAccessErr, "other text");
    {
      const rt::ErrorsKept inner;
      rt::ClearError();
    }
    EXPECT_EQ(all(), std::to_string(rt::NoAccessErr) + "|other text||");
    rt::SetFileError("13", "Permission denied");
  }
  EXPECT_EQ(all(), std::to_string(rt::NoFileErr) + "|File Not Found|2|No such file or directory");
  rt::ClearError();
  {  // kept while clear: what the work set is cleared again
    const rt::ErrorsKept kept;
    rt::SetError(rt::NoRecErr);
  }
  EXPECT_EQ(all(), "0|||");
}

}  // namespace
