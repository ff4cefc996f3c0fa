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

class OpenCounter : public rt::FileCallback {
 public:
  bool FunctionCalled(const rt::FileCall& call, std::string&, std::string&) override {
    opens += call.op == rt::FileOp::Open;
    closes += call.op == rt::FileOp::Close;
    return true;
  }
  bool FunctionDone(const rt::FileCall&, std::string&, std::string&) override { return true; }
  std::atomic<int> opens{0}, closes{0};
};

TEST(OpenServers, SharedFileOpensOnceForFourThreadsAndClosesWithTheLast) {
  TempDir temp;
  rt::FileDecl decl = ParentDecl(temp.Path().string());
  decl.perThread = false;
  PAR_Record record;
  rt::File shared(decl, record);
  shared.Create();
  ASSERT_EQ(rt::ErrorCode(), 0);
  OpenCounter counter;
  shared.AddCallback(&counter);

  constexpr int kThreads = 4;
  std::vector<FileOpenServerRef> servers(kThreads);
  std::latch ready(kThreads);
  std::latch opened(kThreads);
  std::latch closeFirstThree(1);
  std::atomic<int> failures{0};
  std::atomic<int> closed{0};
  for (int t = 0; t < kThreads; ++t) {
    rt::Start([&, t] {
      servers[t] = CreateFileOpenServer(shared);
      ready.arrive_and_wait();  // all open at once
      if (servers[t]->OpenFile(rt::ReadWrite | rt::DenyNone) != 0) ++failures;
      opened.count_down();
      if (t < kThreads - 1) {
        closeFirstThree.wait();
        if (servers[t]->CloseFile() != 0) ++failures;
        ++closed;
      }
    });
  }
  opened.wait();
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(counter.opens.load(), 1);
  EXPECT_TRUE(shared.IsOpen());
  ASSERT_NE(FindUnthreadedFileOpenServer(shared), nullptr);
  EXPECT_EQ(FindUnthreadedFileOpenServer(shared)->PhysicalOpens(), kThreads);
  closeFirstThree.count_down();
  ASSERT_TRUE(rt::WaitForStartedThreads(std::chrono::seconds(20)));
  EXPECT_EQ(closed.load(), kThreads - 1);
  EXPECT_TRUE(shared.IsOpen()) << "closed before the last user closed it";
  EXPECT_EQ(counter.closes.load(), 0);
  EXPECT_EQ(servers[kThreads - 1]->CloseFile(), 0);
  EXPECT_FALSE(shared.IsOpen());
  EXPECT_EQ(counter.closes.load(), 1);
  for (FileOpenServerRef& server : servers) server.reset();
  EXPECT_EQ(FindUnthreadedFileOpenServer(shared), nullptr) << "the last release disposes of the shared server";
  shared.RemoveCallback(&counter);
}

using RegistryTest = DataTest;

TEST_F(RegistryTest, SecondMappingOfAFileIsAnAssertionAndKeepsTheFirst) {
  TestAccess second(*parentFile_, errors_, {}, 0);
  second.Init();
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"Mapping for file already exists for the FM"});
  EXPECT_EQ(FileRegistry->GetFileMapping(FilesManager::GetFileId(parentFile_.get())), parent_.get());
  second.Kill();
  EXPECT_EQ(FileRegistry->GetFileMapping(FilesManager::GetFileId(parentFile_.get())), parent_.get());
  EXPECT_EQ(FileRegistry->GetRelationFileMapping(FilesManager::GetFileId(parentFile_.get())), relParent_.get());
}

// Two opens need two closes before the physical close; within one procedure they are one entry.
TEST_F(RegistryTest, NestedOpensOfOneProcedureOnlyCountDown) {
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
  EXPECT_EQ(parent_->IsOpened(), 1);
  parent_->Close();
  EXPECT_TRUE(FileRegistry->StatusQ().empty());
  EXPECT_FALSE(parentFile_->IsOpen());
  EXPECT_EQ(parent_->Used, 0);
  errors_.SetProcedureName();
}

}  // namespace
}  // namespace testdict
