// The central copy against a real PostgreSQL: a resent entry stored once, the log tailed from
// its cursor across a lost cursor, a damaged stretch, a replaced and an emptied file; a torn
// spool record never sent; the server's loss and return told once each without the password;
// four programs sharing one folder while the server stops twice and one program is killed;
// quibbet_log --server against the same entries in a file; the administrator's limited role; the
// log window's catalog of every desk's rows, newest first across pages, filtered, with late rows.

#include <gtest/gtest.h>
#include <fcntl.h>

#include <filesystem>
#include <sstream>
#include <map>
#include <thread>

#include "msglog/central_copy.h"
#include "msglog/central_store.h"
#include "msglog/globals.h"
#include "msglog/log_cursor.h"
#include "msglog/log_reader.h"
#include "msglog/message_log.h"
#include "msglog/server_catalog.h"
#include "msglog/setup.h"
#include "runtime/core/date_time.h"
#include "runtime/ui/target.h"
#include "tests/runtime/data/child_process.h"
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
  std::FILE* out = std::fopen(file.c_str(), "ab");
  ASSERT_TRUE(out);
  std::fwrite(bytes.data(), 1, bytes.size(), out);
  std::fclose(out);
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

// 1.x entries stored once: resent by a sender, and left by one that died after the commit;
// a torn record is never stored in part
TEST_F(CentralServer, ResentEntriesCountOnceAndTornRecordsAreNotSent) {
  const SpoolRecord a = Record("a"), b = Record("b"), c = Record("c"), d = Record("d"), e = Record("e"),
                    torn = Record("torn");
  {
    // 1.1 the same id in a later batch and twice in one batch
    CentralStore store;
    ASSERT_TRUE(store.Connect(conninfo_).Ok());
    ASSERT_TRUE(store.Store({RowOf(a), RowOf(b)}).Ok());
    ASSERT_TRUE(store.Store({RowOf(a), RowOf(c), RowOf(a)}).Ok());
  }
  // 1.2 a sender died after its commit, before removing its file: a and d are sent again
  Append(temp_ / (std::string(kSpoolFileName) + ".sending.1.x"), EncodeSpoolRecord(a) + EncodeSpoolRecord(d));
  // 1.3 the named spool ends in a record cut short by a kill
  const std::string tornBytes = EncodeSpoolRecord(torn);
  Append(temp_ / kSpoolFileName, EncodeSpoolRecord(e) + tornBytes.substr(0, tornBytes.size() / 2));

  SendAll();

  const std::vector<CentralRow> rows = Rows();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  EXPECT_EQ(rows[0].id, a.id);
  EXPECT_EQ(rows[0].entry.user, "ann");
  EXPECT_EQ(rows[0].entry.pressedButton, "NO");
  ExpectAllSent(temp_.Path());
}

// 2.x the log file tailed from its cursor, once each, whatever becomes of the cursor or the file
TEST_F(CentralServer, TheLogIsSentFromItsCursorOnceEvenWhenTheCursorOrTheFileIsLost) {
  // 2.1 a log written before the first sender: sent whole
  AppendEntry(Log(), "1");
  AppendEntry(Log(), "2");
  SendAll();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2"}));

  // 2.2 a damaged stretch is skipped, the entries after it sent
  Append(Log(), "garbage that is no entry\r\n");
  AppendEntry(Log(), "3");
  SendAll();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2", "3"}));

  // 2.3 the cursor lost (a crash between the commit and its write, or an administrator's
  // mistake): the file is sent again and every entry keeps its one row
  std::filesystem::remove(temp_ / kCursorFileName);
  AppendEntry(Log(), "4");
  SendAll();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2", "3", "4"}));

  // 2.4 the log replaced by another file longer than the cursor: the new one from its start
  const std::filesystem::path other = temp_ / "other.txt";
  for (const char* text : {"5", "6", "7", "8", "9"}) AppendEntry(other, text);
  std::filesystem::rename(other, Log());
  SendAll();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9"}));

  // 2.5 the log emptied in place, then written shorter than the cursor
  std::filesystem::resize_file(Log(), 0);
  AppendEntry(Log(), "10");
  SendAll();
  EXPECT_EQ(Texts(), (std::vector<std::string>{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10"}));

  // 2.6 an entry the log could not take goes by the spool
  {
    LogLossNotice notice;
    CentralCopy copy;
    copy.Start(Settings(conninfo_), notice);
    copy.AddUnlogged(EntryText("11"));
    ASSERT_TRUE(copy.WaitSent(20s));
  }
  EXPECT_EQ(Texts().back(), "11");
  ExpectAllSent(temp_.Path());
}

// 3.x the server lost and back: each told once, the password never
TEST_F(CentralServer, ServerDownAndBackAreToldOnceEachWithoutThePassword) {
  LogLossNotice notice;
  std::vector<std::string> told;
  std::mutex toldMutex;
  const LogLossSubscription subscription(notice, [&](const std::string& text) {
    const std::lock_guard lock(toldMutex);
    told.push_back(text);
  });
  // Another program of the folder, which finds the log sent by this one, tells its own user.
  LogLossNotice otherNotice;
  std::vector<std::string> otherTold;
  const LogLossSubscription otherSubscription(otherNotice, [&](const std::string& text) {
    const std::lock_guard lock(toldMutex);
    otherTold.push_back(text);
  });
  const auto otherHasBeenTold = [&](std::size_t count) {
    for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
         std::this_thread::sleep_for(20ms)) {
      const std::lock_guard lock(toldMutex);
      if (otherTold.size() >= count) return true;
    }
    return false;
  };
  ASSERT_TRUE(server_->Kill());
  CentralCopy copy, other;
  copy.Start(Settings(conninfo_ + " password=s3cr3t-pw"), notice);
  AppendEntry(Log(), "while down 1");
  copy.Wake();
  EXPECT_FALSE(copy.WaitSent(300ms));
  other.Start(Settings(conninfo_ + " password=s3cr3t-pw"), otherNotice);
  AppendEntry(Log(), "while down 2");
  EXPECT_FALSE(copy.WaitSent(300ms));  // several failed attempts by now
  EXPECT_TRUE(otherHasBeenTold(1));
  ASSERT_TRUE(server_->Start());
  AppendEntry(Log(), "back");
  copy.Wake();
  ASSERT_TRUE(copy.WaitSent(20s));
  EXPECT_TRUE(otherHasBeenTold(2));
  other.Stop();
  copy.Stop();

  const std::lock_guard lock(toldMutex);
  for (const std::vector<std::string>* texts : {&told, &otherTold}) {
    ASSERT_EQ(texts->size(), 2u);
    EXPECT_NE((*texts)[0].find("cannot be reached"), std::string::npos) << (*texts)[0];
    EXPECT_NE((*texts)[1].find("is back"), std::string::npos) << (*texts)[1];
    for (const std::string& text : *texts) EXPECT_EQ(text.find("s3cr3t"), std::string::npos) << text;
  }
  EXPECT_EQ(Rows().size(), 3u);
  ExpectAllSent(temp_.Path());
}

// 3.3 a server that hangs mid-statement (its connection alive) does not hold the program's end,
// and the entry it held is sent by the next sender
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

// 4.x four programs share one folder (one log, one cursor) and raise 500 messages each through
// the hooks; the server is stopped and started twice and one program is killed and restarted
namespace {

constexpr int kPrograms = 4, kMessages = 500, kStage = 100;

std::string MessageText(int program, int run, int n) {
  return "P" + std::to_string(program) + " R" + std::to_string(run) + " N" + std::to_string(n) +
         ": 'quoted' \\ ; DROP TABLE message_log; --\r\nsecond line";
}

// One program: raises messages first..499, stopping at every hundredth for the parent's go.
int Program(const std::string& conninfo, const std::filesystem::path& dir, int program, int run, int first,
            int toParent, int fromParent) {
  GLO_KESTROMSGLOG__NAME = (dir / kMessageLogFileName).string();
  GLO_KESTROMSGLOG__COMPUTER = "DESK" + std::to_string(program);
  GLO_USERNAME.Set("user" + std::to_string(program));
  ScriptedDialogs dialogs;
  rt::SetDialogHost(&dialogs);
  TitledWindow window("Program " + std::to_string(program));
  rt::SetTarget(&window);
  InstallMessageHooks();
  const std::string log = GLO_KESTROMSGLOG__NAME.Str();
  GLO_CentralLog.Start({conninfo, log, CursorPathFor(log), SpoolPathFor(log), "program" + std::to_string(program), 50ms},
                       GLO_MessageLogLoss);
  for (int n = first; n < kMessages; ++n) {
    if (n % kStage == 0 && n > 0) {
      test_processes::Tell(toParent, n);
      if (test_processes::Hear(fromParent) != n) return 2;
    }
    rt::MessageBox(MessageText(program, run, n), "Question " + std::to_string(n), "", "YES|NO");
  }
  test_processes::Tell(toParent, kMessages);
  const bool sent = GLO_CentralLog.WaitSent(30s);
  GLO_CentralLog.Stop();
  return sent ? 0 : 3;
}

}  // namespace

TEST_F(CentralServer, FourProgramsLoseNothingAndStoreNothingTwice) {
  const std::filesystem::path dir = temp_.Path();
  auto start = [&](int program, int run, int first) {
    return std::make_unique<test_processes::Child>([=, this](int up, int down) {
      return Program(conninfo_, dir, program, run, first, up, down);
    });
  };
  std::vector<std::unique_ptr<test_processes::Child>> programs;
  for (int p = 0; p < kPrograms; ++p) programs.push_back(start(p, 0, 0));

  constexpr int kVictim = 3;
  for (int stage = kStage; stage < kMessages; stage += kStage) {
    for (auto& program : programs) ASSERT_EQ(program->Receive(), stage);
    if (stage == 100 || stage == 300) {
      ASSERT_TRUE(server_->Kill());
    }
    if (stage == 200 || stage == 400) {
      ASSERT_TRUE(server_->Start());
    }
    for (auto& program : programs) program->Send(stage);
    if (stage == 200) {
      // Killed somewhere in its third hundred: between entries, or inside one.
      std::this_thread::sleep_for(3ms);
      programs[kVictim]->Kill();
      EXPECT_EQ(programs[kVictim]->Wait(), -SIGKILL);
      programs[kVictim] = start(kVictim, 1, 300);  // waits at 300 for the others
    }
  }
  for (auto& program : programs) {
    EXPECT_EQ(program->Receive(), kMessages);
    EXPECT_EQ(program->Wait(), 0) << "a program's sender left entries unsent";
  }

  // What reached the log file, by its unique text.
  std::map<std::string, LogEntry> file;
  LogReader reader;
  ASSERT_EQ(reader.Open((dir / kMessageLogFileName).string()), 0);
  EntryView view;
  while (reader.Next(view) == LogReader::Result::Entry) {
    ASSERT_NE(view.kind, EntryKind::Damaged) << view.damage;
    ASSERT_TRUE(file.emplace(std::string(view.text), LogEntry::From(view)).second) << view.text;
  }
  EXPECT_FALSE(reader.TakeTail(view));
  EXPECT_GE(file.size(), std::size_t{kPrograms * kMessages - kStage});

  std::map<std::string, std::vector<CentralRow>> table;
  for (const CentralRow& row : Rows()) table[row.entry.text].push_back(row);
  for (const auto& [text, entry] : file) {
    const auto found = table.find(text);
    ASSERT_NE(found, table.end()) << "not on the server: " << text;
    ASSERT_EQ(found->second.size(), 1u) << "stored twice: " << text;
    EXPECT_EQ(Fields(found->second[0].entry), Fields(entry));
    EXPECT_EQ(found->second[0].entry.raw, entry.raw);
  }
  // The server has nothing the file lacks.
  EXPECT_EQ(table.size(), file.size());
  ExpectAllSent(dir);
}

// 5.x quibbet_log --server: the same filters and formats as over the file holding the same entries
namespace {

Outcome Tool(std::vector<std::string> args, const std::filesystem::path& dir) {
  args.insert(args.begin(), QUIBBET_LOG_TOOL);
  return Process(args, dir).Wait();
}

// The CSV without its first column (a line in the file, a row's number on the server).
std::string WithoutLines(const std::string& csv) {
  std::istringstream in(csv);
  std::string line, out;
  while (std::getline(in, line)) out += line.substr(line.find(',') + 1) + "\n";
  return out;
}

}  // namespace

TEST_F(CentralServer, ToolReadsTheServerAsItReadsTheFile) {
  const std::filesystem::path log = temp_ / "Quibbet_.txt";
  std::vector<CentralRow> rows;
  std::string file;
  for (const char* text : {"first, \"quoted\"", "second\r\n  two lines", "third", "ünïcode"}) {
    const SpoolRecord record = Record(text);
    file += record.entry + "\r\n";
    rows.push_back(RowOf(record));
  }
  Append(log, file);
  {
    CentralStore store;
    ASSERT_TRUE(store.Connect(conninfo_).Ok());
    ASSERT_TRUE(store.Store(rows).Ok());
  }
  const std::vector<std::vector<std::string>> cases = {
      {},                                                      // 5.1 everything, as text
      {"--user", "ANN", "--kind", "message", "--text", "second"},  // 5.2 filters, ignoring case
      {"--summary"},                                           // 5.3 counts
      {"--format", "csv"},                                     // 5.4 another format (line numbers aside)
  };
  for (const auto& filters : cases) {
    std::vector<std::string> overFile = filters, overServer = filters;
    overFile.push_back(log.string());
    overServer.insert(overServer.end(), {"--server", conninfo_});
    const Outcome fromFile = Tool(overFile, temp_.Path()), fromServer = Tool(overServer, temp_.Path());
    ASSERT_EQ(fromServer.status, 0) << fromServer.err;
    EXPECT_EQ(fromFile.status, 0);
    if (filters.empty()) {
      EXPECT_NE(fromServer.out.find("MessageText=ünïcode"), std::string::npos) << fromServer.out;
    }
    const bool csv = !filters.empty() && filters[0] == "--format";
    EXPECT_EQ(csv ? WithoutLines(fromServer.out) : fromServer.out, csv ? WithoutLines(fromFile.out) : fromFile.out)
        << ::testing::PrintToString(filters);
  }

  // 5.5 a server that cannot be reached: its own exit status, and the password not shown
  const Outcome down = Tool({"--server", "host=127.0.0.1 port=1 user=x password=hunter2-pw connect_timeout=2"}, temp_.Path());
  EXPECT_EQ(down.status, 6);
  EXPECT_NE(down.err.find("the log server"), std::string::npos) << down.err;
  EXPECT_EQ(down.err.find("hunter2"), std::string::npos) << down.err;
}

// 6.x the administrator's role: insert and select are all the central copy needs
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
  ASSERT_TRUE(store.Store({RowOf(a)}).Ok());
  ASSERT_TRUE(store.Store({RowOf(a)}).Ok());  // the resent entry needs no UPDATE either
  std::size_t read = 0;
  ASSERT_TRUE(store.Read([&](const CentralRow&) { ++read; }).Ok());
  EXPECT_EQ(read, 1u);

  rt::pg::Connection limited;
  ASSERT_TRUE(limited.Connect(asRole).Ok());
  EXPECT_FALSE(limited.Exec("DELETE FROM message_log").Ok());
  EXPECT_FALSE(limited.Exec("UPDATE message_log SET message_text = 'x'").Ok());
}

namespace {
bool WaitForRows(const ServerLogCatalog& catalog, std::size_t count) {
  for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(20ms))
    if (catalog.RowCount() == count && catalog.IsComplete()) return true;
  return false;
}
}  // namespace

// 7.x the log window's catalog: every desk's rows newest first by moment across pages (ties by
// arrival), a filter, and a row arriving late for an earlier moment
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

// The window reads the newest rows up to its limit and says so when older ones are left unread.
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
  std::vector<std::string> told;
  std::mutex toldMutex;
  const LogLossSubscription subscription(notice, [&](const std::string& text) {
    const std::lock_guard lock(toldMutex);
    told.push_back(text);
  });
  const auto toldCount = [&] {
    const std::lock_guard lock(toldMutex);
    return told.size();
  };
  CentralCopy other;
  other.Start({"host=127.0.0.1 port=1 dbname=none", log.string(), (dir / kCursorFileName).string(),
               (dir / kSpoolFileName).string(), "/opt/quibbet/demo", 50ms},
              notice);
  // A byte every 40 ms for 0.8 s: far longer than the cursor may stand still (5 rounds of 50 ms).
  for (std::uint64_t offset = 1; offset <= 20; ++offset) {
    ASSERT_EQ(sending.Write({identity, offset}), 0);
    std::this_thread::sleep_for(40ms);
  }
  EXPECT_EQ(toldCount(), 0u) << "a sender that moves on is not a server away";
  for (auto end = std::chrono::steady_clock::now() + 5s; toldCount() < 1 && std::chrono::steady_clock::now() < end;)
    std::this_thread::sleep_for(20ms);
  ASSERT_EQ(sending.Write({identity, size}), 0);
  for (auto end = std::chrono::steady_clock::now() + 5s; toldCount() < 2 && std::chrono::steady_clock::now() < end;)
    std::this_thread::sleep_for(20ms);
  other.Stop();
  const std::lock_guard lock(toldMutex);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_NE(told[0].find("cannot be reached"), std::string::npos) << told[0];
  EXPECT_NE(told[1].find("is back"), std::string::npos) << told[1];
}
