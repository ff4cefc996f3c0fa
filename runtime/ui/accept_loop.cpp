#include "runtime/ui/accept_loop.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <variant>
#include <vector>

#include "runtime/core/assert.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/popup_menu.h"
#include "runtime/ui/target.h"
#include "runtime/ui/thread_activity.h"
#include "runtime/ui/window.h"

namespace rt {

namespace {

using namespace std::chrono_literals;

struct PostedEvent {
  ui::WindowId window = 0;  // 0: the thread's top window when it arrives
  EventRecord event;
};
using Message = std::variant<PostedEvent, ui::UserInput>;

// A program thread's inbox: the only part of its UI state other threads touch.
class Inbox {
 public:
  void Push(Message message) {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(message));
    }
    arrived_.notify_one();
  }
  std::optional<Message> Take(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    if (!arrived_.wait_for(lock, timeout, [&] { return !queue_.empty(); })) return std::nullopt;
    Message message = std::move(queue_.front());
    queue_.pop_front();
    return message;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Message> queue_;
};

// The process's routing table: thread -> inbox, window -> thread.
struct Routing {
  std::mutex mutex;
  std::map<Long, std::shared_ptr<Inbox>> inboxes;
  std::map<ui::WindowId, Long> windowThreads;
  ui::WindowId nextWindowId = 1;
  ui::WindowId frontWindow = 0;  // the window the user works in, on any thread
  std::vector<ui::WindowId> frames;  // open application frames, in opening order
  std::map<Long, std::uint64_t> lastSent;  // thread -> sequence of the newest input sent to it
  std::atomic<std::uint64_t> nextSequence{1};
};

Routing& TheRouting() {
  static Routing routing;
  return routing;
}

std::shared_ptr<Inbox> InboxOf(Long thread) {
  Routing& routing = TheRouting();
  std::lock_guard lock(routing.mutex);
  const auto found = routing.inboxes.find(thread);
  return found == routing.inboxes.end() ? nullptr : found->second;
}

// A program thread's UI state: built when the thread starts (so posts to it queue up before
// it opens a window) and destroyed when it ends.
class ThreadUi {
 public:
  ThreadUi() : thread_(Thread()), inbox_(std::make_shared<Inbox>()) {
    Routing& routing = TheRouting();
    std::lock_guard lock(routing.mutex);
    routing.inboxes[thread_] = inbox_;
  }
  ~ThreadUi() {
    {
      Routing& routing = TheRouting();
      std::lock_guard lock(routing.mutex);
      const auto found = routing.inboxes.find(thread_);
      if (found != routing.inboxes.end() && found->second == inbox_) routing.inboxes.erase(found);
    }
    ui::ReportThreadState(thread_, ui::ProgramThreadState::Ended, handledInput_);
  }
  ThreadUi(const ThreadUi&) = delete;
  ThreadUi& operator=(const ThreadUi&) = delete;

  Inbox& TheInbox() { return *inbox_; }
  std::vector<Window*>& Windows() { return windows_; }
  Window* Top() { return windows_.empty() ? nullptr : windows_.back(); }
  Window* Find(ui::WindowId id) {
    const auto found = std::find_if(windows_.begin(), windows_.end(), [&](Window* w) { return w->Id() == id; });
    return found == windows_.end() ? nullptr : *found;
  }
  std::uint64_t& HandledInput() { return handledInput_; }
  Long Number() const { return thread_; }

 private:
  Long thread_;
  std::shared_ptr<Inbox> inbox_;
  std::vector<Window*> windows_;  // opening order; the last is on top
  std::uint64_t handledInput_ = 0;
};

PerThread<ThreadUi> tUi{"ThreadUi"};

// The modal rule: a window under a modal window of its own thread takes no user input.
bool BlockedByModal(ThreadUi& ui, const Window& window) {
  const auto& windows = ui.Windows();
  const auto at = std::find(windows.begin(), windows.end(), &window);
  return std::any_of(at + 1, windows.end(), [](const Window* above) { return above->IsModal(); });
}

// The one place where messages become events: routing to the thread's windows and the
// modal rule live here and nowhere else.
void Dispatch(ThreadUi& ui, Message& message) {
  if (auto* posted = std::get_if<PostedEvent>(&message)) {
    Window* window = posted->window ? ui.Find(posted->window) : ui.Top();
    if (window) window->Enqueue(posted->event);
    return;
  }
  auto& input = std::get<ui::UserInput>(message);
  ui.HandledInput() = std::max(ui.HandledInput(), input.sequence);
  Window* window = ui.Find(input.window);
  if (!window) return;  // closed meanwhile
  // Losing the front and the application closing are no input from the user: they reach even
  // a window under a modal one.
  const bool fromUser = input.kind != ui::InputKind::Deactivate && input.kind != ui::InputKind::CloseDown;
  if (fromUser && BlockedByModal(ui, *window)) {
    Beep();
    return;
  }
  window->TakeInput(input);
}

}  // namespace

// ---- Primitives ----

bool PumpOne(std::chrono::milliseconds timeout) {
  ThreadUi& ui = *tUi;
  std::optional<Message> message = ui.TheInbox().Take(0ms);
  if (!message) {
    ui::ReportThreadState(ui.Number(), ui::ProgramThreadState::WaitingForInput, ui.HandledInput());
    message = ui.TheInbox().Take(timeout);
    ui::ReportThreadState(ui.Number(), ui::ProgramThreadState::Busy, ui.HandledInput());
  }
  if (!message) return false;
  Dispatch(ui, *message);
  return true;
}

std::size_t PumpPending() {
  ThreadUi& ui = *tUi;
  std::size_t count = 0;
  while (std::optional<Message> message = ui.TheInbox().Take(0ms)) {
    Dispatch(ui, *message);
    ++count;
  }
  return count;
}

bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left <= 0ms) return false;
    PumpOne(left);
  }
  return true;
}

// ---- Window registration ----

namespace detail {

ui::WindowId RegisterWindow(Window& window) {
  Routing& routing = TheRouting();
  ui::WindowId id = 0;
  {
    std::lock_guard lock(routing.mutex);
    id = routing.nextWindowId++;
    routing.windowThreads[id] = Thread();
    routing.frontWindow = id;  // a window opens in front
    if (window.Kind() == WindowKind::ApplicationFrame) routing.frames.push_back(id);
  }
  tUi->Windows().push_back(&window);
  SetTarget(&window);
  return id;
}

void UnregisterWindow(Window& window) {
  {
    Routing& routing = TheRouting();
    std::lock_guard lock(routing.mutex);
    routing.windowThreads.erase(window.Id());
    std::erase(routing.frames, window.Id());
  }
  std::vector<Window*>& windows = tUi->Windows();
  std::erase(windows, &window);
  SetTarget(windows.empty() ? nullptr : windows.back());
  if (!windows.empty()) {
    Routing& routing = TheRouting();
    std::lock_guard lock(routing.mutex);
    if (routing.frontWindow == window.Id()) routing.frontWindow = windows.back()->Id();
  }
}

ui::WindowId NewestFrame() {
  Routing& routing = TheRouting();
  std::lock_guard lock(routing.mutex);
  return routing.frames.empty() ? 0 : routing.frames.back();
}

}  // namespace detail

Window* TopWindow() { return tUi->Top(); }

// ---- The sink ----

namespace ui {

namespace {

std::shared_ptr<Inbox> InboxOf(Routing& routing, WindowId window) {
  const auto thread = routing.windowThreads.find(window);
  if (thread == routing.windowThreads.end()) return nullptr;
  const auto found = routing.inboxes.find(thread->second);
  return found == routing.inboxes.end() ? nullptr : found->second;
}

}  // namespace

std::uint64_t SendInput(UserInput input) {
  Delivery ignored;
  return SendInput(std::move(input), ignored);
}

std::uint64_t SendInput(UserInput input, Delivery& deactivated) {
  deactivated = Delivery{};
  Routing& routing = TheRouting();
  std::shared_ptr<Inbox> inbox;
  std::shared_ptr<Inbox> leftInbox;
  UserInput left;
  {
    std::lock_guard lock(routing.mutex);
    inbox = InboxOf(routing, input.window);
    if (!inbox) return 0;
    if (input.kind == InputKind::Activate) {
      input.value = routing.frontWindow != input.window;  // 0: it was in front already
      if (input.value && (leftInbox = InboxOf(routing, routing.frontWindow))) {
        left.kind = InputKind::Deactivate;
        left.window = routing.frontWindow;
        left.sequence = routing.nextSequence++;
        deactivated = {routing.windowThreads[routing.frontWindow], left.sequence};
        routing.lastSent[deactivated.thread] = left.sequence;
      }
      routing.frontWindow = input.window;
    }
    input.sequence = routing.nextSequence++;
    routing.lastSent[routing.windowThreads[input.window]] = input.sequence;
  }
  if (leftInbox) leftInbox->Push(std::move(left));
  const std::uint64_t sequence = input.sequence;
  inbox->Push(std::move(input));
  return sequence;
}

std::vector<WindowId> OpenWindows() {
  Routing& routing = TheRouting();
  std::lock_guard lock(routing.mutex);
  std::vector<WindowId> open;
  for (const auto& [id, thread] : routing.windowThreads) open.push_back(id);  // ids rise as windows open
  return open;
}

std::uint64_t LastInputSequence(Long thread) {
  Routing& routing = TheRouting();
  std::lock_guard lock(routing.mutex);
  const auto found = routing.lastSent.find(thread);
  return found == routing.lastSent.end() ? 0 : found->second;
}

Long ThreadOfWindow(WindowId window) {
  Routing& routing = TheRouting();
  std::lock_guard lock(routing.mutex);
  const auto found = routing.windowThreads.find(window);
  return found == routing.windowThreads.end() ? 0 : found->second;
}

}  // namespace ui

// ---- The current event ----

Long Event() {
  const Window* top = TopWindow();
  return top ? top->CurrentEvent().code : EVENT_None;
}
Long Field() {
  const Window* top = TopWindow();
  return top ? top->CurrentEvent().control : 0;
}
Long Accepted() { return Event() == EVENT_Accepted ? Field() : 0; }
Long Keycode() {
  const Window* top = TopWindow();
  return top ? top->CurrentEvent().keyCode : 0;
}
void SetKeycode(Long key) {
  if (Window* top = TopWindow()) top->SetKeyCode(key);
}
bool NotifyData(Long& code, Long& thread, Long& parameter) {
  const Window* top = TopWindow();
  if (!top || top->CurrentEvent().code != EVENT_Notify) return false;
  code = top->CurrentEvent().notifyCode;
  thread = top->CurrentEvent().thread;
  parameter = top->CurrentEvent().notifyParameter;
  return true;
}

// ---- Posting ----

namespace {
bool PostRecord(const EventRecord& record, Long thread) {
  if (thread == 0 || thread == Thread()) {
    Window* top = TopWindow();
    if (!top) return false;
    top->Enqueue(record);
    return true;
  }
  const std::shared_ptr<Inbox> inbox = InboxOf(thread);
  if (!inbox) return false;
  inbox->Push(PostedEvent{0, record});
  return true;
}
}  // namespace

bool Post(Long event, Long control, Long thread) {
  EventRecord record;
  record.code = event;
  record.control = control;
  record.thread = Thread();
  return PostRecord(record, thread);
}

bool Notify(Long code, Long thread, Long parameter) {
  EventRecord record;
  record.code = EVENT_Notify;
  record.thread = Thread();
  record.notifyCode = code;
  record.notifyParameter = parameter;
  return PostRecord(record, thread);
}

// ---- The top window ----

void Select(Long control) {
  if (Window* top = TopWindow()) top->Select(control);
}
void Display(Long control) {
  if (Window* top = TopWindow()) top->Display(control);
}
void Enable(Long control) {
  if (Window* top = TopWindow()) top->Enable(control);
}
void Disable(Long control) {
  if (Window* top = TopWindow()) top->Disable(control);
}
void Hide(Long control) {
  if (Window* top = TopWindow()) top->Hide(control);
}
void Unhide(Long control) {
  if (Window* top = TopWindow()) top->Unhide(control);
}
std::string GetProp(Long control, Long property, Long index) {
  const Window* top = TopWindow();
  return top ? top->GetProp(control, property, index) : std::string();
}
Long Create(ControlType type, Long parent) {
  Window* top = TopWindow();
  if (!top) return 0;
  ControlDef def;
  def.type = type;
  def.parent = parent;
  return top->CreateControl(std::move(def));
}
void DestroyControl(Long control) {
  if (Window* top = TopWindow()) top->DestroyControl(control);
}
void SetProp(Long control, Long property, std::string_view value, Long index) {
  if (Window* top = TopWindow()) top->SetProp(control, property, value, index);
}

// ---- Popups, cursor, sound ----

Long Popup(std::string_view menuText, Long x, Long y) {
  const auto menu = ParsePopupMenu(menuText);
  RT_ASSERT(menu.has_value(), "popup menu text is malformed: " + std::string(menuText));
  ui::Backend* backend = ui::InstalledBackend();
  if (!menu || !backend) return 0;
  // A popup item acts as a button would: on what was typed, and not over a refused text.
  if (Window* top = TopWindow(); top && !top->TakeInFocused()) return 0;
  const Long chosen = backend->ShowPopup(*menu, x, y);
  return IsChoosable(*menu, chosen) ? chosen : 0;
}

void SetWaitCursor(bool on) {
  if (ui::Backend* backend = ui::InstalledBackend()) backend->SetWaitCursor(Thread(), on);
}

void Beep(Long sound, Long style) {
  if (ui::Backend* backend = ui::InstalledBackend()) backend->Beep(sound, style);
}

}  // namespace rt
