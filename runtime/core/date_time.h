#pragma once
// The standard date and standard time as numbers, and their parts.
// Standard date: days since 28 December 1800 (1 January 1801 is day 4); 0 means "no date".
// Standard time: hundredths of a second since midnight plus one; 0 means "no time".

#include "runtime/core/types.h"

namespace rt {

struct CivilDate {
  int year;
  int month;  // 1..12
  int day;    // 1..31
};

struct TimeOfDay {
  int hour, minute, second, hundredths;
};

bool IsValidCivilDate(const CivilDate& date);
// The standard date of a civil date; days and months out of range roll over as the runtime's
// DATE does (month 13 is January of the next year, day 0 the last day of the month before).
Long DateFromCivil(int year, int month, int day);
CivilDate CivilFromDate(Long date);
int DayOfWeek(Long date);  // 0 = Sunday

Long TimeFromParts(int hour, int minute, int second, int hundredths = 0);
TimeOfDay PartsFromTime(Long time);

}  // namespace rt
