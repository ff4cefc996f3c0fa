// One suite, every driver: the file operations that both the keyed and the text-line driver
// serve, their error codes, and what a driver that cannot do an operation reports (80), so that
// callers above the driver interface see the same behaviour whichever driver a file names.

#include "tests/runtime/data/file_conformance.h"

#include <functional>
#include <utility>

namespace {

using conformance::FileConformance;
using conformance::LineRecord;

// ---- Open and close ----

TEST_P(FileConformance, OpenReportsMissingAlreadyOpenAndDeniedFiles) {
  file_->Open();
  EXPECT_EQ(rt::ErrorCode(), rt::NoFileErr);
  EXPECT_EQ(rt::Error(), "File Not Found");
  EXPECT_FALSE(file_->IsOpen());

  CreateWith({});
  file_->Open();
  EXPECT_EQ(rt::ErrorCode(), rt::IsOpenErr) << "a second open of one instance";
  file_->Create();
  EXPECT_EQ(rt::ErrorCode(), rt::IsOpenErr) << "creating over an open instance";

  file_->Close();
  file_->Open(rt::ReadWrite | rt::DenyAll);
  ASSERT_EQ(rt::ErrorCode(), 0);
  LineRecord other;
  auto second = MakeFile(other);
  second->Open(rt::ReadOnly | rt::DenyNone);
  EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr) << "another instance while one denies all";
  file_->Close();
  second->Open(rt::ReadOnly | rt::DenyNone);
  EXPECT_EQ(rt::ErrorCode(), 0) << "once the denying instance has closed";
  other.TEXT = "two";
  second->Add();
  EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr) << "a read-only open refuses writes";
}

// The first use of a missing file creates it, and two users may get there at once: the later
// creator must keep what the first one already wrote.
TEST_P(FileConformance, CreateIfMissingKeepsAFileAnotherCreatorMadeWhereCreateEmptiesIt) {
  LineRecord other;
  auto second = MakeFile(other);
  for (rt::File* creator : {file_.get(), second.get()}) {
    creator->CreateIfMissing();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
    file_->Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
    record_.TEXT = "kept";
    file_->Add();
    file_->Close();
  }
  file_->Open();
  EXPECT_EQ(ReadAll(), (std::vector<std::string>{"kept", "kept"}));
  file_->Close();
  second->Create();
  file_->Open();
  EXPECT_TRUE(ReadAll().empty());
}

TEST_P(FileConformance, EveryOperationOnAClosedFileIs37) {
  CreateWith({"one"});
  file_->Close();
  const std::vector<std::pair<const char*, std::function<void()>>> operations = {
      {"Close", [&] { file_->Close(); }},       {"Add", [&] { file_->Add(); }},
      {"Append", [&] { file_->Append(); }},     {"Put", [&] { file_->Put(); }},
      {"Delete", [&] { file_->Delete(); }},     {"Set", [&] { file_->Set(); }},
      {"Next", [&] { file_->Next(); }},         {"Previous", [&] { file_->Previous(); }},
      {"GetByPointer", [&] { file_->GetByPointer(0); }},
      {"Reget", [&] { file_->Reget("F:0"); }},  {"Watch", [&] { file_->Watch(); }},
      {"Hold", [&] { file_->Hold(); }},         {"Release", [&] { file_->Release(); }},
      {"Records", [&] { file_->Records(); }},
  };
  for (const auto& [name, operation] : operations) {
    rt::ClearError();
    operation();
    EXPECT_EQ(rt::ErrorCode(), rt::NotOpenErr) << name;
    EXPECT_EQ(rt::Error(), "File Not Open") << name;
  }
}

// ---- Add and read in order ----

TEST_P(FileConformance, PreviousReadsBackwardOrIsNotSupported) {
  CreateWith({"alpha", "beta", "gamma"});
  file_->Set();
  file_->Previous();
  if (!GetParam().readsBackward) {
    EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr);
    return;
  }
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(record_.TEXT.Str(), "gamma");
  file_->Previous();
  EXPECT_EQ(record_.TEXT.Str(), "beta");
  file_->Next();
  EXPECT_EQ(record_.TEXT.Str(), "gamma") << "turning round continues from the record last read";
  file_->Previous();
  file_->Previous();
  EXPECT_EQ(record_.TEXT.Str(), "alpha");
  file_->Previous();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
}

// ---- Pointers and positions ----

// Added records read back in file order, then end with 33; a position and a pointer find a record again.
TEST_P(FileConformance, AddedRecordsReadBackInOrderAndPositionAndPointerFindThemAgain) {
  CreateWith({"alpha", "beta", "gamma"});
  EXPECT_EQ(ReadAll(), (std::vector<std::string>{"alpha", "beta", "gamma"}));
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
  file_->Next();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "stays at the end";
  EXPECT_EQ(file_->Records(), 3);
  file_->Set();
  file_->Next();
  file_->Next();
  const std::string position = file_->Position();
  const std::int64_t pointer = file_->Pointer();
  file_->Next();
  ASSERT_EQ(record_.TEXT.Str(), "gamma");

  file_->Reget(position);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(record_.TEXT.Str(), "beta");
  file_->Next();
  EXPECT_EQ(record_.TEXT.Str(), "gamma") << "reget positions the sequence at the record";

  file_->GetByPointer(pointer);
  EXPECT_EQ(record_.TEXT.Str(), "beta");
  file_->GetByPointer(1 << 20);
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
  file_->Reget("not a position");
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
}

// ---- Put and delete ----

TEST_P(FileConformance, PutAndDeleteChangeTheRecordLastReadOrAreNotSupported) {
  CreateWith({"alpha", "beta"});
  file_->Close();
  file_->Open();
  file_->Put();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "nothing read yet";
  file_->Set();
  file_->Next();
  record_.TEXT = "ALPHA";
  file_->Put();
  if (!GetParam().writesInPlace) {
    EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr);
    file_->Delete();
    EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr);
    return;
  }
  ASSERT_EQ(rt::ErrorCode(), 0);
  file_->Next();
  file_->Delete();
  ASSERT_EQ(rt::ErrorCode(), 0);
  file_->Delete();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr) << "a deleted record is no longer current";
  EXPECT_EQ(ReadAll(), (std::vector<std::string>{"ALPHA"}));
}

// ---- Transaction frames ----

// Frames across files, their commit and time-outs: test_driver_files.cpp, for the drivers that
// have them. Here: a rollback, and a driver without frames reports 80.
TEST_P(FileConformance, FramesRollBackOrReport80) {
  CreateWith({"kept"});
  file_->SetProperty(rt::PropLogout, "1");
  EXPECT_EQ(rt::ErrorCode(), GetParam().frames ? 0 : rt::NoLogoutErr);
  rt::File* files[] = {file_.get()};
  rt::Logout(1, files);
  EXPECT_EQ(rt::ErrorCode(), GetParam().frames ? 0 : rt::NoLogoutErr);
  if (!GetParam().frames) return;
  record_.TEXT = "rolled back";
  file_->Add();
  rt::Rollback();
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(file_->Property(rt::PropLogout), "0") << "a frame ends the file's part in frames";
  EXPECT_EQ(ReadAll(), (std::vector<std::string>{"kept"}));
  rt::Commit();
  EXPECT_NE(rt::ErrorCode(), 0) << "no frame is open";
}

// ---- Properties ----

TEST_P(FileConformance, PropertiesByNumber) {
  CreateWith({"one"});
  EXPECT_EQ(file_->Property(rt::PropName), decl_.name);
  EXPECT_EQ(file_->Property(rt::PropDriver), GetParam().driver);
  EXPECT_EQ(file_->Property(rt::PropFieldCount), "1");
  file_->Set();
  file_->Next();
  EXPECT_EQ(file_->Property(rt::PropRecord), std::string("one") + std::string(17, ' '));
  file_->SetProperty(rt::PropRecord, "");
  EXPECT_EQ(record_.TEXT.Str(), "") << "setting the record to nothing clears it";
  file_->SetProperty(rt::PropFieldCount, "3");
  EXPECT_EQ(rt::ErrorCode(), rt::NoLogoutErr) << "read-only properties refuse a value";
  file_->SetProperty(rt::PropName, "elsewhere");
  EXPECT_EQ(rt::ErrorCode(), rt::IsOpenErr) << "an open file keeps its name";
}

// ---- States ----

TEST_P(FileConformance, RestoringAStateGivesBackPositionAndBuffer) {
  CreateWith({"alpha", "beta", "gamma"});
  file_->Set();
  file_->Next();
  const rt::Long state = file_->GetState();
  ASSERT_NE(state, 0);
  file_->Next();
  file_->Next();
  ASSERT_EQ(record_.TEXT.Str(), "gamma");
  file_->RestoreState(state);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(record_.TEXT.Str(), "alpha");
  file_->Next();
  EXPECT_EQ(record_.TEXT.Str(), "beta");
  file_->FreeState(state);
  file_->RestoreState(state);
  EXPECT_NE(rt::ErrorCode(), 0) << "a freed state is gone";

  file_->Close();
  const rt::Long closed = file_->GetState();
  file_->Open();
  file_->RestoreState(closed);
  EXPECT_FALSE(file_->IsOpen()) << "a state taken while closed closes the file again";
}

// ---- Callbacks ----

// Records each call; refuses one operation; or takes itself off `leaveFrom` as an operation starts.
class Recorder : public rt::FileCallback {
 public:
  bool FunctionCalled(const rt::FileCall& call, std::string& code, std::string& message) override {
    calls.push_back("called " + std::to_string(static_cast<rt::Long>(call.op)));
    if (leaveFrom) leaveFrom->RemoveCallback(this);
    if (refuse == call.op) {
      code = "5";
      message = "refused";
      return false;
    }
    return true;
  }
  bool FunctionDone(const rt::FileCall& call, std::string& code, std::string&) override {
    calls.push_back("done " + std::to_string(static_cast<rt::Long>(call.op)) + " " + code);
    return true;
  }
  std::vector<std::string> calls;
  rt::FileOp refuse = rt::FileOp::Release_Instance;
  rt::File* leaveFrom = nullptr;
};

// Every callback there when an operation starts is called before and after it, also when one of
// them leaves in between; counts on both sides of the few a file keeps without allocating.
TEST_P(FileConformance, CallbacksThereAtTheStartSeeTheWholeOperation) {
  CreateWith({"one"});
  for (const int count : {1, 4, 5, 9}) {
    SCOPED_TRACE(count);
    std::vector<Recorder> callbacks(static_cast<std::size_t>(count));
    for (Recorder& callback : callbacks) file_->AddCallback(&callback);
    callbacks.front().leaveFrom = file_.get();
    const auto calls = [&] {
      std::size_t n = 0;
      for (Recorder& callback : callbacks) n += std::exchange(callback.calls, {}).size();
      return n;
    };
    file_->Set();
    EXPECT_EQ(calls(), 2u * count) << "the one that left still sees the end of the operation";
    file_->Set();
    EXPECT_EQ(calls(), 2u * (count - 1)) << "and none after it";
    for (Recorder& callback : callbacks) file_->RemoveCallback(&callback);
  }
}

TEST_P(FileConformance, CallbacksSurroundEveryOperationWithItsCodeAndOutcome) {
  CreateWith({"one"});
  file_->Close();
  Recorder recorder;
  file_->AddCallback(&recorder);
  file_->Open();
  file_->Set();
  file_->Next();
  file_->Next();
  file_->Add();
  file_->Close();
  file_->Add();
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"called 96", "done 96 0", "called 60", "done 60 0", "called 17",
                                                      "done 17 0", "called 17", "done 17 33", "called 1", "done 1 0",
                                                      "called 7", "done 7 0", "called 1", "done 1 37"}));
  recorder.calls.clear();
  recorder.refuse = rt::FileOp::Open;
  file_->Open();
  EXPECT_EQ(rt::ErrorCode(), 5);
  EXPECT_EQ(rt::Error(), "refused");
  EXPECT_FALSE(file_->IsOpen()) << "a refused operation does not run";
  file_->RemoveCallback(&recorder);
  recorder.calls.clear();
  file_->Open();
  EXPECT_TRUE(recorder.calls.empty());

  file_->AddCallback(&recorder);
  file_.reset();
  EXPECT_EQ(recorder.calls, (std::vector<std::string>{"called 104"})) << "the instance tells it goes away";
}

}  // namespace
