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

namespace {

TEST(MessageLogSetup, FillsTheGlobalsAndInstallsTheHooks) {
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  GLO_KESTROMSGLOG__COMPUTER = "";
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
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
}

}  // namespace
