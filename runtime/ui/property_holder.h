#pragma once
// Anything whose properties are read and written by number: windows, controls, list columns.
// Window code implements it; framework code (placement, resizing) and the message log use it
// without knowing which backend shows the window.

#include <charconv>
#include <string>
#include <string_view>

#include "runtime/core/types.h"

namespace rt {

// Property values travel as text. A numeric one reads as its leading number (blanks skipped,
// 0 when there is none); a flag is "1" when on and "" when off.
inline Long PropNumber(std::string_view value) {
  while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
  Long number = 0;
  std::from_chars(value.data(), value.data() + value.size(), number);
  return number;
}
inline std::string PropFlag(bool on) { return on ? "1" : ""; }

// Property numbers that more than one layer names.
enum PropertyNumber : Long {
  PROP_Text = 0x7C00,       // a window's title, a control's text
  PROP_XPos = 0x7C02,       // position and size, in the window's units
  PROP_YPos = 0x7C03,
  PROP_Width = 0x7C04,
  PROP_Height = 0x7C05,
  PROP_Resize = 0x7C1A,     // true for a window whose size the user can change
  PROP_Iconize = 0x7C69,    // minimized state
  PROP_Maximize = 0x7C6F,   // maximized state

  // Windows and controls (the window is control 0).
  PROP_Type = 0x7C01,          // control type (ControlType); read-only
  PROP_Parent = 0x7A07,        // the control's parent control, 0 = the window; read-only
  PROP_Use = 0x7A10,           // the bound variable's value as plain text
  PROP_Font = 0x7C13,          // "name,size[,bold]"
  PROP_Tip = 0x7C1E,           // tool tip
  PROP_MouseDownRow = 0x7C20,  // list: the row under the mouse at its last press (0: none, or a key)
  PROP_ClickedColumn = 0x7C25, // list: the column of the last click (0: none)
  PROP_MouseDownZone = 0x7C26, // list: where that press was (ListZone)
  PROP_Default = 0x7C5E,       // button: the default button
  PROP_Disable = 0x7C5F,       // disabled state
  PROP_Icon = 0x7C68,          // icon name
  PROP_Imm = 0x7C6A,           // immediate mode: a list reports scrolling past its rows as events
  PROP_ReadOnly = 0x7C7B,      // entry: read-only
  PROP_Required = 0x7C7C,      // entry: may not be left empty by the accept-all pass
  PROP_VScroll = 0x7C8B,       // list: shows a vertical scroll bar
  PROP_Items = 0x7C8E,         // list: rows shown at once
  PROP_Selected = 0x7C8F,      // list: selected row (1-based, 0 none); sheet: selected tab (1-based)
  PROP_AcceptAll = 0x7C9A,     // window: non-zero while the accept-all pass runs
  PROP_VScrollPos = 0x7C9E,    // list: scroll bar thumb, 0..100
  PROP_Visible = 0x7CA7,       // 1 when shown (not hidden itself or by a parent); read-only
  PROP_Hide = 0x7CA8,          // hidden state
  PROP_MinWidth = 0x7CAD,      // window: smallest and largest size the user may give it
  PROP_MinHeight = 0x7CAE,
  PROP_MaxWidth = 0x7CAF,
  PROP_MaxHeight = 0x7CB0,
  PROP_StatusText = 0x7CB4,    // control or menu item: status bar text
  PROP_Checked = 0x7CB5,       // menu item: check mark
  PROP_Modal = 0x7CB6,         // window: modal to its thread's other windows; read-only
  PROP_ClientWidth = 0x7A4F,   // window: inside width and height
  PROP_ClientHeight = 0x7A50,
  PROP_EditControl = 0x7D05,   // list, index = column: the control that edits the column in place
  PROP_Alrt = 0x7D06,          // alert key list, index = slot 1..255; index 0 reads the count
  PROP_NextControl = 0x7D0B,   // window, index = control: the next control in order, 0 at the end
  PROP_VirtualListProc = 0x7A1C,    // list: a virtual-list callback is set (read-only flag)
  PROP_VirtualListObject = 0x7A1D,  // list: reserved for the callback's object
  // The runtime's own, read by backends: an entry's byte limit and a request to select its text.
  PROP_MaxBytes = 0x7DF0,      // entry: most bytes its text may hold as the field stores it (0: any)
  PROP_SelectText = 0x7DF1,    // entry, to the screen only: select the whole text (a refused value)

  // List columns: index = column (1-based). LISTCOL_Format with index 0 reads the column count.
  LISTCOL_Width = 0x7E00,
  LISTCOL_Alignment = 0x7E01,        // "L", "R", "C" or "D"
  LISTCOL_Indent = 0x7E02,
  LISTCOL_Header = 0x7E03,
  LISTCOL_Picture = 0x7E05,
  LISTCOL_HeaderAlignment = 0x7E06,
  LISTCOL_HeaderIndent = 0x7E07,
  LISTCOL_Resizable = 0x7E08,
  LISTCOL_Format = 0x7E0A,           // the column's part of the format string
  LISTCOL_FieldNo = 0x7E0E,          // the source field the column shows
  LISTCOL_TextColor = 0x7E28,        // -1 = default

  // System-wide.
  PROP_DeferMove = 31933,      // non-zero: moves are collected and applied together
};

// Where on a list the mouse was pressed (PROP_MouseDownZone).
enum ListZone : Long {
  LISTZONE_None = 0,  // not over a row, or not pressed by the mouse
  LISTZONE_Cell = 2,  // over a row's cell
};

// Control types as PROP_Type reports them. Resizing and popup code test these numbers.
enum ControlType : Long {
  CT_String = 1,
  CT_Prompt = 2,
  CT_Image = 3,
  CT_Region = 4,
  CT_Entry = 8,
  CT_Button = 9,
  CT_Option = 10,  // a group of radio buttons that edits one variable
  CT_Radio = 11,   // in an option: choosing it stores its value in the option's variable
  CT_Check = 12,   // edits a variable as on (1) or off (0)
  CT_Group = 13,
  CT_List = 14,
  CT_Menu = 19,
  CT_Item = 20,
  CT_MenuBar = 22,
  CT_Toolbar = 24,
  CT_Sheet = 37,
  CT_Tab = 38,
};

class PropertyHolder {
 public:
  // Both run on the program thread that owns the object. An unknown property reads as "".
  virtual std::string GetProp(Long property, Long index = 0) const = 0;
  virtual void SetProp(Long property, std::string_view value, Long index = 0) = 0;

 protected:
  ~PropertyHolder() = default;
};

}  // namespace rt
