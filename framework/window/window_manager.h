#pragma once
// WindowManager: runs one window procedure from start to end. It opens the window, runs its
// event loop and hands every event to its own handlers, to the resizer and to every registered
// component, and on an update form carries out insert, change, delete and save with their
// confirmations and retries. Owns its lists (components, closing buttons, update files, field
// history) and the binding scope it opens; never the window, the files, the components, the
// toolbar, the resizer or the error manager, which the procedure keeps. Calls runtime/ui on the
// window's own program thread, the relation and file managers, and ErrorClass by error id.
//
// Subclass contract: a window procedure derives a ThisWindow and overrides Init (calling this
// Init first, then opening its files, setting Primary, Errors, FirstField, OkControl and the
// actions, calling PrimeUpdate on a form, opening the window with Open(window) and registering
// components) and Kill (calling this Kill first, then closing its files). It may override any
// Take... handler, calling the parent's. Overriding one Open or Run overload hides the other:
// add `using WindowManager::Open;` (Run). Created empty; Run is Init -> Ask -> Kill; the
// destructor calls Kill, which does nothing a second time (a caller of Init without Run must
// call Kill itself while the components it registered still live).

#include <memory>
#include <string>
#include <vector>

#include "framework/error/levels.h"
#include "framework/window/window_component.h"
#include "runtime/core/types.h"

namespace rt {
struct EventRecord;
class RecordLayout;
class Window;
}  // namespace rt
class ErrorClass;
class FileManager;
class RelationManager;
class ToolbarClass;
class WindowResizeClass;

// What a procedure is called to do, in the caller's GlobalRequest.
namespace Request {
inline constexpr rt::Byte Insert = 1;
inline constexpr rt::Byte Change = 2;
inline constexpr rt::Byte Delete = 3;
inline constexpr rt::Byte Select = 4;
inline constexpr rt::Byte Print = 5;
inline constexpr rt::Byte View = 6;
inline constexpr rt::Byte Save = 7;  // internal: Save was pressed; BeforeSaveRequest holds the request
}  // namespace Request

namespace Response {
inline constexpr rt::Byte Completed = 1;
inline constexpr rt::Byte Cancelled = 2;
}  // namespace Response

// The settings InsertAction, ChangeAction, DeleteAction and CancelAction.
namespace Insert {
inline constexpr rt::Byte None = 0;    // no priming, nothing after an insert
inline constexpr rt::Byte Stay = 1;
inline constexpr rt::Byte Close = 2;
inline constexpr rt::Byte Repeat = 3;  // prime the next record and stay
inline constexpr rt::Byte Ask = 4;     // "Record Added": another one repeats, else close
}  // namespace Insert
namespace Change {
inline constexpr rt::Byte Close = 2;   // any other value keeps the form open
}  // namespace Change
namespace Delete {
inline constexpr rt::Byte None = 1;
inline constexpr rt::Byte Confirm = 2;  // at once with the confirmation, without the form
inline constexpr rt::Byte OnForm = 3;   // show the record; OK deletes without asking
inline constexpr rt::Byte Silent = 4;   // at once, without asking
}  // namespace Delete
namespace Cancel {
inline constexpr rt::Byte Save = 1;  // bit: pending changes are saved, not lost
inline constexpr rt::Byte Ask = 2;   // bit: ask first
}  // namespace Cancel

// Bits of WindowManager::Inited.
namespace InitedBit {
inline constexpr rt::Byte Opened = 1;     // Open() has run
inline constexpr rt::Byte FirstSized = 2;  // the size event of the opening was seen
}  // namespace InitedBit

// The key that recalls a field's history value on the update forms (Ctrl+H).
inline constexpr rt::Long kHistoryKey = 584;

// A component that can pick a record for the window's caller (a browse list): registered with
// AddItem, it learns whether its window was opened with Request::Select.
class SelectingComponent : public WindowComponent {
 public:
  virtual void SetSelecting(rt::Byte selecting) = 0;

 protected:
  ~SelectingComponent() = default;
};

class WindowManager {
 public:
  struct ComponentEntry {
    rt::Long Kind = 0;  // 0: a standard component
    WindowComponent* Component = nullptr;
  };
  struct ButtonEntry {
    rt::Long Control = 0;
    rt::Byte Action = 0;  // the response the button ends the window with
  };
  struct FileEntry {
    FileManager* File = nullptr;
    rt::UShort Saved = 0;
  };
  struct HistoryEntry {
    const rt::RecordLayout* Layout = nullptr;
    void* Record = nullptr;   // the file's record buffer
    void* History = nullptr;  // a buffer of the same layout holding the recalled values
    rt::Long Control = 0;
    rt::Long FieldNo = 0;
  };

  WindowManager() = default;
  virtual ~WindowManager();
  WindowManager(const WindowManager&) = delete;
  WindowManager& operator=(const WindowManager&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual void Ask();
  virtual rt::Byte Init();
  virtual rt::Byte Kill();
  virtual void Open();
  virtual void Open(rt::Window& window, rt::Window* owner = nullptr);
  virtual rt::Byte PrimeFields();
  virtual rt::Byte PrimeUpdate();  // 0: go on; 3: the form is not to be shown
  virtual void Reset(rt::Byte force = 0);
  virtual void RestoreField(rt::Long control);
  virtual rt::Byte Run();
  virtual rt::Byte Run(rt::UShort number, rt::Byte request);
  virtual void SetAlerts();
  virtual void SetResponse(rt::Byte response);
  virtual rt::Byte TakeAccepted();
  virtual rt::Byte TakeCompleted();
  virtual rt::Byte TakeCloseEvent();
  virtual rt::Byte TakeEvent();
  virtual rt::Byte TakeFieldEvent();
  virtual rt::Byte TakeNewSelection();
  virtual rt::Byte TakeNotify(rt::Long code, rt::Long thread, rt::Long parameter);
  virtual rt::Byte TakeRejected();
  virtual rt::Byte TakeSelected();
  virtual rt::Byte TakeWindowEvent();
  virtual void Update();
  virtual void TakeDisableButton(rt::Long control, rt::Byte disable);
  // The operations that carry out the settings InsertAction, ChangeAction and DeleteAction.
  virtual rt::Byte DoInsertAction();
  virtual rt::Byte DoChangeAction();
  virtual rt::Byte DoDeleteAction();
  virtual rt::Byte SaveOnChangeAction();
  virtual rt::Byte SaveOnInsertAction();

  // ---- Registering (after Init) ----
  void AddItem(WindowComponent& component);
  void AddItem(SelectingComponent& component);  // and tells it whether Request is Request::Select
  void AddItem(ToolbarClass& toolbar);       // the toolbar is initialised here
  void AddItem(WindowResizeClass& resizer);  // gets every event; not a component
  void AddItem(rt::Long control, rt::Byte action);  // pressing it ends the window with `action`
  void RemoveItem(WindowComponent& component);
  void AddUpdateFile(FileManager& file);
  // The buffers the following AddHistoryField calls use: the record and its history copy, both
  // laid out by `layout`.
  void AddHistoryFile(const rt::RecordLayout& layout, void* record, void* history);
  void AddHistoryField(rt::Long control, rt::Long fieldNo);

  // ---- Helpers the handlers use ----
  void SaveHistory();
  void ResetBuffers(rt::Byte force);
  void PostCompleted();
  void DisableCancelControls();
  void EnableCancelControls();

  // ---- Members, in declaration order ----
  rt::Byte AutoRefresh = 0;
  rt::Byte AutoToolbar = 0;
  std::unique_ptr<std::vector<ButtonEntry>> Buttons;
  std::unique_ptr<std::vector<ComponentEntry>> CL;
  rt::Byte CancelAction = 0;
  rt::Byte ChangeAction = 0;
  rt::Byte Dead = 0;
  rt::Byte DeleteAction = 0;
  rt::Byte BatchProcessing = 0;
  ErrorClass* Errors = nullptr;
  std::unique_ptr<std::vector<FileEntry>> Files;
  rt::Byte FilesOpened = 0;
  rt::Long FirstField = 0;
  rt::Byte ForcedReset = 0;
  std::unique_ptr<std::vector<HistoryEntry>> History;  // in order of Control
  rt::Long HistoryKey = 0;
  rt::Byte Inited = 0;
  rt::Byte InsertAction = 0;
  std::string LastInsertedPosition;
  rt::Long OkControl = 0;
  rt::Long SaveControl = 0;
  rt::Byte DisableCancelButton = 0;
  rt::Byte Opened = 0;
  rt::Byte OriginalRequest = 0;
  rt::Byte RecordSaved = 0;
  rt::Byte BeforeSaveRequest = 0;
  RelationManager* Primary = nullptr;
  rt::Byte Request = 0;
  rt::Byte ResetOnGainFocus = 0;
  WindowResizeClass* Resize = nullptr;
  rt::Byte Response = 0;
  rt::UShort Saved = 0;
  void* FormVCR = nullptr;  // hook for form navigation; nothing sets it
  ToolbarClass* Toolbar = nullptr;
  void* Translator = nullptr;  // hook for translating window texts; nothing sets it
  rt::Long* VCRRequest = nullptr;  // the toolbar's pending navigation request (the thread's)
  rt::Window* MyWindow = nullptr;
  rt::Window* OwnerWindow = nullptr;

 private:
  const rt::EventRecord& CurrentEvent() const;
  rt::Long& PendingVcr();  // *VCRRequest, or a stand-in while none is set
  void SelectFirstField();
  void Refresh();
  void PostToWindow(rt::Long event, rt::Long control = 0);
  rt::Long Question(rt::Long id);  // a Yes/No/Cancel question by error id; the pressed button
  rt::Byte ThrowById(rt::Long id);
  // Updates the primary record with the retry question; `closeOnNo`: No closes the window.
  // Sets `changed` to whether there was anything to save. Returns the update's result.
  rt::Byte UpdateWithRetry(bool closeOnNo, bool& changed);
  // Primes the next record after an insert and stays on the form (Level::Notify).
  rt::Byte RepeatInsert(bool restorePrimary);
  // The record as it is now becomes the one a close compares with; the earlier copy is freed.
  void SaveAgain();

  HistoryEntry historyFile_;  // AddHistoryFile's buffers, for the AddHistoryField calls that follow
  rt::Long vcrStandIn_ = 0;
  bool bindPushed_ = false;
};
