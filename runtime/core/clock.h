#pragma once
// Today's standard date and the standard time, read from the local clock, or from a pinned
// moment that tests set so that results never depend on when they run.

#include <optional>
#include <vector>

#include "runtime/core/types.h"

namespace rt {

// Days since 28 December 1800 (day 4 is 1 January 1801), the runtime's standard date.
Long Today();
// Hundredths of a second since midnight, plus one (1 = 00:00:00.00), the runtime's standard time.
Long Clock();

// Today and Clock read from one moment: two separate reads can straddle midnight and pair
// one day's date with the next day's 00:00.
struct DateAndTime {
  Long date;
  Long time;
};
DateAndTime TodayAndClock();

namespace testing {
struct PinnedMoment {
  int year, month, day;
  int hour, minute, second, hundredths;
};
// Pins Today and Clock for the whole process; nullopt releases the pin.
void PinClock(std::optional<PinnedMoment> moment);
// Pins a clock that moves: each read takes the next moment, the last one stays.
void PinClockSequence(std::vector<PinnedMoment> moments);
}  // namespace testing

}  // namespace rt
