// The browse beside the raw SQLite query for the same rows, in one run, over a keyed file of a
// million records built once in a temporary directory: opening the browse and filling its first
// page of 20; a page down at the start, the middle and the end; the jump to the end; locating a
// value. Each benchmark times our operation and the raw statement in the same iteration and
// reports both and their ratio (ours / raw). Paging also reports the growth of the process's
// memory over a thousand pages: the browse holds the page, never the file.
// The browse runs without a window: a list control of the benchmark's own gives the page size.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "bench/bench_access.h"
#include "bench/bench_data.h"
#include "bench/bench_records.h"
#include "framework/browse/browse_class.h"
#include "framework/data/relation_manager.h"
#include "framework/error/error_class.h"
#include "framework/window/window_manager.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"
#include "runtime/data/file.h"
#include "runtime/data/key_encoding.h"
#include "runtime/data/queue.h"
#include "runtime/data/view.h"

namespace {

namespace fs = std::filesystem;
using bench_data::ResidentKilobytes;
using bench_records::Clock;
using bench_records::CpuClock;
using bench_records::Report;
using bench_records::ReportCpu;

constexpr rt::Long kRecords = 1000000;
constexpr rt::Long kPage = 20;

struct Rec {
  rt::Long ID = 0;
  rt::FixedString<20> NAME;
};
struct Row {
  rt::Long ID = 0;
  rt::FixedString<20> NAME;
  rt::FixedString<1024> POS;
};

const rt::RecordLayout& RecLayout() {
  static const rt::RecordLayout layout(sizeof(Rec), {rt::LayoutField("REC:ID", &Rec::ID), rt::LayoutField("REC:NAME", &Rec::NAME)});
  return layout;
}

rt::FileDecl RecDecl(const std::string& path) {
  return bench_data::KeyedDecl("Recs", path, RecLayout(), "REC:IDKey");
}

// The million-record file, made once per run, and a raw connection to it.
struct DataDirectory {
  DataDirectory() {
    const rt::FileDecl decl = RecDecl((path / "recs").string());
    Rec rec;
    rt::File file(decl, rec);
    bench_data::WriteRecords(file, kRecords, [&](rt::Long id) {
      rec.ID = id;
      rec.NAME = "Record " + std::to_string(id);
    });
    sqlite3_open_v2((path / "recs.db").string().c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  }
  ~DataDirectory() { sqlite3_close(raw); }
  bench_data::ScratchDirectory scratch{"quibbet_bench_browse"};
  const fs::path& path = scratch.Path();
  sqlite3* raw = nullptr;
};

DataDirectory& Data() {
  static DataDirectory data;
  return data;
}

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForBrowseBench"};

// A list of kPage rows that is always shown.
class BenchList final : public IListControl {
 public:
  rt::Long Choice() override { return choice_; }
  rt::Long GetControl() override { return 1; }
  rt::Long GetItems() override { return kPage; }
  rt::Byte GetVisible() override { return 1; }
  void SetChoice(rt::Long row) override { choice_ = row; }
  void SetControl(rt::Long) override {}

 private:
  rt::Long choice_ = 1;
};

struct Bench {
  Bench() : decl(RecDecl((Data().path / "recs").string())), rows(row), file(decl, rec) {
    errors.Init(gStatus);
    access = std::make_unique<BenchAccess>(file, errors, "Recs");
    access->Init();
    relate.Init(*access, 0);
    relate.Open();
    window.Init();
    queue.Init(rows, row.POS, 1);
  }
  ~Bench() {
    browse.Kill();
    window.Kill();
    relate.Close();
    relate.Kill();
    access->Kill();
  }
  void Open() {
    view = std::make_unique<rt::View>(file);
    browse.Init(list, *view, queue, relate, window);
    browse.AddSortOrder(nullptr, 1);
    browse.AddField(rec.ID, row.ID);
    browse.AddField(rec.NAME, row.NAME);
    browse.ResetSort(1);
  }
  // As a window closes: the browse, its view and its rows go (the rows are the procedure's own
  // queue, which the browse does not free; left there, the next open would resume at them).
  void Close() {
    browse.Kill();
    rows.Free();
    view.reset();
  }
  rt::Long FirstId() {
    queue.Fetch(1);
    return row.ID;
  }
  // Positions the page so that `id` is on its first row, as a locate would.
  void At(rt::Long id) {
    browse.CurrentChoice = 1;
    rec.ID = id;
    browse.ResetFromBuffer();
  }

  rt::FileDecl decl;
  Rec rec;
  Row row;
  rt::Queue rows;
  rt::File file;
  ErrorClass errors;
  std::unique_ptr<BenchAccess> access;
  RelationManager relate;
  WindowManager window;
  BenchList list;
  StandardBehavior queue;
  std::unique_ptr<rt::View> view;
  BrowseClass browse;
};

// ---- The raw side ----

sqlite3_stmt* Prepare(const std::string& sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(Data().raw, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
    std::fprintf(stderr, "%s\n", sqlite3_errmsg(Data().raw));
  return statement;
}

const std::string kColumns = "SELECT ID, NAME, rowid, _version, _nulls FROM Recs ";

std::string Key(rt::Long id) {
  Rec r;
  r.ID = id;
  return rt::EncodeOrder({{1, true, false}}, RecLayout(), &r);
}

// Steps through the rows as a page is read: every column taken, the texts as text (as the
// keyed benchmark's raw reads take them).
std::int64_t RawRows(sqlite3_stmt* statement) {
  std::int64_t sum = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    sum += sqlite3_column_int64(statement, 0) + sqlite3_column_int64(statement, 2) + sqlite3_column_int64(statement, 3);
    for (const int text : {1, 4}) sum += (sqlite3_column_text(statement, text) != nullptr) + sqlite3_column_bytes(statement, text);
  }
  sqlite3_reset(statement);
  return sum;
}

std::int64_t RawFrom(sqlite3_stmt* statement, rt::Long id) {
  const std::string key = Key(id);
  sqlite3_bind_blob(statement, 1, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
  return RawRows(statement);
}

// Times `ours` and `raw` `batch` times each per iteration; `prepare` runs untimed before `ours`.
// `view`, when given, reads the same rows through the runtime view alone (timed as view_us), to
// tell the browse's own share from the layers beneath it.
void SideBySide(benchmark::State& state, const std::function<void()>& prepare, const std::function<void()>& ours,
                const std::function<void()>& raw, const std::function<void()>& view = {}, int batch = 50) {
  Clock::duration oursTime{}, rawTime{}, viewTime{};
  CpuClock::duration oursCpu{}, rawCpu{};
  for (auto _ : state) {
    for (int i = 0; i < batch; ++i) {
      prepare();
      auto cpu = CpuClock::now();
      auto start = Clock::now();
      ours();
      oursTime += Clock::now() - start;
      oursCpu += CpuClock::now() - cpu;
      cpu = CpuClock::now();
      start = Clock::now();
      raw();
      rawTime += Clock::now() - start;
      rawCpu += CpuClock::now() - cpu;
      if (!view) continue;
      start = Clock::now();
      view();
      viewTime += Clock::now() - start;
    }
  }
  const double operations = static_cast<double>(state.iterations()) * batch;
  Report(state, oursTime, rawTime, operations);
  ReportCpu(state, oursCpu, rawCpu, operations);
  if (view) state.counters["view_us"] = std::chrono::duration<double, std::micro>(viewTime).count() / operations;
}

// ---- Benchmarks ----

// Opening is timed up to the filled page; the browse is closed, untimed, before the next open.
void OpenAndFirstPage(benchmark::State& state) {
  Bench bench;
  sqlite3_stmt* first = Prepare(kColumns + "ORDER BY \"_key_IDKey\" LIMIT 20");
  std::int64_t sum = 0;
  SideBySide(
      state, [&] { bench.Close(); },
      [&] {
        bench.Open();
        sum += bench.FirstId();
      },
      [&] { sum += RawRows(first); });
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(first);
}

void PageDownAt(benchmark::State& state) {
  const rt::Long from = static_cast<rt::Long>(state.range(0));
  Bench bench;
  bench.Open();
  sqlite3_stmt* next = Prepare(kColumns + "WHERE \"_key_IDKey\" > ?1 ORDER BY \"_key_IDKey\" LIMIT 20");
  std::int64_t sum = 0;
  std::string edge;  // the last row's position before the page down
  SideBySide(
      state,
      [&] {
        bench.At(from);
        bench.queue.Fetch(kPage);
        edge = bench.queue.GetViewPosition();
      },
      [&] {
        bench.browse.ScrollPage(EventPageDown);
        sum += bench.FirstId();
      },
      [&] { sum += RawFrom(next, from + kPage - 1); },
      [&] {
        bench.view->Reset(edge);
        for (int i = 0; i <= kPage; ++i) {
          bench.view->Next();
          sum += bench.rec.ID;
        }
      });
  if (from + kPage <= kRecords && bench.FirstId() != from + kPage) state.SkipWithError("the page ended elsewhere");
  // Two thousand pages on from the start: new ground fills SQLite's page cache (bounded by its
  // cache size), then a thousand pages back and forth over ground already read.
  bench.At(1);
  const long start = ResidentKilobytes();
  for (int i = 0; i < 1000; ++i) bench.browse.ScrollPage(EventPageDown);
  const long warm = ResidentKilobytes();
  for (int i = 0; i < 1000; ++i) bench.browse.ScrollPage(EventPageDown);
  state.counters["rss_growth_kb_first_1000_pages"] = static_cast<double>(warm - start);
  state.counters["rss_growth_kb_next_1000_pages"] = static_cast<double>(ResidentKilobytes() - warm);
  // Over pages already read the file's cache holds still: what grows now is the browse's own.
  const long settled = ResidentKilobytes();
  for (int i = 0; i < 1000; ++i) bench.browse.ScrollPage(i % 2 ? EventPageUp : EventPageDown);
  state.counters["rss_growth_kb_1000_pages_back_and_forth"] = static_cast<double>(ResidentKilobytes() - settled);
  state.counters["rows_held"] = static_cast<double>(bench.queue.Records());
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(next);
}

void JumpToEnd(benchmark::State& state) {
  Bench bench;
  bench.Open();
  sqlite3_stmt* last = Prepare(kColumns + "ORDER BY \"_key_IDKey\" DESC LIMIT 20");
  std::int64_t sum = 0;
  SideBySide(
      state, [&] { bench.At(kRecords / 2); },
      [&] {
        bench.browse.ScrollEnd(EventScrollBottom);
        sum += bench.FirstId();
      },
      [&] { sum += RawRows(last); });
  if (bench.FirstId() != kRecords - kPage + 1) state.SkipWithError("the end was not reached");
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(last);
}

void Locate(benchmark::State& state) {
  Bench bench;
  bench.Open();
  sqlite3_stmt* from = Prepare(kColumns + "WHERE \"_key_IDKey\" >= ?1 ORDER BY \"_key_IDKey\" LIMIT 20");
  std::int64_t sum = 0;
  rt::Long target = 1;
  SideBySide(
      state, [&] { target = static_cast<rt::Long>((std::int64_t{target} * 7919 + 13) % (kRecords - kPage)) + 1; },
      [&] {
        bench.At(target);
        sum += bench.FirstId();
      },
      [&] { sum += RawFrom(from, target); });
  if (bench.FirstId() != target) {
    state.SkipWithError(("record " + std::to_string(target) + " located, " + std::to_string(bench.FirstId()) + " on the first row").c_str());
  }
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(from);
}

BENCHMARK(OpenAndFirstPage)->Unit(benchmark::kMicrosecond)->Iterations(10);
BENCHMARK(PageDownAt)->Arg(1)->Arg(kRecords / 2)->Arg(kRecords - 2 * kPage)->ArgName("from")->Unit(benchmark::kMicrosecond)->Iterations(10);
BENCHMARK(JumpToEnd)->Unit(benchmark::kMicrosecond)->Iterations(10);
BENCHMARK(Locate)->Unit(benchmark::kMicrosecond)->Iterations(10);

}  // namespace

int main(int argc, char** argv) {
  rt::ThreadScope thread;  // the managers' per-thread objects live and die with this scope
  Data();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
