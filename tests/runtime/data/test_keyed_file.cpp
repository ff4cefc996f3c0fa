// The KEYED driver's own behaviour: clearing key components, watch (89, 33) and hold (43)
// between instances of one process, holds judged by their holder's lock, share modes, files that
// are not data files (36), positions, decimals, and a file that the stock sqlite3 library reads
// without any of our code. What it shares with the server driver (keys, duplicates, keys to
// build, layouts, nulls and memos, frames) is in test_driver_files.cpp; holds and watches between
// processes are in process_scenarios.h.

#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/core/date_time.h"
#include "runtime/data/view.h"
#include "tests/runtime/data/child_process.h"
#include "tests/runtime/data/driver_files.h"
#include "tests/runtime/data/fault_vfs.h"
#include "tests/runtime/data/keyed_fixture.h"
#include "tests/support/param_names.h"

namespace {

using driver_files::DriverFiles;
using namespace test_afile;

class KeyedFile : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = std::make_unique<rt::File>(decl_, record_);
    file_->Create();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
    file_->Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
  }

  // With QUIBBET_FUZZ_SEEDS naming a folder, each test leaves its file there: the seeds of
  // fuzz/fuzz_keyed_file.cpp are real files.
  void TearDown() override {
    const char* seeds = std::getenv("QUIBBET_FUZZ_SEEDS");
    if (!seeds || !file_) return;
    file_->Close();  // the last close folds the log into the file
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::copy_file(path_ + ".db", std::filesystem::path(seeds) / (name + ".db"),
                               std::filesystem::copy_options::overwrite_existing);
  }

  void Add(rt::Long id, const char* text, const char* decimal = "0", rt::Long date = 0) {
    Fill(record_, id, text, decimal, date);
    file_->Add();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
  }

  // SQL on the file through the stock library alone: each row's values, "|" after each, a line a row.
  std::string Sql(const std::string& sql) {
    sqlite3* db = nullptr;
    sqlite3_open((path_ + ".db").c_str(), &db);
    std::string rows;
    auto keep = [](void* out, int columns, char** values, char**) {
      for (int i = 0; i < columns; ++i) *static_cast<std::string*>(out) += (values[i] ? values[i] : "NULL") + std::string("|");
      *static_cast<std::string*>(out) += "\n";
      return 0;
    };
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), keep, &rows, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
    return rows;
  }

  TempDir temp_;
  std::string path_ = (temp_ / "AFILE").string();
  rt::FileDecl decl_ = KeyedAFile(path_);
  AFI_Record record_;
  std::unique_ptr<rt::File> file_;
};

// ---- Keys ----

TEST_F(KeyedFile, ClearKeySetsComponentsToTheEndThatComesFirstOrLast) {
  Fill(record_, 5, "keep");
  file_->ClearKey(StrKey, 2, 22, true);  // ID is descending: its last end is its lowest value
  EXPECT_EQ(record_.ID, INT32_MIN);
  EXPECT_EQ(record_.ASTRING.Str(), "keep");
  file_->ClearKey(StrKey, 1, 2, false);
  EXPECT_EQ(record_.ID, INT32_MAX);
  EXPECT_EQ(std::string(record_.ASTRING.Data(), 20), std::string(20, '\0'));
  file_->ClearRecord();
  EXPECT_EQ(record_.ID, 0);
}

// ---- Put, watch and hold between two instances (two threads' files) ----

TEST_F(KeyedFile, AWatchedPutIs89AfterAChangeAnd33AfterADeleteAndAMalformedPositionIs33) {
  AFI_Record other;
  rt::File second(decl_, other);
  Add(1, "first");
  second.Open();
  file_->Watch();
  file_->GetByPointer(1);
  second.GetByPointer(1);
  other.ASTRING = "theirs";
  second.Put();
  ASSERT_EQ(rt::ErrorCode(), 0);
  record_.ASTRING = "mine";
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), rt::RecordChangedErr);
  file_->Watch();
  EXPECT_EQ(file_->Position(4), file_->Position()) << "a key the file lacks gives the record's own position";
  file_->Reget(file_->Position(IDKey));
  EXPECT_EQ(record_.ASTRING.Str(), "theirs");
  record_.ASTRING = "mine";
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), 0) << "after re-reading, the put goes through";

  // A deleted record has no newer version to re-read: its watched put is "no record", not 89.
  file_->Watch();
  file_->GetByPointer(1);
  second.Delete();
  ASSERT_EQ(rt::ErrorCode(), 0);
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);

  // A position comes from the caller: one that is malformed names no record (33), never more.
  Add(1, "again");
  const std::string good = file_->Position();
  for (const char* position : {"F:", "F:x", "F:1x", "F:99999999999999999999999", "K1", "K1:", "K1:zz", "K9:00:1", "Q:1", ""}) {
    file_->Reget(position);
    EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "'" << position << "'";
  }
  file_->Reget(good);
  EXPECT_EQ(rt::ErrorCode(), 0);
}

// A hold is 43 for another instance and lives as long as its holder's lock, whatever its row
// says: a row whose holder is gone while its pid lives on (reused, or another PID namespace)
// counts for nothing, and a live hold whose row names a pid that is gone still counts.
TEST_F(KeyedFile, AHoldIsJudgedByItsHoldersLockNotByAPid) {
  Add(1, "one");
  AFI_Record other;
  rt::File second(decl_, other);
  second.Open();
  Sql("INSERT INTO _holds(record, pid, owner, since) VALUES (1, " + std::to_string(::getpid()) + ", 77, 0)");
  file_->GetByPointer(1);
  record_.ASTRING = "put";
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), 0) << "a hold nobody has the lock of was kept";
  file_->SetKey(IDKey);
  file_->Next();
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(Sql("SELECT count(*) FROM _holds"), "0|\n") << "the reader that finds a stale hold clears it";

  second.Hold();
  second.GetByPointer(1);
  ASSERT_EQ(rt::ErrorCode(), 0);
  Sql("UPDATE _holds SET pid = 2147483646");  // no such process
  file_->SetKey(IDKey);
  file_->Next();
  EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "a live hold was taken for a stale one";
  file_->GetByPointer(1);
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr);

  // Release and close give the hold back (between processes: process_scenarios.h).
  for (const bool close : {false, true}) {
    close ? second.Close() : second.Release();
    file_->Hold();
    file_->GetByPointer(1);
    EXPECT_EQ(rt::ErrorCode(), 0) << (close ? "after close" : "after release");
    file_->Release();
    second.Open();
    second.Hold();
    second.GetByPointer(1);
  }
}

// Create over an existing file keeps everyone else out until the new file is in: an opener let
// in meanwhile would write to the old file, which is about to go.
TEST_F(KeyedFile, CreateOverAnExistingFileKeepsOtherOpenersOutUntilTheNewFileIsIn) {
  Add(1, "old");
  file_->Close();
  test_vfs::Install();
  struct During {
    const rt::FileDecl* decl;
    rt::Long code = -1;
  } during{&decl_};
  test_vfs::ArmHook(
      1,
      [](void* context) {
        auto& d = *static_cast<During*>(context);
        AFI_Record r;
        rt::File other(*d.decl, r);
        other.Open();
        d.code = rt::ErrorCode();
      },
      &during);
  file_->Create();
  test_vfs::Disarm();
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(during.code, rt::NoAccessErr) << "another opener got in while the file was being made";
}

// A folder or file the user may not use is 5, whoever creates or opens it; root is made nobody
// in a child, since root passes every permission check.
TEST(FileAccess, AFolderOrFileTheUserMayNotUseIs5) {
  struct Case {
    const char* driver;
    bool create;
  };
  for (const Case c : {Case{"KEYED", true}, Case{"KEYED", false}, Case{"ASCII", true}, Case{"ASCII", false}}) {
    SCOPED_TRACE(std::string(c.driver) + (c.create ? " create" : " open"));
    TempDir temp;
    const std::filesystem::path folder = temp / "closed";
    std::filesystem::create_directory(folder);
    const rt::FileDecl decl = Declare("AFile", c.driver, (folder / "AFILE.db").string(), AFileLayout());
    if (!c.create) {
      AFI_Record r;
      rt::File made(decl, r);
      made.Create();
      ASSERT_EQ(rt::ErrorCode(), 0);
      ::chmod(decl.name.c_str(), 0600);
    }
    ::chmod(folder.c_str(), 0555);
    test_processes::Child child([&](int, int) {
      if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 99;
      AFI_Record r;
      rt::File file(decl, r);
      if (c.create) file.Create();
      else file.Open();
      return static_cast<int>(rt::ErrorCode());
    });
    EXPECT_EQ(child.Wait(), rt::NoAccessErr);
    ::chmod(folder.c_str(), 0755);
  }
}

// A date written by another program may hold any text: parts too long for a date give no
// date (0), never an overflow; a well-formed one reads as its day.
TEST_F(KeyedFile, ADateTextWithOverlongPartsReadsAsNoDate) {
  Add(1, "one");
  struct Case {
    const char* text;
    rt::Long expected;
  };
  for (const Case c : {Case{"2026-12-07", rt::DateFromCivil(2026, 12, 7)}, Case{"99999999999999999999-01-01", 0},
                       Case{"2026-99999999999-01", 0}, Case{"5000001-01-01", 0}, Case{"--", 0}}) {
    Sql(std::string("UPDATE AFile SET ADATE = '") + c.text + "'");
    file_->GetByPointer(1);
    EXPECT_EQ(record_.ADATE, c.expected) << c.text;
  }
}

// ---- Share modes ----

struct ShareCase {
  const char* reason;
  rt::Long first, second;
  rt::Long expected;
};

class KeyedShareModes : public KeyedFile, public ::testing::WithParamInterface<ShareCase> {};

TEST_P(KeyedShareModes, SecondOpenerIsAdmittedOrDenied) {
  file_->Close();
  file_->Open(GetParam().first);
  ASSERT_EQ(rt::ErrorCode(), 0);
  AFI_Record other;
  rt::File second(decl_, other);
  second.Open(GetParam().second);
  EXPECT_EQ(rt::ErrorCode(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, KeyedShareModes,
    ::testing::Values(ShareCase{"deny write admits a reader", 0x22, 0x40, 0},
                      ShareCase{"deny write refuses a writer", 0x22, 0x42, 5},
                      ShareCase{"a writer refuses a deny write", 0x42, 0x20, 5},
                      ShareCase{"a reader refuses deny all", 0x40, 0x12, 5},
                      ShareCase{"deny read refuses a reader", 0x32, 0x40, 5},
                      ShareCase{"deny read admits a writer only", 0x32, 0x41, 0}),
    ByReason());

// ---- Files that do not match ----

struct BadFileCase {
  const char* reason;
  std::string bytes;
};

class KeyedBadFiles : public ::testing::TestWithParam<BadFileCase> {};

// A refused file is refused by Open and Build alike, never a crash, and keeps every byte
// (no journal switched, no database made out of an empty file).
TEST_P(KeyedBadFiles, OpenAndBuildRefuseItWith36AndLeaveItAsItWas) {
  TempDir temp;
  const std::string path = (temp / "AFILE").string();
  std::ofstream(path + ".db", std::ios::binary) << GetParam().bytes;
  AFI_Record record;
  rt::File file(KeyedAFile(path), record);
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::InvalidFileErr);
  EXPECT_EQ(rt::Error(), "Invalid Data File");
  EXPECT_FALSE(rt::FileError().empty());
  EXPECT_FALSE(file.IsOpen());
  file.Build();
  EXPECT_EQ(rt::ErrorCode(), rt::InvalidFileErr) << rt::FileError();
  EXPECT_TRUE(ReadFile(path + ".db") == GetParam().bytes) << "the refused file changed";
}

std::string ForeignDatabase(const char* sql) {
  TempDir temp;
  const std::string path = (temp / "x.db").string();
  sqlite3* db = nullptr;
  sqlite3_open(path.c_str(), &db);
  sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
  sqlite3_close(db);
  return ReadFile(path);
}

INSTANTIATE_TEST_SUITE_P(
    Garbage, KeyedBadFiles,
    ::testing::Values(BadFileCase{"garbage", std::string(4096, '\x5A')}, BadFileCase{"header only", "SQLite format 3"},
                      BadFileCase{"empty", ""},
                      BadFileCase{"another program's database", ForeignDatabase("CREATE TABLE t(a); INSERT INTO t VALUES (1)")},
                      BadFileCase{"a layout table with NULLs",
                                  ForeignDatabase("CREATE TABLE _layout(item, value);"
                                                  "INSERT INTO _layout VALUES ('format', NULL), (NULL, 1), ('fields', NULL)")}),
    ByReason());

// A name gets the default extension (the stock library reads path_ + ".db" below) unless it has one.
TEST_F(KeyedFile, NamesGetTheDefaultExtensionUnlessTheyHaveOneAndAMissingFolderIs3) {
  rt::FileDecl named = decl_;
  named.name = (temp_ / "data.dat").string();
  AFI_Record r;
  rt::File file(named, r);
  file.Create();
  EXPECT_TRUE(std::filesystem::exists(named.name));
  rt::FileDecl nowhere = decl_;
  nowhere.name = (temp_ / "missing" / "AFILE").string();
  rt::File lost(nowhere, r);
  lost.Create();
  EXPECT_EQ(rt::ErrorCode(), rt::NoPathErr);
}

// ---- Positions ----

TEST(KeyedPositions, AKeyTooWideForAPositionFallsBackToThePointer) {
  struct Wide {
    rt::FixedString<600> TEXT;
  };
  static const rt::RecordLayout layout(sizeof(Wide), {rt::LayoutField("W:TEXT", &Wide::TEXT)});
  TempDir temp;
  const rt::FileDecl decl = Declare("Wide", "KEYED", (temp / "wide").string(), layout, {{"W:TextKey", {{1, true}}, false}});
  Wide record;
  rt::File file(decl, record);
  file.Create();
  file.Open();
  for (const char* text : {"b", "a"}) {
    record.TEXT = text;
    file.Add();
  }
  file.SetKey(1);
  file.Next();
  const std::string position = file.Position(1);
  EXPECT_LE(position.size(), rt::File::kMaxPosition);
  file.Next();
  file.Reget(position);
  EXPECT_EQ(record.TEXT.Str(), "a");

  // A view's position by the same wide field keeps within the limit and still leads back.
  for (const char* order : {"+W:TEXT", "-W:TEXT"}) {
    SCOPED_TRACE(order);
    rt::View view(file);
    view.SetProperty(rt::PropViewOrder, order);
    view.Open();
    view.Next();
    const std::string first = record.TEXT.Str(), at = view.Position();
    EXPECT_LE(at.size(), rt::File::kMaxPosition);
    view.Next();
    view.Reget(at);
    EXPECT_EQ(record.TEXT.Str(), first) << "Reget";
    view.Reset(at);
    view.Next();
    EXPECT_EQ(rt::ErrorCode(), 0);
    EXPECT_EQ(record.TEXT.Str(), first) << "Reset then Next";
    view.Next();
    EXPECT_NE(record.TEXT.Str(), first) << "and on past it";
  }
}

// ---- Decimals: exact text in the file, the same digits back ----

TEST(KeyedDecimalsWide, ThirtyOneDigitsRoundTrip) {
  struct Wide {
    rt::PackedDecimal<31, 4> V;
    rt::PackedDecimal<10, 0> E;  // an even number of digits has a leading pad nibble
  };
  static const rt::RecordLayout layout(sizeof(Wide), {rt::LayoutField("W:V", &Wide::V), rt::LayoutField("W:E", &Wide::E)});
  TempDir temp;
  const rt::FileDecl decl = Declare("Wide", "KEYED", (temp / "wide").string(), layout);
  Wide record;
  rt::File file(decl, record);
  file.Create();
  file.Open();
  ASSERT_TRUE(record.V.Store(rt::Decimal::FromText("-999999999999999999999999999.9999")));
  ASSERT_TRUE(record.E.Store(rt::Decimal::FromText("-9876543210")));
  file.Add();
  ASSERT_EQ(rt::ErrorCode(), 0);
  record = Wide{};
  file.GetByPointer(file.Pointer());
  EXPECT_EQ(record.V.Load()->ToString(), "-999999999999999999999999999.9999");
  EXPECT_EQ(record.E.Load()->ToString(), "-9876543210");
}

// ---- Readable with the stock library alone ----

TEST_F(KeyedFile, TheStockLibraryReadsTheRecordsAsTheUserWroteThem) {
  Fill(record_, 7, "It's \"quoted\"  ", "-12.5", rt::DateFromCivil(2026, 12, 6));
  record_.ATIME = rt::TimeFromParts(9, 5, 3, 7);
  file_->Add();
  Fill(record_, 8, "", "-0.00");  // negative zero is zero
  file_->Add();
  file_->Close();

  EXPECT_EQ(Sql("SELECT ID, typeof(ID), ASTRING, ADECIMAL, ADATE, ATIME FROM AFile ORDER BY ID"),
            "7|integer|It's \"quoted\"|-12.50|2026-12-06|09:05:03.07|\n8|integer||0.00|NULL|NULL|\n");
}

INSTANTIATE_TEST_SUITE_P(Keyed, DriverFiles, ::testing::Values(conformance::DriverCase{"KEYED", true, true, true, nullptr}),
                         conformance::DriverName);

}  // namespace
