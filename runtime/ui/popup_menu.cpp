#include "runtime/ui/popup_menu.h"

#include <string>

namespace rt {

namespace {

ui::PopupEntry MakeEntry(std::string text) {
  ui::PopupEntry entry;
  if (const std::size_t block = text.find('['); block != std::string::npos && text.back() == ']')
    text.erase(block);
  if (text == "-") {
    entry.separator = true;
    entry.text = text;
    return entry;
  }
  std::size_t marks = 0;
  for (; marks < text.size(); ++marks) {
    const char c = text[marks];
    if (c == '~') entry.disabled = true;
    else if (c == '+') entry.checked = true;
    else if (c == '-') entry.unchecked = true;
    else break;
  }
  entry.text = text.substr(marks);
  return entry;
}

void Number(std::vector<ui::PopupEntry>& entries, Long& next) {
  for (ui::PopupEntry& entry : entries) {
    if (!entry.children.empty()) {
      entry.number = 0;
      Number(entry.children, next);
    } else if (!entry.separator) {
      entry.number = next++;
    }
  }
}

const ui::PopupEntry* Find(const std::vector<ui::PopupEntry>& entries, Long number) {
  for (const ui::PopupEntry& entry : entries) {
    if (entry.number == number && number != 0) return &entry;
    if (const ui::PopupEntry* inner = Find(entry.children, number)) return inner;
  }
  return nullptr;
}

}  // namespace

std::optional<std::vector<ui::PopupEntry>> ParsePopupMenu(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::vector<ui::PopupEntry> top;
  // The path of open submenus: each level is the entry list being filled.
  std::vector<std::vector<ui::PopupEntry>*> levels{&top};
  std::string pending;
  bool inBlock = false;
  auto flush = [&] {
    if (!pending.empty()) levels.back()->push_back(MakeEntry(pending));
    pending.clear();
  };
  for (const char c : text) {
    if (inBlock) {
      pending += c;
      inBlock = c != ']';
      continue;
    }
    switch (c) {
      case '[': pending += c; inBlock = true; break;
      case '|': flush(); break;
      case '{':
        flush();
        if (levels.back()->empty()) return std::nullopt;  // a submenu needs a title item
        levels.push_back(&levels.back()->back().children);
        break;
      case '}':
        flush();
        if (levels.size() == 1) return std::nullopt;
        levels.pop_back();
        break;
      default: pending += c; break;
    }
  }
  flush();
  if (levels.size() != 1) return std::nullopt;
  Long next = 1;
  Number(top, next);
  return top;
}

const ui::PopupEntry* FindPopupEntry(const std::vector<ui::PopupEntry>& menu, Long number) {
  return Find(menu, number);
}

bool IsChoosable(const std::vector<ui::PopupEntry>& menu, Long number) {
  const ui::PopupEntry* entry = FindPopupEntry(menu, number);
  return entry && !entry->disabled;
}

}  // namespace rt
