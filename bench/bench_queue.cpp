// Queue against a std::vector of the same structs: 100 000 keyed adds (in order and shuffled)
// and 100 000 gets by key. The vector side is the raw library work beneath: lower/upper_bound
// plus insert, and a binary search per get.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "runtime/core/fixed_string.h"
#include "runtime/data/queue.h"

namespace {

struct Row {
  rt::Long id = 0;
  rt::FixedString<20> name;
  rt::Real amount = 0;
};

constexpr int kRows = 100000;

std::vector<rt::Long> Keys(bool shuffled) {
  std::vector<rt::Long> keys(kRows);
  std::iota(keys.begin(), keys.end(), 1);
  if (shuffled) std::shuffle(keys.begin(), keys.end(), std::mt19937(7));
  return keys;
}

void QueueAddByKey(benchmark::State& state) {
  const std::vector<rt::Long> keys = Keys(state.range(0) != 0);
  for (auto _ : state) {
    Row buf;
    rt::Queue q(buf);
    for (rt::Long k : keys) {
      buf.id = k;
      q.Add({buf.id});
    }
    benchmark::DoNotOptimize(q.Records());
  }
}

void VectorAddByKey(benchmark::State& state) {
  const std::vector<rt::Long> keys = Keys(state.range(0) != 0);
  for (auto _ : state) {
    std::vector<Row> rows;
    for (rt::Long k : keys) {
      Row r;
      r.id = k;
      rows.insert(std::upper_bound(rows.begin(), rows.end(), k, [](rt::Long x, const Row& e) { return x < e.id; }), r);
    }
    benchmark::DoNotOptimize(rows.size());
  }
}

void QueueGetByKey(benchmark::State& state) {
  Row buf;
  rt::Queue q(buf);
  for (rt::Long k = 1; k <= kRows; ++k) {
    buf.id = k;
    q.Add({buf.id});
  }
  const std::vector<rt::Long> keys = Keys(true);
  for (auto _ : state) {
    for (rt::Long k : keys) {
      buf.id = k;
      q.Get({buf.id});
    }
    benchmark::DoNotOptimize(buf.amount);
  }
}

void VectorGetByKey(benchmark::State& state) {
  std::vector<Row> rows(kRows);
  for (rt::Long k = 1; k <= kRows; ++k) rows[k - 1].id = k;
  const std::vector<rt::Long> keys = Keys(true);
  Row buf;
  for (auto _ : state) {
    for (rt::Long k : keys) {
      const auto it = std::lower_bound(rows.begin(), rows.end(), k, [](const Row& e, rt::Long x) { return e.id < x; });
      if (it != rows.end() && it->id == k) buf = *it;
    }
    benchmark::DoNotOptimize(buf.amount);
  }
}

}  // namespace

// Arg 0: keys in order; 1: shuffled.
BENCHMARK(QueueAddByKey)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorAddByKey)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(QueueGetByKey)->Unit(benchmark::kMillisecond);
BENCHMARK(VectorGetByKey)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
