#pragma once
// The binary form in which groups of error table entries travel (an ErrorBlock), the program's
// built-in table in that form, and a bounds-checked reader of it.
//
// Layout, little-endian, packed: u16 count; then per entry u16 id, u8 level, u8 title length n,
// n title bytes, u8 message length m, m message bytes.

#include <cstddef>
#include <functional>
#include <span>
#include <string_view>

#include "runtime/core/types.h"

using ErrorBlock = std::span<const unsigned char>;

// The built-in table, DefaultErrors, as a block that lives for the whole run.
ErrorBlock DefaultErrors();

struct ErrorBlockEntry {
  rt::UShort id;
  rt::Byte level;
  std::string_view title;    // points into the block
  std::string_view message;  // points into the block
};

// Calls `take` for each entry, in order. Stops at the first entry that would run past the end
// of the block and returns false; true when every announced entry was read.
bool ReadErrorBlock(ErrorBlock block, const std::function<void(const ErrorBlockEntry&)>& take);
