#pragma once
// Today's standard date and the standard time, read from the local clock, or from a pinned
// moment that tests set so that results never depend on when they run.

#include <optional>

#include "runtime/core/types.h"

namespace rt {

// Days since 28 December 1800 (day 4 is 1 January 1801), the runtime's standard date.
Long Today();
// Hundredths of a second since midnight, plus one (1 = 00:00:00.00), the runtime's standard time.
Long Clock();

namespace testing {
struct PinnedMoment {
  int year, month, day;
  int hour, minute, second, hundredths;
};
// Pins Today and Clock for the whole process; nullopt releases the pin.
void PinClock(std::optional<PinnedMoment> moment);
}  // namespace testing

}  // namespace rt
