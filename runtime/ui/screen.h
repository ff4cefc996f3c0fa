#pragma once
// What the runtime tells a backend about its windows: plain value types, no behaviour. The
// runtime's window model (window.h) fills them; backends (qt, headless) mirror them on screen.
// Owns nothing else and calls nothing.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "runtime/core/types.h"

namespace rt::ui {

// A window's identity for as long as it is open; never reused within a process.
using WindowId = std::uint64_t;

// A property value at the moment it was sent: (property, index) -> text.
struct PropertyValue {
  Long property = 0;
  Long index = 0;
  std::string value;
};

struct ControlView {
  Long number = 0;
  Long type = 0;
  Long parent = 0;
  bool onToolbar = false;  // a toolbar control (3000s numbers) rather than one in the window
  std::vector<PropertyValue> properties;  // text, position, flags, ... as the window has them
};

struct WindowView {
  WindowId id = 0;
  Long thread = 0;    // the program thread that owns the window and runs its accept loop
  int kind = 0;       // WindowKind as a number: 0 ordinary, 1 application frame, 2 MDI child,
                      // 3 toolbox
  WindowId frame = 0; // the open application frame an MDI child opens in, or an ordinary
                      // window belongs to (0: none)
  bool modal = false;
  std::vector<PropertyValue> properties;
  std::vector<ControlView> controls;  // in declaration order, menus and toolbar included
};

// The page of a list that is shown, cells as the columns' pictures show them: rows[r][c] is
// row first+r, column c+1. Only the shown rows travel, however many the source holds.
struct ListRowsView {
  std::vector<std::string> headings;
  std::vector<std::vector<std::string>> rows;
  Long first = 1;  // the source row shown at the top
  Long total = 0;  // rows in the source
  bool operator==(const ListRowsView&) const = default;
};

// One entry of a popup menu, as parsed from the runtime's menu text (popup_menu.h).
struct PopupEntry {
  std::string text;       // '&' kept; "-" for a separator
  Long number = 0;        // what choosing it returns; 0 for separators and submenu titles
  bool separator = false;
  bool disabled = false;
  bool checked = false;   // '+' mark
  bool unchecked = false; // '-' mark: a check box shown empty
  std::vector<PopupEntry> children;  // a submenu
};

}  // namespace rt::ui
