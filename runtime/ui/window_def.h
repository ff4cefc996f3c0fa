#pragma once
// Window definitions written in C++: what a window is before it opens (title, kind, size,
// controls in declaration order, menus, toolbar). Owns the numbering rules: ordinary controls
// are 1, 2, 3 … in the order they are added, menu bar, menus and items -1, -2, -3 …, toolbar
// controls take the number given (3000s). Does not open anything (window.h does); calls nothing.

#include <string>
#include <vector>

#include "runtime/ui/binding.h"
#include "runtime/ui/list_format.h"
#include "runtime/ui/property_holder.h"

namespace rt {

// A toolbox is a small window of its own kept above the frame (usually on a thread of its own).
enum class WindowKind { Ordinary, ApplicationFrame, MdiChild, Toolbox };

// One control as declared. Setters return *this so definitions read as one expression.
struct ControlDef {
  ControlType type = CT_String;
  Long number = 0;   // given by WindowDef::Add; toolbar controls set it themselves
  Long parent = 0;   // 0 = the window; a tab for controls on it, a sheet for tabs, a menu for items
  std::string text;
  std::string font;
  std::string icon;
  std::string tip;
  std::string statusText;
  std::string picture;      // entries
  BindingPtr binding;       // entries, check boxes and options: the variable they edit
  std::string value;        // radios: what choosing it stores ("" = its text without '&')
  std::string listFormat;   // lists
  Long x = 0, y = 0, width = 0, height = 0;
  bool isDefault = false;   // buttons
  bool stdClose = false;    // buttons and items: the standard close action
  bool readOnly = false;
  bool required = false;
  bool disabled = false;
  bool hidden = false;
  bool checked = false;     // items
  bool immediate = false;   // lists
  bool vscroll = false;     // lists
  bool onToolbar = false;

  // ---- Kinds ----
  static ControlDef Button(std::string text) { return Make(CT_Button, std::move(text)); }
  static ControlDef Entry(std::string picture, BindingPtr binding);
  static ControlDef Prompt(std::string text) { return Make(CT_Prompt, std::move(text)); }
  static ControlDef String(std::string text) { return Make(CT_String, std::move(text)); }
  static ControlDef List(std::string format);
  static ControlDef Sheet() { return Make(CT_Sheet, {}); }
  static ControlDef Tab(std::string text) { return Make(CT_Tab, std::move(text)); }
  static ControlDef Image(std::string icon);
  static ControlDef Region() { return Make(CT_Region, {}); }
  static ControlDef Group(std::string text) { return Make(CT_Group, std::move(text)); }
  static ControlDef Check(std::string text, BindingPtr binding);
  static ControlDef Option(std::string text, BindingPtr binding);
  static ControlDef Radio(std::string text) { return Make(CT_Radio, std::move(text)); }
  static ControlDef MenuBar() { return Make(CT_MenuBar, {}); }
  static ControlDef Menu(std::string text) { return Make(CT_Menu, std::move(text)); }
  static ControlDef Item(std::string text) { return Make(CT_Item, std::move(text)); }
  static ControlDef Separator() { return Make(CT_Item, "-"); }

  // ---- Attributes ----
  ControlDef& At(Long nx, Long ny, Long w, Long h) { x = nx; y = ny; width = w; height = h; return *this; }
  ControlDef& In(Long parentControl) { parent = parentControl; return *this; }
  ControlDef& Font(std::string f) { font = std::move(f); return *this; }
  ControlDef& Icon(std::string i) { icon = std::move(i); return *this; }
  ControlDef& Tip(std::string t) { tip = std::move(t); return *this; }
  ControlDef& Status(std::string s) { statusText = std::move(s); return *this; }
  ControlDef& Value(std::string v) { value = std::move(v); return *this; }
  ControlDef& Default() { isDefault = true; return *this; }
  ControlDef& StdClose() { stdClose = true; return *this; }
  ControlDef& ReadOnly() { readOnly = true; return *this; }
  ControlDef& Required() { required = true; return *this; }
  ControlDef& Disabled() { disabled = true; return *this; }
  ControlDef& Hidden() { hidden = true; return *this; }
  ControlDef& Checked() { checked = true; return *this; }
  ControlDef& Immediate() { immediate = true; return *this; }
  ControlDef& VScroll() { vscroll = true; return *this; }
  // A toolbar control keeps the number it is given (3001 insert, …).
  ControlDef& Toolbar(Long toolbarNumber) { onToolbar = true; number = toolbarNumber; return *this; }

 private:
  static ControlDef Make(ControlType type, std::string text) {
    ControlDef def;
    def.type = type;
    def.text = std::move(text);
    return def;
  }
};

struct WindowDef {
  std::string title;
  std::string font;
  std::string icon;
  WindowKind kind = WindowKind::Ordinary;
  bool modal = false;      // blocks its thread's other windows while open
  bool resizable = false;
  bool statusBar = false;
  Long x = 0, y = 0, width = 200, height = 150;
  std::vector<ControlDef> controls;  // in declaration order

  // Adds a control and returns its number (see the numbering rules above).
  Long Add(ControlDef control);
};

}  // namespace rt
