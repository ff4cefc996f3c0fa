#pragma once
// One control of an open window: its live state and its properties by number. Owned by its
// Window and touched only on the window's program thread. Does not queue events or talk to the
// backend itself: every change goes through the owning window (window.h), which does both.

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/ui/binding.h"
#include "runtime/ui/events.h"
#include "runtime/ui/list_format.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/screen.h"
#include "runtime/ui/window_def.h"

namespace rt {

class Window;

class Control final : public PropertyHolder {
 public:
  Control(Window& window, const ControlDef& def);
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  // ---- Identity ----
  Long Number() const { return number_; }
  Long Type() const { return type_; }
  Long ParentNumber() const { return parent_; }
  Window& Owner() const { return window_; }

  // ---- Properties by number (the owning thread) ----
  std::string GetProp(Long property, Long index = 0) const override;
  void SetProp(Long property, std::string_view value, Long index = 0) override;

  // ---- State the window's event rules read ----
  bool IsDisabled() const { return disabled_; }
  bool IsHiddenItself() const { return hidden_; }
  bool IsReadOnly() const { return readOnly_; }
  bool IsOnToolbar() const { return onToolbar_; }
  bool IsRequired() const { return required_; }
  bool IsDefaultButton() const { return isDefault_; }
  bool HasStdClose() const { return stdClose_; }
  bool IsImmediate() const { return immediate_; }
  bool CanTakeFocus() const;  // entries, buttons, lists, sheets; not menus, texts, images
  bool IsAlerted(Long key) const;
  const std::string& Picture() const { return picture_; }
  // Check boxes: the variable is on; radios: the option's variable holds this radio's value.
  bool IsOn() const;
  const std::string& RadioValue() const { return value_; }
  const BindingPtr& BoundVariable() const { return binding_; }
  void SetBinding(BindingPtr binding) { binding_ = std::move(binding); }

  // ---- Entry text ----
  // What the entry shows: the typed text while the user edits, else the variable through the
  // picture (or the plain text without a variable) without trailing blanks, so that the cursor
  // never lands among the padding a fixed-size field is stored with.
  std::string ShownText() const;
  bool IsEditing() const { return editing_; }
  // Notes what the user typed; the first keys also note the value they began from.
  void SetEditText(std::string text);
  void EndEditing() { editing_ = false; }
  // The program changed the variable since the user began typing.
  bool IsChangedUnderEditing() const { return editing_ && StoredText() != editBase_; }
  // The most bytes the entry's text may hold: the variable's size or the @s width, the smaller
  // (0: no limit).
  std::size_t MaxBytes() const;

  // ---- Lists ----
  const std::vector<ListColumn>& Columns() const { return columns_; }
  void SetSource(const ListSource* source) { source_ = source; vlb_ = nullptr; }
  void SetVirtualList(VirtualListProc proc) { vlb_ = std::move(proc); source_ = nullptr; }
  Long RowCount() const;
  std::string CellValue(Long row, Long column) const;  // unformatted
  std::string CellText(Long row, Long column) const;   // through the column's picture
  // The shown page: Items() rows from the top row, formatted.
  ui::ListRowsView Rows() const;
  Long TopRow() const { return top_; }
  Long SelectedRow() const { return selected_; }
  Long Items() const { return items_; }
  // Keeps the row in view; 0 clears the selection.
  void SetSelectedRow(Long row);
  // A mouse press on the list: over `row` (0: none) and `column` (0: unknown).
  void NoteMouseDown(Long row, Long column);

  // Everything the backend needs to show the control as it is now.
  ui::ControlView View() const;

 private:
  void CountItems();  // a list's Items from its height and heading line
  friend class Window;
  std::vector<ui::PropertyValue> ShownProperties() const;
  std::string StoredText() const;  // the variable (or plain text) as shown when not edited

  Window& window_;
  const Long number_;
  const Long type_;
  const Long parent_;
  const bool stdClose_;
  const bool onToolbar_;
  std::string text_;
  std::string font_;
  std::string icon_;
  std::string tip_;
  std::string statusText_;
  std::string picture_;
  BindingPtr binding_;
  std::string value_;  // radios
  Long x_, y_, width_, height_;
  bool isDefault_;
  bool readOnly_;
  bool required_;
  bool disabled_;
  bool hidden_;
  bool checked_;
  bool immediate_;
  bool vscroll_;
  std::vector<Long> alerts_ = std::vector<Long>(kAlertSlotCount, 0);
  std::string editText_;
  std::string editBase_;
  bool editing_ = false;
  // Lists.
  std::string format_;
  std::vector<ListColumn> columns_;
  const ListSource* source_ = nullptr;  // the program's; not owned
  VirtualListProc vlb_;
  Long selected_ = 0;
  Long top_ = 1;
  Long items_ = 10;
  Long thumb_ = 0;
  Long clickedColumn_ = 0;
  Long mouseDownRow_ = 0;
  Long mouseDownZone_ = 0;
  // Numbers this class gives no meaning to keep what was set, so programs can park values.
  std::map<std::pair<Long, Long>, std::string> other_;

  static constexpr std::size_t kAlertSlotCount = 255;
};

}  // namespace rt
