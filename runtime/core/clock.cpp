#include "runtime/core/clock.h"

#include <chrono>
#include <ctime>
#include <mutex>

#include "runtime/core/date_time.h"

namespace rt {

namespace {

struct Pin {
  std::mutex mutex;
  std::optional<testing::PinnedMoment> moment;
};

Pin& ThePin() {
  static Pin pin;  // test support: one pinned clock per process
  return pin;
}

testing::PinnedMoment Now() {
  {
    Pin& pin = ThePin();
    std::lock_guard lock(pin.mutex);
    if (pin.moment) return *pin.moment;
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

}  // namespace

Long Today() {
  const testing::PinnedMoment now = Now();
  return DateFromCivil(now.year, now.month, now.day);
}

Long Clock() {
  const testing::PinnedMoment now = Now();
  return TimeFromParts(now.hour, now.minute, now.second, now.hundredths);
}

namespace testing {
void PinClock(std::optional<PinnedMoment> moment) {
  Pin& pin = ThePin();
  std::lock_guard lock(pin.mutex);
  pin.moment = moment;
}
}  // namespace testing

}  // namespace rt
