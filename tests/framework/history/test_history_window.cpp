// The error history window under the headless backend, on a program thread as an error
// manager raises it: three earlier messages recorded with history switched on, then the window
// asked for directly (HistoryMsg, ViewHistory) or by an error of the view level. Tables: the
// buttons a caller chooses, which of them answers, and closing without one; the question whose
// answer decides the error's level. The window is not the runtime's message box: the message
// log gets nothing from it, only the plain box raised after it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <future>
#include <ostream>
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

using rt::Byte;
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

template <class Case>
  requires requires(const Case& c) { std::string(c.name); }
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

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

  // On a program thread: the error manager with history on (at most `threshold` records, shown
  // at `viewLevel`), the earlier notices thrown, then `ask`; its value comes back, and then a
  // plain message box ("After", "Done") is raised for the log.
  template <class Ask>
  std::future<Long> Start(Long viewLevel, Ask ask, Long threshold = 5) {
    auto result = std::make_shared<std::promise<Long>>();
    std::future<Long> answer = result->get_future();
    rt::Start([result, viewLevel, ask, threshold] {
      HistoryErrorClass errors;
      errors.Init(gStatus);
      errors.SetHistoryThreshold(threshold);
      errors.SetHistoryViewLevel(viewLevel);
      for (Long id : kEarlier) errors.Throw(id);
      const Long value = ask(errors);
      rt::MessageBox("Done", "After");
      result->set_value(value);
    });
    return answer;
  }

  // Answers the plain box raised after the window and checks that the log holds it alone.
  void ExpectOnlyThePlainBoxLogged() {
    const auto box = robot_.WaitForMessageBox(kWait);
    ASSERT_TRUE(box);
    ASSERT_TRUE(robot_.PressButton(*box, rt::BUTTON_OK));
    ASSERT_TRUE(rt::WaitForStartedThreads(kWait));
    const std::string log = ReadFile(dir_ / "Quibbet_.txt");
    EXPECT_EQ(log.substr(log.find("\r\n")), MessageBody("", "After", "Done", {"OK", "OK"}) + "\r\n")
        << "one entry: the box, nothing from the history window";
  }

  // The list's shown rows, each cell without the blanks its @s255 picture pads it with.
  std::vector<Strings> Rows(const ShownWindow& window) {
    std::vector<Strings> rows;
    for (const Strings& row : robot_.ListRows(window, kList)) {
      Strings& cells = rows.emplace_back();
      for (const std::string& cell : row) cells.emplace_back(rt::Clip(cell));
    }
    return rows;
  }

  Strings ButtonTexts(const ShownWindow& window) {
    Strings shown;
    for (Long c = kFirst; c < kFirst + ErrorWindow::ButtonCount; ++c)
      if (robot_.Prop(window, c, rt::PROP_Visible) == "1") shown.push_back(robot_.Text(window, c));
    return shown;
  }

  TempDir dir_;
};

// ---- The caller's buttons ----

struct ButtonCase {
  const char* name;
  Long buttons;
  Long defaultButton;
  Strings shown;       // left to right from the first button control
  const char* press;   // the caption pressed; nullptr: the window is closed instead
  Long result;
};

const ButtonCase kButtons[] = {
    {"1_OkAndHelp_Ok", rt::BUTTON_OK + rt::BUTTON_HELP, rt::BUTTON_OK, {"&Help", "O&k"}, "O&k", rt::BUTTON_OK},
    {"2_OkAndHelp_Help", rt::BUTTON_OK + rt::BUTTON_HELP, rt::BUTTON_OK, {"&Help", "O&k"}, "&Help", rt::BUTTON_HELP},
    {"3_OkAndHelp_ClosedGivesTheDefault", rt::BUTTON_OK + rt::BUTTON_HELP, rt::BUTTON_OK, {"&Help", "O&k"}, nullptr,
     rt::BUTTON_OK},
    {"4_YesNo_No", rt::BUTTON_YES + rt::BUTTON_NO, rt::BUTTON_YES, {"&No", "&Yes"}, "&No", rt::BUTTON_NO},
    {"5_AllEight_Ignore", 255, rt::BUTTON_CANCEL,
     {"&Help", "&Cancel", "&Ignore", "&Retry", "&Abort", "&No", "&Yes", "O&k"}, "&Ignore", rt::BUTTON_IGNORE},
    {"6_None_OnlyClosing", 0, rt::BUTTON_NO, {}, nullptr, rt::BUTTON_NO},
    {"7_DefaultNotOffered_ClosedGivesIt", rt::BUTTON_RETRY + rt::BUTTON_CANCEL, rt::BUTTON_YES, {"&Cancel", "&Retry"},
     nullptr, rt::BUTTON_YES},
};

class HistoryButtons : public HistoryWindow, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(HistoryButtons, OffersTheCallersButtonsOverTheEarlierMessages) {
  const ButtonCase& c = GetParam();
  std::future<Long> result = Start(Level::Fatal, [c](HistoryErrorClass& errors) {
    return errors.HistoryMsg("Earlier messages", 0, c.buttons, c.defaultButton);
  });
  const ShownWindow window = Find("Earlier messages");
  EXPECT_EQ(ButtonTexts(window), c.shown);
  for (std::size_t i = 0; i < c.shown.size(); ++i) {
    const Long control = kFirst + static_cast<Long>(i);
    const bool isDefault = c.shown[i] == AnswerButtonText(c.defaultButton);
    EXPECT_EQ(robot_.Prop(window, control, rt::PROP_Default) == "1", isDefault) << c.shown[i];
    if (isDefault) {
      EXPECT_EQ(robot_.Focus(window), control) << "the default button has the focus";
    }
  }
  EXPECT_EQ(robot_.Prop(window, kIcon, rt::PROP_Icon), std::string(kInformationIcon)) << "icon 0: information";
  const auto rows = Rows(window);
  ASSERT_EQ(rows.size(), 3u);
  for (std::size_t i = 0; i < rows.size(); ++i) {
    ASSERT_EQ(rows[i].size(), 2u);
    EXPECT_EQ(rows[i][0], kEarlierTexts[i]) << "oldest first";
    EXPECT_EQ(rows[i][1], "QEL");
  }
  EXPECT_EQ(robot_.Prop(window, kList, rt::PROP_Selected), "3") << "the newest highlighted";

  if (c.press) {
    const auto at = std::find(c.shown.begin(), c.shown.end(), c.press);
    ASSERT_NE(at, c.shown.end());
    ASSERT_TRUE(robot_.Press(window, kFirst + static_cast<Long>(at - c.shown.begin())));
  } else {
    ASSERT_TRUE(robot_.CloseWindow(window));
  }
  EXPECT_TRUE(robot_.WaitForWindowClosed(window, kWait));
  ExpectOnlyThePlainBoxLogged();
  EXPECT_EQ(result.get(), c.result);
}

INSTANTIATE_TEST_SUITE_P(Buttons, HistoryButtons, ::testing::ValuesIn(kButtons),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Asked for by the error manager ----

TEST_F(HistoryWindow, ViewHistoryShowsTheRecordedMessagesWithHelpAndOk) {
  std::future<Long> result = Start(Level::Fatal, [](HistoryErrorClass& errors) {
    errors.ViewHistory();
    return Long{0};
  });
  const ShownWindow window = Find("Errors History");
  EXPECT_EQ(ButtonTexts(window), (Strings{"&Help", "O&k"}));
  EXPECT_EQ(robot_.Focus(window), kFirst + 1);
  EXPECT_EQ(Rows(window).size(), 3u);
  ASSERT_TRUE(robot_.Press(window, kFirst + 1));
  EXPECT_TRUE(robot_.WaitForWindowClosed(window, kWait));
  ExpectOnlyThePlainBoxLogged();
  result.get();
}

struct QuestionCase {
  const char* name;
  const char* press;
  Byte level;  // what the question's Throw returns
};

const QuestionCase kQuestions[] = {
    {"Yes", "&Yes", Level::Ok},
    {"No", "&No", Level::Cancel},
    {"Closed", nullptr, Level::Ok},  // the default button, Yes
};

class HistoryQuestion : public HistoryWindow, public ::testing::WithParamInterface<QuestionCase> {};

// At the view level Ask, the question (11, "Confirm Delete") opens the history window instead
// of a message box: recorded first, so it is the newest of four rows.
TEST_P(HistoryQuestion, TheAnswerDecidesTheLevel) {
  const QuestionCase& c = GetParam();
  std::future<Long> result = Start(Level::Ask, [](HistoryErrorClass& errors) { return Long{errors.Throw(11)}; });
  const ShownWindow window = Find("Confirm Delete");
  EXPECT_EQ(ButtonTexts(window), (Strings{"&No", "&Yes"}));
  EXPECT_EQ(robot_.Focus(window), kFirst + 1) << "Yes is the default";
  const auto rows = Rows(window);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[3][0], "Are you sure you want to delete the highlighted record?");
  EXPECT_EQ(robot_.Prop(window, kList, rt::PROP_Selected), "4");
  if (c.press) {
    ASSERT_TRUE(robot_.Press(window, std::string(c.press) == "&No" ? kFirst : kFirst + 1));
  } else {
    ASSERT_TRUE(robot_.CloseWindow(window));
  }
  EXPECT_TRUE(robot_.WaitForWindowClosed(window, kWait));
  ExpectOnlyThePlainBoxLogged();
  EXPECT_EQ(result.get(), c.level);
}

INSTANTIATE_TEST_SUITE_P(Answers, HistoryQuestion, ::testing::ValuesIn(kQuestions),
                         [](const auto& info) { return std::string(info.param.name); });

// A threshold keeps the newest records only; the window shows what was kept.
TEST_F(HistoryWindow, ThresholdKeepsTheNewestRecords) {
  std::future<Long> result = Start(
      Level::Fatal, [](HistoryErrorClass& errors) { return errors.HistoryMsg("", 0, rt::BUTTON_OK, rt::BUTTON_OK); }, 2);
  const ShownWindow window = Find("Error");
  const auto rows = Rows(window);
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0][0], kEarlierTexts[1]);
  EXPECT_EQ(rows[1][0], kEarlierTexts[2]);
  ASSERT_TRUE(robot_.Press(window, kFirst));
  EXPECT_TRUE(robot_.WaitForWindowClosed(window, kWait));
  ExpectOnlyThePlainBoxLogged();
  EXPECT_EQ(result.get(), rt::BUTTON_OK);
}

}  // namespace
