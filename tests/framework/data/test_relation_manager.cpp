// RelationManager over the test dictionary, whose graph has a cycle.

#include <gtest/gtest.h>

#include <filesystem>

#include "runtime/core/dialogs.h"
#include "tests/framework/data/data_fixture.h"
#include "tests/support/param_names.h"

namespace testdict {
namespace {

class RelationFamilies : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    // Parent 1 with two children and three grandchildren, parent 2 with one of each.
    AddParents({{1, "One"}, {2, "Two"}});
    AddChildren({{1, 1, "a"}, {1, 2, "b"}, {2, 1, "c"}});
    AddGrands({{1, 1, "x"}, {1, 1, "y"}, {1, 2, "z"}, {2, 1, "w"}});
  }
  // Opens the parent through its relation manager and reads parent `id`.
  void ReadParent(rt::Long id) {
    ASSERT_EQ(relParent_->Open(), Level::Ok);
    PAR.ID = id;
    ASSERT_EQ(parent_->Fetch(1), Level::Ok);
    relParent_->Save();
  }
  // How often each manager is opened: "parent child grand".
  std::string Opened() const {
    return std::to_string(parent_->GetOpened()) + " " + std::to_string(child_->GetOpened()) + " " +
           std::to_string(grand_->GetOpened());
  }
  // "id:name ... parent.seq ... parent/seq:note ...", every record of the three files in key order.
  std::string Snapshot() {
    std::string text;
    for (const PAR_Record& r : Parents()) text += std::to_string(r.ID) + ":" + std::string(r.NAME.Clipped()) + " ";
    for (const CHI_Record& r : Children()) text += std::to_string(r.PARENTID) + "." + std::to_string(r.SEQ) + " ";
    for (const GRA_Record& r : Grands())
      text += std::to_string(r.PARENTID) + "/" + std::to_string(r.CHILDSEQ) + ":" + std::string(r.NOTE.Clipped()) + " ";
    return text;
  }
};

constexpr const char* kUntouched = "1:One 2:Two 1.1 1.2 2.1 1/1:x 1/1:y 1/2:z 2/1:w ";

// ---- Opening ----

// A lazy open opens its own file and only counts its direct relations; a forced open walks the
// cycle once per walk; the relations are added once.
TEST_F(RelationFamilies, LazyOpenCountsTheDirectRelationsAndForcedOpenWalksTheCycle) {
  ASSERT_EQ(relParent_->Open(), Level::Ok);
  EXPECT_TRUE(parentFile_->IsOpen() && !childFile_->IsOpen());
  EXPECT_EQ(Opened(), "1 1 0");
  relParent_->Close();
  EXPECT_FALSE(parentFile_->IsOpen());
  for (int walk = 1; walk <= 2; ++walk) {
    ASSERT_EQ(relParent_->ForceOpen(), Level::Ok);
    EXPECT_EQ(Opened(), "1 1 1") << walk;
    relParent_->Close();
    EXPECT_EQ(Opened(), "0 0 0") << walk;
  }
  EXPECT_EQ(relParent_->deferredCalls + relChild_->deferredCalls, 2);
}

// ---- Referential integrity ----

// newId: 0 deletes parent 1, else its id is updated to this (renamed to newName when it is kept);
// idAfter: the parent's id in the buffer afterwards.
struct IntegrityCase { const char* reason; rt::Byte updateMode, deleteMode; rt::Long newId; const char* newName; rt::Byte level;
                       std::vector<std::string> shown; rt::Long idAfter; const char* after; };

const IntegrityCase kIntegrityCases[] = {
    {"restrict on delete refuses and deletes nothing", RI::None, RI::Restrict, 0, nullptr, Level::Notify,
     {"Referential Integrity Delete Error"}, 1, kUntouched},
    {"cascade delete takes children and grandchildren", RI::None, RI::Cascade, 0, nullptr, Level::Ok, {}, 1,
     "2:Two 2.1 2/1:w "},
    {"clear on delete blanks the childrens link", RI::None, RI::Clear, 0, nullptr, Level::Ok, {}, 1,
     "2:Two 0.1 0.2 2.1 0/1:x 0/1:y 0/2:z 2/1:w "},
    {"restrict on update refuses, puts the old link back and rolls back", RI::Restrict, RI::None, 9, nullptr,
     Level::Notify, {"Referential Integrity Update Error"}, 1, kUntouched},
    {"cascade update carries the new link two levels down", RI::Cascade, RI::None, 7, nullptr, Level::Ok, {}, 7,
     "2:Two 7:One 2.1 7.1 7.2 2/1:w 7/1:x 7/1:y 7/2:z "},
    {"clear on update blanks the link", RI::Clear, RI::None, 7, nullptr, Level::Ok, {}, 7,
     "2:Two 7:One 0.1 0.2 2.1 0/1:x 0/1:y 0/2:z 2/1:w "},
    {"restrict lets an update that keeps the link through", RI::Restrict, RI::None, 1, "Renamed", Level::Ok, {}, 1,
     "1:Renamed 2:Two 1.1 1.2 2.1 1/1:x 1/1:y 1/2:z 2/1:w "},
};

class Integrity : public RelationFamilies, public ::testing::WithParamInterface<IntegrityCase> {};

TEST_P(Integrity, EachModeLeavesTheFamilyAsItSays) {
  const IntegrityCase& c = GetParam();
  RelateParentToChild(c.updateMode, c.deleteMode);
  ReadParent(1);
  if (c.newId != 0) PAR.ID = c.newId;
  if (c.newName) PAR.NAME = c.newName;
  EXPECT_EQ(c.newId == 0 ? relParent_->Delete(0) : relParent_->Update(), c.level);
  EXPECT_EQ(ShownTitles(), c.shown);
  EXPECT_EQ(PAR.ID, c.idAfter);
  relParent_->Close();
  EXPECT_EQ(Opened(), "0 0 0");
  EXPECT_EQ(Snapshot(), c.after);
}

INSTANTIATE_TEST_SUITE_P(Modes, Integrity, ::testing::ValuesIn(kIntegrityCases), ByReason());

// A delete the file refuses: "try again" (the default answer) repeats the whole cascade, No rolls it back.
TEST_F(RelationFamilies, AFailedDeleteIsTriedAgainWholeOrRolledBack) {
  RelateParentToChild(RI::None, RI::Cascade);
  for (const bool again : {true, false}) {
    SCOPED_TRACE(again);
    ReadParent(again ? 1 : 2);
    parent_->deleteFailuresLeft = 1;
    child_->deletesTried = 0;
    if (!again) dialogs_.Answer(rt::BUTTON_OK), dialogs_.Answer(rt::BUTTON_NO);
    EXPECT_EQ(relParent_->Delete(0), again ? Level::Ok : Level::Notify);
    relParent_->Close();
    EXPECT_EQ(child_->deletesTried, again ? 4 : 1) << "the children's deletes were rolled back and done again";
  }
  EXPECT_EQ(ShownTitles(), (std::vector<std::string>{"Record was not deleted", "Record Delete Error",
                                                     "Record was not deleted", "Record Delete Error"}));
  EXPECT_EQ(Snapshot(), "2:Two 2.1 2/1:w ");
}

// ---- Insert ----

TEST_F(RelationFamilies, FramedInsertCommitsOrAnswersAskOnFailure) {
  relParent_->UseLogoutOnInsert = 1;
  ASSERT_EQ(relParent_->Open(), Level::Ok);
  parent_->HasAutoInc = 0;
  PAR.ID = 1;
  PAR.NAME = "Again";
  EXPECT_EQ(relParent_->Insert(), Level::Ask);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Duplicate Key Error"});
  PAR.ID = 3;
  PAR.NAME = "Three";
  EXPECT_EQ(relParent_->Insert(), Level::Ok);
  EXPECT_EQ(parent_->GetOpened(), 1) << "the frame's own opens were closed again";
  relParent_->Close();
  EXPECT_EQ(Snapshot(), "1:One 2:Two 3:Three 1.1 1.2 2.1 1/1:x 1/1:y 1/2:z 2/1:w ");
  EXPECT_EQ(parentFile_->Property(rt::PropLogout), "0");
}

// ---- Injected faults ----

TEST_F(RelationFamilies, FrameThatCannotStartLeavesNoFileMarked) {
  RelateParentToChild(RI::None, RI::Cascade);
  ReadParent(1);
  FaultInjector injector(1, {rt::FileOp::SetProperty});
  grandFile_->AddCallback(&injector);  // marking the grandchildren's file fails
  EXPECT_EQ(relParent_->Delete(0), Level::Notify);
  grandFile_->RemoveCallback(&injector);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Transaction cancelled"});
  for (rt::File* file : {parentFile_.get(), childFile_.get(), grandFile_.get()})
    EXPECT_EQ(file->Property(rt::PropLogout), "0") << "a marked file would join the next frame";
  relParent_->Close();
  EXPECT_EQ(Snapshot(), kUntouched);
}

TEST_F(RelationFamilies, EachFaultLeavesTheCascadeWholeOrUndone) {
  RelateParentToChild(RI::Cascade, RI::Cascade);
  const std::string before = Snapshot();
  for (const bool update : {false, true}) {
    for (int failAt = 1;; ++failAt) {
      SCOPED_TRACE(std::to_string(update) + " " + std::to_string(failAt));
      for (const char* name : {"parent.db", "child.db", "grand.db"}) std::filesystem::remove(temp_ / name);
      AddParents({{1, "One"}, {2, "Two"}});
      AddChildren({{1, 1, "a"}, {1, 2, "b"}, {2, 1, "c"}});
      AddGrands({{1, 1, "x"}, {1, 1, "y"}, {1, 2, "z"}, {2, 1, "w"}});
      FaultInjector injector(failAt);
      for (rt::File* file : {parentFile_.get(), childFile_.get(), grandFile_.get()}) file->AddCallback(&injector);
      ASSERT_EQ(relParent_->Open(), Level::Ok);
      PAR.ID = 1;
      const rt::Byte fetched = parent_->Fetch(1);
      relParent_->Save();
      rt::Byte result = Level::Ok;
      if (fetched == Level::Ok && update) {
        PAR.ID = 7;
        result = relParent_->Update();
      } else if (fetched == Level::Ok) {
        result = relParent_->Delete(0);
      }
      relParent_->Close();
      for (rt::File* file : {parentFile_.get(), childFile_.get(), grandFile_.get()}) {
        file->RemoveCallback(&injector);
        EXPECT_EQ(file->Property(rt::PropLogout), "0") << "a file left in a frame";
      }
      EXPECT_TRUE(result == Level::Ok || result == Level::Notify || result == Level::Ask) << int(result);
      const std::string after = Snapshot();
      const std::string done = update ? "2:Two 7:One 2.1 7.1 7.2 2/1:w 7/1:x 7/1:y 7/2:z " : "2:Two 2.1 2/1:w ";
      if (fetched == Level::Ok && result == Level::Ok) {
        EXPECT_EQ(after, done);
      } else {
        EXPECT_TRUE(after == before || after == done) << after;
      }
      EXPECT_EQ(Opened(), "0 0 0");
      if (injector.calls < failAt) {  // the fault was never reached: every point was tried
        EXPECT_GT(failAt, 10);
        break;
      }
    }
  }
}

}  // namespace
}  // namespace testdict
