#pragma once
// The benchmark record of the data-file benchmarks (bench_keyed, bench_pg) and how they report
// our time beside the raw library's. Owns only these descriptions.

#include <benchmark/benchmark.h>
#include <time.h>

#include <chrono>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/record_layout.h"

namespace bench_records {

using Clock = std::chrono::steady_clock;

// The calling thread's processor time. On a machine shared with other builds, wall time mostly
// measures the waits for a core; this clock does not count them.
struct CpuClock {
  using duration = std::chrono::nanoseconds;
  using time_point = std::chrono::time_point<CpuClock, duration>;
  static time_point now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return time_point(std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec));
  }
};

struct Record {
  rt::Long ID = 0;
  rt::FixedString<20> NAME;
  rt::PackedDecimal<9, 2> AMOUNT;
  rt::Long DAY = 0;
};

inline const rt::RecordLayout& Layout() {
  static const rt::RecordLayout layout(sizeof(Record), {
      rt::LayoutField("BEN:ID", &Record::ID), rt::LayoutField("BEN:NAME", &Record::NAME),
      rt::LayoutField("BEN:AMOUNT", &Record::AMOUNT), rt::LayoutDate("BEN:DAY", &Record::DAY)});
  return layout;
}

// Counters <ours>, <raw> (microseconds per operation) and <ratio>.
template <class Duration>
void ReportAs(benchmark::State& state, Duration ours, Duration raw, double operations, const char* oursName,
              const char* rawName, const char* ratioName) {
  const double o = std::chrono::duration<double, std::micro>(ours).count() / operations;
  const double r = std::chrono::duration<double, std::micro>(raw).count() / operations;
  state.counters[oursName] = o;
  state.counters[rawName] = r;
  state.counters[ratioName] = r > 0 ? o / r : 0;
}

inline void Report(benchmark::State& state, Clock::duration ours, Clock::duration raw, double operations) {
  ReportAs(state, ours, raw, operations, "ours_us", "raw_us", "ratio");
}

// The same in processor time.
inline void ReportCpu(benchmark::State& state, CpuClock::duration ours, CpuClock::duration raw, double operations) {
  ReportAs(state, ours, raw, operations, "ours_cpu_us", "raw_cpu_us", "cpu_ratio");
}

}  // namespace bench_records
