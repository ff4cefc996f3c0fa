// The demo shell under the headless backend with the real procedures on program thread 1: the
// log path in the message test window's text line, the menu, each window's placement kept in the
// INI file, and the notices of a log that cannot be written or a log server lost.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "msglog/globals.h"
#include "runtime/core/dialogs.h"
#include "runtime/data/ini_store.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/property_holder.h"
#include "tests/app/shell_user.h"

namespace {

using namespace shelltest;
using rt::Long;
using rt::ui::ShownWindow;

enum : Long { kMessage1 = 1, kLogPath = 7, kOk, kCancel };

// The message test window's buttons, each dialog answered and logged, are played by key presses
// through the real program under X (demo_under_xvfb.sh).

TEST(Shell, ShowsTheLogPathServesTheMenuAndKeepsEachPlacement) {
  ProgramRun run;
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = run.StartUp();
  ASSERT_TRUE(shell);
  const ShownWindow* frame = &shell->frame;
  std::optional<ShownWindow> test = shell->test;
  EXPECT_EQ(robot.Text(*test, kLogPath), "See the message logs in: " + run.Log().string());

  // Each window keeps its placement in a section of its own (how is the window manager's test).
  ASSERT_TRUE(PressToClose(robot, *test, kOk));
  ASSERT_TRUE(robot.ChooseMenu(*frame, "Browse|Window Test"));
  test = run.TestWindow();
  ASSERT_TRUE(test);
  ASSERT_TRUE(PressToClose(robot, *test, kCancel));

  // The browse opens on a thread of its own (the frame's is 1) and keeps its placement too.
  ASSERT_TRUE(robot.ChooseMenu(*frame, "Browse|Browse AFile"));
  const std::optional<ShownWindow> browse = robot.WaitForWindow("Browse the AFile file", kWait, 2);
  ASSERT_TRUE(browse);
  ASSERT_TRUE(robot.CloseWindow(*browse));
  ASSERT_TRUE(robot.WaitForWindowClosed(*browse, kWait));
  EXPECT_EQ(run.Exit(*frame), 0);

  EXPECT_EQ(run.Entries().size(), 1u) << "only the greeting";
  const std::string ini = (run.Dir() / "Quibbet_demo.INI").string();
  for (const char* section : {"Main", "LoginScreen", "WindowTest", "BrowseAFile"}) {
    EXPECT_NE(rt::GetIni(section, "XPos", "", ini), "") << section;
    EXPECT_EQ(rt::GetIni(section, "Maximize", "", ini), "No") << section;
  }
}

TEST(Shell, ALogThatCannotBeWrittenIsSaidOnceInTheStatusBarAndTheDialogsGoOn) {
  // A directory where the log should be: no entry can be written, whoever runs the test.
  const std::filesystem::path log =
      std::filesystem::path(rt::platform::ExecutablePath()).parent_path() / "Quibbet_.txt";
  ::testing::internal::CaptureStderr();
  ProgramRun run([&] { std::filesystem::create_directory(log); });
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = run.StartUp();  // the greeting is still answered
  ASSERT_TRUE(shell);
  const std::string notice = GLO_MessageLogLoss.Notice();
  EXPECT_NE(notice.find("The message log is not being written: "), std::string::npos) << notice;
  EXPECT_TRUE(robot.WaitForProp(shell->frame, 0, rt::PROP_StatusText, notice, kWait));

  // More lost entries: each dialog still answered, nobody told twice.
  ASSERT_TRUE(robot.Press(shell->test, kMessage1));
  AnswerOnThread1(robot, "No");
  ASSERT_TRUE(PressToClose(robot, shell->test, kCancel));
  EXPECT_EQ(run.Exit(shell->frame), 0);
  EXPECT_EQ(GLO_MessageLogLoss.LostEntries(), 2u);
  const std::string err = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(err, "Quibbet_demo: " + notice + "\n");
  std::filesystem::remove(log);
}

// The log server's sender reports from a thread of its own, not the frame's.
TEST(Shell, TheLogServerLostAndBackIsShownInTheStatusBar) {
  GLO_MessageLogLoss.ResetSession();
  ::testing::internal::CaptureStderr();
  ProgramRun run([] {});
  rt::ui::Robot& robot = run.Robot();
  const std::optional<ProgramRun::Shell> shell = run.StartToTheFrame();  // the frame's own accept loop runs again
  ASSERT_TRUE(shell);

  std::thread([] { GLO_MessageLogLoss.ReportServerDown("host=db", "refused"); }).join();
  const std::string down = GLO_MessageLogLoss.Notice();
  EXPECT_NE(down.find("cannot be reached"), std::string::npos) << down;
  EXPECT_TRUE(robot.WaitForProp(shell->frame, 0, rt::PROP_StatusText, down, kWait));
  std::thread([] { GLO_MessageLogLoss.ReportServerBack("host=db"); }).join();
  const std::string back = GLO_MessageLogLoss.Notice();
  EXPECT_NE(back.find("is back"), std::string::npos) << back;
  EXPECT_TRUE(robot.WaitForProp(shell->frame, 0, rt::PROP_StatusText, back, kWait));

  EXPECT_EQ(run.Exit(shell->frame), 0);
  ::testing::internal::GetCapturedStderr();
  GLO_MessageLogLoss.ResetSession();
}

}  // namespace
