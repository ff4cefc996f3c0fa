// UpdateAFile: the form on which one AFile record is added, changed, deleted or viewed. The
// caller (the browse, on its own thread) leaves the request in GlobalRequest and the record in
// the thread's AFile buffer; the window manager primes, confirms, saves and retries, and the
// outcome goes back in GlobalResponse. A view shows the record read-only and always answers
// Cancelled, so a caller never takes a view for a change.

#include <string>

#include "app/afile_record.h"
#include "app/dictionary.h"
#include "app/globals.h"
#include "app/procedure_window.h"
#include "app/procedures.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "runtime/core/thread.h"
#include "runtime/ui/binding.h"
#include "runtime/ui/events.h"
#include "runtime/ui/window.h"
#include "runtime/ui/window_def.h"

using rt::Byte;
using rt::ControlDef;
using rt::Long;

namespace {

// The values the history key gives back: the record as it was at the last accept-all pass.
rt::PerThread<AFI_Record> HistoryAFIRecord{"History_AFI_Record"};

enum FormControl : Long {
  kCurrentTab = 1,
  kGeneralTab,
  kIdPrompt,
  kId,
  kAstringPrompt,
  kAstring,
  kAdecimalPrompt,
  kAdecimal,
  kAdatePrompt,
  kAdate,
  kAtimePrompt,
  kAtime,
  kOk,
  kCancel,
  kHelp,
};

// Each entry with the record field it shows (its number in the record).
struct FormField {
  Long control;
  Long fieldNo;
};
constexpr FormField kFields[] = {{kId, 1}, {kAstring, 2}, {kAdecimal, 3}, {kAdate, 4}, {kAtime, 5}};

rt::WindowDef UpdateDef(AFI_Record& afi) {
  rt::WindowDef def;
  def.title = "Form AFile";
  def.font = "MS Sans Serif,8";
  def.modal = true;
  def.resizable = true;
  def.x = 80;
  def.y = 60;
  def.width = 216;
  def.height = 122;
  def.Add(ControlDef::Sheet().At(4, 4, 208, 94));
  def.Add(ControlDef::Tab("&1) General").In(kCurrentTab).At(4, 18, 208, 80));
  const auto row = [&](const char* prompt, ControlDef entry, Long y, Long width) {
    def.Add(ControlDef::Prompt(prompt).In(kGeneralTab).At(12, y + 2, 48, 10));
    def.Add(entry.In(kGeneralTab).At(64, y, width, 12));
  };
  row("ID:", ControlDef::Entry("@n-14", rt::Bind(afi.ID)), 24, 64);
  row("Astring:", ControlDef::Entry("@s20", rt::Bind(afi.ASTRING)), 38, 84);
  row("Adecimal:", ControlDef::Entry("@n-10.2", rt::Bind(afi.ADECIMAL)), 52, 48);
  row("Adate:", ControlDef::Entry("@d17", rt::Bind(afi.ADATE)), 66, 52);
  row("Atime:", ControlDef::Entry("@t7", rt::Bind(afi.ATIME)), 80, 36);
  def.Add(ControlDef::Button("&OK").At(58, 102, 48, 16).Icon("OK.ICO").Tip("Accept data and close the window"));
  def.Add(ControlDef::Button("&Cancel").At(110, 102, 48, 16).Icon("CANCEL.ICO").Tip("Cancel operation"));
  def.Add(ControlDef::Button("&Help").At(162, 102, 48, 16).Icon("HELP.ICO").Tip("See Help Window"));
  return def;
}

// The title the form shows for a request; empty for any other.
std::string ActionMessage(Byte request) {
  switch (request) {
    case Request::View: return "View Record";
    case Request::Insert: return "Record Will Be Added";
    case Request::Change: return "Record Will Be Changed";
    default: return {};
  }
}

class ThisWindow final : public ProcedureWindow {
 public:
  ThisWindow(rt::Window& window, ToolbarClass& toolbar, ProcedureResizer& resizer)
      : ProcedureWindow("UpdateAFile", window, toolbar, &resizer) {}

  void Ask() override {
    TheWindow().SetProp(rt::PROP_Text, ActionMessage(Request));
    WindowManager::Ask();
  }

  Byte Init() override {
    const Byte level = BeginInit(kIdPrompt);  // the prompt hands the focus on to its entry
    if (level != Level::Ok) return level;
    HistoryKey = kHistoryKey;
    AddHistoryFile(AFileLayout(), &AFile->AFI, &*HistoryAFIRecord);
    for (const FormField& field : kFields) AddHistoryField(field.control, field.fieldNo);
    AddUpdateFile(**Access_AFile);
    AddItem(kCancel, Response::Cancelled);
    RelationManager& relate = **Relate_AFile;
    relate.Open(0);
    FilesOpened = 1;
    Primary = &relate;
    const bool existing = Request == Request::Change || Request == Request::Delete || Request == Request::View;
    if (existing && ReadRecordAgain() != Level::Ok) return Level::Notify;
    if (Request == Request::View && !BatchProcessing) {
      // Nothing is saved; OK only closes (TakeAccepted).
      InsertAction = Insert::Stay;
      DeleteAction = Delete::None;
      ChangeAction = 1;
      CancelAction = 0;
      OkControl = 0;
    } else {
      ChangeAction = Change::Close;
      CancelAction = Cancel::Ask;
      OkControl = kOk;
      // A delete done without the form, or a refused priming: the form is not shown.
      if (PrimeUpdate() != Level::Ok) return Level::Notify;
    }
    OpenAndPlace();
    if (Request == Request::View)
      for (const FormField& field : kFields) TheWindow().SetProp(field.control, rt::PROP_ReadOnly, "1", 0);
    return Level::Ok;
  }

  Byte TakeAccepted() override {
    const Byte result = WindowManager::TakeAccepted();
    if (TheWindow().CurrentEvent().control == kOk) {
      Update();
      if (Request == Request::View && !BatchProcessing) TheWindow().Post(rt::EVENT_CloseWindow);
    }
    return result;
  }

  Byte Run() override {
    const Byte response = WindowManager::Run();
    return Request == Request::View ? Response::Cancelled : response;
  }
  using WindowManager::Run;

  Byte Kill() override {
    // Closed while the procedure's name still stands: the thread's registry files the use
    // under it and gives the caller its record back by it.
    if (!Dead && FilesOpened) {
      (*Relate_AFile)->Close(0);
      FilesOpened = 0;
    }
    return ProcedureWindow::Kill();
  }

 private:
  // The caller's record is read again, watched, so that a save is refused when another
  // station changes the record after this read; a record another station deleted is reported
  // (message 9) and the form is not shown.
  Byte ReadRecordAgain() {
    FileManager& me = *Primary->Me;
    const std::string position = me.Position();
    me.File->Watch();
    if (me.TryReget(position) == Level::Ok) return Level::Ok;
    me.Throw(9);
    return Level::Notify;
  }
};

}  // namespace

void UpdateAFile() {
  RunProcedure<ThisWindow>(UpdateDef(AFile->AFI));
}
