#pragma once
// The UI Backend: the one interface through which the runtime shows anything on screen.
// A backend owns the toolkit (or its in-memory stand-in) and every widget it makes; it does not
// own program threads, their state or their event queues, which stay in runtime/core and
// runtime/ui. Calls go down only: the runtime calls a backend, a backend calls runtime/core.
// Implementations: runtime/ui/qt (real windows), runtime/ui/headless (memory + Robot).

#include <functional>

#include "runtime/core/dialogs.h"
#include "runtime/core/types.h"
#include "runtime/ui/screen.h"

namespace rt::ui {

// RunProgram's result when it cannot serve the UI: the backend is not started, or the call came
// from a thread other than the UI thread.
inline constexpr int kRunProgramRefusedExitCode = 70;
// RunProgram's result when its UI was ended from outside and program threads still did not end
// in time after being asked to close: it returns without them rather than wait for ever.
inline constexpr int kRunProgramAbandonedExitCode = 71;

// Each operation says the thread it must be called on and what it returns when it cannot act.
// "UI thread" is the thread that called Start (with Qt: the process's main OS thread); the
// headless backend serves from any thread.
// Created by a factory (MakeQtBackend, MakeHeadlessBackend) and owned by the program entry or
// the test; uninstall it (InstallBackend(nullptr)) before destroying it.
class Backend : public DialogHost {
 public:
  Backend() = default;
  Backend(const Backend&) = delete;
  Backend& operator=(const Backend&) = delete;
  virtual ~Backend() = default;

  // ---- Lifecycle ----

  // UI thread. Brings the toolkit up. Starting a started backend asserts and returns false;
  // false also when the toolkit cannot start. Stop undoes Start in reverse, so Start, Stop,
  // Start works.
  virtual bool Start() = 0;
  // UI thread. Dialogs still open are closed with their escape value (stop: go on) and the
  // threads waiting on them go on. Does nothing on a stopped backend.
  virtual void Stop() = 0;
  // Any thread.
  virtual bool IsStarted() const = 0;

  // ---- Running the program ----

  // UI thread, started backend. Runs `entry` on a new program thread (the first one the process
  // starts is thread 1) and serves the UI here until every started program thread has ended;
  // returns the program's exit code (0). A program that halts never comes back here. When the
  // UI is ended from outside first, open dialogs return their escape value, every window gets
  // close-down, and after a grace period it returns kRunProgramAbandonedExitCode.
  // Not started or off the UI thread: asserts, runs nothing, returns kRunProgramRefusedExitCode.
  virtual int RunProgram(std::function<void()> entry) = 0;

  // ---- Dialogs (DialogHost) ----

  // Any thread; blocks only the calling thread until the user answers. Returns the pressed
  // button's value; the request's escape value when the dialog is closed without a choice or
  // the backend is not started.
  Long ShowMessageBox(const MessageBoxRequest& request) override = 0;
  // Any thread; blocks only the calling thread. GoOn when closed without a choice or the
  // backend is not started. EndProgram is acted on by the caller (runtime/core halts).
  StopAnswer ShowStop(const StopRequest& request) override = 0;

  // ---- Windows and controls (optional group) ----
  // The runtime's window model calls these on the program thread that owns the window, in the
  // order things changed; they must not wait for a user, nor for the UI thread (the runtime
  // reads every state from its own model, never back from the screen). Every default does
  // nothing, so a backend without windows still runs programs whose windows then exist in the
  // model only. User actions come back the other way, through runtime/ui/input_sink.h.

  // A window opened: its whole state at that moment.
  virtual void CreateWindow(const WindowView& view) { (void)view; }
  // The window closed; its id is not used again.
  virtual void DestroyWindow(WindowId window) { (void)window; }
  // A control appeared at run time (created by the program) or went away.
  virtual void CreateControl(WindowId window, const ControlView& control) { (void)window, (void)control; }
  virtual void DestroyControl(WindowId window, Long control) { (void)window, (void)control; }
  // A property of the window (control 0) or a control changed to `value`.
  virtual void SetProperty(WindowId window, Long control, const PropertyValue& value) {
    (void)window, (void)control, (void)value;
  }
  // A list's shown page changed: its cells, first row or row count.
  virtual void SetListRows(WindowId window, Long control, const ListRowsView& rows) {
    (void)window, (void)control, (void)rows;
  }
  // Keyboard focus moved to `control` (0: the window itself).
  virtual void SetFocus(WindowId window, Long control) { (void)window, (void)control; }

  // ---- Popups, cursor and sound (optional) ----

  // Calling program thread; blocks it until the user chooses. Returns the chosen entry's
  // number, 0 for none. `x`, `y` in window units of the calling thread's newest window; a
  // coordinate that is 0 or 80000000h (the runtime's default) is the mouse's.
  // Default: 0 at once (nobody can choose).
  virtual Long ShowPopup(const std::vector<PopupEntry>& menu, Long x, Long y) {
    (void)menu, (void)x, (void)y;
    return 0;
  }
  // Any program thread. Defaults do nothing.
  virtual void SetWaitCursor(Long thread, bool on) { (void)thread, (void)on; }
  virtual void Beep(Long sound, Long style) { (void)sound, (void)style; }
};

// The installed backend, nullptr when none. The window model reaches the screen through it.
Backend* InstalledBackend();

// Makes `backend` the process's dialog host; nullptr uninstalls it (dialogs then fall back to
// runtime/core's stderr behaviour). The caller keeps ownership.
void InstallBackend(Backend* backend);

}  // namespace rt::ui
