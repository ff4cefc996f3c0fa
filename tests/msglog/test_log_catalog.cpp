// The log window's catalog of a file: newest first, filtered, and following a log that appears,
// grows and is replaced under its name (read again from its start).

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

#include "message_log_fixture.h"
#include "msglog/log_catalog.h"

namespace {

using namespace std::chrono_literals;

class LogCatalogTest : public MessageLogTest {
 protected:
  static std::string Entry(const std::string& user, const std::string& text) {
    return Header(user) + "\r\n  MESSAGE:\r\n  WindowTitle=w\r\n  MessageTitle=t\r\n  MessageText=" + text +
           "\r\n  ShownButtons=OK\r\n  PressedButton=OK\r\n";
  }
  void Append(const std::string& bytes) const { std::ofstream(log_, std::ios::binary | std::ios::app) << bytes; }

  void Open(msglog::LogFilter filter = {}) {
    catalog_.Open(log_.string(), std::move(filter), [this] {
      std::lock_guard lock(mutex_);
      ++changes_;
      changed_.notify_all();
    });
  }
  // Waits until the catalog has read the whole log and holds `rows` rows.
  bool WaitForRows(std::size_t rows) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 10s, [&] { return catalog_.IsComplete() && catalog_.RowCount() == rows; });
  }
  std::string TextOf(std::size_t row) const {
    const msglog::LogEntry* entry = catalog_.Row(row);
    return entry ? entry->text : "<none>";
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  int changes_ = 0;
  msglog::LogCatalog catalog_;
};

TEST_F(LogCatalogTest, RowsAreNewestFirstAndNarrowedByTheFilter) {
  std::string log;
  for (int i = 1; i <= 300; ++i) log += Entry(i % 3 == 0 ? "Bob" : "Alice", "message " + std::to_string(i));
  Append(log);
  Open();
  // At once: the last entries read from the end, newest first.
  ASSERT_GE(catalog_.RowCount(), 1u);
  EXPECT_EQ(TextOf(1), "message 300");
  ASSERT_TRUE(WaitForRows(300));
  EXPECT_EQ(TextOf(1), "message 300");
  EXPECT_EQ(TextOf(300), "message 1");
  EXPECT_EQ(catalog_.Row(301), nullptr);
  EXPECT_EQ(catalog_.Row(0), nullptr);
  EXPECT_EQ(catalog_.Progress(), 100);

  msglog::LogFilter bob;
  bob.SetUser(" bob ");
  catalog_.SetFilter(bob);
  EXPECT_EQ(TextOf(1), "message 300") << "the first page is filtered at once";
  ASSERT_TRUE(WaitForRows(100));
  EXPECT_EQ(TextOf(100), "message 3");

  // A filter that keeps nothing still tells the window when the whole log is read, so its
  // "reading" line gives way to the count.
  const int before = changes_;
  msglog::LogFilter nobody;
  nobody.SetUser("nobody");
  catalog_.SetFilter(nobody);
  std::unique_lock lock(mutex_);
  EXPECT_TRUE(changed_.wait_for(lock, 10s, [&] { return changes_ > before && catalog_.IsComplete(); }));
  EXPECT_EQ(catalog_.RowCount(), 0u);
  // While the log stands still the window is left alone: no wake-ups for nothing.
  const int settled = changes_;
  lock.unlock();
  std::this_thread::sleep_for(700ms);
  lock.lock();
  EXPECT_EQ(changes_, settled);
}

TEST_F(LogCatalogTest, FollowsALogThatAppearsGrowsAndIsReplaced) {
  Open();
  ASSERT_TRUE(WaitForRows(0)) << "a missing log is an empty one";
  EXPECT_EQ(catalog_.Problem(), "") << "and no fault to report";
  Append(Entry("Ann", "first"));
  ASSERT_TRUE(WaitForRows(1));
  Append(Entry("Ann", "second") + Entry("Ann", "third"));
  ASSERT_TRUE(WaitForRows(3));
  EXPECT_EQ(TextOf(1), "third");
  // A half-written entry waits for its end.
  Append(Header("Ann") + "\r\n  MESSAGE:\r\n  WindowTitle=w");
  Append("\r\n  MessageTitle=t\r\n  MessageText=fourth\r\n  ShownButtons=OK\r\n  PressedButton=OK\r\n");
  ASSERT_TRUE(WaitForRows(4));
  EXPECT_EQ(TextOf(1), "fourth");

  std::filesystem::remove(log_);
  Append(Entry("Ann", "new log"));
  ASSERT_TRUE(WaitForRows(1));
  EXPECT_EQ(TextOf(1), "new log");
}

}  // namespace
