#include "runtime/core/date_time.h"

namespace rt {

namespace {

// Days from 1970-01-01 to a proleptic Gregorian date (H. Hinnant's algorithm).
constexpr long long DaysFromEpoch(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<long long>(doe) - 719468;
}

CivilDate CivilFromEpochDays(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long y = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// constexpr: other files compute dates during static initialisation.
constexpr long long kStandardEpoch = DaysFromEpoch(1800, 12, 28);

}  // namespace

bool IsValidCivilDate(const CivilDate& date) {
  if (date.month < 1 || date.month > 12 || date.day < 1) return false;
  return CivilFromDate(DateFromCivil(date.year, date.month, date.day)).day == date.day;
}

Long DateFromCivil(int year, int month, int day) {
  long long y = year;
  long long m = month - 1;
  y += m >= 0 ? m / 12 : (m - 11) / 12;
  m = ((m % 12) + 12) % 12;
  const long long first = DaysFromEpoch(y, static_cast<unsigned>(m + 1), 1);
  return static_cast<Long>(first + (day - 1) - kStandardEpoch);
}

CivilDate CivilFromDate(Long date) { return CivilFromEpochDays(kStandardEpoch + date); }

int DayOfWeek(Long date) { return static_cast<int>(((date % 7) + 7) % 7); }  // day 0 was a Sunday

Long TimeFromParts(int hour, int minute, int second, int hundredths) {
  return ((hour * 60 + minute) * 60 + second) * 100 + hundredths + 1;
}

TimeOfDay PartsFromTime(Long time) {
  const Long t = time > 0 ? time - 1 : 0;
  return {static_cast<int>(t / 360000), static_cast<int>(t / 6000 % 60), static_cast<int>(t / 100 % 60),
          static_cast<int>(t % 100)};
}

}  // namespace rt
