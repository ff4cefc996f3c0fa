// RelationManager over the test dictionary: opening a graph with a cycle once per walk, and
// referential integrity on delete and update in each mode, framed so that a refusal rolls back
// what was already written; and "try again" after a failed delete repeating all of it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "runtime/core/dialogs.h"
#include "tests/framework/data/data_fixture.h"

namespace testdict {
namespace {

using RelationTest = DataTest;

std::vector<rt::Long> Ids(const std::vector<PAR_Record>& rows) {
  std::vector<rt::Long> ids;
  for (const PAR_Record& r : rows) ids.push_back(r.ID);
  return ids;
}
std::vector<std::pair<rt::Long, rt::Long>> Keys(const std::vector<CHI_Record>& rows) {
  std::vector<std::pair<rt::Long, rt::Long>> keys;
  for (const CHI_Record& r : rows) keys.push_back({r.PARENTID, r.SEQ});
  return keys;
}
std::vector<std::string> Notes(const std::vector<GRA_Record>& rows) {
  std::vector<std::string> notes;
  for (const GRA_Record& r : rows) notes.push_back(std::to_string(r.PARENTID) + "/" + std::to_string(r.CHILDSEQ) + ":" + std::string(r.NOTE.Clipped()));
  return notes;
}

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
};

// ---- Opening ----

TEST_F(RelationTest, ForcedOpenWalksTheCycleOncePerWalk) {
  for (int walk = 1; walk <= 2; ++walk) {
    SCOPED_TRACE(walk);
    ASSERT_EQ(relParent_->ForceOpen(), Level::Ok);
    EXPECT_EQ(parent_->GetOpened(), 1);
    EXPECT_EQ(child_->GetOpened(), 1);
    EXPECT_EQ(grand_->GetOpened(), 1);
    EXPECT_TRUE(parentFile_->IsOpen());
    relParent_->Close();
    EXPECT_EQ(parent_->GetOpened(), 0);
    EXPECT_EQ(child_->GetOpened(), 0);
    EXPECT_EQ(grand_->GetOpened(), 0);
  }
  EXPECT_EQ(relParent_->deferredCalls, 1);
  EXPECT_EQ(relChild_->deferredCalls, 1);
}

TEST_F(RelationTest, LazyOpenOpensItsOwnFileAndOnlyCountsTheRelated) {
  ASSERT_EQ(relParent_->Open(), Level::Ok);
  EXPECT_TRUE(parentFile_->IsOpen());
  EXPECT_EQ(child_->GetOpened(), 1);
  EXPECT_FALSE(childFile_->IsOpen());
  EXPECT_EQ(grand_->GetOpened(), 0) << "only the direct relations of a lazily opened file";
  relParent_->Close();
  EXPECT_FALSE(parentFile_->IsOpen());
  EXPECT_EQ(child_->GetOpened(), 0);
}

// ---- Delete ----

TEST_F(RelationFamilies, RestrictOnDeleteShowsId33AndDeletesNothing) {
  RelateParentToChild(RI::None, RI::Restrict);
  ReadParent(1);
  EXPECT_EQ(relParent_->Delete(0), Level::Notify);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Referential Integrity Delete Error"});
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), (std::vector<rt::Long>{1, 2}));
  EXPECT_EQ(Children().size(), 3u);
  EXPECT_EQ(parent_->GetOpened(), 0);
  EXPECT_EQ(child_->GetOpened(), 0);
}

TEST_F(RelationFamilies, CascadeDeleteTakesChildrenAndGrandchildren) {
  RelateParentToChild(RI::None, RI::Cascade);
  ReadParent(1);
  EXPECT_EQ(relParent_->Delete(0), Level::Ok);
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), std::vector<rt::Long>{2});
  EXPECT_EQ(Keys(Children()), (std::vector<std::pair<rt::Long, rt::Long>>{{2, 1}}));
  EXPECT_EQ(Notes(Grands()), std::vector<std::string>{"2/1:w"});
  EXPECT_TRUE(dialogs_.Shown().empty());
}

TEST_F(RelationFamilies, ClearOnDeleteBlanksTheChildrensLink) {
  RelateParentToChild(RI::None, RI::Clear);
  ReadParent(1);
  EXPECT_EQ(relParent_->Delete(0), Level::Ok);
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), std::vector<rt::Long>{2});
  EXPECT_EQ(Keys(Children()), (std::vector<std::pair<rt::Long, rt::Long>>{{0, 1}, {0, 2}, {2, 1}}));
  EXPECT_EQ(Notes(Grands()), (std::vector<std::string>{"0/1:x", "0/1:y", "0/2:z", "2/1:w"}));
}

TEST_F(RelationFamilies, TryAgainAfterAFailedDeleteRepeatsTheWholeDelete) {
  RelateParentToChild(RI::None, RI::Cascade);
  ReadParent(1);
  parent_->deleteFailuresLeft = 1;
  EXPECT_EQ(relParent_->Delete(0), Level::Ok);  // the user answers Yes to "try again"
  relParent_->Close();
  EXPECT_EQ(ShownTitles(), (std::vector<std::string>{"Record was not deleted", "Record Delete Error"}));
  EXPECT_EQ(parent_->deletesTried, 2);
  EXPECT_EQ(child_->deletesTried, 4) << "the children's deletes were rolled back and done again";
  EXPECT_EQ(Ids(Parents()), std::vector<rt::Long>{2});
  EXPECT_EQ(Keys(Children()), (std::vector<std::pair<rt::Long, rt::Long>>{{2, 1}}));
  EXPECT_EQ(Notes(Grands()), std::vector<std::string>{"2/1:w"});
}

TEST_F(RelationFamilies, FailedDeleteAnsweredNoRollsTheCascadeBack) {
  RelateParentToChild(RI::None, RI::Cascade);
  ReadParent(1);
  parent_->deleteFailuresLeft = 1;
  dialogs_.Answer(rt::BUTTON_OK);
  dialogs_.Answer(rt::BUTTON_NO);
  EXPECT_EQ(relParent_->Delete(0), Level::Notify);
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), (std::vector<rt::Long>{1, 2}));
  EXPECT_EQ(Children().size(), 3u);
  EXPECT_EQ(Grands().size(), 4u);
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
  EXPECT_EQ(Ids(Parents()), (std::vector<rt::Long>{1, 2, 3}));
  EXPECT_EQ(parentFile_->Property(rt::PropLogout), "0");
}

// ---- Update ----

TEST_F(RelationFamilies, RestrictOnUpdateShowsId34ResetsTheLinkAndRollsBack) {
  RelateParentToChild(RI::Restrict, RI::None);
  ReadParent(1);
  PAR.ID = 9;
  EXPECT_EQ(relParent_->Update(), Level::Notify);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Referential Integrity Update Error"});
  EXPECT_EQ(PAR.ID, 1) << "the old linking value is back in the buffer";
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), (std::vector<rt::Long>{1, 2})) << "the parent's own put was rolled back";
  EXPECT_EQ(Keys(Children()), (std::vector<std::pair<rt::Long, rt::Long>>{{1, 1}, {1, 2}, {2, 1}}));
}

TEST_F(RelationFamilies, CascadeUpdateCarriesTheNewLinkTwoLevelsDown) {
  RelateParentToChild(RI::Cascade, RI::None);
  ReadParent(1);
  PAR.ID = 7;
  EXPECT_EQ(relParent_->Update(), Level::Ok);
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), (std::vector<rt::Long>{2, 7}));
  EXPECT_EQ(Keys(Children()), (std::vector<std::pair<rt::Long, rt::Long>>{{2, 1}, {7, 1}, {7, 2}}));
  EXPECT_EQ(Notes(Grands()), (std::vector<std::string>{"2/1:w", "7/1:x", "7/1:y", "7/2:z"}));
  EXPECT_TRUE(dialogs_.Shown().empty());
}

TEST_F(RelationFamilies, ClearOnUpdateBlanksTheLink) {
  RelateParentToChild(RI::Clear, RI::None);
  ReadParent(1);
  PAR.ID = 7;
  EXPECT_EQ(relParent_->Update(), Level::Ok);
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), (std::vector<rt::Long>{2, 7}));
  EXPECT_EQ(Keys(Children()), (std::vector<std::pair<rt::Long, rt::Long>>{{0, 1}, {0, 2}, {2, 1}}));
  EXPECT_EQ(Notes(Grands()), (std::vector<std::string>{"0/1:x", "0/1:y", "0/2:z", "2/1:w"}));
}

TEST_F(RelationFamilies, UpdateThatKeepsTheLinkLeavesChildrenAlone) {
  RelateParentToChild(RI::Restrict, RI::None);
  ReadParent(1);
  PAR.NAME = "Renamed";
  EXPECT_EQ(relParent_->Update(), Level::Ok);
  relParent_->Close();
  EXPECT_EQ(Parents().at(0).NAME, "Renamed");
  EXPECT_TRUE(dialogs_.Shown().empty());
}

// ---- Injected faults ----

using Op = rt::FileOp;

TEST_F(RelationFamilies, FrameThatCannotStartLeavesNoFileMarked) {
  RelateParentToChild(RI::None, RI::Cascade);
  ReadParent(1);
  FaultInjector injector(1, {Op::SetProperty});
  grandFile_->AddCallback(&injector);  // marking the grandchildren's file fails
  EXPECT_EQ(relParent_->Delete(0), Level::Notify);
  grandFile_->RemoveCallback(&injector);
  EXPECT_EQ(ShownTitles(), std::vector<std::string>{"Transaction cancelled"});
  for (rt::File* file : {parentFile_.get(), childFile_.get(), grandFile_.get()})
    EXPECT_EQ(file->Property(rt::PropLogout), "0") << "a marked file would join the next frame";
  relParent_->Close();
  EXPECT_EQ(Ids(Parents()), (std::vector<rt::Long>{1, 2}));
}

struct FaultCase {
  const char* reason;
  bool update;  // cascade update of the parent's id, else cascade delete of the parent
};

class InjectedFaults : public DataTest, public ::testing::WithParamInterface<FaultCase> {
 protected:
  void Fill() {
    for (const char* name : {"parent.db", "child.db", "grand.db"}) std::filesystem::remove(temp_ / name);
    AddParents({{1, "One"}, {2, "Two"}});
    AddChildren({{1, 1, "a"}, {1, 2, "b"}, {2, 1, "c"}});
    AddGrands({{1, 1, "x"}, {1, 2, "z"}, {2, 1, "w"}});
  }
  std::string Snapshot() {
    std::string text;
    for (rt::Long id : Ids(Parents())) text += std::to_string(id) + " ";
    for (const auto& [parent, seq] : Keys(Children())) text += std::to_string(parent) + "." + std::to_string(seq) + " ";
    for (const std::string& note : Notes(Grands())) text += note + " ";
    return text;
  }
};

TEST_P(InjectedFaults, EachFaultLeavesTheCascadeWholeOrUndone) {
  RelateParentToChild(RI::Cascade, RI::Cascade);
  Fill();
  const std::string before = Snapshot();
  for (int failAt = 1;; ++failAt) {
    SCOPED_TRACE(failAt);
    Fill();
    FaultInjector injector(failAt);
    for (rt::File* file : {parentFile_.get(), childFile_.get(), grandFile_.get()}) file->AddCallback(&injector);
    ASSERT_EQ(relParent_->Open(), Level::Ok);
    PAR.ID = 1;
    const rt::Byte fetched = parent_->Fetch(1);
    relParent_->Save();
    rt::Byte result = Level::Ok;
    if (fetched == Level::Ok) {
      if (GetParam().update) {
        PAR.ID = 7;
        result = relParent_->Update();
      } else {
        result = relParent_->Delete(0);
      }
    }
    relParent_->Close();
    for (rt::File* file : {parentFile_.get(), childFile_.get(), grandFile_.get()}) {
      file->RemoveCallback(&injector);
      EXPECT_EQ(file->Property(rt::PropLogout), "0") << "a file left in a frame";
    }
    EXPECT_TRUE(result == Level::Ok || result == Level::Notify || result == Level::Ask) << int(result);
    const std::string after = Snapshot();
    const std::string done = GetParam().update ? "2 7 2.1 7.1 7.2 2/1:w 7/1:x 7/2:z " : "2 2.1 2/1:w ";
    if (fetched == Level::Ok && result == Level::Ok) {
      EXPECT_EQ(after, done);
    } else {
      EXPECT_TRUE(after == before || after == done) << after;
    }
    EXPECT_EQ(parent_->GetOpened(), 0);
    EXPECT_EQ(child_->GetOpened(), 0);
    if (injector.calls < failAt) {  // the fault was never reached: every point was tried
      EXPECT_GT(failAt, 10);
      break;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Cascades, InjectedFaults,
                         ::testing::Values(FaultCase{"Delete", false}, FaultCase{"Update", true}),
                         [](const auto& info) { return std::string(info.param.reason); });

}  // namespace
}  // namespace testdict
