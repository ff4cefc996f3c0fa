// BrowseEIPManager: the browse's row prepared, saved or given up, and the browse reset after it.

#include "framework/eip/browse_eip_manager.h"

#include <algorithm>

#include "framework/browse/browse_class.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/error_class.h"
#include "framework/error/levels.h"
#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "runtime/data/view.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/window.h"

using rt::Byte;
using rt::Long;

namespace {

constexpr Long kSlotDoubleClick = 252;
constexpr Long kSaveRecordMessage = 38;  // "Save Record": Yes, No, Cancel
constexpr Byte kDeleteAsk = 4;
constexpr Byte kDeleteNever = 2;

}  // namespace

void UseEditInPlace(BrowseClass& browse) {
  browse.AskProcedure = 0;
  browse.SetEIPMaker([](BrowseClass& b) -> std::unique_ptr<BrowseEditInPlace> { return std::make_unique<BrowseEIPManager>(b); });
}

void AddEditControl(BrowseClass& browse, std::unique_ptr<EditClass> control, Long field) {
  RT_ASSERT(browse.EditList != nullptr, "AddEditControl before the browse's Init");
  if (browse.EditList) browse.EditList->Add(control.release(), field, 1, [](EditClass* c) { delete c; });
}

Byte BrowseEIPManager::Run(Byte request) {
  // Before the base Run looks at the list's alerts.
  TakeBrowseSettings();
  return EIPManager::Run(request);
}

void BrowseEIPManager::TakeBrowseSettings() {
  MyWindow = BC.Window && BC.Window->MyWindow ? BC.Window->MyWindow : rt::TopWindow();
  Errors = BC.Window ? BC.Window->Errors : nullptr;
  VCRRequest = BC.Window ? BC.Window->VCRRequest : nullptr;
  Primary = BC.Primary;
  Arrow = &BC.ArrowAction;
  Enter = &BC.EnterAction;
  FocusLoss = &BC.FocusLossAction;
  Tab = &BC.TabAction;
  EQ = BC.EditList.get();
  Fields = BC.Fields.get();
  ListControl = BC.ILC->GetControl();
  DeleteKeyAction = BC.DeleteAction;
}

Byte BrowseEIPManager::Init() {
  Response = 0;  // a row that is not edited (a delete) never reaches the base Init, which clears it
  TakeBrowseSettings();
  BC.CurrentChoice = BC.ILC->Choice();
  switch (Req) {
    case Request::Insert:
      if (const Byte level = InitInsert()) return level;
      break;
    case Request::Change:
      if (BC.ListQueue->Records() == 0) return Level::Fatal;
      BC.CurrentChoice = std::clamp<Long>(BC.CurrentChoice, 1, BC.ListQueue->Records());
      BC.ListQueue->Fetch(BC.CurrentChoice);
      BC.Fields->AssignLeftToRight();
      BC.ListQueue->Update();
      BC.Primary->Save();
      if (rt::Keycode() == rt::KEY_MouseLeft2)
        if (const Long clicked = rt::PropNumber(ListProp(rt::PROP_ClickedColumn, 0)); clicked >= 1) Column = clicked;
      break;
    case Request::Delete: return DeleteRow();
    default:
      RT_ASSERT(false, "BrowseEIPManager: request " + std::to_string(Req) + " cannot be edited in place");
      Response = Response::Cancelled;
      return Level::Fatal;
  }
  BC.ListQueue->Fetch(BC.CurrentChoice);
  SetListProp(rt::PROP_Alrt, "", kSlotDoubleClick);  // a double click must not start another edit
  Saved = BC.Primary->Me->SaveBuffer();
  return EIPManager::Init();
}

Byte BrowseEIPManager::InitInsert() {
  if (Insert == EIPInsert::AtEnd && BC.ListQueue->Records() > 0) BC.ScrollEnd(EventScrollBottom);
  if (BC.PrimeRecord() != Level::Ok) {
    Response = Response::Cancelled;
    return Level::Fatal;
  }
  BC.Primary->Save();
  const Long rows = BC.ListQueue->Records();
  if (rows == 0) {
    BC.CurrentChoice = 1;
  } else {
    const bool afterLast = Insert != EIPInsert::Before && BC.CurrentChoice >= rows;
    if (Insert != EIPInsert::Before) ++BC.CurrentChoice;
    if (BC.LastItems > 0 && rows >= BC.LastItems) {
      // The page keeps its size: one row goes at the far end from the new one.
      BC.ListQueue->Fetch(afterLast ? 1 : rows);
      BC.ListQueue->Delete();
      if (afterLast) --BC.CurrentChoice;
    }
  }
  BC.Fields->ClearRight();
  WasPrimed = !BC.Fields->EqualLeftRight();
  BC.SetQueueRecord();
  BC.ListQueue->Insert(BC.CurrentChoice);
  BC.ILC->SetChoice(BC.CurrentChoice);
  if (MyWindow) MyWindow->Display(ListControl);
  Column = 1;
  return Level::Ok;
}

Byte BrowseEIPManager::DeleteRow() {
  if (DeleteKeyAction == kDeleteNever || BC.ListQueue->Records() == 0) {
    Response = Response::Cancelled;
    return Level::Fatal;
  }
  const Byte result = BC.Primary->Delete(DeleteKeyAction == kDeleteAsk ? 1 : 0);
  Response = result == Level::Ok ? Response::Completed : Response::Cancelled;
  return Level::Fatal;
}

Byte BrowseEIPManager::Kill() {
  // A row still in a cell (the window was closed under it) is stored before the page reloads.
  ClearColumn();
  Byte request = Req;
  BC.ResetFromAsk(request, Response);
  return EIPManager::Kill();
}

Byte BrowseEIPManager::TakeNewSelection() {
  const rt::EventRecord event = MyWindow ? MyWindow->CurrentEvent() : rt::EventRecord{};
  if (event.control == ListControl && BC.ILC->Choice() != BC.CurrentChoice) {
    TakeFocusLoss();
    if (Again) {
      BC.ILC->SetChoice(BC.CurrentChoice);  // the row being edited keeps the highlight
      return Level::Ok;
    }
    BC.CurrentChoice = BC.ILC->Choice();
    Response = Response::Cancelled;
    return Level::Fatal;
  }
  return EIPManager::TakeNewSelection();
}

void BrowseEIPManager::ClearColumn() {
  // The list shows the stored row, not the buffer the controls edit: store what was typed.
  if (LastColumn != 0 && BC.ListQueue->Records() > 0) BC.ListQueue->Update();
  EIPManager::ClearColumn();
}

void BrowseEIPManager::TakeCompleted(Byte force) {
  if ((force == EIPComplete::Save || force == EIPComplete::Ask) && !TakeAcceptAll()) return;
  Again = 0;
  ClearColumn();
  Long answer = force == EIPComplete::Ask ? EIPComplete::Save : force;
  if (answer != EIPComplete::Abandon) {
    BC.Fields->AssignRightToLeft();
    if (BC.Primary->Me->EqualBuffer(Saved) && !WasPrimed) {
      answer = EIPComplete::Abandon;  // nothing to save
    } else if (force == EIPComplete::Ask) {
      answer = Errors ? Errors->Message(kSaveRecordMessage, rt::BUTTON_YES + rt::BUTTON_NO + rt::BUTTON_CANCEL, rt::BUTTON_YES)
                      : rt::BUTTON_YES;
    }
  }
  switch (answer) {
    case rt::BUTTON_CANCEL: Again = 1; break;
    case rt::BUTTON_YES: SaveRow(); break;
    case rt::BUTTON_NO:
      if (Req == Request::Insert) RemoveInsertedRow();
      break;
    default: break;
  }
  EIPManager::TakeCompleted(EIPComplete::Abandon);
}

void BrowseEIPManager::SaveRow() {
  rt::UShort before = BC.Primary->Me->SaveBuffer();
  const Byte result = Req == Request::Insert ? BC.Primary->Insert() : BC.Primary->Update();
  if (result != Level::Ok) {
    Again = 1;
  } else {
    Response = Response::Completed;
  }
  // A refused save leaves what the user typed in the record, not what the file gave back.
  BC.Primary->Me->RestoreBuffer(before, Again);
  BC.View->Flush();
}

void BrowseEIPManager::RemoveInsertedRow() {
  if (BC.ListQueue->Records() > 0) {
    BC.ListQueue->Fetch(BC.CurrentChoice);
    BC.ListQueue->Delete();
    if (Insert != EIPInsert::Before && BC.CurrentChoice > 1) --BC.CurrentChoice;
  }
  BC.Primary->CancelAutoInc();
}
