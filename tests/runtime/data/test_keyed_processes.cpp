// The KEYED driver between processes: two writers into one file lose nothing and never repeat a
// unique key; a hold, a watch and a deny-all open in one process are seen by the other; and a
// writer killed with SIGKILL in the middle of a stream of inserts, of creates over the file, or
// of frames across two files leaves sound files that hold every change that had returned success.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <span>
#include <vector>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <atomic>

#include "tests/runtime/data/child_process.h"
#include "tests/runtime/data/process_scenarios.h"
#include "tests/runtime/data/keyed_fixture.h"
#include "tests/support/param_names.h"

namespace {

using namespace test_afile;

using test_processes::Child;
using test_processes::Hear;
using test_processes::Tell;

std::string IntegrityCheck(const std::string& path) {
  sqlite3* db = nullptr;
  std::string result = "cannot open";
  if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
    result.clear();
    while (statement && sqlite3_step(statement) == SQLITE_ROW) result += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  return result;
}

class KeyedProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    AFI_Record record;
    rt::File file(decl_, record);
    file.Create();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
  }

  TempDir temp_;
  std::string path_ = (temp_ / "AFILE").string();
  rt::FileDecl decl_ = KeyedAFile(path_);
};

TEST_F(KeyedProcesses, TwoWritersLoseNothingAndNeverRepeatAUniqueKey) {
  test_processes::TwoWritersLoseNothing(decl_);
  EXPECT_EQ(IntegrityCheck(path_ + ".db"), "ok");
}

// Opens in this process must not drop the locks SQLite holds for the other open instances (the
// system drops all of a process's locks on a file when any descriptor of it is closed): another
// program closing last would take the file for its own, and records the others had committed
// were lost. Writers on three threads reopen the file often while another program writes too.
TEST_F(KeyedProcesses, WritersOnThreadsReopeningBesideAnotherProgramLoseNothing) {
  constexpr int kWriters = 4, kEach = 100, kBatch = 10;  // fails every run with the fault back
  const auto write = [&](int writer) {
    AFI_Record r;
    rt::File file(decl_, r);
    int failures = 0;
    for (int i = 1; i <= kEach; ++i) {
      if (i % kBatch == 1) file.Open();
      r.ID = writer * kEach + i;
      file.Add();
      failures += rt::ErrorCode() != 0;
      if (i % kBatch == 0) file.Close();
    }
    return failures;
  };
  Child program([&](int, int) { return write(0); });
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int writer = 1; writer < kWriters; ++writer) threads.emplace_back([&, writer] { failures += write(writer); });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(program.Wait(), 0);
  EXPECT_EQ(failures.load(), 0);
  AFI_Record r;
  rt::File file(decl_, r);
  file.Open();
  std::set<rt::Long> stored;
  for (file.Set(), file.Next(); rt::ErrorCode() == 0; file.Next()) stored.insert(r.ID);
  EXPECT_EQ(stored.size(), static_cast<std::size_t>(kWriters * kEach)) << "records that were reported saved are gone";
}

TEST_F(KeyedProcesses, HoldWatchAndDenyAllReachTheOtherProcess) {
  test_processes::HoldWatchAndDenyAllReachTheOtherProcess(decl_);
}

// A writer killed with SIGKILL at a random point leaves whole files holding every change that
// had returned success. Frames across two files commit one file after the other, so the first
// may hold a frame more than the second, never the other way round. A creator killed while
// making the file over the old one leaves the old file or a new one, and no lock behind.
struct KillCase {
  const char* reason;
  int files;    // 1 or 2
  bool framed;  // each id added in a frame over the files
  bool create;  // the child makes the file anew, again and again
};

class KilledWriter : public KeyedProcesses, public ::testing::WithParamInterface<KillCase> {};

TEST_P(KilledWriter, LeavesSoundFilesWithEveryReportedChange) {
  const KillCase& c = GetParam();
  const std::vector<rt::FileDecl> decls = {decl_, KeyedAFile((temp_ / "BFILE").string())};
  {
    AFI_Record made;
    rt::File(decls[1], made).Create();
  }
  std::mt19937 random(2026);
  std::set<long> reported;
  long next = 1;
  for (int round = 0; round < 10; ++round) {
    SCOPED_TRACE(testing::Message() << "round " << round);
    if (c.create) reported = {1, 2, 3};
    for (const long id : c.create ? reported : std::set<long>{}) {
      AFI_Record r;
      rt::File file(decl_, r);
      file.Open();
      Fill(r, static_cast<rt::Long>(id), "old");
      file.Add();
    }
    Child writer([&, first = next](int toParent, int) {
      AFI_Record ra, rb;
      rt::File a(decls[0], ra), b(decls[1], rb);
      for (long made = 1; c.create; ++made) {
        a.Create();
        if (rt::ErrorCode() != 0) return 100;
        Tell(toParent, made);
      }
      a.Open();
      if (c.files == 2 && rt::ErrorCode() == 0) b.Open();
      if (rt::ErrorCode() != 0) return 100;
      rt::File* both[] = {&a, &b};
      for (long id = first;; ++id) {
        if (c.framed) rt::Logout(5, std::span(both, static_cast<std::size_t>(c.files)));
        Fill(ra, static_cast<rt::Long>(id), "a", "12.34", 80000);
        a.Add();
        Fill(rb, static_cast<rt::Long>(id), "b");
        if (c.files == 2) b.Add();
        if (c.framed) rt::Commit();
        if (rt::ErrorCode() != 0) return 101;
        Tell(toParent, id);
      }
    });
    for (int i = 1 + static_cast<int>(random() % (c.create ? 4 : 40)); i > 0; --i) {
      const long id = writer.Receive();
      ASSERT_GT(id, 0);
      if (!c.create) reported.insert(id);
    }
    writer.Kill();
    for (long id = writer.Receive(); id > 0; id = writer.Receive())
      if (!c.create) reported.insert(id);  // sent before it died
    writer.Wait();
    std::vector<std::set<long>> ids;
    for (int f = 0; f < c.files; ++f) {
      ASSERT_EQ(IntegrityCheck(decls[static_cast<std::size_t>(f)].name + ".db"), "ok");
      AFI_Record r;
      rt::File file(decls[static_cast<std::size_t>(f)], r);
      file.Open();
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
      ids.emplace_back();
      file.SetKey(IDKey);
      for (file.Next(); rt::ErrorCode() == 0; file.Next()) ids.back().insert(r.ID);
    }
    if (c.create) {
      EXPECT_TRUE(ids[0].empty() || ids[0] == reported);
      continue;
    }
    for (const long id : reported) ASSERT_TRUE(ids.front().count(id) && ids.back().count(id)) << "lost " << id;
    for (const long id : ids.back()) EXPECT_TRUE(ids.front().count(id)) << id << " only in the second file";
    next = (ids.front().empty() ? 0 : *ids.front().rbegin()) + 1;
  }
}

INSTANTIATE_TEST_SUITE_P(Kills, KilledWriter,
                         ::testing::Values(KillCase{"inserts", 1, false, false}, KillCase{"frames", 1, true, false},
                                           KillCase{"frames across two files", 2, true, false},
                                           KillCase{"creates over the file", 1, false, true}),
                         ByReason());

}  // namespace
