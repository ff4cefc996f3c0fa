// The KEYED driver between processes: two writers into one file lose nothing and never repeat a
// unique key; a hold, a watch and a deny-all open in one process are seen by the other; and a
// writer killed with SIGKILL in the middle of a stream of inserts, of creates over the file, or
// of frames across two files leaves sound files that hold every change that had returned success.

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <atomic>

#include "tests/runtime/data/child_process.h"
#include "tests/runtime/data/process_scenarios.h"
#include "tests/runtime/data/keyed_fixture.h"

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

TEST_F(KeyedProcesses, ProcessesOpeningAFreshFileAtOnceAreAllAdmitted) {
  for (int round = 0; round < 5; ++round) {
    TempDir temp;
    const rt::FileDecl decl = KeyedAFile((temp / "FRESH").string());
    {
      AFI_Record r;
      rt::File file(decl, r);
      file.Create();
      ASSERT_EQ(rt::ErrorCode(), 0);
    }
    std::vector<std::unique_ptr<Child>> children;
    for (int c = 0; c < 4; ++c) {
      children.push_back(std::make_unique<Child>([&](int toParent, int fromParent) {
        Hear(fromParent);  // all start together
        AFI_Record r;
        rt::File file(decl, r);
        file.Open();
        Tell(toParent, rt::ErrorCode());
        return 0;
      }));
    }
    for (auto& child : children) child->Send(1);
    for (auto& child : children) EXPECT_EQ(child->Receive(), 0) << "round " << round;
  }
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

TEST_F(KeyedProcesses, AWriterKilledTwentyTimesLeavesASoundFileWithEveryReportedInsert) {
  std::mt19937 random(2026);
  std::set<long> reported;
  long next = 1;
  for (int round = 0; round < 20; ++round) {
    const bool framed = round % 3 == 2;
    Child writer([&, first = next, framed](int toParent, int) {
      AFI_Record r;
      rt::File file(decl_, r);
      file.Open();
      if (rt::ErrorCode() != 0) return 100;
      for (long id = first;; id += 5) {
        rt::File* files[] = {&file};
        if (framed) rt::Logout(5, files);
        for (long k = 0; k < 5; ++k) {
          Fill(r, static_cast<rt::Long>(id + k), "crash", "12.34", 80000);
          file.Add();
          if (rt::ErrorCode() != 0) return 101;
          if (!framed) Tell(toParent, id + k);
        }
        if (framed) {
          rt::Commit();
          if (rt::ErrorCode() != 0) return 102;
          for (long k = 0; k < 5; ++k) Tell(toParent, id + k);
        }
      }
    });
    const int wanted = 5 + static_cast<int>(random() % 60);
    for (int i = 0; i < wanted; ++i) {
      const long id = writer.Receive();
      ASSERT_GT(id, 0) << "round " << round;
      reported.insert(id);
    }
    writer.Kill();
    for (long id = writer.Receive(); id > 0; id = writer.Receive()) reported.insert(id);  // sent before it died
    writer.Wait();

    ASSERT_EQ(IntegrityCheck(path_ + ".db"), "ok") << "round " << round;
    AFI_Record r;
    rt::File file(decl_, r);
    file.Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << "round " << round << ": " << rt::Error() << " " << rt::FileError();
    std::set<long> present;
    file.SetKey(IDKey);
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) present.insert(r.ID);
    for (const long id : reported) ASSERT_TRUE(present.count(id)) << "round " << round << " lost " << id;
    next = (present.empty() ? 0 : *present.rbegin()) + 1;
    next += 5 - next % 5 + 1;  // a fresh run of IDs after whatever the killed writer left
  }
  EXPECT_GE(reported.size(), 20u * 5u);
}

std::set<long> Ids(const rt::FileDecl& decl) {
  AFI_Record r;
  rt::File file(decl, r);
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
  std::set<long> ids;
  file.SetKey(IDKey);
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) ids.insert(r.ID);
  return ids;
}

// Killed while making the file anew over the old one: the file is the old one or a new one,
// whole, and no lock of the dead creator keeps anybody out.
TEST_F(KeyedProcesses, ACreatorKilledOverAnExistingFileLeavesTheOldFileOrTheNewOne) {
  std::mt19937 random(7);
  for (int round = 0; round < 10; ++round) {
    {
      AFI_Record r;
      rt::File file(decl_, r);
      file.Open();
      for (rt::Long id = 1; id <= 3; ++id) {
        Fill(r, id, "old");
        file.Add();
      }
    }
    Child creator([&](int toParent, int) {
      for (long made = 1;; ++made) {
        AFI_Record r;
        rt::File file(decl_, r);
        file.Create();
        if (rt::ErrorCode() != 0) return 100;
        Tell(toParent, made);
      }
    });
    ASSERT_GT(creator.Receive(), 0) << "round " << round;
    ::usleep(static_cast<useconds_t>(random() % 20000));
    creator.Kill();
    creator.Wait();
    ASSERT_EQ(IntegrityCheck(path_ + ".db"), "ok") << "round " << round;
    const std::set<long> ids = Ids(decl_);
    EXPECT_TRUE(ids.empty() || ids == (std::set<long>{1, 2, 3})) << "round " << round;
  }
}

// Killed in the middle of frames over two files: each file is whole and holds every frame that
// was reported committed. The files commit one after the other, so the first may hold one
// frame more than the second (the limit of a frame across files), never the other way round.
TEST_F(KeyedProcesses, AWriterKilledInFramesAcrossTwoFilesLosesNoReportedFrame) {
  const rt::FileDecl second = KeyedAFile((temp_ / "BFILE").string());
  {
    AFI_Record r;
    rt::File file(second, r);
    file.Create();
    ASSERT_EQ(rt::ErrorCode(), 0);
  }
  std::mt19937 random(11);
  std::set<long> reported;
  long next = 1;
  for (int round = 0; round < 10; ++round) {
    Child writer([&, first = next](int toParent, int) {
      AFI_Record ra, rb;
      rt::File a(decl_, ra), b(second, rb);
      a.Open();
      b.Open();
      if (rt::ErrorCode() != 0) return 100;
      for (long id = first;; ++id) {
        rt::File* both[] = {&a, &b};
        rt::Logout(5, both);
        Fill(ra, static_cast<rt::Long>(id), "a");
        a.Add();
        Fill(rb, static_cast<rt::Long>(id), "b");
        b.Add();
        rt::Commit();
        if (rt::ErrorCode() != 0) return 101;
        Tell(toParent, id);
      }
    });
    const int wanted = 1 + static_cast<int>(random() % 30);
    for (int i = 0; i < wanted; ++i) {
      const long id = writer.Receive();
      ASSERT_GT(id, 0) << "round " << round;
      reported.insert(id);
    }
    writer.Kill();
    for (long id = writer.Receive(); id > 0; id = writer.Receive()) reported.insert(id);
    writer.Wait();
    ASSERT_EQ(IntegrityCheck(path_ + ".db"), "ok") << "round " << round;
    ASSERT_EQ(IntegrityCheck(second.name + ".db"), "ok") << "round " << round;
    const std::set<long> inA = Ids(decl_), inB = Ids(second);
    for (const long id : reported) ASSERT_TRUE(inA.count(id) && inB.count(id)) << "round " << round << " lost " << id;
    for (const long id : inB) EXPECT_TRUE(inA.count(id)) << "round " << round << ": " << id << " only in the second file";
    EXPECT_LE(inA.size() - inB.size(), static_cast<std::size_t>(round) + 1) << "at most one half frame per kill";
    next = (inA.empty() ? 0 : *inA.rbegin()) + 1;
  }
}

}  // namespace
