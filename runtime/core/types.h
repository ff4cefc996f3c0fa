#pragma once
// The runtime's scalar types, by the names the program uses for them.
// Owns nothing but the aliases; strings, decimals, dates and times have headers of their own.

#include <cstdint>

namespace rt {

using Long = std::int32_t;
using Short = std::int16_t;
using UShort = std::uint16_t;
using Byte = std::uint8_t;
using Real = double;

}  // namespace rt
