// The central copy against a real PostgreSQL (skipped with the reason when none starts): the log
// sent from its cursor whatever becomes of cursor, file and spool; the server lost and back; a
// hung server; quibbet_log --server; the administrator's role; the log window's catalog.

#include <gtest/gtest.h>
#include <fcntl.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include "msglog/central_copy.h"
#include "msglog/central_store.h"
#include "msglog/log_cursor.h"
#include "msglog/log_path.h"
#include "msglog/log_reader.h"
#include "msglog/message_log.h"
#include "msglog/server_catalog.h"
#include "msglog/setup.h"
#include "runtime/core/date_time.h"
#include "tests/runtime/data/pg_server.h"
#include "tests/msglog/message_log_fixture.h"

using namespace msglog;
using namespace std::chrono_literals;

namespace {
std::string EntryText(const std::string& text, int hour = 9, const char* user = "ann", const char* computer = "DESK1") {
  return ComposeEntry(rt::DateFromCivil(2026, 12, 7), rt::TimeFromParts(hour, 0, 0), user, computer,
                      MessageBody("Browse", "Attention", text, {"YES|NO", "NO"}));
}

SpoolRecord Record(const std::string& text, int hour = 9, const char* user = "ann", const char* computer = "DESK1") {
  return {NewEntryId(), "/opt/quibbet/demo", 42, EntryText(text, hour, user, computer)};
}

CentralRow RowOf(const SpoolRecord& record) {
  CentralRow row;
  EXPECT_TRUE(RowFromRecord(record, row)) << record.entry;
  return row;
}

void Append(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary | std::ios::app) << bytes;
}

void AppendEntry(const std::filesystem::path& log, const std::string& text) { Append(log, EntryText(text) + "\r\n"); }

// Nothing left beside the log: the cursor at the log's end, the spool empty or gone, no file in
// sending.
void ExpectAllSent(const std::filesystem::path& dir) {
  const std::filesystem::path log = dir / kMessageLogFileName;
  if (std::filesystem::exists(log)) {
    LogCursor cursor;
    ASSERT_EQ(cursor.Open((dir / kCursorFileName).string()), 0);
    const int fd = ::open(log.c_str(), O_RDONLY);
    const LogPosition at = cursor.Read();
    EXPECT_EQ(at.identity, LogIdentity(fd));
    EXPECT_EQ(at.offset, std::filesystem::file_size(log));
    ::close(fd);
  }
  for (const auto& item : std::filesystem::directory_iterator(dir)) {
    const std::string name = item.path().filename().string();
    if (name == kSpoolFileName) {
      EXPECT_EQ(std::filesystem::file_size(item.path()), 0u);
    }
    EXPECT_EQ(name.find(".sending."), std::string::npos) << name;
  }
}

// What a notice told its user, from whichever thread it reports.
class Told {
 public:
  explicit Told(LogLossNotice& notice)
      : subscription_(notice, [this](const std::string& text) {
          const std::lock_guard lock(mutex_);
          texts_.push_back(text);
        }) {}
  std::vector<std::string> Texts() {
    const std::lock_guard lock(mutex_);
    return texts_;
  }
  bool WaitFor(std::size_t count) {
    for (auto end = std::chrono::steady_clock::now() + 10s; Texts().size() < count; std::this_thread::sleep_for(20ms))
      if (std::chrono::steady_clock::now() > end) return false;
    return true;
  }
  // The loss, then the return, each told once and neither naming the password.
  void ExpectDownThenBack() {
    const std::vector<std::string> texts = Texts();
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_NE(texts[0].find("cannot be reached"), std::string::npos) << texts[0];
    EXPECT_NE(texts[1].find("is back"), std::string::npos) << texts[1];
    for (const std::string& text : texts) EXPECT_EQ(text.find("s3cr3t"), std::string::npos) << text;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
  const LogLossSubscription subscription_;
};

class CentralServer : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test_pg::Server::Shared();
    if (!server_) GTEST_SKIP() << test_pg::Server::SkipReason();
    conninfo_ = server_->FreshSchema();
    ASSERT_FALSE(conninfo_.empty());
    CentralStore admin;
    ASSERT_TRUE(admin.Connect(conninfo_).Ok());
    ASSERT_TRUE(admin.CreateTable().Ok());
  }

  std::vector<CentralRow> Rows() {
    std::vector<CentralRow> rows;
    CentralStore store;
    EXPECT_TRUE(store.Connect(conninfo_).Ok());
    EXPECT_TRUE(store.Read([&](const CentralRow& row) { rows.push_back(row); }).Ok());
    return rows;
  }

  CentralCopy::Settings Settings(const std::string& conninfo) const {
    return {conninfo, Log().string(), (temp_ / kCursorFileName).string(), (temp_ / kSpoolFileName).string(),
            "/opt/quibbet/demo", 50ms};
  }
  std::filesystem::path Log() const { return temp_ / kMessageLogFileName; }

  std::vector<std::string> Texts() {
    std::vector<std::string> texts;
    for (const CentralRow& row : Rows()) texts.push_back(row.entry.text);
    return texts;
  }

  // Starts a sender, waits until it sent everything and stops it.
  void SendAll() {
    LogLossNotice notice;
    CentralCopy copy;
    copy.Start(Settings(conninfo_), notice);
    ASSERT_TRUE(copy.WaitSent(20s));
    copy.Stop();
    EXPECT_EQ(notice.Notice(), "");
  }

  test_pg::Server* server_ = nullptr;
  std::string conninfo_;
  TempDir temp_;
};

}  // namespace

TEST_F(CentralServer, TheLogIsSentFromItsCursorOnceEvenWhenTheCursorOrTheFileIsLost) {
  const std::filesystem::path other = temp_ / "other.txt";
  const struct {
    const char* step;
    std::function<void()> change;
    std::size_t rows;
  } steps[] = {
      {"written before the first sender", [&] { AppendEntry(Log(), "1"); }, 1},
      {"a damaged stretch skipped", [&] { Append(Log(), "garbage\r\n"); AppendEntry(Log(), "2"); }, 2},
      {"the cursor lost: sent again, stored once", [&] { std::filesystem::remove(temp_ / kCursorFileName); AppendEntry(Log(), "3"); }, 3},
      {"replaced by a file longer than the cursor", [&] {
         for (const char* text : {"4", "5", "6", "7", "8", "9"}) AppendEntry(other, text);
         std::filesystem::rename(other, Log());
       }, 9},
      {"emptied in place, then written shorter", [&] { std::filesystem::resize_file(Log(), 0); AppendEntry(Log(), "10"); }, 10},
      {"a file a sender left at its death sent again; a torn record at the spool's end never", [&] {
         Append(temp_ / (std::string(kSpoolFileName) + ".sending.1.x"), EncodeSpoolRecord(Record("11")));
         const std::string torn = EncodeSpoolRecord(Record("torn"));
         Append(temp_ / kSpoolFileName, EncodeSpoolRecord(Record("12")) + torn.substr(0, torn.size() / 2));
       }, 12},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.step);
    step.change();
    SendAll();
    EXPECT_EQ(Rows().size(), step.rows);
  }
  // An entry the log could not take goes by the spool.
  {
    LogLossNotice notice;
    CentralCopy copy;
    copy.Start(Settings(conninfo_), notice);
    copy.AddUnlogged(EntryText("13"));
    ASSERT_TRUE(copy.WaitSent(20s));
  }
  EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12", "13"}));
  ExpectAllSent(temp_.Path());
}

// Told also by a second program of the folder, which finds the log sent by this one.
TEST_F(CentralServer, ServerDownAndBackAreToldOnceEachWithoutThePassword) {
  LogLossNotice notice, otherNotice;
  Told told(notice), otherTold(otherNotice);
  ASSERT_TRUE(server_->Kill());
  CentralCopy copy, other;
  copy.Start(Settings(conninfo_ + " password=s3cr3t-pw"), notice);
  AppendEntry(Log(), "while down 1");
  copy.Wake();
  EXPECT_FALSE(copy.WaitSent(300ms));
  other.Start(Settings(conninfo_ + " password=s3cr3t-pw"), otherNotice);
  AppendEntry(Log(), "while down 2");
  EXPECT_FALSE(copy.WaitSent(300ms));  // several failed attempts by now
  EXPECT_TRUE(otherTold.WaitFor(1));
  ASSERT_TRUE(server_->Start());
  AppendEntry(Log(), "back");
  copy.Wake();
  ASSERT_TRUE(copy.WaitSent(20s));
  EXPECT_TRUE(otherTold.WaitFor(2));
  other.Stop();
  copy.Stop();
  told.ExpectDownThenBack();
  otherTold.ExpectDownThenBack();
  EXPECT_EQ(Rows().size(), 3u);
  ExpectAllSent(temp_.Path());
}

// Its connection alive; the entry it held goes with the next sender.
TEST_F(CentralServer, AServerThatHangsMidStatementDoesNotHoldTheEnd) {
  rt::pg::Connection admin;
  ASSERT_TRUE(admin.Connect(conninfo_).Ok());
  ASSERT_TRUE(admin.Exec("BEGIN").Ok());
  ASSERT_TRUE(admin.Exec("LOCK TABLE message_log IN ACCESS EXCLUSIVE MODE").Ok());
  LogLossNotice notice;
  CentralCopy copy;
  copy.Start(Settings(conninfo_), notice);
  AppendEntry(Log(), "held");
  EXPECT_FALSE(copy.WaitSent(1s));  // its INSERT waits for the lock
  const auto start = std::chrono::steady_clock::now();
  copy.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  EXPECT_EQ(notice.Notice(), "");
  ASSERT_TRUE(admin.Exec("COMMIT").Ok());
  SendAll();
  EXPECT_EQ(Texts(), std::vector<std::string>{"held"});
}

// quibbet_log --server lists the table as it lists the file holding the same entries (its
// filters and formats are the file's code over the same entries).
TEST_F(CentralServer, ToolReadsTheServerAsItReadsTheFile) {
  const std::filesystem::path log = temp_ / "Quibbet_.txt";
  std::vector<CentralRow> rows;
  for (const char* text : {"first, \"quoted\"", "second\r\n  two lines", "\xC3\xBCn\xC3\xAF" "code"}) {
    const SpoolRecord record = Record(text);
    Append(log, record.entry + "\r\n");
    rows.push_back(RowOf(record));
  }
  CentralStore store;
  ASSERT_TRUE(store.Connect(conninfo_).Ok());
  ASSERT_TRUE(store.Store(rows).Ok());
  const auto tool = [&](std::vector<std::string> args, std::filesystem::path out = {}) {
    args.insert(args.begin(), QUIBBET_LOG_TOOL);
    return Process(args, temp_.Path(), "UTC", out).Wait();
  };
  const Outcome fromFile = tool({log.string()}), fromServer = tool({"--server", conninfo_});
  ASSERT_EQ(fromServer.status, 0) << fromServer.err;
  EXPECT_NE(fromFile.out.find("\xC3\xBCn\xC3\xAF" "code"), std::string::npos) << fromFile.err;
  EXPECT_EQ(fromServer.out, fromFile.out);
  // An output that cannot be written is the output's fault (5), as in file mode, not the log's
  EXPECT_EQ(tool({"--server", conninfo_}, "/dev/full").status, 5);

  // A server that cannot be reached: its own exit status, and the password not shown
  const Outcome down = tool({"--server", "host=127.0.0.1 port=1 user=x password=hunter2-pw connect_timeout=2"});
  EXPECT_EQ(down.status, 6);
  EXPECT_NE(down.err.find("the log server"), std::string::npos) << down.err;
  EXPECT_EQ(down.err.find("hunter2"), std::string::npos) << down.err;
}

// Insert and select are all the central copy needs; a resent entry is stored once.
TEST_F(CentralServer, ARoleThatMayOnlyInsertAndSelectIsEnough) {
  const std::size_t from = conninfo_.find("search_path=") + 12;
  const std::string schema = conninfo_.substr(from, conninfo_.rfind('\'') - from);
  const std::string role = "log_" + schema;
  {
    rt::pg::Connection admin;
    ASSERT_TRUE(admin.Connect(conninfo_).Ok());
    ASSERT_TRUE(admin.Exec("CREATE ROLE " + role + " LOGIN").Ok());
    ASSERT_TRUE(admin.Exec("GRANT USAGE ON SCHEMA " + schema + " TO " + role).Ok());
    ASSERT_TRUE(admin.Exec("GRANT INSERT, SELECT ON message_log TO " + role).Ok());
  }
  std::string asRole = conninfo_;
  asRole.replace(asRole.find("user=quibbet"), 12, "user=" + role);
  const SpoolRecord a = Record("as the role");
  CentralStore store;
  ASSERT_TRUE(store.Connect(asRole).Ok());
  ASSERT_TRUE(store.Store({RowOf(a), RowOf(a)}).Ok());  // twice in one batch,
  ASSERT_TRUE(store.Store({RowOf(a)}).Ok());            // and again in a later one
  std::size_t read = 0;
  ASSERT_TRUE(store.Read([&](const CentralRow&) { ++read; }).Ok());
  EXPECT_EQ(read, 1u);
}

namespace {
bool WaitForRows(const ServerLogCatalog& catalog, std::size_t count) {
  for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(20ms))
    if (catalog.RowCount() == count && catalog.IsComplete()) return true;
  return false;
}
}  // namespace

// The log window's catalog: newest first by moment across pages (ties by arrival).
TEST_F(CentralServer, TheCatalogListsEveryDeskNewestFirstFiltersAndTakesLateRows) {
  // 1200 rows on three moments, stored oldest moment last: pages end inside runs of one moment.
  std::vector<CentralRow> rows;
  for (int i = 0; i < 1200; ++i) rows.push_back(RowOf(Record(std::to_string(i), 11 - i % 3, i % 2 ? "bob" : "ann")));
  rows.push_back(RowOf(Record("newest", 12, "ann", "DESK2")));
  CentralStore store;
  ASSERT_TRUE(store.Connect(conninfo_).Ok());
  ASSERT_TRUE(store.Store(rows).Ok());

  ServerLogCatalog catalog;
  catalog.Open(conninfo_, "/nonexistent/Quibbet_.txt", {}, {});
  const auto waitFor = [&](std::size_t count) { return WaitForRows(catalog, count); };
  ASSERT_TRUE(waitFor(1201)) << catalog.RowCount() << " " << catalog.Problem();
  EXPECT_FALSE(catalog.IsFallenBack());
  EXPECT_EQ(catalog.Row(1)->text, "newest");
  EXPECT_EQ(catalog.Row(1)->computer, "DESK2");
  for (std::size_t r = 2; r <= 1201; ++r) {
    const LogEntry &newer = *catalog.Row(r - 1), &older = *catalog.Row(r);
    ASSERT_TRUE(newer.moment.Key() > older.moment.Key() ||
                (newer.moment.Key() == older.moment.Key() && newer.line > older.line)) << "row " << r;
  }
  EXPECT_EQ(catalog.Row(1201)->moment.hour, 9);

  LogFilter bob;
  bob.SetUser("BOB");
  catalog.SetFilter(bob);
  ASSERT_TRUE(waitFor(600));
  EXPECT_EQ(catalog.Row(1)->user, "bob");
  // A row that arrives late for an earlier moment goes where its moment puts it: after bob's
  // 200 rows of 11:00, first of those of 10:00.
  ASSERT_TRUE(store.Store({RowOf(Record("late", 10, "bob", "DESK3"))}).Ok());
  ASSERT_TRUE(waitFor(601));
  EXPECT_EQ(catalog.Row(201)->text, "late");
  EXPECT_EQ(catalog.Problem(), "");
}

TEST_F(CentralServer, TheCatalogSaysSoWhenItsRowLimitLeavesOlderEntriesUnread) {
  std::vector<CentralRow> rows;
  for (std::size_t i = 0; i <= ServerLogCatalog::kRowLimit; ++i) rows.push_back(RowOf(Record(std::to_string(i), 9, "ann")));
  CentralStore store;
  ASSERT_TRUE(store.Connect(conninfo_).Ok());
  ASSERT_TRUE(store.Store(rows).Ok());
  ServerLogCatalog catalog;
  catalog.Open(conninfo_, "/nonexistent/Quibbet_.txt", {}, {});
  ASSERT_TRUE(WaitForRows(catalog, ServerLogCatalog::kRowLimit)) << catalog.RowCount() << " " << catalog.Problem();
  EXPECT_EQ(catalog.Row(ServerLogCatalog::kRowLimit)->text, "1");  // the oldest is the one left out
  EXPECT_EQ(catalog.Problem(), "Only the newest 10000 matching entries are read (quibbet_log --server reads them all)");
}

// A program that does not send the log judges the server by the cursor: one that moves on slowly
// is a sender at work, one standing still behind the log's end a server away, and one at the
// end a server back. No server is needed: the test holds the cursor as the sending program.
TEST(CentralWatch, AProgramThatDoesNotSendJudgesTheServerByTheCursor) {
  TempDir dir;
  const std::filesystem::path log = dir / kMessageLogFileName;
  for (const char* text : {"1", "2", "3"}) AppendEntry(log, text);
  const int fd = ::open(log.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  const std::uint64_t identity = LogIdentity(fd), size = std::filesystem::file_size(log);
  ::close(fd);
  LogCursor sending;
  ASSERT_EQ(sending.Open((dir / kCursorFileName).string()), 0);
  ASSERT_TRUE(sending.TryHold());

  LogLossNotice notice;
  Told told(notice);
  CentralCopy other;
  other.Start({"host=127.0.0.1 port=1 dbname=none", log.string(), (dir / kCursorFileName).string(),
               (dir / kSpoolFileName).string(), "/opt/quibbet/demo", 50ms},
              notice);
  // A byte every 40 ms for 0.8 s: far longer than the cursor may stand still (5 rounds of 50 ms).
  for (std::uint64_t offset = 1; offset <= 20; ++offset) {
    ASSERT_EQ(sending.Write({identity, offset}), 0);
    std::this_thread::sleep_for(40ms);
  }
  EXPECT_EQ(told.Texts().size(), 0u) << "a sender that moves on is not a server away";
  EXPECT_TRUE(told.WaitFor(1));
  ASSERT_EQ(sending.Write({identity, size}), 0);
  EXPECT_TRUE(told.WaitFor(2));
  other.Stop();
  told.ExpectDownThenBack();
}
