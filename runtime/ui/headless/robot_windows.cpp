// The Robot's window and popup actions. Reads the backend's mirror (headless_state.h) and acts
// through runtime/ui's input sink, the way a real backend passes on a user's actions.

#include <algorithm>

#include "runtime/ui/events.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/headless/headless_state.h"
#include "runtime/ui/property_holder.h"

namespace rt::ui {

using headless::AsPopup;
using headless::MirrorControl;
using headless::MirrorWindow;
using headless::OpenDialog;

namespace {

std::string Plain(std::string_view text) {
  std::string plain;
  for (char c : text)
    if (c != '&') plain += c;
  return plain;
}

bool TitleMatches(const std::string& title, std::string_view wanted) {
  if (!wanted.empty() && wanted.back() == '*') return title.starts_with(wanted.substr(0, wanted.size() - 1));
  return title == wanted;
}

const PopupEntry* FindEntry(const std::vector<PopupEntry>& entries, Long number, std::string_view text) {
  for (const PopupEntry& entry : entries) {
    if (entry.number != 0 && (number ? entry.number == number : Plain(entry.text) == Plain(text))) return &entry;
    if (const PopupEntry* inner = FindEntry(entry.children, number, text)) return inner;
  }
  return nullptr;
}

std::string Ms(std::chrono::milliseconds timeout) { return std::to_string(timeout.count()) + " ms"; }

}  // namespace

// ---- Popups ----

std::optional<ShownPopup> Robot::WaitForPopup(std::chrono::milliseconds timeout, Long thread) {
  std::optional<ShownPopup> popup;
  if (state_)
    state_->WaitFor(timeout, [&] {
      const auto& open = state_->Dialogs();
      const auto newest = std::find_if(open.rbegin(), open.rend(), [&](const auto& d) {
        return AsPopup(*d) && (thread == kAnyThread || d->thread == thread);
      });
      if (newest == open.rend()) return false;
      popup = ShownPopup{(*newest)->id, (*newest)->thread, AsPopup(**newest)->menu};
      return true;
    });
  if (!popup) Fail("no popup menu within " + Ms(timeout));
  return popup;
}

bool Robot::ChoosePopup(const ShownPopup& popup, Long number) {
  const PopupEntry* entry = FindEntry(popup.menu, number, {});
  if (!entry || entry->disabled) {
    Fail("popup #" + std::to_string(popup.id) + " has no enabled entry numbered " + std::to_string(number));
    return false;
  }
  if (state_ && state_->Answer(popup.id, number)) return true;
  Fail("popup #" + std::to_string(popup.id) + " is no longer open");
  return false;
}

bool Robot::ChoosePopup(const ShownPopup& popup, std::string_view text) {
  const PopupEntry* entry = FindEntry(popup.menu, 0, text);
  if (!entry) {
    Fail("popup #" + std::to_string(popup.id) + " has no entry \"" + std::string(text) + '"');
    return false;
  }
  return ChoosePopup(popup, entry->number);
}

bool Robot::DismissPopup(const ShownPopup& popup) {
  if (state_ && state_->Answer(popup.id, 0)) return true;
  Fail("popup #" + std::to_string(popup.id) + " is no longer open");
  return false;
}

// ---- Finding windows ----

std::optional<ShownWindow> Robot::WaitForWindow(std::string_view title, std::chrono::milliseconds timeout, Long thread) {
  std::optional<ShownWindow> found;
  if (state_)
    state_->WaitFor(timeout, [&] {
      const MirrorWindow* newest = nullptr;
      for (const auto& [id, window] : state_->Windows()) {
        if (thread != kAnyThread && window.thread != thread) continue;
        if (!TitleMatches(window.Prop(PROP_Text), title)) continue;
        if (!newest || window.openOrder > newest->openOrder) newest = &window;
      }
      // Found once its thread has handled the opening events and waits for the user.
      if (!newest || !state_->IsSettled(newest->thread, 0)) return false;
      found = ShownWindow{newest->id, newest->thread, newest->Prop(PROP_Text), newest->modal};
      return true;
    });
  if (!found) Fail("no window titled \"" + std::string(title) + "\" within " + Ms(timeout));
  return found;
}

bool Robot::WaitForWindowClosed(const ShownWindow& window, std::chrono::milliseconds timeout) {
  if (state_ && state_->WaitFor(timeout, [&] { return !state_->Windows().contains(window.id); })) return true;
  Fail("window \"" + window.title + "\" still open after " + Ms(timeout));
  return false;
}

bool Robot::IsOpen(const ShownWindow& window) const {
  return state_ && state_->Read([&] { return state_->Windows().contains(window.id); });
}

// ---- Reading ----

std::string Robot::Prop(const ShownWindow& window, Long control, Long property, Long index) const {
  if (!state_) return {};
  return state_->Read([&]() -> std::string {
    const auto found = state_->Windows().find(window.id);
    if (found == state_->Windows().end()) return {};
    if (control == 0) return found->second.Prop(property, index);
    const MirrorControl* c = found->second.Find(control);
    return c ? c->Prop(property, index) : std::string();
  });
}

std::string Robot::Text(const ShownWindow& window, Long control) const { return Prop(window, control, PROP_Text); }

Long Robot::Focus(const ShownWindow& window) const {
  if (!state_) return 0;
  return state_->Read([&]() -> Long {
    const auto found = state_->Windows().find(window.id);
    return found == state_->Windows().end() ? 0 : found->second.focus;
  });
}

std::vector<std::vector<std::string>> Robot::ListRows(const ShownWindow& window, Long list) const {
  if (!state_) return {};
  return state_->Read([&]() -> std::vector<std::vector<std::string>> {
    const auto found = state_->Windows().find(window.id);
    if (found == state_->Windows().end()) return {};
    const MirrorControl* c = found->second.Find(list);
    return c ? c->rows.rows : std::vector<std::vector<std::string>>();
  });
}

std::vector<std::string> Robot::ListHeadings(const ShownWindow& window, Long list) const {
  if (!state_) return {};
  return state_->Read([&]() -> std::vector<std::string> {
    const auto found = state_->Windows().find(window.id);
    if (found == state_->Windows().end()) return {};
    const MirrorControl* c = found->second.Find(list);
    return c ? c->rows.headings : std::vector<std::string>();
  });
}

namespace {
ListRowsView PageOf(const headless::HeadlessState* state, const ShownWindow& window, Long list) {
  if (!state) return {};
  return state->Read([&]() -> ListRowsView {
    const auto found = state->Windows().find(window.id);
    const MirrorControl* c = found == state->Windows().end() ? nullptr : found->second.Find(list);
    return c ? c->rows : ListRowsView();
  });
}
}  // namespace

Long Robot::FirstShownRow(const ShownWindow& window, Long list) const { return PageOf(state_, window, list).first; }

std::string Robot::Cell(const ShownWindow& window, Long list, Long row, Long column) const {
  const ListRowsView page = PageOf(state_, window, list);
  const Long at = row - page.first;
  if (at < 0 || at >= static_cast<Long>(page.rows.size())) return {};
  const auto& cells = page.rows[at];
  return column >= 1 && column <= static_cast<Long>(cells.size()) ? cells[column - 1] : std::string();
}

bool Robot::WaitForProp(const ShownWindow& window, Long control, Long property, std::string_view value,
                        std::chrono::milliseconds timeout, Long index) {
  const bool reached = state_ && state_->WaitFor(timeout, [&] {
    const auto found = state_->Windows().find(window.id);
    if (found == state_->Windows().end()) return false;
    if (control == 0) return found->second.Prop(property, index) == value;
    const MirrorControl* c = found->second.Find(control);
    return c && c->Prop(property, index) == value;
  });
  if (!reached)
    Fail("property " + std::to_string(property) + " of control " + std::to_string(control) + " in \"" + window.title +
         "\" did not become \"" + std::string(value) + "\" within " + Ms(timeout) + " (it reads \"" +
         Prop(window, control, property, index) + "\")");
  return reached;
}

bool Robot::WaitForListRows(const ShownWindow& window, Long list, std::size_t rows, std::chrono::milliseconds timeout) {
  const bool reached = state_ && state_->WaitFor(timeout, [&] {
    const auto found = state_->Windows().find(window.id);
    const MirrorControl* c = found == state_->Windows().end() ? nullptr : found->second.Find(list);
    return c && c->rows.rows.size() == rows;
  });
  if (!reached)
    Fail("list " + std::to_string(list) + " in \"" + window.title + "\" did not show " + std::to_string(rows) +
         " rows within " + Ms(timeout));
  return reached;
}

bool Robot::HasWaitCursor(Long thread) const {
  return state_ && state_->Read([&] { return state_->HasWaitCursor(thread); });
}

std::size_t Robot::BeepCount() const { return state_ ? state_->Read([&] { return state_->BeepCount(); }) : 0; }

// ---- Acting ----

bool Robot::CheckControl(const ShownWindow& window, Long control, const char* action) {
  std::string problem = state_->Read([&]() -> std::string {
    const auto found = state_->Windows().find(window.id);
    if (found == state_->Windows().end()) return "the window is not open";
    const MirrorWindow& shown = found->second;
    for (const auto& [id, other] : state_->Windows())
      if (other.thread == shown.thread && other.modal && other.openOrder > shown.openOrder)
        return "the window is blocked by the modal window \"" + other.Prop(PROP_Text) + '"';
    if (control == 0) return {};
    const MirrorControl* c = shown.Find(control);
    if (!c) return "it has no control " + std::to_string(control);
    if (!c->Prop(PROP_Disable).empty()) return "control " + std::to_string(control) + " is disabled";
    if (c->Prop(PROP_Visible) != "1") return "control " + std::to_string(control) + " is hidden";
    return {};
  });
  if (problem.empty()) return true;
  Fail(std::string(action) + " in \"" + window.title + "\": " + problem);
  return false;
}

bool Robot::Act(const ShownWindow& window, const char* action, UserInput input, bool needsControl) {
  if (!state_) {
    Fail(std::string(action) + ": not a headless backend");
    return false;
  }
  const bool usable = CheckControl(window, needsControl ? input.control : 0, action);
  input.window = window.id;
  Delivery deactivated;  // activating a window also reaches the one that was in front
  const std::uint64_t sequence = SendInput(input, deactivated);
  if (sequence == 0) {
    if (usable) Fail(std::string(action) + " in \"" + window.title + "\": the window is not open");
    return false;
  }
  if (!state_->WaitFor(actionTimeout_, [&] {
        return state_->IsSettled(window.thread, sequence) &&
               (deactivated.thread == 0 || state_->IsSettled(deactivated.thread, deactivated.sequence));
      })) {
    Fail(std::string(action) + " in \"" + window.title + "\": thread " + std::to_string(window.thread) +
         " did not handle it within " + Ms(actionTimeout_));
    return false;
  }
  return usable;
}

bool Robot::Type(const ShownWindow& window, Long entry, std::string_view text) {
  // The entry shows what is typed at once, as a real widget does; the runtime never echoes it.
  const bool editable = state_ && state_->Read([&] {
    const auto found = state_->Windows().find(window.id);
    const MirrorControl* c = found == state_->Windows().end() ? nullptr : found->second.Find(entry);
    return c && c->type == CT_Entry && c->Prop(PROP_ReadOnly).empty() && c->Prop(PROP_Disable).empty();
  });
  if (editable) {
    state_->SetProperty(window.id, entry, {PROP_Text, 0, std::string(text)});
    state_->SetProperty(window.id, entry, {PROP_SelectText, 0, ""});  // typing replaced the selection
  }
  return Act(window, "Type", {InputKind::Type, 0, entry, 0, 0, 0, std::string(text)}, true);
}

bool Robot::TypeInto(const ShownWindow& window, Long entry, std::string_view text) {
  return Type(window, entry, text) && PressKey(window, entry, KEY_Tab);
}

bool Robot::Click(const ShownWindow& window, Long control) {
  return Act(window, "Click", {InputKind::Focus, 0, control, 0, 0, 0, {}}, true);
}

bool Robot::Press(const ShownWindow& window, Long control) {
  return Act(window, "Press", {InputKind::Press, 0, control, 0, 0, 0, {}}, true);
}

bool Robot::PressKey(const ShownWindow& window, Long control, Long key) {
  if (control != 0 && Focus(window) != control && !Click(window, control)) return false;
  return Act(window, "PressKey", {InputKind::Key, 0, control, key, 0, 0, {}}, control != 0);
}

bool Robot::ChooseMenu(const ShownWindow& window, std::string_view path) {
  // Walk the path through the mirror: each step is an item or menu whose parent is the last.
  const Long item = state_ ? state_->Read([&]() -> Long {
    const auto found = state_->Windows().find(window.id);
    if (found == state_->Windows().end()) return 0;
    Long parent = 0;
    for (const MirrorControl& c : found->second.controls)
      if (c.type == CT_MenuBar) parent = c.number;
    std::string_view rest = path;
    while (!rest.empty()) {
      const std::size_t bar = rest.find('|');
      const std::string step = Plain(rest.substr(0, bar));
      rest = bar == std::string_view::npos ? std::string_view() : rest.substr(bar + 1);
      const auto next = std::find_if(found->second.controls.begin(), found->second.controls.end(), [&](const MirrorControl& c) {
        return c.parent == parent && (c.type == CT_Menu || c.type == CT_Item) && Plain(c.Prop(PROP_Text)) == step;
      });
      if (next == found->second.controls.end()) return 0;
      parent = next->number;
    }
    return parent;
  }) : 0;
  if (item == 0) {
    Fail("ChooseMenu in \"" + window.title + "\": no menu path \"" + std::string(path) + '"');
    return false;
  }
  return Press(window, item);
}

bool Robot::PickRow(const ShownWindow& window, Long list, Long row, bool doubleClick, Long column) {
  return Act(window, "PickRow", {InputKind::PickRow, 0, list, doubleClick ? KEY_MouseLeft2 : KEY_MouseLeft, row, column, {}},
             true);
}

bool Robot::RightClickRow(const ShownWindow& window, Long list, Long row, Long column) {
  if (Focus(window) != list && !Click(window, list)) return false;
  return Act(window, "RightClickRow", {InputKind::Key, 0, list, KEY_MouseRight, row, column, {}}, true) &&
         Act(window, "RightClickRow", {InputKind::Key, 0, list, KEY_MouseRightUp, row, column, {}}, true);
}

bool Robot::SelectTab(const ShownWindow& window, Long sheet, Long tab) {
  return Act(window, "SelectTab", {InputKind::PickRow, 0, sheet, KEY_MouseLeft, tab, 0, {}}, true);
}

bool Robot::Scroll(const ShownWindow& window, Long list, Long scrollEvent) {
  return Act(window, "Scroll", {InputKind::Scroll, 0, list, 0, scrollEvent, 0, {}}, true);
}

bool Robot::DragThumb(const ShownWindow& window, Long list, Long position) {
  return Act(window, "DragThumb", {InputKind::DragThumb, 0, list, 0, position, 0, {}}, true);
}

bool Robot::Resize(const ShownWindow& window, Long width, Long height) {
  if (state_ && Prop(window, 0, PROP_Resize).empty()) {
    Fail("Resize: the window \"" + window.title + "\" cannot be resized");
    return false;
  }
  return Act(window, "Resize", {InputKind::Resize, 0, 0, 0, width, height, {}}, false);
}

bool Robot::Maximize(const ShownWindow& window) { return Act(window, "Maximize", {InputKind::Maximize, 0, 0, 0, 0, 0, {}}, false); }
bool Robot::Restore(const ShownWindow& window) { return Act(window, "Restore", {InputKind::Restore, 0, 0, 0, 0, 0, {}}, false); }
bool Robot::CloseWindow(const ShownWindow& window) {
  return Act(window, "CloseWindow", {InputKind::Close, 0, 0, 0, 0, 0, {}}, false);
}

bool Robot::Activate(const ShownWindow& window) {
  return Act(window, "Activate", {InputKind::Activate, 0, 0, 0, 0, 0, {}}, false);
}

}  // namespace rt::ui
