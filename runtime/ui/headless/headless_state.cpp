#include "runtime/ui/headless/headless_state.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "runtime/core/assert.h"
#include "runtime/core/thread.h"
#include "runtime/ui/property_holder.h"

namespace rt::ui::headless {

// ---- Dialogs ----

const MessageBoxRequest* AsMessageBox(const OpenDialog& dialog) { return std::get_if<MessageBoxRequest>(&dialog.request); }
const StopRequest* AsStop(const OpenDialog& dialog) { return std::get_if<StopRequest>(&dialog.request); }
const PopupRequest* AsPopup(const OpenDialog& dialog) { return std::get_if<PopupRequest>(&dialog.request); }

namespace {

void DescribeEntries(std::ostringstream& line, const std::vector<PopupEntry>& entries) {
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const PopupEntry& e = entries[i];
    line << (i ? " | " : "") << (e.disabled ? "~" : "") << (e.checked ? "+" : "") << e.text;
    if (e.number) line << '=' << e.number;
    if (!e.children.empty()) {
      line << " { ";
      DescribeEntries(line, e.children);
      line << " }";
    }
  }
}

}  // namespace

std::string Describe(const OpenDialog& dialog) {
  std::ostringstream line;
  if (const MessageBoxRequest* box = AsMessageBox(dialog)) {
    line << "message box #" << dialog.id << " (thread " << dialog.thread << ") caption \"" << box->caption
         << "\" text \"" << box->text << "\" buttons [";
    for (std::size_t i = 0; i < box->buttons.size(); ++i)
      line << (i ? ", " : "") << box->buttons[i].caption << '=' << box->buttons[i].value;
    line << "] default " << box->defaultValue;
  } else if (const StopRequest* stop = AsStop(dialog)) {
    line << "stop dialog #" << dialog.id << " (thread " << dialog.thread << ") text \"" << stop->text << '"';
  } else {
    line << "popup #" << dialog.id << " (thread " << dialog.thread << ") [";
    DescribeEntries(line, AsPopup(dialog)->menu);
    line << "]";
  }
  return line.str();
}

// The observer slot is set and cleared outside mutex_: a report holds the slot's lock while it
// takes mutex_, so the other order would deadlock.
bool HeadlessState::Start() {
  {
    std::lock_guard lock(mutex_);
    if (started_) {
      RT_ASSERT(false, "headless backend started twice; call Stop before starting it again");
      return false;
    }
    started_ = true;
  }
  SetThreadActivityObserver(this);
  return true;
}

void HeadlessState::Stop() {
  if (IsStarted()) SetThreadActivityObserver(nullptr);
  std::lock_guard lock(mutex_);
  for (const auto& dialog : open_) {
    dialog->answer = dialog->escapeValue;
    ++unanswered_;
  }
  open_.clear();
  started_ = false;
  changed_.notify_all();
}

bool HeadlessState::IsStarted() const {
  std::lock_guard lock(mutex_);
  return started_;
}

Long HeadlessState::Raise(std::variant<MessageBoxRequest, StopRequest, PopupRequest> request, Long escapeValue) {
  std::unique_lock lock(mutex_);
  if (!started_) {
    ++unanswered_;
    std::fprintf(stderr, "headless backend: dialog raised while stopped; it returns its escape value\n");
    return escapeValue;
  }
  auto dialog = std::make_shared<OpenDialog>(OpenDialog{nextId_++, Thread(), std::move(request), escapeValue, {}});
  open_.push_back(dialog);
  changed_.notify_all();
  if (!changed_.wait_for(lock, limit_, [&] { return dialog->answer.has_value(); })) {
    std::erase(open_, dialog);
    ++unanswered_;
    changed_.notify_all();
    std::fprintf(stderr, "headless backend: nobody answered %s within %lld ms\n", Describe(*dialog).c_str(),
                 static_cast<long long>(limit_.count()));
    return escapeValue;
  }
  return *dialog->answer;
}

bool HeadlessState::Answer(DialogId id, Long value) {
  std::lock_guard lock(mutex_);
  const auto it = std::find_if(open_.begin(), open_.end(), [&](const auto& d) { return d->id == id; });
  if (it == open_.end()) return false;
  (*it)->answer = value;
  open_.erase(it);
  changed_.notify_all();
  return true;
}

std::size_t HeadlessState::OpenCount() const {
  std::lock_guard lock(mutex_);
  return open_.size();
}
std::size_t HeadlessState::UnansweredCount() const {
  std::lock_guard lock(mutex_);
  return unanswered_;
}
void HeadlessState::SetLimit(std::chrono::milliseconds limit) {
  std::lock_guard lock(mutex_);
  limit_ = limit;
}

// ---- The window mirror ----

std::string MirrorControl::Prop(Long property, Long index) const {
  const auto found = properties.find({property, index});
  return found == properties.end() ? std::string() : found->second;
}

std::string MirrorWindow::Prop(Long property, Long index) const {
  const auto found = properties.find({property, index});
  return found == properties.end() ? std::string() : found->second;
}

MirrorControl* MirrorWindow::Find(Long number) {
  const auto found = std::find_if(controls.begin(), controls.end(), [&](const MirrorControl& c) { return c.number == number; });
  return found == controls.end() ? nullptr : &*found;
}
const MirrorControl* MirrorWindow::Find(Long number) const { return const_cast<MirrorWindow*>(this)->Find(number); }

namespace {
MirrorControl ToMirror(const ControlView& view) {
  MirrorControl control{view.number, view.type, view.parent, {}, {}};
  for (const PropertyValue& p : view.properties) control.properties[{p.property, p.index}] = p.value;
  return control;
}
}  // namespace

void HeadlessState::CreateWindow(const WindowView& view) {
  std::lock_guard lock(mutex_);
  MirrorWindow window;
  window.id = view.id;
  window.thread = view.thread;
  window.kind = view.kind;
  window.modal = view.modal;
  window.openOrder = nextOpenOrder_++;
  for (const PropertyValue& p : view.properties) window.properties[{p.property, p.index}] = p.value;
  for (const ControlView& c : view.controls) window.controls.push_back(ToMirror(c));
  windows_[view.id] = std::move(window);
  changed_.notify_all();
}

void HeadlessState::DestroyWindow(WindowId window) {
  std::lock_guard lock(mutex_);
  windows_.erase(window);
  changed_.notify_all();
}

void HeadlessState::CreateControl(WindowId window, const ControlView& control) {
  std::lock_guard lock(mutex_);
  if (auto found = windows_.find(window); found != windows_.end()) found->second.controls.push_back(ToMirror(control));
  changed_.notify_all();
}

void HeadlessState::DestroyControl(WindowId window, Long control) {
  std::lock_guard lock(mutex_);
  if (auto found = windows_.find(window); found != windows_.end())
    std::erase_if(found->second.controls, [&](const MirrorControl& c) { return c.number == control; });
  changed_.notify_all();
}

void HeadlessState::SetProperty(WindowId window, Long control, const PropertyValue& value) {
  std::lock_guard lock(mutex_);
  const auto found = windows_.find(window);
  if (found == windows_.end()) return;
  if (control == 0) {
    found->second.properties[{value.property, value.index}] = value.value;
  } else if (MirrorControl* c = found->second.Find(control)) {
    c->properties[{value.property, value.index}] = value.value;
  }
  changed_.notify_all();
}

void HeadlessState::SetListRows(WindowId window, Long control, const ListRowsView& rows) {
  std::lock_guard lock(mutex_);
  const auto found = windows_.find(window);
  if (found == windows_.end()) return;
  if (MirrorControl* c = found->second.Find(control)) c->rows = rows;
  changed_.notify_all();
}

void HeadlessState::SetFocus(WindowId window, Long control) {
  std::lock_guard lock(mutex_);
  if (auto found = windows_.find(window); found != windows_.end()) found->second.focus = control;
  changed_.notify_all();
}

void HeadlessState::ThreadStateChanged(Long thread, ProgramThreadState state, std::uint64_t handledInput) {
  std::lock_guard lock(mutex_);
  threads_[thread] = {state, handledInput};
  changed_.notify_all();
}

void HeadlessState::Beep() {
  std::lock_guard lock(mutex_);
  ++beeps_;
  changed_.notify_all();
}

void HeadlessState::SetWaitCursor(Long thread, bool on) {
  std::lock_guard lock(mutex_);
  waitCursor_[thread] = on;
  changed_.notify_all();
}

bool HeadlessState::HasWaitCursor(Long thread) const {
  const auto found = waitCursor_.find(thread);
  return found != waitCursor_.end() && found->second;
}

bool HeadlessState::IsSettled(Long thread, std::uint64_t sequence) const {
  if (std::any_of(open_.begin(), open_.end(), [&](const auto& d) { return d->thread == thread; })) return true;
  const auto found = threads_.find(thread);
  if (found == threads_.end()) return false;
  if (found->second.state == ProgramThreadState::Ended) return true;
  return found->second.state == ProgramThreadState::WaitingForInput && found->second.handledInput >= sequence;
}

// ---- Describing the screen ----

std::string HeadlessState::DescribeScreen() const {
  std::lock_guard lock(mutex_);
  return DescribeLocked();
}

std::string HeadlessState::DescribeLocked() const {
  if (open_.empty() && windows_.empty()) return "the screen shows nothing";
  std::ostringstream screen;
  screen << "the screen shows " << windows_.size() << " window(s) and " << open_.size() << " dialog(s):";
  for (const auto& [id, window] : windows_) {
    screen << "\n  window #" << id << " \"" << window.Prop(PROP_Text) << "\" (thread " << window.thread
           << (window.modal ? ", modal" : "") << ", focus " << window.focus << ")";
    for (const MirrorControl& c : window.controls) {
      screen << "\n    control " << c.number << " type " << c.type << " text \"" << c.Prop(PROP_Text) << '"';
      if (!c.Prop(PROP_Disable).empty()) screen << " disabled";
      if (c.Prop(PROP_Visible) != "1") screen << " hidden";
      if (c.type == CT_List) screen << " rows " << c.rows.rows.size() << " selected " << c.Prop(PROP_Selected);
    }
  }
  for (const auto& dialog : open_) screen << "\n  " << Describe(*dialog);
  return screen.str();
}

}  // namespace rt::ui::headless
