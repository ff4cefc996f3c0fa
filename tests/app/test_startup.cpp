// Start-up and shutdown as the program runs them, on program thread 1 under the headless backend:
// the desktop's drag-full-windows setting switched off for the run and restored after it (or left
// alone when it was off), the greeting logged beside the binary, the INI file written, and every
// per-thread object built and destroyed by the program's table without a report.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "app/globals.h"
#include "app/program.h"
#include "runtime/core/assert.h"
#include "runtime/core/system_props.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "tests/support/files.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

int DragFullWindows() {
  int value = -1;
  rt::platform::DesktopSettings::ForCurrentUser().DragFullWindows(&value);
  return value;
}

ino_t FileIdentity(const fs::path& file) {
  struct stat status {};
  return ::stat(file.c_str(), &status) == 0 ? status.st_ino : 0;
}

class StartupTest : public ::testing::TestWithParam<int> {};

TEST_P(StartupTest, RunsInOrderAndRestoresTheDesktopSetting) {
  const int initial = GetParam();
  TempDir temp;
  ::setenv("XDG_CONFIG_HOME", (temp / "config").c_str(), 1);
  ASSERT_TRUE(rt::platform::DesktopSettings::ForCurrentUser().SetDragFullWindows(initial));
  const fs::path settingsFile = rt::platform::DesktopSettings::ForCurrentUser().File();
  const ino_t settingsBefore = FileIdentity(settingsFile);
  ScopedCurrentDirectory inTemp(temp.Path());
  const fs::path log = fs::path(rt::platform::ExecutablePath()).parent_path() / "Quibbet_.txt";
  fs::remove(log);
  rt::testing::ClearAssertionMessages();

  ProcessAttach();
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeHeadlessBackend();
  ASSERT_TRUE(backend->Start());
  rt::ui::InstallBackend(backend.get());
  rt::ui::Robot robot(*backend);
  robot.SetFailureHandler([](const std::string& failure) { ADD_FAILURE() << failure; });
  std::thread ui([&] { backend->RunProgram(&ProgramEntry); });
  int duringRun = -1;
  if (const auto greeting = robot.WaitForMessageBox(10s)) {
    duringRun = DragFullWindows();
    robot.PressButton(*greeting, rt::BUTTON_OK);
  }
  ui.join();
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();

  EXPECT_EQ(duringRun, 0) << "dragging full windows stays off while the program runs";
  EXPECT_EQ(DragFullWindows(), initial);
  if (initial == 0) {
    EXPECT_EQ(FileIdentity(settingsFile), settingsBefore) << "an off setting is not written";
  }
  EXPECT_NE(ReadFile(log).find("MessageText=Wellcome ...\r\n"), std::string::npos);
  EXPECT_TRUE(fs::exists(temp / "Quibbet_demo.INI")) << "the INI file lies in the current directory";
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
  fs::remove(log);
}

INSTANTIATE_TEST_SUITE_P(DragFullWindows, StartupTest, ::testing::Values(1, 0),
                         [](const auto& info) { return info.param ? "WasOn" : "WasOff"; });

}  // namespace
