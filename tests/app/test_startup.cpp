// Start-up and shutdown as the program runs them, on program thread 1 under the headless backend:
// the desktop's drag-full-windows setting switched off for the run and restored after it (or left
// alone when it was off), the INI file written in the current directory, the program ended by
// the frame's "Exit", and every per-thread object built and destroyed by the program's table
// without a report; the name typed at the login in the greeting's entry.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <optional>

#include "msglog/message_log.h"
#include "runtime/core/assert.h"
#include "runtime/platform/platform.h"
#include "tests/app/shell_user.h"

namespace {

namespace fs = std::filesystem;
using shelltest::ProgramRun;

int DragFullWindows() {
  int value = -1;
  rt::platform::DesktopSettings::ForCurrentUser().DragFullWindows(&value);
  return value;
}

ino_t FileIdentity(const fs::path& file) {
  struct stat status {};
  return ::stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
}

struct StartupCase {
  const char* name;
  int initial;  // the desktop's drag-full-windows setting before the run
  std::string typed, logged;  // the user name typed over the pre-filled one, and as logged
};

class StartupTest : public ::testing::TestWithParam<StartupCase> {};

TEST_P(StartupTest, RunsInOrderLogsTheNameAndRestoresTheDesktopSetting) {
  const int initial = GetParam().initial;
  fs::path settingsFile;
  ino_t settingsBefore = 0;
  rt::testing::ClearAssertionMessages();
  ProgramRun run([&] {
    ASSERT_TRUE(rt::platform::DesktopSettings::ForCurrentUser().SetDragFullWindows(initial));
    settingsFile = rt::platform::DesktopSettings::ForCurrentUser().File();
    settingsBefore = FileIdentity(settingsFile);
  });
  const std::optional<ProgramRun::Shell> shell = run.StartUp(GetParam().typed);
  ASSERT_TRUE(shell);
  const int duringRun = DragFullWindows();
  ASSERT_TRUE(run.Robot().CloseWindow(shell->test));
  EXPECT_EQ(run.Exit(shell->frame), 0) << "the frame's Exit ends the program";

  EXPECT_EQ(duringRun, 0) << "dragging full windows stays off while the program runs";
  EXPECT_EQ(DragFullWindows(), initial);
  if (initial == 0) {
    EXPECT_EQ(FileIdentity(settingsFile), settingsBefore) << "an off setting is not written";
  }
  const std::vector<shelltest::LogEntry> entries = run.Entries();
  ASSERT_EQ(entries.size(), 1u) << "only the greeting is logged";
  EXPECT_EQ(entries[0].user, GetParam().logged);
  EXPECT_EQ(entries[0].body, MessageBody(shelltest::kFrameTitle, "Start", "Wellcome ...", {"OK", "OK"}));
  EXPECT_TRUE(fs::exists(run.Dir() / "Quibbet_demo.INI")) << "the INI file lies in the current directory";
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(Runs, StartupTest,
                         ::testing::Values(StartupCase{"WasOnNameCleared", 1, "", ""},
                                           StartupCase{"WasOffNameCutAtTwenty", 0, "Abcdefghij0123456789X", "Abcdefghij0123456789"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
