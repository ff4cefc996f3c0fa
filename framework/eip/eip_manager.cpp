// EIPManager: the row's life (Run, Init, Kill), its events, moving between columns and the
// completions by the action settings.

#include "framework/eip/eip_manager.h"

#include <string>

#include "framework/eip/edit_class.h"
#include "framework/error/levels.h"
#include "framework/util/field_pairs.h"
#include "framework/window/toolbar.h"
#include "runtime/core/assert.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/window.h"

using rt::Byte;
using rt::Long;

namespace {

constexpr Long kSlotDoubleClick = 252;            // the browse's double click, given back after editing
constexpr Long kLastMouseSlot = 254;              // the list's slots searched for the left button
constexpr const char* kDisabledTextColour = "2147483665";  // 0x80000011: the system's grey text
constexpr const char* kDefaultColour = "-1";

void FreeEntry(EditClass* control) { delete control; }

}  // namespace

// ---- The row's life ----

Byte EIPManager::Run(Byte request) {
  // A left click must not reach the list's own alert while a cell is edited.
  MouseLeftIndex = 0;
  for (Long slot = 1; slot <= kLastMouseSlot; ++slot) {
    if (rt::PropNumber(ListProp(rt::PROP_Alrt, slot)) == rt::KEY_MouseLeft) {
      MouseLeftIndex = static_cast<Byte>(slot);
      SetListProp(rt::PROP_Alrt, "", slot);
      break;
    }
  }
  Req = request;
  return WindowManager::Run();
}

void EIPManager::AddControl(EditClass* control, Long field, Byte freeUp) {
  RT_ASSERT(EQ != nullptr, "EIPManager::AddControl: the list of columns is null");
  if (EQ) EQ->Add(control, field, freeUp, freeUp ? &FreeEntry : nullptr);
}

Byte EIPManager::Init() {
  if (const Byte level = WindowManager::Init()) return level;
  if (Column == 0) Column = 1;
  LastColumn = 0;
  Repost = RepostField = 0;
  RT_ASSERT(EQ != nullptr, "The list of columns is null");
  if (!EQ) return Level::Fatal;
  InitControls();
  running_ = true;
  ResetColumn();
  // The list's window is open already: the focus coming back resets, it does not open again
  // (Open would show the row's old values over what is being typed).
  Inited |= InitedBit::Opened;
  return Level::Ok;
}

void EIPManager::InitControls() {
  EQ->SortByField();
  for (Long column = 1; !ListProp(rt::LISTCOL_Format, column).empty(); ++column) {
    const Long field = rt::PropNumber(ListProp(rt::LISTCOL_FieldNo, column));
    EditColumn* entry = EQ->FindField(field);
    if (!entry) entry = &EQ->Add(new EditEntryClass, field, 1, &FreeEntry);
    entry->Column = column;
    const FieldPairsClass::Pair* pair = Fields ? Fields->At(static_cast<std::size_t>(field)) : nullptr;
    RT_ASSERT(pair != nullptr, "EIPManager: list column " + std::to_string(column) + " shows field " +
                                   std::to_string(field) + ", which has no field pair");
    if (entry->Control && pair) {
      entry->Control->Init(column, ListControl, pair->Right);
    } else {
      entry->Control = nullptr;
      SetListProp(rt::LISTCOL_TextColor, kDisabledTextColour, column);
    }
  }
  EQ->SortByColumn();
}

Byte EIPManager::Kill() {
  if (running_) {
    running_ = false;
    ClearColumn();
    for (EditColumn& entry : EQ->Entries()) {
      if (entry.Column <= 0) continue;
      if (entry.Control) entry.Control->Kill();
      else SetListProp(rt::LISTCOL_TextColor, kDefaultColour, entry.Column);
    }
    SetListProp(rt::PROP_Alrt, std::to_string(rt::KEY_MouseLeft2), kSlotDoubleClick);
    if (MouseLeftIndex) SetListProp(rt::PROP_Alrt, std::to_string(rt::KEY_MouseLeft), MouseLeftIndex);
  }
  const Byte level = WindowManager::Kill();
  if (Repost != 0 && MyWindow) MyWindow->Post(Repost, RepostField);
  Repost = RepostField = 0;
  return level;
}

// ---- Columns ----

Byte EIPManager::GetEdit() {
  const EditColumn* entry = Current();
  if (!entry || !entry->Control) return 0;
  return Column >= 1 && Column <= rt::PropNumber(ListProp(rt::LISTCOL_Format, 0)) ? 1 : 0;
}

void EIPManager::Next() {
  const Long highest = EQ && EQ->Records() ? EQ->Entries().back().Column : 0;
  int reversals = 0;
  while (!(Current() && GetEdit())) {
    if (SeekForward) {
      if (Column < highest) {
        ++Column;
        continue;
      }
    } else if (Column >= 2) {
      --Column;
      continue;
    }
    SeekForward = !SeekForward;
    if (++reversals == 2) {
      RT_ASSERT(false, "EIPManager: no column of the list can be edited");
      break;
    }
  }
  SeekForward = 0;
}

void EIPManager::ResetColumn() {
  rt::SetKeycode(0);
  Next();
  EditColumn* entry = Current();
  if (!entry || !entry->Control) return;
  if (!entry->Control->ResetControl() && LastColumn == Column) return;
  const Long feq = entry->Control->GetFeq();
  SetListProp(rt::PROP_EditControl, std::to_string(feq), entry->Column);
  if (rt::Window* window = ListWindow()) {
    window->Unhide(feq);
    window->Select(feq);
  }
  LastColumn = static_cast<Byte>(Column);
}

void EIPManager::ClearColumn() {
  if (LastColumn == 0) return;
  SetListProp(rt::PROP_EditControl, "0", LastColumn);
  // Off its cell the control would hide what the list shows there.
  if (const EditColumn* entry = EQ ? EQ->FindColumn(LastColumn) : nullptr; entry && entry->Control)
    if (rt::Window* window = ListWindow()) window->Hide(entry->Control->GetFeq());
  LastColumn = 0;
}

// ---- Events ----

Byte EIPManager::TakeEvent() {
  const rt::EventRecord event = MyWindow ? MyWindow->CurrentEvent() : rt::EventRecord{};
  switch (event.code) {
    case rt::EVENT_SizeRequest:
    case rt::EVENT_MaximizeRequest:
    case rt::EVENT_IconizeRequest:
      return Level::Notify;  // the window keeps its size while a cell is edited
    case rt::EVENT_CloseDown:
    case rt::EVENT_CloseWindow:
    case rt::EVENT_Sized:
      TakeFocusLoss();
      // Asked to close, the user chose to go on editing (or the row could not be saved and
      // the user was told): closing now would drop what was typed.
      if (Again && event.code == rt::EVENT_CloseWindow) return Level::Notify;
      // The event is handed on once editing has ended, not carried out now.
      Repost = event.code;
      RepostField = event.control;
      if (MyWindow) MyWindow->SetHandled();
      return Level::Fatal;
    default: break;
  }
  Again = 1;
  if (const Byte level = WindowManager::TakeEvent()) return level;
  return Again ? Level::Ok : Level::Fatal;
}

Byte EIPManager::TakeFieldEvent() {
  const rt::EventRecord event = MyWindow ? MyWindow->CurrentEvent() : rt::EventRecord{};
  if (event.control == ListControl) return Level::Ok;
  for (EditColumn& entry : EQ->Entries()) {
    if (!entry.Control || entry.Column <= 0 || entry.Control->GetFeq() != event.control) continue;
    // The alerted keys are the edit's: Tab must not move the focus, Enter press no button.
    if (event.code == rt::EVENT_PreAlertKey) return Level::Notify;
    TakeAction(entry.Control->TakeEvent(event.code));
    return Level::Ok;
  }
  const Long type = rt::PropNumber(MyWindow ? MyWindow->GetProp(event.control, rt::PROP_Type, 0) : "");
  if (event.code == rt::EVENT_Selected && type == rt::CT_Button) return Level::Ok;  // its press decides
  TakeFocusLoss();
  if (Again) {
    // The user chose to go on editing: the click is dropped, not kept to act after the row ends.
    if (const EditColumn* entry = Current(); entry && entry->Control && MyWindow) MyWindow->Select(entry->Control->GetFeq());
    if (MyWindow) MyWindow->SetHandled();
    return Level::Ok;
  }
  switch (event.keyCode) {
    case rt::KEY_MouseLeft:
    case rt::KEY_MouseLeft2:
    case rt::KEY_MouseRight:
    case 6:  // the middle button
      // The click takes effect once editing has ended.
      Repost = event.code;
      RepostField = event.control;
      if (MyWindow) MyWindow->SetHandled();
      break;
    default: break;
  }
  return Level::Ok;
}

Byte EIPManager::TakeNewSelection() {
  const rt::EventRecord event = MyWindow ? MyWindow->CurrentEvent() : rt::EventRecord{};
  if (event.control == ListControl && event.keyCode == rt::KEY_MouseLeft) {
    const Long clicked = rt::PropNumber(ListProp(rt::PROP_ClickedColumn, 0));
    if (clicked >= 1 && clicked != Column) {
      ClearColumn();
      Column = clicked;
      ResetColumn();
    } else if (const EditColumn* entry = Current(); entry && entry->Control && MyWindow) {
      // The click took the focus to the list; the row is still edited in its cell.
      MyWindow->Select(entry->Control->GetFeq());
    }
  }
  return Level::Ok;
}

void EIPManager::TakeFocusLoss() { CompleteBy(FocusLoss); }

// ---- Actions and completions ----

void EIPManager::TakeAction(Long action) {
  if (action != EditAction::None && action != EditAction::Cancel) {
    if (EditColumn* entry = Current(); entry && entry->Control) action = entry->Control->TakeAccepted(static_cast<Byte>(action));
  }
  switch (action) {
    case EditAction::Forward: {
      const Long from = Column;
      ClearColumn();
      ++Column;
      SeekForward = 1;
      Next();
      if (Column != from) {
        ResetColumn();
        break;
      }
      // Back on the same column: the row is finished.
      CompleteBy(Tab);
      if (Tab && (*Tab & EIPSetting::Next) && !Again && VCRRequest) *VCRRequest = ToolbarButton::Down;
      break;
    }
    case EditAction::Backward:
      if (Column >= 2) {
        ClearColumn();
        --Column;
        ResetColumn();
      }
      break;
    case EditAction::Complete:
      CompleteBy(Enter);
      if (Enter && (*Enter & EIPSetting::Next) && !Again && VCRRequest) *VCRRequest = ToolbarButton::Down;
      break;
    case EditAction::Cancel: TakeCompleted(EIPComplete::Abandon); break;
    case EditAction::Next:
    case EditAction::Previous: {
      const Long column = Column;
      CompleteBy(Arrow);
      const Byte setting = Arrow ? *Arrow : 0;
      if (!Again && (setting & EIPSetting::Next) && VCRRequest)
        *VCRRequest = action == EditAction::Next ? ToolbarButton::Down : ToolbarButton::Up;
      if (!Again && (setting & EIPSetting::KeepColumn)) Column = column;
      break;
    }
    default: break;
  }
}

void EIPManager::CompleteBy(const Byte* setting) {
  switch ((setting ? *setting : 0) & 7) {
    case 0:
    case EIPSetting::Save: TakeCompleted(EIPComplete::Save); break;
    case EIPSetting::Abandon: TakeCompleted(EIPComplete::Abandon); break;
    default: TakeCompleted(EIPComplete::Ask); break;
  }
}

Byte EIPManager::TakeAcceptAll() {
  for (EditColumn& entry : EQ->Entries()) {
    if (entry.Column <= 0 || !entry.Control) continue;
    const Byte answer = entry.Control->TakeAccepted(EditAction::Forward);
    // A text that does not fit (0) is refused like a value the control refuses (4): the row
    // is not saved with the old value in its place.
    if ((entry.Control->Req && entry.Control->IsEmptyValue()) || answer == EditAction::Cancel || answer == EditAction::None) {
      ClearColumn();
      Column = entry.Column;
      Again = 1;
      ResetColumn();
      return 0;
    }
  }
  return 1;
}

void EIPManager::TakeCompleted(Byte code) {
  if ((code == EIPComplete::Save || code == EIPComplete::Ask) && !TakeAcceptAll()) return;
  Column = 1;
  if (Again) ResetColumn();
}

// ---- Helpers ----

rt::Window* EIPManager::ListWindow() const { return MyWindow ? MyWindow : rt::TopWindow(); }

std::string EIPManager::ListProp(Long property, Long index) const {
  const rt::Window* window = ListWindow();
  return window ? window->GetProp(ListControl, property, index) : std::string();
}

void EIPManager::SetListProp(Long property, std::string_view value, Long index) {
  if (rt::Window* window = ListWindow()) window->SetProp(ListControl, property, value, index);
}
