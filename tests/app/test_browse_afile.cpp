// The browse of AFile as the program wires it, under the headless backend with the real
// procedures: two browses opened from the menu on threads of their own over one data file,
// records added through the update form and deleted through the browse's button, the popup's
// actions. Paging, keys and reloads are the browse class's own
// tests; what the file holds after a form, the form's.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "runtime/ui/events.h"
#include "tests/app/shell_user.h"

namespace {

using namespace shelltest;
using rt::Long;
using rt::ui::ShownWindow;

constexpr char kBrowseTitle[] = "Browse the AFile file";
enum : Long { kList = 1, kInsert, kChange, kDelete, kSheet, kTab, kClose };
enum : Long { kId = 4, kAstring = 6, kAdecimal = 8, kOk = 13 };

// The list's rows as "id astring" (the first two columns, without padding).
std::vector<std::string> Shown(rt::ui::Robot& robot, const ShownWindow& browse) {
  std::vector<std::string> shown;
  for (const auto& row : robot.ListRows(browse, kList)) shown.push_back(Trimmed(row.at(0)) + " " + Trimmed(row.at(1)));
  return shown;
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
  ASSERT_TRUE(PressToClose(robot, *form, kOk));
}

TEST(BrowseAFile, TwoBrowsesOnTwoThreadsShareTheFileThroughTheUpdateForm) {
  ProgramRun run;
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = run.StartToTheFrame();
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

  // The popup offers each action once.
  ASSERT_TRUE(robot.RightClickRow(*first, kList, robot.FirstShownRow(*first, kList), 2));
  const std::optional<rt::ui::ShownPopup> popup = robot.WaitForPopup(kWait, 2);
  ASSERT_TRUE(popup);
  std::vector<std::string> items;
  for (const rt::ui::PopupEntry& entry : popup->menu) items.push_back(entry.text);
  EXPECT_EQ(items, (std::vector<std::string>{"&Insert", "&Change", "&Delete"}));
  ASSERT_TRUE(robot.DismissPopup(*popup));

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
  EXPECT_EQ(Shown(robot, *first), (std::vector<std::string>{"2 Two"}));

  for (const ShownWindow& browse : {*first, *second}) {
    ASSERT_TRUE(PressToClose(robot, browse, kClose));
  }
  ASSERT_TRUE(robot.PressKey(shell->frame, 0, rt::KEY_Esc));
  EXPECT_TRUE(robot.IsOpen(shell->frame)) << "Esc does not close the frame";
  EXPECT_EQ(run.Exit(shell->frame), 0);  // what the log keeps of "Confirm Delete": browse_under_xvfb.sh
}

}  // namespace
