// The log window's server catalog against a real PostgreSQL: every desk's rows newest first by
// moment across pages (ties by arrival), a filter, a row arriving late for an earlier moment,
// and the file's log with a reason when the server cannot be reached.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "msglog/central_store.h"
#include "msglog/message_log.h"
#include "msglog/server_catalog.h"
#include "runtime/core/date_time.h"
#include "tests/runtime/data/pg_server.h"
#include "tests/support/files.h"

using namespace msglog;
using namespace std::chrono_literals;

namespace {

std::string Entry(int hour, const char* user, const char* computer, const std::string& text) {
  return ComposeEntry(rt::DateFromCivil(2026, 12, 7), rt::TimeFromParts(hour, 0, 0), user, computer,
                      MessageBody("Browse", "Attention", text, {"OK", "OK"}));
}

CentralRow Row(int hour, const char* user, const char* computer, const std::string& text) {
  CentralRow row;
  EXPECT_TRUE(RowFromRecord({NewEntryId(), "/opt/quibbet/demo", 1, Entry(hour, user, computer, text)}, row));
  return row;
}

bool WaitFor(ServerLogCatalog& catalog, std::size_t rows, bool complete = true) {
  for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(20ms))
    if (catalog.RowCount() == rows && (!complete || catalog.IsComplete())) return true;
  return false;
}

const char* TextOf(const ServerLogCatalog& catalog, std::size_t row) {
  const LogEntry* entry = catalog.Row(row);
  return entry ? entry->text.c_str() : "(none)";
}

TEST(ServerLogCatalogTest, ListsEveryDeskNewestFirstFiltersAndTakesLateRows) {
  test_pg::Server* server = test_pg::Server::Shared();
  if (!server) GTEST_SKIP() << test_pg::Server::SkipReason();
  const std::string conninfo = server->FreshSchema();
  CentralStore store;
  ASSERT_TRUE(store.Connect(conninfo).Ok());
  ASSERT_TRUE(store.CreateTable().Ok());
  // 1200 rows on three moments, stored oldest moment last: pages end inside runs of one moment.
  std::vector<CentralRow> rows;
  for (int i = 0; i < 1200; ++i) rows.push_back(Row(11 - i % 3, i % 2 ? "bob" : "ann", "DESK1", std::to_string(i)));
  rows.push_back(Row(12, "ann", "DESK2", "newest"));
  ASSERT_TRUE(store.Store(rows).Ok());

  ServerLogCatalog catalog;
  catalog.Open(conninfo, "/nonexistent/Quibbet_.txt", {}, {});
  ASSERT_TRUE(WaitFor(catalog, 1201)) << catalog.RowCount() << " " << catalog.Problem();
  EXPECT_FALSE(catalog.IsFallenBack());
  EXPECT_STREQ(TextOf(catalog, 1), "newest");
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
  ASSERT_TRUE(WaitFor(catalog, 600));
  EXPECT_EQ(catalog.Row(1)->user, "bob");
  // A row that arrives late for an earlier moment goes where its moment puts it: after bob's
  // 200 rows of 11:00, first of those of 10:00.
  ASSERT_TRUE(store.Store({Row(10, "bob", "DESK3", "late")}).Ok());
  ASSERT_TRUE(WaitFor(catalog, 601));
  EXPECT_STREQ(TextOf(catalog, 201), "late");
  EXPECT_EQ(catalog.Problem(), "");
}

TEST(ServerLogCatalogTest, SaysSoWhenTheRowLimitLeavesOlderEntriesUnread) {
  test_pg::Server* server = test_pg::Server::Shared();
  if (!server) GTEST_SKIP() << test_pg::Server::SkipReason();
  const std::string conninfo = server->FreshSchema();
  CentralStore store;
  ASSERT_TRUE(store.Connect(conninfo).Ok());
  ASSERT_TRUE(store.CreateTable().Ok());
  std::vector<CentralRow> rows;
  for (std::size_t i = 0; i <= ServerLogCatalog::kRowLimit; ++i) rows.push_back(Row(9, "ann", "DESK1", std::to_string(i)));
  ASSERT_TRUE(store.Store(rows).Ok());

  ServerLogCatalog catalog;
  catalog.Open(conninfo, "/nonexistent/Quibbet_.txt", {}, {});
  ASSERT_TRUE(WaitFor(catalog, ServerLogCatalog::kRowLimit)) << catalog.RowCount() << " " << catalog.Problem();
  EXPECT_STREQ(TextOf(catalog, ServerLogCatalog::kRowLimit), "1");  // the oldest is the one left out
  EXPECT_EQ(catalog.Problem(), "Only the newest 10000 matching entries are read (quibbet_log --server reads them all)");
}

TEST(ServerLogCatalogTest, ShowsTheFileWithTheReasonWhenTheServerCannotBeReached) {
  TempDir dir;
  std::FILE* log = std::fopen((dir / "Quibbet_.txt").c_str(), "wb");
  ASSERT_TRUE(log);
  const std::string entry = Entry(9, "ann", "DESK1", "from the file") + "\r\n";
  std::fwrite(entry.data(), 1, entry.size(), log);
  std::fclose(log);

  ServerLogCatalog catalog;
  catalog.Open("host=127.0.0.1 port=1 dbname=none user=none password=secret", (dir / "Quibbet_.txt").string(),
               {}, {});
  ASSERT_TRUE(WaitFor(catalog, 1));
  EXPECT_TRUE(catalog.IsFallenBack());
  EXPECT_STREQ(TextOf(catalog, 1), "from the file");
  EXPECT_NE(catalog.Problem().find("cannot be reached"), std::string::npos) << catalog.Problem();
  EXPECT_EQ(catalog.Problem().find("secret"), std::string::npos) << catalog.Problem();
}

}  // namespace
