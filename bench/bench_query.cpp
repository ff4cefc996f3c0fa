// Filtering by query beside the raw SQLite query for the same rows, on a keyed file of a million
// records built once per run. Our side: a QueryClass builds the filter, a ViewManager installs it
// as "9 - QBE" and every matching record is read with Next, as a browse would fill its list.
// Raw side: one prepared SELECT with the equivalent WHERE (bound values), stepped to its end in
// key order, reading the same columns. Both run in the same iteration; the report gives both
// times, the rows each found (they must agree) and the ratio ours / raw.

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_access.h"
#include "bench/bench_data.h"
#include "bench/bench_records.h"
#include "framework/data/relation_manager.h"
#include "framework/data/view_manager.h"
#include "framework/error/error_class.h"
#include "framework/error/levels.h"
#include "framework/query/query_class.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/thread.h"
#include "runtime/data/file.h"
#include "runtime/data/view.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using bench_records::CpuClock;

constexpr rt::Long kRecords = 1000000;

struct Art {
  rt::Long ID = 0;
  rt::FixedString<30> NAME;
  rt::Long PRICE = 0;
  rt::FixedString<20> CITY;
};

const rt::RecordLayout& ArtLayout() {
  static const rt::RecordLayout layout(sizeof(Art), {rt::LayoutField("ART:ID", &Art::ID), rt::LayoutField("ART:NAME", &Art::NAME),
                                                     rt::LayoutField("ART:PRICE", &Art::PRICE),
                                                     rt::LayoutField("ART:CITY", &Art::CITY)});
  return layout;
}

const char* const kCities[] = {"Rome", "rome", "Paris", "PARIS", "Oslo", "Bergen", "Lima", "Quito"};

rt::FileDecl ArtDecl(const std::string& path) {
  return bench_data::KeyedDecl("Article", path, ArtLayout(), "ART:IDKey");
}

struct DataDirectory {
  DataDirectory() {
    const rt::FileDecl decl = ArtDecl((path / "article").string());
    Art rec;
    rt::File file(decl, rec);
    bench_data::WriteRecords(file, kRecords, [&](rt::Long id) {
      rec.ID = id;
      char name[32];
      std::snprintf(name, sizeof name, "Item %07lld", static_cast<long long>(id) * 7919 % kRecords);
      rec.NAME = name;
      rec.PRICE = static_cast<rt::Long>(static_cast<long long>(id) * 37 % 1009);
      rec.CITY = kCities[id % 8];
    });
  }
  bench_data::ScratchDirectory scratch{"quibbet_bench_query"};
  const fs::path& path = scratch.Path();
};

const DataDirectory& Data() {
  static const DataDirectory data;
  return data;
}

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForQueryBench"};

class ArticleQuery : public QueryClass {
 public:
  ArticleQuery() {
    Init("Articles", nullptr, nullptr);
    AddItem("ART:NAME", "Name", "S30");
    AddItem("ART:PRICE", "Price", "N5");
    AddItem("ART:CITY", "City", "S20");
  }
  rt::Byte Kind() const override { return QueryKind::Range; }
};

struct Case {
  const char* field;
  const char* low;
  const char* middle;
  const char* high;
  const char* where;  // the raw side's condition, values bound in order
  std::vector<std::string> values;
};

const Case kCases[] = {
    {"ART:PRICE", "100", "", "111", "PRICE > ? AND PRICE < ?", {"100", "111"}},
    {"ART:NAME", "", "Item 0004242", "", "NAME = ?", {"Item 0004242"}},
    {"ART:NAME", "", "*4242", "", "instr(NAME, ?) > 0", {"4242"}},
    {"ART:NAME", "", "Item 00012*", "", "substr(NAME, 1, 10) = ?", {"Item 00012"}},
    {"ART:CITY", "", "^rome", "", "upper(CITY) = ?", {"ROME"}},
};

struct Bench {
  Bench() : decl(ArtDecl((Data().path / "article").string())) {
    file = std::make_unique<rt::File>(decl, rec);
    errors.Init(gStatus);
    access = std::make_unique<BenchAccess>(*file, errors, "Article");
    access->Init();
    relate.Init(*access, 0);
    vm.Init(relate);
    vm.AddSortOrder(1);
    vm.PageSize = 64;
    sqlite3_open_v2((decl.name + ".db").c_str(), &raw, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
  }
  ~Bench() {
    vm.Kill();
    relate.Kill();
    access->Kill();
    sqlite3_close(raw);
  }
  rt::FileDecl decl;
  Art rec;
  std::unique_ptr<rt::File> file;
  ErrorClass errors;
  std::unique_ptr<BenchAccess> access;
  RelationManager relate;
  ViewManager vm;
  sqlite3* raw = nullptr;
};

void FilterByQuery(benchmark::State& state) {
  const Case& c = kCases[state.range(0)];
  Bench b;
  ArticleQuery query;
  query.SetValues(c.field, c.middle, c.low, c.high);
  const std::string sql = std::string("SELECT ID, NAME, PRICE, CITY FROM Article WHERE ") + c.where + " ORDER BY \"_key_IDKey\"";
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(b.raw, sql.c_str(), -1, &stmt, nullptr) != SQLITE_OK) {
    state.SkipWithError(sqlite3_errmsg(b.raw));
    return;
  }
  Clock::duration ours{}, rawTime{};
  CpuClock::duration oursCpu{}, rawCpu{};
  std::int64_t rows = 0, rawRows = 0;
  for (auto _ : state) {
    auto cpu = CpuClock::now();
    auto start = Clock::now();
    b.vm.SetFilter(query.GetFilter(), kQueryFilterId);
    b.vm.Open();
    b.vm.ApplyFilter();
    b.vm.Reset();
    while (b.vm.Next() == Level::Ok) {
      benchmark::DoNotOptimize(b.rec.ID);
      ++rows;
    }
    ours += Clock::now() - start;
    oursCpu += CpuClock::now() - cpu;

    cpu = CpuClock::now();
    start = Clock::now();
    sqlite3_reset(stmt);
    for (std::size_t i = 0; i < c.values.size(); ++i)
      sqlite3_bind_text(stmt, static_cast<int>(i + 1), c.values[i].c_str(), -1, SQLITE_TRANSIENT);
    while (sqlite3_step(stmt) == SQLITE_ROW) {
      benchmark::DoNotOptimize(sqlite3_column_int(stmt, 0));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 1));
      benchmark::DoNotOptimize(sqlite3_column_int(stmt, 2));
      benchmark::DoNotOptimize(sqlite3_column_text(stmt, 3));
      ++rawRows;
    }
    rawTime += Clock::now() - start;
    rawCpu += CpuClock::now() - cpu;
  }
  sqlite3_finalize(stmt);
  const double n = static_cast<double>(state.iterations());
  const double o = std::chrono::duration<double, std::milli>(ours).count() / n;
  const double r = std::chrono::duration<double, std::milli>(rawTime).count() / n;
  state.counters["ours_ms"] = o;
  state.counters["raw_ms"] = r;
  state.counters["ratio"] = r > 0 ? o / r : 0;
  const double oc = std::chrono::duration<double, std::milli>(oursCpu).count() / n;
  const double rc = std::chrono::duration<double, std::milli>(rawCpu).count() / n;
  state.counters["ours_cpu_ms"] = oc;
  state.counters["raw_cpu_ms"] = rc;
  state.counters["cpu_ratio"] = rc > 0 ? oc / rc : 0;
  state.counters["rows"] = static_cast<double>(rows) / n;
  state.counters["raw_rows"] = static_cast<double>(rawRows) / n;
  state.SetLabel(query.GetFilter());
}

}  // namespace

BENCHMARK(FilterByQuery)->DenseRange(0, 4)->ArgName("case")->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
