#pragma once
// EditClass and EditEntryClass: the control that edits one cell of a list in place. The
// control is made on the list's window when editing starts (Init) and destroyed when it ends
// (Kill); it is bound to the list queue's field of its column and shows it by that column's
// picture. Owns the control it made; never the edited value, the list or the window. Calls
// runtime/ui on the window's own program thread (the thread's top window while it edits).
//
// Subclass contract: a control of another kind overrides CreateControl (make the control on
// the top window with `picture` and `binding`, store its number in FEQ); it may override
// TakeEvent to map more keys to actions, and TakeAccepted to refuse a value (answer 4).

#include <string>

#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"
#include "runtime/ui/binding.h"

namespace rt {
class Window;
}

// What EditClass::TakeEvent asks of the manager.
namespace EditAction {
inline constexpr rt::Byte None = 0;
inline constexpr rt::Byte Forward = 1;   // Tab: the next column
inline constexpr rt::Byte Backward = 2;  // Shift+Tab: the previous column
inline constexpr rt::Byte Complete = 3;  // Enter
inline constexpr rt::Byte Cancel = 4;    // Esc: abandon the row (as an answer: the value is refused)
inline constexpr rt::Byte Next = 5;      // Down: the next row
inline constexpr rt::Byte Previous = 6;  // Up: the previous row
}  // namespace EditAction

class EditClass {
 public:
  EditClass() = default;
  virtual ~EditClass() { EditClass::Kill(); }
  EditClass(const EditClass&) = delete;
  EditClass& operator=(const EditClass&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual void CreateControl();  // the base makes none: a class without a control is a programming error
  // `column` of list control `listBox`; `value` is the list queue's field the cell shows.
  virtual void Init(rt::Long column, rt::Long listBox, rt::FieldRef value);
  virtual void Kill();
  virtual void SetAlerts();
  virtual void SetReadOnly(rt::Byte flag);
  // Writes the control's text into the value; the action back, or 0 when the text does not fit
  // the picture (the value keeps what it held, the cell stays open).
  virtual rt::Byte TakeAccepted(rt::Byte action);
  virtual rt::Byte TakeEvent(rt::Long event);
  virtual rt::Long GetFeq() { return FEQ; }
  virtual rt::Byte ResetControl() { return 0; }

  // True when the edited value is blank or zero (a required column may not be left so).
  bool IsEmptyValue() const;

  // ---- Members, in declaration order ----
  rt::Long FEQ = 0;
  rt::FieldRef UseVar;
  rt::Long ListBoxFeq = 0;
  rt::Byte ReadOnly = 0;
  rt::Long FieldNo = 0;
  rt::Byte Req = 0;

 protected:
  // What CreateControl needs: the column's picture and the binding to UseVar.
  std::string picture_;
  rt::BindingPtr binding_;
};

class EditEntryClass : public EditClass {
 public:
  void CreateControl() override;  // an entry control, hidden until it is laid over its cell
};
