// The platform shim: computer name buffer rules, executable path, Windows-style paths and the
// per-user drag-full-windows setting.

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "runtime/platform/platform.h"

namespace {

namespace fs = std::filesystem;

TEST(ComputerName, FillsTheBufferOrSaysHowMuchItNeeds) {
  char host[HOST_NAME_MAX + 1] = {};
  ASSERT_EQ(gethostname(host, sizeof host), 0);
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(host));

  char buffer[80];
  std::memset(buffer, 'x', sizeof buffer);
  std::uint32_t size = length + 1;  // exactly enough
  ASSERT_TRUE(rt::platform::GetComputerNameA(buffer, &size));
  EXPECT_STREQ(buffer, host);
  EXPECT_EQ(size, length);

  char untouched[80] = "previous";
  size = length;  // one short: no room for the terminator
  EXPECT_FALSE(rt::platform::GetComputerNameA(untouched, &size));
  EXPECT_EQ(size, length + 1);
  EXPECT_STREQ(untouched, "previous");
}

TEST(Paths, TheExecutableIsThisBinaryAndBackslashesAreSeparators) {
  const std::string path = rt::platform::ExecutablePath();
  EXPECT_TRUE(fs::path(path).is_absolute());
  EXPECT_TRUE(fs::exists(path));
  EXPECT_EQ(fs::path(path).filename(), "test_rt_platform");
  // Native paths take backslashes as separators.
  EXPECT_EQ(rt::platform::NativePath(".\\Quibbet_demo.INI"), fs::path("./Quibbet_demo.INI"));
  EXPECT_EQ(rt::platform::NativePath("/opt/app/x"), fs::path("/opt/app/x"));
  EXPECT_EQ(rt::platform::NativePath("a\\b/c"), fs::path("a/b/c"));
}

// The setting is kept per user in a file; a place where that file cannot be made fails the set.
TEST(DesktopSettings, ReadSwitchOffRestoreAndAnUnwritablePlaceFailsTheSet) {
  const fs::path dir = fs::temp_directory_path() / ("quibbet_desktop_" + std::to_string(getpid()));
  fs::remove_all(dir);
  rt::platform::DesktopSettings settings(dir / "sub" / "desktop.conf");
  int value = -1;
  ASSERT_TRUE(rt::platform::SystemParametersInfoA(settings, rt::platform::SPI_GETDRAGFULLWINDOWS, 0, &value, 0));
  EXPECT_EQ(value, 1);  // on until something switches it

  int scratch = 0;
  ASSERT_TRUE(rt::platform::SystemParametersInfoA(settings, rt::platform::SPI_SETDRAGFULLWINDOWS, 0, &scratch, 3));
  rt::platform::DesktopSettings sameUser(dir / "sub" / "desktop.conf");
  ASSERT_TRUE(sameUser.DragFullWindows(&value));
  EXPECT_EQ(value, 0);

  ASSERT_TRUE(rt::platform::SystemParametersInfoA(settings, rt::platform::SPI_SETDRAGFULLWINDOWS, 1, &scratch, 3));
  ASSERT_TRUE(settings.DragFullWindows(&value));
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(rt::platform::SystemParametersInfoA(settings, 99, 0, &value, 0));

  // A file where the settings directory should be: nothing can be created below it.
  { std::ofstream(dir / "blocker") << "x"; }
  EXPECT_FALSE(rt::platform::DesktopSettings(dir / "blocker" / "desktop.conf").SetDragFullWindows(0));
  fs::remove_all(dir);
}

}  // namespace
