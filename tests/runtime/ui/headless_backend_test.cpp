// Headless backend driven by the Robot: dialogs raised on program threads through the runtime's
// own calls (rt::MessageBox, rt::Stop) and answered from the test's thread. Esc and the button
// sets are checked on both backends by backend_conformance_test.cpp, the Robot's failure reports
// in window_robot_test.cpp.

#include "runtime/ui/headless/headless_backend.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "runtime/core/dialogs.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace rt::ui {
namespace {

using namespace std::chrono_literals;

// A value one program thread publishes and the test waits for, with a time-out.
template <class T>
struct Published {
  std::promise<T> promise;
  std::shared_future<T> future = promise.get_future().share();
  void Set(T value) { promise.set_value(value); }
  std::optional<T> WaitFor(std::chrono::milliseconds timeout) {
    if (future.wait_for(timeout) != std::future_status::ready) return std::nullopt;
    return future.get();
  }
};

// The Robot fixture, with the program run through RunProgram on a helper thread, so the test's
// thread is free to act as the user.
class HeadlessTest : public RobotFixture {
 protected:
  void TearDown() override {
    backend_->Stop();  // releases any dialog a failed test left open, so the program can end
    if (run_.valid()) run_.wait();
    RobotFixture::TearDown();
  }
  void Run(std::function<void()> entry) {
    run_ = std::async(std::launch::async, [this, entry = std::move(entry)] { return backend_->RunProgram(entry); });
  }
  int Join() { return run_.get(); }

  std::future<int> run_;
};

// A box shows what its thread asked for. Each thread waits only for its own box: answering the
// later one first lets its thread go on while the earlier box is still open. Stopping the backend
// releases a box still open with its escape value.
TEST_F(HeadlessTest, TwoThreadsBoxesShowTheirRequestsAreAnsweredInReverseOrderAndStopReleasesThem) {
  Published<Long> secondThread, firstResult, secondResult;
  Run([&] {
    Start([&] {
      secondThread.Set(Thread());
      secondResult.Set(MessageBox("Delete the record?", "Confirm", "ICON:Question", "6", BUTTON_NO));
    });
    firstResult.Set(MessageBox("First", "One", "", "68", BUTTON_NO));
  });
  ASSERT_TRUE(robot_.WaitForOpenDialogs(2, kWait));
  const Long second = secondThread.WaitFor(kWait).value_or(-1);
  const auto secondBox = robot_.WaitForMessageBox(kWait, second);
  ASSERT_TRUE(secondBox);
  std::string seen = secondBox->caption + "/" + secondBox->text + "/" + secondBox->icon + "/" + std::to_string(secondBox->defaultValue);
  for (const auto& button : secondBox->buttons) seen += "/" + button.caption + "=" + std::to_string(button.value);
  EXPECT_EQ(seen, "Confirm/Delete the record?/ICON:Question/4/&Yes=2/&No=4");
  EXPECT_TRUE(robot_.PressCaption(*secondBox, "Yes")) << "a caption is found without its mnemonic";
  EXPECT_EQ(secondResult.WaitFor(kWait), BUTTON_YES);
  EXPECT_EQ(robot_.OpenDialogCount(), 1u);
  EXPECT_FALSE(firstResult.WaitFor(0ms)) << "the first thread must still be waiting for its box";
  backend_->Stop();
  EXPECT_EQ(firstResult.WaitFor(kWait), BUTTON_CANCEL);
  EXPECT_EQ(robot_.UnansweredCount(), 1u);
  Join();
}

// A scenario that forgets to answer must not hang: a box or a stop gives up after the limit with
// its escape value, and the program goes on.
TEST_F(HeadlessTest, UnansweredDialogsGiveUpAfterTheLimitWithTheirEscapeValue) {
  std::atomic<Long> result{-1};
  std::atomic<bool> wentOn{false};
  robot_.SetUnansweredLimit(30ms);
  Run([&] {
    result = MessageBox("Anyone?", "Lonely", "", "68", BUTTON_NO);
    Stop("Really?");
    wentOn = true;
  });
  EXPECT_EQ(Join(), 0);
  EXPECT_EQ(result, BUTTON_CANCEL);
  EXPECT_TRUE(wentOn);
  EXPECT_EQ(robot_.UnansweredCount(), 2u);
}

TEST_F(HeadlessTest, StopAnsweredEndProgramEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Run([] {
          Stop("End now?");
          std::_Exit(99);  // going on would be the fault
        });
        if (robot_.WaitForStop(kWait)) robot_.AnswerStop(StopAnswer::EndProgram);
        Join();
        std::_Exit(98);  // RunProgram came back although the program ended
      },
      ::testing::ExitedWithCode(kStopExitCode), "");
}

}  // namespace
}  // namespace rt::ui
