// The toolbox: PopupClass's items as a floating window of buttons on a thread of its own.
//
// The owner's thread and the toolbox thread share only a ToolboxState: a copy of the items
// (taken on the owner's thread, where the mimicked controls live, so no window is read across
// threads) and the toolbox's progress. Choices travel back as posts to the owner's thread, as
// menu choices do. Kill closes an open toolbox and waits for its thread to let go of the object.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

#include "framework/popup/popup_class.h"
#include "runtime/core/assert.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/events.h"
#include "runtime/ui/window.h"

namespace {

using rt::Long;

constexpr Long kEventResetToolbox = 523;  // posted to the toolbox thread: lay the buttons out anew
constexpr Long kIconButtonWidth = 24;
constexpr Long kButtonHeight = 22;
constexpr auto kCloseWait = std::chrono::seconds(10);

Long TextButtonWidth(const std::string& text) { return 12 + 6 * static_cast<Long>(text.size()); }

}  // namespace

struct PopupClass::ToolboxState {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<PopupItemQueue> items;  // mimics refreshed on the owner's thread
  Long thread = 0;                    // the toolbox thread once it runs
  bool opened = false;                // its window is open
  bool ended = false;                 // it no longer touches the PopupClass
};

std::vector<PopupItemQueue> PopupClass::RefreshedItems() const {
  std::vector<PopupItemQueue> items;
  if (!PopupItems) return items;
  for (const PopupItemQueue& item : *PopupItems) items.push_back(CheckMimics(item));
  return items;
}

std::vector<PopupItemQueue> PopupClass::ToolboxItems() const {
  if (!toolbox_) return {};
  std::lock_guard lock(toolbox_->mutex);
  return toolbox_->items;
}

bool PopupClass::OnToolboxThread() const {
  if (!toolbox_ || rt::Thread() == 0) return false;
  std::lock_guard lock(toolbox_->mutex);
  return toolbox_->thread == rt::Thread();
}

void PopupClass::Toolbox(std::string_view title) {
  if (InToolbox || !PopupItems) return;
  CloseToolbox();  // a toolbox the user closed may still be finishing
  InToolbox = 1;
  ParentWindow = rt::TopWindow();
  auto state = std::make_shared<ToolboxState>();
  state->items = RefreshedItems();
  toolbox_ = state;
  rt::Start([this, state, title = std::string(title)] {
    {
      std::lock_guard lock(state->mutex);
      state->thread = rt::Thread();
    }
    PopToolbox(*this, title);
    std::lock_guard lock(state->mutex);
    state->ended = true;
    state->changed.notify_all();
  });
}

void PopToolbox(PopupClass& popup, std::string title) { popup.AskToolbox(title); }

void PopupClass::AskToolbox(std::string_view title) {
  const std::vector<PopupItemQueue> items = ToolboxItems();
  rt::WindowDef def;
  def.title = std::string(title);
  const Long buttons = static_cast<Long>(items.size());
  for (Long n = 0; n < buttons; ++n) def.Add(rt::ControlDef::Button({}).Hidden());
  rt::Window window(def);
  window.Open();
  ThisWindow = &window;
  if (toolbox_) {
    std::lock_guard lock(toolbox_->mutex);
    toolbox_->opened = true;
    toolbox_->changed.notify_all();
  }
  ResetToolbox();
  while (!Ask(0, 0).empty()) {
  }
  window.Close();
  ThisWindow = nullptr;
  InToolbox = 0;  // the last touch of this object on the toolbox thread
}

void PopupClass::ResetToolbox() {
  if (!toolbox_) return;
  if (!OnToolboxThread()) {
    std::vector<PopupItemQueue> items = RefreshedItems();
    Long thread = 0;
    {
      std::lock_guard lock(toolbox_->mutex);
      toolbox_->items = std::move(items);
      thread = toolbox_->ended ? 0 : toolbox_->thread;
    }
    if (thread) rt::Post(kEventResetToolbox, 0, thread);
    return;
  }
  if (!ThisWindow) return;
  rt::Window& window = *ThisWindow;
  const std::vector<PopupItemQueue> items = ToolboxItems();
  Long button = 0;
  Long x = 0;
  Long height = 0;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (!IsNumbered(items, i, true)) continue;
    // Items added since the toolbox opened get a button of their own.
    if (!window.FindControl(button + 1) && window.CreateControl(rt::ControlDef::Button({}).Hidden()) != button + 1) {
      RT_ASSERT(false, "ResetToolbox: the toolbox could not add a button");
      break;
    }
    ++button;
    const PopupItemQueue& item = items[i];
    Long width = 0;
    if (!item.Icon.empty()) {
      window.SetProp(button, rt::PROP_Icon, "~" + item.Icon, 0);
      window.SetProp(button, rt::PROP_Tip, RemoveAmpersand(item.Text), 0);
      window.SetProp(button, rt::PROP_Text, "", 0);
      width = kIconButtonWidth;
    } else {
      window.SetProp(button, rt::PROP_Text, item.Text, 0);
      window.SetProp(button, rt::PROP_Icon, "", 0);
      window.SetProp(button, rt::PROP_Tip, "", 0);
      width = TextButtonWidth(RemoveAmpersand(item.Text));
    }
    window.SetProp(button, rt::PROP_Disable, rt::PropFlag(item.Disabled == 1), 0);
    window.SetProp(button, rt::PROP_XPos, std::to_string(x), 0);
    window.SetProp(button, rt::PROP_YPos, "0", 0);
    window.SetProp(button, rt::PROP_Width, std::to_string(width), 0);
    window.SetProp(button, rt::PROP_Height, std::to_string(kButtonHeight), 0);
    window.Unhide(button);
    x += width;
    height = kButtonHeight;
  }
  for (Long rest = button + 1; window.FindControl(rest); ++rest) window.Hide(rest);
  window.SetProp(rt::PROP_Width, std::to_string(x));
  window.SetProp(rt::PROP_Height, std::to_string(height));
}

Long PopupClass::RunToolbox() {
  rt::Window* window = ThisWindow;
  if (!window) return 0;
  while (window->Accept()) {
    const rt::EventRecord& event = window->CurrentEvent();
    switch (event.code) {
      case rt::EVENT_CloseWindow:
      case rt::EVENT_CloseDown:
        return 0;
      case rt::EVENT_Accepted:
        if (event.control) return event.control;
        break;
      case kEventResetToolbox:
        ResetToolbox();
        break;
      default:
        break;
    }
  }
  return 0;
}

std::string PopupClass::AskOnToolbox() {
  rt::SetKeycode(0);
  const Long number = ExecutePopup({}, 0, 0);
  if (number == 0) return {};
  const std::vector<PopupItemQueue> items = ToolboxItems();
  const std::string name = NameOf(items, number, true);
  const auto item = std::find_if(items.begin(), items.end(), [&](const PopupItemQueue& i) { return i.Name == name; });
  if (!name.empty() && item != items.end()) TakeChoice(*item);
  return name;
}

void PopupClass::CloseToolbox() {
  if (!toolbox_) return;
  RT_ASSERT(!OnToolboxThread(), "PopupClass::Kill on its own toolbox thread");
  const std::shared_ptr<ToolboxState> state = toolbox_;
  std::unique_lock lock(state->mutex);
  state->changed.wait_for(lock, kCloseWait, [&] { return state->opened || state->ended; });
  if (!state->ended && state->thread != 0) {
    const Long thread = state->thread;
    lock.unlock();
    rt::Post(rt::EVENT_CloseWindow, 0, thread);
    lock.lock();
    const bool ended = state->changed.wait_for(lock, kCloseWait, [&] { return state->ended; });
    RT_ASSERT(ended, "PopupClass: the toolbox did not close");
  }
  lock.unlock();
  toolbox_.reset();
}
