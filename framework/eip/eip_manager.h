#pragma once
// EIPManager: edits one row of a list in place. A WindowManager that runs its own event loop on
// the list's window while the row is edited: one edit control at a time is laid over a cell,
// Tab and Shift+Tab move between the editable columns, Enter, Esc and the arrow keys end the row
// by the action settings it was given. Owns the edit controls it makes for columns nobody gave
// one (through the column list, freed with it); never the column list, the field pairs, the
// settings, the list or the window. Calls runtime/ui on the window's program thread.
//
// Subclass contract (BrowseEIPManager is the one in this module): before Run, set EQ, Fields,
// ListControl, MyWindow and the four settings; override TakeCompleted(code) to save (calling
// this one last with 4 ends the row), and Init/Kill to prepare and finish the row, calling these.
//
// Action settings (the bytes Arrow, Enter, Tab and FocusLoss point to): the low three bits
// choose the completion (0 and 1 save, 2 abandons, any other value asks); bit value 8 goes on
// to the next (Up: the previous) record through the toolbar's request; bit value 16 (arrows)
// keeps the column for that record.

#include "framework/browse/edit_in_place.h"
#include "framework/window/window_manager.h"
#include "runtime/core/types.h"

class FieldPairsClass;

namespace EIPSetting {
inline constexpr rt::Byte Save = 1;
inline constexpr rt::Byte Abandon = 2;
inline constexpr rt::Byte Ask = 3;
inline constexpr rt::Byte Next = 8;        // go on to the next (or previous) record
inline constexpr rt::Byte KeepColumn = 16;  // arrows: the same column on that record
}  // namespace EIPSetting

// Completion codes of TakeCompleted.
namespace EIPComplete {
inline constexpr rt::Byte Ask = 0;
inline constexpr rt::Byte Save = 2;
inline constexpr rt::Byte Abandon = 4;
}  // namespace EIPComplete

// Where an inserted row goes (EIPManager::Insert).
namespace EIPInsert {
inline constexpr rt::Byte Before = 9;
inline constexpr rt::Byte AtEnd = 10;  // any other value: after the current row
}  // namespace EIPInsert

class EIPManager : public WindowManager {
 public:
  using WindowManager::Run;
  using WindowManager::TakeCompleted;

  // Edits the row for `request` until a completion ends it; returns the response.
  rt::Byte Run(rt::Byte request);
  // A column's control (null: the field is shown but not edited).
  void AddControl(EditClass* control, rt::Long field, rt::Byte freeUp);

  // ---- WindowManager operations it overrides ----
  rt::Byte Init() override;
  rt::Byte Kill() override;
  rt::Byte TakeEvent() override;
  rt::Byte TakeFieldEvent() override;
  rt::Byte TakeNewSelection() override;

  // ---- Virtual operations, in slot order ----
  virtual void ClearColumn();
  virtual void InitControls();
  virtual rt::Byte GetEdit();  // the column has a control and the list has that column
  virtual void ResetColumn();
  virtual rt::Byte TakeAcceptAll();
  virtual void TakeAction(rt::Long action);
  virtual void TakeCompleted(rt::Byte code);
  virtual void TakeFocusLoss();

  void Next();  // Column becomes the nearest editable column (searching by SeekForward)

  // ---- Members, in declaration order ----
  rt::Byte Again = 0;
  rt::Byte* Arrow = nullptr;
  rt::Long Column = 0;
  rt::Byte* Enter = nullptr;
  EditColumnList* EQ = nullptr;
  FieldPairsClass* Fields = nullptr;
  rt::Byte* FocusLoss = nullptr;
  rt::Byte Insert = 0;
  rt::Long ListControl = 0;
  rt::Byte LastColumn = 0;
  rt::Long Repost = 0;
  rt::Long RepostField = 0;
  rt::Byte Req = 0;
  rt::Byte SeekForward = 0;
  rt::Byte* Tab = nullptr;
  rt::Byte MouseLeftIndex = 0;
  rt::Byte WasPrimed = 0;
  rt::Byte DeleteKeyAction = 0;

 protected:
  // Completes the row as `setting` (one of Arrow, Enter, Tab, FocusLoss) says.
  void CompleteBy(const rt::Byte* setting);
  EditColumn* Current() { return EQ ? EQ->FindColumn(Column) : nullptr; }
  rt::Window* ListWindow() const;
  std::string ListProp(rt::Long property, rt::Long index) const;
  void SetListProp(rt::Long property, std::string_view value, rt::Long index);

 private:
  bool running_ = false;  // Init got as far as making the controls
};
