#include "msglog/log_filter.h"

#include <cwctype>

namespace msglog {

namespace {

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

bool EqualFolded(std::string_view value, const std::optional<std::string>& wanted) {
  return !wanted || FoldCase(Trimmed(value)) == *wanted;
}

bool ContainsFolded(std::string_view value, const std::optional<std::string>& wanted) {
  return !wanted || FoldCase(value).find(*wanted) != std::string::npos;
}

std::optional<std::string> FoldedOrNone(std::string_view value) {
  if (value.empty()) return std::nullopt;
  return FoldCase(value);
}

}  // namespace

std::string FoldCase(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
      ++i;
      continue;
    }
    // Two- and three-byte sequences (the scripts case applies to); anything else as it is.
    const int length = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : 0;
    bool valid = length > 0 && i + length <= text.size();
    wchar_t code = length == 2 ? (c & 0x1F) : (c & 0x0F);
    for (int k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = static_cast<wchar_t>((code << 6) | (next & 0x3F));
    }
    if (!valid || code < 0x80 || (length == 3 && code < 0x800)) {
      out += text[i++];
      continue;
    }
    const auto lower = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(code)));
    if (lower < 0x800) {
      out += static_cast<char>(0xC0 | (lower >> 6));
      out += static_cast<char>(0x80 | (lower & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (lower >> 12));
      out += static_cast<char>(0x80 | ((lower >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (lower & 0x3F));
    }
    i += static_cast<std::size_t>(length);
  }
  return out;
}

void LogFilter::SetUser(std::string_view value) { user = FoldedOrNone(Trimmed(value)); }
void LogFilter::SetComputer(std::string_view value) { computer = FoldedOrNone(Trimmed(value)); }
void LogFilter::SetPressed(std::string_view value) { pressed = FoldedOrNone(Trimmed(value)); }
void LogFilter::SetWindow(std::string_view value) { window = FoldedOrNone(value); }
void LogFilter::SetText(std::string_view value) { text = FoldedOrNone(value); }

bool LogFilter::Accepts(const EntryView& entry) const {
  if (entry.kind == EntryKind::Damaged || !(kinds & KindBit(entry.kind))) return false;
  const std::int64_t key = entry.moment.Key();
  if ((since && key < *since) || (until && key > *until)) return false;
  return EqualFolded(entry.user, user) && EqualFolded(entry.computer, computer) &&
         EqualFolded(entry.pressedButton, pressed) && ContainsFolded(entry.windowTitle, window) &&
         ContainsFolded(entry.text, text);
}

}  // namespace msglog
