#include "message_log_fixture.h"

#include "msglog/globals.h"
#include "msglog/setup.h"
#include "runtime/core/clock.h"
#include "runtime/core/system_props.h"
#include "runtime/ui/target.h"

void MessageLogTest::SetUp() {
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
}

std::string MessageLogTest::LogText() const { return ReadFile(log_); }

std::string MessageLogTest::Header(const std::string& user) {
  return "Dec 06, 2026 09:04:05 USER:" + user + "  ComputerName:TESTPC ";
}
