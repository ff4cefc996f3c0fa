#include "runtime/ui/window_def.h"

#include <algorithm>

#include "runtime/core/assert.h"

namespace rt {

ControlDef ControlDef::Entry(std::string picture, BindingPtr binding) {
  ControlDef def = Make(CT_Entry, {});
  def.picture = std::move(picture);
  def.binding = std::move(binding);
  return def;
}

ControlDef ControlDef::Check(std::string text, BindingPtr binding) {
  ControlDef def = Make(CT_Check, std::move(text));
  def.binding = std::move(binding);
  return def;
}

ControlDef ControlDef::Option(std::string text, BindingPtr binding) {
  ControlDef def = Make(CT_Option, std::move(text));
  def.binding = std::move(binding);
  return def;
}

ControlDef ControlDef::List(std::string format) {
  ControlDef def = Make(CT_List, {});
  def.listFormat = std::move(format);
  return def;
}

ControlDef ControlDef::Image(std::string icon) {
  ControlDef def = Make(CT_Image, {});
  def.icon = std::move(icon);
  return def;
}

Long WindowDef::Add(ControlDef control) {
  const bool isMenu = control.type == CT_MenuBar || control.type == CT_Menu || control.type == CT_Item;
  if (control.onToolbar) {
    RT_ASSERT(control.number > 0, "a toolbar control needs its number (3001 insert, …)");
  } else if (isMenu) {
    Long lowest = 0;
    for (const ControlDef& c : controls) lowest = std::min(lowest, c.number);
    control.number = lowest - 1;
  } else {
    Long count = 0;
    for (const ControlDef& c : controls)
      if (c.number > 0 && !c.onToolbar) ++count;
    control.number = count + 1;
  }
  const bool taken = std::any_of(controls.begin(), controls.end(), [&](const ControlDef& c) { return c.number == control.number; });
  RT_ASSERT(!taken, "control number " + std::to_string(control.number) + " is used twice");
  controls.push_back(std::move(control));
  return controls.back().number;
}

}  // namespace rt
