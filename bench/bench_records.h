#pragma once
// The benchmark record of the data-file benchmarks (bench_keyed, bench_pg) and how they report
// our time beside the raw library's. Owns only these descriptions.

#include <benchmark/benchmark.h>

#include <chrono>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/record_layout.h"

namespace bench_records {

using Clock = std::chrono::steady_clock;

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

inline void Report(benchmark::State& state, Clock::duration ours, Clock::duration raw, double operations) {
  const double o = std::chrono::duration<double, std::micro>(ours).count() / operations;
  const double r = std::chrono::duration<double, std::micro>(raw).count() / operations;
  state.counters["ours_us"] = o;
  state.counters["raw_us"] = r;
  state.counters["ratio"] = r > 0 ? o / r : 0;
}

}  // namespace bench_records
