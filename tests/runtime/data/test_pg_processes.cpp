// Two program instances (two processes, two connections) on one server table: inserts from both
// lose nothing and never repeat a unique key; a hold, a watch and a deny-all open in one are
// seen by the other; and the server killed with SIGKILL in the middle of a stream of inserts
// keeps every insert that had returned success, the writer gets a code and a clear text, and
// its next open reconnects.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>
#include <string>

#include "runtime/data/pg_driver.h"
#include "tests/runtime/data/child_process.h"
#include "tests/runtime/data/process_scenarios.h"
#include "tests/runtime/data/keyed_fixture.h"
#include "tests/runtime/data/pg_server.h"

namespace {

using namespace test_afile;
using test_processes::Child;
using test_processes::Hear;
using test_processes::Tell;

class PgProcesses : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test_pg::Server::Shared();
    if (!server_) GTEST_SKIP() << test_pg::Server::SkipReason();
    decl_ = KeyedAFile(server_->FreshSchema());
    decl_.driver = rt::kServerDriver;
    AFI_Record record;
    rt::File file(decl_, record);
    file.Create();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
  }

  test_pg::Server* server_ = nullptr;
  rt::FileDecl decl_;
};

TEST_F(PgProcesses, TwoWritersLoseNothingAndNeverRepeatAUniqueKey) { test_processes::TwoWritersLoseNothing(decl_); }

TEST_F(PgProcesses, HoldWatchAndDenyAllReachTheOtherProcess) { test_processes::HoldWatchAndDenyAllReachTheOtherProcess(decl_); }

TEST_F(PgProcesses, StationsFindingATableMissingAtOnceAllEndUpWithItOpen) {
  const std::string conninfo = server_->FreshSchema();
  std::vector<std::unique_ptr<Child>> children;
  for (int c = 0; c < 6; ++c) {
    children.push_back(std::make_unique<Child>([&, c](int toParent, int fromParent) {
      rt::FileDecl decl = KeyedAFile(conninfo);
      decl.driver = rt::kServerDriver;
      if (c % 2) decl.label = "Other" + std::to_string(c);  // other tables of the same schema at once
      Hear(fromParent);  // all start together
      AFI_Record r;
      rt::File file(decl, r);
      file.Open();  // what the file manager does: open, create when missing, open again
      if (rt::ErrorCode() == rt::NoFileErr) {
        file.Create();
        file.Open();
      }
      Tell(toParent, rt::ErrorCode());
      return 0;
    }));
  }
  for (auto& child : children) child->Send(1);
  for (auto& child : children) EXPECT_EQ(child->Receive(), 0);
}

TEST_F(PgProcesses, TheServerKilledMidStreamKeepsEveryAcknowledgedInsertAndTheNextOpenReconnects) {
  Child writer([&](int toParent, int fromParent) {
    AFI_Record r;
    rt::File file(decl_, r);
    file.Open();
    if (rt::ErrorCode() != 0) return 100;
    for (long id = 1;; ++id) {
      Fill(r, static_cast<rt::Long>(id), "stream", "1.25", 80000);
      file.Add();
      if (rt::ErrorCode() != 0) break;
      Tell(toParent, id);
    }
    const bool clear = rt::ErrorCode() == rt::FileSystemErr && rt::Error() == "Database Server Connection Lost" &&
                       rt::FileError().find("connection to the database server was lost") != std::string::npos;
    Tell(toParent, clear ? -2 : -3);
    Hear(fromParent);  // the server is back
    file.Close();
    file.Open();
    Tell(toParent, rt::ErrorCode());
    Fill(r, 999999, "after restart");
    file.Add();
    Tell(toParent, rt::ErrorCode());
    return 0;
  });
  std::set<long> acknowledged;
  long word = 0;
  while ((word = writer.Receive()) > 0) {
    acknowledged.insert(word);
    if (acknowledged.size() == 300) {
      EXPECT_TRUE(server_->Kill());
    }
  }
  EXPECT_EQ(word, -2) << "the lost connection is an error code and a clear text";
  ASSERT_TRUE(server_->Start());
  writer.Send(1);
  EXPECT_EQ(writer.Receive(), 0) << "the next open reconnects";
  EXPECT_EQ(writer.Receive(), 0);
  EXPECT_EQ(writer.Wait(), 0);

  AFI_Record r;
  rt::File file(decl_, r);
  file.Open();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  std::set<long> stored;
  file.SetKey(IDKey);
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) stored.insert(r.ID);
  for (const long id : acknowledged) EXPECT_TRUE(stored.count(id)) << "acknowledged insert " << id << " lost";
  EXPECT_TRUE(stored.count(999999));
  EXPECT_GE(acknowledged.size(), 300u);
}

}  // namespace
