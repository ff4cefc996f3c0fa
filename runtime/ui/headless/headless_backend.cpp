#include "runtime/ui/headless/headless_backend.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <sstream>
#include <variant>

#include "runtime/core/assert.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_state.h"

namespace rt::ui {

using headless::AsMessageBox;
using headless::AsStop;
using headless::HeadlessState;
using headless::OpenDialog;

namespace {

using namespace std::chrono_literals;

// Stop answers travel through the same answer slot as button values.
constexpr Long kStopEndProgram = 1;
constexpr Long kStopGoOn = 0;

ShownMessageBox ToShown(const OpenDialog& dialog) {
  const MessageBoxRequest& request = *AsMessageBox(dialog);
  return {dialog.id,      dialog.thread,       request.caption,      request.text,
          request.icon,   request.buttons,     request.defaultValue, request.escapeValue,
          request.escapeCloses};
}

ShownStop ToShownStop(const OpenDialog& dialog) { return {dialog.id, dialog.thread, AsStop(dialog)->text}; }

bool FromThread(const OpenDialog& dialog, Long thread) { return thread == kAnyThread || dialog.thread == thread; }

std::string StripMnemonic(std::string_view caption) {
  std::string plain;
  for (char c : caption)
    if (c != '&') plain += c;
  return plain;
}

// Copies the newest open dialog that `matches`, waiting up to `timeout` for one to appear.
template <class Result, class Matches, class Convert>
std::optional<Result> WaitForNewest(HeadlessState& state, std::chrono::milliseconds timeout, Matches matches,
                                    Convert convert) {
  std::optional<Result> result;
  state.WaitFor(timeout, [&] {
    const auto& open = state.Dialogs();
    const auto newest = std::find_if(open.rbegin(), open.rend(), [&](const auto& d) { return matches(*d); });
    if (newest == open.rend()) return false;
    result = convert(**newest);
    return true;
  });
  return result;
}

}  // namespace

namespace {

class HeadlessBackend final : public Backend {
 public:
  HeadlessState& State() { return state_; }

  bool Start() override { return state_.Start(); }
  void Stop() override { state_.Stop(); }
  bool IsStarted() const override { return state_.IsStarted(); }

  int RunProgram(std::function<void()> entry) override {
    if (!state_.IsStarted()) {
      RT_ASSERT(false, "RunProgram on a headless backend that was not started; call Start first");
      return kRunProgramRefusedExitCode;
    }
    rt::Start(std::move(entry));
    // Nothing to serve in memory: the Robot acts from its own thread. The wait is in rounds
    // because a program may run for any length of time.
    while (!WaitForStartedThreads(1s)) {
    }
    return 0;
  }

  void CreateWindow(const WindowView& view) override { state_.CreateWindow(view); }
  void DestroyWindow(WindowId window) override { state_.DestroyWindow(window); }
  void CreateControl(WindowId window, const ControlView& control) override { state_.CreateControl(window, control); }
  void DestroyControl(WindowId window, Long control) override { state_.DestroyControl(window, control); }
  void SetProperty(WindowId window, Long control, const PropertyValue& value) override {
    state_.SetProperty(window, control, value);
  }
  void SetListRows(WindowId window, Long control, const ListRowsView& rows) override {
    state_.SetListRows(window, control, rows);
  }
  void SetFocus(WindowId window, Long control) override { state_.SetFocus(window, control); }
  Long ShowPopup(const std::vector<PopupEntry>& menu, Long, Long) override {
    return state_.Raise(headless::PopupRequest{menu}, 0);
  }
  void SetWaitCursor(Long thread, bool on) override { state_.SetWaitCursor(thread, on); }
  void Beep(Long, Long) override { state_.Beep(); }

  Long ShowMessageBox(const MessageBoxRequest& request) override {
    return state_.Raise(request, request.escapeValue);
  }

  StopAnswer ShowStop(const StopRequest& request) override {
    return state_.Raise(request, kStopGoOn) == kStopEndProgram ? StopAnswer::EndProgram : StopAnswer::GoOn;
  }

 private:
  HeadlessState state_;
};

HeadlessState* StateOf(Backend& backend) {
  auto* headless = dynamic_cast<HeadlessBackend*>(&backend);
  RT_ASSERT(headless != nullptr, "Robot made for a backend that is not headless; use MakeHeadlessBackend");
  return headless ? &headless->State() : nullptr;
}

}  // namespace

std::unique_ptr<Backend> MakeHeadlessBackend() { return std::make_unique<HeadlessBackend>(); }

// ---- Robot ----

Robot::Robot(Backend& backend)
    : state_(StateOf(backend)),
      handler_([](const std::string& message) { std::fprintf(stderr, "Robot: %s\n", message.c_str()); }) {}

void Robot::SetFailureHandler(std::function<void(const std::string&)> handler) { handler_ = std::move(handler); }

void Robot::Fail(const std::string& message) {
  const std::string full = message + "; " + DescribeScreen();
  failures_.push_back(full);
  if (handler_) handler_(full);
}

std::string Robot::DescribeScreen() const {
  return state_ ? state_->DescribeScreen() : "not a headless backend, the screen cannot be seen";
}

std::optional<ShownMessageBox> Robot::WaitForMessageBox(std::chrono::milliseconds timeout, Long thread) {
  std::optional<ShownMessageBox> box;
  if (state_)
    box = WaitForNewest<ShownMessageBox>(
        *state_, timeout, [&](const OpenDialog& d) { return AsMessageBox(d) && FromThread(d, thread); }, ToShown);
  if (!box)
    Fail("no message box" + (thread == kAnyThread ? std::string() : " from thread " + std::to_string(thread)) +
         " within " + std::to_string(timeout.count()) + " ms");
  return box;
}

std::optional<ShownStop> Robot::WaitForStop(std::chrono::milliseconds timeout, Long thread) {
  std::optional<ShownStop> stop;
  if (state_)
    stop = WaitForNewest<ShownStop>(
        *state_, timeout, [&](const OpenDialog& d) { return AsStop(d) && FromThread(d, thread); }, ToShownStop);
  if (!stop)
    Fail("no stop dialog" + (thread == kAnyThread ? std::string() : " from thread " + std::to_string(thread)) +
         " within " + std::to_string(timeout.count()) + " ms");
  return stop;
}

bool Robot::WaitForOpenDialogs(std::size_t count, std::chrono::milliseconds timeout) {
  if (state_ && state_->WaitFor(timeout, [&] { return state_->Dialogs().size() >= count; })) return true;
  Fail("fewer than " + std::to_string(count) + " dialogs open within " + std::to_string(timeout.count()) + " ms");
  return false;
}

bool Robot::PressButton(const ShownMessageBox& box, Long value) {
  const bool offered = std::any_of(box.buttons.begin(), box.buttons.end(),
                                   [&](const DialogButton& button) { return button.value == value; });
  if (!offered) {
    Fail("message box #" + std::to_string(box.id) + " has no button with value " + std::to_string(value));
    return false;
  }
  if (state_ && state_->Answer(box.id, value)) return true;
  Fail("message box #" + std::to_string(box.id) + " is no longer open");
  return false;
}

bool Robot::PressCaption(const ShownMessageBox& box, std::string_view caption) {
  auto found = std::find_if(box.buttons.begin(), box.buttons.end(),
                            [&](const DialogButton& button) { return button.caption == caption; });
  if (found == box.buttons.end())
    found = std::find_if(box.buttons.begin(), box.buttons.end(), [&](const DialogButton& button) {
      return StripMnemonic(button.caption) == StripMnemonic(caption);
    });
  if (found == box.buttons.end()) {
    Fail("message box #" + std::to_string(box.id) + " has no button \"" + std::string(caption) + '"');
    return false;
  }
  return PressButton(box, found->value);
}

bool Robot::CloseMessageBox(const ShownMessageBox& box) {
  if (!box.escapeCloses) return false;
  if (state_ && state_->Answer(box.id, box.escapeValue)) return true;
  Fail("message box #" + std::to_string(box.id) + " is no longer open");
  return false;
}

std::optional<ShownMessageBox> Robot::TopMessageBox(const char* action) {
  std::optional<ShownMessageBox> box;
  if (state_)
    box = WaitForNewest<ShownMessageBox>(*state_, 0ms, [](const OpenDialog& d) { return AsMessageBox(d) != nullptr; },
                                                 ToShown);
  if (!box) Fail(std::string(action) + ": no message box is open");
  return box;
}

std::optional<ShownStop> Robot::TopStop(const char* action) {
  std::optional<ShownStop> stop;
  if (state_)
    stop = WaitForNewest<ShownStop>(*state_, 0ms, [](const OpenDialog& d) { return AsStop(d) != nullptr; },
                                            ToShownStop);
  if (!stop) Fail(std::string(action) + ": no stop dialog is open");
  return stop;
}

bool Robot::PressButton(Long value) {
  const auto box = TopMessageBox("PressButton");
  return box && PressButton(*box, value);
}

bool Robot::PressCaption(std::string_view caption) {
  const auto box = TopMessageBox("PressCaption");
  return box && PressCaption(*box, caption);
}

bool Robot::CloseMessageBox() {
  const auto box = TopMessageBox("CloseMessageBox");
  return box && CloseMessageBox(*box);
}

bool Robot::AnswerStop(const ShownStop& stop, StopAnswer answer) {
  if (state_ && state_->Answer(stop.id, answer == StopAnswer::EndProgram ? kStopEndProgram : kStopGoOn)) return true;
  Fail("stop dialog #" + std::to_string(stop.id) + " is no longer open");
  return false;
}

bool Robot::AnswerStop(StopAnswer answer) {
  const auto stop = TopStop("AnswerStop");
  return stop && AnswerStop(*stop, answer);
}

std::size_t Robot::OpenDialogCount() const { return state_ ? state_->OpenCount() : 0; }
std::size_t Robot::UnansweredCount() const { return state_ ? state_->UnansweredCount() : 0; }
void Robot::SetUnansweredLimit(std::chrono::milliseconds limit) {
  if (state_) state_->SetLimit(limit);
}

}  // namespace rt::ui
