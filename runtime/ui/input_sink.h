#pragma once
// The runtime-side sink that backends push user actions into. A backend (or the Robot, which
// acts through the same calls) turns one toolkit event into one UserInput; the sink queues it
// on the program thread that owns the window, whose accept loop turns it into runtime events.
// Owns the routing from window to thread; calls nothing above runtime/core.

#include <cstdint>
#include <string>
#include <vector>

#include "runtime/core/types.h"
#include "runtime/ui/screen.h"

namespace rt::ui {

enum class InputKind {
  Type,        // control: an entry; text: what the entry now holds (no event until it is left)
  Focus,       // control: clicked into (leaving the focused entry first)
  Press,       // control: a button, menu item or toolbar control pressed
  Key,         // control (0: the focused one); key: key code
  PickRow,     // control: a list (value: row) or a sheet (value: tab number)
  Scroll,      // control: a list; value: EVENT_ScrollUp … EVENT_ScrollBottom
  DragThumb,   // control: a list; value: thumb position 0..100
  Resize,      // value, value2: new width and height
  Maximize,
  Iconize,
  Restore,
  Close,       // the close box
  CloseDown,   // the application frame is closing: every window of every thread gets it, even
               // one under a modal window (it waits in that window's queue until it is on top)
  Command,     // control: a frame's toolbar button pressed while this window was the active
               // MDI child; arrives as Accepted for that number whether or not the window has it
  Activate,    // the user brought the window to the front (clicked it, switched to it); the
               // sink sets value to 0 when it was in front already
  Deactivate,  // sent by the sink, not by backends: another window came to the front
};

struct UserInput {
  InputKind kind = InputKind::Key;
  WindowId window = 0;
  Long control = 0;
  Long key = 0;
  Long value = 0;
  Long value2 = 0;
  std::string text;
  std::uint64_t sequence = 0;  // set by SendInput
};

// Any thread. Queues `input` for the window's thread and returns its sequence number (rising
// across the process); 0 when the window is not open. Activating a window first sends Deactivate
// to the window that was in front, on whatever thread it is.
std::uint64_t SendInput(UserInput input);

// The same, also telling where a Deactivate went (thread 0 when none was sent), so that a
// caller can wait for both windows' threads.
struct Delivery {
  Long thread = 0;
  std::uint64_t sequence = 0;
};
std::uint64_t SendInput(UserInput input, Delivery& deactivated);

// The program thread that owns an open window; 0 when it is not open.
Long ThreadOfWindow(WindowId window);

// Every open window of every thread, in opening order.
std::vector<WindowId> OpenWindows();

// Test support: the sequence number of the newest input sent to `thread`'s windows (0: none),
// so that a test that sent input through a real toolkit can wait until the thread handled it.
std::uint64_t LastInputSequence(Long thread);

}  // namespace rt::ui
