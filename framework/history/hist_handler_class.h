#pragma once
// HistHandlerClass: the error window's list of earlier messages, a window component of the
// history window (MsgBoxClass). When the window opens it makes the list a virtual list over the
// history copy it was given, with the newest message highlighted, and from then on answers the
// list's questions (VLBProc). Owns nothing: the window, the error manager and the copy of the
// history belong to HistoryErrorClass::HistoryMsg for one call. Calls runtime/ui on the
// window's own program thread.

#include <string>
#include <vector>

#include "framework/window/window_component.h"
#include "runtime/core/types.h"

namespace rt {
class Window;
}
class ErrorClass;
struct ErrorHistoryList;

class HistHandlerClass : public WindowComponent {
 public:
  HistHandlerClass() = default;
  HistHandlerClass(const HistHandlerClass&) = delete;
  HistHandlerClass& operator=(const HistHandlerClass&) = delete;
  virtual ~HistHandlerClass() = default;

  // `history` is read, oldest first, for as long as the window is open.
  void Init(rt::Window& window, ErrorClass& errors, const std::vector<ErrorHistoryList>& history);

  // ---- WindowComponent ----
  void Kill() override {}
  void Reset(rt::Byte) override {}
  rt::Byte ResetRequired() override { return 0; }
  void SetAlerts() override {}
  // On the window's opening: the list becomes virtual, the newest row selected. Always Level::Ok.
  rt::Byte TakeEvent() override;
  void Update() override {}
  void UpdateWindow() override;

  // The list's data: row -1 the row count, -2 the column count, -3 "1" (always changed); rows
  // from 1 give column 1 the message's text and column 2 its category.
  virtual std::string VLBProc(rt::Long row, rt::Short column);

  // ---- Members, in declaration order ----
  ErrorClass* Err = nullptr;
  const std::vector<ErrorHistoryList>* History = nullptr;
  rt::Short LBColumns = 0;
  rt::Window* Win = nullptr;

 private:
  std::size_t lastRead_ = 0;  // 1-based; what a failed read shows
};
