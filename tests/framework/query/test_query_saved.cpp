// QueryClass's named queries in a real INI file; a restart is a new INI manager over the same file.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/error/error_class.h"
#include "framework/popup/popup_class.h"
#include "framework/query/query_class.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/ui/events.h"
#include "tests/support/files.h"
#include "tests/support/scripted_dialogs.h"

namespace {

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForQueryTests"};

// A range form over three fields; `withCity` false is the same form after a column was dropped.
class FormQuery : public QueryClass {
 public:
  FormQuery(INIClass& ini, ErrorClass& errors, bool withCity = true) {
    Init("BrowseItems", &ini, &errors);
    AddItem("ITM:NAME", "Name", "S40");
    AddItem("ITM:PRICE", "Price", "N9");
    if (withCity) AddItem("UPPER(ITM:CITY)", "City", "S20");
  }
  rt::Byte Kind() const override { return QueryKind::Range; }
};

std::vector<std::string> Values(const QueryClass& query) {
  std::vector<std::string> out;
  for (const FieldQueueEntry& e : query.Fields())
    out.push_back(e.Name.Str() + "=" + e.Low.Str() + "|" + e.Middle.Str() + "|" + e.High.Str());
  return out;
}

std::vector<std::string> Names(SectorQueue& queries) {
  std::vector<std::string> out;
  for (rt::Long i = 1; i <= queries.Q().Records(); ++i) {
    queries.Q().Get(i);
    out.push_back(queries.Rec().Item.Str());
  }
  return out;
}

class SavedQueries : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::SetDialogHost(&dialogs_);
    rt::testing::ClearAssertionMessages();
    errors_.Init(gStatus);
    ini_.Init(file_);
  }
  void TearDown() override { rt::SetDialogHost(nullptr); }
  // Ends this "session" and starts the next over the same file.
  void Restart() {
    ini_.Kill();
    ini_.Init(file_);
  }

  TempDir temp_;
  std::string file_ = (temp_ / "Quibbet_demo.INI").string();
  ScriptedDialogs dialogs_;
  ErrorClass errors_;
  INIClass ini_;
};

TEST_F(SavedQueries, ANamedQuerySurvivesARestartWithEveryValueWhole) {
  {
    FormQuery query(ini_, errors_);
    query.SetValues("ITM:NAME", "*a,b%2C'c");
    query.SetValues("ITM:PRICE", "", ">=10", "<20");
    query.SetValues("UPPER(ITM:CITY)", "line\nbreak");
    query.Save("Cheap ones");
  }
  Restart();
  const std::string sector = ini_.GetSector("Query", "Cheap ones", "BrowseItems");  // name, value, low, high
  EXPECT_EQ(ini_.Fetch(sector, "Fields_1") + " " + ini_.Fetch(sector, "Fields_2"), "ITM:NAME,*a%2Cb%252C'c,, ITM:PRICE,,>=10,<20");
  FormQuery later(ini_, errors_);
  later.Restore("Cheap ones");
  EXPECT_EQ(Values(later), (std::vector<std::string>{"ITM:NAME=|*a,b%2C'c|", "ITM:PRICE=>=10||<20",
                                                     "UPPER(ITM:CITY)=|line\nbreak|"}));
  EXPECT_EQ(later.GetFilter(), "INSTRING('a,b%2C''c',ITM:NAME,1,1) <> 0 AND (ITM:PRICE >= 10) AND (ITM:PRICE < 20) AND "
                               "(UPPER(ITM:CITY) = 'LINE\nBREAK')");
  EXPECT_TRUE(dialogs_.Shown().empty() && rt::testing::AssertionMessages().empty());
}

// Written as an older program wrote it: the field under its UPPER() name, values bare, and a
// column the form no longer has, reported once and dropped.
TEST_F(SavedQueries, AColumnSavedCaselessAsksForItWithACaretAndAColumnNoLongerThereIsDropped) {
  const std::string sector = ini_.GetSector("Query", "Caseless", "BrowseItems");
  ini_.AddSector(sector);
  ini_.Update(sector, "Fields", "3");
  ini_.Update(sector, "Fields_1", "UPPER(ITM:NAME),abc,x,=^y");
  ini_.Update(sector, "Fields_2", "ITM:GONE,5,,");
  ini_.Update(sector, "Fields_3", "itm:city,rome,,");
  FormQuery query(ini_, errors_);
  query.SetValues("ITM:PRICE", "left over");
  query.Restore("Caseless");
  EXPECT_EQ(Values(query), (std::vector<std::string>{"ITM:NAME=^x|^abc|=^y", "ITM:PRICE=||", "UPPER(ITM:CITY)=|rome|"}))
      << "found inside UPPER(); a second-place caret is left alone; a bare name finds the UPPER() field";
  EXPECT_EQ(query.GetFilter(), "(UPPER(ITM:NAME) >= 'X') AND (UPPER(ITM:NAME) <= 'Y') AND (UPPER(ITM:CITY) = 'ROME')");
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 2u) << "low and high that differ from the single value";
  ASSERT_EQ(dialogs_.Shown().size(), 1u);
  EXPECT_EQ(dialogs_.Shown()[0].text, "The saved QBE column, ITM:GONE is not supported. It will be dropped from the query.");
}

TEST_F(SavedQueries, TheListIsSortedAndLeavesOutTheLastUsedAndOtherFamilies) {
  FormQuery query(ini_, errors_);
  query.SetValues("ITM:NAME", "x");
  for (const char* name : {"zeta", "Alpha", "tsMRU", "mid"}) query.Save(name);
  QueryClass other;
  other.Init("OtherBrowse", &ini_, &errors_);
  other.Save("theirs");
  SectorQueue queries;
  Restart();
  query.GetQueries(queries);
  EXPECT_EQ(Names(queries), (std::vector<std::string>{"Alpha", "mid", "zeta"}));
  QueryClass noIni;
  noIni.Init("BrowseItems", nullptr, nullptr);
  noIni.GetQueries(queries);
  EXPECT_EQ(queries.Q().Records(), 0);
  EXPECT_FALSE(noIni.QuickPopupOffered());
}

// The quick popup: a submenu of the saved queries (or a disabled "Empty"), each posting to the
// query control; Take restores the chosen one or clears, and saves the result as the last used.
TEST_F(SavedQueries, TheQuickPopupListsTheSavedQueriesAndTakeRestoresOrClears) {
  FormQuery query(ini_, errors_);
  PopupClass popup;
  popup.Init();
  popup.AddItem("&Insert");
  EXPECT_EQ(query.Take(&popup), 0) << "no quick popup yet";
  query.SetQuickPopup(popup, 12);
  EXPECT_EQ(popup.GetMenuText(), "|&Insert|-|Saved &Queries{~Empty|-|C&lear}");
  query.SetValues("ITM:PRICE", "7");
  query.Save("Seven");
  query.Save("Red ones");
  query.ClearQuery();
  query.SetQuickPopup(popup, 12);  // built again, not added twice
  EXPECT_EQ(popup.GetMenuText(), "|&Insert|-|Saved &Queries{Red ones|Seven|-|C&lear}");
  std::vector<std::string> posts;
  for (const PopupItemQueue& item : *popup.PopupItems)
    if (item.Event) posts.push_back(item.Name + ">" + std::to_string(item.Event == rt::EVENT_NewSelection) + ":" + std::to_string(item.ControlId));
  EXPECT_EQ(posts, (std::vector<std::string>{"Redones>1:12", "Seven>1:12", "tsQBEClear>1:12"}));

  FormQuery fresh(ini_, errors_);
  for (const auto& [selection, filter] : {std::pair{"Seven", "(ITM:PRICE = 7)"}, {"tsQBEClear", ""}}) {
    popup.LastSelection = selection;
    EXPECT_EQ(query.Take(&popup), 1);
    EXPECT_EQ(query.GetFilter(), filter);
    fresh.Restore("tsMRU");
    EXPECT_EQ(fresh.GetFilter(), filter) << "saved as the last used";
  }
}

}  // namespace
