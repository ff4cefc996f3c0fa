// The KEYED driver against the raw SQLite statements beneath it, on a file of a million
// records built once in a temporary directory. Each benchmark times our operation and the raw
// statement in the same iteration and reports both and their ratio (ours / raw):
// insert (single and framed), get by key, set + 20 × next at the start, middle and end of a
// key order, and a filtered view scan (with the growth of the process's memory during it).

#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/data/file.h"
#include "runtime/data/key_encoding.h"
#include "runtime/data/bind.h"
#include "runtime/data/expression_filter.h"
#include "runtime/data/view.h"
#include "bench/bench_records.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

using bench_records::Layout;
using bench_records::Record;
using bench_records::Report;

constexpr rt::Long kRecords = 1000000;

std::string Name(rt::Long id) { return "name" + std::to_string(id % 100); }

// The million-record file, made once per run.
struct Fixture {
  fs::path dir;
  rt::FileDecl decl;
  Record record;
  std::unique_ptr<rt::File> file;
  sqlite3* raw = nullptr;

  Fixture() {
    dir = fs::temp_directory_path() / ("bench_keyed_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    decl.label = "Bench";
    decl.driver = "KEYED";
    decl.name = (dir / "BENCH").string();
    decl.layout = &Layout();
    decl.keys = {{"BEN:IDKey", {{1, true}}, true, false, false, true}, {"BEN:NameKey", {{2, true}, {1, true}}, false, true}};
    file = std::make_unique<rt::File>(decl, record);
    file->Create();
    file->Open();
    rt::File* files[] = {file.get()};
    for (rt::Long id = 1; id <= kRecords; ++id) {
      if (id % 20000 == 1) rt::Logout(10, files);
      Fill(id);
      file->Add();
      if (id % 20000 == 0 || id == kRecords) rt::Commit();
    }
    sqlite3_open_v2((decl.name + ".db").c_str(), &raw, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    sqlite3_exec(raw, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
    sqlite3_busy_timeout(raw, 10000);
  }
  ~Fixture() {
    sqlite3_close(raw);
    file.reset();
    fs::remove_all(dir);
  }
  void Fill(rt::Long id) {
    record.ID = id;
    record.NAME = Name(id);
    (void)record.AMOUNT.Store(rt::Decimal::FromLong(id % 1000));
    record.DAY = 70000 + id % 365;
  }
  std::string Key(rt::Long id) {  // the IDKey blob of an ID, as the raw side binds it
    Record r;
    r.ID = id;
    return rt::EncodeOrder({{1, true, false}}, Layout(), &r);
  }
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

sqlite3_stmt* Prepare(const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(Data().raw, sql, -1, &statement, nullptr) != SQLITE_OK) std::fprintf(stderr, "%s\n", sqlite3_errmsg(Data().raw));
  return statement;
}

const char kRawColumns[] = "ID, NAME, AMOUNT, DAY, rowid, _version, _nulls";

// What the raw side does with a row: take every column's value, as a record needs them.
std::int64_t ReadColumns(sqlite3_stmt* row) {
  std::int64_t sum = sqlite3_column_int64(row, 0) + sqlite3_column_int64(row, 4) + sqlite3_column_int64(row, 5);
  for (int column : {1, 2, 3, 6}) sum += sqlite3_column_bytes(row, column) + (sqlite3_column_text(row, column) != nullptr);
  return sum;
}

// ---- Insert ----

void RawInsert(sqlite3_stmt* insert, rt::Long id) {
  Fixture& d = Data();
  d.Fill(id);
  const std::string name = Name(id), amount = std::to_string(id % 1000) + ".00", day = "1992-08-31";
  const std::string key = d.Key(id);
  const std::string nameKey = rt::EncodeOrder(rt::OrderOf(d.decl.keys[1]), Layout(), &d.record);
  sqlite3_bind_int64(insert, 1, id);
  sqlite3_bind_text(insert, 2, name.data(), static_cast<int>(name.size()), SQLITE_STATIC);
  sqlite3_bind_text(insert, 3, amount.data(), static_cast<int>(amount.size()), SQLITE_STATIC);
  sqlite3_bind_text(insert, 4, day.data(), static_cast<int>(day.size()), SQLITE_STATIC);
  sqlite3_bind_blob(insert, 5, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
  sqlite3_bind_blob(insert, 6, nameKey.data(), static_cast<int>(nameKey.size()), SQLITE_STATIC);
  sqlite3_step(insert);
  sqlite3_reset(insert);
}

void Insert(benchmark::State& state) {
  Fixture& d = Data();
  const bool framed = state.range(0) != 0;
  constexpr int kBatch = 100;
  static rt::Long next = 2 * kRecords;
  sqlite3_stmt* insert = Prepare(
      "INSERT INTO Bench(ID, NAME, AMOUNT, DAY, \"_key_IDKey\", \"_key_NameKey\") VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
  Clock::duration ours{}, raw{};
  rt::File* files[] = {d.file.get()};
  for (auto _ : state) {
    auto start = Clock::now();
    if (framed) rt::Logout(10, files);
    for (int i = 0; i < kBatch; ++i) {
      d.Fill(++next);
      d.file->Add();
    }
    if (framed) rt::Commit();
    ours += Clock::now() - start;
    start = Clock::now();
    if (framed) sqlite3_exec(d.raw, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr);
    for (int i = 0; i < kBatch; ++i) RawInsert(insert, ++next);
    if (framed) sqlite3_exec(d.raw, "COMMIT", nullptr, nullptr, nullptr);
    raw += Clock::now() - start;
  }
  sqlite3_finalize(insert);
  Report(state, ours, raw, static_cast<double>(state.iterations()) * kBatch);
}

// ---- Get by key ----

void GetByKey(benchmark::State& state) {
  Fixture& d = Data();
  std::mt19937 random(7);
  sqlite3_stmt* get = Prepare((std::string("SELECT ") + kRawColumns + " FROM Bench WHERE \"_key_IDKey\" = ?1").c_str());
  constexpr int kBatch = 1000;
  Clock::duration ours{}, raw{};
  std::int64_t sum = 0;
  for (auto _ : state) {
    std::vector<rt::Long> ids(kBatch);
    for (rt::Long& id : ids) id = 1 + static_cast<rt::Long>(random() % kRecords);
    auto start = Clock::now();
    for (const rt::Long id : ids) {
      d.record.ID = id;
      d.file->Get(1);
      sum += d.record.ID;
    }
    ours += Clock::now() - start;
    start = Clock::now();
    for (const rt::Long id : ids) {
      const std::string key = d.Key(id);
      sqlite3_bind_blob(get, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
      if (sqlite3_step(get) == SQLITE_ROW) sum += ReadColumns(get);
      sqlite3_reset(get);
    }
    raw += Clock::now() - start;
  }
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(get);
  Report(state, ours, raw, static_cast<double>(state.iterations()) * kBatch);
}

// ---- Set + 20 x next ----

void SetAndNext20(benchmark::State& state) {
  Fixture& d = Data();
  const rt::Long from = static_cast<rt::Long>(state.range(0));
  sqlite3_stmt* scan = Prepare((std::string("SELECT ") + kRawColumns +
                                " FROM Bench WHERE \"_key_IDKey\" >= ?1 ORDER BY \"_key_IDKey\" LIMIT 21")
                                   .c_str());
  constexpr int kBatch = 200;
  Clock::duration ours{}, raw{};
  std::int64_t sum = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (int b = 0; b < kBatch; ++b) {
      d.record.ID = from;
      d.file->SetKeyValue(1);
      for (int i = 0; i < 21 && rt::ErrorCode() == 0; ++i) {
        d.file->Next();
        sum += d.record.ID;
      }
    }
    ours += Clock::now() - start;
    start = Clock::now();
    for (int b = 0; b < kBatch; ++b) {
      const std::string key = d.Key(from);
      sqlite3_bind_blob(scan, 1, key.data(), static_cast<int>(key.size()), SQLITE_STATIC);
      while (sqlite3_step(scan) == SQLITE_ROW) sum += ReadColumns(scan);
      sqlite3_reset(scan);
    }
    raw += Clock::now() - start;
  }
  benchmark::DoNotOptimize(sum);
  sqlite3_finalize(scan);
  Report(state, ours, raw, static_cast<double>(state.iterations()) * kBatch);
}

// ---- Filtered view scan ----

long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

void FilteredViewScan(benchmark::State& state) {
  Fixture& d = Data();
  // The runtime's own filter language over the record's bound fields, as programs use it.
  rt::BindScopes scopes;
  scopes.Bind("BEN:NAME", rt::FieldRef(d.record.NAME));
  rt::View view(*d.file, rt::ExpressionFilterParser(scopes));
  view.SetProperty(rt::PropViewOrder, "BEN:ID");
  view.SetProperty(rt::PropViewFilter, "BEN:NAME = 'name42'");
  view.SetBuffering({100, 2, 0, 60});
  view.Open();
  sqlite3_stmt* scan = Prepare((std::string("SELECT ") + kRawColumns + " FROM Bench WHERE NAME = ?1 ORDER BY \"_key_IDKey\"").c_str());
  Clock::duration ours{}, raw{};
  std::int64_t rows = 0, rawRows = 0;
  long growth = 0;
  for (auto _ : state) {
    const long before = ResidentKilobytes();
    auto start = Clock::now();
    view.Set();
    for (view.Next(); rt::ErrorCode() == 0; view.Next()) ++rows;
    ours += Clock::now() - start;
    growth = std::max(growth, ResidentKilobytes() - before);
    start = Clock::now();
    sqlite3_bind_text(scan, 1, "name42", -1, SQLITE_STATIC);
    while (sqlite3_step(scan) == SQLITE_ROW) rawRows += ReadColumns(scan) >= 0;
    sqlite3_reset(scan);
    raw += Clock::now() - start;
  }
  sqlite3_finalize(scan);
  Report(state, ours, raw, static_cast<double>(state.iterations()));
  state.counters["rows"] = static_cast<double>(rows) / static_cast<double>(state.iterations());
  state.counters["raw_rows"] = static_cast<double>(rawRows) / static_cast<double>(state.iterations());
  state.counters["rss_growth_kb"] = static_cast<double>(growth);
}

}  // namespace

BENCHMARK(Insert)->Arg(0)->Arg(1)->ArgName("framed")->Unit(benchmark::kMicrosecond);
BENCHMARK(GetByKey)->Unit(benchmark::kMicrosecond);
BENCHMARK(SetAndNext20)->Arg(1)->Arg(kRecords / 2)->Arg(kRecords - 10)->ArgName("from")->Unit(benchmark::kMicrosecond);
BENCHMARK(FilteredViewScan)->Unit(benchmark::kMillisecond)->Iterations(3);

BENCHMARK_MAIN();
