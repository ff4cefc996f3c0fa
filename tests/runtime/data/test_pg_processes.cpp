// Two program instances (two processes, two connections) on one server table: inserts from both
// lose nothing and never repeat a unique key; a hold, a watch and a deny-all open in one are
// seen by the other; and the server killed with SIGKILL in the middle of a stream of inserts
// keeps every insert that had returned success, the writer gets a code and a clear text, and
// its next open reconnects.

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "runtime/data/pg_driver.h"
#include "tests/runtime/data/child_process.h"
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

TEST_F(PgProcesses, TwoWritersLoseNothingAndNeverRepeatAUniqueKey) {
  constexpr int kShared = 150, kOwn = 150;
  auto writer = [&](int self) {
    return [&, self](int toParent, int) {
      AFI_Record r;
      rt::File file(decl_, r);
      file.Open();
      if (rt::ErrorCode() != 0) return 200 + std::min<int>(rt::ErrorCode(), 55);
      long added = 0;
      for (int i = 1; i <= kShared + kOwn; ++i) {  // the shared IDs race; the own ones do not
        const rt::Long id = i <= kShared ? i : self * 100000 + i;
        Fill(r, id, "w");
        file.Add();
        if (rt::ErrorCode() == 0) ++added;
        else if (rt::ErrorCode() != rt::DupKeyErr || id > kShared) return 100 + std::min<int>(rt::ErrorCode(), 99);
      }
      Tell(toParent, added);
      return 0;
    };
  };
  Child a(writer(1)), b(writer(2));
  const long addedA = a.Receive(), addedB = b.Receive();
  ASSERT_EQ(a.Wait(), 0);
  ASSERT_EQ(b.Wait(), 0);
  EXPECT_EQ(addedA + addedB, kShared + 2 * kOwn);

  AFI_Record r;
  rt::File file(decl_, r);
  file.Open();
  std::set<rt::Long> ids;
  file.SetKey(IDKey);
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) EXPECT_TRUE(ids.insert(r.ID).second) << "repeated " << r.ID;
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kShared + 2 * kOwn));
}

TEST_F(PgProcesses, HoldWatchAndDenyAllReachTheOtherProcess) {
  {
    AFI_Record r;
    rt::File file(decl_, r);
    file.Open();
    Fill(r, 1, "one");
    file.Add();
    Fill(r, 2, "two");
    file.Add();
  }
  Child other([&](int toParent, int fromParent) {
    AFI_Record r;
    rt::File file(decl_, r);
    file.Open();
    file.Hold();
    file.GetByPointer(1);  // 1: hold record 1
    Tell(toParent, rt::ErrorCode());
    Hear(fromParent);  // 2: change record 2
    file.Release();
    file.GetByPointer(2);
    r.ASTRING = "changed";
    file.Put();
    Tell(toParent, rt::ErrorCode());
    Hear(fromParent);  // 3: reopen denying all
    file.Close();
    file.Open(rt::ReadWrite | rt::DenyAll);
    Tell(toParent, rt::ErrorCode());
    Hear(fromParent);
    return 0;
  });
  AFI_Record r;
  rt::File file(decl_, r);
  file.Open();
  EXPECT_EQ(other.Receive(), 0);  // no ASSERT: the child waits for every step
  file.SetKey(IDKey);
  file.Next();
  EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "held by the other process";
  file.Next();
  EXPECT_EQ(r.ID, 2) << "the next read goes past the held record";
  file.GetByPointer(1);
  r.ASTRING = "mine";
  file.Put();
  EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "a put of a held record is refused at once";
  file.Hold();
  file.GetByPointer(1);
  EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "and so is a second hold";

  file.Watch();
  file.GetByPointer(2);
  other.Send(2);
  EXPECT_EQ(other.Receive(), 0);  // no ASSERT: the child waits for every step
  r.ASTRING = "mine";
  file.Put();
  EXPECT_EQ(rt::ErrorCode(), rt::RecordChangedErr) << "changed by the other process since it was read";

  file.Close();
  other.Send(3);
  EXPECT_EQ(other.Receive(), 0);  // no ASSERT: the child waits for every step
  file.Open(rt::ReadOnly | rt::DenyNone);
  EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr) << "the other process denies all";
  other.Kill();
  EXPECT_NE(other.Wait(), 0);
  for (int attempt = 0; attempt < 100; ++attempt) {  // the server notices the closed socket soon
    file.Open(rt::ReadOnly | rt::DenyNone);
    if (rt::ErrorCode() != rt::NoAccessErr) break;
    ::usleep(20000);
  }
  EXPECT_EQ(rt::ErrorCode(), 0) << "a killed opener leaves no lock behind";
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
    Fill(r, 0, "after");
    file.Add();
    Tell(toParent, rt::ErrorCode());  // still lost: the program goes on, reporting
    Hear(fromParent);                 // the server is back
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
  EXPECT_EQ(writer.Receive(), rt::FileSystemErr) << "every later operation reports it too";
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
