// Standard dates: the calendar's leap and roll-over rules, weekdays, and the pinned clock.

#include <gtest/gtest.h>

#include "runtime/core/clock.h"
#include "runtime/core/date_time.h"

namespace {

// The epoch, the day numbers at the ends of the range and the standard time's numbering are
// pinned by the picture tests, which format and read them; what is left are the calendar's rules.
TEST(StandardDate, LeapDaysWeekdaysAndRollOver) {
  EXPECT_TRUE(rt::IsValidCivilDate({2024, 2, 29}));
  EXPECT_FALSE(rt::IsValidCivilDate({2023, 2, 29}));
  EXPECT_TRUE(rt::IsValidCivilDate({2000, 2, 29}));   // divisible by 400
  EXPECT_FALSE(rt::IsValidCivilDate({1900, 2, 29}));  // divisible by 100 only
  EXPECT_FALSE(rt::IsValidCivilDate({2026, 13, 1}));
  EXPECT_FALSE(rt::IsValidCivilDate({2026, 4, 31}));
  EXPECT_EQ(rt::DateFromCivil(2000, 1, 1) - rt::DateFromCivil(1999, 12, 31), 1);
  EXPECT_EQ(rt::DateFromCivil(2026, 13, 1), rt::DateFromCivil(2027, 1, 1));
  EXPECT_EQ(rt::DateFromCivil(2026, 3, 0), rt::DateFromCivil(2026, 2, 28));
  EXPECT_EQ(rt::DateFromCivil(2026, 0, 1), rt::DateFromCivil(2025, 12, 1));
  EXPECT_EQ(rt::DayOfWeek(rt::DateFromCivil(2026, 12, 6)), 0);  // a Sunday
}

TEST(Clock, PinnedMomentDrivesTodayAndClock) {
  rt::testing::PinClock(rt::testing::PinnedMoment{2026, 12, 6, 19, 4, 5, 0});
  EXPECT_EQ(rt::Today(), rt::DateFromCivil(2026, 12, 6));
  EXPECT_EQ(rt::Clock(), rt::TimeFromParts(19, 4, 5));
  rt::testing::PinClock(std::nullopt);
  EXPECT_GT(rt::Today(), rt::DateFromCivil(2020, 1, 1));
}

}  // namespace
