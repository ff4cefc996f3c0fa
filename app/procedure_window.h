#pragma once
// What every demo window procedure shares: the opening steps of its window manager (procedure
// name, request, toolbar, the thread's request variables), placing the window from the INI file
// under the procedure's name and storing it back on Kill, and the resizer that keeps the opening
// size as the least, and running a procedure over its window definition (RunProcedure). Owns
// nothing: the procedure keeps the window, toolbar and resizer; calls WindowManager,
// GlobalErrors and INIMgr.

#include <string>
#include <utility>

#include "app/globals.h"
#include "framework/resize/window_resize.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "runtime/core/types.h"
#include "runtime/ui/window.h"
#include "runtime/ui/window_def.h"

// Application strategy, with the window's opening size as its minimum and no maximum.
class ProcedureResizer : public WindowResizeClass {
 public:
  void Init(rt::Byte appStrategy, rt::Byte setWindowMinSize, rt::Byte setWindowMaxSize);
};

class ProcedureWindow : public WindowManager {
 public:
  // `resizer`: none for a window that keeps its controls where they are (the frame).
  ProcedureWindow(std::string procedure, rt::Window& window, ToolbarClass& toolbar,
                  ProcedureResizer* resizer = nullptr)
      : procedure_(std::move(procedure)), window_(window), toolbar_(toolbar), resizer_(resizer) {}

  // Stores the placement when the window was opened and takes the procedure's name off the
  // error manager.
  rt::Byte Kill() override;

 protected:
  // Names the procedure, takes GlobalRequest, runs WindowManager::Init and, when that went
  // well, sets the first field, the thread's navigation request, the error manager and the
  // toolbar, and clears the thread's request and response. Returns WindowManager::Init's level.
  rt::Byte BeginInit(rt::Long firstField);
  // Opens the window, starts the resizer (when there is one) and places the window as last stored,
  // then sets the components' alerts unless the procedure sets them itself once it has added
  // everything (SetAlerts must run once: a browse takes over its list's scroll bar and fills its
  // popup there).
  enum class Alerts { Now, Later };
  void OpenAndPlace(Alerts alerts = Alerts::Now);

  rt::Window& TheWindow() const { return window_; }

 private:
  const std::string procedure_;
  rt::Window& window_;
  ToolbarClass& toolbar_;
  ProcedureResizer* const resizer_;
};

// Opens `def`, runs a manager made over it with its own toolbar and resizer, and leaves the
// result in the thread's GlobalResponse.
template <class Manager>
void RunProcedure(rt::WindowDef def) {
  rt::Window window(std::move(def));
  ToolbarClass toolbar;
  ProcedureResizer resizer;
  Manager manager(window, toolbar, resizer);
  *GlobalResponse = manager.Run();
}
