// Where the message log lies, for Windows-style and POSIX executable paths.

#include <gtest/gtest.h>

#include "msglog/log_path.h"
#include "tests/support/param_names.h"

namespace {

struct PathCase {
  const char* reason;
  const char* executable;
  const char* directory;
  const char* log;
};

class LogPathTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(LogPathTest, LogLiesBesideTheExecutable) {
  const PathCase& c = GetParam();
  const MessageLogLocation location = MessageLogLocationFor(c.executable);
  EXPECT_EQ(location.exeDirectory, c.directory) << c.reason;
  EXPECT_EQ(location.logPath, c.log) << c.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogPathTest,
    ::testing::Values(
        PathCase{"ordinary directory", "C:\\Apps\\Demo.exe", "C:\\Apps", "C:\\Apps\\Quibbet_.txt"},
        PathCase{"drive root: last separator at 3", "C:\\Demo.exe", "C:\\Demo.exe", ".\\Quibbet_.txt"},
        PathCase{"first position past the root", "C:\\A\\Demo.exe", "C:\\A", "C:\\A\\Quibbet_.txt"},
        PathCase{"no separator at all", "Demo.exe", "Demo.exe", ".\\Quibbet_.txt"},
        PathCase{"POSIX install", "/opt/app/demo", "/opt/app", "/opt/app/Quibbet_.txt"},
        PathCase{"POSIX root", "/demo", "/demo", ".\\Quibbet_.txt"},
        PathCase{"POSIX one-letter directory is no root", "/a/demo", "/a", "/a/Quibbet_.txt"},
        PathCase{"Windows one-letter directory is no root", "\\a\\Demo.exe", "\\a", "\\a\\Quibbet_.txt"},
        PathCase{"drive letter alone in a relative path", "C:Demo.exe", "C:Demo.exe", ".\\Quibbet_.txt"},
        PathCase{"empty path", "", "", ".\\Quibbet_.txt"}), ByReason());

TEST(LogPath, DeepInstallLogsBesideTheExecutableOrInTheCurrentDirectoryNeverAnAncestor) {
  std::string deep = "/opt";
  while (deep.size() < 600) deep += "/component_" + std::to_string(deep.size());
  const MessageLogLocation beside = MessageLogLocationFor(deep + "/demo");
  EXPECT_EQ(beside.logPath, deep + "/Quibbet_.txt");

  std::string tooDeep = deep;
  while (tooDeep.size() < kLogPathCapacity) tooDeep += "/more_" + std::to_string(tooDeep.size());
  EXPECT_EQ(MessageLogLocationFor(tooDeep + "/demo").logPath, ".\\Quibbet_.txt");
}

}  // namespace
