// The message log window in the real program under the headless backend: on a thread of its own,
// newest first in columns, filtered as typed, a date not yet whole, an entry written while it is
// open; with a log server that cannot be reached, the file's entries and the reason.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

#include "runtime/platform/platform.h"
#include "runtime/ui/property_holder.h"
#include "tests/app/shell_user.h"

namespace {

using namespace shelltest;
using rt::Long;
using rt::ui::ShownWindow;

enum : Long { kMessage1 = 1, kMessage2 = 2, kCancel = 9 };
enum : Long { kText = 4, kFrom = 6, kTo = 8, kList = 9, kDetail = 10, kProgress = 11, kClose = 12 };
enum : Long { kUserColumn = 2, kKindColumn = 4, kWindowColumn = 5, kTitleColumn = 6, kTextColumn = 7, kPressedColumn = 8 };

TEST(LogWindowTest, ListsNewestFirstFiltersAsTypedAndFollowsTheLog) {
  ProgramRun run;
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = run.StartUp("Alice");
  ASSERT_TRUE(shell);
  ASSERT_TRUE(robot.Press(shell->test, kMessage1));
  AnswerOnThread1(robot, "No");
  ASSERT_TRUE(robot.Press(shell->test, kMessage2));
  AnswerOnThread1(robot, "5");
  ASSERT_TRUE(PressToClose(robot, shell->test, kCancel));

  ASSERT_TRUE(robot.ChooseMenu(shell->frame, "Browse|Message Log"));
  const std::optional<ShownWindow> log = robot.WaitForWindow("Message Log", kWait);
  ASSERT_TRUE(log);
  ASSERT_NE(log->thread, 1) << "the window runs on a thread of its own";
  ASSERT_TRUE(robot.WaitForListRows(*log, kList, 3, kWait));
  ASSERT_TRUE(robot.WaitForProp(*log, kProgress, rt::PROP_Text, "3 entries", kWait));
  // Newest first: the question answered with 5, the one answered No, the greeting.
  EXPECT_EQ(robot.Cell(*log, kList, 1, kTextColumn), "(2 + 3) ?");
  EXPECT_EQ(robot.Cell(*log, kList, 1, kPressedColumn), "5");
  EXPECT_EQ(robot.Cell(*log, kList, 1, kUserColumn), "Alice");
  EXPECT_EQ(robot.Cell(*log, kList, 1, kWindowColumn), kTestTitle);
  EXPECT_EQ(robot.Cell(*log, kList, 2, kPressedColumn), "NO");
  EXPECT_EQ(robot.Cell(*log, kList, 3, kTitleColumn), "Start");
  EXPECT_EQ(robot.Cell(*log, kList, 3, kKindColumn), "message");
  EXPECT_NE(robot.Text(*log, kDetail).find("Alice on "), std::string::npos) << robot.Text(*log, kDetail);

  // The filter narrows as it is typed, ignoring case; clearing it brings every row back.
  ASSERT_TRUE(robot.Type(*log, kText, "SAVE"));
  ASSERT_TRUE(robot.WaitForListRows(*log, kList, 1, kWait));
  EXPECT_EQ(robot.Cell(*log, kList, 1, kTextColumn), "Do you want to save ?");
  ASSERT_TRUE(robot.Type(*log, kText, ""));
  ASSERT_TRUE(robot.WaitForListRows(*log, kList, 3, kWait));
  // A date not yet whole leaves its bound open and says so; a whole one in the past empties it.
  ASSERT_TRUE(robot.Type(*log, kFrom, "2026-1"));
  EXPECT_TRUE(robot.WaitForProp(*log, kProgress, rt::PROP_Text, "From is not a date yet (2026-12-07, 12/07/2026, today 09:00)", kWait));
  EXPECT_TRUE(robot.WaitForListRows(*log, kList, 3, kWait));
  ASSERT_TRUE(robot.Type(*log, kFrom, ""));
  ASSERT_TRUE(robot.Type(*log, kTo, "2000-01-01"));
  ASSERT_TRUE(robot.WaitForListRows(*log, kList, 0, kWait));
  ASSERT_TRUE(robot.Type(*log, kTo, ""));
  ASSERT_TRUE(robot.WaitForListRows(*log, kList, 3, kWait));

  // An entry written while the window is open comes to the top.
  ASSERT_TRUE(robot.ChooseMenu(shell->frame, "Browse|Window Test"));
  const std::optional<ShownWindow> test = robot.WaitForWindow(kTestTitle, kWait, 1);
  ASSERT_TRUE(test);
  ASSERT_TRUE(robot.Press(*test, kMessage1));
  AnswerOnThread1(robot, "Yes");
  ASSERT_TRUE(PressToClose(robot, *test, kCancel));
  ASSERT_TRUE(robot.WaitForListRows(*log, kList, 4, kWait));
  EXPECT_EQ(robot.Cell(*log, kList, 1, kPressedColumn), "YES");

  ASSERT_TRUE(PressToClose(robot, *log, kClose));
  EXPECT_EQ(run.Exit(shell->frame), 0);
  EXPECT_EQ(run.Entries().size(), 4u) << "the window itself writes nothing to the log";
}

// The administrator's log server beside the test binary, and what its sender leaves there.
class LogServerFile {
 public:
  explicit LogServerFile(const std::string& conninfo) { std::ofstream(dir_ / "Quibbet_.logserver") << conninfo << "\n"; }
  ~LogServerFile() {
    for (const char* name : {"Quibbet_.logserver", "Quibbet_.cursor", "Quibbet_.spool"}) std::filesystem::remove(dir_ / name);
  }

 private:
  const std::filesystem::path dir_ = std::filesystem::path(rt::platform::ExecutablePath()).parent_path();
};

TEST(LogWindowTest, ShowsTheFileAndWhyWhenTheLogServerCannotBeReached) {
  const LogServerFile server("host=127.0.0.1 port=1 dbname=none user=none password=secret");
  ProgramRun run;
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = run.StartToTheFrame("Alice");
  ASSERT_TRUE(shell);
  ASSERT_TRUE(robot.ChooseMenu(shell->frame, "Browse|Message Log"));
  const std::optional<ShownWindow> log = robot.WaitForWindow("Message Log", kWait);
  ASSERT_TRUE(log);
  ASSERT_TRUE(robot.WaitForListRows(*log, kList, 1, kWait)) << "the greeting, from the file";
  const std::string shown = " in " + run.Log().string();
  std::string status;
  for (int i = 0; i < 500 && status.find(shown) == std::string::npos; ++i, std::this_thread::sleep_for(20ms))
    status = robot.Text(*log, kProgress);
  EXPECT_EQ(status.rfind("The log server cannot be reached (", 0), 0u) << status;
  EXPECT_NE(status.find("; the log file is shown. 1 entry" + shown), std::string::npos) << status;
  EXPECT_EQ(status.find("secret"), std::string::npos) << status;
  ASSERT_TRUE(PressToClose(robot, *log, kClose));
  EXPECT_EQ(run.Exit(shell->frame), 0);
}

}  // namespace
