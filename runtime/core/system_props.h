#pragma once
// System properties by number: process-wide values that any thread reads and writes.
// Values are addresses or numbers held as intptr_t; an unset property reads as 0.

#include <cstdint>

#include "runtime/core/types.h"

namespace rt {

enum SystemProperty : Long {
  PROP_MessageHook = 31285,  // procedure called instead of the message box; 0 = the runtime's own
  PROP_StopHook = 31286,     // procedure called instead of the stop dialog; 0 = the runtime's own
};

std::intptr_t GetSystemProp(Long property);
void SetSystemProp(Long property, std::intptr_t value);

}  // namespace rt
