#pragma once
// HistoryErrorClass: the error manager whose history operations show the error history window.
// ErrorClass records the history and decides when it is to be shown; this class answers its
// virtual HistoryMsg (and so ViewHistory) with the error window: the message's caption and icon,
// the history as it was when the window opened, and the caller's buttons. The window is a
// window of its own, not the runtime's message box, so it leaves no message-log entry. Owns
// nothing beyond one call's window, MsgBoxClass and HistHandlerClass. Calls fw_error and
// runtime/ui on the thread that reports the error.

#include <string_view>

#include "framework/error/error_class.h"
#include "runtime/core/types.h"

class HistoryErrorClass : public ErrorClass {
 public:
  // Runs the error window on the calling program thread; the pressed button's value, or
  // `defaultButton` when the window was closed without one.
  rt::Long HistoryMsg(std::string_view caption, rt::Long icon, rt::Long buttons, rt::Long defaultButton) override;
};
