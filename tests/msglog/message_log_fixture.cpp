#include "message_log_fixture.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

#include "msglog/globals.h"
#include "msglog/setup.h"
#include "runtime/core/clock.h"
#include "runtime/core/system_props.h"
#include "runtime/ui/target.h"

void MessageLogTest::SetUp() {
  dir_ = std::filesystem::temp_directory_path() /
         ("quibbet_msglog_" + std::to_string(getpid()) + "_" +
          ::testing::UnitTest::GetInstance()->current_test_info()->name());
  std::filesystem::remove_all(dir_);
  std::filesystem::create_directories(dir_);
  log_ = dir_ / "Quibbet_.txt";
  GLO_KESTROMSGLOG__NAME = log_.string();
  GLO_KESTROMSGLOG__COMPUTER = "TESTPC";
  GLO_USERNAME.Set("");
  rt::testing::PinClock(rt::testing::PinnedMoment{2026, 12, 6, 9, 4, 5, 0});
  rt::SetDialogHost(&dialogs_);
  rt::SetTarget(nullptr);
  InstallMessageHooks();
}

void MessageLogTest::TearDown() {
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  rt::SetDialogHost(nullptr);
  rt::SetTarget(nullptr);
  rt::testing::PinClock(std::nullopt);
  std::filesystem::remove_all(dir_);
}

std::string MessageLogTest::LogText() const {
  std::ifstream in(log_, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string MessageLogTest::Header(const std::string& user) {
  return "Dec 06, 2026 09:04:05 USER:" + user + "  ComputerName:TESTPC ";
}
