// The data dictionary: each thread's own AFile managers (DctInit, DctKill), AFILE made by the first
// use in the current directory; processes sharing a file are the keyed file's tests.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <latch>
#include <mutex>
#include <set>

#include "app/dictionary.h"
#include "app/globals.h"
#include "framework/data/files_manager.h"
#include "framework/error/error_class.h"
#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/last_error.h"
#include "tests/support/files.h"
#include "tests/support/scripted_dialogs.h"


namespace {

// The thread's dictionary as start-up leaves it: built by the program entry on thread 1 and by
// the thread's own Dictionary object on every other thread.
void DictionaryAsStartUpLeavesIt() {
  if (rt::Thread() == 1) DctInit();
}

class DictionaryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::DeclareThreadOrder(ProgramThreadOrder());
    rt::SetDialogHost(&dialogs_);
    rt::testing::ClearAssertionMessages();
    GlobalErrors.Init(GlobalErrorStatus);
  }
  void TearDown() override { rt::SetDialogHost(nullptr); }

  // All AFile records in file order, read by a file instance of the test's own.
  static std::vector<AFI_Record> Records() {
    AFI_Record record;
    rt::File file(AFileDecl(), record);
    file.Open();
    std::vector<AFI_Record> rows;
    if (rt::ErrorCode() != 0) return rows;
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) rows.push_back(record);
    file.Close();
    return rows;
  }

  TempDir temp_;
  ScopedCurrentDirectory here_{temp_.Path()};
  ScriptedDialogs dialogs_;
};

TEST_F(DictionaryTest, FirstUseInitialisesOnceAndCreatesAFileHere) {
  rt::ThreadScope thread;
  DictionaryAsStartUpLeavesIt();
  ASSERT_NE(*Access_AFile, nullptr);
  ASSERT_NE(*Relate_AFile, nullptr);
  FileManager& access = **Access_AFile;
  EXPECT_EQ(access.Initialized, 0) << "start-up only registers the file for lazy opening";
  EXPECT_EQ(FileRegistry->GetFileMapping(FilesManager::GetFileId(&AFile->File)), &access);
  EXPECT_FALSE(std::filesystem::exists("AFILE.db"));

  ASSERT_EQ((*Relate_AFile)->Open(), Level::Ok);
  EXPECT_TRUE(std::filesystem::exists("AFILE.db"));
  EXPECT_EQ(access.Initialized, 1);
  const FileOpenServerRef::pointer opener = access.Opener.get();
  AFile->AFI.ID = 42;
  AFile->AFI.ASTRING = "first";
  EXPECT_EQ(access.Insert(), Level::Ok);
  EXPECT_EQ(access.Opener.get(), opener) << "a second use initialised the manager again";
  (*Relate_AFile)->Close();

  DctKill();
  EXPECT_EQ(*Access_AFile, nullptr);
  EXPECT_EQ(*Relate_AFile, nullptr);
  EXPECT_EQ(FileRegistry->GetFileMapping(FilesManager::GetFileId(&AFile->File)), nullptr);
  ASSERT_EQ(Records().size(), 1u);
  EXPECT_EQ(Records()[0].ASTRING, "first");
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
}

TEST_F(DictionaryTest, ThreadsShareAFileEachThroughItsOwnManagers) {
  constexpr int kThreads = 3;
  constexpr int kEach = 100;
  const auto insert = [](int writer) {
    int failures = (*Relate_AFile)->Open() != Level::Ok;
    for (int i = 1; i <= kEach; ++i) {
      AFile->AFI.ID = writer * kEach + i;
      AFile->AFI.ASTRING = "writer " + std::to_string(writer);
      failures += (*Access_AFile)->Insert() != Level::Ok;
    }
    (*Relate_AFile)->Close();
    return failures;
  };
  std::latch firstKilled(1);
  std::atomic<int> failures{0};
  std::mutex mutex;
  std::set<const FileManager*> managers;
  for (int writer = 1; writer <= kThreads; ++writer)
    rt::Start([&, writer] {
      DictionaryAsStartUpLeavesIt();
      FileManager* mine = *Access_AFile;
      RelationManager* myRelate = *Relate_AFile;
      {
        std::lock_guard lock(mutex);
        managers.insert(mine);
      }
      failures += insert(writer);
      if (writer == 1) {
        DctKill();
        firstKilled.count_down();
        return;
      }
      firstKilled.wait();
      if (*Access_AFile != mine || *Relate_AFile != myRelate || myRelate->Me != mine) ++failures;
      if (writer == 3) return;  // a thread that ends without DctKill is torn down all the same
      DctKill();
      if (*Access_AFile != nullptr || *Relate_AFile != nullptr) ++failures;
    });
  ASSERT_TRUE(rt::WaitForStartedThreads(std::chrono::seconds(120)));
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(managers.size(), static_cast<std::size_t>(kThreads));
  const std::vector<AFI_Record> all = Records();
  ASSERT_EQ(all.size(), kThreads * std::size_t{kEach}) << "records reported as saved are gone";
  std::set<rt::Long> ids;
  for (const AFI_Record& r : all) {
    ids.insert(r.ID);
    ASSERT_EQ(r.ASTRING, "writer " + std::to_string((r.ID - 1) / kEach)) << r.ID;
  }
  EXPECT_EQ(ids.size(), all.size());
  EXPECT_TRUE(dialogs_.Shown().empty());
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
}

}  // namespace
