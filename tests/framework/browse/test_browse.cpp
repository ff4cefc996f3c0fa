// BrowseClass in a browse procedure of its own under the headless backend, over a keyed file of
// 10 000 items and a file without keys. Tables: walks, the locator, filters and ranges, query by
// example, keys and popup items with the update calls, selecting; an empty view; the server filter rewrite.

#include <gtest/gtest.h>
#include <strings.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/error/levels.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/system_props.h"
#include "framework/window/toolbar.h"
#include "tests/framework/browse/browse_world.h"

namespace browsetest {
namespace {

using rt::Byte;
using rt::Long;
using rt::ui::kWait;
using Strings = std::vector<std::string>;
using Ids = std::vector<Long>;

constexpr int kItems = 10000;

class BrowseTest : public BrowseFixture {
 protected:
  // Copies the big file the test asks for (written once) or makes `count` items, and opens the browse.
  void Open(BrowseSpec spec, int count = kItems) {
    static const TempDir keyed, plain;
    static const bool built = (BuildItems(keyed.Path().string(), true, kItems), BuildItems(plain.Path().string(), false, kItems), true);
    if (count == kItems && built) {
      for (const auto& entry : std::filesystem::directory_iterator((spec.keyed ? keyed : plain).Path()))
        std::filesystem::copy(entry.path(), dir_ / entry.path().filename().string());
    } else {
      BuildItems(dir_.Path().string(), spec.keyed, count);
    }
    count_ = count;
    Start(std::move(spec));
  }

  Long Selected() { return rt::PropNumber(robot_.Prop(window_, kList, rt::PROP_Selected)); }
  Long SelectedId() {
    const Ids ids = ShownIds();
    const Long row = Selected();
    return row >= 1 && row <= static_cast<Long>(ids.size()) ? ids[row - 1] : 0;
  }
  // The ids of up to a page of the browse's order from index `from` (0-based).
  Ids Page(std::size_t from) {
    const std::vector<ITM_Record> all = Ordered(spec_.keyed, count_, spec_.order);
    Ids ids;
    for (std::size_t i = from; i < all.size() && ids.size() < kPageRows; ++i) ids.push_back(all[i].ID);
    return ids;
  }
  bool Enabled(Long control) { return robot_.Prop(window_, control, rt::PROP_Disable).empty(); }
  void ChoosePopup(const char* item) {
    const auto popup = robot_.WaitForPopup(kWait);
    ASSERT_TRUE(popup);
    ASSERT_TRUE(robot_.ChoosePopup(*popup, item));
  }

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
    EXPECT_EQ(ShownIds(), Page(step.top >= 0 ? step.top : kItems - kPageRows + step.top + 1));
    EXPECT_EQ(Selected(), step.selected);
    // A step over a key speaks for the thumb; record order has no key value to give it.
    if (step.thumb >= 0) {
      EXPECT_EQ(rt::PropNumber(robot_.Prop(window_, kList, rt::PROP_VScrollPos)),
                c.step && c.order != Order::RecordOrder ? 50 : step.thumb);
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

// ---- The locator: after a page down, typed into the entry or as keys on the list ----

struct LocateCase {
  const char* name;
  int count;
  bool allowUnfilled;
  std::string typed;  // into the locator entry; empty: keys
  std::vector<Long> keys;
  std::string wanted;  // the first name at or after it is highlighted
};

class Locating : public BrowseTest, public ::testing::WithParamInterface<LocateCase> {};

TEST_P(Locating, FindsTheFirstRecordAtOrAfterTheTypedText) {
  const LocateCase& c = GetParam();
  Open({.order = Order::ByName, .locator = true, .setUp = [&c](World&, BrowseClass& b) { b.AllowUnfilled = c.allowUnfilled; }},
       c.count);
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_PageDown));
  EXPECT_EQ(ShownIds(), Page(std::max(std::min(kPageRows, c.count - kPageRows), 0))) << "a short list reads no more";
  ASSERT_TRUE(robot_.PickRow(window_, kList, 1));
  ASSERT_TRUE(c.keys.empty() ? robot_.TypeInto(window_, kLocate, c.typed) : true);
  for (const Long key : c.keys) ASSERT_TRUE(robot_.PressKey(window_, kList, key));
  const std::vector<ITM_Record> byName = Ordered(true, c.count, Order::ByName);
  std::size_t index = 0;
  while (index + 1 < byName.size() && strcasecmp(byName[index].NAME.Str().c_str(), c.wanted.c_str()) < 0) ++index;
  // The located record opens the page unless too few follow and the page must be filled.
  const std::size_t top = c.allowUnfilled ? index : std::min<std::size_t>(index, std::max(c.count - kPageRows, 0));
  EXPECT_EQ(ShownIds(), Page(top));
  EXPECT_EQ(Selected(), static_cast<Long>(index - top + 1));
  EXPECT_EQ(SelectedId(), byName[index].ID);
}

INSTANTIATE_TEST_SUITE_P(Browse, Locating,
                         ::testing::Values(LocateCase{"QuotedNameFoundLiterally", kItems, false, "O'Hara", {}, "O'HARA"},
                                           LocateCase{"PrefixOfSeveral", kItems, false, "n5", {}, "N5"},
                                           LocateCase{"PastTheEndGivesTheLast", kItems, false, "ZZZ", {}, "ZZZ"},
                                           LocateCase{"TypedKeysAccumulate", kItems, false, "", {'N', '7', '3'}, "N73"},
                                           LocateCase{"FewerThanAPageFilledUpward", 4, false, "O'H", {}, "O'H"},
                                           LocateCase{"FewerThanAPageUnfilled", 4, true, "O'H", {}, "O'H"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Filters and ranges; a filter that does not parse is reported once and not applied ----

struct LimitCase {
  const char* name;
  std::string filter;
  Long rangeGroup;
  bool (*keep)(const ITM_Record&);  // nullptr: the filter is reported and every row kept
};

class Limits : public BrowseTest, public ::testing::WithParamInterface<LimitCase> {};

TEST_P(Limits, OnlyTheRowsInsideAreShownAtBothEnds) {
  const LimitCase& c = GetParam();
  Open({.filter = c.filter, .rangeGroup = c.rangeGroup});
  if (!c.keep) {
    const auto box = robot_.WaitForMessageBox(kWait);
    ASSERT_TRUE(box);
    robot_.PressButton(*box, rt::BUTTON_OK);
  }
  Ids inside;
  for (const ITM_Record& r : Ordered(true, kItems, Order::ById))
    if (!c.keep || c.keep(r)) inside.push_back(r.ID);
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_ScrollTop));
  EXPECT_EQ(ShownIds(), Ids(inside.begin(), inside.begin() + kPageRows));
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_ScrollBottom));
  EXPECT_EQ(ShownIds(), Ids(inside.end() - kPageRows, inside.end()));
  EXPECT_EQ(robot_.OpenDialogCount(), 0u) << "reported once, not on every scroll";
}

INSTANTIATE_TEST_SUITE_P(
    Browse, Limits,
    ::testing::Values(LimitCase{"Filter", "ITM:ID > 5000 AND ITM:ID <= 5150", 0,
                                [](const ITM_Record& r) { return r.ID > 5000 && r.ID <= 5150; }},
                      LimitCase{"Range", "", 7, [](const ITM_Record& r) { return r.GRP == 7; }},
                      LimitCase{"RangeAndFilter", "ITM:ID < 7500", 7, [](const ITM_Record& r) { return r.GRP == 7 && r.ID < 7500; }},
                      LimitCase{"FilterThatDoesNotParse", "ITM:NOSUCH = 1", 0, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Query by example: the Query button, then the popup's Query item, give the rows ----

struct QueryCase {
  const char* name;
  std::string typed;
  Ids ids;
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
  if (c.ids.empty()) return;  // an empty list offers no popup
  ASSERT_TRUE(robot_.PressKey(window_, kList, rt::KEY_MouseRightUp));
  ChoosePopup("&Query");
  EXPECT_EQ(ShownIds(), c.ids);
}

INSTANTIATE_TEST_SUITE_P(Browse, Querying,
                         ::testing::Values(QueryCase{"BeginsWithAQuote", "O'*", {99990, 100000}},
                                           QueryCase{"Equals", "=O'Hara", {100000}}, QueryCase{"MatchesNothing", "ZZZ*", {}}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Keys, popup items and the update procedure ----

// Changes, inserts and deletes as the update form would, through the file manager.
Byte UpdateAsAsked(World& world, Byte request, int = 1) {
  Byte level = Level::Notify;
  if (request == Request::Insert) {
    world.ITM = {0, 145, rt::FixedString<20>("Inserted")};
    level = world.access.Insert();
  } else if (request == Request::Change) {
    world.ITM.NAME = "Changed";
    level = world.access.Update();
  } else if (request == Request::Delete) {
    level = world.access.DeleteRecord(0);
  }
  return level == Level::Ok ? Response::Completed : Response::Cancelled;
}

struct ActionCase {
  const char* name;
  Long key;        // pressed on row 5 of the list; 0: the popup item on row 5 right-clicked
  const char* item;
  Strings called;  // the update calls
  Ids rows;        // ids shown afterwards
  Long selectedId;
  Long pending = 0;  // the toolbar request the first update leaves: the form opens again on that record
  bool editViaPopup = true;
  bool goneElsewhere = false;  // another station deletes the record first: reported, no form, the list reloaded
};

class Actions : public BrowseTest, public ::testing::WithParamInterface<ActionCase> {};

TEST_P(Actions, EachKeyAndPopupItemCallsTheUpdateProcedureAndTheListFollows) {
  const ActionCase& c = GetParam();
  // Whatever the current record, a browse for updates opens at the start.
  Open({.before = {3, 3330, {}},
        .update = [&c](World& world, Byte request, int call) -> Byte {
          world.vcr = call == 1 ? c.pending : 0;
          return call == 1 ? UpdateAsAsked(world, request) : Response::Cancelled;
        },
        .setUp = [&c](World&, BrowseClass& b) { b.EditViaPopup = c.editViaPopup; }});
  ASSERT_EQ(ShownIds(), Page(0));
  if (c.key == rt::KEY_MouseLeft2) {
    ASSERT_TRUE(robot_.PickRow(window_, kList, 5, true));
  } else if (c.key) {
    ASSERT_TRUE(robot_.PickRow(window_, kList, 5));
    if (c.goneElsewhere) Elsewhere(dir_.Path().string(), [](rt::File& file, ITM_Record&) { file.Delete(); }, 50);
    ASSERT_TRUE(robot_.PressKey(window_, kList, c.key));
  } else {  // the popup acts on the row right-clicked, not on the one highlighted before
    ASSERT_TRUE(robot_.PickRow(window_, kList, 2));
    ASSERT_TRUE(robot_.RightClickRow(window_, kList, 5));
    ChoosePopup(c.item);
  }
  if (c.goneElsewhere) {
    const auto box = robot_.WaitForMessageBox(kWait);
    ASSERT_TRUE(box && box->caption == "Record Retrieval Error" && robot_.PressButton(*box, rt::BUTTON_OK));
  }
  ASSERT_TRUE(robot_.WaitForWindow("Browse Items", kWait));
  EXPECT_EQ(log_.Take(), c.called);
  EXPECT_EQ(ShownIds(), c.rows);
  EXPECT_EQ(SelectedId(), c.selectedId);
}

// The changed or inserted record keeps the highlighted screen row; the list follows the record a
// pending request opens the form on.
const Ids kStart = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100}, kInserted = {110, 120, 130, 140, 145, 150, 160, 170, 180, 190},
          kDeleted = {10, 20, 30, 40, 60, 70, 80, 90, 100, 110};
INSTANTIATE_TEST_SUITE_P(
    Browse, Actions,
    ::testing::Values(ActionCase{"InsertKey", rt::KEY_Insert, "", {"Insert 0"}, kInserted, 145},
                      ActionCase{"CtrlEnterChanges", rt::KEY_CtrlEnter, "", {"Change 50"}, kStart, 50},
                      ActionCase{"ShiftEnterViews", rt::KEY_ShiftEnter, "", {"View 50"}, kStart, 50},
                      ActionCase{"DeleteKey", rt::KEY_Delete, "", {"Delete 50"}, kDeleted, 60},
                      ActionCase{"DoubleClickChanges", rt::KEY_MouseLeft2, "", {"Change 50"}, kStart, 50},
                      ActionCase{"PopupChange", 0, "Change", {"Change 50"}, kStart, 50},
                      ActionCase{"PopupDelete", 0, "Delete", {"Delete 50"}, kDeleted, 60},
                      ActionCase{"NoEditViaPopupNoInsertKey", rt::KEY_Insert, "", {}, kStart, 50, 0, false},
                      ActionCase{"ChangeOfARecordDeletedElsewhere", rt::KEY_CtrlEnter, "", {}, kDeleted, 60, 0, true, true},
                      ActionCase{"InsertAgain", rt::KEY_Insert, "", {"Insert 0", "Insert 0"}, kInserted, 145, ToolbarButton::Insert},
                      ActionCase{"NextAfterChange", rt::KEY_CtrlEnter, "", {"Change 50", "Change 60"}, kStart, 60, ToolbarButton::Down},
                      ActionCase{"LastAfterChange", rt::KEY_CtrlEnter, "", {"Change 50", "Change 100000"},
                                 {99910, 99920, 99930, 99940, 99950, 99960, 99970, 99980, 99990, 100000}, 100000, ToolbarButton::Bottom}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Selecting: opens where the current record's group starts; a pick ends it, Close restores ----

enum class Choice { DoubleClick, PopupSelect, Close };

struct SelectCase {
  const char* name;
  Choice pick;      // of row 3 on the second page
  Long expectedId;  // the primary record when the window has closed
  Byte response;
};

class Selecting : public BrowseTest, public ::testing::WithParamInterface<SelectCase> {};

TEST_P(Selecting, APickEndsTheBrowseAndCloseRestoresTheSavedRecord) {
  const SelectCase& c = GetParam();
  Open({.request = Request::Select, .before = {3, 3333, {}}});
  EXPECT_EQ(ShownIds(), Page(299));
  EXPECT_TRUE(Enabled(kSelect) && robot_.Prop(window_, kSelect, rt::PROP_Default) == "1");
  ASSERT_TRUE(robot_.Scroll(window_, kList, rt::EVENT_PageDown));
  ASSERT_TRUE(robot_.PickRow(window_, kList, 3, c.pick == Choice::DoubleClick));
  if (c.pick == Choice::PopupSelect) {
    ASSERT_TRUE(robot_.PressKey(window_, kList, rt::KEY_MouseRightUp));
    ChoosePopup("Select");
  }
  if (c.pick == Choice::Close) {
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

// ---- An empty view ----

TEST_F(BrowseTest, AnEmptyViewDisablesTheRecordButtonsAndInsertStillWorks) {
  Open({.update = UpdateAsAsked}, 0);
  EXPECT_TRUE(ShownIds().empty());
  for (const Long button : {kChange, kDelete, kView}) EXPECT_FALSE(Enabled(button)) << button;
  EXPECT_TRUE(Enabled(kInsert));
  ASSERT_TRUE(robot_.PressKey(window_, kList, rt::KEY_Insert));
  ASSERT_TRUE(robot_.WaitForWindow("Browse Items", kWait));
  EXPECT_EQ(log_.Take(), Strings{"Insert 0"}) << "the primary record was cleared";
  EXPECT_EQ(ShownIds(), Ids{145});
  EXPECT_TRUE(Enabled(kChange));
}

// ---- The server filter rewrite: each SQL term compares as true here ----

TEST(RewriteServerFilter, EachSqlTermComparesAsTrueHere) {
  const std::pair<const char*, const char*> cases[] = {
      {"A = 1 AND SQL(B > 2)", "A = 1 AND ''=SQL(B > 2)"},      // after a blank
      {"SQL(B > 2)", " ''=SQL(B > 2)"},                        // at the start
      {"SQL  (B)", " ''=SQL(B)"},                              // blanks before its parenthesis
      {"(SQL(B) OR A = 1)", "( ''=SQL(B) OR A = 1)"},         // the opening parenthesis stays
      {"~SQL(B)", " ''=SQL(B)"},
      {"sql(B) AND SQL(C)", " ''=SQL(B) AND ''=SQL(C)"},       // every term, any case
      {"A = 'MYSQL(' AND NOSQL(B)", "A = 'MYSQL(' AND NOSQL(B)"},  // not the start of a term
      {"A = 1", "A = 1"},
      {"SQL", "SQL"},  // too short to hold a term
  };
  for (const auto& [before, after] : cases) {
    std::string filter = before;
    EXPECT_FALSE(RewriteServerFilter(filter)) << "the reset goes on";
    EXPECT_EQ(filter, after) << before;
  }
}

}  // namespace
}  // namespace browsetest
