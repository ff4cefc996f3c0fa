// The open servers and the thread's file registry.

#include <gtest/gtest.h>

#include <atomic>
#include <latch>

#include "framework/data/file_open_server.h"
#include "framework/data/files_manager.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "tests/framework/data/data_fixture.h"

namespace testdict {
namespace {

struct OpenCounter : rt::FileCallback {
  bool FunctionCalled(const rt::FileCall& call, std::string&, std::string&) override { return opens += call.op == rt::FileOp::Open, true; }
  bool FunctionDone(const rt::FileCall&, std::string&, std::string&) override { return true; }
  std::atomic<int> opens{0};
};

// A file shared by all threads opens once for four threads at once and closes with the last user.
TEST(OpenServers, SharedFileOpensOnceForFourThreadsAndClosesWithTheLast) {
  TempDir temp;
  rt::FileDecl decl = ParentDecl(temp.Path().string());
  decl.perThread = false;
  PAR_Record record;
  rt::File shared(decl, record);
  shared.Create();
  OpenCounter counter;
  shared.AddCallback(&counter);
  constexpr int kThreads = 4;
  std::vector<FileOpenServerRef> servers(kThreads);
  std::latch ready(kThreads), opened(kThreads), closeFirstThree(1);
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    rt::Start([&, t] {
      servers[t] = CreateFileOpenServer(shared);
      ready.arrive_and_wait();  // all open at once
      failures += servers[t]->OpenFile(rt::ReadWrite | rt::DenyNone) != 0;
      opened.count_down();
      if (t == kThreads - 1) return;
      closeFirstThree.wait();
      failures += servers[t]->CloseFile() != 0;
    });
  }
  opened.wait();
  EXPECT_EQ(counter.opens.load(), 1);
  closeFirstThree.count_down();
  ASSERT_TRUE(rt::WaitForStartedThreads(std::chrono::seconds(20)));
  EXPECT_EQ(failures.load(), 0);
  EXPECT_TRUE(shared.IsOpen()) << "closed before the last user closed it";
  EXPECT_EQ(servers[kThreads - 1]->CloseFile(), 0);
  EXPECT_FALSE(shared.IsOpen());
  for (FileOpenServerRef& server : servers) server.reset();
  EXPECT_EQ(FindUnthreadedFileOpenServer(shared), nullptr) << "the last release disposes of the shared server";
  shared.RemoveCallback(&counter);
}

TEST_F(DataTest, ASecondMappingKeepsTheFirstAndNestedOpensOfOneProcedureOnlyCountDown) {
  TestAccess second(*parentFile_, errors_, {}, 0);
  second.Init();
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"Mapping for file already exists for the FM"});
  second.Kill();
  EXPECT_EQ(FileRegistry->GetFileMapping(FilesManager::GetFileId(parentFile_.get())), parent_.get());
  EXPECT_EQ(FileRegistry->GetRelationFileMapping(FilesManager::GetFileId(parentFile_.get())), relParent_.get());
  // Two opens need two closes before the physical close; within one procedure they are one entry.
  AddParents({{1, "One"}});
  errors_.SetProcedureName("Browse");
  ASSERT_EQ(parent_->Open(), Level::Ok);
  ASSERT_EQ(parent_->Next(), Level::Ok);
  ASSERT_EQ(parent_->Open(), Level::Ok);
  ASSERT_EQ(FileRegistry->StatusQ().size(), 1u);
  EXPECT_EQ(FileRegistry->StatusQ()[0].NestedOpen, 1);
  parent_->Close();
  ASSERT_EQ(FileRegistry->StatusQ().size(), 1u);
  EXPECT_EQ(FileRegistry->StatusQ()[0].NestedOpen, 0);
  EXPECT_TRUE(parentFile_->IsOpen()) << "closed while one open was left";
  parent_->Close();
  EXPECT_TRUE(FileRegistry->StatusQ().empty());
  EXPECT_FALSE(parentFile_->IsOpen());
  errors_.SetProcedureName();
  parent_->Kill();
  EXPECT_EQ(FileRegistry->GetFileMapping(FilesManager::GetFileId(parentFile_.get())), nullptr) << "the mapping went with its manager";
}

}  // namespace
}  // namespace testdict
