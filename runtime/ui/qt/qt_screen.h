#pragma once
// Internal to runtime/ui/qt: every runtime window shown as Qt widgets. The application frame is
// a QMainWindow with menu bar, toolbar, status bar and an MDI area; an MDI child is a subwindow
// of the frame; an ordinary window is a window of its own. Owns those widgets and what it must
// remember to show them; turns what the user does into input for the owning thread's inbox
// (runtime/ui/input_sink.h). Qt thread only: the backend marshals every call here.

#include <QPoint>
#include <QPointer>

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "runtime/ui/screen.h"

class QWidget;

namespace rt::ui::qt {

struct ShownWindow;

class Screen {
 public:
  Screen();
  ~Screen();
  Screen(const Screen&) = delete;
  Screen& operator=(const Screen&) = delete;

  // ---- Windows and controls, as the runtime reports them ----
  void CreateWindow(const WindowView& view);
  void DestroyWindow(WindowId window);
  void CreateControl(WindowId window, const ControlView& control);
  void DestroyControl(WindowId window, Long control);
  void SetProperty(WindowId window, Long control, const PropertyValue& value);
  void SetListRows(WindowId window, Long control, const ListRowsView& rows);
  void SetFocus(WindowId window, Long control);
  void SetWaitCursor(Long thread, bool on);

  // Shows now the windows still waiting for the changes queued behind their opening (a dialog
  // or popup about to open over them).
  void ShowPendingWindows();

  // ---- The application ----
  // Asks every open window of every thread to close (close-down), as closing the frame does.
  void CloseDownAll();
  // Deletes every widget (the backend stops).
  void Clear();

  // ---- Query state (tests) ----
  // Where (x, y) in window units of `thread`'s newest window lies on the screen; nullopt when
  // the thread shows no window.
  std::optional<QPoint> GlobalPosition(Long thread, Long x, Long y) const;
  // The window's outer widget (frame, MDI subwindow or window), nullptr when not shown.
  QWidget* OuterWidget(WindowId window) const;
  // The outer widget of `thread`'s newest shown window, nullptr when it shows none.
  QWidget* NewestOuterWidget(Long thread) const;

 private:
  friend class WindowInput;
  ShownWindow* Find(WindowId window);
  void Build(ShownWindow& window, const ControlView& control);
  void Apply(ShownWindow& window, Long control, const PropertyValue& value);
  void ApplyToWindow(ShownWindow& window, const PropertyValue& value);
  void Place(ShownWindow& window);
  void ShowPending(WindowId window);
  void UpdateModality(Long thread);
  void ActivateChild(WindowId child);
  void Forget(WindowId window);
  bool IsAlerted(WindowId window, Long control, Long key);
  void ToolbarPressed(ShownWindow& frame, Long control);
  void ShowStatus(const ShownWindow& window, Long control);

  std::map<WindowId, std::unique_ptr<ShownWindow>> windows_;
  std::uint64_t nextOrder_ = 1;
};

}  // namespace rt::ui::qt
