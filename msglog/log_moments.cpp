#include "msglog/log_moments.h"

#include <cctype>
#include <cstdio>

namespace msglog {

namespace {

constexpr const char* kMonthNames[] = {"january", "february", "march",     "april",   "may",      "june",
                                       "july",    "august",   "september", "october", "november", "december"};

bool IsLeap(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysIn(int month, int year) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

class Cursor {
 public:
  explicit Cursor(std::string_view text) : text_(text) {}
  bool AtEnd() const { return at_ == text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[at_]; }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++at_;
    return true;
  }
  bool SkipBlanks() {
    const std::size_t from = at_;
    while (Peek() == ' ' || Peek() == '\t') ++at_;
    return at_ > from;
  }
  // Digits, as many as there are up to `most`; false for fewer than `least`.
  bool Number(int least, int most, int& value, int* digits = nullptr) {
    int count = 0;
    value = 0;
    while (count < most && std::isdigit(static_cast<unsigned char>(Peek()))) {
      value = value * 10 + (text_[at_++] - '0');
      ++count;
    }
    if (digits) *digits = count;
    return count >= least;
  }
  std::string Word() {
    std::string word;
    while (std::isalpha(static_cast<unsigned char>(Peek()))) word += static_cast<char>(std::tolower(text_[at_++]));
    return word;
  }

 private:
  std::string_view text_;
  std::size_t at_ = 0;
};

// "dec", "December", "sept": a month name or the start of one, at least three letters.
int MonthNamed(const std::string& word) {
  if (word.size() < 3) return 0;
  for (int m = 0; m < 12; ++m)
    if (std::string_view(kMonthNames[m]).starts_with(word)) return m + 1;
  return 0;
}

bool ParseDate(Cursor& in, std::time_t now, LogMoment& m) {
  if (std::isalpha(static_cast<unsigned char>(in.Peek()))) {
    const std::string word = in.Word();
    if (word == "today" || word == "yesterday") {
      std::time_t day = now - (word == "yesterday" ? 24 * 3600 : 0);
      std::tm local{};
      localtime_r(&day, &local);
      m.year = local.tm_year + 1900;
      m.month = local.tm_mon + 1;
      m.day = local.tm_mday;
      return true;
    }
    m.month = MonthNamed(word);  // "Dec 06, 2026"
    in.Take('.');
    in.SkipBlanks();
    if (m.month == 0 || !in.Number(1, 2, m.day)) return false;
    in.Take(',');
    in.SkipBlanks();
    return in.Number(4, 4, m.year);
  }
  int first = 0, digits = 0;
  if (!in.Number(1, 4, first, &digits)) return false;
  if (digits == 4 && in.Take('-')) {  // ISO
    m.year = first;
    return in.Number(2, 2, m.month) && in.Take('-') && in.Number(2, 2, m.day);
  }
  if (digits > 2) return false;
  if (in.Take('/')) {  // month first, as the program writes dates
    m.month = first;
    return in.Number(1, 2, m.day) && in.Take('/') && in.Number(4, 4, m.year);
  }
  if (in.Take('.')) {
    m.day = first;
    return in.Number(1, 2, m.month) && in.Take('.') && in.Number(4, 4, m.year);
  }
  m.day = first;  // "6 Dec 2026"
  in.SkipBlanks();
  m.month = MonthNamed(in.Word());
  in.Take('.');
  in.SkipBlanks();
  return m.month != 0 && in.Number(4, 4, m.year);
}

}  // namespace

bool ParseUserMoment(std::string_view text, bool endOfRange, std::time_t now, LogMoment& moment) {
  Cursor in(text);
  in.SkipBlanks();
  LogMoment m;
  if (!ParseDate(in, now, m)) return false;
  if (m.month < 1 || m.month > 12 || m.day < 1 || m.year < 1 || m.day > DaysIn(m.month, m.year)) return false;

  // The time: "T09:04", " 09:04:05", "09:04:05.123", then a zone "Z", "+01:00", "-0500".
  const bool blank = in.SkipBlanks();
  const bool t = in.Take('T') || in.Take('t');
  bool hasTime = false, hasSeconds = false, hasZone = false;
  int zoneSeconds = 0;
  if (t || (blank && !in.AtEnd())) {
    if (!in.Number(2, 2, m.hour) || !in.Take(':') || !in.Number(2, 2, m.minute)) return false;
    hasTime = true;
    if (in.Take(':')) {
      if (!in.Number(2, 2, m.second)) return false;
      hasSeconds = true;
      if (in.Take('.') || in.Take(',')) {
        int fraction = 0;
        if (!in.Number(1, 9, fraction)) return false;
      }
    }
    in.SkipBlanks();
    if (in.Take('Z') || in.Take('z')) {
      hasZone = true;
    } else if (in.Peek() == '+' || in.Peek() == '-') {
      const int sign = in.Take('-') ? -1 : (in.Take('+'), 1);
      int hours = 0, minutes = 0;
      if (!in.Number(2, 2, hours)) return false;
      in.Take(':');
      in.Number(0, 2, minutes);
      if (hours > 14 || minutes > 59) return false;
      hasZone = true;
      zoneSeconds = sign * (hours * 3600 + minutes * 60);
    }
  }
  in.SkipBlanks();
  if (!in.AtEnd() || m.hour > 23 || m.minute > 59 || m.second > 59) return false;
  if (endOfRange) {
    if (!hasTime) m.hour = 23, m.minute = 59;
    if (!hasSeconds) m.second = 59;
  }
  if (hasZone) {
    std::tm given = BrokenDownTime(m);
    const std::time_t utc = timegm(&given) - zoneSeconds;
    std::tm local{};
    localtime_r(&utc, &local);
    m = {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec};
  }
  moment = m;
  return true;
}

std::tm BrokenDownTime(const LogMoment& moment) {
  std::tm tm{};
  tm.tm_year = moment.year - 1900;
  tm.tm_mon = moment.month - 1;
  tm.tm_mday = moment.day;
  tm.tm_hour = moment.hour;
  tm.tm_min = moment.minute;
  tm.tm_sec = moment.second;
  tm.tm_isdst = -1;
  return tm;
}

std::string IsoMoments::Format(const LogMoment& moment) {
  const std::int64_t hour = moment.Key() / 10000;
  if (hour != hour_) {
    std::tm local = BrokenDownTime(moment);
    offset_ = mktime(&local) == static_cast<std::time_t>(-1) ? 0 : local.tm_gmtoff;
    hour_ = hour;
  }
  const long offset = offset_ < 0 ? -offset_ : offset_;
  char text[48];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02ld:%02ld", moment.year, moment.month, moment.day,
                moment.hour, moment.minute, moment.second, offset_ < 0 ? '-' : '+', offset / 3600, offset / 60 % 60);
  return text;
}

}  // namespace msglog
