#include "framework/popup/popup_class.h"

#include <algorithm>
#include <string>

#include "runtime/core/assert.h"
#include "runtime/core/system_props.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/events.h"
#include "runtime/ui/property_holder.h"

namespace {

using rt::Long;

constexpr std::size_t kMaxItems = 255;     // positions travel as bytes
constexpr std::size_t kMaxText = 1024;
constexpr std::size_t kMaxMenuText = 10000;
constexpr Long kDefaultPosition = static_cast<Long>(0x80000000u);  // the runtime places the menu
constexpr Long kPropIconExtra = 31290;     // in a menu entry's extras: the icon's image set
constexpr Long kSysPropImageSet = 31289;

bool IsNameChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

std::string_view Clip(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

}  // namespace

// ---- Life cycle ----

void PopupClass::Init() {
  Kill();
  PopupItems = std::make_unique<std::vector<PopupItemQueue>>();
  ClearKeycode = 1;
  MyThread = rt::Thread();
  LastNumberSelection = 0;
}

void PopupClass::Kill() {
  CloseToolbox();
  PopupItems.reset();
  loaded_ = 0;
}

// ---- Names ----

std::string PopupClass::GetUniqueName(std::string_view text) const {
  std::string base;
  if (text == "-") {
    base = "Separator";
  } else {
    for (const char c : Clip(text)) {
      if (IsNameChar(c) && base.size() < kMaxText) base += c;
    }
  }
  const auto taken = [&](const std::string& name) {
    return PopupItems && std::any_of(PopupItems->begin(), PopupItems->end(),
                                     [&](const PopupItemQueue& item) { return item.Name == name; });
  };
  std::string name = base;
  for (Long n = 1; taken(name); ++n) name = base + std::to_string(n);
  return name;
}

rt::Byte PopupClass::LocateName(std::string_view name) {
  loaded_ = 0;
  if (!PopupItems) return 0;
  for (std::size_t i = 0; i < PopupItems->size(); ++i) {
    if ((*PopupItems)[i].Name == name) {
      loaded_ = i + 1;
      return static_cast<rt::Byte>(loaded_);
    }
  }
  return 0;
}

const PopupItemQueue* PopupClass::Loaded() const {
  return PopupItems && loaded_ >= 1 && loaded_ <= PopupItems->size() ? &(*PopupItems)[loaded_ - 1] : nullptr;
}

PopupItemQueue* PopupClass::Item(std::string_view name) {
  return LocateName(name) ? &(*PopupItems)[loaded_ - 1] : nullptr;
}

// ---- Building ----

std::string PopupClass::InsertItem(std::size_t index, Long depth, std::string_view text, std::string_view name) {
  RT_ASSERT(PopupItems != nullptr, "PopupClass: items added before Init");
  if (!PopupItems) return {};
  RT_ASSERT(text.find_first_of("{}") == std::string_view::npos,
            "PopupClass: an item text may not hold braces: " + std::string(text));
  if (PopupItems->size() >= kMaxItems) {
    RT_ASSERT(false, "PopupClass: a menu holds at most 255 items");
    return {};
  }
  index = std::min(index, PopupItems->size());
  // A brace would unbalance the menu text and lose the whole menu; the item goes in without it.
  std::string plain(text);
  std::erase_if(plain, [](char c) { return c == '{' || c == '}'; });
  text = plain;
  PopupItemQueue item;
  item.Name = GetUniqueName(name);
  std::size_t marks = 0;
  if (text != "-") {
    for (; marks < text.size(); ++marks) {
      if (text[marks] == '~') item.Disabled = 1;
      else if (text[marks] == '+') item.Check = 1;
      else if (text[marks] == '-') item.Check = 2;
      else break;
    }
  }
  item.Text = std::string(text.substr(marks, kMaxText));
  item.Depth = depth;
  PopupItems->insert(PopupItems->begin() + static_cast<std::ptrdiff_t>(index), item);
  return item.Name;
}

std::string PopupClass::SetItem(Long position, Long depth, std::string_view text, std::string_view name) {
  if (!PopupItems) return InsertItem(0, depth, text, name);
  const std::size_t count = PopupItems->size();
  const std::size_t at = position <= 0 ? count : std::min<std::size_t>(static_cast<std::size_t>(position), count);
  if (depth == 0) depth = at >= 1 ? (*PopupItems)[at - 1].Depth : 1;
  return InsertItem(at, depth, text, name);
}

std::string PopupClass::AddItem(std::string_view text) {
  return AddItem(text, GetUniqueName(text == "-" ? "Separator" : text));
}

std::string PopupClass::AddItem(std::string_view text, std::string_view name) { return AddItem(text, name, {}, 0); }

std::string PopupClass::AddItem(std::string_view text, std::string_view name, std::string_view after, Long depth) {
  return SetItem(LocateName(after), depth, text, name);
}

std::string PopupClass::AddItemEvent(std::string_view name, Long eventNo, Long controlId) {
  std::string stored = LocateName(name) ? std::string(name) : AddItem(name);
  if (PopupItemQueue* item = Item(stored)) {
    item->MimicMode = 0;
    item->ControlId = controlId;
    item->Event = eventNo;
    item->OnToolbox = 1;
  }
  return stored;
}

std::string PopupClass::AddItemMimic(std::string_view name, Long controlId, std::string_view text) {
  const Long type = rt::PropNumber(rt::GetProp(controlId, rt::PROP_Type));
  RT_ASSERT(type == rt::CT_Button || type == rt::CT_Item,
            "AddItemMimic: control " + std::to_string(controlId) + " is neither a button nor a menu item");
  std::string stored = AddItemEvent(name, rt::EVENT_Accepted, controlId);
  if (PopupItemQueue* item = Item(stored)) {
    item->Text = std::string(text.substr(0, kMaxText));
    item->MimicMode = 1;
    item->OnToolbox = 1;
  }
  return stored;
}

void PopupClass::AddMenu(std::string_view menuText, Long position) {
  RT_ASSERT(!menuText.empty(), "AddMenu: an empty menu text");
  RT_ASSERT(PopupItems != nullptr, "AddMenu before Init");
  if (menuText.empty() || !PopupItems) return;
  if (position == 0) PopupItems->clear();
  // `at` is where the next parsed item goes (0-based).
  std::size_t at = position == 0 ? 0 : std::min<std::size_t>(static_cast<std::size_t>(position - 1), PopupItems->size());
  Long depth = at >= 1 ? (*PopupItems)[at - 1].Depth : 1;
  std::string buffer;
  const auto end = [&] {
    if (!buffer.empty() && !InsertItem(at, depth, buffer, buffer).empty()) ++at;
    buffer.clear();
  };
  for (const char c : menuText) {
    switch (c) {
      case '|':
        end();
        break;
      case '{':
        end();
        ++depth;
        break;
      case '}':
        end();
        RT_ASSERT(depth > 1, "AddMenu: '}' without its '{' in " + std::string(menuText));
        if (depth > 1) --depth;
        break;
      default:
        if (buffer.size() < kMaxText) buffer += c;
        break;
    }
  }
  end();
}

void PopupClass::AddSubMenu(std::string_view text, std::string_view menuText, std::string_view after) {
  AddSubMenu(std::string(Clip(text)) + "{" + std::string(Clip(menuText)) + "}", after);
}

void PopupClass::AddSubMenu(std::string_view menuText, std::string_view after) {
  AddMenu(menuText, LocateName(after) + 1);
}

// ---- Changing items ----

void PopupClass::DeleteItem(std::string_view name) {
  if (LocateName(name)) PopupItems->erase(PopupItems->begin() + static_cast<std::ptrdiff_t>(loaded_ - 1));
  loaded_ = 0;
}

void PopupClass::SetIcon(std::string_view name, std::string_view icon) {
  if (PopupItemQueue* item = Item(name)) item->Icon = std::string(icon.substr(0, 255));
}

void PopupClass::SetToolbox(std::string_view name, rt::Byte state) {
  if (PopupItemQueue* item = Item(name)) item->OnToolbox = state ? 1 : 0;
}

void PopupClass::SetItemEnable(std::string_view name, rt::Byte state) {
  if (PopupItemQueue* item = Item(name); item && item->Text != "-") item->Disabled = state ? 2 : 1;
}

void PopupClass::SetItemCheck(std::string_view name, rt::Byte state) {
  if (PopupItemQueue* item = Item(name); item && item->Text != "-") item->Check = state ? 1 : 2;
}

// ---- Numbering ----

bool PopupClass::IsNumbered(const std::vector<PopupItemQueue>& items, std::size_t index, bool toolboxOnly) {
  const PopupItemQueue& item = items[index];
  if (item.Text == "-") return false;
  if (toolboxOnly && !item.OnToolbox) return false;
  // A submenu's title opens the submenu; the runtime gives it no number.
  return !(index + 1 < items.size() && items[index + 1].Depth > item.Depth);
}

std::string PopupClass::NameOf(const std::vector<PopupItemQueue>& items, Long number, bool toolboxOnly) {
  Long count = 0;
  for (std::size_t i = 0; i < items.size() && number > 0; ++i) {
    if (IsNumbered(items, i, toolboxOnly) && ++count == number) return items[i].Name;
  }
  return {};
}

Long PopupClass::GetItems(rt::Byte numbered) const {
  if (!PopupItems) return 0;
  if (!numbered) return static_cast<Long>(PopupItems->size());
  Long count = 0;
  for (std::size_t i = 0; i < PopupItems->size(); ++i) count += IsNumbered(*PopupItems, i, false) ? 1 : 0;
  return count;
}

std::string PopupClass::GetName(Long number) const {
  return PopupItems ? NameOf(*PopupItems, number, false) : std::string();
}

// ---- The menu text ----

PopupItemQueue PopupClass::CheckMimics(const PopupItemQueue& source) const {
  PopupItemQueue item = source;
  if (item.MimicMode != 1) return item;
  const std::string controlText = rt::GetProp(item.ControlId, rt::PROP_Text);
  if (!controlText.empty() && (item.Text.empty() || item.Text.front() == '!')) item.Text = controlText;
  if (!item.Text.empty() && item.Text.front() == '!') item.Text.erase(0, 1);
  if (item.Disabled == 0) item.Disabled = rt::PropNumber(rt::GetProp(item.ControlId, rt::PROP_Disable)) ? 1 : 2;
  if (item.Icon.empty()) item.Icon = rt::GetProp(item.ControlId, rt::PROP_Icon);
  return item;
}

std::string PopupClass::GetMenuText() {
  if (!PopupItems) return {};
  std::vector<PopupItemQueue> shown;
  shown.reserve(PopupItems->size());
  bool anyIcon = false;
  for (const PopupItemQueue& item : *PopupItems) {
    shown.push_back(CheckMimics(item));
    anyIcon = anyIcon || !shown.back().Icon.empty();
  }
  std::string text;
  // The depths of the submenus open now: a step back of several levels closes each of them, and
  // the text ends with every submenu closed, so the runtime never sees unbalanced braces.
  std::vector<Long> open;
  Long previous = 1;
  for (const PopupItemQueue& item : shown) {
    if (item.Depth > previous) {
      text += '{';
      open.push_back(previous);
    } else if (item.Depth < previous && !open.empty()) {
      while (!open.empty() && open.back() >= item.Depth) {
        text += '}';
        open.pop_back();
      }
    } else {
      text += '|';
    }
    previous = item.Depth;
    if (item.Disabled == 1) text += '~';
    if (item.Check == 1) text += '+';
    else if (item.Check == 2) text += '-';
    text += Translator ? Translator->TranslateString(item.Text) : item.Text;
    // The runtime reads the extras block at the end of an entry.
    if (anyIcon && item.Text != "-") {
      text += '[';
      if (!item.Icon.empty()) text += std::to_string(rt::PROP_Icon) + "(~" + item.Icon + "),";
      text += std::to_string(kPropIconExtra) + "(" + std::to_string(rt::GetSystemProp(kSysPropImageSet)) + ")]";
    }
  }
  text.append(open.size(), '}');
  if (text.size() > kMaxMenuText) {
    RT_ASSERT(false, "GetMenuText: the menu text is longer than 10000 characters");
    text.resize(kMaxMenuText);
  }
  return text;
}

// ---- Showing and choosing ----

Long PopupClass::ExecutePopup(std::string_view menuText, Long x, Long y) {
  if (OnToolboxThread()) return RunToolbox();
  return rt::Popup(menuText, x ? x : kDefaultPosition, y ? y : kDefaultPosition);
}

std::string PopupClass::Ask(Long x, Long y) {
  if (OnToolboxThread()) return AskOnToolbox();
  rt::SetKeycode(0);
  const std::string menu = GetMenuText();
  LastNumberSelection = menu.empty() ? 0 : ExecutePopup(menu, x, y);
  if (LastNumberSelection == 0) {
    LastSelection.clear();
    return {};
  }
  LastSelection = GetName(LastNumberSelection);
  if (const PopupItemQueue* item = LastSelection.empty() ? nullptr : Item(LastSelection)) TakeChoice(*item);
  return LastSelection;
}

void PopupClass::TakeChoice(const PopupItemQueue& item) const {
  if (!item.Event && !item.MimicMode) return;
  if (ClearKeycode == 1) rt::SetKeycode(0);
  rt::Post(item.MimicMode ? rt::EVENT_Accepted : item.Event, item.ControlId, MyThread);
}

std::string PopupClass::RemoveAmpersand(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') out += text[++i];
      continue;
    }
    out += text[i];
  }
  out = std::string(Clip(out));
  if (out.size() > 100) out.resize(100);
  return out;
}
