#pragma once
// The user of the window conformance suite: one interface, one implementation per backend.
// The headless one plays through the Robot; the Qt one (qt_user.h) sends real key presses and
// clicks to the real widgets with Qt's test tools. Every action waits until the window's thread
// has handled it; every wait has a time-out and then fails the running test.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <map>
#include <thread>
#include <string>
#include <vector>

#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/events.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/screen.h"

namespace rt::ui {

class User {
 public:
  virtual ~User() = default;

  // ---- Finding and reading windows ----
  // The newest open window with this title, once its thread waits for input; 0 when none came.
  virtual WindowId WaitForWindow(const std::string& title) = 0;
  virtual bool WaitForWindowClosed(WindowId window) = 0;
  virtual std::string Text(WindowId window, Long entry) = 0;
  virtual Long Focus(WindowId window) = 0;
  virtual bool IsShown(WindowId window, Long control) = 0;
  virtual std::string SelectedText(WindowId window, Long entry) = 0;

  // ---- Acting ----
  virtual void ClickInto(WindowId window, Long control) = 0;
  // Replaces what the entry holds by typing over all of it.
  virtual void Type(WindowId window, Long entry, const std::string& text) = 0;
  // Types where the entry's cursor is. The headless screen has no cursor: its keys go after
  // what the entry shows, where Qt puts them after opening, Tab or a click past the text.
  virtual void TypeKeys(WindowId window, Long entry, const std::string& text) = 0;
  virtual void Activate(WindowId window) = 0;  // brings the window to the front
  virtual void CloseBox(WindowId window) = 0;
  // Tab, Enter, Down; control 0: to the focused control, as the keyboard does.
  virtual void PressKey(WindowId window, Long control, Long key) = 0;
  // Clicks the middle of a control (of an entry wider than its text: past the text).
  virtual void Click(WindowId window, Long control) = 0;
  virtual void ChooseMenu(WindowId window, Long menu, Long item) = 0;
  virtual void SelectTab(WindowId window, Long sheet, Long tab) = 0;  // tab: 1, 2, … in the sheet
  // Presses and lets go the right mouse button over a control.
  virtual void RightClick(WindowId window, Long control) = 0;
  // Clicks a cell of a shown row of a list (1 = its top row on screen; column 1, 2, …).
  enum class Mouse { Left, Double, Right };
  virtual void ClickCell(WindowId window, Long list, Long shownRow, Long column, Mouse mouse) = 0;
  virtual void ChoosePopup(const std::string& text) = 0;
  virtual void AnswerMessageBox(const std::string& text, const std::string& caption) = 0;
  // Presses Esc on the message box that appears; true when that closed it.
  virtual bool EscClosesMessageBox() = 0;

  // ---- Ending ----
  // Whatever a failed scenario left open: dialogs closed without a choice, close-down to every
  // window, so that the program ends and the test reports instead of hanging.
  virtual void CloseEverything() = 0;
};

inline constexpr std::chrono::seconds kUserWait{5};

// Runs `program` through the started `backend` while `script` plays `user` on a thread of its
// own; returns RunProgram's exit code. Whatever a failed script left open is closed after it,
// so the program ends and the test reports instead of hanging.
template <class SomeUser>
int PlayProgram(Backend& backend, SomeUser& user, std::function<void()> program,
                const std::function<void(SomeUser&)>& script) {
  std::thread player([&] {
    script(user);
    user.CloseEverything();
  });
  const int exitCode = backend.RunProgram(std::move(program));
  player.join();
  return exitCode;
}

class HeadlessUser final : public User {
 public:
  explicit HeadlessUser(Backend& backend) : robot_(backend) {
    robot_.SetFailureHandler([](const std::string& message) { ADD_FAILURE() << message; });
    robot_.SetUnansweredLimit(std::chrono::seconds(10));
  }

  WindowId WaitForWindow(const std::string& title) override {
    const auto window = robot_.WaitForWindow(title, kUserWait);
    if (!window) return 0;
    windows_[window->id] = *window;
    return window->id;
  }
  bool WaitForWindowClosed(WindowId window) override { return robot_.WaitForWindowClosed(windows_[window], kUserWait); }
  std::string Text(WindowId window, Long entry) override { return robot_.Text(windows_[window], entry); }
  Long Focus(WindowId window) override { return robot_.Focus(windows_[window]); }
  bool IsShown(WindowId window, Long control) override { return robot_.Prop(windows_[window], control, PROP_Visible) == "1"; }
  std::string SelectedText(WindowId window, Long entry) override {
    return robot_.Prop(windows_[window], entry, PROP_SelectText) == "1" ? Text(window, entry) : std::string();
  }
  void TypeKeys(WindowId window, Long entry, const std::string& text) override { robot_.Type(windows_[window], entry, Text(window, entry) + text); }
  void Activate(WindowId window) override { robot_.Activate(windows_[window]); }
  void CloseBox(WindowId window) override { robot_.CloseWindow(windows_[window]); }
  void SelectTab(WindowId window, Long sheet, Long tab) override { robot_.SelectTab(windows_[window], sheet, tab); }
  void ClickInto(WindowId window, Long control) override { robot_.Click(windows_[window], control); }
  void RightClick(WindowId window, Long control) override {
    robot_.PressKey(windows_[window], control, KEY_MouseRight);
    robot_.PressKey(windows_[window], control, KEY_MouseRightUp);
  }
  void ClickCell(WindowId window, Long list, Long shownRow, Long column, Mouse mouse) override {
    const Long row = robot_.FirstShownRow(windows_[window], list) + shownRow - 1;
    if (mouse == Mouse::Right) robot_.RightClickRow(windows_[window], list, row, column);
    else robot_.PickRow(windows_[window], list, row, mouse == Mouse::Double, column);
  }
  void Type(WindowId window, Long entry, const std::string& text) override { robot_.Type(windows_[window], entry, text); }
  void PressKey(WindowId window, Long control, Long key) override { robot_.PressKey(windows_[window], control, key); }
  void Click(WindowId window, Long button) override { robot_.Press(windows_[window], button); }
  void ChooseMenu(WindowId window, Long, Long item) override { robot_.Press(windows_[window], item); }
  void ChoosePopup(const std::string& text) override {
    if (const auto popup = robot_.WaitForPopup(kUserWait)) robot_.ChoosePopup(*popup, text);
  }
  void AnswerMessageBox(const std::string& text, const std::string& caption) override {
    const auto box = robot_.WaitForMessageBox(kUserWait);
    if (!box) return;
    EXPECT_EQ(box->text, text);
    robot_.PressCaption(*box, caption);
  }
  bool EscClosesMessageBox() override {
    const auto box = robot_.WaitForMessageBox(kUserWait);
    return box && robot_.CloseMessageBox(*box);
  }
  void CloseEverything() override {
    robot_.SetFailureHandler([](const std::string&) {});
    while (robot_.OpenDialogCount() > 0) {
      if (!robot_.CloseMessageBox() && !robot_.AnswerStop(StopAnswer::GoOn)) {
        if (const auto popup = robot_.WaitForPopup(std::chrono::milliseconds(0))) robot_.DismissPopup(*popup);
        else if (const auto box = robot_.WaitForMessageBox(std::chrono::milliseconds(0)))
          robot_.PressButton(*box, box->defaultValue);  // a box that ignores Esc
      }
    }
    for (const WindowId window : OpenWindows()) SendInput({InputKind::CloseDown, window, 0, 0, 0, 0, {}, 0});
  }

 private:
  Robot robot_;
  std::map<WindowId, ShownWindow> windows_;
};

}  // namespace rt::ui
