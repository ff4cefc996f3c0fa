#pragma once
// Anything whose properties are read and written by number: windows, controls, list columns.
// Window code implements it; framework code (placement, resizing) and the message log use it
// without knowing which backend shows the window.

#include <string>
#include <string_view>

#include "runtime/core/types.h"

namespace rt {

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
