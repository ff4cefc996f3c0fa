#pragma once
// The accept loop's primitives and the runtime calls that act on the calling thread's windows.
// Owns each program thread's inbox (posts from other threads, user input from the backend),
// the routing of windows to threads and the one dispatch function where the modal rule and
// per-thread routing live. Does not own windows (window.h) or the screen (backend.h).

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

#include "runtime/core/types.h"
#include "runtime/ui/events.h"
#include "runtime/ui/list_format.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/screen.h"

namespace rt {

// ---- Primitives (the calling program thread) ----

// Takes one message from the thread's inbox, waiting up to `timeout`, and dispatches it.
// False when nothing came.
bool PumpOne(std::chrono::milliseconds timeout);
// Dispatches whatever is queued now; returns how many messages that was.
std::size_t PumpPending();
// Pumps until `done()` holds (checked before each wait) or `timeout` passes; false on time-out.
bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

// ---- The current event (of the thread's top window) ----

Long Event();      // EVENT_None when no window is open
Long Field();      // the control of the current event, 0 for window events
Long Accepted();   // the control when the event is EVENT_Accepted, else 0
Long Keycode();
void SetKeycode(Long key);
// For EVENT_Notify: the notifier's code, thread and parameter. False for any other event.
bool NotifyData(Long& code, Long& thread, Long& parameter);

// ---- Posting (any program thread) ----

// Queues `event` for `control` on `thread`'s top window (0: the calling thread). Posts to
// another thread arrive through its inbox, in the order sent. False when that thread has no
// inbox (never started or ended) or the calling thread has no window.
bool Post(Long event, Long control = 0, Long thread = 0);
// Posts EVENT_Notify to `thread` carrying `code` and `parameter`.
bool Notify(Long code, Long thread, Long parameter = 0);

// ---- Acting on the calling thread's top window (no window: nothing happens, "" is read) ----

void Select(Long control = 0);
void Display(Long control = 0);
void Enable(Long control);
void Disable(Long control);
void Hide(Long control);
void Unhide(Long control);
std::string GetProp(Long control, Long property, Long index = 0);
// Creates a control of `type` on the top window (in `parent`, 0: the window) and returns its
// number; 0 without a window.
Long Create(ControlType type, Long parent = 0);
void DestroyControl(Long control);
void SetProp(Long control, Long property, std::string_view value, Long index = 0);

// ---- Popups, cursor, sound ----

// Shows a popup menu built from `menuText` (popup_menu.h) and returns the chosen item's
// number, 0 for none, for a malformed text or without a backend that shows popups. The text
// typed into the top window's focused entry is taken in first; 0, with no popup, when refused.
Long Popup(std::string_view menuText, Long x = 0, Long y = 0);
void SetWaitCursor(bool on);
void Beep(Long sound = 0, Long style = 0);

class Window;

namespace detail {
// For window.cpp: puts an opening window on the calling thread's stack and in the process's
// routing (returning its new id), and takes a closing one out of both.
ui::WindowId RegisterWindow(Window& window);
void UnregisterWindow(Window& window);
// The newest open application frame of any thread, 0 when none.
ui::WindowId NewestFrame();
}  // namespace detail

}  // namespace rt
