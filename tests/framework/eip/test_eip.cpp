// Edit in place over the browse tests' own procedure (40 items, ten rows a page) under the
// headless backend. One table: user acts with checks on the way, then what the file holds and
// which rows the list shows.

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "framework/eip/browse_eip_manager.h"
#include "framework/eip/eip_manager.h"
#include "framework/error/levels.h"
#include "tests/framework/browse/browse_world.h"

namespace browsetest {
namespace {

using rt::Byte;
using rt::Long;
using rt::ui::kWait;

constexpr int kItems = 40;
const std::string kGrey = "2147483665";           // the system colour of disabled text

std::string NameOf(Long id) { return MakeItem(static_cast<int>(id / 10), kItems).NAME.Str(); }

// ---- What a scenario does: acts, and checks on the way ----

enum class Do { Pick, Press, Type, Key, Answer, Station, Editing, Idle, Shows, Rows, ListProp, CloseBox, Ended, Maximize };
struct Act {
  Do what;
  Long n = 0;
  std::string text{};
  std::string button{};
  Long column = 0;
};
Act Pick(Long row) { return {Do::Pick, row}; }                                    // a row of the list
Act PickCell(Long row, Long column) { return {Do::Pick, row, {}, {}, column}; }  // a row, saying which column
Act Press(Long control) { return {Do::Press, control}; }
Act Type(std::string text) { return {Do::Type, 0, std::move(text)}; }  // into the focused control
Act Key(Long key) { return {Do::Key, key}; }                           // to the focused control
Act Answer(std::string title, std::string button) { return {Do::Answer, 0, std::move(title), std::move(button)}; }
Act Station(std::string name) { return {Do::Station, 0, std::move(name)}; }  // another station renames item 30
Act CloseBox() { return {Do::CloseBox}; }
// Checks on the way: the focused cell shows `shown`; no cell is edited; row `row` shows `name`;
// the list has `rows` rows; a list property; the browse ended with `response`; maximizing changes nothing.
Act Editing(std::string shown) { return {Do::Editing, 0, std::move(shown)}; }
Act Idle() { return {Do::Idle}; }
Act Shows(Long row, std::string name) { return {Do::Shows, row, std::move(name)}; }
Act Rows(Long rows) { return {Do::Rows, rows}; }
Act Colour(Long column, std::string colour) { return {Do::ListProp, column, std::move(colour), {}, rt::LISTCOL_TextColor}; }
Act Alert(Long slot, std::string key) { return {Do::ListProp, slot, std::move(key), {}, rt::PROP_Alrt}; }
Act Ended(Long response) { return {Do::Ended, response}; }
Act Maximize() { return {Do::Maximize}; }

struct Settings {
  Byte arrow = 0, enter = 0, tab = 0, focusLoss = 0, deleteAction = 0, insert = 0;
  bool idNotEdited = false;     // column 1 has no control
  bool nameRequired = false;    // column 2's control is required
  bool fileWantsName = false;   // the file manager refuses a blank name
  bool resizable = false;
  bool leftClickAlert = false;  // the list alerts the left button in slot 10
  bool noMaker = false;         // the browse has no edit-in-place manager
  int items = kItems;
};

// The first page with id `from` replaced by `to`.
std::vector<Long> FirstPage(Long from = 0, Long to = 0) {
  std::vector<Long> ids;
  for (Long id = 10; id <= 100; id += 10) ids.push_back(id == from ? to : id);
  return ids;
}

struct EipCase {
  const char* name;
  Settings settings;
  std::vector<Act> acts;
  std::map<Long, std::string> file;  // id -> name afterwards; "" = no such record
  int records = kItems;
  std::vector<Long> shown = FirstPage();  // the ids on the page afterwards; empty: the window has closed
};

// ---- The scenarios ----

class Scenarios : public BrowseFixture, public ::testing::WithParamInterface<EipCase> {
 protected:
  void Open(const Settings& s) {
    BuildItems(dir_.Path().string(), true, s.items);
    Start({.setUp = [s](World& world, BrowseClass& browse) {
               if (s.noMaker) return void(browse.AskProcedure = 0);
               UseEditInPlace(browse);
               browse.ArrowAction = s.arrow;
               browse.EnterAction = s.enter;
               browse.TabAction = s.tab;
               browse.FocusLossAction = s.focusLoss;
               browse.DeleteAction = s.deleteAction;
               if (s.idNotEdited) AddEditControl(browse, nullptr, 1);
               if (s.nameRequired) {
                 auto name = std::make_unique<EditEntryClass>();
                 name->Req = 1;
                 AddEditControl(browse, std::move(name), 2);
               }
               if (s.fileWantsName) world.access.requiredField = 3;
               if (s.resizable) browse.Window->MyWindow->SetProp(rt::PROP_Resize, "1");
               if (s.leftClickAlert) browse.Window->MyWindow->SetProp(kList, rt::PROP_Alrt, "1", 10);
               browse.CheckEIP();
               if (auto* eip = dynamic_cast<BrowseEIPManager*>(browse.EIP)) eip->Insert = s.insert;
             }});
  }

  void Perform(const Act& act) {
    switch (act.what) {
      case Do::Pick: ASSERT_TRUE(robot_.PickRow(window_, kList, act.n, false, act.column)); break;
      case Do::Press: ASSERT_TRUE(robot_.Press(window_, act.n)); break;
      case Do::Type: ASSERT_TRUE(robot_.Type(window_, robot_.Focus(window_), act.text)); break;
      case Do::Key: ASSERT_TRUE(robot_.PressKey(window_, 0, act.n)); break;
      case Do::Answer: {
        const auto box = robot_.WaitForMessageBox(kWait);
        ASSERT_TRUE(box) << "expected \"" << act.text << "\"";
        EXPECT_EQ(box->caption, act.text);
        ASSERT_TRUE(robot_.PressCaption(*box, act.button));
        ASSERT_TRUE(robot_.WaitForWindow("Browse Items", kWait));
        break;
      }
      case Do::Station:
        Elsewhere(dir_.Path().string(), [&](rt::File& file, ITM_Record& record) { record.NAME = act.text, file.Put(); }, 30);
        break;
      case Do::Editing: {
        const Long focus = robot_.Focus(window_);
        EXPECT_GE(focus, kFirstMadeControl) << "no cell is edited";
        EXPECT_EQ(Trim(robot_.Text(window_, focus)), act.text);
        break;
      }
      case Do::Idle: EXPECT_LT(robot_.Focus(window_), kFirstMadeControl) << "a cell is still edited"; break;
      case Do::Shows: EXPECT_EQ(Trim(robot_.Cell(window_, kList, act.n, 2)), act.text) << "row " << act.n; break;
      case Do::Rows: EXPECT_EQ(robot_.ListRows(window_, kList).size(), static_cast<std::size_t>(act.n)); break;
      case Do::ListProp: EXPECT_EQ(robot_.Prop(window_, kList, act.column, act.n), act.text) << act.column << "/" << act.n; break;
      case Do::CloseBox: ASSERT_TRUE(robot_.CloseWindow(window_)); break;
      case Do::Ended:
        ASSERT_TRUE(rt::WaitForStartedThreads(kWait)) << robot_.DescribeScreen();
        EXPECT_EQ(outcome_.response, act.n) << "the event that ended editing acted afterwards";
        break;
      case Do::Maximize: {
        const std::string width = robot_.Prop(window_, 0, rt::PROP_Width);
        robot_.Maximize(window_);
        EXPECT_EQ(robot_.Prop(window_, 0, rt::PROP_Maximize) + robot_.Prop(window_, 0, rt::PROP_Width), width);
        break;
      }
    }
  }
};

TEST_P(Scenarios, TheRowIsEditedSavedOrGivenUpAsTheKeysAndSettingsSay) {
  const EipCase& c = GetParam();
  Open(c.settings);
  int n = 0;
  for (const Act& act : c.acts) {
    SCOPED_TRACE("act " + std::to_string(++n));
    Perform(act);
    if (HasFatalFailure()) return;
  }
  const std::map<Long, std::string> file = ItemsInFile(dir_.Path().string());
  for (const auto& [id, name] : c.file) {
    const auto found = file.find(id);
    EXPECT_EQ(found == file.end() ? "" : found->second, name) << "item " << id;
  }
  EXPECT_EQ(file.size(), static_cast<std::size_t>(c.records));
  if (!c.shown.empty()) {
    EXPECT_EQ(ShownIds(), c.shown);
  }
}

const Long kTab = rt::KEY_Tab, kBackTab = rt::KEY_ShiftTab, kEnter = rt::KEY_Enter, kEsc = rt::KEY_Esc,
           kDown = rt::KEY_Down, kUp = rt::KEY_Up;

const std::map<Long, std::string> kKept = {{30, NameOf(30)}};  // item 30 as it was
const std::vector<Long> kInsertedAfter = {10, 20, 25, 30, 40, 50, 60, 70, 80, 90};
const Act kAskCancel = Answer("Save Record", "Cancel");

INSTANTIATE_TEST_SUITE_P(
    Eip, Scenarios,
    ::testing::Values(
        // Both cells changed; Tab on the last column saves the row (TabAction 0).
        EipCase{"ChangeTwoCellsAndTabOut", {}, {Pick(3), Press(kChange), Editing("30"), Type("35"), Key(kTab), Editing(NameOf(30)),
                Type("Renamed"), Key(kTab), Idle(), Shows(3, "Renamed")}, {{30, ""}, {35, "Renamed"}}, kItems, FirstPage(30, 35)},
        EipCase{"TabAction2Abandons", {.tab = 2},
                {Pick(3), Press(kChange), Key(kTab), Type("Lost"), Key(kTab), Idle(), Shows(3, NameOf(30))}, kKept},
        EipCase{"DownSavesAndEditsTheNextRowInTheSameColumn", {.arrow = 25}, {Pick(3), Press(kChange), Key(kTab), Type("First"),
                Key(kDown), Editing(NameOf(40)), Type("Second"), Key(kEnter), Idle()}, {{30, "First"}, {40, "Second"}}},
        EipCase{"DownWithoutNextEndsTheRow", {.arrow = 1},  // ArrowAction 1: Down saves and ends
                {Pick(3), Press(kChange), Key(kTab), Type("First"), Key(kDown), Idle()}, {{30, "First"}, {40, NameOf(40)}}},
        EipCase{"UpSavesAndEditsThePreviousRow", {.arrow = 9},  // from its first column
                {Pick(3), Press(kChange), Key(kTab), Type("First"), Key(kUp), Editing("20"), Key(kEsc), Idle()},
                {{30, "First"}, {20, NameOf(20)}}},
        // Shift+Tab on column 1 does nothing; from column 2 it goes back.
        EipCase{"ShiftTabGoesBackButNotPastColumn1", {}, {Pick(3), Press(kChange), Key(kBackTab), Editing("30"), Key(kTab),
                Editing(NameOf(30)), Key(kBackTab), Editing("30"), Type("33"), Key(kEnter), Idle()},
                {{30, ""}, {33, NameOf(30)}}, kItems, FirstPage(30, 33)},
        // A new row after (or before) the current one; the page keeps its ten rows while it is edited.
        EipCase{"InsertAfterTheCurrentRow", {}, {Pick(3), Press(kInsert), Rows(10), Shows(4, ""), Shows(3, NameOf(30)),
                Type("25"), Key(kTab), Type("New"), Key(kTab), Idle()}, {{25, "New"}}, kItems + 1, kInsertedAfter},
        EipCase{"InsertBeforeTheCurrentRow", {.insert = EIPInsert::Before}, {Pick(3), Press(kInsert), Rows(10), Shows(3, ""),
                Shows(4, NameOf(30)), Type("27"), Key(kTab), Type("Before"), Key(kEnter), Idle()},
                {{27, "Before"}}, kItems + 1, {10, 20, 27, 30, 40, 50, 60, 70, 80, 90}},
        EipCase{"InsertAbandoned", {}, {Pick(3), Press(kInsert), Type("99"), Key(kEsc), Idle(), Rows(10), Shows(4, NameOf(40))},
                {{99, ""}}},
        // A duplicate key is reported; the new row stays in editing until given up.
        EipCase{"DuplicateKeyKeepsTheNewRow", {}, {Pick(3), Press(kInsert), Type("20"), Key(kTab), Type("Dup"), Key(kEnter),
                Answer("Duplicate Key Error", "OK"), Editing("20"), Shows(4, "Dup"), Key(kEsc), Idle(), Rows(10)},
                {{20, NameOf(20)}}},
        // DeleteAction 4 asks, 2 deletes nothing, 0 deletes without a question.
        EipCase{"DeleteConfirmed", {.deleteAction = 4}, {Pick(3), Press(kDelete), Answer("Confirm Delete", "Yes"), Idle()},
                {{30, ""}}, kItems - 1, {10, 20, 40, 50, 60, 70, 80, 90, 100, 110}},
        EipCase{"DeleteDeclined", {.deleteAction = 4}, {Pick(3), Press(kDelete), Answer("Confirm Delete", "No"), Idle()}, kKept},
        EipCase{"DeleteAction2DeletesNothing", {.deleteAction = 2}, {Pick(3), Press(kDelete), Idle()}, kKept},
        EipCase{"DeleteWithoutQuestion", {}, {Pick(3), Press(kDelete), Idle()}, {{30, ""}}, kItems - 1,
                {10, 20, 40, 50, 60, 70, 80, 90, 100, 110}},
        // Text that does not fit the column's picture keeps the cell open with it.
        EipCase{"RejectedTextKeepsTheCell", {}, {Pick(3), Press(kChange), Type("abc"), Key(kTab), Editing("abc"), Key(kEnter),
                Editing("abc"), Type("31"), Key(kTab), Editing(NameOf(30)), Key(kEnter), Idle()},
                {{30, ""}, {31, NameOf(30)}}, kItems, FirstPage(30, 31)},
        // A required column left empty keeps the row, with the edit on that column.
        EipCase{"RequiredColumnLeftEmpty", {.nameRequired = true}, {Pick(3), Press(kChange), Key(kTab), Type(""), Key(kEnter),
                Editing(""), Type("Filled"), Key(kEnter), Idle()}, {{30, "Filled"}}},
        // The file manager refuses the record (and says so): the row stays, from its first column.
        EipCase{"RefusedByTheFileKeepsTheRow", {.fileWantsName = true}, {Pick(3), Press(kChange), Key(kTab), Type(""),
                Key(kEnter), Answer("No Records", "OK"), Editing("30"), Shows(3, ""), Key(kEsc), Idle(), Shows(3, NameOf(30))},
                kKept},
        EipCase{"SaveAskedNo", {.enter = 3}, {Pick(3), Press(kChange), Key(kTab), Type("Asked"), Key(kEnter),
                Answer("Save Record", "No"), Idle(), Shows(3, NameOf(30))}, kKept},
        EipCase{"SaveAskedCancelGoesOnEditing", {.enter = 3}, {Pick(3), Press(kChange), Key(kTab), Type("Asked"), Key(kEnter),
                kAskCancel, Editing("30"), Key(kEnter), Answer("Save Record", "Yes"), Idle()}, {{30, "Asked"}}},
        // Nothing changed: nothing is asked or written.
        EipCase{"NothingChangedAsksNothing", {.enter = 3}, {Pick(3), Press(kChange), Key(kEnter), Idle()}, kKept},
        // Another station changed the record: reported, the edit goes on as typed, the next save writes it.
        EipCase{"AnotherStationsChange", {}, {Pick(3), Press(kChange), Key(kTab), Type("Mine"), Station("Theirs"), Key(kEnter),
                Answer("Record Was Not Updated", "OK"), Editing("30"), Shows(3, "Mine"), Key(kEnter), Idle()}, {{30, "Mine"}}},
        // Picking another row leaves the edited one by the focus-loss setting; the same row keeps it.
        EipCase{"PickingAnotherRowSaves", {}, {Pick(3), Press(kChange), Key(kTab), Type("Left"), Pick(5), Idle()}, {{30, "Left"}}},
        EipCase{"PickingAnotherRowAskedCancelKeepsTheRow", {.focusLoss = 3}, {Pick(3), Press(kChange), Key(kTab), Type("Left"),
                Pick(5), kAskCancel, Editing("30"), Key(kEnter), Idle()}, {{30, "Left"}}},
        EipCase{"ClickingTheEditedRowKeepsItsCell", {},
                {Pick(3), Press(kChange), Key(kTab), Type("Same"), Pick(3), Editing("Same"), Key(kEnter), Idle()}, {{30, "Same"}}},
        EipCase{"ClickingAnotherCellOfTheEditedRowEditsThatCell", {}, {Pick(3), Press(kChange), Editing("30"), PickCell(3, 2),
                Editing(NameOf(30)), Type("Moved"), Key(kEnter), Idle()}, {{30, "Moved"}}},
        // TabAction 9: the finished row saves and the next record is edited.
        EipCase{"TabOnTheLastColumnGoesOnToTheNextRecord", {.tab = 9},
                {Pick(3), Press(kChange), Key(kTab), Type("T"), Key(kTab), Editing("40"), Key(kEsc), Idle()},
                {{30, "T"}, {40, NameOf(40)}}},
        // EnterAction 9 after an insert starts another insert.
        EipCase{"EnterAfterAnInsertStartsAnother", {.enter = 9}, {Pick(3), Press(kInsert), Type("25"), Key(kTab), Type("A"),
                Key(kEnter), Editing("0"), Shows(5, ""), Key(kEsc), Idle()}, {{25, "A"}}, kItems + 1, kInsertedAfter},
        // Insert 10 puts the new row after the last record: the last page, one row dropped.
        EipCase{"InsertAtTheEnd", {.insert = EIPInsert::AtEnd}, {Pick(3), Press(kInsert), Rows(10), Shows(10, ""),
                Shows(9, NameOf(400)), Type("405"), Key(kTab), Type("Last"), Key(kEnter), Idle()},
                {{405, "Last"}}, kItems + 1, {320, 330, 340, 350, 360, 370, 380, 390, 400, 405}},
        // The list's left-click and double-click alerts rest while a row is edited.
        EipCase{"TheListsClickAlertsRestWhileTheRowIsEdited", {.leftClickAlert = true}, {Pick(3), Alert(10, "1"),
                Alert(252, "5"), Press(kChange), Alert(10, ""), Alert(252, ""), Key(kEsc), Idle(), Alert(10, "1"), Alert(252, "5")},
                kKept},
        // A column without a control is greyed while the row is edited, and skipped.
        EipCase{"ColumnWithoutControlIsGreyedAndSkipped", {.idNotEdited = true}, {Pick(3), Press(kChange), Editing(NameOf(30)),
                Colour(1, kGrey), Key(kBackTab), Editing(NameOf(30)), Type("Grey"), Key(kTab), Idle(), Colour(1, "-1")},
                {{30, "Grey"}}},
        // Closing saves the row first, then acts; asked and cancelled, the edit goes on, the close withdrawn.
        EipCase{"CloseButtonSavesFirst", {}, {Pick(3), Press(kChange), Key(kTab), Type("Left"), Press(kClose),
                Ended(Response::Completed)}, {{30, "Left"}}, kItems, {}},
        EipCase{"CloseBoxSavesFirst", {}, {Pick(3), Press(kChange), Key(kTab), Type("Left"), CloseBox(),
                Ended(Response::Cancelled)}, {{30, "Left"}}, kItems, {}},
        EipCase{"CloseButtonAskedCancel", {.focusLoss = 3}, {Pick(3), Press(kChange), Key(kTab), Type("Left"), Press(kClose),
                kAskCancel, Editing("30"), Shows(3, "Left"), Key(kEsc), Idle()}, kKept},
        EipCase{"AnInsertIntoAnEmptyListIsItsFirstRow", {.items = 0},
                {Key(rt::KEY_Insert), Rows(1), Type("5"), Key(kTab), Type("Only"), Key(kEnter), Idle()}, {{5, "Only"}}, 1, {5}},
        EipCase{"WithoutAMakerTheBrowseEditsNothing", {.noMaker = true}, {Pick(3), Press(kChange), Idle()}, kKept},
        EipCase{"MaximizingWhileACellIsEditedChangesNothing", {.resizable = true},
                {Pick(3), Press(kChange), Maximize(), Editing("30"), Key(kEsc), Idle()}, kKept}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace browsetest
