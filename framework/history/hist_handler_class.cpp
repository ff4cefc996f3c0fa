#include "framework/history/hist_handler_class.h"

#include "framework/error/error_class.h"
#include "framework/error/levels.h"
#include "framework/history/msg_box_class.h"
#include "runtime/core/assert.h"
#include "runtime/ui/window.h"

using rt::Long;

void HistHandlerClass::Init(rt::Window& window, ErrorClass& errors, const std::vector<ErrorHistoryList>& history) {
  Win = &window;
  Err = &errors;
  History = &history;
}

rt::Byte HistHandlerClass::TakeEvent() {
  if (!Win || !History || Win->CurrentEvent().code != rt::EVENT_OpenWindow) return Level::Ok;
  constexpr Long list = ErrorWindow::History;
  LBColumns = static_cast<rt::Short>(rt::PropNumber(Win->GetProp(list, rt::LISTCOL_Format, 0)));
  // The list must know its rows before one of them can be selected.
  Win->SetVirtualList(list, [this](Long row, Long column) { return VLBProc(row, static_cast<rt::Short>(column)); });
  Win->SetProp(list, rt::PROP_Selected, std::to_string(History->size()), 0);
  return Level::Ok;
}

void HistHandlerClass::UpdateWindow() {
  if (Win) Win->Display(ErrorWindow::History);
}

std::string HistHandlerClass::VLBProc(Long row, rt::Short column) {
  if (!History) return {};
  switch (row) {
    case -1: return std::to_string(History->size());
    case -2: return std::to_string(LBColumns);
    case -3: return "1";
    default: break;
  }
  if (row >= 1 && static_cast<std::size_t>(row) <= History->size()) {
    lastRead_ = static_cast<std::size_t>(row);
  } else {
    RT_ASSERT(false, "");
  }
  if (lastRead_ == 0) return {};
  const ErrorHistoryList& record = (*History)[lastRead_ - 1];
  if (column == 1) return record.Txt.Str();
  if (column == 2) return record.Category;
  return {};
}
