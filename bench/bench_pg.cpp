// The POSTGRES driver against raw libpq statements on the same server, on a table of a million
// records loaded once per run into a server that the benchmark starts itself (as the tests do).
// Each benchmark times our operation and the raw statements in the same iteration and reports
// both and their ratio (ours / raw): insert, get by key, and a page of 20 by key at the start,
// middle and end of the key's order.

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/data/file.h"
#include "runtime/data/key_encoding.h"
#include "runtime/data/pg_driver.h"
#include "bench/bench_records.h"
#include "tests/runtime/data/pg_server.h"

namespace {

using Clock = std::chrono::steady_clock;

using bench_records::Layout;
using bench_records::Record;
using bench_records::Report;

constexpr rt::Long kRecords = 1000000;
constexpr char kColumns[] = "id, name, amount, (day - DATE '1800-12-28'), _record, _version, _nulls";

struct Fixture {
  rt::FileDecl decl;
  Record record;
  std::unique_ptr<rt::File> file;
  PGconn* raw = nullptr;

  Fixture() {
    test_pg::Server* server = test_pg::Server::Shared();
    if (!server) {
      std::fprintf(stderr, "no server: %s\n", test_pg::Server::SkipReason().c_str());
      std::exit(1);
    }
    decl.label = "Bench";
    decl.driver = rt::kServerDriver;
    decl.name = server->FreshSchema();
    decl.layout = &Layout();
    decl.keys = {{"BEN:IDKey", {{1, true}}, true, false, false, true}, {"BEN:NameKey", {{2, true}, {1, true}}, false, true}};
    file = std::make_unique<rt::File>(decl, record);
    file->Create();
    raw = PQconnectdb(decl.name.c_str());
    // The million records in one statement; the keys are the encoding key_encoding.cpp makes
    // (a Long: big-endian with the sign bit flipped; a name: upper case, blank padded).
    Exec("INSERT INTO bench (id, name, amount, day, _version, _key_idkey, _key_namekey) "
         "SELECT i, 'name' || (i % 100), i % 1000, DATE '1800-12-28' + 70000 + i % 365, 1, "
         "int8send(i::int8 # x'8000000000000000'::int8), "
         "convert_to(rpad(upper('name' || (i % 100)), 20), 'UTF8') || int8send(i::int8 # x'8000000000000000'::int8) "
         "FROM generate_series(1, " + std::to_string(kRecords) + ") AS i");
    Exec("VACUUM ANALYZE bench");
    file->Open();
    if (rt::ErrorCode() != 0) std::fprintf(stderr, "open: %s %s\n", rt::Error().c_str(), rt::FileError().c_str());
  }
  ~Fixture() {
    PQfinish(raw);
    file.reset();
  }
  void Exec(const std::string& sql) {
    PGresult* result = PQexec(raw, sql.c_str());
    if (PQresultStatus(result) != PGRES_COMMAND_OK && PQresultStatus(result) != PGRES_TUPLES_OK)
      std::fprintf(stderr, "%s\n", PQerrorMessage(raw));
    PQclear(result);
  }
  void Fill(rt::Long id) {
    record.ID = id;
    record.NAME = "name" + std::to_string(id % 100);
    (void)record.AMOUNT.Store(rt::Decimal::FromLong(id % 1000));
    record.DAY = 70000 + id % 365;
  }
  std::string Key(rt::Long id) {
    Record r;
    r.ID = id;
    return rt::EncodeOrder({{1, true, false}}, Layout(), &r);
  }
  void Prepare(const char* name, const std::string& sql) {
    PGresult* result = PQprepare(raw, name, sql.c_str(), 0, nullptr);
    if (PQresultStatus(result) != PGRES_COMMAND_OK) std::fprintf(stderr, "%s\n", PQerrorMessage(raw));
    PQclear(result);
  }
};

Fixture& Data() {
  static Fixture fixture;
  return fixture;
}

// What the raw side does with a result: take every value, as a record needs them.
std::int64_t ReadColumns(PGresult* result) {
  std::int64_t sum = 0;
  for (int r = 0; r < PQntuples(result); ++r)
    for (int c = 0; c < PQnfields(result); ++c) sum += PQgetlength(result, r, c) + std::atoll(PQgetvalue(result, r, c));
  PQclear(result);
  return sum;
}

// ---- Insert ----

void Insert(benchmark::State& state) {
  Fixture& d = Data();
  constexpr int kBatch = 100;
  static rt::Long next = 2 * kRecords;
  static bool prepared = false;
  if (!prepared) {
    d.Prepare("insert", "INSERT INTO bench (id, name, amount, day, _nulls, _key_idkey, _key_namekey, _version) VALUES "
                        "($1::integer, $2::text, $3::numeric, DATE '1800-12-28' + NULLIF($4::integer, 0), $5::text, $6::bytea, "
                        "$7::bytea, 1) RETURNING _record");
    prepared = true;
  }
  Clock::duration ours{}, raw{};
  std::int64_t sum = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      d.Fill(++next);
      d.file->Add();
    }
    ours += Clock::now() - start;
    start = Clock::now();
    for (int i = 0; i < kBatch; ++i) {
      d.Fill(++next);
      const std::string id = std::to_string(next), name = d.record.NAME.Str(), amount = std::to_string(next % 1000) + ".00",
                        day = std::to_string(d.record.DAY), key = d.Key(next),
                        nameKey = rt::EncodeOrder(rt::OrderOf(d.decl.keys[1]), Layout(), &d.record);
      const char* values[] = {id.c_str(), name.c_str(), amount.c_str(), day.c_str(), nullptr, key.data(), nameKey.data()};
      const int lengths[] = {0, 0, 0, 0, 0, static_cast<int>(key.size()), static_cast<int>(nameKey.size())};
      const int formats[] = {0, 0, 0, 0, 0, 1, 1};
      sum += ReadColumns(PQexecPrepared(d.raw, "insert", 7, values, lengths, formats, 0));
    }
    raw += Clock::now() - start;
  }
  benchmark::DoNotOptimize(sum);
  Report(state, ours, raw, static_cast<double>(state.iterations()) * kBatch);
}

// ---- Get by key ----

void GetByKey(benchmark::State& state) {
  Fixture& d = Data();
  static bool prepared = false;
  if (!prepared) {
    d.Prepare("get", std::string("SELECT ") + kColumns + " FROM bench WHERE _key_idkey = $1::bytea ORDER BY _record LIMIT 1");
    prepared = true;
  }
  std::mt19937 random(7);
  constexpr int kBatch = 200;
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
    for (rt::Long& id : ids) id = 1 + static_cast<rt::Long>(random() % kRecords);  // as cold as ours
    for (const rt::Long id : ids) {
      const std::string key = d.Key(id);
      const char* values[] = {key.data()};
      const int lengths[] = {static_cast<int>(key.size())};
      const int formats[] = {1};
      sum += ReadColumns(PQexecPrepared(d.raw, "get", 1, values, lengths, formats, 0));
    }
    raw += Clock::now() - start;
  }
  benchmark::DoNotOptimize(sum);
  Report(state, ours, raw, static_cast<double>(state.iterations()) * kBatch);
}

// ---- A page of 20 by key ----

void PageOf20(benchmark::State& state) {
  Fixture& d = Data();
  static bool prepared = false;
  if (!prepared) {
    d.Prepare("page", std::string("SELECT ") + kColumns + ", _key_idkey FROM bench WHERE (_key_idkey, _record) > ($1::bytea, $2::int8) "
                                                          "ORDER BY _key_idkey, _record LIMIT 20");
    prepared = true;
  }
  const rt::Long at = static_cast<rt::Long>(state.range(0)) * (kRecords - 20) / 2 + 1;  // start, middle, end
  d.file->SetProperty(rt::PropMRP, "20");
  Clock::duration ours{}, raw{};
  std::int64_t sum = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    d.record.ID = at;
    d.file->SetKeyValue(1);
    for (int i = 0; i < 20; ++i) {
      d.file->Next();
      sum += d.record.ID;
    }
    ours += Clock::now() - start;
    start = Clock::now();
    const std::string key = d.Key(at), pointer = "-9223372036854775808";
    const char* values[] = {key.data(), pointer.c_str()};
    const int lengths[] = {static_cast<int>(key.size()), 0};
    const int formats[] = {1, 0};
    sum += ReadColumns(PQexecPrepared(d.raw, "page", 2, values, lengths, formats, 0));
    raw += Clock::now() - start;
  }
  if (d.record.ID != at + 19) state.SkipWithError("the page did not end where it should");
  benchmark::DoNotOptimize(sum);
  Report(state, ours, raw, static_cast<double>(state.iterations()));
}

BENCHMARK(Insert)->Iterations(50)->Unit(benchmark::kMicrosecond);
BENCHMARK(GetByKey)->Iterations(25)->Unit(benchmark::kMicrosecond);
BENCHMARK(PageOf20)->DenseRange(0, 2)->Iterations(2000)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
