#pragma once
// The headless Backend: windows, dialogs and popups held in memory, acted on by a Robot on the
// test's thread. Owns its mirror of every open window, its open-dialog list and the Robot's
// view of both; owns no program threads (runtime/core starts them), no window model (runtime/ui
// keeps it) and no toolkit. The Robot acts through runtime/ui's input sink, as a real backend
// does. Deterministic: every wait is a condition-variable wait with a time-out, nothing sleeps.

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
#include "runtime/ui/input_sink.h"
#include "runtime/ui/screen.h"

namespace rt::ui {

class Backend;
namespace headless {
class HeadlessState;
}

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
  bool escapeCloses = true;  // false: Esc leaves the box open
};

struct ShownStop {
  DialogId id = 0;
  Long thread = 0;
  std::string text;
};

struct ShownPopup {
  DialogId id = 0;
  Long thread = 0;
  std::vector<PopupEntry> menu;
};

// An open window as the Robot found it.
struct ShownWindow {
  WindowId id = 0;
  Long thread = 0;
  std::string title;
  bool modal = false;
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
  // Esc: the box returns its escape value; a box that ignores Esc stays open (false, no failure).
  bool CloseMessageBox(const ShownMessageBox& box);
  bool PressButton(Long value);
  bool PressCaption(std::string_view caption);
  bool CloseMessageBox();

  // ---- Answering a stop dialog ----

  bool AnswerStop(const ShownStop& stop, StopAnswer answer);
  bool AnswerStop(StopAnswer answer);

  // ---- Popups ----

  std::optional<ShownPopup> WaitForPopup(std::chrono::milliseconds timeout, Long thread = kAnyThread);
  // By number (as the menu numbers its entries) or by text without '&' ("Insert" finds "&Insert").
  // A disabled entry, a separator or a submenu title cannot be chosen.
  bool ChoosePopup(const ShownPopup& popup, Long number);
  bool ChoosePopup(const ShownPopup& popup, std::string_view text);
  bool DismissPopup(const ShownPopup& popup);

  // ---- Finding windows ----

  // The newest open window titled `title` (exactly; a trailing '*' matches a prefix), once its
  // thread has handled what was queued and waits for input (or shows a dialog).
  std::optional<ShownWindow> WaitForWindow(std::string_view title, std::chrono::milliseconds timeout,
                                           Long thread = kAnyThread);
  bool WaitForWindowClosed(const ShownWindow& window, std::chrono::milliseconds timeout);
  bool IsOpen(const ShownWindow& window) const;

  // ---- Reading what the windows show (no failure: "" / empty for what is not there) ----

  // Control 0 is the window itself.
  std::string Prop(const ShownWindow& window, Long control, Long property, Long index = 0) const;
  std::string Text(const ShownWindow& window, Long control) const;
  Long Focus(const ShownWindow& window) const;
  // The shown page of a list (only the rows on screen travel).
  std::vector<std::vector<std::string>> ListRows(const ShownWindow& window, Long list) const;
  // Row as the list numbers it (1 = the source's first); "" when that row is not shown.
  std::string Cell(const ShownWindow& window, Long list, Long row, Long column) const;
  // The row shown at the top of a list (1 when nothing is shown).
  Long FirstShownRow(const ShownWindow& window, Long list) const;
  std::vector<std::string> ListHeadings(const ShownWindow& window, Long list) const;
  bool WaitForProp(const ShownWindow& window, Long control, Long property, std::string_view value,
                   std::chrono::milliseconds timeout, Long index = 0);
  bool WaitForListRows(const ShownWindow& window, Long list, std::size_t rows, std::chrono::milliseconds timeout);
  bool HasWaitCursor(Long thread) const;
  std::size_t BeepCount() const;

  // ---- Acting on windows ----
  // Each action goes to the window's thread like a real user's and waits (up to the action
  // time-out) until that thread has handled it: it waits for input again, shows a dialog or
  // popup, or has ended. False, with a failure describing the screen, when the action cannot
  // be done (no such control, disabled, hidden, blocked by a modal window of its thread) or the
  // thread does not settle in time. A blocked window is still sent the action, so the runtime's
  // own modal rule is what keeps it out.

  bool Type(const ShownWindow& window, Long entry, std::string_view text);      // stays in the entry
  bool TypeInto(const ShownWindow& window, Long entry, std::string_view text);  // then Tab
  bool Click(const ShownWindow& window, Long control);                          // focus only
  bool Press(const ShownWindow& window, Long control);                          // button, item, toolbar
  // Clicks into `control` first when it does not have the focus; control 0: the focused one.
  bool PressKey(const ShownWindow& window, Long control, Long key);
  // `path` is the item texts without '&' from the menu bar down: "Browse|Exit".
  bool ChooseMenu(const ShownWindow& window, std::string_view path);
  // Clicks `row` of the list (in `column`, 1-based; 0: the robot does not say which).
  bool PickRow(const ShownWindow& window, Long list, Long row, bool doubleClick = false, Long column = 0);
  // Presses and lets go the right mouse button over `row` of the list (0: below its rows).
  bool RightClickRow(const ShownWindow& window, Long list, Long row, Long column = 0);
  bool SelectTab(const ShownWindow& window, Long sheet, Long tab);
  bool Scroll(const ShownWindow& window, Long list, Long scrollEvent);  // EVENT_ScrollUp … EVENT_ScrollBottom
  bool DragThumb(const ShownWindow& window, Long list, Long position);
  bool Resize(const ShownWindow& window, Long width, Long height);
  bool Maximize(const ShownWindow& window);
  bool Restore(const ShownWindow& window);
  bool CloseWindow(const ShownWindow& window);
  // Brings the window to the front: it gets GainFocus, the window in front before gets LoseFocus.
  bool Activate(const ShownWindow& window);
  // How long an action waits for its thread to settle (default 5 s).
  void SetActionTimeout(std::chrono::milliseconds timeout) { actionTimeout_ = timeout; }

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

  // Window actions: checks that `control` can be acted on, sends, and waits for the thread.
  bool Act(const ShownWindow& window, const char* action, UserInput input, bool needsControl);
  bool CheckControl(const ShownWindow& window, Long control, const char* action);

  headless::HeadlessState* state_;  // not owned: the backend's
  std::chrono::milliseconds actionTimeout_ = std::chrono::seconds(5);
  std::function<void(const std::string&)> handler_;
  std::vector<std::string> failures_;
};

}  // namespace rt::ui
