// Picture formatting and deformatting on arbitrary pictures and text. Input: the picture, a
// newline, then the text. Besides the sanitizers' own checks, it traps when a documented
// property breaks: a fixed-width numeric or text picture gives exactly its width, and what
// Deformat reads back formats and reads back to the same value.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "runtime/core/decimal.h"
#include "runtime/core/picture.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// Where the width's digits start: after "@s", or after "@n" and an optional "-0_", "0,", "0".
std::size_t WidthStart(std::string_view picture) {
  std::size_t at = 2;
  if (picture[1] != 'n') return at;
  if (at < picture.size() && picture[at] == '-') ++at;
  if (at + 1 < picture.size() && picture[at] == '0') {
    const char after = picture[at + 1];
    if (after == '_' || after == ',') at += 2;
    else if (after >= '0' && after <= '9') ++at;
  }
  return at;
}

bool IsFixedWidth(std::string_view picture) {
  // Only the unambiguous shapes: "@n[-][0[_|,]]<digits>[.<digits>]" and "@s<digits>".
  if (picture.size() < 3 || picture[0] != '@' || (picture[1] != 'n' && picture[1] != 's')) return false;
  const std::size_t start = WidthStart(picture);
  if (start >= picture.size() || picture[start] < '1' || picture[start] > '9') return false;
  for (std::size_t i = start; i < picture.size(); ++i)
    if ((picture[i] < '0' || picture[i] > '9') && !(picture[1] == 'n' && picture[i] == '.')) return false;
  return picture.find('.') == std::string_view::npos || picture.find('.') != picture.size() - 1;
}

std::size_t DeclaredWidth(std::string_view picture) {
  std::size_t width = 0;
  for (std::size_t i = WidthStart(picture); i < picture.size() && picture[i] >= '0' && picture[i] <= '9'; ++i)
    width = width * 10 + static_cast<std::size_t>(picture[i] - '0');
  return width;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\n');
  const std::string_view picture = input.substr(0, split);
  const std::string_view text = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);

  const bool valid = rt::IsValidPicture(picture);
  const std::string fromText = rt::FormatText(text, picture);
  const rt::Decimal number = rt::Decimal::FromText(text);
  const std::string fromDecimal = rt::Format(number, picture);
  rt::Long asLong = 0;
  double asReal = 0;
  if (text.size() >= sizeof asLong) std::memcpy(&asLong, text.data(), sizeof asLong);
  if (text.size() >= sizeof asReal) std::memcpy(&asReal, text.data(), sizeof asReal);
  const std::string fromLong = rt::Format(asLong, picture);
  const std::string fromReal = rt::Format(asReal, picture);

  if (valid && IsFixedWidth(picture) && DeclaredWidth(picture) <= 255) {
    const std::size_t width = DeclaredWidth(picture);
    Check(fromText.size() == width);
    Check(fromDecimal.size() == width);
    Check(fromLong.size() == width);
    Check(fromReal.size() == width);
  }

  const auto stored = rt::Deformat(text, picture);
  if (valid && stored && picture.size() > 1 && (picture[1] == 'n' || picture[1] == 'N')) {
    // A value read back shows and reads back as itself (unless it no longer fits the field).
    const rt::Decimal value = rt::Decimal::FromText(*stored);
    Check(value.IsValid());
    const std::string shown = rt::Format(value, picture);
    if (shown.find('#') == std::string::npos && shown.find_first_not_of(' ') != std::string::npos) {
      const auto again = rt::Deformat(shown, picture);
      Check(again.has_value() && *again == *stored);
    }
  }
  if (valid && stored && picture.size() > 1 && (picture[1] == 'd' || picture[1] == 'D' || picture[1] == 't' || picture[1] == 'T')) {
    const long n = std::stol(*stored);
    const std::string shown = rt::Format(static_cast<rt::Long>(n), picture);
    const auto again = rt::Deformat(shown, picture);
    // Short years and times without seconds may lose precision; the value must still read back.
    Check(again.has_value());
    if (n == 0) Check(shown.empty());
  }
  return 0;
}
