// What every Backend must do the same way, run over each backend built into this binary:
// headless always, Qt (offscreen platform) when the tree is built with Qt.

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "runtime/core/assert.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#ifdef QUIBBET_WITH_QT
#include "runtime/ui/qt/qt_backend.h"
#endif

namespace rt::ui {
namespace {

struct BackendFactory {
  const char* name;
  std::unique_ptr<Backend> (*make)();
};

std::unique_ptr<Backend> MakeHeadless() { return MakeHeadlessBackend(); }

#ifdef QUIBBET_WITH_QT
std::unique_ptr<Backend> MakeQt() {
  static int argc = 1;
  static char program[] = "rt_ui_backend_conformance_test";
  static char* argv[] = {program, nullptr};
  return MakeQtBackend(argc, argv);
}
#endif

class BackendConformance : public ::testing::TestWithParam<BackendFactory> {
 protected:
  void SetUp() override { rt::testing::ClearAssertionMessages(); }
  void TearDown() override {
    backend_->Stop();
    InstallBackend(nullptr);
  }
  std::unique_ptr<Backend> backend_ = GetParam().make();
};

TEST_P(BackendConformance, StartStopStartAndASecondStartIsRefused) {
  EXPECT_FALSE(backend_->IsStarted());
  ASSERT_TRUE(backend_->Start());
  EXPECT_TRUE(backend_->IsStarted());
  EXPECT_FALSE(backend_->Start());
  ASSERT_EQ(rt::testing::AssertionMessages().size(), 1u);
  EXPECT_NE(rt::testing::AssertionMessages().front().find("started twice"), std::string::npos);
  EXPECT_TRUE(backend_->IsStarted()) << "a refused start must not undo the first";

  backend_->Stop();
  EXPECT_FALSE(backend_->IsStarted());
  backend_->Stop();  // stopping a stopped backend does nothing
  ASSERT_TRUE(backend_->Start());

  // The restarted backend runs a program as well as the first start did.
  std::atomic<bool> ran{false};
  EXPECT_EQ(backend_->RunProgram([&] { ran = true; }), 0);
  EXPECT_TRUE(ran);
}

TEST_P(BackendConformance, RunProgramOnAStoppedBackendRunsNothing) {
  std::atomic<bool> ran{false};
  EXPECT_EQ(backend_->RunProgram([&] { ran = true; }), kRunProgramRefusedExitCode);
  EXPECT_FALSE(ran);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 1u);
}

// The entry runs on a program thread, and RunProgram waits for the threads it starts too.
TEST_P(BackendConformance, RunProgramReturnsOnlyWhenEveryStartedThreadHasEnded) {
  ASSERT_TRUE(backend_->Start());
  std::atomic<Long> entryThread{0};
  std::atomic<bool> childDone{false};
  std::promise<void> entryEnding;
  std::shared_future<void> entryEnded = entryEnding.get_future().share();
  EXPECT_EQ(backend_->RunProgram([&] {
              entryThread = Thread();
              Start([&, entryEnded] {
                entryEnded.wait();  // outlive the entry
                childDone = true;
              });
              entryEnding.set_value();
            }),
            0);
  EXPECT_NE(entryThread, 0) << "the entry must run on a program thread";
  EXPECT_TRUE(childDone);
}

// A dialog raised while no UI runs must not block its thread.
TEST_P(BackendConformance, DialogsOnAStoppedBackendReturnAtOnceWithTheirEscapeValue) {
  const MessageBoxRequest request = MakeMessageBoxRequest("Save?", "Edit", "", "68", BUTTON_NO, 0);
  EXPECT_EQ(backend_->ShowMessageBox(request), BUTTON_CANCEL);
  EXPECT_EQ(backend_->ShowStop(StopRequest{"Exit?"}), StopAnswer::GoOn);
}

INSTANTIATE_TEST_SUITE_P(All, BackendConformance,
                         ::testing::Values(BackendFactory{"Headless", &MakeHeadless}
#ifdef QUIBBET_WITH_QT
                                           ,
                                           BackendFactory{"Qt", &MakeQt}
#endif
                                           ),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace rt::ui
