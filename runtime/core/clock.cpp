#include "runtime/core/clock.h"

#include <chrono>
#include <ctime>
#include <mutex>

#include "runtime/core/date_time.h"

namespace rt {

namespace {

struct Pin {
  std::mutex mutex;
  std::vector<testing::PinnedMoment> moments;  // empty: the real clock
  std::size_t next = 0;
};

Pin& ThePin() {
  static Pin pin;  // test support: one pinned clock per process
  return pin;
}

testing::PinnedMoment Now() {
  {
    Pin& pin = ThePin();
    std::lock_guard lock(pin.mutex);
    if (!pin.moments.empty()) {
      const testing::PinnedMoment moment = pin.moments[pin.next];
      if (pin.next + 1 < pin.moments.size()) ++pin.next;
      return moment;
    }
  }
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&seconds, &local);
  const auto sinceSecond = now - std::chrono::system_clock::from_time_t(seconds);
  const int hundredths = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(sinceSecond).count() / 10);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
          hundredths < 0 ? 0 : hundredths % 100};
}

Long DateOf(const testing::PinnedMoment& moment) { return DateFromCivil(moment.year, moment.month, moment.day); }
Long TimeOf(const testing::PinnedMoment& moment) {
  return TimeFromParts(moment.hour, moment.minute, moment.second, moment.hundredths);
}

}  // namespace

Long Today() { return DateOf(Now()); }

Long Clock() { return TimeOf(Now()); }

DateAndTime TodayAndClock() {
  const testing::PinnedMoment now = Now();
  return {DateOf(now), TimeOf(now)};
}

namespace testing {
void PinClock(std::optional<PinnedMoment> moment) {
  PinClockSequence(moment ? std::vector<PinnedMoment>{*moment} : std::vector<PinnedMoment>{});
}

void PinClockSequence(std::vector<PinnedMoment> moments) {
  Pin& pin = ThePin();
  std::lock_guard lock(pin.mutex);
  pin.moments = std::move(moments);
  pin.next = 0;
}
}  // namespace testing

}  // namespace rt
