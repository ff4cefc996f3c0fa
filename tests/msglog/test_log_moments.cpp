// Moments as users type them for --since, --until and the log window's dates: each accepted form, range ends, zones
// turned into local time, and the near misses that must be refused. Local time is UTC here.

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "msglog/log_moments.h"

namespace {

struct MomentCase {
  const char* text;
  bool end;
  std::int64_t key;  // 0: refused
  const char* why;
};

const MomentCase kMomentCases[] = {
    {"2026-12-06", false, 20261206000000, "1.1 ISO date: its first second"},
    {"2026-12-06", true, 20261206235959, "1.2 ... or its last"},
    {"2026-12-06T09:04", true, 20261206090459, "1.3 a time without seconds ends at its 59th"},
    {" 2026-12-06 09:04:05 ", false, 20261206090405, "1.4 blank instead of T, blanks around"},
    {"2026-12-06T09:04:05,250", false, 20261206090405, "1.5 a fraction is dropped"},
    {"2026-12-06T09:04:05Z", false, 20261206090405, "2.1 UTC"},
    {"2026-12-06T10:04:05+01:00", false, 20261206090405, "2.2 an offset east"},
    {"2026-12-06T04:04:05-0500", false, 20261206090405, "2.3 an offset west without colon"},
    {"2026-12-06T23:30-01:00", false, 20261207003000, "2.4 the offset carries over midnight"},
    {"Dec 06, 2026 09:04:05", false, 20261206090405, "3.1 the log's own form"},
    {"december 6 2026", false, 20261206000000, "3.2 a month in full, any case, no comma"},
    {"6 Dec. 2026", true, 20261206235959, "3.3 day first"},
    {"12/06/2026", false, 20261206000000, "3.4 month first, as the program writes dates"},
    {"06.12.2026 9:04", false, 0, "3.5 an hour needs two digits"},
    {"06.12.2026 09:04", false, 20261206090400, "3.6 day.month.year"},
    {"today", false, 20261207000000, "4.1 today"},
    {"Yesterday 17:00", false, 20261206170000, "4.2 yesterday with a time"},
    {"2024-02-29", false, 20240229000000, "5.1 a leap day"},
    {"2000-02-29", false, 20000229000000, "5.2 a leap day of a 400th year"},
    {"2026-02-29", false, 0, "5.3 no leap day this year"},
    {"2100-02-29", false, 0, "5.4 nor in a century year"},
    {"2026-12-31T23:59:59", false, 20261231235959, "5.5 the last second of a year"},
    {"0001-01-01", false, 10101000000, "5.5b the first year is a year"},
    {"2026-13-01", false, 0, "5.6 month 13"},
    {"2026-12-32", false, 0, "5.7 day 32"},
    {"2026-12-06 24:00", false, 0, "5.8 hour 24"},
    {"2026-12-06T09:60", false, 0, "5.9 minute 60"},
    {"2026-12-06T09:04:60", false, 0, "5.10 second 60"},
    {"2026-12-06T09:04+15:00", false, 0, "5.11 an offset beyond 14 hours"},
    {"Ja 6 2026", false, 0, "6.1 a month needs three letters"},
    {"12/06/26", false, 0, "6.2 a year needs four digits"},
    {"2026-12-06 and more", false, 0, "6.3 trailing words"},
    {"", false, 0, "6.4 nothing"},
    {"2026-12-06T", false, 0, "6.5 T without a time"},
};

class MomentTest : public ::testing::TestWithParam<MomentCase> {
 protected:
  static void SetUpTestSuite() {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

TEST_P(MomentTest, ParsesOrRefuses) {
  const MomentCase& c = GetParam();
  const std::time_t now = 1796644800;  // 2026-12-07 12:00:00 UTC
  msglog::LogMoment moment;
  const bool parsed = msglog::ParseUserMoment(c.text, c.end, now, moment);
  EXPECT_EQ(parsed ? moment.Key() : 0, c.key) << c.why;
}

INSTANTIATE_TEST_SUITE_P(Cases, MomentTest, ::testing::ValuesIn(kMomentCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(IsoMomentsTest, OffsetIsTheOneLocalTimeHadThen) {
  setenv("TZ", "Europe/Berlin", 1);
  tzset();
  msglog::IsoMoments iso;
  EXPECT_EQ(iso.Format({2026, 12, 6, 9, 4, 5}), "2026-12-06T09:04:05+01:00");
  EXPECT_EQ(iso.Format({2026, 7, 6, 9, 4, 5}), "2026-07-06T09:04:05+02:00");
  EXPECT_EQ(iso.Format({2026, 3, 29, 1, 59, 59}), "2026-03-29T01:59:59+01:00");  // the hour before the change
  EXPECT_EQ(iso.Format({2026, 3, 29, 3, 0, 0}), "2026-03-29T03:00:00+02:00");
  setenv("TZ", "UTC", 1);
  tzset();
}

}  // namespace
