#pragma once
// An open window of the runtime: its controls, properties by number, focus, alerts and its own
// queue of events, handed out one at a time by Accept. Owned by the procedure that opens it
// and used only on that program thread. It tells the installed backend what changed
// (backend.h); the event rules for user input and posts live in the dispatch of accept_loop.h.

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/ui/control.h"
#include "runtime/ui/events.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/screen.h"
#include "runtime/ui/window_def.h"

namespace rt {

class Window final : public PropertyHolder {
 public:
  explicit Window(WindowDef def);
  ~Window();  // closes the window when still open
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  // ---- Open and close (the owning program thread) ----

  // Opens on the calling thread and makes it the thread's target window. Its first events are
  // OpenWindow, Sized and Selected for the first control that can take focus. False when open.
  bool Open();
  // Closes now: pending events are dropped, the window below becomes the target again and
  // gets GainFocus. Does nothing when closed.
  void Close();
  bool IsOpen() const { return open_; }

  // ---- The accept loop ----

  // Finishes the current event (its default action runs unless SetHandled was called), then
  // waits for the next one. False once the window has closed.
  bool Accept();
  // The current event was fully handled: its default action is skipped.
  void SetHandled() { handled_ = true; }
  const EventRecord& CurrentEvent() const { return current_; }
  // An event is queued for this window: Accept will not wait (after PumpPending has run).
  bool HasPendingEvent() const { return !queue_.empty(); }
  // The key code of the current event; the program may clear or change it.
  void SetKeyCode(Long key) { current_.keyCode = key; }

  // ---- Runtime calls on this window ----

  // Queues `event` for `control` at the end of this window's queue.
  void Post(Long event, Long control = 0);
  // Moves focus to `control` (posting Selected); 0 starts the accept-all pass: every entry is
  // validated in order, the first invalid one is selected and the pass stops there; when all
  // are valid, Completed follows their Accepted events.
  void Select(Long control = 0);
  // Shows the current values of bound variables and list sources. 0: every control, keeping
  // the text being typed in an entry whose variable the program left alone; a control named
  // shows its variable again, dropping typed text.
  void Display(Long control = 0);
  void Enable(Long control) { SetProp(control, PROP_Disable, "", 0); }
  void Disable(Long control) { SetProp(control, PROP_Disable, "1", 0); }
  void Hide(Long control) { SetProp(control, PROP_Hide, "1", 0); }
  void Unhide(Long control) { SetProp(control, PROP_Hide, "", 0); }
  // Alerts `key` on the window (every control); returns the slot used, 0 when all are taken.
  Long Alert(Long key);
  void SetListSource(Long list, const ListSource* source);
  void SetVirtualList(Long list, VirtualListProc proc);
  // Creates a control while the window is open (numbered after the highest ordinary control) and
  // returns its number; a menu, item or toolbar control asserts and returns 0.
  Long CreateControl(ControlDef def);
  // Removes a control created at run time or declared; the focus leaves it first.
  void DestroyControl(Long control);
  // Takes in the text typed into the focused entry, as leaving it would (Accepted or Rejected
  // is posted); false when its picture refused it and the focus stays there.
  bool TakeInFocused() { return LeaveFocused(); }

  // ---- Properties by number ----

  std::string GetProp(Long property, Long index = 0) const override;
  void SetProp(Long property, std::string_view value, Long index = 0) override;
  std::string GetProp(Long control, Long property, Long index) const;
  void SetProp(Long control, Long property, std::string_view value, Long index);

  // ---- Query state ----

  ui::WindowId Id() const { return id_; }
  Long OwnerThread() const { return thread_; }
  bool IsModal() const { return def_.modal; }
  WindowKind Kind() const { return def_.kind; }
  const std::string& Title() const { return title_; }
  Control* FindControl(Long number);
  const Control* FindControl(Long number) const;
  Long FocusedControl() const { return focus_; }
  // Shown: not hidden itself, nor any of its parents (a tab not selected hides its controls).
  bool IsShown(const Control& control) const;

  // ---- For Control and the dispatch (same thread) ----

  void ControlChanged(const Control& control, Long property, Long index);
  // Lays the list's edit controls (PROP_EditControl) over their cells in the selected row.
  void PlaceEditControls(const Control& list);
  void ListChanged(const Control& control);
  // Turns one user action into events on this window (the modal rule is the caller's).
  void TakeInput(const ui::UserInput& input);
  void Enqueue(const EventRecord& event, bool endsAcceptAll = false);

 private:
  struct Queued {
    EventRecord event;
    bool endsAcceptAll = false;
  };

  void FinishCurrent();
  void Refresh();
  void Push(Long control, Long property, Long index, const std::string& value) const;
  void SetFocusTo(Long control);
  // Validates the entry being left; false (Rejected posted, focus kept) when its text does not fit.
  bool LeaveFocused();
  // The same for a leave that cannot be refused (closing down): a refused text is dropped.
  void TakeInFocusedQuietly();
  void SelectRefusedText(const Control& entry);
  bool AcceptEntry(Control& entry, bool duringAcceptAll, bool& requiredEmpty);
  bool MoveFocus(Long control);
  void PressControl(Control& control, Long key);
  void KeyPressed(Long control, Long key);
  void StandardKeyAction(Long control, Long key);
  void ScrollList(Control& list, Long scrollEvent, Long key);
  void LocateInList(Control& list, char character, Long key);
  Long NextFocusable(Long from, int step) const;
  ui::WindowView View() const;

  WindowDef def_;
  std::vector<std::unique_ptr<Control>> controls_;
  ui::WindowId id_ = 0;
  Long thread_ = 0;
  bool open_ = false;
  std::string title_;
  Long x_, y_, width_, height_;
  bool maximized_ = false;
  bool iconized_ = false;
  bool acceptAll_ = false;
  Long minWidth_ = 0, minHeight_ = 0, maxWidth_ = 0, maxHeight_ = 0;
  std::vector<Long> alerts_ = std::vector<Long>(kAlertSlots, 0);
  std::map<std::pair<Long, Long>, std::string> other_;
  Long focus_ = 0;
  std::deque<Queued> queue_;
  EventRecord current_;
  bool handled_ = true;  // nothing to finish before the first event
  std::optional<std::pair<Long, Long>> requestedSize_;
  // What the backend was last told, to send only changes.
  std::map<Long, std::string> shownEntryText_;  // entries' text; check boxes' and radios' state
  std::map<Long, ui::ListRowsView> shownRows_;
};

// ---- The calling thread's windows ----

// The thread's top (most recently opened, still open) window; nullptr when none.
Window* TopWindow();

}  // namespace rt
