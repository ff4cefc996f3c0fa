#include "framework/resize/window_resize.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "framework/error/levels.h"
#include "runtime/core/assert.h"
#include "runtime/core/system_props.h"
#include "runtime/ui/events.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/window.h"

namespace {

using rt::Long;
using rt::Short;

constexpr Long kRegisteredEvents[] = {rt::EVENT_ResizeRequest, rt::EVENT_Maximized, rt::EVENT_GainFocus,
                                      rt::EVENT_Restored};

// Ratios are held with four decimal places, as fixed-point numbers scaled by this.
constexpr std::int64_t kScale = 10000;

std::int64_t Ratio(Long now, Long original) {
  // A parent that had no extent cannot be scaled from; its children keep their sizes.
  if (original == 0) return kScale;
  const std::int64_t scaled = std::int64_t{now} * kScale * 2 / original;
  return (scaled + (scaled >= 0 ? 1 : -1)) / 2;
}

// A scaled value back to whole units, halves away from zero.
Long Unscale(std::int64_t scaled) {
  return static_cast<Long>((scaled + (scaled >= 0 ? kScale / 2 : -kScale / 2)) / kScale);
}

bool IsOneOf(Long type, std::initializer_list<Long> types) {
  return std::find(types.begin(), types.end(), type) != types.end();
}

// Default strategies by application strategy and control type, as (position, resize).
struct Defaults {
  Short position;
  Short resize;
};

Defaults DefaultsFor(Long type, rt::Byte app) {
  const bool button = IsOneOf(type, {9, 21, 12});
  const bool entry = IsOneOf(type, {8, 15, 16, 34});
  const bool text = IsOneOf(type, {2, 1, 10});
  const bool area = IsOneOf(type, {14, 37, 39, 3, 11, 13, 4});
  switch (app) {
    case 1:
      if (button) return {16 + 4096, 3};
      if (entry) return {0, 2};
      return {0, 0};
    case 2:
      if (button) return {16 + 4096, 3};
      if (entry || text) return {0 + 1024, 2};
      if (area) return {4 + 1024, 12};
      return {0, 0};
    case 3:
      return {1 + 256, 3};
    case 4:
      if (button) return {16 + 4096, 3};
      if (text) return {4 + 1024, 3};
      if (entry) return {4 + 1024, 6};
      if (area || IsOneOf(type, {17, 40})) return {4 + 1024, 12};
      return {0, 0};
    case 5:
      return {8 + 2048, 3};
    default:
      return {0, 0};
  }
}

// One axis of SetPosition: the origin and extent of the parent before and after, the control's
// offset and extent, the axis's position rule and whether its extent is locked.
struct Axis {
  Long opPos, opSize, npPos, npSize, ocPos, ocSize;
  std::int64_t ratio;
};

Long PlaceOnAxis(const Axis& a, Short rule, bool locked, bool centreScaled) {
  const Long d = a.ocPos - a.opPos;
  switch (rule) {
    case 1:
      return a.ocPos;
    case 2: {
      const std::int64_t gap = std::int64_t{a.opSize - d} * (locked ? kScale : a.ratio);
      return Unscale(std::int64_t{a.npPos + a.npSize} * kScale - gap);
    }
    case 4:
      return a.npPos + d;
    case 8: {
      const std::int64_t fromCentre = (std::int64_t{d} * kScale - std::int64_t{a.opSize} * kScale / 2) *
                                      (centreScaled && !locked ? a.ratio : kScale) / kScale;
      return Unscale(std::int64_t{a.npPos} * kScale + std::int64_t{a.npSize} * kScale / 2 + fromCentre);
    }
    case 32:
      return Unscale(std::int64_t{a.npPos - a.opPos + a.ocPos} * kScale +
                     std::int64_t{a.npSize - a.opSize} * kScale / 2);
    default:
      return Unscale(std::int64_t{a.npPos} * kScale + std::int64_t{d} * a.ratio);
  }
}

// A nearest-edge rule becomes the edge with the smaller space between it and the control.
Short ResolveNearest(Short rule, Short far, Short near, const Axis& a) {
  if (rule != near * 4) return rule;  // 16 -> 2/4, 4096 -> 512/1024
  const Long d = a.ocPos - a.opPos;
  return d >= a.opSize - d - a.ocSize ? far : near;
}

}  // namespace

// ---- Life cycle ----

void WindowResizeClass::Init(rt::Byte appStrategy, rt::Byte setWindowMinSize, rt::Byte setWindowMaxSize) {
  Kill();
  window_ = rt::TopWindow();
  RT_ASSERT(window_ != nullptr, "WindowResizeClass::Init needs its window open on the calling thread");
  ControlQueue = std::make_unique<std::vector<ResizeQueue>>();
  ResizeList = std::make_unique<std::vector<ResizeListEntry>>();
  AppStrategy = appStrategy;
  registered_ = true;
  if (!window_) return;
  window_->SetProp(rt::PROP_Imm, "1");
  Reset();
  if (AppStrategy == 2 || AppStrategy == 4) SetParentDefaults();
  if (setWindowMinSize) {
    window_->SetProp(rt::PROP_MinWidth, std::to_string(OrigWin.Width));
    window_->SetProp(rt::PROP_MinHeight, std::to_string(OrigWin.Height));
  }
  if (setWindowMaxSize) {
    window_->SetProp(rt::PROP_MaxWidth, std::to_string(OrigWin.Width));
    window_->SetProp(rt::PROP_MaxHeight, std::to_string(OrigWin.Height));
  }
  DeferMoves = 1;
}

void WindowResizeClass::Kill() {
  registered_ = false;
  current_ = nullptr;
  ControlQueue.reset();
  ResizeList.reset();
  window_ = nullptr;
}

rt::Byte WindowResizeClass::TakeEvent(Long event) {
  if (registered_ && std::find(std::begin(kRegisteredEvents), std::end(kRegisteredEvents), event) !=
                         std::end(kRegisteredEvents))
    return TakeResize();
  return Level::Ok;
}

// ---- Strategies ----

Short WindowResizeClass::GetPositionStrategy(Long type, rt::Byte appStrategy) const {
  return DefaultsFor(type, appStrategy ? appStrategy : AppStrategy).position;
}

Short WindowResizeClass::GetResizeStrategy(Long type, rt::Byte appStrategy) const {
  return DefaultsFor(type, appStrategy ? appStrategy : AppStrategy).resize;
}

ResizeQueue* WindowResizeClass::Find(Long control) const {
  if (!ControlQueue) return nullptr;
  const auto at = std::lower_bound(ControlQueue->begin(), ControlQueue->end(), control,
                                   [](const ResizeQueue& e, Long id) { return e.ID < id; });
  return at != ControlQueue->end() && at->ID == control ? &*at : nullptr;
}

ResizeQueue* WindowResizeClass::SetCurrent(Long control) {
  current_ = Find(control);
  return current_;
}

Long WindowResizeClass::GetParentControl(Long control) {
  const ResizeQueue* entry = Find(control);
  RT_ASSERT(entry != nullptr, "GetParentControl: control " + std::to_string(control) + " is not resized");
  return entry ? entry->ParentID : 0;
}

void WindowResizeClass::SetParentControl(Long control, Long parent) {
  if (control == parent) return;
  if (ResizeQueue* entry = Find(control)) entry->ParentID = parent;
  if (parent == 0) return;
  if (ResizeQueue* owner = Find(parent)) owner->HasChildren = 1;
}

void WindowResizeClass::SetStrategy(Long control, Short positional, Short resize) {
  ResizeQueue* entry = Find(control);
  RT_ASSERT(entry != nullptr, "SetStrategy: control " + std::to_string(control) + " is not resized");
  if (!entry) return;
  entry->PositionalStrategy = positional;
  entry->ResizeStrategy = resize;
}

// ---- Measuring and listing ----

void WindowResizeClass::GetSizeInfo(Long control, PositionGroup& pos) const {
  pos = {};
  if (!window_) return;
  if (control == 0) {
    pos.XPos = rt::PropNumber(window_->GetProp(rt::PROP_XPos));
    pos.YPos = rt::PropNumber(window_->GetProp(rt::PROP_YPos));
    pos.Width = rt::PropNumber(window_->GetProp(rt::PROP_ClientWidth));
    pos.Height = rt::PropNumber(window_->GetProp(rt::PROP_ClientHeight));
    return;
  }
  pos.XPos = rt::PropNumber(window_->GetProp(control, rt::PROP_XPos, 0));
  pos.YPos = rt::PropNumber(window_->GetProp(control, rt::PROP_YPos, 0));
  pos.Width = rt::PropNumber(window_->GetProp(control, rt::PROP_Width, 0));
  pos.Height = rt::PropNumber(window_->GetProp(control, rt::PROP_Height, 0));
}

bool WindowResizeClass::GetOrigPos(Long control, PositionGroup& pos) {
  const ResizeQueue* entry = Find(control);
  if (!entry) return false;
  pos = entry->Pos;
  return true;
}

bool WindowResizeClass::GetCurrentPos(Long control, PositionGroup& pos) {
  if (!Find(control)) return false;
  GetSizeInfo(control, pos);
  return true;
}

void WindowResizeClass::Reset() {
  RT_ASSERT(ControlQueue != nullptr, "WindowResizeClass::Reset before Init");
  if (!ControlQueue || !window_) return;
  GetSizeInfo(0, OrigWin);
  OrigWin.Maximized = rt::PropNumber(window_->GetProp(rt::PROP_Maximize)) != 0;
  OrigWin.Iconized = rt::PropNumber(window_->GetProp(rt::PROP_Iconize)) != 0;
  PreviousWin = OrigWin;
  current_ = nullptr;
  for (Long control = rt::PropNumber(window_->GetProp(rt::PROP_NextControl, 0)); control != 0;
       control = rt::PropNumber(window_->GetProp(rt::PROP_NextControl, control))) {
    Long type = rt::PropNumber(window_->GetProp(control, rt::PROP_Type, 0));
    ResizeQueue* listed = Find(control);
    if (!listed) {
      if (rt::PropNumber(window_->GetProp(control, PROP_NoResize, 0)) != 0) continue;
      if (type < 1 || type > 127 || IsOneOf(type, {19, 20, 22, 24, 25, 38})) continue;
    }
    if (type == rt::CT_List && rt::PropNumber(window_->GetProp(control, PROP_DropList, 0)) != 0) type = rt::CT_Entry;
    ResizeQueue entry;
    entry.ID = control;
    entry.Type = type;
    GetSizeInfo(control, entry.Pos);
    entry.PositionalStrategy = GetPositionStrategy(type);
    entry.ResizeStrategy = GetResizeStrategy(type);
    if (listed) {
      *listed = entry;
    } else {
      const auto at = std::lower_bound(ControlQueue->begin(), ControlQueue->end(), control,
                                       [](const ResizeQueue& e, Long id) { return e.ID < id; });
      ControlQueue->insert(at, entry);
    }
  }
  ResizeCalled = 0;
}

// ---- Parents ----

void WindowResizeClass::SetParentDefaults() {
  RT_ASSERT(!ResizeCalled, "SetParentDefaults after a resize: call Reset first");
  if (!ControlQueue) return;
  for (std::size_t i = 0; i < ControlQueue->size(); ++i) {
    current_ = &(*ControlQueue)[i];
    SetParentDefault();
  }
  current_ = nullptr;
}

void WindowResizeClass::SetParentDefault() {
  RT_ASSERT(current_ != nullptr, "SetParentDefault without a current control");
  if (!current_ || !window_) return;
  const Long id = current_->ID;
  const auto typeOf = [&](Long control) { return rt::PropNumber(window_->GetProp(control, rt::PROP_Type, 0)); };
  Long control = id;
  Long parent = rt::PropNumber(window_->GetProp(control, rt::PROP_Parent, 0));
  if (parent != 0) {
    // A tab is never resized itself: its controls belong to the tab's own parent chain.
    while (parent != 0 && typeOf(parent) == rt::CT_Tab) {
      control = parent;
      parent = rt::PropNumber(window_->GetProp(control, rt::PROP_Parent, 0));
    }
    SetParentControl(control, parent);
    return;
  }
  if (!IsOneOf(current_->Type, {13, 11, 38, 37})) return;
  const PositionGroup box = current_->Pos;
  const Long ownParent = current_->ParentID;
  for (ResizeQueue& other : *ControlQueue) {
    if (other.ID == id || other.ID == ownParent) continue;
    if (other.Pos.XPos >= box.XPos && other.Pos.XPos <= box.XPos + box.Width - 1 && other.Pos.YPos >= box.YPos &&
        other.Pos.YPos <= box.YPos + box.Height - 1)
      SetParentControl(other.ID, id);
  }
}

// ---- The resize pass ----

rt::Byte WindowResizeClass::Resize(Long control) {
  if (!ControlQueue || !ResizeList || !window_) return Level::Ok;
  ResizeList->clear();
  PositionGroup measured;
  GetSizeInfo(control, measured);
  if (ControlQueue->empty()) return Level::Ok;
  if (control == 0 && measured.Width == PreviousWin.Width && measured.Height == PreviousWin.Height)
    return Level::Ok;
  PositionGroup original{0, 0, OrigWin.Width, OrigWin.Height};
  if (control != 0 && !GetOrigPos(control, original)) {
    RT_ASSERT(false, "Resize: control " + std::to_string(control) + " is not resized");
    return Level::Ok;
  }

  std::intptr_t deferred = 0;
  if (DeferMoves) {
    deferred = rt::GetSystemProp(rt::PROP_DeferMove);
    rt::SetSystemProp(rt::PROP_DeferMove, static_cast<std::intptr_t>(ControlQueue->size()));
  }
  PositionGroup newWindow = measured;
  if (control != 0) GetSizeInfo(0, newWindow);
  if (control == 0 && measured.Width == OrigWin.Width && measured.Height == OrigWin.Height) {
    // Straight back to the recorded layout: no arithmetic, so no rounding drift.
    RestoreControls();
  } else {
    PositionGroup now = measured;
    if (control == 0) now.XPos = now.YPos = 0;
    ResizeChildren(control, original, now);
  }
  if (!DeferMoves) {
    SetPriorities(newWindow);
    const std::int64_t before = std::int64_t{PreviousWin.Width} * PreviousWin.Width +
                                std::int64_t{PreviousWin.Height} * PreviousWin.Height;
    const std::int64_t after =
        std::int64_t{newWindow.Width} * newWindow.Width + std::int64_t{newWindow.Height} * newWindow.Height;
    // Growing moves the farthest controls first, shrinking the nearest, so none lands on another.
    std::stable_sort(ResizeList->begin(), ResizeList->end(), [grew = after >= before](const auto& a, const auto& b) {
      return grew ? a.Priority > b.Priority : a.Priority < b.Priority;
    });
  }
  for (const ResizeListEntry& move : *ResizeList) {
    if (!(move.Before == move.After)) SetSize(move.ControlID, move.After);
  }
  if (DeferMoves) rt::SetSystemProp(rt::PROP_DeferMove, deferred < 0 ? deferred : 0);
  ResizeCalled = 1;
  PreviousWin = newWindow;
  return Level::Ok;
}

void WindowResizeClass::ResizeChildren(Long parent, const PositionGroup& origParent, const PositionGroup& newParent) {
  if (!ControlQueue || !ResizeList) return;
  // Entries are addressed by index: SetPosition overrides may look entries up meanwhile.
  for (std::size_t i = 0; i < ControlQueue->size(); ++i) {
    const ResizeQueue entry = (*ControlQueue)[i];
    if (entry.ParentID != parent || entry.ID == parent) continue;
    ResizeListEntry move;
    move.ControlID = entry.ID;
    move.Type = entry.Type;
    GetSizeInfo(entry.ID, move.Before);
    current_ = &(*ControlQueue)[i];
    SetPosition(entry.ID, origParent, move.After, entry.Pos, newParent);
    ResizeList->push_back(move);
    if (entry.HasChildren &&
        (!(move.After == entry.Pos) || rt::PropNumber(window_->GetProp(entry.ID, PROP_ResizeChildren, 0)) != 0))
      ResizeChildren(entry.ID, entry.Pos, move.After);
  }
  current_ = nullptr;
}

void WindowResizeClass::SetPosition(Long control, const PositionGroup& op, PositionGroup& nc, const PositionGroup& oc,
                                    const PositionGroup& np) {
  const ResizeQueue* entry = current_ && current_->ID == control ? current_ : SetCurrent(control);
  RT_ASSERT(entry != nullptr, "SetPosition: control " + std::to_string(control) + " is not resized");
  if (!entry) {
    nc = oc;
    return;
  }
  const Short size = entry->ResizeStrategy;
  const Axis h{op.XPos, op.Width, np.XPos, np.Width, oc.XPos, oc.Width, Ratio(np.Width, op.Width)};
  const Axis v{op.YPos, op.Height, np.YPos, np.Height, oc.YPos, oc.Height, Ratio(np.Height, op.Height)};
  const bool lockW = size & ResizeRule::KeepWidth;
  const bool lockH = size & ResizeRule::KeepHeight;

  nc.Width = oc.Width;
  if (!(size & (ResizeRule::WidthTakesChange | ResizeRule::WidthTakesHalf)))
    nc.Width = lockW ? oc.Width : Unscale(std::int64_t{oc.Width} * h.ratio);
  nc.Height = oc.Height;
  if (!(size & (ResizeRule::HeightTakesChange | ResizeRule::HeightTakesHalf)))
    nc.Height = lockH ? oc.Height : Unscale(std::int64_t{oc.Height} * v.ratio);

  const Short hRule = ResolveNearest(static_cast<Short>(entry->PositionalStrategy & 0xFF), 2, 4, h);
  const Short vRule = static_cast<Short>(ResolveNearest(static_cast<Short>(entry->PositionalStrategy & 0xFF00), 512, 1024, v) >> 8);
  nc.XPos = PlaceOnAxis(h, hRule, lockW, true);
  nc.YPos = PlaceOnAxis(v, vRule, lockH, false);

  const Long right = np.XPos + np.Width + (oc.XPos - op.XPos) - op.Width - nc.XPos;
  if (size & ResizeRule::WidthTakesChange) nc.Width = oc.Width + right;
  else if (size & ResizeRule::WidthTakesHalf) nc.Width = oc.Width + right / 2;
  const Long bottom = np.YPos + np.Height + (oc.YPos - op.YPos) - op.Height - nc.YPos;
  if (size & ResizeRule::HeightTakesChange) nc.Height = oc.Height + bottom;
  else if (size & ResizeRule::HeightTakesHalf) nc.Height = oc.Height + bottom / 2;
}

void WindowResizeClass::SetPriorities(const PositionGroup& newWindow) {
  if (!ResizeList) return;
  const bool widthChanged = newWindow.Width != PreviousWin.Width;
  const bool heightChanged = newWindow.Height != PreviousWin.Height;
  for (ResizeListEntry& move : *ResizeList) {
    if (widthChanged && heightChanged)
      move.Priority = move.After.XPos * move.After.XPos + move.After.YPos * move.After.YPos;
    else if (heightChanged)
      move.Priority = move.After.YPos;
    else
      move.Priority = move.After.XPos;
  }
}

// ---- Moving ----

void WindowResizeClass::SetSize(Long control, const PositionGroup& pos) {
  if (!window_) return;
  PositionGroup now;
  GetSizeInfo(control, now);
  if (now == pos) return;
  window_->SetProp(control, rt::PROP_XPos, std::to_string(pos.XPos), 0);
  window_->SetProp(control, rt::PROP_YPos, std::to_string(pos.YPos), 0);
  if (rt::PropNumber(window_->GetProp(control, PROP_AutoWidth, 0)) == 0)
    window_->SetProp(control, rt::PROP_Width, std::to_string(pos.Width), 0);
  if (rt::PropNumber(window_->GetProp(control, PROP_AutoHeight, 0)) == 0)
    window_->SetProp(control, rt::PROP_Height, std::to_string(pos.Height), 0);
}

void WindowResizeClass::RestoreControls() {
  if (!ControlQueue) return;
  for (const ResizeQueue& entry : *ControlQueue) SetSize(entry.ID, entry.Pos);
}

void WindowResizeClass::RestoreWindow() {
  if (!window_) return;
  window_->SetProp(rt::PROP_Maximize, rt::PropFlag(OrigWin.Maximized));
  window_->SetProp(rt::PROP_Iconize, rt::PropFlag(OrigWin.Iconized));
  window_->SetProp(rt::PROP_Width, std::to_string(OrigWin.Width));
  window_->SetProp(rt::PROP_Height, std::to_string(OrigWin.Height));
  RestoreControls();
  PreviousWin.Width = OrigWin.Width;
  PreviousWin.Height = OrigWin.Height;
}
