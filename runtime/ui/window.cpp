#include "runtime/ui/window.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <optional>

#include "runtime/core/assert.h"
#include "runtime/core/picture.h"
#include "runtime/core/text.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"

namespace rt {

namespace {

EventRecord MakeEvent(Long code, Long control = 0, Long key = 0) {
  EventRecord event;
  event.code = code;
  event.control = control;
  event.keyCode = key;
  event.thread = Thread();
  return event;
}

bool IsListKey(Long key) {
  switch (key) {
    case KEY_Up: case KEY_Down: case KEY_PgUp: case KEY_PgDn: case KEY_Home: case KEY_End:
    case KEY_CtrlHome: case KEY_CtrlEnd: return true;
    default: return false;
  }
}

// Letters and digits, with or without Shift: the keys a list locates by.
std::optional<char> LocateCharacter(Long key) {
  const Long base = key & ~KEY_Shift;
  if ((base >= '0' && base <= '9') || (base >= 'A' && base <= 'Z')) return static_cast<char>(base);
  return std::nullopt;
}

Long ScrollEventOfKey(Long key) {
  switch (key) {
    case KEY_Up: return EVENT_ScrollUp;
    case KEY_Down: return EVENT_ScrollDown;
    case KEY_PgUp: return EVENT_PageUp;
    case KEY_PgDn: return EVENT_PageDown;
    case KEY_Home: case KEY_CtrlHome: return EVENT_ScrollTop;
    default: return EVENT_ScrollBottom;
  }
}

bool IsMouseKey(Long key) {
  return key == KEY_MouseLeft || key == KEY_MouseRight || key == KEY_MouseLeft2 || key == KEY_MouseRightUp;
}

Long KeyOfScrollEvent(Long event) {
  switch (event) {
    case EVENT_ScrollUp: return KEY_Up;
    case EVENT_ScrollDown: return KEY_Down;
    case EVENT_PageUp: return KEY_PgUp;
    case EVENT_PageDown: return KEY_PgDn;
    case EVENT_ScrollTop: return KEY_CtrlHome;
    default: return KEY_CtrlEnd;
  }
}

}  // namespace

Window::Window(WindowDef def)
    : def_(std::move(def)), title_(def_.title), x_(def_.x), y_(def_.y), width_(def_.width), height_(def_.height) {
  for (const ControlDef& control : def_.controls) {
    RT_ASSERT(control.number != 0, "control \"" + control.text + "\" has no number; add it with WindowDef::Add");
    controls_.push_back(std::make_unique<Control>(*this, control));
  }
}

Window::~Window() { Close(); }

// ---- Open and close ----

bool Window::Open() {
  if (open_) {
    RT_ASSERT(false, "window \"" + title_ + "\" opened twice; close it first");
    return false;
  }
  thread_ = Thread();
  open_ = true;
  if (Window* below = TopWindow()) below->Enqueue(MakeEvent(EVENT_LoseFocus));
  id_ = detail::RegisterWindow(*this);
  if (ui::Backend* backend = ui::InstalledBackend()) backend->CreateWindow(View());
  shownEntryText_.clear();
  shownRows_.clear();
  Refresh();
  Enqueue(MakeEvent(EVENT_OpenWindow));
  Enqueue(MakeEvent(EVENT_Sized));
  const auto first = std::find_if(controls_.begin(), controls_.end(),
                                  [&](const auto& c) { return c->CanTakeFocus() && IsShown(*c) && c->Number() > 0; });
  if (first != controls_.end()) {
    focus_ = (*first)->Number();
    if (ui::Backend* backend = ui::InstalledBackend()) backend->SetFocus(id_, focus_);
    Enqueue(MakeEvent(EVENT_Selected, focus_));
  }
  handled_ = true;
  return true;
}

void Window::Close() {
  if (!open_) return;
  RT_ASSERT(Thread() == thread_, "window \"" + title_ + "\" closed from a thread that does not own it");
  open_ = false;
  queue_.clear();
  acceptAll_ = false;
  const ui::WindowId id = id_;
  detail::UnregisterWindow(*this);
  if (ui::Backend* backend = ui::InstalledBackend()) backend->DestroyWindow(id);
  if (Window* below = TopWindow()) below->Enqueue(MakeEvent(EVENT_GainFocus));
}

// ---- The accept loop ----

bool Window::Accept() {
  RT_ASSERT(!open_ || Thread() == thread_, "Accept called for a window of another thread");
  FinishCurrent();
  while (open_) {
    if (!queue_.empty()) {
      const Queued next = queue_.front();
      queue_.pop_front();
      current_ = next.event;
      handled_ = false;
      if (next.endsAcceptAll) {
        // The pass is over once its last event is handed out, so that event's handler may
        // refresh the window again.
        acceptAll_ = false;
        Push(0, PROP_AcceptAll, 0, "");
      }
      return true;
    }
    Refresh();
    PumpOne(std::chrono::hours(1));
  }
  current_ = EventRecord{};
  return false;
}

// The runtime's default handling of the event just handed out.
void Window::FinishCurrent() {
  if (handled_ || !open_) {
    handled_ = true;
    return;
  }
  handled_ = true;
  const EventRecord event = current_;
  switch (event.code) {
    case EVENT_CloseWindow:
    case EVENT_CloseDown:
      Close();
      break;
    case EVENT_Accepted:
      if (const Control* control = FindControl(event.control); control && control->HasStdClose())
        Enqueue(MakeEvent(EVENT_CloseWindow));
      break;
    case EVENT_PreAlertKey:
      StandardKeyAction(event.control, event.keyCode);
      break;
    case EVENT_SizeRequest:
      if (requestedSize_) {
        width_ = requestedSize_->first;
        height_ = requestedSize_->second;
        Push(0, PROP_Width, 0, std::to_string(width_));
        Push(0, PROP_Height, 0, std::to_string(height_));
        requestedSize_.reset();
      }
      Enqueue(MakeEvent(EVENT_Sized));
      break;
    case EVENT_MaximizeRequest:
      maximized_ = true;
      Push(0, PROP_Maximize, 0, "1");
      Enqueue(MakeEvent(EVENT_Maximized));
      Enqueue(MakeEvent(EVENT_Sized));
      break;
    case EVENT_IconizeRequest:
      iconized_ = true;
      Push(0, PROP_Iconize, 0, "1");
      break;
    default:
      break;
  }
}

void Window::Enqueue(const EventRecord& event, bool endsAcceptAll) {
  if (open_) queue_.push_back({event, endsAcceptAll});
}

void Window::Post(Long event, Long control) {
  EventRecord record = MakeEvent(event, control);
  Enqueue(record);
}

// ---- Focus, selection and the accept-all pass ----

void Window::Select(Long control) {
  if (control != 0) {
    const Control* target = FindControl(control);
    if (!target) return;
    // A control that cannot hold the focus (a string, a prompt) hands it to the next that can.
    if (!target->CanTakeFocus() || !IsShown(*target)) {
      const auto at = std::find_if(controls_.begin(), controls_.end(), [&](const auto& c) { return c.get() == target; });
      const auto next = std::find_if(at, controls_.end(), [&](const auto& c) {
        return c->Number() > 0 && c->CanTakeFocus() && IsShown(*c);
      });
      control = next != controls_.end() ? (*next)->Number() : NextFocusable(0, 1);
      if (control == 0) return;
    }
    SetFocusTo(control);
    Enqueue(MakeEvent(EVENT_Selected, control));
    return;
  }
  acceptAll_ = true;
  Push(0, PROP_AcceptAll, 0, "1");
  std::vector<Long> accepted;
  for (const auto& control : controls_) {
    if (control->Type() != CT_Entry || control->IsDisabled() || control->IsReadOnly() || !IsShown(*control)) continue;
    bool requiredEmpty = false;
    if (AcceptEntry(*control, true, requiredEmpty)) {
      Enqueue(MakeEvent(EVENT_Accepted, control->Number()));
      continue;
    }
    // The first invalid entry ends the pass with the focus on it.
    SetFocusTo(control->Number());
    if (!requiredEmpty) {
      Enqueue(MakeEvent(EVENT_Rejected, control->Number()));
      SelectRefusedText(*control);
    }
    Enqueue(MakeEvent(EVENT_Selected, control->Number()), true);
    return;
  }
  Enqueue(MakeEvent(EVENT_Completed), true);
}

// Validates and stores one entry's text. False: the text does not fit the picture (the
// variable is left alone) or a required entry is empty.
bool Window::AcceptEntry(Control& entry, bool duringAcceptAll, bool& requiredEmpty) {
  requiredEmpty = false;
  const std::string text = entry.ShownText();
  const std::optional<std::string> plain =
      entry.Picture().empty() ? std::optional<std::string>(text) : Deformat(text, entry.Picture());
  if (!plain) return false;
  if (entry.BoundVariable()) {
    if (!entry.BoundVariable()->SetFromText(*plain)) return false;
  } else {
    entry.text_ = *plain;
  }
  entry.EndEditing();
  const std::string shown = entry.ShownText();
  shownEntryText_[entry.Number()] = shown;
  Push(entry.Number(), PROP_Text, 0, shown);
  if (duringAcceptAll && entry.IsRequired()) {
    const bool empty = entry.BoundVariable() ? entry.BoundVariable()->IsEmpty() : Clip(shown).empty();
    if (empty) {
      requiredEmpty = true;
      return false;
    }
  }
  return true;
}

bool Window::LeaveFocused() {
  Control* focused = FindControl(focus_);
  if (!focused || focused->Type() != CT_Entry || !focused->IsEditing()) return true;
  bool requiredEmpty = false;
  if (AcceptEntry(*focused, false, requiredEmpty)) {
    Enqueue(MakeEvent(EVENT_Accepted, focused->Number()));
    return true;
  }
  Enqueue(MakeEvent(EVENT_Rejected, focused->Number()));
  SelectRefusedText(*focused);
  return false;
}

void Window::TakeInFocusedQuietly() {
  Control* focused = FindControl(focus_);
  if (!focused || focused->Type() != CT_Entry || !focused->IsEditing()) return;
  bool requiredEmpty = false;
  if (AcceptEntry(*focused, false, requiredEmpty)) Enqueue(MakeEvent(EVENT_Accepted, focused->Number()));
}

// The refused text stays for the user to correct, selected so that typing replaces it.
void Window::SelectRefusedText(const Control& entry) { Push(entry.Number(), PROP_SelectText, 0, "1"); }

void Window::SetFocusTo(Long control) {
  focus_ = control;
  if (ui::Backend* backend = ui::InstalledBackend()) backend->SetFocus(id_, control);
}

// A user's move of the focus: the entry being left is validated first and keeps the focus
// when its text is rejected.
bool Window::MoveFocus(Long control) {
  if (control == focus_) return true;
  if (!LeaveFocused()) {
    // The screen may have moved the focus already (a click): put it back.
    SetFocusTo(focus_);
    return false;
  }
  SetFocusTo(control);
  Enqueue(MakeEvent(EVENT_Selected, control));
  return true;
}

Long Window::NextFocusable(Long from, int step) const {
  std::vector<Long> order;
  for (const auto& c : controls_)
    if (c->Number() > 0 && c->CanTakeFocus() && IsShown(*c)) order.push_back(c->Number());
  if (order.empty()) return 0;
  const auto at = std::find(order.begin(), order.end(), from);
  if (at == order.end()) return order.front();
  const auto index = (at - order.begin() + step + static_cast<long>(order.size())) % static_cast<long>(order.size());
  return order[index];
}

// ---- User input ----

void Window::TakeInput(const ui::UserInput& input) {
  Control* control = FindControl(input.control);
  const bool usable = control && !control->IsDisabled() && IsShown(*control);
  switch (input.kind) {
    case ui::InputKind::Type: {
      if (!usable || control->Type() != CT_Entry || control->IsReadOnly()) return;
      if (!MoveFocus(control->Number())) return;
      // The widget shows what was typed already; sending it back would overwrite keys typed
      // since, so the text is only noted as shown. Keys past the field's size are refused as
      // a widget with that limit refuses them: the text is cut at a whole character.
      std::string text = input.text;
      const std::size_t limit = control->MaxBytes();
      const bool refused = limit > 0 && text.size() > limit;
      if (refused) text = std::string(Utf8Prefix(text, limit));
      control->SetEditText(text);
      shownEntryText_[control->Number()] = text;
      if (refused) {
        Push(control->Number(), PROP_Text, 0, text);
        Beep();
      }
      // An immediate entry tells the program of each change as it is typed (a filter, say).
      if (control->IsImmediate()) Enqueue(MakeEvent(EVENT_NewSelection, control->Number()));
      return;
    }
    case ui::InputKind::Focus:
      if (usable && control->CanTakeFocus()) MoveFocus(control->Number());
      return;
    case ui::InputKind::Press:
      if (usable) PressControl(*control, input.key ? input.key : KEY_MouseLeft);
      return;
    case ui::InputKind::Key:
      // A mouse key on a list says where it was (a key pressed on the keyboard says nowhere).
      if (control && control->Type() == CT_List && IsMouseKey(input.key)) control->NoteMouseDown(input.value, input.value2);
      KeyPressed(input.control ? input.control : focus_, input.key);
      return;
    case ui::InputKind::PickRow:
      if (!usable) return;
      if (!MoveFocus(control->Number())) return;
      if (control->Type() == CT_List) {
        control->NoteMouseDown(input.value, input.value2);
        control->SetSelectedRow(input.value);
        Push(control->Number(), PROP_Selected, 0, std::to_string(control->SelectedRow()));
        Enqueue(MakeEvent(EVENT_NewSelection, control->Number(), input.key ? input.key : KEY_MouseLeft));
        // A double click accepts the row, unless the program alerted it for itself.
        if (input.key == KEY_MouseLeft2) KeyPressed(control->Number(), KEY_MouseLeft2);
      } else if (control->Type() == CT_Sheet) {
        control->SetProp(PROP_Selected, std::to_string(input.value));
        Enqueue(MakeEvent(EVENT_NewSelection, control->Number(), KEY_MouseLeft));
      }
      return;
    case ui::InputKind::Scroll:
      if (usable && control->Type() == CT_List) KeyPressed(control->Number(), KeyOfScrollEvent(input.value));
      return;
    case ui::InputKind::DragThumb:
      if (!usable || control->Type() != CT_List) return;
      control->SetProp(PROP_VScrollPos, std::to_string(input.value));
      if (control->IsImmediate()) {
        Enqueue(MakeEvent(EVENT_ScrollDrag, control->Number()));
      } else if (control->RowCount() > 0) {
        control->SetSelectedRow(std::max<Long>(1, (control->RowCount() * input.value + 50) / 100));
        Push(control->Number(), PROP_Selected, 0, std::to_string(control->SelectedRow()));
        Enqueue(MakeEvent(EVENT_NewSelection, control->Number()));
      }
      return;
    case ui::InputKind::Resize:
      if (!def_.resizable) return;
      requestedSize_ = {std::clamp(input.value, minWidth_, std::max(minWidth_, maxWidth_ > 0 ? maxWidth_ : input.value)),
                        std::clamp(input.value2, minHeight_, std::max(minHeight_, maxHeight_ > 0 ? maxHeight_ : input.value2))};
      Enqueue(MakeEvent(EVENT_SizeRequest));
      return;
    case ui::InputKind::Maximize:
      if (def_.resizable && !maximized_) Enqueue(MakeEvent(EVENT_MaximizeRequest));
      return;
    case ui::InputKind::Iconize:
      if (!iconized_) Enqueue(MakeEvent(EVENT_IconizeRequest));
      return;
    case ui::InputKind::Restore:
      if (!maximized_ && !iconized_) return;
      maximized_ = iconized_ = false;
      Push(0, PROP_Maximize, 0, "");
      Push(0, PROP_Iconize, 0, "");
      Enqueue(MakeEvent(EVENT_Restored));
      Enqueue(MakeEvent(EVENT_Sized));
      return;
    case ui::InputKind::Close:
      // As a button press would: the typed text is taken in first, so the program sees the
      // change it is asked to close over (and a refused text keeps the window open).
      if (LeaveFocused()) Enqueue(MakeEvent(EVENT_CloseWindow));
      return;
    case ui::InputKind::CloseDown:
      // Closing down cannot be refused: a valid text is still taken in.
      TakeInFocusedQuietly();
      Enqueue(MakeEvent(EVENT_CloseDown));
      return;
    case ui::InputKind::Command:
      if ((!control || usable) && LeaveFocused()) Enqueue(MakeEvent(EVENT_Accepted, input.control, KEY_MouseLeft));
      return;
    case ui::InputKind::Activate:
      if (input.value) Enqueue(MakeEvent(EVENT_GainFocus));
      return;
    case ui::InputKind::Deactivate:
      Enqueue(MakeEvent(EVENT_LoseFocus));
      return;
  }
}

void Window::PressControl(Control& control, Long key) {
  switch (control.Type()) {
    case CT_Check:
      if (!MoveFocus(control.Number()) || !control.BoundVariable()) return;
      control.BoundVariable()->SetFromText(control.IsOn() ? "0" : "1");
      Refresh();
      Enqueue(MakeEvent(EVENT_Accepted, control.Number(), key));
      return;
    case CT_Radio: {
      Control* option = FindControl(control.ParentNumber());
      if (!MoveFocus(control.Number()) || !option || !option->BoundVariable()) return;
      const bool changed = !control.IsOn();
      option->BoundVariable()->SetFromText(control.RadioValue());
      Refresh();
      // The option is what the program edits: it is the one accepted.
      if (changed) Enqueue(MakeEvent(EVENT_Accepted, option->Number(), key));
      return;
    }
    case CT_Button:
      // A toolbar button acts on the field being edited (the form's history button recalls it),
      // so like a menu item it leaves that field without taking the focus.
      if (!(control.IsOnToolbar() ? LeaveFocused() : MoveFocus(control.Number()))) return;
      Enqueue(MakeEvent(EVENT_Accepted, control.Number(), key));
      return;
    case CT_Item:
      if (control.GetProp(PROP_Text) == "-") return;
      // Choosing a menu item leaves the entry being typed in, as clicking away would.
      if (!LeaveFocused()) return;
      Enqueue(MakeEvent(EVENT_Accepted, control.Number(), key));
      return;
    default:
      return;
  }
}

void Window::KeyPressed(Long control, Long key) {
  const Control* target = FindControl(control);
  if (target && (target->IsDisabled() || !IsShown(*target))) return;
  const bool alerted = (target && target->IsAlerted(key)) || std::find(alerts_.begin(), alerts_.end(), key) != alerts_.end();
  if (!alerted || key == 0) {
    StandardKeyAction(control, key);
    return;
  }
  // An alerted key: PreAlertKey first (handling it skips the key's own action), then AlertKey.
  Enqueue(MakeEvent(EVENT_PreAlertKey, control, key));
  Enqueue(MakeEvent(EVENT_AlertKey, control, key));
}

void Window::StandardKeyAction(Long controlNumber, Long key) {
  Control* control = FindControl(controlNumber);
  if (key == KEY_Tab || key == KEY_ShiftTab) {
    MoveFocus(NextFocusable(focus_, key == KEY_Tab ? 1 : -1));
    return;
  }
  // Esc asks to close any window but the frame, as its close box does (the typed text taken
  // in first); the program may refuse.
  if (key == KEY_Esc) {
    if (def_.kind != WindowKind::ApplicationFrame && LeaveFocused()) Enqueue(MakeEvent(EVENT_CloseWindow, 0, key));
    return;
  }
  if (!control) return;
  switch (control->Type()) {
    case CT_Button:
      if (key == KEY_Enter || key == KEY_Space) PressControl(*control, key);
      return;
    case CT_Check:
    case CT_Radio:
      if (key == KEY_Space) PressControl(*control, key);
      return;
    case CT_Entry:
      if (key == KEY_Enter) {
        if (!LeaveFocused()) return;
        const auto byDefault = std::find_if(controls_.begin(), controls_.end(), [&](const auto& c) {
          return c->Type() == CT_Button && c->IsDefaultButton() && !c->IsDisabled() && IsShown(*c);
        });
        if (byDefault != controls_.end()) PressControl(**byDefault, key);
      }
      return;
    case CT_List:
      if (IsListKey(key)) ScrollList(*control, ScrollEventOfKey(key), key);
      else if (key == KEY_Enter || key == KEY_MouseLeft2) Enqueue(MakeEvent(EVENT_Accepted, controlNumber, key));
      else if (const std::optional<char> character = LocateCharacter(key)) LocateInList(*control, *character, key);
      return;
    default:
      return;
  }
}

// Moves a list's selection. In immediate mode scrolling past the rows, paging and jumping to
// either end become scroll events for the program (which holds only a page) and the selection
// stays where it was.
void Window::ScrollList(Control& list, Long scrollEvent, Long key) {
  const Long rows = list.RowCount();
  const Long selected = list.SelectedRow();
  Long target = selected;
  switch (scrollEvent) {
    case EVENT_ScrollUp: target = selected - 1; break;
    case EVENT_ScrollDown: target = selected + 1; break;
    case EVENT_PageUp: target = selected - list.Items(); break;
    case EVENT_PageDown: target = selected + list.Items(); break;
    case EVENT_ScrollTop: target = 1; break;
    default: target = rows; break;
  }
  const bool withinRows = (scrollEvent == EVENT_ScrollUp || scrollEvent == EVENT_ScrollDown) && target >= 1 && target <= rows;
  if (list.IsImmediate() && !withinRows) {
    Enqueue(MakeEvent(scrollEvent, list.Number(), key));
    return;
  }
  if (rows == 0) return;
  list.SetSelectedRow(std::clamp<Long>(target, 1, rows));
  if (list.SelectedRow() == selected) return;
  Push(list.Number(), PROP_Selected, 0, std::to_string(list.SelectedRow()));
  Enqueue(MakeEvent(EVENT_NewSelection, list.Number(), key));
}

// Typing a letter or digit in a list: an immediate-mode list, which holds only a page, leaves
// the search to the program (Locate); any other list selects the next row whose first column
// starts with that character, wrapping round to the top.
void Window::LocateInList(Control& list, char character, Long key) {
  if (list.IsImmediate()) {
    Enqueue(MakeEvent(EVENT_Locate, list.Number(), key));
    return;
  }
  const Long rows = list.RowCount();
  for (Long step = 1; step <= rows; ++step) {
    const Long row = (list.SelectedRow() + step - 1) % rows + 1;
    const std::string text = list.CellValue(row, 1);
    const auto first = std::find_if(text.begin(), text.end(), [](char c) { return c != ' '; });
    if (first == text.end() || std::toupper(static_cast<unsigned char>(*first)) != character) continue;
    if (row == list.SelectedRow()) return;
    list.SetSelectedRow(row);
    Push(list.Number(), PROP_Selected, 0, std::to_string(row));
    Enqueue(MakeEvent(EVENT_NewSelection, list.Number(), key));
    return;
  }
}

// ---- Showing ----

void Window::Display(Long control) {
  for (const auto& c : controls_) {
    if (control != 0 && c->Number() != control) continue;
    // Showing every control (a reset, the window getting the focus back) keeps what the user
    // is typing unless the program changed that variable meanwhile; naming the entry drops it.
    if (control == 0 && c->Type() == CT_Entry && c->IsEditing() && !c->IsChangedUnderEditing()) continue;
    if (c->Type() == CT_Entry) c->EndEditing();
    shownEntryText_.erase(c->Number());
    shownRows_.erase(c->Number());
  }
  Refresh();
}

// Tells the backend what changed since it was last told: entries whose variable changed,
// lists whose rows changed. Runs before the thread waits for input and on Display.
void Window::Refresh() {
  if (!open_) return;
  for (const auto& c : controls_) {
    if (c->Type() == CT_Entry) {
      const std::string shown = c->ShownText();
      auto [at, inserted] = shownEntryText_.try_emplace(c->Number(), shown);
      if (inserted || at->second != shown) {
        at->second = shown;
        Push(c->Number(), PROP_Text, 0, shown);
      }
    } else if (c->Type() == CT_Check || c->Type() == CT_Radio) {
      const std::string on = PropFlag(c->IsOn());
      auto [at, inserted] = shownEntryText_.try_emplace(c->Number(), on);
      if (inserted || at->second != on) {
        at->second = on;
        Push(c->Number(), PROP_Checked, 0, on);
      }
    } else if (c->Type() == CT_List) {
      PlaceEditControls(*c);  // an edit control follows the selected row
      // Only the shown page is formatted and compared, so a pass costs the rows on screen.
      ui::ListRowsView rows = c->Rows();
      const auto at = shownRows_.find(c->Number());
      if (at != shownRows_.end() && at->second == rows) continue;
      if (ui::Backend* backend = ui::InstalledBackend()) backend->SetListRows(id_, c->Number(), rows);
      shownRows_[c->Number()] = std::move(rows);
    }
  }
}

void Window::Push(Long control, Long property, Long index, const std::string& value) const {
  if (!open_) return;
  if (ui::Backend* backend = ui::InstalledBackend()) backend->SetProperty(id_, control, {property, index, value});
}

void Window::ControlChanged(const Control& control, Long property, Long index) {
  if (property == PROP_Text && control.Type() == CT_Entry) shownEntryText_[control.Number()] = control.ShownText();
  Push(control.Number(), property, index, control.GetProp(property, index));
  if ((property == PROP_Selected && control.Type() == CT_Sheet) || property == PROP_Hide) {
    // Tabs not selected hide their controls; the backend learns the new visibility.
    for (const auto& c : controls_) Push(c->Number(), PROP_Visible, 0, PropFlag(IsShown(*c)));
  }
}

void Window::ListChanged(const Control& control) { shownRows_.erase(control.Number()); }

void Window::SetListSource(Long list, const ListSource* source) {
  if (Control* control = FindControl(list); control && control->Type() == CT_List) {
    control->SetSource(source);
    ListChanged(*control);
    Refresh();
  }
}

void Window::SetVirtualList(Long list, VirtualListProc proc) {
  if (Control* control = FindControl(list); control && control->Type() == CT_List) {
    control->SetVirtualList(std::move(proc));
    ListChanged(*control);
    Refresh();
  }
}

// A list shows a heading line when any column has a heading; every line is kListLineUnits high,
// as the list's Items count assumes.
namespace {
constexpr Long kListLineUnits = 10;
}

void Window::PlaceEditControls(const Control& list) {
  const auto& columns = list.Columns();
  const bool headings = std::any_of(columns.begin(), columns.end(), [](const ListColumn& c) { return c.hasHeading; });
  const Long row = std::max<Long>(list.SelectedRow(), list.TopRow()) - list.TopRow();
  Long x = PropNumber(list.GetProp(PROP_XPos));
  for (std::size_t column = 1; column <= columns.size(); ++column) {
    const Long width = columns[column - 1].width;
    const Long editor = PropNumber(list.GetProp(PROP_EditControl, static_cast<Long>(column)));
    if (Control* control = editor ? FindControl(editor) : nullptr; control && control != &list) {
      const Long y = PropNumber(list.GetProp(PROP_YPos)) + (headings ? kListLineUnits : 0) + row * kListLineUnits;
      for (const auto& [property, value] : {std::pair{PROP_XPos, x}, std::pair{PROP_YPos, y}, std::pair{PROP_Width, width},
                                            std::pair{PROP_Height, kListLineUnits}})
        if (control->GetProp(property) != std::to_string(value)) control->SetProp(property, std::to_string(value));
    }
    x += width;
  }
}

Long Window::CreateControl(ControlDef def) {
  const bool isMenu = def.type == CT_MenuBar || def.type == CT_Menu || def.type == CT_Item;
  if (isMenu || def.onToolbar) {
    RT_ASSERT(false, "menus and toolbar controls are declared with the window, not created at run time");
    return 0;
  }
  Long highest = 0;
  for (const auto& c : controls_)
    if (c->Number() < 3000) highest = std::max(highest, c->Number());
  def.number = highest + 1;
  controls_.push_back(std::make_unique<Control>(*this, def));
  const Control& made = *controls_.back();
  if (open_) {
    ui::ControlView view = made.View();
    view.properties.push_back({PROP_Visible, 0, PropFlag(IsShown(made))});
    if (ui::Backend* backend = ui::InstalledBackend()) backend->CreateControl(id_, view);
  }
  return def.number;
}

void Window::DestroyControl(Long control) {
  const auto found = std::find_if(controls_.begin(), controls_.end(), [&](const auto& c) { return c->Number() == control; });
  if (found == controls_.end()) return;
  if (focus_ == control) focus_ = 0;
  shownEntryText_.erase(control);
  shownRows_.erase(control);
  controls_.erase(found);
  if (!open_) return;
  if (ui::Backend* backend = ui::InstalledBackend()) backend->DestroyControl(id_, control);
}

Long Window::Alert(Long key) {
  const auto free = std::find(alerts_.begin(), alerts_.end(), 0);
  if (free == alerts_.end()) return 0;
  *free = key;
  const Long slot = static_cast<Long>(free - alerts_.begin()) + 1;
  Push(0, PROP_Alrt, slot, std::to_string(key));  // the screen decides which keys it passes on
  return slot;
}

bool Window::IsShown(const Control& control) const {
  const Control* at = &control;
  for (int depth = 0; at && depth < 64; ++depth) {
    if (at->IsHiddenItself()) return false;
    const Control* parent = FindControl(at->ParentNumber());
    if (parent && at->Type() == CT_Tab && parent->Type() == CT_Sheet) {
      // A tab's own controls show only while it is the sheet's selected tab.
      Long position = 0;
      for (const auto& c : controls_) {
        if (c->ParentNumber() == parent->Number() && c->Type() == CT_Tab) ++position;
        if (c.get() == at) break;
      }
      if (at != &control && parent->SelectedRow() != position) return false;
    }
    at = parent;
  }
  return true;
}

Control* Window::FindControl(Long number) {
  if (number == 0) return nullptr;
  const auto found = std::find_if(controls_.begin(), controls_.end(), [&](const auto& c) { return c->Number() == number; });
  return found == controls_.end() ? nullptr : found->get();
}

const Control* Window::FindControl(Long number) const { return const_cast<Window*>(this)->FindControl(number); }

// ---- Properties by number ----

std::string Window::GetProp(Long property, Long index) const {
  switch (property) {
    case PROP_Text: return title_;
    case PROP_XPos: return std::to_string(x_);
    case PROP_YPos: return std::to_string(y_);
    case PROP_Width: case PROP_ClientWidth: return std::to_string(width_);
    case PROP_Height: case PROP_ClientHeight: return std::to_string(height_);
    case PROP_Resize: return PropFlag(def_.resizable);
    case PROP_Maximize: return PropFlag(maximized_);
    case PROP_Iconize: return PropFlag(iconized_);
    case PROP_Modal: return PropFlag(def_.modal);
    case PROP_Font: return def_.font;
    case PROP_Icon: return def_.icon;
    case PROP_AcceptAll: return PropFlag(acceptAll_);
    case PROP_MinWidth: return std::to_string(minWidth_);
    case PROP_MinHeight: return std::to_string(minHeight_);
    case PROP_MaxWidth: return std::to_string(maxWidth_);
    case PROP_MaxHeight: return std::to_string(maxHeight_);
    case PROP_Visible: return PropFlag(open_);
    case PROP_Alrt:
      if (index == 0) return std::to_string(std::count_if(alerts_.begin(), alerts_.end(), [](Long k) { return k; }));
      return index >= 1 && index <= kAlertSlots && alerts_[index - 1] ? std::to_string(alerts_[index - 1]) : "";
    case PROP_NextControl: {
      // Declaration order; menus and the toolbar come after the ordinary controls' numbers.
      auto at = index == 0 ? controls_.begin()
                           : std::find_if(controls_.begin(), controls_.end(), [&](const auto& c) { return c->Number() == index; });
      if (at == controls_.end()) return "0";
      if (index != 0) ++at;
      return at == controls_.end() ? "0" : std::to_string((*at)->Number());
    }
    default: break;
  }
  const auto found = other_.find({property, index});
  return found == other_.end() ? std::string() : found->second;
}

void Window::SetProp(Long property, std::string_view value, Long index) {
  const Long number = PropNumber(value);
  switch (property) {
    case PROP_Modal: case PROP_AcceptAll: case PROP_Visible: case PROP_NextControl: return;  // read-only
    case PROP_Text: title_ = std::string(value); break;
    case PROP_XPos: x_ = number; break;
    case PROP_YPos: y_ = number; break;
    case PROP_Width: case PROP_ClientWidth: width_ = number; property = PROP_Width; break;
    case PROP_Height: case PROP_ClientHeight: height_ = number; property = PROP_Height; break;
    case PROP_Resize: def_.resizable = number != 0; break;
    case PROP_Maximize: maximized_ = number != 0; break;
    case PROP_Iconize: iconized_ = number != 0; break;
    case PROP_Font: def_.font = std::string(value); break;
    case PROP_Icon: def_.icon = std::string(value); break;
    case PROP_MinWidth: minWidth_ = number; break;
    case PROP_MinHeight: minHeight_ = number; break;
    case PROP_MaxWidth: maxWidth_ = number; break;
    case PROP_MaxHeight: maxHeight_ = number; break;
    case PROP_Alrt:
      if (index < 1 || index > kAlertSlots) {
        RT_ASSERT(false, "alert slot " + std::to_string(index) + " is outside 1..255");
        return;
      }
      alerts_[index - 1] = number;
      break;
    default: other_[{property, index}] = std::string(value); break;
  }
  Push(0, property, index, GetProp(property, index));
}

std::string Window::GetProp(Long control, Long property, Long index) const {
  if (control == 0) return GetProp(property, index);
  const Control* found = FindControl(control);
  return found ? found->GetProp(property, index) : std::string();
}

void Window::SetProp(Long control, Long property, std::string_view value, Long index) {
  if (control == 0) return SetProp(property, value, index);
  if (Control* found = FindControl(control)) found->SetProp(property, value, index);
}

ui::WindowView Window::View() const {
  ui::WindowView view;
  view.id = id_;
  view.thread = thread_;
  view.kind = static_cast<int>(def_.kind);
  view.modal = def_.modal;
  if (def_.kind != WindowKind::ApplicationFrame) view.frame = detail::NewestFrame();
  for (Long property : {PROP_Text, PROP_XPos, PROP_YPos, PROP_Width, PROP_Height, PROP_Resize, PROP_Maximize,
                        PROP_Iconize, PROP_Font, PROP_Icon}) {
    std::string value = GetProp(property);
    if (!value.empty()) view.properties.push_back({property, 0, std::move(value)});
  }
  for (Long slot = 1; slot <= kAlertSlots; ++slot)
    if (alerts_[slot - 1]) view.properties.push_back({PROP_Alrt, slot, std::to_string(alerts_[slot - 1])});
  for (const auto& c : controls_) {
    ui::ControlView control = c->View();
    control.properties.push_back({PROP_Visible, 0, PropFlag(IsShown(*c))});
    view.controls.push_back(std::move(control));
  }
  return view;
}

}  // namespace rt
