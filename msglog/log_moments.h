#pragma once
// Dates and times as a user types them (quibbet_log's --since and --until, the log window's
// date filters), turned into the log's own local moments. Owns nothing; reads the local time
// zone through the C library.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "msglog/log_entry.h"

namespace msglog {

// Parses `text` as a moment. A date without a time is its first second (`endOfRange` false) or
// its last (true); a time without seconds likewise. Accepted: ISO 8601 ("2026-12-06",
// "2026-12-06T09:04", "2026-12-06 09:04:05", with "Z" or "+01:00" converted to local time),
// the log's own "Dec 06, 2026 09:04:05", "6 Dec 2026", "12/06/2026" (month first, as the
// program writes dates), "06.12.2026", and "today" or "yesterday" with an optional time.
// `now` is the moment "today" means. False when the text is no moment.
bool ParseUserMoment(std::string_view text, bool endOfRange, std::time_t now, LogMoment& moment);

// The moment as the C library's broken-down time; tm_isdst -1 lets mktime find the offset.
std::tm BrokenDownTime(const LogMoment& moment);

// "2026-12-06T09:04:05+01:00": a moment in ISO 8601 with the offset local time had then. The
// offset changes at most hourly, so the last one found serves the many entries of one hour.
class IsoMoments {
 public:
  std::string Format(const LogMoment& moment);

 private:
  std::int64_t hour_ = -1;
  long offset_ = 0;
};

}  // namespace msglog
