#pragma once
// The conformance suite's user on the Qt backend: finds the real widgets on the Qt thread and
// sends them real key presses and mouse clicks with Qt's test tools, from the test's own user
// thread, while the program's accept loops run on program threads. Knows when a thread has
// handled what was sent by listening to the accept loops (thread_activity.h).

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>

#include "runtime/ui/thread_activity.h"
#include "tests/runtime/ui/conformance_user.h"

class QImage;
class QWidget;

namespace rt::ui {

// A window's outermost widget, found by its name (Qt thread); null when it is not shown.
QWidget* OuterWidget(WindowId window);
// Distinct colours in a picture (every other pixel): a blank picture has one or two.
std::size_t ColourCount(const QImage& image);

class QtUser final : public User, private ThreadActivityObserver {
 public:
  QtUser();
  ~QtUser() override;

  WindowId WaitForWindow(const std::string& title) override;
  bool WaitForWindowClosed(WindowId window) override;
  std::string Text(WindowId window, Long control) override;  // an entry's or a button's
  Long Focus(WindowId window) override;
  void ClickInto(WindowId window, Long control) override;
  void Type(WindowId window, Long entry, const std::string& text) override;
  void TypeKeys(WindowId window, Long entry, const std::string& text) override;
  std::string SelectedText(WindowId window, Long entry) override;
  void Activate(WindowId window) override;
  void CloseBox(WindowId window) override;
  void PressKey(WindowId window, Long control, Long key) override;
  void Click(WindowId window, Long button) override;
  void ChooseMenu(WindowId window, Long menu, Long item) override;
  bool IsShown(WindowId window, Long control) override;
  void SelectTab(WindowId window, Long sheet, Long tab) override;
  void RightClick(WindowId window, Long control) override;
  void ClickCell(WindowId window, Long list, Long shownRow, Long column, Mouse mouse) override;
  void ChoosePopup(const std::string& text) override;
  void AnswerMessageBox(const std::string& text, const std::string& caption) override;
  bool EscClosesMessageBox() override;
  void CloseEverything() override;
  // The cells of a list as its Qt model holds them, row by row (the framework's Qt tests).
  std::vector<std::vector<std::string>> Rows(WindowId window, Long list);

  // Runs `call` on the Qt thread and waits for it; false (and a failure) when the Qt thread
  // did not run it in time (`quiet`: false without a failure).
  bool OnQt(std::function<void()> call, bool quiet = false);
  // Calls `done` every few milliseconds until it holds; false, with a failure naming `what`,
  // when it does not in time. PollOnQt calls it on the Qt thread.
  bool Poll(const std::function<bool()>& done, const std::string& what);
  bool PollOnQt(const std::function<bool()>& done, const std::string& what);

 private:
  void ThreadStateChanged(Long thread, ProgramThreadState state, std::uint64_t handledInput) override;
  // Waits until the window's thread has taken everything sent so far and waits again (or shows
  // a dialog, or ended), then until the Qt thread has applied what it changed on screen.
  void Settle(WindowId window);
  QWidget* ControlWidget(WindowId window, Long control);  // Qt thread
  // Runs `act` on the control's widget (null when none) on the Qt thread, fails the test when it
  // returns false, then settles the window.
  void Act(WindowId window, Long control, const std::function<bool(QWidget*)>& act);
  void ClickAt(WindowId window, Long control, bool nearStart);

  struct ThreadSeen {
    ProgramThreadState state = ProgramThreadState::Busy;
    std::uint64_t handled = 0;
  };
  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<Long, ThreadSeen> threads_;
  std::map<WindowId, Long> windowThreads_;
};

}  // namespace rt::ui
