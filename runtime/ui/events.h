#pragma once
// Event codes, key codes and the event record a program thread's accept loop hands out.
// Owns only these values; the queues that carry events are accept_loop.h's, the windows that
// receive them window.h's. Nothing here calls anything.

#include <string>

#include "runtime/core/types.h"

namespace rt {

// ---- Event codes, as the accept loop delivers them ----
enum EventCode : Long {
  EVENT_None = 0,
  EVENT_Accepted = 1,        // a control's value was accepted or a button/item pressed
  EVENT_NewSelection = 2,    // a list or sheet got a new selection
  EVENT_ScrollUp = 3,        // immediate-mode list: scrolling past the first row
  EVENT_ScrollDown = 4,      //   ... past the last row
  EVENT_PageUp = 5,
  EVENT_PageDown = 6,
  EVENT_ScrollTop = 7,
  EVENT_ScrollBottom = 8,
  EVENT_Locate = 9,
  EVENT_AlertKey = 15,       // an alerted key was pressed
  EVENT_PreAlertKey = 16,    // before the key's own action; handling it skips that action
  EVENT_ScrollDrag = 20,     // the thumb was dragged; PROP_VScrollPos holds where
  EVENT_Rejected = 26,       // typed text did not fit the control's picture
  EVENT_Selected = 257,      // a control received focus
  EVENT_CloseWindow = 513,   // default: the window closes
  EVENT_CloseDown = 514,     // the application is closing; default: the window closes
  EVENT_OpenWindow = 515,    // always the first event of a window
  EVENT_LoseFocus = 517,     // another window of the thread came on top
  EVENT_GainFocus = 518,     // the window is the thread's top window again
  EVENT_Notify = 522,        // from rt::Notify; NotifyCode/NotifyThread/NotifyParameter
  EVENT_SizeRequest = 545,   // the user asks for a new size; default: apply it, then EVENT_Sized
  EVENT_MaximizeRequest = 547,
  EVENT_IconizeRequest = 548,
  EVENT_Completed = 549,     // the accept-all pass found every entry valid
  EVENT_Sized = 561,         // the window's size changed
  EVENT_Maximized = 562,
  EVENT_Restored = 563,
  EVENT_ResizeRequest = 1023,  // posted by framework code, never by the runtime
};

// True for events about the window as a whole (delivered with control 0).
inline bool IsWindowEvent(Long code) { return code >= 0x200; }

// ---- Key codes: base key + 256 Shift + 512 Ctrl + 1024 Alt ----
enum KeyCode : Long {
  KEY_MouseLeft = 1,
  KEY_MouseRight = 2,
  KEY_MouseLeft2 = 5,  // double click
  KEY_Tab = 9,
  KEY_Enter = 13,
  KEY_Esc = 27,
  KEY_Space = 32,
  KEY_PgUp = 33,
  KEY_PgDn = 34,
  KEY_End = 35,
  KEY_Home = 36,
  KEY_Up = 38,
  KEY_Down = 40,
  KEY_Insert = 45,
  KEY_Delete = 46,
  KEY_AppsKey = 93,
  KEY_MouseRightUp = 130,
  KEY_Shift = 256,
  KEY_Ctrl = 512,
  KEY_Alt = 1024,
  KEY_ShiftTab = KEY_Shift + KEY_Tab,
  KEY_ShiftEnter = KEY_Shift + KEY_Enter,
  KEY_CtrlEnter = KEY_Ctrl + KEY_Enter,
  KEY_CtrlHome = KEY_Ctrl + KEY_Home,
  KEY_CtrlEnd = KEY_Ctrl + KEY_End,
};

inline constexpr Long kAlertSlots = 255;

// One event as the accept loop hands it to the program.
struct EventRecord {
  Long code = EVENT_None;
  Long control = 0;   // 0 for window events
  Long keyCode = 0;   // the key or mouse button that caused it, 0 for none
  Long thread = 0;    // the thread that posted it (notify: the notifying thread)
  Long notifyCode = 0;
  Long notifyParameter = 0;
};

std::string EventName(Long code);  // "Accepted", "OpenWindow", "Event 99" for unknown codes

}  // namespace rt
