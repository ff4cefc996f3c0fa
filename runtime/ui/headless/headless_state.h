#pragma once
// Internal to runtime/ui/headless; not for use outside this folder.
// The one state object of the headless backend: open dialogs and popups waiting for the Robot,
// the in-memory mirror of every open window, and each program thread's accept-loop state.
// Program threads write it through the Backend operations, the Robot reads and answers it;
// one mutex guards all of it and one condition variable announces every change.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "runtime/core/dialogs.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/screen.h"
#include "runtime/ui/thread_activity.h"

namespace rt::ui::headless {

struct PopupRequest {
  std::vector<PopupEntry> menu;
};

struct OpenDialog {
  DialogId id = 0;
  Long thread = 0;
  std::variant<MessageBoxRequest, StopRequest, PopupRequest> request;
  Long escapeValue = 0;
  std::optional<Long> answer;  // set once, under the state's mutex
};

const MessageBoxRequest* AsMessageBox(const OpenDialog& dialog);
const StopRequest* AsStop(const OpenDialog& dialog);
const PopupRequest* AsPopup(const OpenDialog& dialog);
std::string Describe(const OpenDialog& dialog);

using PropertyKey = std::pair<Long, Long>;  // (property, index)

struct MirrorControl {
  Long number = 0;
  Long type = 0;
  Long parent = 0;
  std::map<PropertyKey, std::string> properties;
  ListRowsView rows;
  std::string Prop(Long property, Long index = 0) const;
};

struct MirrorWindow {
  WindowId id = 0;
  Long thread = 0;
  int kind = 0;
  bool modal = false;
  std::uint64_t openOrder = 0;
  Long focus = 0;
  std::map<PropertyKey, std::string> properties;
  std::vector<MirrorControl> controls;
  std::string Prop(Long property, Long index = 0) const;
  MirrorControl* Find(Long number);
  const MirrorControl* Find(Long number) const;
};

struct MirrorThread {
  ProgramThreadState state = ProgramThreadState::Busy;
  std::uint64_t handledInput = 0;
};

// Listens to the accept loops (thread_activity.h) from Start to Stop, so that the Robot knows
// when a thread has handled what it sent.
class HeadlessState final : public ThreadActivityObserver {
 public:
  HeadlessState() = default;
  HeadlessState(const HeadlessState&) = delete;
  HeadlessState& operator=(const HeadlessState&) = delete;
  ~HeadlessState() { Stop(); }

  // ---- Lifecycle ----
  bool Start();
  void Stop();
  bool IsStarted() const;

  // ---- Program-thread side: dialogs and popups ----
  // Opens the dialog and blocks until the Robot answers it, the limit passes or the backend stops.
  Long Raise(std::variant<MessageBoxRequest, StopRequest, PopupRequest> request, Long escapeValue);

  // ---- Program-thread side: the window mirror ----
  void CreateWindow(const WindowView& view);
  void DestroyWindow(WindowId window);
  void CreateControl(WindowId window, const ControlView& control);
  void DestroyControl(WindowId window, Long control);
  void SetProperty(WindowId window, Long control, const PropertyValue& value);
  void SetListRows(WindowId window, Long control, const ListRowsView& rows);
  void SetFocus(WindowId window, Long control);
  void ThreadStateChanged(Long thread, ProgramThreadState state, std::uint64_t handledInput) override;
  void Beep();
  void SetWaitCursor(Long thread, bool on);

  // ---- Robot side ----
  // Waits up to `timeout` for `ready` (called under the lock) to hold; false on time-out.
  template <class Predicate>
  bool WaitFor(std::chrono::milliseconds timeout, Predicate ready) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return ready(); });
  }
  // Runs `read` under the lock.
  template <class Reader>
  auto Read(Reader read) const {
    std::lock_guard lock(mutex_);
    return read();
  }
  // For predicates run by WaitFor/Read (the lock is held).
  const std::vector<std::shared_ptr<OpenDialog>>& Dialogs() const { return open_; }
  const std::map<WindowId, MirrorWindow>& Windows() const { return windows_; }
  const std::map<Long, MirrorThread>& Threads() const { return threads_; }
  // The thread has taken input `sequence` and waits for more, shows a dialog, or has ended.
  bool IsSettled(Long thread, std::uint64_t sequence) const;
  bool HasWaitCursor(Long thread) const;
  std::size_t BeepCount() const { return beeps_; }

  // False when the dialog is no longer open (answered, timed out, or never was).
  bool Answer(DialogId id, Long value);
  std::string DescribeScreen() const;
  std::size_t OpenCount() const;
  std::size_t UnansweredCount() const;
  void SetLimit(std::chrono::milliseconds limit);

 private:
  std::string DescribeLocked() const;

  mutable std::mutex mutex_;
  std::condition_variable changed_;  // anything above changed
  bool started_ = false;
  std::chrono::milliseconds limit_ = std::chrono::seconds(30);
  DialogId nextId_ = 1;
  std::vector<std::shared_ptr<OpenDialog>> open_;  // in opening order; the last is on top
  std::size_t unanswered_ = 0;
  std::map<WindowId, MirrorWindow> windows_;
  std::uint64_t nextOpenOrder_ = 1;
  std::map<Long, MirrorThread> threads_;
  std::map<Long, bool> waitCursor_;
  std::size_t beeps_ = 0;
};

}  // namespace rt::ui::headless
