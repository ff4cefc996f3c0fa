#pragma once
// WindowComponent: what a window's component (a browse list, the error history handler) does
// for the window manager that drives it. Owns nothing; the window manager keeps the components
// it was given by reference and calls them on the window's own program thread.

#include "runtime/core/types.h"

// In the order the window manager's callers expect: Kill when the window ends (components are
// killed in the order they registered); Reset to reload the component's data (force: even when
// nothing seems stale); ResetRequired when its data is stale; SetAlerts for the keys it wants;
// TakeEvent for every event its window's own handlers let through (a non-zero level ends the
// dispatch of that event); Update to copy the screen into its record; UpdateWindow to show its
// current state.
class WindowComponent {
 public:
  virtual void Kill() = 0;
  virtual void Reset(rt::Byte force) = 0;
  virtual rt::Byte ResetRequired() = 0;
  virtual void SetAlerts() = 0;
  virtual rt::Byte TakeEvent() = 0;
  virtual void Update() = 0;
  virtual void UpdateWindow() = 0;

 protected:
  ~WindowComponent() = default;
};
