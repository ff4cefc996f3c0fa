// WindowManager: life cycle, the event dispatch, components, buttons and field history. The
// update-form requests (priming, insert, change, delete, save, closing with changes) are in
// window_manager_update.cpp.

#include "framework/window/window_manager.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/error_class.h"
#include "framework/resize/window_resize.h"
#include "framework/window/toolbar.h"
#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "runtime/data/bind.h"
#include "runtime/data/field_ref.h"
#include "runtime/data/record_layout.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/window.h"

using rt::Byte;
using rt::Long;

WindowManager::~WindowManager() { WindowManager::Kill(); }

// ---- Life cycle ----

Byte WindowManager::Init() {
  OriginalRequest = Request;
  CL = std::make_unique<std::vector<ComponentEntry>>();
  Buttons = std::make_unique<std::vector<ButtonEntry>>();
  if (!bindPushed_) rt::PushBind();
  bindPushed_ = true;
  // A right click may have started this window; its key must not reach the new window.
  if (rt::Keycode() == rt::KEY_MouseRight || rt::Keycode() == rt::KEY_MouseRightUp) rt::SetKeycode(0);
  InsertAction = Insert::Close;
  DeleteAction = Delete::Confirm;
  ChangeAction = Change::Close;
  CancelAction = Cancel::Save | Cancel::Ask;
  AutoToolbar = 1;
  AutoRefresh = 1;
  OwnerWindow = nullptr;
  // Initialised again after a Kill, the window starts as new.
  Dead = 0;
  Inited = 0;
  Opened = 0;
  Response = 0;
  LastInsertedPosition.clear();
  return Level::Ok;
}

Byte WindowManager::Kill() {
  if (Dead || !CL) return Level::Notify;
  // Each component is out of the list before it is killed, so a Kill that looks at the
  // window finds the rest only.
  while (!CL->empty()) {
    WindowComponent* component = CL->front().Component;
    CL->erase(CL->begin());
    component->Kill();
  }
  CL.reset();
  Buttons.reset();
  History.reset();
  historyFile_ = {};
  if (Files) {
    for (FileEntry& entry : *Files) entry.File->RestoreBuffer(entry.Saved, 0);
    Files.reset();
  }
  if (Primary) Primary->Me->RestoreBuffer(Saved, 0);
  if (Toolbar) Toolbar->Kill();
  if (Resize) Resize->Kill();
  Dead = 1;
  if (bindPushed_) {
    rt::PopBind();
    bindPushed_ = false;
  }
  return Level::Ok;
}

void WindowManager::Open(rt::Window& window, rt::Window* owner) {
  MyWindow = &window;
  if (owner) OwnerWindow = owner;
  // The runtime opens every window on its thread's stack; the owner only matters to the
  // caller, which keeps it in OwnerWindow.
  window.Open();
  Opened = 1;
}

void WindowManager::Open() {
  Reset(0);
  Inited |= InitedBit::Opened;
}

void WindowManager::Ask() {
  if (Dead) return;
  RT_ASSERT(MyWindow != nullptr, "WindowManager::Ask before the window was opened with Open(window)");
  if (!MyWindow) return;
  LastInsertedPosition.clear();
  while (MyWindow->Accept()) {
    const Byte level = TakeEvent();
    if (level == Level::Fatal) break;
    if (level == Level::Notify) MyWindow->SetHandled();
  }
}

Byte WindowManager::Run() {
  if (Init() == Level::Ok) Ask();
  Kill();
  return Response ? Response : Response::Cancelled;
}

Byte WindowManager::Run(rt::UShort, Byte) { return Response::Cancelled; }

Byte WindowManager::PrimeFields() { return Level::Ok; }
Byte WindowManager::TakeFieldEvent() { return Level::Ok; }
Byte WindowManager::TakeSelected() { return Level::Ok; }
Byte WindowManager::TakeNotify(Long, Long, Long) { return Level::Ok; }

// ---- Registering ----

void WindowManager::AddItem(WindowComponent& component) {
  RT_ASSERT(CL != nullptr, "WindowManager::AddItem(component) before Init");
  if (CL) CL->push_back({0, &component});
}

void WindowManager::AddItem(SelectingComponent& component) {
  AddItem(static_cast<WindowComponent&>(component));
  component.SetSelecting(Request == Request::Select);
}

void WindowManager::AddItem(ToolbarClass& toolbar) {
  Toolbar = &toolbar;
  toolbar.Init();
}

void WindowManager::AddItem(WindowResizeClass& resizer) { Resize = &resizer; }

void WindowManager::AddItem(Long control, Byte action) {
  RT_ASSERT(Buttons != nullptr, "WindowManager::AddItem(button) before Init");
  if (Buttons) Buttons->push_back({control, action});
}

void WindowManager::RemoveItem(WindowComponent& component) {
  if (!CL) return;
  const auto at = std::find_if(CL->begin(), CL->end(), [&](const ComponentEntry& e) { return e.Component == &component; });
  if (at != CL->end()) CL->erase(at);
}

void WindowManager::AddUpdateFile(FileManager& file) {
  if (!Files) Files = std::make_unique<std::vector<FileEntry>>();
  Files->push_back({&file, 0});
}

void WindowManager::AddHistoryFile(const rt::RecordLayout& layout, void* record, void* history) {
  if (!History) History = std::make_unique<std::vector<HistoryEntry>>();
  historyFile_ = {&layout, record, history, 0, 0};
}

void WindowManager::AddHistoryField(Long control, Long fieldNo) {
  RT_ASSERT(History && historyFile_.Layout, "WindowManager::AddHistoryField before AddHistoryFile");
  if (!History || !historyFile_.Layout) return;
  RT_ASSERT(historyFile_.Layout->Field(static_cast<std::size_t>(fieldNo)) != nullptr,
            "WindowManager::AddHistoryField: the record has no field " + std::to_string(fieldNo));
  HistoryEntry entry = historyFile_;
  entry.Control = control;
  entry.FieldNo = fieldNo;
  const auto at = std::upper_bound(History->begin(), History->end(), control,
                                   [](Long c, const HistoryEntry& e) { return c < e.Control; });
  History->insert(at, entry);
}

// ---- Field history ----

void WindowManager::SaveHistory() {
  if (!History) return;
  const void* previous = nullptr;
  for (const HistoryEntry& entry : *History) {
    if (entry.Record == previous) continue;
    std::memcpy(entry.History, entry.Record, entry.Layout->RecordSize());
    previous = entry.Record;
  }
}

void WindowManager::RestoreField(Long control) {
  if (!History || control == 0) return;
  const auto at = std::find_if(History->begin(), History->end(), [&](const HistoryEntry& e) { return e.Control == control; });
  if (at == History->end()) return;
  const rt::FieldLayout* field = at->Layout->Field(static_cast<std::size_t>(at->FieldNo));
  if (!field) return;
  rt::FieldRef(*field, at->Record).Assign(rt::FieldRef(*field, at->History));
  if (MyWindow) MyWindow->Display(control);
}

// ---- Components ----

void WindowManager::ResetBuffers(Byte force) {
  if (!CL) return;
  for (std::size_t i = 0; i < CL->size(); ++i)
    if ((*CL)[i].Kind == 0) (*CL)[i].Component->Reset(force);
}

void WindowManager::Reset(Byte force) {
  // Not while the accept-all pass runs: it is reading the controls.
  if (MyWindow && rt::PropNumber(MyWindow->GetProp(rt::PROP_AcceptAll)) != 0) return;
  force = force || ForcedReset;
  ForcedReset = 0;
  ResetBuffers(force);
  if (CL)
    for (std::size_t i = 0; i < CL->size(); ++i) (*CL)[i].Component->UpdateWindow();
  Refresh();
}

void WindowManager::Update() {
  if (!CL) return;
  for (std::size_t i = 0; i < CL->size(); ++i) (*CL)[i].Component->Update();
}

void WindowManager::SetAlerts() {
  if (CL)
    for (std::size_t i = 0; i < CL->size(); ++i) (*CL)[i].Component->SetAlerts();
  if (!History || HistoryKey == 0 || !MyWindow) return;
  for (const HistoryEntry& entry : *History)
    MyWindow->SetProp(entry.Control, rt::PROP_Alrt, std::to_string(HistoryKey), rt::kAlertSlots);
}

// ---- Buttons ----

void WindowManager::SetResponse(Byte response) {
  Response = response;
  PostToWindow(rt::EVENT_CloseWindow);
  if (response == Response::Cancelled && Toolbar) PendingVcr() = 0;
}

void WindowManager::TakeDisableButton(Long control, Byte disable) {
  if (control == 0 || !MyWindow) return;
  if (disable) MyWindow->Disable(control);
  else MyWindow->Enable(control);
}

void WindowManager::DisableCancelControls() {
  if (!DisableCancelButton || !Buttons) return;
  for (const ButtonEntry& button : *Buttons)
    if (button.Action == Response::Cancelled) TakeDisableButton(button.Control, 1);
}

void WindowManager::EnableCancelControls() {
  if (!DisableCancelButton || !Buttons) return;
  for (const ButtonEntry& button : *Buttons)
    if (button.Action == Response::Cancelled) TakeDisableButton(button.Control, 0);
}

// ---- The event dispatch ----

const rt::EventRecord& WindowManager::CurrentEvent() const {
  static const rt::EventRecord none;
  return MyWindow ? MyWindow->CurrentEvent() : none;
}

Byte WindowManager::TakeEvent() {
  const rt::EventRecord event = CurrentEvent();
  // The resizer stands where a registered handler would: it sees every event first.
  if (Resize) Resize->TakeEvent(event.code);
  Byte result = Level::Ok;
  if (event.control == 0) {
    result = TakeWindowEvent();
    if (result != Level::Ok) return result;
  }
  switch (event.code) {
    case rt::EVENT_Sized:
      PostToWindow(rt::EVENT_ResizeRequest);
      break;
    case rt::EVENT_Accepted: result = TakeAccepted(); break;
    case rt::EVENT_Rejected: result = TakeRejected(); break;
    case rt::EVENT_Selected: result = TakeSelected(); break;
    case rt::EVENT_NewSelection: result = TakeNewSelection(); break;
    case rt::EVENT_AlertKey:
      if (HistoryKey != 0 && event.keyCode == HistoryKey && MyWindow) RestoreField(MyWindow->FocusedControl());
      break;
    default: break;
  }
  if (result != Level::Ok) return result;
  if (event.control != 0) {
    result = TakeFieldEvent();
    if (result != Level::Ok) return result;
  }
  if (!CL) return result;
  for (std::size_t i = 0; i < CL->size(); ++i) {
    result = (*CL)[i].Component->TakeEvent();
    if (result != Level::Ok) return result;
  }
  if (AutoRefresh) {
    for (std::size_t i = 0; i < CL->size(); ++i) {
      if ((*CL)[i].Component->ResetRequired()) {
        Reset(0);
        break;
      }
    }
  }
  return result;
}

Byte WindowManager::TakeWindowEvent() {
  const rt::EventRecord& event = CurrentEvent();
  switch (event.code) {
    case rt::EVENT_OpenWindow:
      if (!(Inited & InitedBit::Opened)) Open();
      SelectFirstField();
      return Level::Ok;
    case rt::EVENT_Notify:
      return TakeNotify(event.notifyCode, event.thread, event.notifyParameter);
    case rt::EVENT_LoseFocus:
      if (ResetOnGainFocus) ForcedReset = 1;
      return Level::Ok;
    case rt::EVENT_GainFocus:
      if (Inited & InitedBit::Opened) Reset(0);
      else Open();
      return Level::Ok;
    case rt::EVENT_Sized:
      // The window's own opening produces the first size event; only later ones change it.
      if (Inited & InitedBit::FirstSized) Reset(0);
      else Inited |= InitedBit::FirstSized;
      return Level::Ok;
    case rt::EVENT_Completed:
      return TakeCompleted();
    case rt::EVENT_CloseWindow:
    case rt::EVENT_CloseDown:
      return TakeCloseEvent();
    default:
      return Level::Ok;
  }
}

Byte WindowManager::TakeAccepted() {
  const Long control = CurrentEvent().control;
  if (Toolbar) {
    Toolbar->TakeEvent(PendingVcr(), this);
    if (control == ToolbarButton::History && MyWindow) RestoreField(MyWindow->FocusedControl());
  }
  if (Buttons) {
    const auto button = std::find_if(Buttons->begin(), Buttons->end(), [&](const ButtonEntry& b) { return b.Control == control; });
    if (button != Buttons->end()) {
      SetResponse(button->Action);
      return Level::Notify;
    }
  }
  if (OkControl != 0 && control == OkControl) PostCompleted();
  if (SaveControl != 0 && control == SaveControl) {
    if (Request == Request::View) return Level::Notify;
    BeforeSaveRequest = Request;
    Request = Request::Save;
    PostCompleted();
  }
  EnableCancelControls();
  return Level::Ok;
}

void WindowManager::PostCompleted() {
  if (OriginalRequest == Request::Change || OriginalRequest == Request::Insert || OriginalRequest == Request::View) {
    if (OriginalRequest == Request::View && !BatchProcessing) PostToWindow(rt::EVENT_Completed);
    // The accept-all pass: every entry is validated and Completed follows when all are.
    if (MyWindow) MyWindow->Select(0);
  } else if (!BatchProcessing) {
    PostToWindow(rt::EVENT_Completed);
  }
}

Byte WindowManager::TakeCompleted() {
  SaveHistory();
  const bool update = Request == Request::Insert || Request == Request::Change || Request == Request::Delete ||
                      Request == Request::Save;
  RT_ASSERT(!update || Primary != nullptr, "WindowManager: an update request on a window without a Primary file");
  if (update && !Primary) return Level::Ok;
  switch (Request) {
    case Request::Insert: return DoInsertAction();
    case Request::Change: return DoChangeAction();
    case Request::Delete: return DoDeleteAction();
    case Request::Save:
      if (OriginalRequest == Request::Insert) return SaveOnInsertAction();
      if (OriginalRequest == Request::Change) return SaveOnChangeAction();
      return Level::Ok;
    default: return Level::Ok;
  }
}

Byte WindowManager::TakeNewSelection() {
  const Long control = CurrentEvent().control;
  if (!MyWindow || rt::PropNumber(MyWindow->GetProp(control, rt::PROP_Type, 0)) != rt::CT_Sheet) return Level::Ok;
  Reset(0);
  if (AutoToolbar && Toolbar) Toolbar->SetTarget(0);
  return Level::Ok;
}

Byte WindowManager::TakeRejected() {
  const Long control = CurrentEvent().control;
  rt::Beep(150, 16);
  // The refused text stays in the entry (selected by the runtime) for the user to correct;
  // showing the variable again would put the old value back unseen.
  if (MyWindow) MyWindow->Select(control);
  return Level::Ok;
}

// ---- Small helpers ----

rt::Long& WindowManager::PendingVcr() { return VCRRequest ? *VCRRequest : vcrStandIn_; }

void WindowManager::SelectFirstField() {
  // Select(0) would start the accept-all pass: without a first field there is nothing to select.
  if (FirstField != 0 && MyWindow) MyWindow->Select(FirstField);
}

void WindowManager::Refresh() {
  if (MyWindow) MyWindow->Display();
}

void WindowManager::PostToWindow(Long event, Long control) {
  if (MyWindow) MyWindow->Post(event, control);
}

Long WindowManager::Question(Long id) {
  RT_ASSERT(Errors != nullptr, "WindowManager: Errors must be set before a question is asked");
  if (!Errors) return rt::BUTTON_CANCEL;
  return Errors->Message(id, rt::BUTTON_YES + rt::BUTTON_NO + rt::BUTTON_CANCEL, rt::BUTTON_CANCEL);
}

Byte WindowManager::ThrowById(Long id) {
  RT_ASSERT(Errors != nullptr, "WindowManager: Errors must be set before an error is raised");
  return Errors ? Errors->Throw(id) : Level::Cancel;
}
