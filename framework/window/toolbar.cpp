#include "framework/window/toolbar.h"

#include <string>

#include "runtime/core/assert.h"

void ToolbarClass::Init() {
  Kill();
  List = std::make_unique<std::vector<ToolbarQueue>>();
  current_ = 0;
}

void ToolbarClass::Kill() {
  List.reset();
  current_ = 0;
}

ToolbarTarget* ToolbarClass::CurrentTarget() const {
  return List && current_ >= 1 && current_ <= List->size() ? (*List)[current_ - 1].Item : nullptr;
}

void ToolbarClass::AddTarget(rt::Long id, ToolbarTarget& target) {
  RT_ASSERT(List != nullptr, "ToolbarClass::AddTarget before Init");
  if (!List) return;
  List->push_back({id, &target});
  current_ = List->size();
}

void ToolbarClass::DisplayButtons() {
  RT_ASSERT(List != nullptr, "ToolbarClass::DisplayButtons before Init");
  ToolbarTarget* target = CurrentTarget();
  RT_ASSERT(target != nullptr && (*List)[current_ - 1].Id != 0, "ToolbarClass::DisplayButtons without a current target");
  if (target) target->DisplayButtons();
}

void ToolbarClass::TakeEvent(rt::Long& vcrRequest, WindowManager* window) {
  RT_ASSERT(List != nullptr, "ToolbarClass::TakeEvent before Init");
  if (ToolbarTarget* target = CurrentTarget()) target->TakeEvent(vcrRequest, window);
}

void ToolbarClass::SetTarget(rt::Long id) {
  RT_ASSERT(List != nullptr, "ToolbarClass::SetTarget before Init");
  if (!List) return;
  if (id == 0) {
    for (std::size_t i = 0; i < List->size(); ++i) {
      if ((*List)[i].Item->IsActive()) current_ = i + 1;
    }
    return;
  }
  for (std::size_t i = 0; i < List->size(); ++i) {
    if ((*List)[i].Id == id) {
      current_ = i + 1;
      (*List)[i].Item->TakeToolbar();
      return;
    }
  }
  RT_ASSERT(false, "ToolbarClass::SetTarget: no target " + std::to_string(id));
}
