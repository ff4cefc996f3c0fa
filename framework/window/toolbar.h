#pragma once
// ToolbarClass: routes the application toolbar's buttons (record navigation, insert, history)
// to the window component that is the current target, a browse list or an update form. Owns
// its list of targets (never the targets themselves) and which one is current; calls only the
// targets. The window manager that owns the toolbar is passed through, never used here.
//
// Created empty by a window procedure; the window manager's AddItem calls Init and its Kill
// calls Kill; the destructor calls Kill.

#include <memory>
#include <vector>

#include "runtime/core/types.h"

class WindowManager;

// Toolbar button control numbers; a target's navigation request is the button's number.
namespace ToolbarButton {
inline constexpr rt::Long Insert = 3001;
inline constexpr rt::Long Bottom = 3005;    // last record
inline constexpr rt::Long Top = 3006;       // first record
inline constexpr rt::Long PageDown = 3007;
inline constexpr rt::Long PageUp = 3008;
inline constexpr rt::Long Down = 3009;      // next record
inline constexpr rt::Long Up = 3010;        // previous record
inline constexpr rt::Long History = 3012;   // recall the focused field's previous value
}  // namespace ToolbarButton

// What a toolbar target (a browse, a form) does for the toolbar, in the order the toolbar
// calls it.
class ToolbarTarget {
 public:
  virtual void DisplayButtons() = 0;  // enable and disable the toolbar's buttons for this target
  virtual void TakeToolbar() = 0;     // this target was chosen by its id
  virtual rt::Byte IsActive() = 0;    // its control is the one in use
  // An accepted toolbar button (the runtime's current event): record the request in vcrRequest.
  virtual void TakeEvent(rt::Long& vcrRequest, WindowManager* window) = 0;

 protected:
  ~ToolbarTarget() = default;
};

struct ToolbarQueue {
  rt::Long Id = 0;  // normally the target's control number
  ToolbarTarget* Item = nullptr;
};

class ToolbarClass {
 public:
  ToolbarClass() = default;
  virtual ~ToolbarClass() { Kill(); }
  ToolbarClass(const ToolbarClass&) = delete;
  ToolbarClass& operator=(const ToolbarClass&) = delete;

  // ---- Virtual operations ----
  virtual void DisplayButtons();
  virtual void Kill();
  // Every accepted control of the window comes here; the current target decides.
  virtual void TakeEvent(rt::Long& vcrRequest, WindowManager* window);

  void Init();
  // 0: the last target that says it is active becomes current (none: no change); any other id
  // must be listed and its target is told it was chosen.
  void SetTarget(rt::Long id);
  // Lists a target (not owned; it must outlive the toolbar's Kill) and makes it current.
  void AddTarget(rt::Long id, ToolbarTarget& target);

  // ---- Query ----
  ToolbarTarget* CurrentTarget() const;

  std::unique_ptr<std::vector<ToolbarQueue>> List;  // null outside Init..Kill

 private:
  std::size_t current_ = 0;  // 1-based entry of List, 0 for none
};
