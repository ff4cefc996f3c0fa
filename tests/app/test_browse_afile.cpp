// The browse of AFile as a user meets it, under the headless backend with the real procedures:
// two browses on two threads over one data file, records added, changed and deleted through the
// update form and the browse's own keys and buttons, what each list shows and when it reloads,
// and the entries the log keeps.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/dictionary.h"
#include "msglog/message_log.h"
#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"
#include "runtime/data/file.h"
#include "runtime/ui/events.h"
#include "tests/app/shell_user.h"

namespace {

using namespace shelltest;
using rt::Long;
using rt::ui::ShownWindow;

constexpr char kBrowseTitle[] = "Browse the AFile file";
enum : Long { kList = 1, kInsert, kChange, kDelete, kSheet, kTab, kClose };
enum : Long { kId = 4, kAstring = 6, kAdecimal = 8, kOk = 13 };
constexpr Long kTestCancel = 9;
constexpr Long kCtrlEnter = 525;

// The list's rows as "id astring" (the first two columns, without padding).
std::vector<std::string> Shown(rt::ui::Robot& robot, const ShownWindow& browse) {
  std::vector<std::string> shown;
  for (const auto& row : robot.ListRows(browse, kList)) shown.push_back(Trimmed(row.at(0)) + " " + Trimmed(row.at(1)));
  return shown;
}

// The start-up played, then the message test window closed: the frame serves its menu.
std::optional<ProgramRun::Shell> StartWithTheFrameAlone(ProgramRun& run) {
  std::optional<ProgramRun::Shell> shell = run.StartUp();
  if (!shell || !run.Robot().Press(shell->test, kTestCancel) || !run.Robot().WaitForWindowClosed(shell->test, kWait))
    return std::nullopt;
  return shell;
}

// Opens one more browse from the frame's menu; it runs on the next program thread.
std::optional<ShownWindow> OpenBrowse(ProgramRun& run, const ShownWindow& frame, Long thread) {
  if (!run.Robot().ChooseMenu(frame, "Browse|Browse AFile")) return std::nullopt;
  return run.Robot().WaitForWindow(kBrowseTitle, kWait, thread);
}

// Fills the form that `open` brings up on `thread` and saves it with OK.
void FillForm(rt::ui::Robot& robot, Long thread, const char* title, const std::vector<std::pair<Long, std::string>>& typed) {
  const std::optional<ShownWindow> form = robot.WaitForWindow(title, kWait, thread);
  ASSERT_TRUE(form) << title;
  for (const auto& [entry, text] : typed) ASSERT_TRUE(robot.TypeInto(*form, entry, text));
  ASSERT_TRUE(robot.Press(*form, kOk));
  ASSERT_TRUE(robot.WaitForWindowClosed(*form, kWait));
}

std::string ConfirmDelete(const char* pressed) {
  return MessageBody(kBrowseTitle, "Confirm Delete", "Are you sure you want to delete the highlighted record?",
                     {"YES|NO", pressed});
}

// What the data file holds once the program has ended, as "id astring" in record order.
std::vector<std::string> Stored() {
  std::vector<std::string> stored;
  rt::ThreadScope scope;
  AFI_Record record;
  rt::File file(AFileDecl(), record);
  file.Open();
  if (rt::ErrorCode() != 0) return {"open failed: " + rt::Error()};
  for (file.Set(); file.Next(), rt::ErrorCode() == 0;)
    stored.push_back(std::to_string(record.ID) + " " + std::string(record.ASTRING.Clipped()));
  file.Close();
  return stored;
}

void SeedHere(Long count) {
  AFI_Record record;
  rt::File file(AFileDecl(), record);
  file.Create();
  file.Open();
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
  for (Long id = 1; id <= count; ++id) {
    record = AFI_Record{};
    record.ID = id;
    record.ASTRING = "Record " + std::to_string(id);
    file.Add();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
  }
  file.Close();
}

// Writes records 1 … count into the data file in the current directory, on a thread of its own
// that is no program thread: the program's first thread must be number 1.
void Seed(Long count) {
  std::thread([count] { SeedHere(count); }).join();
}

// More records than rows: the list shows whole rows under its headings, its scroll bar is on and
// reaches the last record, and the popup offers each action once.
TEST(BrowseAFile, MoreRecordsThanRowsShowTheScrollBarAndThePopupListsEachActionOnce) {
  ProgramRun run([] { Seed(16); });
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = StartWithTheFrameAlone(run);
  ASSERT_TRUE(shell);
  const std::optional<ShownWindow> browse = OpenBrowse(run, shell->frame, 2);
  ASSERT_TRUE(browse);
  ASSERT_TRUE(robot.WaitForListRows(*browse, kList, 11, kWait)) << "124 units: a heading line and 11 rows";
  EXPECT_EQ(robot.Prop(*browse, kList, rt::PROP_VScroll), "1");
  ASSERT_TRUE(robot.DragThumb(*browse, kList, 100));
  EXPECT_TRUE(robot.WaitForProp(*browse, kList, rt::PROP_VScrollPos, "100", kWait));
  EXPECT_EQ(Shown(robot, *browse).back(), "16 Record 16");

  ASSERT_TRUE(robot.RightClickRow(*browse, kList, robot.FirstShownRow(*browse, kList), 2));
  const std::optional<rt::ui::ShownPopup> popup = robot.WaitForPopup(kWait, 2);
  ASSERT_TRUE(popup);
  std::vector<std::string> items;
  for (const rt::ui::PopupEntry& entry : popup->menu) items.push_back(entry.text);
  EXPECT_EQ(items, (std::vector<std::string>{"&Insert", "&Change", "&Delete"}));
  ASSERT_TRUE(robot.DismissPopup(*popup));

  ASSERT_TRUE(robot.Press(*browse, kClose));
  ASSERT_TRUE(robot.WaitForWindowClosed(*browse, kWait));
  EXPECT_EQ(run.Exit(shell->frame), 0);
}

TEST(BrowseAFile, TwoBrowsesOnTwoThreadsShareTheFileAndEachReloadsOnItsOwnAction) {
  ProgramRun run;
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = StartWithTheFrameAlone(run);
  ASSERT_TRUE(shell);

  // Thread 1 is the frame's; each menu choice starts the next thread.
  const std::optional<ShownWindow> first = OpenBrowse(run, shell->frame, 2);
  const std::optional<ShownWindow> second = OpenBrowse(run, shell->frame, 3);
  ASSERT_TRUE(first && second);
  EXPECT_TRUE(Shown(robot, *first).empty());
  EXPECT_EQ(robot.ListHeadings(*first, kList), (std::vector<std::string>{"ID", "Astring", "Adecimal", "Adate", "Atime"}));

  // An insert in the first browse shows in its own list at once ...
  ASSERT_TRUE(robot.Press(*first, kInsert));
  FillForm(robot, 2, "Record Will Be Added", {{kId, "1"}, {kAstring, "One"}, {kAdecimal, "-12.5"}});
  ASSERT_TRUE(robot.WaitForListRows(*first, kList, 1, kWait));
  EXPECT_EQ(Shown(robot, *first), (std::vector<std::string>{"1 One"}));
  EXPECT_EQ(Trimmed(robot.Cell(*first, kList, 1, 3)), "-12.50");
  // ... and not in the other, whose list is read again only when it acts itself: here its own insert.
  EXPECT_TRUE(Shown(robot, *second).empty());
  ASSERT_TRUE(robot.Press(*second, kInsert));
  FillForm(robot, 3, "Record Will Be Added", {{kId, "2"}, {kAstring, "Two"}});
  ASSERT_TRUE(robot.WaitForListRows(*second, kList, 2, kWait));
  EXPECT_EQ(Shown(robot, *second), (std::vector<std::string>{"1 One", "2 Two"}));

  // The first browse sees the second's record once a scroll reads its page again.
  ASSERT_TRUE(robot.Scroll(*first, kList, rt::EVENT_ScrollBottom));
  ASSERT_TRUE(robot.WaitForListRows(*first, kList, 2, kWait));
  EXPECT_EQ(Shown(robot, *first), (std::vector<std::string>{"1 One", "2 Two"}));

  // Change the highlighted record with Ctrl+Enter.
  ASSERT_TRUE(robot.PickRow(*first, kList, 2));
  ASSERT_TRUE(robot.PressKey(*first, kList, kCtrlEnter));
  FillForm(robot, 2, "Record Will Be Changed", {{kAstring, "Two changed"}});
  EXPECT_TRUE(robot.WaitForProp(*first, kList, rt::PROP_Selected, "2", kWait));
  EXPECT_EQ(Shown(robot, *first), (std::vector<std::string>{"1 One", "2 Two changed"}));

  // Delete it: No keeps it, Yes removes it.
  for (const char* answer : {"No", "Yes"}) {
    ASSERT_TRUE(robot.Press(*first, kDelete));
    const auto box = robot.WaitForMessageBox(kWait, 2);
    ASSERT_TRUE(box);
    EXPECT_EQ(box->caption, "Confirm Delete");
    ASSERT_TRUE(robot.PressCaption(*box, answer));
    ASSERT_TRUE(robot.WaitForWindow(kBrowseTitle, kWait, 2));
  }
  ASSERT_TRUE(robot.WaitForListRows(*first, kList, 1, kWait));
  EXPECT_EQ(Shown(robot, *first), (std::vector<std::string>{"1 One"}));

  for (const ShownWindow& browse : {*first, *second}) {
    ASSERT_TRUE(robot.Press(browse, kClose));
    ASSERT_TRUE(robot.WaitForWindowClosed(browse, kWait));
  }
  EXPECT_EQ(run.Exit(shell->frame), 0);

  const std::vector<LogEntry> entries = run.Entries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[1].body, ConfirmDelete("NO"));
  EXPECT_EQ(entries[2].body, ConfirmDelete("YES"));
  EXPECT_EQ(Stored(), (std::vector<std::string>{"1 One"})) << "the file holds what the user left";
}

// Esc closes the form (asking first when something was typed) and the browse, as their close
// boxes do.
TEST(BrowseAFile, EscClosesTheFormAfterAskingAndThenTheBrowse) {
  ProgramRun run;
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = StartWithTheFrameAlone(run);
  ASSERT_TRUE(shell);
  const std::optional<ShownWindow> browse = OpenBrowse(run, shell->frame, 2);
  ASSERT_TRUE(browse);

  ASSERT_TRUE(robot.Press(*browse, kInsert));
  const std::optional<ShownWindow> form = robot.WaitForWindow("Record Will Be Added", kWait, 2);
  ASSERT_TRUE(form);
  ASSERT_TRUE(robot.TypeInto(*form, kAstring, "Typed"));
  for (const char* answer : {"No", "Yes"}) {
    ASSERT_TRUE(robot.PressKey(*form, kAdecimal, rt::KEY_Esc));
    const auto box = robot.WaitForMessageBox(kWait, 2);
    ASSERT_TRUE(box);
    ASSERT_TRUE(robot.PressCaption(*box, answer));
  }
  ASSERT_TRUE(robot.WaitForWindowClosed(*form, kWait));
  EXPECT_TRUE(Shown(robot, *browse).empty()) << "nothing was added";

  ASSERT_TRUE(robot.PressKey(*browse, kList, rt::KEY_Esc));
  ASSERT_TRUE(robot.WaitForWindowClosed(*browse, kWait));
  ASSERT_TRUE(robot.PressKey(shell->frame, 0, rt::KEY_Esc));
  EXPECT_TRUE(robot.IsOpen(shell->frame)) << "Esc does not close the frame";
  EXPECT_EQ(run.Exit(shell->frame), 0);

  const std::vector<LogEntry> entries = run.Entries();
  ASSERT_EQ(entries.size(), 3u);
  for (const auto& [entry, pressed] : {std::pair{1, "NO"}, std::pair{2, "YES"}})
    EXPECT_EQ(entries[entry].body, MessageBody("Record Will Be Added", "Changes will be lost!",
                                               "Are you sure you want to cancel?", {"YES|NO", pressed}));
}

}  // namespace
