// The error history window under the headless backend, raised by an error manager on a program
// thread over three earlier messages: asked for with the caller's buttons (HistoryMsg,
// ViewHistory, an error at the view level), one pressed or the window closed. It is not the
// runtime's message box: the message log gets only the plain box raised after it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

#include "framework/history/history_error_class.h"
#include "framework/history/msg_box_class.h"
#include "msglog/globals.h"
#include "msglog/message_log.h"
#include "msglog/setup.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/system_props.h"
#include "runtime/core/text.h"
#include "runtime/core/thread.h"
#include "tests/runtime/ui/robot_fixture.h"
#include "tests/support/files.h"

namespace {

using rt::Long;
using rt::ui::kWait;
using rt::ui::ShownWindow;
using rt::ui::Strings;

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForHistoryWindowTests"};

constexpr Long kIcon = ErrorWindow::Icon;
constexpr Long kList = ErrorWindow::History;
constexpr Long kFirst = ErrorWindow::FirstButton;

// The three earlier messages, all notices: recorded, not shown below the view level.
constexpr Long kEarlier[] = {25, 14, 41};
const Strings kEarlierTexts = {"There are no records available to process.",
                               "This form cannot be used to delete a record",
                               "This form cannot be used to update a record"};

class HistoryWindow : public rt::ui::RobotFixture {
 protected:
  void SetUp() override {
    RobotFixture::SetUp();
    GLO_KESTROMSGLOG__NAME = (dir_ / "Quibbet_.txt").string();
    GLO_KESTROMSGLOG__COMPUTER = "TESTPC";
    GLO_USERNAME.Set("Anna");
    InstallMessageHooks();
  }
  void TearDown() override {
    rt::SetSystemProp(rt::PROP_MessageHook, 0);
    rt::SetSystemProp(rt::PROP_StopHook, 0);
    RobotFixture::TearDown();
  }

  TempDir dir_;
};

// ---- One table: how the window is asked for, what it offers, what answers ----

constexpr Long kView = -1;     // ViewHistory, which answers nothing (-1)
constexpr Long kConfirm = -2;  // at the view level Ask, "Confirm Delete" (11) opens the window: recorded
                               // first, it is the newest of four rows, and the answer decides the level

struct WindowCase {
  const char* name;
  Long buttons;       // HistoryMsg("Earlier", …) with these buttons and the default below, or kView, kConfirm
  Long deflt;
  Strings shown;      // left to right from the first button control
  int defaultAt;      // which of them is the default, marked and focused; -1 none
  const char* press;  // the caption pressed; nullptr: the window is closed instead
  Long result;
};

const Strings kOkHelp = {"&Help", "O&k"};
const Strings kNoYes = {"&No", "&Yes"};
constexpr Long kOk = rt::BUTTON_OK, kOkAndHelp = rt::BUTTON_OK + rt::BUTTON_HELP;
const WindowCase kWindows[] = {
    {"1_OkAndHelp_Ok", kOkAndHelp, kOk, kOkHelp, 1, "O&k", kOk},
    {"5_AllEight_Ignore", 255, rt::BUTTON_CANCEL, {"&Help", "&Cancel", "&Ignore", "&Retry", "&Abort", "&No", "&Yes", "O&k"}, 1,
     "&Ignore", rt::BUTTON_IGNORE},
    {"6_None_OnlyClosing", 0, rt::BUTTON_NO, {}, -1, nullptr, rt::BUTTON_NO},
    {"7_DefaultNotOffered_ClosedGivesIt", rt::BUTTON_RETRY + rt::BUTTON_CANCEL, rt::BUTTON_YES, {"&Cancel", "&Retry"}, -1,
     nullptr, rt::BUTTON_YES},
    {"8_ViewHistory", kView, 0, kOkHelp, 1, "O&k", -1},
    {"9_QuestionYes", kConfirm, 0, kNoYes, 1, "&Yes", Level::Ok},
    {"10_QuestionNo", kConfirm, 0, kNoYes, 1, "&No", Level::Cancel},
    {"11_QuestionClosedIsYes", kConfirm, 0, kNoYes, 1, nullptr, Level::Ok},
};

class HistoryWindows : public HistoryWindow, public ::testing::WithParamInterface<WindowCase> {};

TEST_P(HistoryWindows, OffersTheCallersButtonsOverTheEarlierMessages) {
  const WindowCase& c = GetParam();
  // On a program thread: the error manager with history on, the earlier notices thrown, then
  // the case's question; then a plain message box for the log.
  auto result = std::make_shared<std::promise<Long>>();
  std::future<Long> answer = result->get_future();
  rt::Start([result, &c] {
    HistoryErrorClass errors;
    errors.Init(gStatus);
    errors.SetHistoryThreshold(5);
    errors.SetHistoryViewLevel(c.buttons == kConfirm ? Level::Ask : Level::Fatal);
    for (Long id : kEarlier) errors.Throw(id);
    const Long value = c.buttons == kView      ? (errors.ViewHistory(), -1)
                       : c.buttons == kConfirm ? errors.Throw(11)
                                               : errors.HistoryMsg("Earlier", 0, c.buttons, c.deflt);
    rt::MessageBox("Done", "After");
    result->set_value(value);
  });
  const ShownWindow window = Find(c.buttons == kView ? "Errors History" : c.buttons == kConfirm ? "Confirm Delete" : "Earlier");
  const std::size_t recorded = c.buttons == kConfirm ? 4 : 3;
  Strings shown;
  for (Long b = kFirst; b < kFirst + ErrorWindow::ButtonCount; ++b) {
    if (robot_.Prop(window, b, rt::PROP_Visible) != "1") continue;
    shown.push_back(robot_.Text(window, b));
    EXPECT_EQ(robot_.Prop(window, b, rt::PROP_Default) == "1", c.defaultAt == int(b - kFirst)) << b;
  }
  EXPECT_EQ(shown, c.shown);
  if (c.defaultAt >= 0) {
    EXPECT_EQ(robot_.Focus(window), kFirst + c.defaultAt) << "the default button has the focus";
  }
  EXPECT_EQ(robot_.Prop(window, kIcon, rt::PROP_Icon), std::string(kInformationIcon)) << "icon 0: information";
  const std::vector<Strings> rows = robot_.ListRows(window, kList);
  ASSERT_EQ(rows.size(), recorded);
  // Each cell without the blanks its @s255 picture pads it with; oldest first.
  for (std::size_t i = 0; i < recorded; ++i)
    EXPECT_EQ(rt::Clip(rows[i][0]), i < 3 ? kEarlierTexts[i] : "Are you sure you want to delete the highlighted record?");
  EXPECT_EQ(rt::Clip(rows[0][1]), "QEL");
  EXPECT_EQ(robot_.Prop(window, kList, rt::PROP_Selected), std::to_string(recorded)) << "the newest highlighted";

  if (c.press) {
    const auto at = std::find(c.shown.begin(), c.shown.end(), c.press);
    ASSERT_NE(at, c.shown.end());
    ASSERT_TRUE(robot_.Press(window, kFirst + static_cast<Long>(at - c.shown.begin())));
  } else {
    ASSERT_TRUE(robot_.CloseWindow(window));
  }
  EXPECT_TRUE(robot_.WaitForWindowClosed(window, kWait));
  const auto box = robot_.WaitForMessageBox(kWait);
  ASSERT_TRUE(box);
  ASSERT_TRUE(robot_.PressButton(*box, rt::BUTTON_OK));
  ASSERT_TRUE(rt::WaitForStartedThreads(kWait));
  const std::string log = ReadFile(dir_ / "Quibbet_.txt");
  EXPECT_EQ(log.substr(log.find("\r\n")), MessageBody("", "After", "Done", {"OK", "OK"}) + "\r\n")
      << "one entry: the plain box, nothing from the history window";
  EXPECT_EQ(answer.get(), c.result);
}

INSTANTIATE_TEST_SUITE_P(Windows, HistoryWindows, ::testing::ValuesIn(kWindows),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
