#pragma once
// The runtime's two dialogs: the message box and the stop dialog.
//
// Both first look at their hook property (31285, 31286): when it holds a procedure's address, that
// procedure is called instead, with the caller's arguments, and its result is returned. Otherwise
// the runtime's own dialog is shown by the installed DialogHost (a UI backend) on behalf of the
// calling thread, which waits for the user's answer.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/types.h"

namespace rt {

// Button values of a numeric button set; a set is the sum of the values offered.
enum ButtonValue : Long {
  BUTTON_OK = 1,
  BUTTON_YES = 2,
  BUTTON_NO = 4,
  BUTTON_ABORT = 8,
  BUTTON_RETRY = 16,
  BUTTON_IGNORE = 32,
  BUTTON_CANCEL = 64,
  BUTTON_HELP = 128,
};

// The exit code of a program ended from the stop dialog.
inline constexpr int kStopExitCode = 1;

// ---- Raising dialogs (any program thread) ----

// `buttons` is a number (a sum of ButtonValue) or a "|" list of captions; empty offers OK.
// Returns the pressed button's value, or the 1-based position of the pressed caption for a list.
Long MessageBox(std::string_view text, std::string_view caption = {}, std::string_view icon = {},
                std::string_view buttons = {}, Long defaultButton = 0, Long style = 0);

// Shows `text` (a standard question when omitted) and lets the user end the program or go on.
// Ending halts the program here; going on returns.
void Stop(std::optional<std::string_view> text = std::nullopt);

// While one lives on a thread, that thread's MessageBox (for PROP_MessageHook) or Stop (for
// PROP_StopHook) shows the runtime's own dialog although the hook property is set. A hook shows
// the real dialog through it instead of clearing the process-wide property, so that a message
// another thread raises meanwhile still reaches the hook. Scopes nest.
class OwnDialogScope {
 public:
  explicit OwnDialogScope(Long hookProperty);
  ~OwnDialogScope();
  OwnDialogScope(const OwnDialogScope&) = delete;
  OwnDialogScope& operator=(const OwnDialogScope&) = delete;

 private:
  int& depth_;
};

// The procedures that may stand in the hook properties.
using MessageHook = Long (*)(std::string_view text, std::string_view caption, std::string_view icon,
                             std::string_view buttons, Long defaultButton, Long style);
using StopHook = void (*)(std::optional<std::string_view> text);

// ---- What a backend is asked to show ----

struct DialogButton {
  std::string caption;  // with '&' before the mnemonic letter
  Long value;           // what MessageBox returns when it is pressed
};

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  std::string icon;
  std::vector<DialogButton> buttons;  // at least one, in display order
  Long defaultValue = 0;              // value of the default button
  Long escapeValue = 0;               // value returned when the dialog is closed without a choice
  bool escapeCloses = true;           // false: Esc (and the close box) leave the box open
  Long style = 0;
};

// Parses the caller's arguments the way MessageBox does.
MessageBoxRequest MakeMessageBoxRequest(std::string_view text, std::string_view caption, std::string_view icon,
                                        std::string_view buttons, Long defaultButton, Long style);

struct StopRequest {
  std::string text;  // already defaulted when the caller omitted it
};

enum class StopAnswer { EndProgram, GoOn };

// Shows the runtime's own dialogs. Installed by the UI backend; called on the raising program
// thread, which it blocks until the user answers.
class DialogHost {
 public:
  virtual Long ShowMessageBox(const MessageBoxRequest& request) = 0;
  virtual StopAnswer ShowStop(const StopRequest& request) = 0;

 protected:
  ~DialogHost() = default;
};

// nullptr removes the host: message boxes then return their default button and stops end the
// program, both after a line on stderr.
void SetDialogHost(DialogHost* host);

}  // namespace rt
