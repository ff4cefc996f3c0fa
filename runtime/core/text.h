#pragma once
// Text helpers shared by every layer: clipping, UTF-8 safe cutting, blank-padded comparison,
// and the runtime's numeric test. Fixed-size strings build on these (fixed_string.h).

#include <cstddef>
#include <string>
#include <string_view>

namespace rt {

// Text without its trailing blanks (the runtime's CLIP).
std::string_view Clip(std::string_view text);

// The longest prefix of `text` of at most `maxBytes` bytes that does not end inside a
// UTF-8 character. Bytes that are not valid UTF-8 are treated as single characters.
std::string_view Utf8Prefix(std::string_view text, std::size_t maxBytes);

// Compares as fixed strings do: trailing blanks are not significant.
// Returns <0, 0 or >0, byte-wise otherwise.
int CompareBlankPadded(std::string_view a, std::string_view b);
inline bool EqualBlankPadded(std::string_view a, std::string_view b) { return CompareBlankPadded(a, b) == 0; }

// True when `text` reads as a number: optional blanks, an optional sign, digits with at most
// one decimal point (at least one digit), optional blanks. "3|5" and "" are not numbers.
bool IsNumeric(std::string_view text);

// 1-based position of `needle` in `text` at or after the 1-based `start`; 0 when absent
// (the runtime's INSTRING with step 1).
std::size_t InString(std::string_view needle, std::string_view text, std::size_t start = 1);

}  // namespace rt
