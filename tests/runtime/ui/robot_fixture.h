#pragma once
// Shared by the Robot scenario tests: a recorder of the events a window's handler saw, and a
// fixture that starts a headless backend, hands Robot failures to the test (or collects them
// when a test expects some) and checks that every program thread ended.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/window.h"

namespace rt::ui {

inline constexpr std::chrono::seconds kWait{5};
using Strings = std::vector<std::string>;

// Events as a window's handler saw them ("Accepted:3", with "/key" for keyed events when asked),
// readable from the test thread.
class Recorder {
 public:
  explicit Recorder(bool withKeys = false) : withKeys_(withKeys) {}
  void Add(const EventRecord& e) {
    std::string seen = EventName(e.code) + (e.control ? ":" + std::to_string(e.control) : "");
    if (withKeys_ && e.keyCode && e.code != EVENT_Accepted && e.code != EVENT_NewSelection)
      seen += "/" + std::to_string(e.keyCode);
    std::lock_guard lock(mutex_);
    seen_.push_back(std::move(seen));
  }
  // A line of the handler's own, in order with the events (what it read at one).
  void Note(std::string line) {
    std::lock_guard lock(mutex_);
    seen_.push_back(std::move(line));
  }
  // Everything seen since the last call.
  Strings Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(seen_, {});
  }

 private:
  const bool withKeys_;
  std::mutex mutex_;
  Strings seen_;
};

// A window definition with this title, the rest as WindowDef has it.
inline WindowDef Titled(std::string title) {
  WindowDef def;
  def.title = std::move(title);
  return def;
}

// Runs a window until it closes; `handle` sees every event after the recorder.
template <class Handle>
void RunWindow(const WindowDef& def, Recorder& recorder, Handle handle) {
  Window window(def);
  window.Open();
  while (window.Accept()) {
    recorder.Add(window.CurrentEvent());
    handle(window);
  }
}

class RobotFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_->Start());
    InstallBackend(backend_.get());
    robot_.SetFailureHandler([this](const std::string& message) {
      if (expectFailures_) failures_.push_back(message);
      else ADD_FAILURE() << message;
    });
  }
  void TearDown() override {
    EXPECT_TRUE(WaitForStartedThreads(kWait)) << robot_.DescribeScreen();
    backend_->Stop();
    InstallBackend(nullptr);
  }
  // Runs `def` on a new program thread; `handle` sees each event after the recorder.
  template <class Handle>
  Long Run(WindowDef def, Recorder& recorder, Handle handle) {
    return rt::Start([def = std::move(def), &recorder, handle]() mutable { RunWindow(def, recorder, handle); });
  }
  ShownWindow Find(std::string_view title) {
    auto window = robot_.WaitForWindow(title, kWait);
    EXPECT_TRUE(window) << title;
    return window.value_or(ShownWindow{});
  }

  std::unique_ptr<Backend> backend_ = MakeHeadlessBackend();
  Robot robot_{*backend_};
  bool expectFailures_ = false;
  Strings failures_;
};

}  // namespace rt::ui
