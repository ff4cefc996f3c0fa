#pragma once
// BrowseLocator: what a browse asks of a sort order's locator, the object that finds a record
// from keys the user types or from an entry control. The system has no locator of its own; a
// procedure (or a test) derives one. Owns nothing; the browse holds it by pointer and never
// frees it. Calls nothing itself: a locator sets the order's free element in the record buffer
// and the browse positions the view from it.

#include "runtime/core/types.h"

class BrowseLocator {
 public:
  virtual ~BrowseLocator() = default;

  // ---- In the order the browse calls them ----
  virtual void Refresh() = 0;                         // show what it holds after a locate
  virtual void Reset() = 0;                           // forget what was typed (a new sort order)
  virtual void SetAlerts(rt::Long listControl) = 0;   // alert the keys it wants on the list
  virtual void SetEnabled(rt::Byte hasRows) = 0;
  virtual rt::Byte TakeAccepted() = 0;  // its Control was accepted: true to locate
  virtual rt::Byte TakeKey() = 0;       // the list's alerted key (rt::Keycode()): true to locate
  virtual void UpdateWindow() = 0;

  rt::Long Control = 0;  // its entry control, 0 when it has none
};
