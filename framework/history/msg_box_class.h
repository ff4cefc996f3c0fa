#pragma once
// MsgBoxClass: the error history window's procedure. It opens the error window, titles it with
// the caller's caption, shows the icon, offers the buttons the caller chose (highest value
// first, from the first button control on) with the default one marked and focused, and ends
// with the pressed button's value in MsgRVal. Owns its copy of the caption; never the window,
// the error manager or the history list component, which HistoryErrorClass::HistoryMsg keeps
// for one call. Calls WindowManager and runtime/ui on the window's own program thread.
//
// Subclass contract: override SetupAdditionalFeqs to set up further controls after the
// buttons (call this one for the icon). Init(window, …) comes before Run.

#include <array>
#include <string>
#include <string_view>

#include "framework/window/window_manager.h"
#include "runtime/core/types.h"
#include "runtime/ui/window_def.h"

class ErrorClass;
class WindowComponent;

// The error window's controls, numbered as its definition declares them.
namespace ErrorWindow {
inline constexpr rt::Long Icon = 1;
inline constexpr rt::Long History = 2;      // the list of earlier messages
inline constexpr rt::Long FirstButton = 3;  // "Button 8"; the last, "Button 1", is FirstButton + 7
inline constexpr rt::Long ButtonCount = 8;
}  // namespace ErrorWindow

// Title "Error"; the icon at the top left, the history list beside it, the eight answer
// buttons hidden in a row below.
rt::WindowDef ErrorWindowDef();

// The caption each answer button shows, by its value (1 OK … 128 Help); "" for any other.
std::string_view AnswerButtonText(rt::Long value);

class MsgBoxClass : public WindowManager {
 public:
  // What to show: `caption` empty keeps the window's title; `icon` 0 is the information icon;
  // `buttons` the sum of the button values to offer; `defaultButton` is also the result when
  // the window is closed without a button.
  void Init(rt::Window& window, ErrorClass& errors, std::string_view caption, rt::Long icon, rt::Long buttons,
            rt::Long defaultButton, rt::Long style);

  // ---- WindowManager's, replaced ----
  rt::Byte Init() override;
  rt::Byte Kill() override;
  // A shown button ends the window (Level::Fatal) with its value in MsgRVal.
  rt::Byte TakeAccepted() override;

  // The value of the button shown at `control`; 0 for any other control.
  rt::Byte FetchStdButton(rt::Long control) const;
  virtual void SetupAdditionalFeqs();

  // ---- Members, in declaration order ----
  rt::Long ButtonTypes = 0;
  std::string Caption;
  ErrorClass* Err = nullptr;
  rt::Long Icon = 0;
  WindowComponent* HistoryHandler = nullptr;  // registered with the window when set
  rt::Long MsgButtons = 0;
  std::array<rt::Long, ErrorWindow::ButtonCount> MsgButtonID{};
  rt::Long MsgRVal = 0;
  rt::Long Style = 0;  // kept, not used
  rt::Window* Win = nullptr;
};
