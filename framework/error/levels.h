#pragma once
// The return levels every framework operation reports instead of throwing, and the levels that
// error table entries carry.

#include "runtime/core/types.h"

namespace Level {
inline constexpr rt::Byte Ok = 0;        // nothing shown; carry on
inline constexpr rt::Byte Ask = 1;       // the user is asked Yes/No
inline constexpr rt::Byte Internal = 2;  // handled as Fatal
inline constexpr rt::Byte Fatal = 3;     // shown, then the program ends
inline constexpr rt::Byte Cancel = 4;    // as an entry: handled as Ask; as a result: the user declined
inline constexpr rt::Byte Notify = 5;    // shown with OK; the caller learns it was a notice
}  // namespace Level
