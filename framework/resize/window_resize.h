#pragma once
// WindowResizeClass: keeps a window's controls in place or in proportion when the window is
// resized, maximised or restored. Owns its list of managed controls (original positions and
// strategies) and the work list of one resize pass; never owns the window, whose controls it
// reads and moves by property number through runtime/ui on the window's own program thread.
//
// Created by a window procedure; Init takes the thread's top window, Kill frees the lists, the
// destructor calls Kill. A subclass may override the virtuals below (calling the parent's) to
// give controls other strategies or positions; it must call SetParentDefaults, if at all,
// before the first resize after a Reset.

#include <memory>
#include <vector>

#include "runtime/core/types.h"

namespace rt {
class Window;
}

// ---- Strategies ----
// Position: the low byte is the horizontal rule, the high byte the vertical rule.
namespace ResizeRule {
inline constexpr rt::Short ScaleX = 0;         // offset from the parent's origin, scaled
inline constexpr rt::Short KeepX = 1;          // the original absolute coordinate
inline constexpr rt::Short FromRight = 2;      // distance from the parent's right edge
inline constexpr rt::Short FromLeft = 4;       // offset from the parent's left edge
inline constexpr rt::Short FromCentreX = 8;    // relative to the parent's centre
inline constexpr rt::Short NearestX = 16;      // FromRight or FromLeft, whichever edge is nearer
inline constexpr rt::Short HalfShiftX = 32;    // by half the change of the parent's width
inline constexpr rt::Short ScaleY = 0;
inline constexpr rt::Short KeepY = 256;
inline constexpr rt::Short FromBottom = 512;
inline constexpr rt::Short FromTop = 1024;
inline constexpr rt::Short FromCentreY = 2048;
inline constexpr rt::Short NearestY = 4096;
inline constexpr rt::Short HalfShiftY = 8192;
// Size: without a width bit the width is scaled; likewise the height.
inline constexpr rt::Short KeepWidth = 1;
inline constexpr rt::Short KeepHeight = 2;
inline constexpr rt::Short WidthTakesChange = 4;   // the right margin stays
inline constexpr rt::Short HeightTakesChange = 8;  // the bottom margin stays
inline constexpr rt::Short WidthTakesHalf = 16;
inline constexpr rt::Short HeightTakesHalf = 32;
}  // namespace ResizeRule

// Control properties only the resizer gives a meaning to.
enum ResizeProperty : rt::Long {
  PROP_NoResize = 31257,        // the control is left alone
  PROP_DropList = 31840,        // a list that drops down: sized like an entry
  PROP_ResizeChildren = 31843,  // its children are placed again even when it keeps its place
  PROP_AutoWidth = 31296,       // the runtime sizes the control itself: its width is not set
  PROP_AutoHeight = 31297,
};

struct PositionGroup {
  rt::Long XPos = 0;
  rt::Long YPos = 0;
  rt::Long Width = 0;
  rt::Long Height = 0;
  bool operator==(const PositionGroup&) const = default;
};

struct WindowPositionGroup : PositionGroup {
  rt::Byte Maximized = 0;
  rt::Byte Iconized = 0;
};

// One managed control.
struct ResizeQueue {
  rt::Long ID = 0;
  rt::Long Type = 0;
  rt::Byte HasChildren = 0;
  rt::Short PositionalStrategy = 0;
  rt::Short ResizeStrategy = 0;
  PositionGroup Pos;       // the original position
  rt::Long ParentID = 0;   // 0 = the window
};

// One move of a resize pass.
struct ResizeListEntry {
  rt::Long Priority = 0;
  rt::Long ControlID = 0;
  rt::Long Type = 0;
  PositionGroup Before;
  PositionGroup After;
};

class WindowResizeClass {
 public:
  WindowResizeClass() = default;
  virtual ~WindowResizeClass() { Kill(); }
  WindowResizeClass(const WindowResizeClass&) = delete;
  WindowResizeClass& operator=(const WindowResizeClass&) = delete;

  // ---- Virtual operations ----
  virtual rt::Long GetParentControl(rt::Long control);
  virtual void Reset();
  virtual rt::Byte Resize() { return Resize(0); }
  virtual rt::Byte Resize(rt::Long control);  // 0 = the window
  virtual void RestoreWindow();
  virtual void SetParentDefaults();
  virtual void SetParentDefault();  // for the current entry (see SetCurrent)
  virtual void SetPosition(rt::Long control, const PositionGroup& origParent, PositionGroup& newPos,
                           const PositionGroup& origControl, const PositionGroup& newParent);

  // ---- Life cycle (the window's program thread, the window open) ----
  void Init(rt::Byte appStrategy = 0, rt::Byte setWindowMinSize = 0, rt::Byte setWindowMaxSize = 0);
  void Kill();

  // ---- Events ----
  // The runtime calls no handlers of its own, so the window's event loop hands every event here;
  // the events the resizer registered for (resize request, maximized, restored, focus back)
  // run TakeResize. Returns Level::Ok.
  rt::Byte TakeEvent(rt::Long event);
  rt::Byte TakeResize() { return Resize(); }

  // ---- Strategies (appStrategy 0: the object's) ----
  rt::Short GetPositionStrategy(rt::Long type, rt::Byte appStrategy = 0) const;
  rt::Short GetResizeStrategy(rt::Long type, rt::Byte appStrategy = 0) const;
  void SetParentControl(rt::Long control, rt::Long parent);
  // Gives a listed control other strategies (a subclass's or window procedure's choice).
  void SetStrategy(rt::Long control, rt::Short positional, rt::Short resize);

  // ---- Positions ----
  bool GetOrigPos(rt::Long control, PositionGroup& pos);     // false when not listed
  bool GetCurrentPos(rt::Long control, PositionGroup& pos);  // false when not listed
  void GetSizeInfo(rt::Long control, PositionGroup& pos) const;  // as the window has it now
  void SetSize(rt::Long control, const PositionGroup& pos);
  void RestoreControls();
  void ResizeChildren(rt::Long parent, const PositionGroup& origParent, const PositionGroup& newParent);
  void SetPriorities(const PositionGroup& newWindow);

  // ---- Fields ----
  rt::Byte AppStrategy = 0;
  rt::Byte AutoTransparent = 0;
  WindowPositionGroup OrigWin;
  std::unique_ptr<std::vector<ResizeQueue>> ControlQueue;  // in ID order; null outside Init..Kill
  rt::Byte DeferMoves = 0;
  PositionGroup PreviousWin;
  rt::Byte ResizeCalled = 0;
  std::unique_ptr<std::vector<ResizeListEntry>> ResizeList;

 protected:
  // The entry SetParentDefault and SetPosition work on; nullptr when the control is not listed.
  ResizeQueue* SetCurrent(rt::Long control);
  ResizeQueue* Current() const { return current_; }

 private:
  ResizeQueue* Find(rt::Long control) const;
  rt::Window* window_ = nullptr;  // the window Init found on top of its thread; not owned
  ResizeQueue* current_ = nullptr;
  bool registered_ = false;
};
