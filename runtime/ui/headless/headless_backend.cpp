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

namespace rt::ui {

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kDefaultUnansweredLimit = 30s;

// Stop answers travel through the same answer slot as button values.
constexpr Long kStopEndProgram = 1;
constexpr Long kStopGoOn = 0;

struct OpenDialog {
  DialogId id = 0;
  Long thread = 0;
  std::variant<MessageBoxRequest, StopRequest> request;
  Long escapeValue = 0;
  std::optional<Long> answer;  // set once, under the state's mutex
};

const MessageBoxRequest* AsMessageBox(const OpenDialog& dialog) {
  return std::get_if<MessageBoxRequest>(&dialog.request);
}
const StopRequest* AsStop(const OpenDialog& dialog) { return std::get_if<StopRequest>(&dialog.request); }

ShownMessageBox ToShown(const OpenDialog& dialog) {
  const MessageBoxRequest& request = *AsMessageBox(dialog);
  return {dialog.id,      dialog.thread,       request.caption,      request.text,
          request.icon,   request.buttons,     request.defaultValue, request.escapeValue};
}

ShownStop ToShownStop(const OpenDialog& dialog) { return {dialog.id, dialog.thread, AsStop(dialog)->text}; }

bool FromThread(const OpenDialog& dialog, Long thread) { return thread == kAnyThread || dialog.thread == thread; }

std::string Describe(const OpenDialog& dialog) {
  std::ostringstream line;
  if (const MessageBoxRequest* box = AsMessageBox(dialog)) {
    line << "message box #" << dialog.id << " (thread " << dialog.thread << ") caption \"" << box->caption
         << "\" text \"" << box->text << "\" buttons [";
    for (std::size_t i = 0; i < box->buttons.size(); ++i)
      line << (i ? ", " : "") << box->buttons[i].caption << '=' << box->buttons[i].value;
    line << "] default " << box->defaultValue;
  } else {
    line << "stop dialog #" << dialog.id << " (thread " << dialog.thread << ") text \"" << AsStop(dialog)->text
         << '"';
  }
  return line.str();
}

std::string StripMnemonic(std::string_view caption) {
  std::string plain;
  for (char c : caption)
    if (c != '&') plain += c;
  return plain;
}

}  // namespace

// Everything the headless backend knows, shared by the raising program threads and the Robot.
class HeadlessState {
 public:
  // ---- Lifecycle ----

  bool Start() {
    std::lock_guard lock(mutex_);
    if (started_) {
      RT_ASSERT(false, "headless backend started twice; call Stop before starting it again");
      return false;
    }
    started_ = true;
    return true;
  }

  void Stop() {
    std::lock_guard lock(mutex_);
    for (const auto& dialog : open_) {
      dialog->answer = dialog->escapeValue;
      ++unanswered_;
    }
    open_.clear();
    started_ = false;
    changed_.notify_all();
  }

  bool IsStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
  }

  // ---- Program-thread side ----

  // Opens the dialog and blocks until the Robot answers it, the limit passes or the backend stops.
  Long Raise(std::variant<MessageBoxRequest, StopRequest> request, Long escapeValue) {
    std::unique_lock lock(mutex_);
    if (!started_) {
      ++unanswered_;
      std::fprintf(stderr, "headless backend: dialog raised while stopped; it returns its escape value\n");
      return escapeValue;
    }
    auto dialog = std::make_shared<OpenDialog>(OpenDialog{nextId_++, Thread(), std::move(request), escapeValue, {}});
    open_.push_back(dialog);
    changed_.notify_all();
    if (!changed_.wait_for(lock, limit_, [&] { return dialog->answer.has_value(); })) {
      std::erase(open_, dialog);
      ++unanswered_;
      changed_.notify_all();
      std::fprintf(stderr, "headless backend: nobody answered %s within %lld ms\n", Describe(*dialog).c_str(),
                   static_cast<long long>(limit_.count()));
      return escapeValue;
    }
    return *dialog->answer;
  }

  // ---- Robot side ----

  // Copies the newest open dialog that `matches`, waiting up to `timeout` for one to appear.
  template <class Result, class Matches, class Convert>
  std::optional<Result> WaitForNewest(std::chrono::milliseconds timeout, Matches matches, Convert convert) {
    std::unique_lock lock(mutex_);
    std::shared_ptr<OpenDialog> found;
    changed_.wait_for(lock, timeout, [&] {
      const auto newest = std::find_if(open_.rbegin(), open_.rend(), [&](const auto& d) { return matches(*d); });
      found = newest == open_.rend() ? nullptr : *newest;
      return found != nullptr;
    });
    if (!found) return std::nullopt;
    return convert(*found);
  }

  bool WaitForCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return open_.size() >= count; });
  }

  // False when the dialog is no longer open (answered, timed out, or never was).
  bool Answer(DialogId id, Long value) {
    std::lock_guard lock(mutex_);
    const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& d) { return d->id == id; });
    if (it == open_.end()) return false;
    (*it)->answer = value;
    open_.erase(it);
    changed_.notify_all();
    return true;
  }

  std::string DescribeScreen() const {
    std::lock_guard lock(mutex_);
    if (open_.empty()) return "the screen shows no dialog";
    std::string screen = "the screen shows " + std::to_string(open_.size()) + " dialog(s):";
    for (const auto& dialog : open_) screen += "\n  " + Describe(*dialog);
    return screen;
  }

  std::size_t OpenCount() const {
    std::lock_guard lock(mutex_);
    return open_.size();
  }
  std::size_t UnansweredCount() const {
    std::lock_guard lock(mutex_);
    return unanswered_;
  }
  void SetLimit(std::chrono::milliseconds limit) {
    std::lock_guard lock(mutex_);
    limit_ = limit;
  }

 private:
  mutable std::mutex mutex_;
  std::condition_variable changed_;  // a dialog opened or closed, or the backend stopped
  bool started_ = false;
  std::chrono::milliseconds limit_ = kDefaultUnansweredLimit;
  DialogId nextId_ = 1;
  std::vector<std::shared_ptr<OpenDialog>> open_;  // in opening order; the last is on top
  std::size_t unanswered_ = 0;
};

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
    box = state_->WaitForNewest<ShownMessageBox>(
        timeout, [&](const OpenDialog& d) { return AsMessageBox(d) && FromThread(d, thread); }, ToShown);
  if (!box)
    Fail("no message box" + (thread == kAnyThread ? std::string() : " from thread " + std::to_string(thread)) +
         " within " + std::to_string(timeout.count()) + " ms");
  return box;
}

std::optional<ShownStop> Robot::WaitForStop(std::chrono::milliseconds timeout, Long thread) {
  std::optional<ShownStop> stop;
  if (state_)
    stop = state_->WaitForNewest<ShownStop>(
        timeout, [&](const OpenDialog& d) { return AsStop(d) && FromThread(d, thread); }, ToShownStop);
  if (!stop)
    Fail("no stop dialog" + (thread == kAnyThread ? std::string() : " from thread " + std::to_string(thread)) +
         " within " + std::to_string(timeout.count()) + " ms");
  return stop;
}

bool Robot::WaitForOpenDialogs(std::size_t count, std::chrono::milliseconds timeout) {
  if (state_ && state_->WaitForCount(count, timeout)) return true;
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
  if (state_ && state_->Answer(box.id, box.escapeValue)) return true;
  Fail("message box #" + std::to_string(box.id) + " is no longer open");
  return false;
}

std::optional<ShownMessageBox> Robot::TopMessageBox(const char* action) {
  std::optional<ShownMessageBox> box;
  if (state_)
    box = state_->WaitForNewest<ShownMessageBox>(0ms, [](const OpenDialog& d) { return AsMessageBox(d) != nullptr; },
                                                 ToShown);
  if (!box) Fail(std::string(action) + ": no message box is open");
  return box;
}

std::optional<ShownStop> Robot::TopStop(const char* action) {
  std::optional<ShownStop> stop;
  if (state_)
    stop = state_->WaitForNewest<ShownStop>(0ms, [](const OpenDialog& d) { return AsStop(d) != nullptr; },
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
