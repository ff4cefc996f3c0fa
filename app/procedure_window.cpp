#include "app/procedure_window.h"

#include "app/globals.h"
#include "runtime/ui/window.h"

using rt::Byte;

void ProcedureResizer::Init(Byte appStrategy, Byte setWindowMinSize, Byte setWindowMaxSize) {
  WindowResizeClass::Init(appStrategy, setWindowMinSize, setWindowMaxSize);
  SetParentDefaults();
}

Byte ProcedureWindow::BeginInit(rt::Long firstField) {
  GlobalErrors.SetProcedureName(procedure_);
  Request = *GlobalRequest;
  const Byte level = WindowManager::Init();
  if (level != Level::Ok) return level;
  FirstField = firstField;
  VCRRequest = &*::VCRRequest;
  Errors = &GlobalErrors;
  AddItem(toolbar_);
  *GlobalRequest = 0;
  *GlobalResponse = 0;
  return level;
}

void ProcedureWindow::OpenAndPlace(Alerts alerts) {
  Open(window_);
  if (resizer_) {
    resizer_->Init(2, 1, 0);
    AddItem(*resizer_);
  }
  INIMgr.Fetch(procedure_, window_);
  if (resizer_) resizer_->Resize();
  if (alerts == Alerts::Now) SetAlerts();
}

Byte ProcedureWindow::Kill() {
  const Byte level = WindowManager::Kill();
  if (level != Level::Ok) return level;
  if (Opened) INIMgr.Update(procedure_, window_);
  GlobalErrors.SetProcedureName();
  return Level::Ok;
}
