// Fault injection under the file layer: a driver that forwards to the real KEYED driver and
// fails its Nth call (once, or from then on) runs a sequence of file operations for every N.
// Each operation must end in success or a reported error, never a crash; afterwards the file
// opens with a clean driver, passes SQLite's integrity check, holds only whole records and no
// hold is left behind.

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <memory>
#include <string>

#include "tests/runtime/data/keyed_fixture.h"

namespace {

using namespace test_afile;

class FaultyDriver final : public rt::Driver {
 public:
  FaultyDriver(std::unique_ptr<rt::Driver> real, int failAt, bool persistent)
      : real_(std::move(real)), failAt_(failAt), persistent_(persistent) {}

  rt::DriverStatus Open(rt::Long mode) override { return Call([&] { return real_->Open(mode); }); }
  rt::DriverStatus Create() override { return Call([&] { return real_->Create(); }); }
  rt::DriverStatus Close() override { return Call([&] { return real_->Close(); }); }
  rt::DriverStatus Build() override { return Call([&] { return real_->Build(); }); }
  rt::DriverStatus Send(std::string_view c) override { return Call([&] { return real_->Send(c); }); }
  rt::DriverStatus Add(rt::RowImage& row) override { return Call([&] { return real_->Add(row); }); }
  rt::DriverStatus Put(rt::RowImage& row, bool check) override { return Call([&] { return real_->Put(row, check); }); }
  rt::DriverStatus Delete(std::int64_t p) override { return Call([&] { return real_->Delete(p); }); }
  rt::DriverStatus Get(std::int64_t p, rt::RowImage& row) override { return Call([&] { return real_->Get(p, row); }); }
  rt::DriverStatus GetByKey(std::size_t k, const std::string& v, rt::RowImage& row) override {
    return Call([&] { return real_->GetByKey(k, v, row); });
  }
  rt::DriverStatus Read(const rt::ReadRequest& r, std::vector<rt::RowImage>& rows) override {
    return Call([&] { return real_->Read(r, rows); });
  }
  rt::DriverStatus HasDuplicate(std::size_t k, const std::string& v, std::int64_t e, bool& f) override {
    return Call([&] { return real_->HasDuplicate(k, v, e, f); });
  }
  rt::DriverStatus Records(std::int64_t& n) override { return Call([&] { return real_->Records(n); }); }
  rt::DriverStatus Hold(std::int64_t p) override { return Call([&] { return real_->Hold(p); }); }
  rt::DriverStatus ReleaseHolds() override { return Call([&] { return real_->ReleaseHolds(); }); }
  bool CanFrame() const override { return real_->CanFrame(); }
  rt::DriverStatus BeginFrame(rt::Long t) override { return Call([&] { return real_->BeginFrame(t); }); }
  rt::DriverStatus Commit() override { return Call([&] { return real_->Commit(); }); }
  rt::DriverStatus Rollback() override { return Call([&] { return real_->Rollback(); }); }
  std::string FullName() const override { return real_->FullName(); }
  bool KeepsVersions() const override { return real_->KeepsVersions(); }
  std::optional<rt::StoredColumn> ColumnOf(std::size_t f) const override { return real_->ColumnOf(f); }

  int calls = 0;

 private:
  template <class F>
  rt::DriverStatus Call(F&& forward) {
    ++calls;
    if (calls == failAt_ || (persistent_ && calls > failAt_)) {
      rt::DriverStatus injected = rt::DriverStatus::Error(rt::FileSystemErr);
      injected.driverText = "injected fault";
      return injected;
    }
    return forward();
  }

  std::unique_ptr<rt::Driver> real_;
  int failAt_;
  bool persistent_;
};

// Runs the sequence; returns how many driver calls it made.
int RunSequence(const rt::FileDecl& decl, int failAt, bool persistent) {
  AFI_Record record;
  auto faulty = std::make_unique<FaultyDriver>(rt::MakeDriver({&decl, [&decl] { return decl.name; }}), failAt, persistent);
  FaultyDriver* driver = faulty.get();
  rt::File file(decl, std::as_writable_bytes(std::span(&record, 1)), std::move(faulty));
  auto check = [](const char* what) {  // an operation ends in success or a reported error
    if (rt::ErrorCode() != 0) {
      EXPECT_FALSE(rt::Error().empty()) << what;
    }
  };
  file.Create();
  check("create");
  file.Open();
  check("open");
  for (rt::Long id = 1; id <= 3; ++id) {
    Fill(record, id, ("r" + std::to_string(id)).c_str());
    file.Add();
    check("add");
  }
  rt::File* files[] = {&file};
  rt::Logout(1, files);
  if (rt::ErrorCode() == 0) {
    Fill(record, 4, "r4");
    file.Add();
    check("framed add");
    rt::Commit();
    check("commit");
  }
  file.SetKey(IDKey);
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) {
  }
  check("next");
  file.Hold();
  Fill(record, 2, "");
  file.Get(IDKey);
  check("get held");
  record.ASTRING = "r2";
  file.Put();
  check("put");
  file.GetByPointer(3);
  file.Delete();
  check("delete");
  file.Close();
  check("close");
  return driver->calls;
}

class FileFaults : public ::testing::TestWithParam<bool> {};

TEST_P(FileFaults, EveryInjectedFaultEndsInAReportedErrorAndASoundFile) {
  int total = 0;
  {
    TempDir temp;
    const rt::FileDecl decl = KeyedAFile((temp / "AFILE").string());
    total = RunSequence(decl, 0, false);
  }
  ASSERT_GT(total, 10);
  for (int failAt = 1; failAt <= total; ++failAt) {
    TempDir temp;
    const rt::FileDecl decl = KeyedAFile((temp / "AFILE").string());
    RunSequence(decl, failAt, GetParam());
    AFI_Record record;
    rt::File file(decl, record);
    file.Open();
    if (rt::ErrorCode() == rt::NoFileErr) continue;  // the create itself failed
    ASSERT_EQ(rt::ErrorCode(), 0) << "call " << failAt << ": " << rt::Error() << " " << rt::FileError();
    file.SetKey(IDKey);
    for (file.Next(); rt::ErrorCode() == 0; file.Next())
      EXPECT_EQ(record.ASTRING.Str(), "r" + std::to_string(record.ID)) << "call " << failAt << ": a record is whole";
    EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "call " << failAt << ": no record stays held";
    file.Hold();
    file.GetByPointer(2);
    EXPECT_NE(rt::ErrorCode(), rt::IsHeldErr) << "call " << failAt;
    file.Close();
    sqlite3* db = nullptr;
    sqlite3_open_v2((decl.name + ".db").c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &statement, nullptr);
    ASSERT_EQ(sqlite3_step(statement), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)), "ok") << "call " << failAt;
    sqlite3_finalize(statement);
    sqlite3_close(db);
  }
}

INSTANTIATE_TEST_SUITE_P(Faults, FileFaults, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "FromThenOn" : "Once"; });

}  // namespace
