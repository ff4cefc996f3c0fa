#pragma once
// The runtime's popup-menu text: parsing it into entries and numbering the choosable ones.
// Owns the grammar below; showing the menu is the backend's (Backend::ShowPopup) and building
// the text is framework code's. Calls nothing.
//
//   items separated by '|'; "{" opens a submenu under the item just before it, "}" closes it;
//   an item that is exactly "-" is a separator; leading marks: '~' disabled, '+' checked,
//   '-' check box unchecked; a trailing "[...]" block (icon and other extras) is dropped;
//   empty items ("|A" at the start, "}|B") are skipped.
// Choosable entries (not separators, not submenu titles) are numbered 1, 2, 3 … in order:
// "A|B{C|D}|E" numbers A 1, C 2, D 3, E 4.

#include <optional>
#include <string_view>
#include <vector>

#include "runtime/ui/screen.h"

namespace rt {

// nullopt when braces do not match or the text is empty.
std::optional<std::vector<ui::PopupEntry>> ParsePopupMenu(std::string_view text);

// The entry numbered `number`, nullptr when none.
const ui::PopupEntry* FindPopupEntry(const std::vector<ui::PopupEntry>& menu, Long number);
// True when `number` names an enabled entry (a disabled item cannot be chosen).
bool IsChoosable(const std::vector<ui::PopupEntry>& menu, Long number);

}  // namespace rt
