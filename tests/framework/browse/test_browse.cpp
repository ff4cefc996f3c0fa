// BrowseClass in a browse procedure of its own on a program thread, driven by the Robot under
// the headless backend, over a keyed file of 10 000 items and a file without keys read in
// record order. Tables: walks (rows, pages, ends, the thumb, the toolbar's navigation), the
// locator, filters and ranges, the alerted keys and popup items with the update procedure they
// call, the pending toolbar requests after an update, selecting mode, the reread before an
// update; then the small views (empty, fewer rows than the page) and the server filter rewrite.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/browse/browse_class.h"
#include "framework/error/levels.h"
#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/system_props.h"
#include "runtime/core/text.h"
#include "tests/framework/browse/browse_world.h"
#include "tests/runtime/ui/robot_fixture.h"
#include "tests/support/files.h"

namespace browsetest {
namespace {

using rt::Byte;
using rt::Long;
using rt::ui::kWait;
using Strings = std::vector<std::string>;

constexpr int kItems = 10000;

// The two big files are written once and copied for each test.
struct Files {
  TempDir keyed, plain;
  Files() {
    BuildItems(keyed.Path().string(), true, kItems);
    BuildItems(plain.Path().string(), false, kItems);
  }
};
Files& BigFiles() {
  static Files files;
  return files;
}

class BrowseTest : public BrowseFixture {
 protected:
  // Copies the big file the test asks for (or makes `count` items) and opens the browse.
  void Open(BrowseSpec spec, int count = kItems) {
    if (count == kItems) {
      const TempDir& from = spec.keyed ? BigFiles().keyed : BigFiles().plain;
      for (const auto& entry : std::filesystem::directory_iterator(from.Path()))
        std::filesystem::copy(entry.path(), dir_ / entry.path().filename().string());
    } else {
      BuildItems(dir_.Path().string(), spec.keyed, count);
    }
    count_ = count;
    Start(std::move(spec));
  }

  Long Selected() { return rt::PropNumber(robot_.Prop(window_, kList, rt::PROP_Selected)); }
  Long Thumb() { return rt::PropNumber(robot_.Prop(window_, kList, rt::PROP_VScrollPos)); }
  Long SelectedId() {
    const std::vector<Long> ids = ShownIds();
    const Long row = Selected();
    return row >= 1 && row <= static_cast<Long>(ids.size()) ? ids[row - 1] : 0;
  }
  // The ids of `rows` items of the browse's order from index `from` (0-based).
  std::vector<Long> Page(std::size_t from, std::size_t rows = kPageRows) {
    const std::vector<ITM_Record> all = Ordered(spec_.keyed, count_, spec_.order);
    std::vector<Long> ids;
    for (std::size_t i = from; i < all.size() && ids.size() < rows; ++i) ids.push_back(all[i].ID);
    return ids;
  }
  bool Enabled(Long control) { return robot_.Prop(window_, control, rt::PROP_Disable).empty(); }

  int count_ = kItems;
};

// ---- Walks: scrolls, picks, thumb drags and the toolbar's navigation buttons ----

// A step's act: a scroll event, a toolbar button, a pick of a shown row or a drag of the thumb.
constexpr Long Pick(Long row) { return -row; }
constexpr Long Drag(Long percent) { return 10000 + percent; }  // past every event and button number
constexpr Long kDown = rt::EVENT_ScrollDown, kUp = rt::EVENT_ScrollUp, kPgDn = rt::EVENT_PageDown,
               kPgUp = rt::EVENT_PageUp, kTop = rt::EVENT_ScrollTop, kBottom = rt::EVENT_ScrollBottom;

struct Step {
  Long act;  // 0: none
  int top;   // index in the order of the first row shown; kEnd: the last page, kEnd - 1 one row before
  Long selected;
  Long thumb;  // -1: not checked
};
constexpr int kEnd = -1;
std::size_t TopIndex(int top) { return top >= 0 ? top : kItems - kPageRows + top + 1; }

struct PagingCase {
  const char* name;
  bool keyed;
  Order order;
  bool step;  // over a key, the base step keeps the thumb at 50 even at the ends
  std::vector<Step> steps;
};

class Paging : public BrowseTest, public ::testing::WithParamInterface<PagingCase> {};

TEST_P(Paging, EachStepShowsTheRowsThatComeIntoView) {
  const PagingCase& c = GetParam();
  Open({.keyed = c.keyed, .order = c.order, .step = c.step});
  int n = 0;
  for (const Step& step : c.steps) {
    SCOPED_TRACE("step " + std::to_string(++n));
    const Long a = step.act;
    ASSERT_TRUE(a < 0                        ? robot_.PickRow(window_, kList, -a)
                : a >= Drag(0)               ? robot_.DragThumb(window_, kList, a - Drag(0))
                : a >= ToolbarButton::Insert ? robot_.Press(window_, a)
                                             : !a || robot_.Scroll(window_, kList, a));
    EXPECT_EQ(ShownIds(), Page(TopIndex(step.top)));
    EXPECT_EQ(Selected(), step.selected);
    if (step.thumb >= 0) {
      // A step over a key speaks for the thumb; record order has no key value to give it.
      EXPECT_EQ(Thumb(), c.step && c.order != Order::RecordOrder ? 50 : step.thumb);
    }
  }
}

const std::vector<Step> kScrolls = {
    {0, 0, 1, -1},           // 1: opens at the start, first row highlighted
    {kPgUp, 0, 1, 0},        // 2: nothing above the first page: the thumb is at the top
    {kPgDn, 10, 1, 50},      // 3: a page down reads the next page, the highlight keeps its row
    {Pick(10), 10, 10, -1},  // 4
    {kDown, 11, 10, 50},     // 5: past the last row: one row comes in, one goes
    {kBottom, kEnd, 10, 100},  // 6: the end
    {kDown, kEnd, 10, 100},  // 7: nothing past the end
    {kUp, kEnd, 9, -1},      // 8: within the page: the runtime moves the highlight
    {Pick(1), kEnd, 1, -1},
    {kUp, kEnd - 1, 1, 50},  // 10: one row comes in above
    {kTop, 0, 1, 0},         // 11: and back to the start
};
const std::vector<Step> kDrags = {
    {Drag(50), 10, 1, 50},  // 1: no step value: a drag at the middle pages down
    {Drag(50), 20, 1, 50},
    {Drag(2), 10, 1, -1},   // 3: just below the top: a page up
    {Drag(1), 0, 1, 0},     // 4: the first step counts as the top
    {Drag(100), kEnd, 10, 100},
    {Drag(0), 0, 1, 0},
};
// Each navigation button scrolls as its key would.
const std::vector<Step> kButtons = {
    {ToolbarButton::PageDown, 10, 1, -1}, {ToolbarButton::Down, 10, 2, -1},  {Pick(1), 10, 1, -1},
    {ToolbarButton::Up, 9, 1, -1},        {ToolbarButton::PageUp, 0, 1, -1}, {ToolbarButton::Bottom, kEnd, 10, -1},
    {ToolbarButton::Top, 0, 1, -1},
};

INSTANTIATE_TEST_SUITE_P(Browse, Paging,
                         ::testing::Values(PagingCase{"KeyedById", true, Order::ById, false, kScrolls},
                                           PagingCase{"KeyedByIdWithBaseStep", true, Order::ById, true, kScrolls},
                                           PagingCase{"NoKeysInRecordOrder", false, Order::RecordOrder, true, kScrolls},
                                           PagingCase{"ThumbDragsWithBaseStep", true, Order::ById, true, kDrags},
                                           PagingCase{"ThumbDragsNoKeys", false, Order::RecordOrder, true, kDrags},
                                           PagingCase{"ToolbarButtons", true, Order::ById, true, kButtons}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The locator ----

struct LocateCase {
  const char* name;
  std::string typed;  // into the locator entry; empty: keys
  std::vector<Long> keys;
  std::string wanted;  // the first name at or after it is highlighted
};

class Locating : public BrowseTest, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(Locating, FindsTheFirstRecordAtOrAfterTheTypedText) {
  const LocateCase& c = GetParam();
  Open({.order = Order::ByName, .locator = true});
  if (c.keys.empty()) {
    ASSERT_TRUE(robot_.TypeInto(window_, kLocate, c.typed));
  } else {
    for (const Long key : c.keys) ASSERT_TRUE(robot_.PressKey(window_, kList, key));
  }
  const std::vector<ITM_Record> byName = Ordered(true, kItems, Order::ByName);
  const auto found = std::find_if(byName.begin(), byName.end(), [&](const ITM_Record& r) {
    std::string name = r.NAME.Str();
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return name >= c.wanted;
  });
  const Long expected = found == byName.end() ? byName.back().ID : found->ID;
  EXPECT_EQ(SelectedId(), expected);
  const std::size_t index = static_cast<std::size_t>((found == byName.end() ? byName.end() - 1 : found) - byName.begin());
  // With the highlight on the first row, the located record opens the page, unless too few follow.
  EXPECT_EQ(ShownIds(), Page(std::min<std::size_t>(index, kItems - kPageRows)));
}

INSTANTIATE_TEST_SUITE_P(
    Browse, Locating,
    ::testing::Values(LocateCase{"QuotedNameFoundLiterally", "O'Hara", {}, "O'HARA"},
                      LocateCase{"QuoteBetweenNames", "O'C", {}, "O'C"},
                      LocateCase{"PrefixOfSeveral", "n5", {}, "N5"},
                      LocateCase{"PastTheEndGivesTheLast", "ZZZ", {}, "ZZZ"},
                      LocateCase{"TypedKeysAccumulate", "", {'N', '7', '3'}, "N73"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Filters and ranges ----

struct LimitCase {
  const char* name;
  std::string filter;
  Long rangeGroup;
  bool (*keep)(const ITM_Record&);
};

class Limits : public BrowseTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(Limits, OnlyTheRowsInsideAreShownAtBothEnds) {
  const LimitCase& c = GetParam();
  Open({.filter = c.filter, .rangeGroup = c.rangeGroup});
  std::vector<Long> inside;
  for (const ITM_Record& r : Ordered(true, kItems, Order::ById))
    if (c.keep(r)) inside.push_back(r.ID);
  ASSERT_GT(inside.size(), static_cast<std::size_t>(kPageRows));
  EXPECT_EQ(ShownIds(), std::vector<Long>(inside.begin(), inside.begin() + kPageRows));
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_ScrollBottom));
  EXPECT_EQ(ShownIds(), std::vector<Long>(inside.end() - kPageRows, inside.end()));
}

INSTANTIATE_TEST_SUITE_P(
    Browse, Limits,
    ::testing::Values(LimitCase{"Filter", "ITM:ID > 5000 AND ITM:ID <= 5150", 0,
                                [](const ITM_Record& r) { return r.ID > 5000 && r.ID <= 5150; }},
                      LimitCase{"QuotedValue", "ITM:NAME >= 'N99' OR ITM:NAME = 'O''Brien'", 0,
                                [](const ITM_Record& r) { return r.NAME.Str() >= std::string("N99") || r.NAME.Str() == "O'Brien"; }},
                      LimitCase{"Range", "", 7, [](const ITM_Record& r) { return r.GRP == 7; }},
                      LimitCase{"RangeAndFilter", "ITM:ID < 7500", 7,
                                [](const ITM_Record& r) { return r.GRP == 7 && r.ID < 7500; }}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Query by example ----

struct QueryCase {
  const char* name;
  std::string typed;
  std::vector<Long> ids;
};

class Querying : public BrowseTest, public ::testing::WithParamInterface<QueryCase> {};

TEST_P(Querying, TheQueryButtonFiltersTheListAndShowsTheFilter) {
  const QueryCase& c = GetParam();
  Open({.queryTyped = c.typed});
  TypedQuery expected(c.typed);
  expected.AddItem("ITM:NAME", "Name", "S20");
  expected.Ask(true);
  ASSERT_TRUE(robot_.Press(window_, kQuery));
  EXPECT_TRUE(robot_.WaitForProp(window_, kQueryResult, rt::PROP_Text, expected.GetFilter(), kWait));
  EXPECT_EQ(ShownIds(), c.ids);
  EXPECT_EQ(robot_.OpenDialogCount(), 0u) << "no rows is not an error";
  // The popup's Query item asks again and gives the same rows (an empty list offers no popup).
  if (c.ids.empty()) return;
  ASSERT_TRUE(robot_.PressKey(window_, kList, rt::KEY_MouseRightUp));
  const auto popup = robot_.WaitForPopup(kWait);
  ASSERT_TRUE(popup);
  ASSERT_TRUE(robot_.ChoosePopup(*popup, "&Query"));
  EXPECT_EQ(ShownIds(), c.ids);
}

INSTANTIATE_TEST_SUITE_P(Browse, Querying,
                         ::testing::Values(QueryCase{"BeginsWithAQuote", "O'*", {99990, 100000}},
                                           QueryCase{"Equals", "=O'Hara", {100000}},
                                           QueryCase{"MatchesNothing", "ZZZ*", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BrowseTest, AFilterThatDoesNotParseIsReportedOnceAndTheBrowseGoesOn) {
  BuildItems(dir_.Path().string(), true, 40);
  spec_ = {.directory = dir_.Path().string(), .filter = "ITM:NOSUCH = 1"};
  count_ = 40;
  StartBrowse(spec_, log_, outcome_);
  const auto box = robot_.WaitForMessageBox(kWait);
  ASSERT_TRUE(box);
  robot_.PressButton(*box, rt::BUTTON_OK);
  window_ = Find("Browse Items");
  EXPECT_EQ(ShownIds(), Page(0)) << "unfiltered";
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_PageDown));
  EXPECT_EQ(ShownIds(), Page(10));
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_ScrollBottom));
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_ScrollTop));
  EXPECT_EQ(ShownIds(), Page(0));
  EXPECT_EQ(robot_.OpenDialogCount(), 0u) << "reported once, not on every scroll";
}

// ---- Keys, popup items and the update procedure ----

// Changes, inserts and deletes as the update form would, through the file manager.
Byte UpdateAsAsked(World& world, const UpdateCall& call, int) {
  switch (call.request) {
    case Request::Insert:
      world.ITM.ID = 145;
      world.ITM.GRP = 0;
      world.ITM.NAME = "Inserted";
      return world.access.Insert() == Level::Ok ? Response::Completed : Response::Cancelled;
    case Request::Change:
      world.ITM.NAME = "Changed";
      return world.access.Update() == Level::Ok ? Response::Completed : Response::Cancelled;
    case Request::Delete: return world.access.DeleteRecord(0) == Level::Ok ? Response::Completed : Response::Cancelled;
    default: return Response::Cancelled;
  }
}

struct ActionCase {
  const char* name;
  Long key;           // pressed on the list; 0: the popup item below
  const char* item;   // chosen from the popup opened by the right button
  const char* called; // the update call, "" when none
  std::vector<Long> rows;  // ids shown afterwards (the page started at 10)
  Long selectedId;
};

class Actions : public BrowseTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(Actions, EachKeyAndPopupItemCallsTheUpdateProcedureAndTheListFollows) {
  const ActionCase& c = GetParam();
  Open({.update = UpdateAsAsked});
  if (c.key == rt::KEY_MouseLeft2) {
    ASSERT_TRUE(robot_.PickRow(window_, kList, 5, true));  // id 50, clicked twice
  } else if (c.key) {
    ASSERT_TRUE(robot_.PickRow(window_, kList, 5));
    ASSERT_TRUE(robot_.PressKey(window_, kList, c.key));
  } else {  // the popup acts on the row right-clicked, not on the one highlighted before
    ASSERT_TRUE(robot_.PickRow(window_, kList, 2));
    ASSERT_TRUE(robot_.RightClickRow(window_, kList, 5));
    const auto popup = robot_.WaitForPopup(kWait);
    ASSERT_TRUE(popup);
    ASSERT_TRUE(robot_.ChoosePopup(*popup, c.item));
  }
  ASSERT_TRUE(robot_.WaitForWindow("Browse Items", kWait));
  EXPECT_EQ(log_.Take(), c.called[0] ? Strings{c.called} : Strings{});
  EXPECT_EQ(ShownIds(), c.rows);
  EXPECT_EQ(SelectedId(), c.selectedId);
}

INSTANTIATE_TEST_SUITE_P(
    Browse, Actions,
    ::testing::Values(
        // The changed or inserted record keeps the highlighted screen row.
        ActionCase{"InsertKey", rt::KEY_Insert, "", "Insert 0", {110, 120, 130, 140, 145, 150, 160, 170, 180, 190}, 145},
        ActionCase{"CtrlEnterChanges", rt::KEY_CtrlEnter, "", "Change 50", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 50},
        ActionCase{"ShiftEnterViews", rt::KEY_ShiftEnter, "", "View 50", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 50},
        ActionCase{"DeleteKey", rt::KEY_Delete, "", "Delete 50", {10, 20, 30, 40, 60, 70, 80, 90, 100, 110}, 60},
        ActionCase{"DoubleClickChanges", rt::KEY_MouseLeft2, "", "Change 50", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 50},
        ActionCase{"PopupInsert", 0, "Insert", "Insert 0", {110, 120, 130, 140, 145, 150, 160, 170, 180, 190}, 145},
        ActionCase{"PopupChange", 0, "Change", "Change 50", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 50},
        ActionCase{"PopupDelete", 0, "Delete", "Delete 50", {10, 20, 30, 40, 60, 70, 80, 90, 100, 110}, 60},
        ActionCase{"PopupView", 0, "View", "View 50", {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, 50}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BrowseTest, WithoutEditViaPopupTheKeysAreNotAlertedAndThePopupHasNoEditItems) {
  Open({.editViaPopup = false, .update = UpdateAsAsked});
  ASSERT_TRUE(robot_.PickRow(window_, kList, 2));
  for (const Long key : {rt::KEY_Insert, rt::KEY_Delete, rt::KEY_CtrlEnter, rt::KEY_ShiftEnter})
    ASSERT_TRUE(robot_.PressKey(window_, kList, key));
  ASSERT_TRUE(robot_.PressKey(window_, kList, rt::KEY_MouseRightUp));
  EXPECT_EQ(robot_.OpenDialogCount(), 0u) << "a popup without items is not shown";
  EXPECT_EQ(log_.Take(), Strings{});
  EXPECT_EQ(ShownIds(), Page(0));
}

// ---- Requests the toolbar leaves pending after an update ----

struct PendingCase {
  const char* name;
  Byte firstRequest;
  Long pending;  // left by the first call
  Strings calls;
};

class PendingRequests : public BrowseTest, public ::testing::WithParamInterface<PendingCase> {};

TEST_P(PendingRequests, TheFormOpensAgainOnTheRecordTheRequestNames) {
  const PendingCase& c = GetParam();
  Open({.update = [&c](World& world, const UpdateCall& call, int number) -> Byte {
    if (number > 1) return Response::Cancelled;
    world.vcr = c.pending;
    if (call.request == Request::Insert) {
      world.ITM.ID = 55;
      world.ITM.NAME = "New";
      return world.access.Insert() == Level::Ok ? Response::Completed : Response::Cancelled;
    }
    return Response::Completed;
  }});
  ASSERT_TRUE(robot_.PickRow(window_, kList, 5));
  ASSERT_TRUE(robot_.Press(window_, c.firstRequest == Request::Insert ? kInsert : kChange));
  ASSERT_TRUE(robot_.WaitForWindow("Browse Items", kWait));
  EXPECT_EQ(log_.Take(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(Browse, PendingRequests,
                         ::testing::Values(PendingCase{"InsertAgain3001", Request::Insert, ToolbarButton::Insert, {"Insert 0", "Insert 0"}},
                                           PendingCase{"NextAfterInsert3009", Request::Insert, ToolbarButton::Down, {"Insert 0", "Insert 0"}},
                                           PendingCase{"NextAfterChange3009", Request::Change, ToolbarButton::Down, {"Change 50", "Change 60"}},
                                           PendingCase{"PreviousAfterChange3010", Request::Change, ToolbarButton::Up, {"Change 50", "Change 40"}},
                                           PendingCase{"LastAfterChange3005", Request::Change, ToolbarButton::Bottom, {"Change 50", "Change 100000"}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Selecting ----

enum class Choice { DoubleClick, PopupSelect, Close };

struct SelectCase {
  const char* name;
  Choice pick;      // Close cancels
  Long expectedId;  // the primary record when the window has closed
  Byte response;
};

class Selecting : public BrowseTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(Selecting, ADoubleClickPicksAndCancelRestoresTheSavedRecord) {
  const SelectCase& c = GetParam();
  ITM_Record before;
  before.GRP = 3;
  before.ID = 3333;
  before.NAME = "Saved";
  Open({.request = Request::Select, .before = before});
  EXPECT_EQ(ShownIds(), Page(299)) << "a selecting browse opens where the current record's group starts";
  EXPECT_TRUE(Enabled(kSelect));
  EXPECT_EQ(robot_.Prop(window_, kSelect, rt::PROP_Default), "1");
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_PageDown));
  ASSERT_TRUE(robot_.PickRow(window_, kList, 3, c.pick == Choice::DoubleClick));
  if (c.pick == Choice::PopupSelect) {
    ASSERT_TRUE(robot_.PressKey(window_, kList, rt::KEY_MouseRightUp));
    const auto popup = robot_.WaitForPopup(kWait);
    ASSERT_TRUE(popup);
    ASSERT_TRUE(robot_.ChoosePopup(*popup, "Select"));
  } else if (c.pick == Choice::Close) {
    ASSERT_TRUE(robot_.Press(window_, kClose));
  }
  ASSERT_TRUE(rt::WaitForStartedThreads(kWait)) << robot_.DescribeScreen();
  EXPECT_EQ(outcome_.response, c.response);
  EXPECT_EQ(outcome_.record.ID, c.expectedId);
}

INSTANTIATE_TEST_SUITE_P(Browse, Selecting,
                         ::testing::Values(SelectCase{"DoubleClickPicks", Choice::DoubleClick, 3120, Response::Completed},
                                           SelectCase{"PopupSelectPicks", Choice::PopupSelect, 3120, Response::Completed},
                                           SelectCase{"CloseCancelsAndRestores", Choice::Close, 3333, Response::Cancelled}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(BrowseTest, ABrowseForUpdatesOpensAtTheStartWhateverTheCurrentRecord) {
  ITM_Record before;
  before.GRP = 3;
  before.ID = 3330;
  Open({.before = before});
  EXPECT_EQ(ShownIds(), Page(0));
}

// ---- The reread before an update ----

TEST_F(BrowseTest, ARecordDeletedElsewhereIsReportedAndTheListReloaded) {
  Open({.update = UpdateAsAsked});
  ASSERT_TRUE(robot_.PickRow(window_, kList, 4));  // id 40
  Elsewhere(dir_.Path().string(), 40, [](rt::File& file, ITM_Record&) { file.Delete(); });
  ASSERT_TRUE(robot_.Press(window_, kChange));
  const auto box = robot_.WaitForMessageBox(kWait);
  ASSERT_TRUE(box);
  EXPECT_EQ(box->caption, "Record Retrieval Error");
  robot_.PressButton(*box, rt::BUTTON_OK);
  ASSERT_TRUE(robot_.WaitForWindow("Browse Items", kWait));
  EXPECT_EQ(log_.Take(), Strings{}) << "no form for a record that is gone";
  EXPECT_EQ(ShownIds(), (std::vector<Long>{10, 20, 30, 50, 60, 70, 80, 90, 100, 110}));
  EXPECT_EQ(SelectedId(), 50);
}

// ---- Small views ----

TEST_F(BrowseTest, AnEmptyViewDisablesTheRecordButtonsAndInsertStillWorks) {
  Open({.update = UpdateAsAsked}, 0);
  EXPECT_TRUE(ShownIds().empty());
  for (const Long button : {kChange, kDelete, kView}) EXPECT_FALSE(Enabled(button)) << button;
  EXPECT_TRUE(Enabled(kInsert));
  ASSERT_TRUE(robot_.PressKey(window_, kList, rt::KEY_Insert));
  ASSERT_TRUE(robot_.WaitForWindow("Browse Items", kWait));
  EXPECT_EQ(log_.Take(), Strings{"Insert 0"}) << "the primary record was cleared";
  EXPECT_EQ(ShownIds(), std::vector<Long>{145});
  EXPECT_TRUE(Enabled(kChange));
}

struct FewCase {
  const char* name;
  bool allowUnfilled;
  std::size_t top;  // after locating the last of four: the index of the first row shown
  Long selected;
};

class FewerThanAPage : public BrowseTest, public ::testing::WithParamInterface<FewCase> {};

TEST_P(FewerThanAPage, ThePageFillsFromBothSidesUnlessUnfilledIsAllowed) {
  const FewCase& c = GetParam();
  Open({.order = Order::ByName, .locator = true, .allowUnfilled = c.allowUnfilled}, 4);
  EXPECT_EQ(ShownIds(), Page(0));
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_PageDown));
  EXPECT_EQ(ShownIds(), Page(0)) << "nothing more to read";
  ASSERT_TRUE(robot_.PickRow(window_, kList, 1));
  ASSERT_TRUE(robot_.TypeInto(window_, kLocate, "O'H"));
  EXPECT_EQ(ShownIds(), Page(c.top));
  EXPECT_EQ(Selected(), c.selected);
  EXPECT_EQ(SelectedId(), Page(3).front());
}

INSTANTIATE_TEST_SUITE_P(Browse, FewerThanAPage,
                         ::testing::Values(FewCase{"FilledUpward", false, 0, 4}, FewCase{"AllowUnfilled", true, 3, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The server filter rewrite ----

TEST(RewriteServerFilter, EachSqlTermComparesAsTrueHere) {
  const struct {
    const char* before;
    const char* after;
  } cases[] = {
      {"A = 1 AND SQL(B > 2)", "A = 1 AND ''=SQL(B > 2)"},      // 1: a term after a blank
      {"SQL(B > 2)", " ''=SQL(B > 2)"},                        // 2: at the start
      {"SQL  (B)", " ''=SQL(B)"},                              // 3: blanks before its parenthesis
      {"(SQL(B) OR A = 1)", "( ''=SQL(B) OR A = 1)"},         // 4: the opening parenthesis stays
      {"~SQL(B)", " ''=SQL(B)"},                               // 5
      {"sql(B) AND SQL(C)", " ''=SQL(B) AND ''=SQL(C)"},       // 6: every term, any case
      {"A = 'MYSQL(' AND NOSQL(B)", "A = 'MYSQL(' AND NOSQL(B)"},  // 7: not the start of a term
      {"A = 1", "A = 1"},
      {"SQL", "SQL"},  // 9: too short to hold a term
  };
  for (const auto& c : cases) {
    std::string filter = c.before;
    EXPECT_FALSE(RewriteServerFilter(filter)) << "the reset goes on";
    EXPECT_EQ(filter, c.after) << c.before;
  }
}

}  // namespace
}  // namespace browsetest
