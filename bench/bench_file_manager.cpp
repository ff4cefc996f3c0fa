// FileManager beside the runtime file beneath it, in one run: inserting records and fetching
// them by a unique key. Each benchmark times the raw rt::File call and the manager's operation
// in alternating batches over two files of the same shape and reports both rates and their
// ratio (framework / raw; the target is at least 0.5).

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "bench/bench_access.h"
#include "framework/data/file_manager.h"
#include "framework/error/error_class.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/thread.h"
#include "runtime/data/file.h"

namespace {

struct Row {
  rt::Long ID = 0;
  rt::FixedString<20> NAME;
};

const rt::RecordLayout& RowLayout() {
  static const rt::RecordLayout layout(sizeof(Row), {rt::LayoutField("ROW:ID", &Row::ID), rt::LayoutField("ROW:NAME", &Row::NAME)});
  return layout;
}

rt::FileDecl RowDecl(const std::string& path) {
  rt::FileDecl decl;
  decl.label = "Rows";
  decl.driver = rt::kKeyedDriver;
  decl.name = path;
  decl.layout = &RowLayout();
  decl.keys = {{"ROW:IDKey", {{1, true}}, true, false, false, true}};
  return decl;
}

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForBench"};

// Two files of the same shape in a fresh directory: one for the raw calls, one for the manager.
struct Bench {
  Bench() {
    directory = std::filesystem::temp_directory_path() / ("quibbet_bench_fm_" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory);
    rawDecl = RowDecl((directory / "raw").string());
    fmDecl = RowDecl((directory / "fm").string());
    raw = std::make_unique<rt::File>(rawDecl, rawRow);
    fmFile = std::make_unique<rt::File>(fmDecl, fmRow);
    raw->Create();
    raw->Open();
    fmFile->Create();
    errors.Init(gStatus);
    access = std::make_unique<BenchAccess>(*fmFile, errors, "Rows");
    access->Init();
    access->Open();
  }
  ~Bench() {
    access->Close();
    access->Kill();
    access.reset();
    raw->Close();
    std::filesystem::remove_all(directory);
  }
  std::filesystem::path directory;
  rt::FileDecl rawDecl, fmDecl;
  Row rawRow, fmRow;
  std::unique_ptr<rt::File> raw, fmFile;
  ErrorClass errors;
  std::unique_ptr<BenchAccess> access;
};

using Clock = std::chrono::steady_clock;
constexpr int kBatch = 200;

void Report(benchmark::State& state, double rawSeconds, double fmSeconds, std::int64_t each) {
  const double rawRate = static_cast<double>(each) / rawSeconds;
  const double fmRate = static_cast<double>(each) / fmSeconds;
  state.counters["raw_per_s"] = rawRate;
  state.counters["fm_per_s"] = fmRate;
  state.counters["ratio"] = fmRate / rawRate;
}

void InsertSideBySide(benchmark::State& state) {
  Bench bench;
  rt::Long next = 1;
  double rawSeconds = 0, fmSeconds = 0;
  std::int64_t each = 0;
  for (auto _ : state) {
    const rt::Long first = next;
    auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      bench.rawRow.ID = first + i;
      bench.rawRow.NAME = "raw";
      bench.raw->Add();
    }
    rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      bench.fmRow.ID = first + i;
      bench.fmRow.NAME = "fm";
      benchmark::DoNotOptimize(bench.access->Insert());
    }
    fmSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    next += kBatch;
    each += kBatch;
  }
  Report(state, rawSeconds, fmSeconds, each);
}

void FetchSideBySide(benchmark::State& state) {
  Bench bench;
  constexpr rt::Long kRows = 5000;
  for (rt::Long id = 1; id <= kRows; ++id) {
    bench.rawRow.ID = bench.fmRow.ID = id;
    bench.raw->Add();
    bench.access->Insert();
  }
  std::mt19937 random(7);
  std::uniform_int_distribution<rt::Long> pick(1, kRows);
  double rawSeconds = 0, fmSeconds = 0;
  std::int64_t each = 0;
  for (auto _ : state) {
    std::vector<rt::Long> ids(kBatch);
    for (rt::Long& id : ids) id = pick(random);
    auto start = Clock::now();
    for (rt::Long id : ids) {
      bench.rawRow.ID = id;
      bench.raw->Get(1);
    }
    rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    start = Clock::now();
    for (rt::Long id : ids) {
      bench.fmRow.ID = id;
      benchmark::DoNotOptimize(bench.access->Fetch(1));
    }
    fmSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    each += kBatch;
  }
  Report(state, rawSeconds, fmSeconds, each);
}

BENCHMARK(InsertSideBySide)->Unit(benchmark::kMillisecond)->Iterations(25);
BENCHMARK(FetchSideBySide)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
  rt::ThreadScope thread;  // the managers' per-thread objects live and die with this scope
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
