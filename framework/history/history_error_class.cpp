#include "framework/history/history_error_class.h"

#include <vector>

#include "framework/history/hist_handler_class.h"
#include "framework/history/msg_box_class.h"
#include "runtime/ui/window.h"

rt::Long HistoryErrorClass::HistoryMsg(std::string_view caption, rt::Long icon, rt::Long buttons,
                                       rt::Long defaultButton) {
  rt::Window window(ErrorWindowDef());
  MsgBoxClass box;
  box.Init(window, *this, caption, icon, buttons, defaultButton, 0);
  // The lock is held only for the copy: other threads report errors while the window is open.
  const std::vector<ErrorHistoryList> history = HistorySnapshot();
  HistHandlerClass handler;
  handler.Init(window, *this, history);
  box.HistoryHandler = &handler;
  box.Run();
  return box.MsgRVal;
}
