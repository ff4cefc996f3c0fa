#include "runtime/core/text.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace rt {

std::string_view Clip(std::string_view text) {
  // Record fields are mostly padding (a log entry fills a fifth of its 2000 bytes; a browse's
  // position field, 1 KB, holds some 30 characters), so the blanks are skipped a block at a
  // time. memcmp compares a block in a few vector instructions; a byte loop took one a byte.
  constexpr std::size_t kBlock = 64;
  static constexpr char kBlanks[kBlock + 1] = "                                                                ";
  static_assert(sizeof kBlanks == kBlock + 1 && kBlanks[kBlock - 1] == ' ');
  std::size_t end = text.size();
  while (end >= kBlock && std::memcmp(text.data() + end - kBlock, kBlanks, kBlock) == 0) end -= kBlock;
  while (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

namespace {

// Length of the UTF-8 sequence that starts with `lead`, or 1 when `lead` cannot start one.
std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead & 0xE0) == 0xC0) return 2;
  if ((lead & 0xF0) == 0xE0) return 3;
  if ((lead & 0xF8) == 0xF0) return 4;
  return 1;
}

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

}  // namespace

std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t pos = 0;
  while (pos < maxBytes) {
    const std::size_t len = SequenceLength(static_cast<unsigned char>(text[pos]));
    bool complete = pos + len <= text.size();
    for (std::size_t i = 1; complete && i < len; ++i)
      complete = IsContinuation(static_cast<unsigned char>(text[pos + i]));
    const std::size_t step = complete ? len : 1;  // a broken sequence counts byte by byte
    if (pos + step > maxBytes) break;
    pos += step;
  }
  return text.substr(0, pos);
}

int CompareBlankPadded(std::string_view a, std::string_view b) {
  // As if the shorter were padded with blanks to the longer's length: "a\t" sorts before "a".
  const std::size_t common = std::min(a.size(), b.size());
  if (const int order = std::memcmp(a.data(), b.data(), common); order != 0) return order;
  const std::string_view rest = a.size() > b.size() ? a.substr(common) : b.substr(common);
  const int sign = a.size() > b.size() ? 1 : -1;
  for (const char c : rest)
    if (c != ' ') return static_cast<unsigned char>(c) < static_cast<unsigned char>(' ') ? -sign : sign;
  return 0;
}

bool IsNumeric(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
  bool digits = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
    } else if (c == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return digits && i == text.size();
}

std::size_t InString(std::string_view needle, std::string_view text, std::size_t start) {
  if (start == 0 || needle.empty() || start > text.size()) return 0;
  const std::size_t found = text.find(needle, start - 1);
  return found == std::string_view::npos ? 0 : found + 1;
}

}  // namespace rt
