// The file manager's messages reach the user through the runtime's message box, so the message
// hook logs them: a refused delete's question appears in the log with the button pressed.

#include <gtest/gtest.h>

#include "msglog/globals.h"
#include "msglog/setup.h"
#include "runtime/core/clock.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/system_props.h"
#include "runtime/ui/target.h"
#include "tests/framework/data/data_fixture.h"

namespace testdict {
namespace {

class LoggedMessages : public DataTest {
 protected:
  void SetUp() override {
    DataTest::SetUp();
    GLO_KESTROMSGLOG__NAME = (temp_ / "Quibbet_.txt").string();
    GLO_KESTROMSGLOG__COMPUTER = "TESTPC";
    GLO_USERNAME.Set("Anna");
    rt::testing::PinClock(rt::testing::PinnedMoment{2026, 12, 6, 9, 4, 5, 0});
    rt::SetTarget(&window_);
    InstallMessageHooks();
  }
  void TearDown() override {
    rt::SetSystemProp(rt::PROP_MessageHook, 0);
    rt::SetSystemProp(rt::PROP_StopHook, 0);
    rt::SetTarget(nullptr);
    rt::testing::PinClock(std::nullopt);
    DataTest::TearDown();
  }
  TitledWindow window_{"Update Parent"};
};

TEST_F(LoggedMessages, DeleteQuestionAnsweredNoIsLoggedWithItsWindowAndButton) {
  AddParents({{1, "One"}});
  ASSERT_EQ(parent_->Open(), Level::Ok);
  ASSERT_EQ(parent_->Next(), Level::Ok);
  dialogs_.Answer(rt::BUTTON_NO);
  EXPECT_EQ(parent_->DeleteRecord(1), Level::Cancel);
  parent_->Close();
  EXPECT_EQ(ReadFile(temp_ / "Quibbet_.txt"),
            "Dec 06, 2026 09:04:05 USER:Anna  ComputerName:TESTPC \r\n  MESSAGE:\r\n  WindowTitle=Update Parent"
            "\r\n  MessageTitle=Confirm Delete\r\n  MessageText=Are you sure you want to delete the highlighted record?"
            "\r\n  ShownButtons=YES|NO\r\n  PressedButton=NO\r\n");
  EXPECT_EQ(Parents().size(), 1u);
}

}  // namespace
}  // namespace testdict
