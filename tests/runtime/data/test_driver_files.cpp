// The cases of driver_files.h, run for KEYED and for POSTGRES.

#include <chrono>
#include <thread>
#include <tuple>
#include <vector>

#include "tests/runtime/data/driver_files.h"

namespace {

using driver_files::DriverFiles;
using namespace test_afile;

constexpr std::size_t kAll = static_cast<std::size_t>(-1);  // every component of a key

std::vector<rt::Long> IdsBy(rt::File& file, const AFI_Record& record, std::size_t key) {
  std::vector<rt::Long> ids;
  file.SetKey(key);
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) ids.push_back(record.ID);
  return ids;
}

// A duplicate in a unique key is 40 and names the key; the duplicate test looks at other records
// only, and a blank optional key duplicates nothing and leaves its record out of the key; get and
// set by a key's value or by its first components.
TEST_P(DriverFiles, KeysFindDuplicatesValuesAndPrefixes) {
  AFI_Record r;
  rt::File file(Decl(), r);
  file.Create();
  file.Open();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  for (const auto& [id, text, date] : {std::tuple{10, "edge", 0}, {20, "mid", 80000}, {30, "EDGE", 70000}}) {
    Fill(r, id, text, "0", date);
    file.Add();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  }
  Fill(r, 10, "again");
  file.Add();
  EXPECT_EQ(rt::ErrorCode(), rt::DupKeyErr);
  EXPECT_EQ(rt::Error(), "Creates Duplicate Key");
  EXPECT_EQ(rt::FileError(), "AFI:IDKey");
  EXPECT_EQ(IdsBy(file, r, StrKey), (std::vector<rt::Long>{30, 10, 20})) << "case-insensitive, then ID descending";
  EXPECT_EQ(IdsBy(file, r, DateKey), (std::vector<rt::Long>{30, 20})) << "a blank optional key leaves its record out";

  file.GetByPointer(0);  // forget the current record, as the file manager does
  for (const auto& [id, date, key, duplicate] : {std::tuple{20, 0, IDKey, true}, {25, 0, IDKey, false}, {4, 0, DateKey, false},
                                                 {4, 80000, DateKey, true}}) {
    Fill(r, id, "x", "0", date);
    EXPECT_EQ(file.Duplicate(key), duplicate) << id << " " << date;
  }
  Fill(r, 20, "");
  file.Get(IDKey);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(r.ASTRING.Str(), "mid");
  EXPECT_FALSE(file.Duplicate(IDKey)) << "the current record's own value is no duplicate";
  Fill(r, 25, "");
  file.Get(IDKey);
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);

  // Set by a key's value (or its first component) reads from the first record at or after it,
  // or backward from the last at or before it.
  for (const auto& [id, text, key, components, backward, expected] :
       {std::tuple{15, "", IDKey, kAll, false, 20}, {25, "", IDKey, kAll, true, 20}, {0, "EDGE", StrKey, std::size_t{1}, false, 30},
        {0, "EDGE", StrKey, std::size_t{1}, true, 10}}) {
    Fill(r, id, text);
    file.SetKeyValue(key, components);
    backward ? file.Previous() : file.Next();
    EXPECT_EQ(r.ID, expected) << id << text << (backward ? " backward" : "");
  }
}

// Changed keys are 46 until built, a unique key the records repeat builds nothing, and a layout
// that does not match is 47.
TEST_P(DriverFiles, ChangedKeysAre46UntilBuiltAndADifferentLayoutIs47) {
  AFI_Record r;
  rt::FileDecl before = Decl();
  before.keys.pop_back();
  {
    rt::File file(before, r);
    file.Create();
    file.Open();
    for (rt::Long id : {3, 1, 2}) {
      Fill(r, id, id == 2 ? "same" : "SAME", "0", 70000 + id);
      file.Add();
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
    }
  }
  rt::File file(Decl(), r);
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::BadKeyErr);
  EXPECT_EQ(rt::Error(), "Key File Must Be Rebuilt");
  file.Build();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  file.Open();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  EXPECT_EQ(IdsBy(file, r, IDKey), (std::vector<rt::Long>{1, 2, 3})) << "old keys still work after building";
  EXPECT_EQ(IdsBy(file, r, DateKey), (std::vector<rt::Long>{1, 2, 3})) << "the new key holds the old records";
  file.Close();
  rt::File old(before, r);
  old.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::BadKeyErr) << "the old declaration now differs";

  rt::FileDecl unique = Decl();
  unique.keys[1].unique = true;  // "same" and "SAME" repeat a case-insensitive unique key
  unique.keys[1].components = {{2, true}};
  rt::File strict(unique, r);
  strict.Build();
  EXPECT_EQ(rt::ErrorCode(), rt::DupKeyErr);
  EXPECT_EQ(rt::FileError(), "AFI:StrKey");
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), 0) << "the failed build changed nothing";
  file.Close();

  static const rt::RecordLayout shorter(sizeof(AFI_Record), {rt::LayoutField("AFI:ID", &AFI_Record::ID)});
  rt::FileDecl other = Decl();
  other.layout = &shorter;
  other.keys = {};
  rt::File mismatched(other, r);
  mismatched.Open();
  EXPECT_EQ(rt::ErrorCode(), 47);
  EXPECT_EQ(rt::Error(), "Invalid Record Declaration");
  EXPECT_FALSE(mismatched.IsOpen());
}

TEST_P(DriverFiles, NullFlagsAndMemosTravelWithTheRecord) {
  // A server's text column cannot hold a zero byte (refused, tested with its driver).
  const std::string memo = OnServer() ? std::string("line one\nline two, 'quoted'") : std::string("a memo\0with a zero", 18);
  rt::FileDecl decl = Decl();
  decl.memos = {"NOTES"};
  AFI_Record r;
  rt::File file(decl, r);
  file.Create();
  file.Open();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  Fill(r, 1, "x", "1.25");
  file.SetNull(3, true);
  file.SetMemo(1, memo);
  EXPECT_EQ(file.Property(rt::PropBlobChanged), "1");
  file.Add();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  const std::int64_t pointer = file.Pointer();
  file.ClearRecord();
  file.SetMemo(1, "");
  EXPECT_EQ(file.Nulls(), "00000");
  file.GetByPointer(pointer);
  EXPECT_EQ(file.Nulls(), "00100");
  EXPECT_TRUE(file.IsNull(3));
  EXPECT_EQ(r.ADECIMAL.Load()->ToString(), "1.25") << "a null flag keeps the value";
  file.SetNulls(std::string_view("0111").substr(0, 2));  // the flags end where the view ends
  EXPECT_EQ(file.Nulls(), "01000");
  EXPECT_EQ(file.Memo(1), memo);
  EXPECT_EQ(file.Property(rt::PropMemo, -1), memo);
  EXPECT_EQ(file.Property(rt::PropMemoCount), "1");
  file.SetMemo(2, "none");
  EXPECT_EQ(rt::ErrorCode(), 57);
  EXPECT_EQ(file.Memo(0) + file.Memo(2), "") << "a memo number out of range reads nothing";
}

// One frame covers several files; a refused add inside it spoils nothing; another thread's
// instance waits its time-out for the frame's rows, never the default ten seconds.
TEST_P(DriverFiles, AFrameCoversSeveralFilesAndOthersWaitItsTimeOut) {
  AFI_Record r, o;
  rt::File file(Decl(), r), second(Decl("BFile"), o);
  for (rt::File* f : {&file, &second}) {
    f->Create();
    f->Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  }
  Fill(r, 1, "one");
  file.Add();
  const std::int64_t first = file.Pointer();
  file.SetProperty(rt::PropLogout, "1");
  second.SetProperty(rt::PropLogout, "1");
  rt::Logout(1);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  Fill(r, 2, "a");
  file.Add();
  Fill(o, 1, "b");
  second.Add();
  rt::Logout(1);
  EXPECT_EQ(rt::ErrorCode(), 56) << "one frame at a time per thread";
  rt::Rollback();
  EXPECT_EQ(file.Records(), 1);
  EXPECT_EQ(second.Records(), 0) << "both files rolled back together";

  rt::File* both[] = {&file, &second};
  rt::Logout(1, both);
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  file.GetByPointer(first);
  r.ASTRING = "framed";
  file.Put();
  ASSERT_EQ(rt::ErrorCode(), 0);
  Fill(r, 1, "again");
  file.Add();
  EXPECT_EQ(rt::ErrorCode(), rt::DupKeyErr);
  Fill(r, 2, "two");
  file.Add();
  EXPECT_EQ(rt::ErrorCode(), 0) << "the refused add did not spoil the frame";

  for (const bool framed : {true, false}) {
    rt::Long code = -1;
    long waited = -1;
    std::thread([&] {  // its own instance: its own connection
      AFI_Record mine;
      rt::FileDecl quick = Decl();
      quick.driverString = "Recover=1";
      rt::File other(quick, mine);
      other.Open();
      rt::File* its[] = {&other};
      const auto start = std::chrono::steady_clock::now();
      if (framed) rt::Logout(1, its);
      if (rt::ErrorCode() == 0) {
        other.GetByPointer(first);
        mine.ASTRING = "other";
        other.Put();
      }
      code = rt::ErrorCode();
      waited = static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count());
      if (framed) rt::Rollback();
    }).join();
    EXPECT_EQ(code, rt::NoAccessErr) << (framed ? "in a frame" : "with Recover=1");
    EXPECT_GE(waited, 900) << "waited for the time-out";
    EXPECT_LT(waited, 5000) << "not the default ten seconds";
  }
  rt::Commit();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  EXPECT_EQ(file.Records(), 2);
  file.GetByPointer(first);
  EXPECT_EQ(r.ASTRING.Str(), "framed");
}

}  // namespace
