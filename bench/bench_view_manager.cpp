// ViewManager beside the runtime view beneath it, in one run, over a keyed file of 100 000
// records: opening the view and reading its first page of 20, and positioning and reading the
// next 20 at the start, the middle and the end of the file. Each benchmark times the raw
// rt::View calls and the manager's operations in alternating batches over two instances of the
// same file and reports both rates and their ratio (framework / raw).

#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "bench/bench_access.h"
#include "bench/bench_data.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/data/view_manager.h"
#include "framework/error/error_class.h"
#include "framework/error/levels.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"
#include "runtime/data/file.h"
#include "runtime/data/view.h"

namespace {

constexpr rt::Long kRecords = 100000;
constexpr int kPage = 20;

struct Rec {
  rt::Long ID = 0;
  rt::FixedString<30> NAME;
  rt::Long AMOUNT = 0;
};

const rt::RecordLayout& RecLayout() {
  static const rt::RecordLayout layout(sizeof(Rec), {rt::LayoutField("REC:ID", &Rec::ID), rt::LayoutField("REC:NAME", &Rec::NAME),
                                                     rt::LayoutField("REC:AMOUNT", &Rec::AMOUNT)});
  return layout;
}

rt::FileDecl RecDecl(const std::string& path) {
  return bench_data::KeyedDecl("Recs", path, RecLayout(), "REC:IDKey");
}

// The file is built once per run and removed when the program ends.
struct DataDirectory {
  DataDirectory() {
    const rt::FileDecl decl = RecDecl((path / "recs").string());
    Rec rec;
    rt::File file(decl, rec);
    bench_data::WriteRecords(file, kRecords, [&](rt::Long id) {
      rec.ID = id;
      rec.NAME = "Record " + std::to_string(id);
      rec.AMOUNT = id % 977;
    });
  }
  bench_data::ScratchDirectory scratch{"quibbet_bench_vm"};
  const std::filesystem::path& path = scratch.Path();
};

const DataDirectory& Data() {
  static const DataDirectory data;
  return data;
}

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForViewBench"};

// One file instance read by a raw view, another by the manager's view.
struct Bench {
  Bench() : decl(RecDecl((Data().path / "recs").string())) {
    raw = std::make_unique<rt::File>(decl, rawRec);
    raw->Open(rt::ReadOnly | rt::DenyNone);
    rawView = std::make_unique<rt::View>(*raw);
    vmFile = std::make_unique<rt::File>(decl, vmRec);
    errors.Init(gStatus);
    access = std::make_unique<BenchAccess>(*vmFile, errors, "Recs");
    access->Init();
    relate.Init(*access, 0);
    vm.Init(relate);
    vm.AddSortOrder(1);
  }
  ~Bench() {
    vm.Kill();
    relate.Kill();
    access->Kill();
    rawView.reset();
    raw->Close();
  }
  // What the manager does on Open, done by hand.
  void RawOpen() {
    rawView->Open(rt::ReadWrite | rt::DenyWrite);
    rawView->SetBuffering({kPage, 2, 0, 60});
    rawView->SetProperty(rt::PropViewOrder, "REC:ID");
    rawView->SetProperty(rt::PropViewFilter, "");
  }
  rt::FileDecl decl;
  Rec rawRec, vmRec;
  std::unique_ptr<rt::File> raw, vmFile;
  std::unique_ptr<rt::View> rawView;
  ErrorClass errors;
  std::unique_ptr<BenchAccess> access;
  RelationManager relate;
  ViewManager vm;
};

using Clock = std::chrono::steady_clock;
constexpr int kBatch = 20;

// Times kBatch rounds of each side per iteration, alternating, and reports pages per second.
void SideBySide(benchmark::State& state, const std::function<void()>& raw, const std::function<void()>& managed) {
  double rawSeconds = 0, vmSeconds = 0;
  std::int64_t each = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) raw();
    rawSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    start = Clock::now();
    for (int i = 0; i < kBatch; ++i) managed();
    vmSeconds += std::chrono::duration<double>(Clock::now() - start).count();
    each += kBatch;
  }
  const double rawRate = static_cast<double>(each) / rawSeconds;
  const double vmRate = static_cast<double>(each) / vmSeconds;
  state.counters["raw_pages_per_s"] = rawRate;
  state.counters["vm_pages_per_s"] = vmRate;
  state.counters["ratio"] = vmRate / rawRate;
}

void RawPage(rt::View& view) {
  for (int i = 0; i < kPage; ++i) {
    view.Next();
    benchmark::DoNotOptimize(rt::ErrorCode());
  }
}

void ManagedPage(ViewManager& vm) {
  for (int i = 0; i < kPage; ++i) benchmark::DoNotOptimize(vm.Next());
}

void OpenAndFirstPage(benchmark::State& state) {
  Bench bench;
  SideBySide(
      state,
      [&] {
        bench.RawOpen();
        bench.rawView->Set();
        RawPage(*bench.rawView);
        bench.rawView->Close();
      },
      [&] {
        bench.vm.Reset();
        ManagedPage(bench.vm);
        bench.vm.Close();
      });
  if (bench.vmRec.ID != kPage || bench.rawRec.ID != kPage) state.SkipWithError("the first page ended elsewhere");
}

// Positions on record `from` by the buffer's key value and reads the next page.
void NextPageAt(benchmark::State& state) {
  const rt::Long from = static_cast<rt::Long>(state.range(0));
  Bench bench;
  bench.RawOpen();
  bench.vm.Open();
  SideBySide(
      state,
      [&] {
        bench.rawRec.ID = from;
        bench.rawView->SetFromBuffer(1);
        RawPage(*bench.rawView);
      },
      [&] {
        bench.vmRec.ID = from;
        bench.vm.Reset(1);
        ManagedPage(bench.vm);
      });
  if (bench.vmRec.ID != from + kPage - 1 || bench.rawRec.ID != from + kPage - 1)
    state.SkipWithError("the page ended elsewhere");
}

BENCHMARK(OpenAndFirstPage)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(NextPageAt)->Arg(1)->Arg(kRecords / 2)->Arg(kRecords - kPage + 1)->Unit(benchmark::kMicrosecond)->Iterations(50);

}  // namespace

int main(int argc, char** argv) {
  rt::ThreadScope thread;  // the managers' per-thread objects live and die with this scope
  Data();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
