// The POSTGRES driver against the KEYED driver as its reference: the same records written to
// both come back in the same order for every key and every view order (case-insensitive and
// descending components, blank padding, reals, decimals, dates and times); plus what only a
// server has: a table someone else made, values the server refuses, holds by table hash, and
// passwords kept out of every shown name. Pushed-down filters are the property test's; what
// both drivers share (keys, duplicates, nulls and memos) is in test_driver_files.cpp.

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <limits>
#include <memory>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

#include <cstring>

#include "runtime/core/fixed_string.h"
#include "runtime/data/ini_store.h"
#include "runtime/data/pg_connection.h"
#include "runtime/data/pg_driver.h"
#include "runtime/data/pg_driver_internal.h"
#include "runtime/data/view.h"
#include "tests/runtime/data/keyed_fixture.h"
#include "tests/runtime/data/pg_server.h"
#include "tests/support/param_names.h"

namespace {

using namespace test_afile;

// Every type a key or an order can hold.
struct Mixed {
  rt::Long ID = 0;
  rt::FixedString<8> NAME;
  rt::Real AMOUNT = 0;
  rt::PackedDecimal<9, 3> PRICE;
  rt::Short DELTA = 0;
  rt::Long DAY = 0;
  rt::Long AT = 0;
};

const rt::RecordLayout& MixedLayout() {
  static const rt::RecordLayout layout(sizeof(Mixed), {
      rt::LayoutField("MIX:ID", &Mixed::ID, "@n-9"),
      rt::LayoutField("MIX:NAME", &Mixed::NAME, "@s8"),
      rt::LayoutField("MIX:AMOUNT", &Mixed::AMOUNT, "@n-15.4"),
      rt::LayoutField("MIX:PRICE", &Mixed::PRICE, "@n-12.3"),
      rt::LayoutField("MIX:DELTA", &Mixed::DELTA, "@n-6"),
      rt::LayoutDate("MIX:DAY", &Mixed::DAY, "@d17"),
      rt::LayoutTime("MIX:AT", &Mixed::AT, "@t8"),
  });
  return layout;
}

std::vector<rt::KeyDecl> MixedKeys() {
  return {
      {"MIX:IDKey", {{1, true}}, true, false, false, true},
      {"MIX:NameKey", {{2, true}, {3, false}}, false, true, false, false},
      {"MIX:PriceKey", {{4, false}, {5, true}}, false, false, false, false},
      {"MIX:WhenKey", {{6, true}, {7, false}}, false, false, true, false},
  };
}

class PgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = test_pg::Server::Shared();
    if (!server_) GTEST_SKIP() << test_pg::Server::SkipReason();
    conninfo_ = server_->FreshSchema();
    ASSERT_FALSE(conninfo_.empty());
  }

  // Runs SQL of the test's own on the test's schema.
  std::string Sql(const std::string& sql) {
    PGconn* conn = PQconnectdb(conninfo_.c_str());
    PGresult* result = PQexec(conn, sql.c_str());
    std::string out = PQresultStatus(result) == PGRES_TUPLES_OK && PQntuples(result) > 0 ? PQgetvalue(result, 0, 0) : "";
    if (PQresultStatus(result) != PGRES_TUPLES_OK && PQresultStatus(result) != PGRES_COMMAND_OK) out = "error";
    PQclear(result);
    PQfinish(conn);
    return out;
  }

  test_pg::Server* server_ = nullptr;
  std::string conninfo_;
  TempDir temp_;
};

// ---- The same order as KEYED ----

class PgAgainstKeyed : public PgTest {
 protected:
  void SetUp() override {
    PgTest::SetUp();
    if (IsSkipped()) return;
    keyedDecl_ = Declare("Mixed", "KEYED", (temp_ / "mixed").string(), MixedLayout(), MixedKeys());
    pgDecl_ = Declare("Mixed", "POSTGRES", conninfo_, MixedLayout(), MixedKeys());
    keyed_ = std::make_unique<rt::File>(keyedDecl_, keyedRecord_);
    pg_ = std::make_unique<rt::File>(pgDecl_, pgRecord_);
    for (rt::File* file : {keyed_.get(), pg_.get()}) {
      file->Create();
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
      file->Open();
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
    }
    // Names that differ by case, trailing blanks, bytes below a blank, UTF-8; reals of both
    // signs, zero and infinities; decimals of both signs; no date or time, and several.
    const char* names[] = {"apple", "Apple", "APPLE ", "a\tb", "a", "", "zebra", "\xC3\xA9t\xC3\xA9", "b", "B "};
    const double amounts[] = {0.0, -0.0, 1.5, -1.5, 1e300, -1e-300, std::numeric_limits<double>::infinity(),
                              -std::numeric_limits<double>::infinity(), 2.25, -7.0};
    std::mt19937 random(7);
    for (rt::Long id = 1; id <= 60; ++id) {
      Mixed m;
      m.ID = id;
      m.NAME = names[random() % 10];
      m.AMOUNT = amounts[random() % 10];
      (void)m.PRICE.Store(rt::Decimal::FromText(std::to_string(static_cast<int>(random() % 2001) - 1000) + ".125"));
      m.DELTA = static_cast<rt::Short>(static_cast<int>(random() % 7) - 3);
      m.DAY = random() % 4 ? 0 : static_cast<rt::Long>(70000 + random() % 3);
      m.AT = random() % 3 ? 0 : static_cast<rt::Long>(1 + (random() % 3) * 360000);
      for (auto [file, record] : {std::pair{keyed_.get(), &keyedRecord_}, std::pair{pg_.get(), &pgRecord_}}) {
        *record = m;
        file->Add();
        ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
      }
    }
  }

  static std::vector<rt::Long> WalkView(rt::File& file, Mixed& record, const std::string& order, bool backward) {
    rt::View view(file);
    view.SetProperty(rt::PropViewOrder, order);
    EXPECT_EQ(rt::ErrorCode(), 0) << rt::Error();
    view.Open();
    view.SetBuffering({7, 2, 0, 60});  // pages smaller than the file: paging is exercised
    std::vector<rt::Long> ids;
    for (backward ? view.Previous() : view.Next(); rt::ErrorCode() == 0; backward ? view.Previous() : view.Next()) ids.push_back(record.ID);
    EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << rt::Error() << " " << rt::FileError();
    return ids;
  }

  rt::FileDecl keyedDecl_, pgDecl_;
  Mixed keyedRecord_, pgRecord_;
  std::unique_ptr<rt::File> keyed_, pg_;
};

struct ViewCase {
  const char* reason;
  const char* order;
};

class PgViews : public PgAgainstKeyed, public ::testing::WithParamInterface<ViewCase> {};

// The orders of the keys (case-insensitive and descending components among them) both ways,
// then orders no key serves.
TEST_P(PgViews, GiveTheKeyedRowsInTheKeyedOrder) {
  const bool backward = std::string(GetParam().reason).find("backward") != std::string::npos;
  const std::vector<rt::Long> expected = WalkView(*keyed_, keyedRecord_, GetParam().order, backward);
  EXPECT_EQ(WalkView(*pg_, pgRecord_, GetParam().order, backward), expected) << GetParam().reason;
  EXPECT_EQ(expected.size(), 60u);
}

INSTANTIATE_TEST_SUITE_P(
    Orders, PgViews,
    ::testing::Values(ViewCase{"1 a key serves it", "MIX:ID"}, ViewCase{"1b a key backward", "-MIX:ID"},
                      ViewCase{"1c a caseless key with a descending part", "UPPER(MIX:NAME), -MIX:AMOUNT, MIX:ID"},
                      ViewCase{"1d the same read backward", "UPPER(MIX:NAME), -MIX:AMOUNT, MIX:ID"},
                      ViewCase{"1e a key with a descending decimal", "-MIX:PRICE, MIX:DELTA, MIX:ID"},
                      ViewCase{"2 text, case-sensitive, no key", "MIX:NAME, MIX:ID"},
                      ViewCase{"3 text, case-insensitive, descending", "-UPPER(MIX:NAME), -MIX:ID"},
                      ViewCase{"4 reals of both signs and infinities", "MIX:AMOUNT, MIX:ID"},
                      ViewCase{"6 decimals, then a short", "MIX:PRICE, MIX:DELTA, MIX:ID"},
                      ViewCase{"7 dates and times, none first", "MIX:DAY, -MIX:AT, MIX:ID"},
                      ViewCase{"8 a short descending, read backward", "-MIX:DELTA, MIX:ID"}),
    ByReason());

// ---- Values ----

TEST_F(PgTest, ValuesRoundTripExactlyAndWhatATextColumnCannotHoldIsRefused) {
  rt::FileDecl decl = Declare("Mixed", "POSTGRES", conninfo_, MixedLayout(), MixedKeys());
  decl.memos = {"Notes"};  // nulls and memos in general: test_driver_files.cpp
  Mixed m;
  rt::File file(decl, m);
  file.Create();
  file.Open();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  m.ID = 1;
  m.NAME = "O'Brien";
  m.AMOUNT = 0.1 + 0.2;
  (void)m.PRICE.Store(rt::Decimal::FromText("-999999.999"));
  m.DELTA = -32768;
  m.DAY = -5;  // before the base date
  m.AT = 8640001;  // the last hundredth of a day
  file.SetMemo(1, std::string("line one\nline two, 'quoted'"));
  file.Add();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  const Mixed written = m;
  m = Mixed{};
  file.GetByPointer(file.Pointer());
  ASSERT_EQ(rt::ErrorCode(), 0);
  for (const rt::FieldLayout& field : MixedLayout().Fields())  // every field's bytes (not the struct's padding)
    EXPECT_EQ(std::memcmp(reinterpret_cast<const char*>(&m) + field.offset, reinterpret_cast<const char*>(&written) + field.offset,
                          field.shape.size),
              0)
        << field.name;
  EXPECT_EQ(Sql("SELECT name || ' ' || price || ' ' || day || ' ' || at FROM mixed"), "O'Brien -999999.999 1800-12-23 24:00:00")
      << "natural types that psql shows as they are";

  m.ID = 2;
  m.AT = 8640002;  // past a day: a time column cannot hold it
  file.Add();
  EXPECT_EQ(rt::ErrorCode(), rt::FileSystemErr) << "refused, never stored as another time";
  EXPECT_EQ(rt::FileErrorCode(), "22008");
  EXPECT_EQ(file.Records(), 1);

  // A text column cannot hold a zero byte: a String or memo with one is refused whole, never
  // cut there while its key holds the whole field.
  const std::int64_t pointer = file.Pointer();
  for (const bool memo : {false, true}) {  // an add of a name with one, a put of a memo with one
    m = written;
    m.ID = memo ? 1 : 3;
    if (memo) file.SetMemo(1, std::string("a\0b", 3));
    else m.NAME = std::string_view("ab\0cd", 5);
    memo ? file.Put() : file.Add();
    EXPECT_EQ(rt::ErrorCode(), rt::FileSystemErr) << (memo ? "memo put" : "name add");
    EXPECT_EQ(rt::FileErrorCode(), "22021");
    EXPECT_NE(rt::FileError().find("zero byte"), std::string::npos) << rt::FileError();
  }
  EXPECT_EQ(file.Records(), 1);
  file.GetByPointer(pointer);
  EXPECT_EQ(file.Memo(1), "line one\nline two, 'quoted'") << "the refused put changed nothing";
}

// ---- Tables that do not match ----

TEST_F(PgTest, ATableThatDoesNotMatchTheRecordIsAClearOpenError) {
  ASSERT_EQ(Sql("CREATE TABLE afile (id integer, astring varchar(20))"), "");
  AFI_Record r;
  rt::FileDecl decl = KeyedAFile(conninfo_);
  decl.driver = "POSTGRES";
  rt::File file(decl, r);
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), 47);
  EXPECT_EQ(rt::FileError(), "Table afile does not match the record: column 2 is astring character varying(20), the record "
                             "needs astring text");
  EXPECT_FALSE(file.IsOpen());

  ASSERT_EQ(Sql("DROP TABLE afile"), "");
  file.Create();
  ASSERT_EQ(rt::ErrorCode(), 0);
  ASSERT_EQ(Sql("DELETE FROM _quibbet_layout"), "");
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::InvalidFileErr) << "the right columns, but nobody says they are ours";
}

// ---- Holds ----

// A hold names its table and its record whole: records whose pointers share their low 32 bits,
// and tables whose hashes differ only in the lowest bit, are told apart.
TEST_F(PgTest, AHoldStopsOnlyItsOwnRecord) {
  const std::string schema = Sql("SELECT current_schema()");
  std::unordered_map<std::uint32_t, std::string> seen;  // hash without its low bit -> label
  std::string labels[2];
  for (int n = 0; labels[0].empty(); ++n) {
    const std::string label = "T" + std::to_string(n);
    const std::uint32_t hash = rt::pg::TableHash(schema + "." + rt::pg::Lower(label));
    const auto [at, added] = seen.emplace(hash & ~1u, label);
    if (!added && rt::pg::TableHash(schema + "." + rt::pg::Lower(at->second)) != hash) labels[0] = at->second, labels[1] = label;
  }
  constexpr std::int64_t kHigh = std::int64_t{1} << 32;
  std::vector<rt::FileDecl> decls;
  for (const std::string& label : labels) {
    decls.push_back(KeyedAFile(conninfo_));
    decls.back().driver = rt::kServerDriver;
    decls.back().label = label;
  }
  AFI_Record mine, theirs;
  rt::File held(decls[0], mine);
  held.Create();
  held.Open();
  for (const rt::Long id : {1, 2}) {
    Fill(mine, id, "one");
    held.Add();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
    if (id == 1) {  // the next pointer has the same low 32 bits
      ASSERT_EQ(Sql("ALTER TABLE " + rt::pg::Lower(labels[0]) + " ALTER COLUMN _record RESTART WITH " + std::to_string(kHigh + 1)), "");
    }
  }
  held.Hold();
  held.GetByPointer(1);
  ASSERT_EQ(rt::ErrorCode(), 0);
  {
    rt::File other(decls[1], theirs);
    other.Create();
    other.Open();
    Fill(theirs, 1, "other table");
    other.Add();
    ASSERT_EQ(other.Pointer(), 1);
    theirs.ASTRING = "changed";
    other.Put();
    EXPECT_EQ(rt::ErrorCode(), 0) << "record 1 of another table: " << rt::FileError();
  }
  rt::File same(decls[0], theirs);
  same.Open();
  same.GetByPointer(kHigh + 1);
  ASSERT_EQ(rt::ErrorCode(), 0);
  theirs.ASTRING = "changed";
  same.Put();
  EXPECT_EQ(rt::ErrorCode(), 0) << "record 2^32 + 1 of the same table";
  rt::File* const framed[] = {&same};
  for (const bool inFrame : {false, true}) {  // a frame reads the holds from the lock list instead
    if (inFrame) {
      rt::Logout(1, framed);
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
    }
    same.SetKey(IDKey);
    same.Next();
    EXPECT_EQ(rt::ErrorCode(), rt::IsHeldErr) << "record 1 itself is held" << (inFrame ? ", in a frame" : "");
    same.Next();
    EXPECT_EQ(rt::ErrorCode(), 0) << (inFrame ? "in a frame" : "");
    EXPECT_EQ(theirs.ID, 2);
  }
  rt::Rollback();
}

TEST_F(PgTest, APasswordNeverShowsInANameOrAnError) {
  const std::string secret = "s3cr3t-pw";
  EXPECT_EQ(rt::pg::RedactConnection("host=db port=5432 password=" + secret + " dbname=office"), "dbname=office host=db port=5432");
  EXPECT_EQ(rt::pg::RedactConnection("postgresql://clerk:" + secret + "@db/office"), "user=clerk dbname=office host=db");
  EXPECT_EQ(rt::pg::RedactConnection("password='" + secret + "' dbname='my office'"), "dbname='my office'");
  EXPECT_EQ(rt::pg::RedactConnection("not a connection string " + secret).find(secret), std::string::npos);

  AFI_Record r;
  rt::FileDecl decl = KeyedAFile("host=127.0.0.1 port=1 connect_timeout=2 user=" + secret + "x password=" + secret);
  decl.driver = "POSTGRES";
  rt::File file(decl, r);
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::FileSystemErr);
  EXPECT_NE(rt::FileError().find("Could not connect"), std::string::npos) << rt::FileError();
  for (const std::string& shown : {rt::Error(), rt::FileError(), file.FullName(), file.Property(rt::PropName)})
    EXPECT_EQ(shown.find(secret + " "), std::string::npos) << shown;
  EXPECT_EQ(file.Property(rt::PropName).find("password"), std::string::npos);
}

TEST(PgSetting, TheIniFilePointsAFileAtAServer) {
  TempDir temp;
  const std::string ini = (temp / "demo.INI").string();
  rt::FileDecl decl = KeyedAFile("AFILE");
  rt::ApplyServerSetting(decl, ini);
  EXPECT_EQ(decl.driver, "KEYED") << "no INI file: the declaration as it is";
  rt::PutIni("Data", "AFileServer", "host=db dbname=office", ini);
  rt::ApplyServerSetting(decl, ini);
  EXPECT_EQ(decl.driver, "POSTGRES");
  EXPECT_EQ(decl.name, "host=db dbname=office");
}

}  // namespace
