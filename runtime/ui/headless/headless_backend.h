#pragma once
// The headless Backend: dialogs held in memory, answered by a Robot on the test's thread.
// Owns its open-dialog list and the Robot's view of it; owns no program threads (runtime/core
// starts them) and no toolkit. Calls runtime/core only. Deterministic: every wait is a
// condition-variable wait with a time-out, nothing sleeps.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/dialogs.h"
#include "runtime/core/types.h"

namespace rt::ui {

class Backend;
class HeadlessState;

std::unique_ptr<Backend> MakeHeadlessBackend();

// A dialog's identity for as long as it is open; never reused within one backend.
using DialogId = std::uint64_t;

// Matches a dialog raised on any thread (a test's own thread is thread 0).
inline constexpr Long kAnyThread = -1;

struct ShownMessageBox {
  DialogId id = 0;
  Long thread = 0;  // the raising thread's number
  std::string caption;
  std::string text;
  std::string icon;
  std::vector<DialogButton> buttons;  // in display order
  Long defaultValue = 0;
  Long escapeValue = 0;
};

struct ShownStop {
  DialogId id = 0;
  Long thread = 0;
  std::string text;
};

// Acts as the user of a headless backend. Lives on the test's thread and must not outlive the
// backend it was made for. Actions without a dialog argument act on the topmost dialog of their
// kind (the one opened last). A wait that times out and an action that cannot be done return
// nothing/false and report a failure that describes the screen.
class Robot {
 public:
  // `backend` must come from MakeHeadlessBackend; any other backend asserts and the Robot
  // then sees no dialogs.
  explicit Robot(Backend& backend);
  Robot(const Robot&) = delete;
  Robot& operator=(const Robot&) = delete;

  // ---- Failures ----

  // Receives every failure message (a test hands it to its framework). Default: stderr.
  void SetFailureHandler(std::function<void(const std::string&)> handler);
  const std::vector<std::string>& Failures() const { return failures_; }
  // What the screen shows now, one line per open dialog.
  std::string DescribeScreen() const;

  // ---- Waiting ----

  std::optional<ShownMessageBox> WaitForMessageBox(std::chrono::milliseconds timeout, Long thread = kAnyThread);
  std::optional<ShownStop> WaitForStop(std::chrono::milliseconds timeout, Long thread = kAnyThread);
  // Until at least `count` dialogs of any kind are open.
  bool WaitForOpenDialogs(std::size_t count, std::chrono::milliseconds timeout);

  // ---- Answering a message box ----

  bool PressButton(const ShownMessageBox& box, Long value);
  // Exact caption first, else the caption without its '&' ("No" finds "&No").
  bool PressCaption(const ShownMessageBox& box, std::string_view caption);
  // Closes without a choice: the box returns its escape value.
  bool CloseMessageBox(const ShownMessageBox& box);
  bool PressButton(Long value);
  bool PressCaption(std::string_view caption);
  bool CloseMessageBox();

  // ---- Answering a stop dialog ----

  bool AnswerStop(const ShownStop& stop, StopAnswer answer);
  bool AnswerStop(StopAnswer answer);

  // ---- Query state ----

  std::size_t OpenDialogCount() const;
  // Dialogs that returned their escape value because nobody answered within the limit or the
  // backend stopped under them.
  std::size_t UnansweredCount() const;
  // How long a dialog waits for an answer before it gives up (default 30 s).
  void SetUnansweredLimit(std::chrono::milliseconds limit);

 private:
  void Fail(const std::string& message);
  std::optional<ShownMessageBox> TopMessageBox(const char* action);
  std::optional<ShownStop> TopStop(const char* action);

  HeadlessState* state_;  // not owned: the backend's
  std::function<void(const std::string&)> handler_;
  std::vector<std::string> failures_;
};

}  // namespace rt::ui
