// FileManager over the test dictionary, each case on a program thread of its own.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "framework/data/files_manager.h"
#include "framework/data/filter_text.h"
#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "tests/framework/data/data_fixture.h"

namespace testdict {
namespace {

namespace fs = std::filesystem;

// Records which operations reach a file, in order.
struct OpRecorder : rt::FileCallback {
  bool FunctionCalled(const rt::FileCall& call, std::string&, std::string&) override { return ops.push_back(call.op), true; }
  bool FunctionDone(const rt::FileCall&, std::string&, std::string&) override { return true; }
  std::vector<rt::FileOp> ops;
};

using FileManagerTest = DataTest;

// ---- Opening and closing ----

TEST_F(FileManagerTest, LazyOpenTouchesNoDiskUntilTheFirstRecordOperation) {
  ASSERT_EQ(parent_->Open(), Level::Ok);
  parent_->Close();
  EXPECT_FALSE(fs::exists(temp_ / "parent.db")) << "Open/Close created or opened the file";
  ASSERT_EQ(parent_->Open(), Level::Ok);
  EXPECT_FALSE(parentFile_->IsOpen());
  PAR.NAME = "kept";
  EXPECT_EQ(parent_->Position(), "");  // no current record yet, but the file is in use now
  EXPECT_TRUE(parentFile_->IsOpen() && PAR.NAME == "kept" && parent_->fullInits == 1);
  parent_->Close();
}

TEST_F(FileManagerTest, UsingAFileNeverOpenedOrMissingWithoutCreateEndsTheProgram) {
  AddParents({{1, "One"}});
  EXPECT_EXIT(parent_->Next(), ::testing::ExitedWithCode(0), "File Usage Error");
  std::filesystem::remove(temp_ / "parent.db");
  parent_->UseFile(UseType::Initialize);
  parent_->Create = 0;
  const rt::Byte lazy = std::exchange(parent_->LazyOpen, 0);
  EXPECT_EQ(parent_->TryOpen(), Level::Notify);
  EXPECT_EQ(parent_->GetOpened() * 100 + parent_->LastError, 26);
  EXPECT_TRUE(dialogs_.Shown().empty());
  parent_->LazyOpen = lazy;
  ASSERT_EQ(parent_->Open(), Level::Ok);
  EXPECT_EXIT(parent_->Next(), ::testing::ExitedWithCode(0), "File Access Error");
}

TEST_F(FileManagerTest, AccessDeniedSendsRecoverRetriesThenOpensReadOnly) {
  AddParents({{1, "One"}});
  PAR_Record other;
  rt::File otherStation(parentDecl_, other);
  otherStation.Open(rt::ReadWrite | rt::DenyWrite);
  ASSERT_EQ(rt::ErrorCode(), 0);
  OpRecorder recorder;
  parentFile_->AddCallback(&recorder);
  ASSERT_EQ(parent_->Open(), Level::Ok);
  ASSERT_EQ(parent_->Next(), Level::Ok);
  std::vector<rt::FileOp> opens;
  for (rt::FileOp op : recorder.ops)
    if (op == rt::FileOp::Open || op == rt::FileOp::Send) opens.push_back(op);
  EXPECT_EQ(opens, (std::vector<rt::FileOp>{rt::FileOp::Open, rt::FileOp::Send, rt::FileOp::Open, rt::FileOp::Open}));
  EXPECT_EQ(parent_->OpenMode, rt::ReadOnly | rt::DenyNone);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Access Denied"});
  EXPECT_EQ(PAR.ID, 1);
  parent_->Close();
  parentFile_->RemoveCallback(&recorder);
}

// ---- Nested procedures ----

// A nested procedure's open gives the caller its position and buffer back on close, unless the
// inner procedure updated the file.
TEST_F(FileManagerTest, CallersPositionAndBufferComeBackOnlyForPlainUse) {
  AddParents({{1, "One"}, {2, "Two"}, {3, "Three"}, {4, "Four"}});
  for (const rt::Byte innerUse : {UseType::Uses, UseType::Updates}) {
    SCOPED_TRACE(int(innerUse));
    errors_.SetProcedureName("Outer");
    ASSERT_EQ(parent_->Open(), Level::Ok);
    parent_->UseFile(UseType::Uses);
    parentFile_->SetKey(1);
    ASSERT_EQ(parent_->Next(), Level::Ok);
    ASSERT_EQ(parent_->Next(), Level::Ok);
    errors_.SetProcedureName("Inner");
    ASSERT_EQ(parent_->Open(), Level::Ok);
    parent_->UseFile(innerUse);
    ASSERT_EQ(parent_->Next(), Level::Ok);
    EXPECT_EQ(PAR.ID, 3);
    PAR.NAME = "scribbled";
    parent_->Close();
    errors_.SetProcedureName();
    if (innerUse == UseType::Uses) {
      EXPECT_EQ(PAR.NAME, "Two");
      ASSERT_EQ(parent_->Next(), Level::Ok);
      EXPECT_EQ(PAR.ID, 3);
    } else {
      EXPECT_EQ(PAR.NAME, "scribbled");
    }
    EXPECT_EQ(FileRegistry->StatusQ().size(), 1u);
    parent_->Close();
    EXPECT_TRUE(FileRegistry->StatusQ().empty());
  }
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
}

// ---- Record operations ----

TEST_F(FileManagerTest, DuplicateKeyShowsId15NamingTheKeyAndTryInsertShowsNothing) {
  AddParents({{1, "Alpha"}});
  ASSERT_EQ(parent_->Open(), Level::Ok);
  parent_->UseFile(UseType::Uses);
  for (const auto& [description, named] : {std::pair{"Parent name", "Parent name"}, {"", "PAR:NameKey"}}) {
    parent_->Keys[1].Description = description;
    const std::size_t before = dialogs_.Shown().size();
    ASSERT_EQ(parent_->PrimeRecord(), Level::Ok);  // reserves the next number
    PAR.NAME = "ALPHA";
    EXPECT_EQ(parent_->Insert(), Level::Notify);
    EXPECT_EQ(dialogs_.Shown().back().text, std::string("Adding this record creates a duplicate entry for the key: ") + named);
    EXPECT_EQ(parent_->TryInsert() * 100 + parent_->LastError, Level::Notify * 100 + 15);
    EXPECT_EQ(dialogs_.Shown().size(), before + 1) << "TryInsert shows nothing";
    parent_->CancelAutoInc();
  }
  parent_->Close();
}

// The numbering reads the group's last record, which stays the file's current one; when the new
// record repeats that record's name, the message must still name the key it repeats.
TEST_F(FileManagerTest, AnAutoNumberedAddRepeatingTheRecordNumberingReadNamesTheKey) {
  AddParents({{1, "Alpha"}, {2, "Beta"}});
  ASSERT_EQ(parent_->Open(), Level::Ok);
  parent_->UseFile(UseType::Uses);
  PAR = {};
  PAR.NAME = "beta";
  dialogs_.Answer(rt::BUTTON_NO);
  EXPECT_EQ(parent_->PrimeAutoInc(), Level::Notify);
  ASSERT_EQ(ShownTitles(), std::vector<std::string>{"Auto Increment Error"});
  EXPECT_NE(dialogs_.Shown()[0].text.find("Key: Parent name|"), std::string::npos) << dialogs_.Shown()[0].text;
  parent_->Close();
}

TEST_F(FileManagerTest, UpdateAfterAnotherStationsChangeShowsId7AndTheirVersion) {
  AddParents({{1, "Original"}});
  ASSERT_EQ(parent_->Open(), Level::Ok);
  parent_->UseFile(UseType::Uses);
  parentFile_->Watch();
  PAR.ID = 1;
  ASSERT_EQ(parent_->Fetch(1), Level::Ok);

  PAR_Record theirs{.ID = 1, .NAME = {}};
  rt::File otherStation(parentDecl_, theirs);
  otherStation.Open();
  otherStation.Get(1);
  theirs.NAME = "Theirs";
  otherStation.Put();
  otherStation.Close();
  PAR.NAME = "Mine";
  EXPECT_EQ(parent_->Update(), Level::Notify);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Record Was Not Updated"});
  EXPECT_EQ(PAR.NAME, "Theirs");
  PAR.NAME = "Mine again";
  EXPECT_EQ(parent_->Update(), Level::Ok) << "the re-read version is the one now watched";
  parent_->Close();
  EXPECT_EQ(Parents().at(0).NAME, "Mine again");
}

TEST_F(FileManagerTest, ReadingPastTheEndSetsEOFAndADeleteAnsweredNoDeletesNothing) {
  AddParents({{1, "One"}, {2, "Two"}});
  ASSERT_EQ(parent_->Open(), Level::Ok);
  parentFile_->SetKey(1);
  ASSERT_EQ(parent_->Next(), Level::Ok);
  ASSERT_EQ(parent_->Next(), Level::Ok);
  EXPECT_EQ(parent_->GetEOF(), 0);
  EXPECT_EQ(parent_->Next(), Level::Notify);
  EXPECT_EQ(parent_->GetEOF(), 1);
  EXPECT_EQ(parent_->Previous(), Level::Ok);
  EXPECT_EQ(parent_->GetEOF() * 10 + PAR.ID, 1);
  dialogs_.Answer(rt::BUTTON_NO);
  EXPECT_EQ(parent_->DeleteRecord(1), Level::Cancel);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Confirm Delete"});
  dialogs_.Answer(rt::BUTTON_YES);
  EXPECT_EQ(parent_->DeleteRecord(1), Level::Ok);
  parent_->Close();
  EXPECT_EQ(Parents().size(), 1u);
}

TEST_F(FileManagerTest, AHeldRecordIsPassedOverOnlyWhenAsked) {
  AddParents({{1, "One"}, {2, "Two"}, {3, "Three"}});
  PAR_Record theirs;
  rt::File otherStation(parentDecl_, theirs);
  otherStation.Open();
  otherStation.Hold();
  otherStation.GetByPointer(2);
  ASSERT_EQ(rt::ErrorCode(), 0);
  for (const rt::Byte skip : {1, 0}) {
    ASSERT_EQ(parent_->Open(), Level::Ok);
    parent_->UseFile(UseType::Uses);
    parent_->SkipHeldRecords = skip;
    parentFile_->SetKey(1);
    ASSERT_EQ(parent_->Next(), Level::Ok);
    EXPECT_EQ(parent_->Next(), skip ? Level::Ok : Level::Notify);
    EXPECT_EQ(PAR.ID, skip ? 3 : 1);
    parent_->Close();
  }
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Record not read"});
  otherStation.Close();
}

TEST_F(FileManagerTest, KeysThatMustBeRebuiltAreReportedAndRebuilt) {
  rt::FileDecl older = parentDecl_;
  older.keys.pop_back();  // the file was made before the name key existed
  Add<PAR_Record>(older, std::vector<std::pair<rt::Long, std::string_view>>{{1, "One"}});
  ASSERT_EQ(parent_->Open(), Level::Ok);
  ASSERT_EQ(parent_->Next(), Level::Ok);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Invalid Key"});
  parent_->Close();
}

TEST_F(FileManagerTest, ValidationRefusesInsertAndUpdateNamingTheField) {
  AddParents({{1, "One"}});
  parent_->requiredField = 2;
  ASSERT_EQ(parent_->Open(), Level::Ok);
  ASSERT_EQ(parent_->Next(), Level::Ok);
  PAR.NAME = "";
  rt::Long failed = 0;
  EXPECT_EQ(parent_->ValidateRecord(&failed), Level::Notify);
  EXPECT_EQ(failed, 2);
  EXPECT_EQ(parent_->Update(), Level::Ask);
  EXPECT_EQ(parent_->TryValidateField(2), Level::Notify);
  PAR.ID = 5;
  parent_->HasAutoInc = 0;
  EXPECT_EQ(parent_->Insert(), Level::Notify);
  parent_->Close();
  EXPECT_EQ(ShownTitles(), (std::vector<std::string>{"No Records", "No Records", "No Records"}));
  EXPECT_EQ(Parents().size(), 1u);
}

// ---- Auto-numbering ----

TEST_F(FileManagerTest, TwoComponentKeyNumbersWithinTheGroup) {
  AddChildren({{2, 1, "a"}, {2, 2, "b"}, {2, 3, "c"}, {4, 9, "d"}});
  ASSERT_EQ(child_->Open(), Level::Ok);
  for (const auto& [group, expected] : {std::pair<rt::Long, rt::Long>{2, 4}, {3, 1}, {4, 10}, {5, 1}, {1, 1}}) {
    CHI = {};
    CHI.PARENTID = group;
    ASSERT_EQ(child_->PrimeRecord(1), Level::Ok);
    EXPECT_EQ(CHI.SEQ, expected) << group;
    ASSERT_EQ(child_->Insert(), Level::Ok);
  }
  child_->Close();
  EXPECT_EQ(Children().size(), 9u);
}

TEST_F(FileManagerTest, TwoProcessesPrimingAtOnceNeverShareANumber) {
  AddParents({{1, "seed"}});
  constexpr int kEach = 20;
  const auto prime = [&](const std::string& tag) {
    if (parent_->Open() != Level::Ok) return false;
    for (int i = 0; i < kEach; ++i) {
      if (parent_->PrimeRecord() != Level::Ok) return false;
      PAR.NAME = tag + std::to_string(i);
      if (parent_->Insert() != Level::Ok) return false;
    }
    parent_->Close();
    return true;
  };
  std::fflush(nullptr);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(prime("c") ? 0 : 1);
  const bool mine = prime("p");
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(mine);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  std::set<rt::Long> ids;
  for (const PAR_Record& r : Parents()) ids.insert(r.ID);
  EXPECT_EQ(ids.size(), 1u + 2 * kEach);
  EXPECT_EQ(*ids.rbegin(), 1 + 2 * kEach);
}

TEST_F(FileManagerTest, EachFaultInPrimingAndInsertEndsInALevelAndLeavesNoSavedCopy) {
  AddChildren({{2, 1, "a"}, {2, 2, "b"}});
  std::size_t expected = 2;
  for (int failAt = 1;; ++failAt) {
    SCOPED_TRACE(failAt);
    FaultInjector injector(failAt);
    childFile_->AddCallback(&injector);
    ASSERT_EQ(child_->Open(), Level::Ok);
    CHI.PARENTID = 2;
    CHI.TEXT = "new";
    rt::Byte result = child_->PrimeRecord(1);
    if (result == Level::Ok) result = child_->Insert();
    EXPECT_TRUE(result == Level::Ok || result == Level::Notify || result == Level::Fatal) << int(result);
    EXPECT_TRUE(child_->Buffers.empty()) << "a saved copy was left behind";
    if (result != Level::Ok) child_->CancelAutoInc();  // gives back a number that was reserved
    EXPECT_EQ(child_->GetAutoIncDone(), 0);
    child_->Close();
    childFile_->RemoveCallback(&injector);
    if (result == Level::Ok) ++expected;
    EXPECT_EQ(Children().back().SEQ, static_cast<rt::Long>(expected)) << "numbers stay consecutive, none lost";
    if (injector.calls < failAt) {  // the fault was never reached: every point was tried
      EXPECT_GT(failAt, 4) << "positioning, reading, adding and putting were each made to fail";
      break;
    }
  }
}

TEST_F(FileManagerTest, AnAliasPrimesAndValidatesThroughTheFileItAliases) {
  AddParents({{1, "One"}, {4, "Four"}});
  PAR_Record ALI;
  rt::File aliasFile(parentDecl_, ALI);
  TestAccess alias(aliasFile, errors_, {{1, "", true}}, 1);
  alias.Init();
  alias.AliasedFile = parent_.get();
  parent_->requiredField = 2;
  ASSERT_EQ(parent_->Open(), Level::Ok);  // validation uses the aliased file: it must be open
  ASSERT_EQ(alias.Open(), Level::Ok);
  EXPECT_EQ(alias.ValidateRecord(), Level::Notify) << "the aliased file's rule refuses a blank name";
  ASSERT_EQ(alias.PrimeRecord(), Level::Ok);
  EXPECT_EQ(ALI.ID * 10 + alias.GetAutoIncDone(), 51);
  EXPECT_EQ(parent_->GetOpened(), 1) << "priming's own open of the aliased file was closed again";
  ALI.NAME = "Five";
  EXPECT_EQ(alias.Insert(), Level::Ok);
  alias.Close();
  alias.Kill();
  parent_->Close();
  EXPECT_EQ(Parents().back().NAME, "Five");
}

// ---- Buffers and states ----

TEST_F(FileManagerTest, SavedBufferComesBackOrIsDiscarded) {
  ASSERT_EQ(parent_->Open(), Level::Ok);
  parent_->UseFile(UseType::Uses);
  PAR.NAME = "Saved";
  rt::UShort handle = parent_->SaveBuffer();
  const rt::Byte equal = parent_->EqualBuffer(handle);
  PAR.NAME = "Changed";
  EXPECT_EQ(equal * 10 + parent_->EqualBuffer(handle), 10);
  parent_->RestoreBuffer(handle, 1);
  EXPECT_EQ(PAR.NAME.Str() + std::to_string(handle), "Saved0");
  handle = parent_->SaveBuffer();
  PAR.NAME = "Kept";
  parent_->File->SetNull(2, true);
  parent_->RestoreBuffer(handle, 0);
  EXPECT_TRUE(PAR.NAME == "Kept" && parent_->File->IsNull(2)) << "not restoring the buffer leaves its null flags too";
  EXPECT_TRUE(parent_->Buffers.empty());
  rt::UShort stale = 9;
  parent_->RestoreFile(stale, 1);
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"Restore handle is invalid"});
  parent_->Close();
}

// ---- Keys and filter text ----

TEST_F(FileManagerTest, KeyHelpersDescribeTheChildKey) {
  child_->UseFile(UseType::Initialize);
  EXPECT_EQ(child_->GetComponents(1), 2u);
  EXPECT_EQ(child_->KeyToOrder(1) + " " + child_->KeyToOrder(1, 2) + " " + child_->KeyToOrder(0), "CHI:PARENTID,CHI:SEQ CHI:SEQ ");
  // A key without case orders its text upper-cased, so a view over the order reads the key's order.
  parent_->UseFile(UseType::Initialize);
  EXPECT_EQ(parent_->KeyToOrder(2), "UPPER(PAR:NAME)");
  EXPECT_EQ(child_->GetFieldName(1, 3), "");
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"Key does not have component of this number : 3"});
  CHI.PARENTID = 4;
  CHI.SEQ = 2;
  EXPECT_EQ(ConcatGetComponents(child_->Keys[0].Fields, 2), "4|2|");
}

TEST(FilterText, CasedValueQuotesStringsAndFollowsTheFieldsCase) {
  rt::FixedString<10> text("O'Neil");
  rt::Long number = -12;
  EXPECT_EQ(CasedValue("NAM:NAME", text) + " " + CasedValue("UPPER(NAM:NAME)", text) + " " +
                CasedValue("LOWER(NAM:NAME)", text) + " " + CasedValue("UPPER(NAM:ID)", number),
            "'O''Neil' UPPER('O''Neil') LOWER('O''Neil') -12");
  EXPECT_EQ(DupString("abc   ") + "|" + DupString("   "), "abc| ");
}

}  // namespace
}  // namespace testdict
