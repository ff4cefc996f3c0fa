#pragma once
// Scenarios that every driver with several stations must pass between two processes (KEYED on
// one file, POSTGRES on one table): two writers lose nothing and never repeat a unique key; a
// hold, a watch and a deny-all open in one process are seen by the other (a view reports the
// held record only when its filter keeps it), and a killed opener leaves no lock behind. Each test binary runs them over its own declaration.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "runtime/data/bind.h"
#include "runtime/data/expression_filter.h"
#include "runtime/data/view.h"

#include "tests/runtime/data/child_process.h"
#include "tests/runtime/data/keyed_fixture.h"

namespace test_processes {

// Two processes open the file (made, never opened) at once and add the same 150 IDs and 150 of
// their own each: both are admitted, and nothing is lost or repeated.
inline void TwoWritersLoseNothing(const rt::FileDecl& decl) {
  using namespace test_afile;
  constexpr int kShared = 150, kOwn = 150;
  auto writer = [&](int self) {
    return [&, self](int toParent, int fromParent) {
      AFI_Record r;
      rt::File file(decl, r);
      Hear(fromParent);  // both start together
      file.Open();
      long added = 0;
      for (int i = 1; i <= kShared + kOwn && rt::ErrorCode() == 0; ++i) {  // the shared IDs race; the own ones do not
        Fill(r, i <= kShared ? i : self * 100000 + i, "w");
        file.Add();
        added += rt::ErrorCode() == 0;
        if (rt::ErrorCode() == rt::DupKeyErr && i <= kShared) rt::ClearError();
      }
      Tell(toParent, added);
      return static_cast<int>(std::min<rt::Long>(rt::ErrorCode(), 99));
    };
  };
  Child a(writer(1)), b(writer(2));
  a.Send(1);
  b.Send(1);
  EXPECT_EQ(a.Receive() + b.Receive(), kShared + 2 * kOwn);
  ASSERT_EQ(a.Wait(), 0);
  ASSERT_EQ(b.Wait(), 0);
  AFI_Record r;
  rt::File file(decl, r);
  file.Open();
  std::set<rt::Long> ids;
  file.SetKey(IDKey);
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) EXPECT_TRUE(ids.insert(r.ID).second) << "repeated " << r.ID;
  EXPECT_EQ(ids.size(), static_cast<std::size_t>(kShared + 2 * kOwn));
}

// The file (already made) gets records 1 and 2; another process holds 1, changes 2, denies all.
inline void HoldWatchAndDenyAllReachTheOtherProcess(const rt::FileDecl& decl) {
  using namespace test_afile;
  {
    AFI_Record r;
    rt::File file(decl, r);
    file.Open();
    Fill(r, 1, "one");
    file.Add();
    Fill(r, 2, "two");
    file.Add();
  }
  Child other([&](int toParent, int fromParent) {
    AFI_Record r;
    rt::File file(decl, r);
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
  rt::File file(decl, r);
  file.Open();
  EXPECT_EQ(other.Receive(), 0);  // no ASSERT: the child waits for every step
  file.SetKey(IDKey);
  file.Next();
  EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "held by the other process";
  file.Next();
  EXPECT_EQ(r.ID, 2) << "the next read goes past the held record";
  {
    rt::BindScopes scopes;
    scopes.BindRecord(AFileLayout(), &r);
    rt::View view(file, rt::ExpressionFilterParser(scopes));
    view.SetProperty(rt::PropViewOrder, "AFI:ID");
    view.Open();
    // Pushed down and evaluated here only: either way the filter decides before the hold.
    for (const char* filter : {"AFI:ID <> 1", "LOWER(AFI:ASTRING) = 'two'"}) {
      view.SetProperty(rt::PropViewFilter, filter);
      view.Set();
      view.Next();
      EXPECT_EQ(rt::ErrorCode(), 0) << filter << ": the held record is not in this view";
      EXPECT_EQ(r.ID, 2) << filter;
    }
    view.SetProperty(rt::PropViewFilter, "LOWER(AFI:ASTRING) = 'one'");
    view.Set();
    view.Next();
    EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "the view would return it";
    EXPECT_EQ(r.ID, 2) << "and the buffer keeps the record it held";
  }
  file.GetByPointer(1);
  r.ASTRING = "mine";
  file.Put();
  EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "a put of a held record is refused at once";

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

}  // namespace test_processes
