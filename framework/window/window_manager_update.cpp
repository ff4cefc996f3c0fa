// WindowManager on an update form: priming, the insert, change, delete and save actions with
// their questions and retries, and closing with unsaved changes.

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/window.h"

using rt::Byte;
using rt::Long;

namespace {
// The level PrimeUpdate returns when the form is not to be shown.
constexpr Byte kDoNotOpen = Level::Fatal;
}  // namespace

Byte WindowManager::PrimeUpdate() {
  RT_ASSERT(Primary != nullptr, "WindowManager::PrimeUpdate without a Primary file");
  if (!Primary) return kDoNotOpen;
  Primary->Me->UseFile(UseType::Updates);
  Primary->Save();
  if (Files)
    for (FileEntry& entry : *Files) entry.Saved = entry.File->SaveBuffer();
  if (Request == Request::Insert && InsertAction != Insert::None) {
    // PrimeFields may refuse the insert by leaving the response cancelled.
    Response = Response::Completed;
    PrimeFields();
    if (Response == Response::Cancelled) return kDoNotOpen;
    Response = Response::Cancelled;
  }
  if (Request == Request::Delete && (DeleteAction == Delete::Confirm || DeleteAction == Delete::Silent)) {
    const Byte deleted = Primary->Delete(DeleteAction == Delete::Confirm);
    Response = deleted == Level::Ok ? Response::Completed : Response::Cancelled;
    return kDoNotOpen;
  }
  Saved = Primary->Me->SaveBuffer();
  return Level::Ok;
}

// ---- Insert ----

Byte WindowManager::DoInsertAction() {
  if (Primary->Insert() != Level::Ok) {
    // The relation manager told the user; the form stays for the correction.
    SelectFirstField();
    return Level::Notify;
  }
  if (InsertAction == Insert::Close) {
    SetResponse(Response::Completed);
    return Level::Ok;
  }
  if (InsertAction == Insert::Ask) {
    if (ThrowById(3) != Level::Ok) {
      SetResponse(Response::Completed);
      return Level::Ok;
    }
  } else if (InsertAction != Insert::Repeat) {
    return Level::Ok;
  }
  return RepeatInsert(true);
}

Byte WindowManager::RepeatInsert(bool restorePrimary) {
  FileManager& me = *Primary->Me;
  LastInsertedPosition = me.Position();
  if (Files) {
    for (FileEntry& entry : *Files) {
      entry.File->RestoreBuffer(entry.Saved, 1);
      entry.Saved = entry.File->SaveBuffer();
    }
  }
  if (restorePrimary) me.RestoreBuffer(Saved, 1);  // back to the primed record
  me.UseFile(UseType::Updates);
  if (me.PrimeAutoInc() != Level::Ok) {
    PostToWindow(rt::EVENT_CloseWindow);
  } else {
    PrimeFields();
    Response = Response::Cancelled;
  }
  SaveAgain();
  Refresh();
  SelectFirstField();
  return Level::Notify;
}

void WindowManager::SaveAgain() {
  if (Saved != 0) Primary->Me->RestoreBuffer(Saved, 0);
  Saved = Primary->Me->SaveBuffer();
}

// ---- Change and save ----

Byte WindowManager::UpdateWithRetry(bool closeOnNo, bool& changed) {
  for (;;) {
    Response = Response::Cancelled;
    rt::SetWaitCursor(true);
    changed = !Primary->Me->EqualBuffer(Saved);
    const Byte result = changed ? Primary->Update(HistoryKey != 0) : Level::Ok;
    rt::SetWaitCursor(false);
    if (result == Level::Ok) return result;
    if (result == Level::Ask) {
      const Long answer = Question(37);
      if (answer == rt::BUTTON_YES) continue;
      if (answer == rt::BUTTON_NO) {
        if (closeOnNo) PostToWindow(rt::EVENT_CloseWindow);
        return result;
      }
    }
    Refresh();
    SelectFirstField();
    return result;
  }
}

Byte WindowManager::SaveOnChangeAction() {
  bool changed = false;
  if (UpdateWithRetry(false, changed) == Level::Ok) {
    SaveAgain();
    DisableCancelControls();
  }
  Request = Request::Change;
  return Level::Notify;
}

Byte WindowManager::SaveOnInsertAction() {
  if (BeforeSaveRequest == Request::Insert) {
    if (Primary->Insert() != Level::Ok) {
      Request = Request::Insert;
    } else {
      Request = Request::Change;
      SelectFirstField();
      SaveAgain();
      DisableCancelControls();
    }
    return Level::Notify;
  }
  // Saved before: what is left is a change of the record already added.
  Request = Request::Change;
  if (Primary->Me->EqualBuffer(Saved)) return Level::Notify;
  return SaveOnChangeAction();
}

Byte WindowManager::DoChangeAction() {
  bool changed = false;
  const Byte result = UpdateWithRetry(OriginalRequest != Request::Insert, changed);
  // A failed update leaves the user on the form: it neither completes nor closes.
  if (result != Level::Ok) return Level::Notify;
  // Nothing changed completes only when no toolbar navigation is pending.
  if (changed || (Toolbar && PendingVcr() == 0)) Response = Response::Completed;
  if (OriginalRequest == Request::Change && ChangeAction == Change::Close) PostToWindow(rt::EVENT_CloseWindow);
  if (OriginalRequest == Request::Insert && Response == Response::Completed) {
    // An insert form that was saved before completes here.
    EnableCancelControls();
    Request = Request::Insert;
    if (InsertAction == Insert::Repeat) return RepeatInsert(false);
    if (ChangeAction == Change::Close) PostToWindow(rt::EVENT_CloseWindow);
  }
  return Level::Ok;
}

// ---- Delete ----

Byte WindowManager::DoDeleteAction() {
  for (;;) {
    Response = Response::Cancelled;
    rt::SetWaitCursor(true);
    const Byte result = Primary->Delete(DeleteAction == Delete::Confirm);
    rt::SetWaitCursor(false);
    // A declined confirmation ends the form as done: the caller has nothing to redo.
    if (result == Level::Ok || result == Level::Cancel) {
      SetResponse(Response::Completed);
      return Level::Ok;
    }
    const Long answer = Question(36);
    if (answer == rt::BUTTON_YES) continue;
    if (answer == rt::BUTTON_NO) {
      PostToWindow(rt::EVENT_CloseWindow);
    } else {
      Refresh();
      SelectFirstField();
    }
    return Level::Ok;
  }
}

// ---- Closing with unsaved changes ----

Byte WindowManager::TakeCloseEvent() {
  if (Response == Response::Completed || !Primary) return Level::Ok;
  const bool editing = Request == Request::Insert || Request == Request::Change;
  if (CancelAction != 0 && editing && !Primary->Me->EqualBuffer(Saved)) {
    const bool save = CancelAction & Cancel::Save;
    const bool ask = CancelAction & Cancel::Ask;
    if (save && !ask) {
      PostToWindow(rt::EVENT_Accepted, OkControl);  // the OK path saves
      return Level::Notify;
    }
    if (save) {
      const Long answer = Question(38);
      if (answer == rt::BUTTON_YES) {
        PostToWindow(rt::EVENT_Accepted, OkControl);
        return Level::Notify;
      }
      if (answer != rt::BUTTON_NO) {
        SelectFirstField();
        return Level::Notify;
      }
    } else if (ThrowById(10) == Level::Cancel) {
      SelectFirstField();
      return Level::Notify;
    }
  }
  if (OriginalRequest == Request::Insert && Response == Response::Cancelled && Primary->CancelAutoInc() != Level::Ok) {
    SelectFirstField();
    return Level::Notify;
  }
  if (!LastInsertedPosition.empty()) {
    // Records were added in repeat mode: the caller gets the last of them.
    Response = Response::Completed;
    Primary->Me->TryReget(LastInsertedPosition);
  }
  return Level::Ok;
}
