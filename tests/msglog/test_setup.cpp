// The message-log set-up as start-up runs it: computer name, log path beside this binary, hooks.

#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <filesystem>

#include "msglog/globals.h"
#include "msglog/message_log.h"
#include "msglog/setup.h"
#include "runtime/core/system_props.h"
#include "runtime/platform/platform.h"
#include "tests/support/files.h"

namespace {

TEST(MessageLogSetup, FillsTheGlobalsAndInstallsTheHooks) {
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  GLO_KESTROMSGLOG__COMPUTER = "";
  setenv("PGHOST", "127.0.0.1", 1);
  MessageLogSetup();

  char host[HOST_NAME_MAX + 1] = {};
  gethostname(host, sizeof host);
  if (std::strlen(host) < 38)
    EXPECT_EQ(GLO_KESTROMSGLOG__COMPUTER.View(), host);
  else
    EXPECT_EQ(GLO_KESTROMSGLOG__COMPUTER.View(), "");  // too long for the size the call is given

  const std::filesystem::path exe = rt::platform::ExecutablePath();
  EXPECT_EQ(GLO_KESTROMSGLOG__EXEPATH.View(), exe.parent_path().string());
  EXPECT_EQ(GLO_KESTROMSGLOG__NAME.View(), (exe.parent_path() / "Quibbet_.txt").string());

  EXPECT_EQ(rt::GetSystemProp(rt::PROP_MessageHook), reinterpret_cast<std::intptr_t>(&KestroMessage_));
  EXPECT_EQ(rt::GetSystemProp(rt::PROP_StopHook), reinterpret_cast<std::intptr_t>(&KestroStop_));
  // Nothing beside this test binary names a log server, and no environment variable (PGHOST was
  // set) turns the central copy on.
  EXPECT_FALSE(GLO_CentralLog.IsOn());
  unsetenv("PGHOST");
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
}

// The log server as the administrator writes it beside the executable: the first line that
// is neither blank nor a comment, trimmed; nothing else.
TEST(MessageLogSetup, ReadsTheLogServerFromTheAdministratorsFileOnly) {
  const TempDir dir;
  const std::string file = (dir / kLogServerFileName).string();
  const struct {
    const char* name;
    const char* text;  // nullptr: no file
    const char* conninfo;
  } cases[] = {
      {"1.1 no file: no server", nullptr, ""},
      {"1.2 comments and blanks only", "# host=old\n\n   \n", ""},
      {"1.3 first line that counts, trimmed", "# the log server\n\n  host=db port=5432 user=log  \r\nhost=other\n",
       "host=db port=5432 user=log"},
      {"1.4 a URI as written", "postgresql://log@db/office?sslmode=require", "postgresql://log@db/office?sslmode=require"},
  };
  for (const auto& c : cases) {
    std::filesystem::remove(file);
    if (c.text) {
      std::FILE* out = std::fopen(file.c_str(), "w");
      ASSERT_TRUE(out);
      std::fputs(c.text, out);
      std::fclose(out);
    }
    EXPECT_EQ(ReadLogServerFile(file), c.conninfo) << c.name;
  }

  // 1.5 the spool lies beside the log, also one written Windows-style
  EXPECT_EQ(SpoolPathFor("/opt/app/Quibbet_.txt"), "/opt/app/Quibbet_.spool");
  EXPECT_EQ(SpoolPathFor(".\\Quibbet_.txt"), "./Quibbet_.spool");
}

// The cursor lies beside the real log: the installed program's folder links to the system's log.
TEST(MessageLogSetup, TheCursorFollowsTheLogsLink) {
  TempDir dir;
  std::filesystem::create_directories(dir / "var" / "log");
  std::filesystem::create_directories(dir / "prog");
  const std::filesystem::path real = dir / "var" / "log" / kMessageLogFileName;
  const std::filesystem::path cursor = dir / "var" / "log" / kCursorFileName;
  std::filesystem::create_symlink(real, dir / "prog" / "absolute.txt");      // 1 a link to a log not yet made
  std::filesystem::create_symlink("../var/log/" + std::string(kMessageLogFileName),
                                  dir / "prog" / "relative.txt");            // 2 a relative link
  std::filesystem::create_symlink(dir / "prog" / "relative.txt", dir / "prog" / "chain.txt");  // 3 a link to a link
  for (const char* name : {"absolute.txt", "relative.txt", "chain.txt"}) {
    EXPECT_EQ(std::filesystem::weakly_canonical(CursorPathFor((dir / "prog" / name).string())),
              std::filesystem::weakly_canonical(cursor)) << name;
  }
  // 4 a plain log: beside it
  EXPECT_EQ(CursorPathFor((dir / "prog" / kMessageLogFileName).string()), (dir / "prog" / kCursorFileName).string());
}

}  // namespace
