// Fault injection under the file layer: a VFS shim under SQLite (fault_vfs.h) fails the Nth
// write, sync, truncate or lock with SQLITE_IOERR or SQLITE_FULL, and the text-line driver writes
// under a size cap. Each operation of the table runs for N = 1, 2, ... until it succeeds, and a
// fresh opener must see the old state with an error reported or the new state with success
// reported, a whole file and no hold left behind.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstdio>
#include <fstream>
#include <string>

#include <sys/resource.h>

#include <csignal>
#include <functional>
#include <vector>

#include "runtime/core/fixed_string.h"
#include "runtime/data/text_line_file.h"
#include "tests/runtime/data/child_process.h"
#include "tests/runtime/data/fault_vfs.h"
#include "tests/runtime/data/keyed_fixture.h"
#include "tests/support/param_names.h"

namespace {

using namespace test_afile;

// ---- Under SQLite: the Nth write, sync, truncate or lock fails ----

// Two KEYED files of three records each ("1:r1,2:r2,3:r3,"), or a log of one line.
struct Place {
  explicit Place(const TempDir& temp)
      : a(KeyedAFile((temp / "AFILE").string())), b(KeyedAFile((temp / "BFILE").string())), log((temp / "LOG.TXT").string()) {}
  rt::FileDecl a, b;
  std::string log;
};

struct Outcome {
  bool success = false;
  std::string error;
};

Outcome Reported() { return {rt::ErrorCode() == 0, rt::ErrorCode() == 0 ? "" : rt::Error() + " " + rt::FileError()}; }

// What a fresh opener sees of a file: its records by the ID key and by the string key (a key
// half built shows there), a hold left behind, or why it cannot open it.
std::string Seen(const rt::FileDecl& decl) {
  sqlite3* db = nullptr;
  std::string integrity;
  if (sqlite3_open_v2((decl.name + ".db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
    while (statement && sqlite3_step(statement) == SQLITE_ROW) integrity += reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
    sqlite3_finalize(statement);
  }
  sqlite3_close(db);
  if (integrity != "ok") return "integrity: " + integrity;
  AFI_Record record;
  rt::File file(decl, record);
  file.Open();
  if (rt::ErrorCode() != 0) return "open: " + rt::Error();
  std::string seen;
  for (const std::size_t key : {IDKey, StrKey}) {
    file.SetKey(key);
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) seen += std::to_string(record.ID) + ":" + record.ASTRING.Str() + ",";
    if (rt::ErrorCode() != rt::NoRecErr) seen += "read: " + rt::Error();
    seen += "|";
  }
  file.Hold();
  file.GetByPointer(1);
  if (rt::ErrorCode() == rt::IsHeldErr) seen += " a hold was left behind";
  return seen;
}

void Prepare(const rt::FileDecl& decl) {
  AFI_Record record;
  rt::File file(decl, record);
  file.Create();
  file.Open();
  for (rt::Long id = 1; id <= 3; ++id) {
    Fill(record, id, ("r" + std::to_string(id)).c_str());
    file.Add();
  }
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
}

// Opens the file and runs `steps` on it; the first error ends them.
Outcome OnFile(const rt::FileDecl& decl, const std::function<void(rt::File&, AFI_Record&)>& steps) {
  AFI_Record record;
  rt::File file(decl, record);
  file.Open();
  if (rt::ErrorCode() != 0) return Reported();
  steps(file, record);
  return Reported();
}

// Record 2 with a new text, put after `how` (watch or hold).
void ChangeRecord(rt::File& file, AFI_Record& record, void (rt::File::*how)()) {
  (file.*how)();
  file.GetByPointer(2);
  if (rt::ErrorCode() != 0) return;
  record.ASTRING = "changed";
  file.Put();
}

struct FaultCase {
  const char* reason;
  bool underSqlite;                                   // else: the log under a size cap
  bool twoFiles;                                      // BFILE made too
  std::function<Outcome(const Place&, int)> run;      // with the Nth fault (0: none)
  std::function<std::vector<std::string>(const Place&)> seen;
};

std::vector<std::string> SeenBoth(const Place& place) { return {Seen(place.a), Seen(place.b)}; }

FaultCase Keyed(const char* reason, std::function<Outcome(const Place&)> operation) {
  return {reason, true, false, [operation](const Place& place, int) { return operation(place); }, SeenBoth};
}

// Under a size cap the Nth byte is the first refused; the writer is a child process, so the
// cap (and SIGXFSZ ignored) stays there.
Outcome AppendUnderCap(const Place& place, int failAt) {
  const off_t size = static_cast<off_t>(ReadFile(place.log).size());
  test_processes::Child child([&](int, int) {
    std::signal(SIGXFSZ, SIG_IGN);
    if (failAt > 0) {
      const rlimit limit{static_cast<rlim_t>(size + failAt - 1), static_cast<rlim_t>(size + failAt - 1)};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    rt::FixedString<20> record;
    rt::TextLineFile log([&] { return place.log; }, {record.Data(), record.Size()});
    log.Open(rt::ReadWrite | rt::DenyNone);
    record = "a log entry";
    if (rt::ErrorCode() == 0) log.Add();
    return rt::ErrorCode() == 0 ? 0 : rt::Error().empty() ? 2 : 1;
  });
  const int code = child.Wait();
  return {code == 0, code == 1 ? "reported" : ""};
}

class SqliteFaults : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SqliteFaults, AFreshOpenerSeesTheOldStateWithAnErrorOrTheNewWithSuccess) {
  test_vfs::Install();
  const FaultCase& c = GetParam();
  std::vector<std::string> before, after;
  const auto prepare = [&](const Place& place) {
    Prepare(place.a);
    if (c.twoFiles) Prepare(place.b);
    std::ofstream(place.log, std::ios::binary) << "before\r\n";
  };
  {
    TempDir temp;
    const Place place(temp);
    prepare(place);
    before = c.seen(place);
    ASSERT_TRUE(c.run(place, 0).success);
    after = c.seen(place);
  }
  int points = 0, partly = 0;
  for (const int code : c.underSqlite ? std::vector<int>{SQLITE_IOERR, SQLITE_FULL} : std::vector<int>{0}) {
    for (int failAt = 1;; ++failAt) {
      ASSERT_LT(failAt, 400) << "the operation never got past its faults";
      SCOPED_TRACE(testing::Message() << c.reason << ", code " << code << ", fault " << failAt);
      TempDir temp;
      const Place place(temp);
      prepare(place);
      test_vfs::Arm(c.underSqlite ? failAt : 0, code);
      const Outcome outcome = c.run(place, failAt);
      test_vfs::Disarm();
      const bool reached = c.underSqlite ? test_vfs::Failed() : !outcome.success;
      const std::vector<std::string> seen = c.seen(place);
      ++points;
      if (outcome.success) {
        EXPECT_EQ(seen, after) << "success was reported";
      } else if (outcome.error.find("Partly Committed") != std::string::npos) {
        ++partly;
        for (std::size_t f = 0; f < seen.size(); ++f) EXPECT_TRUE(seen[f] == before[f] || seen[f] == after[f]) << seen[f];
      } else {
        EXPECT_FALSE(outcome.error.empty()) << "a failure without its text";
        EXPECT_EQ(seen, before) << "an error was reported: " << outcome.error;
      }
      if (!reached) {
        EXPECT_TRUE(outcome.success) << "no fault, yet " << outcome.error;
        break;
      }
    }
  }
  std::printf("[ faults   ] %s: %d failure points, %d partly committed\n", c.reason, points, partly);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, SqliteFaults,
    ::testing::Values(
        Keyed("add", [](const Place& p) {
          return OnFile(p.a, [](rt::File& f, AFI_Record& r) { Fill(r, 4, "r4"); f.Add(); });
        }),
        Keyed("watched put", [](const Place& p) {
          return OnFile(p.a, [](rt::File& f, AFI_Record& r) { ChangeRecord(f, r, &rt::File::Watch); });
        }),
        Keyed("held put", [](const Place& p) {
          return OnFile(p.a, [](rt::File& f, AFI_Record& r) { ChangeRecord(f, r, &rt::File::Hold); });
        }),
        Keyed("delete", [](const Place& p) {
          return OnFile(p.a, [](rt::File& f, AFI_Record&) {
            f.GetByPointer(3);
            if (rt::ErrorCode() == 0) f.Delete();
          });
        }),
        Keyed("create over an existing file", [](const Place& p) {
          AFI_Record r;
          rt::File file(p.a, r);
          file.Create();
          return Reported();
        }),
        Keyed("build", [](const Place& p) {
          AFI_Record r;
          rt::File file(p.a, r);
          file.Build();
          return Reported();
        }),
        FaultCase{"a frame across two files", true, true, [](const Place& p, int) {
          AFI_Record ra, rb;
          rt::File a(p.a, ra), b(p.b, rb);
          a.Open();
          if (rt::ErrorCode() == 0) b.Open();
          if (rt::ErrorCode() != 0) return Reported();
          rt::File* both[] = {&a, &b};
          rt::Logout(1, both);
          if (rt::ErrorCode() != 0) return Reported();
          Fill(ra, 4, "r4");
          a.Add();
          if (rt::ErrorCode() == 0) {
            Fill(rb, 4, "r4");
            b.Add();
          }
          if (rt::ErrorCode() != 0) {
            rt::Rollback();
            return Outcome{false, "the frame's add failed"};
          }
          rt::Commit();
          return Reported();
        }, SeenBoth},
        FaultCase{"the log append under a size cap", false, false, AppendUnderCap,
                  [](const Place& p) { return std::vector<std::string>{ReadFile(p.log)}; }}),
    ByReason());

}  // namespace
