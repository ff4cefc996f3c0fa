// Halt, the message box request and the two dialogs without a UI backend: what the runtime does on
// its own. Critical sections are tested through the framework's guard, system properties and the
// dialog hooks through the message log, assertion reports by every test that expects one.

#include <gtest/gtest.h>

#include "runtime/core/dialogs.h"
#include "runtime/core/halt.h"

namespace {

TEST(HaltDeathTest, EndsTheProcessWithItsCode) {
  EXPECT_EXIT(rt::Halt(3, "halted on purpose"), ::testing::ExitedWithCode(3), "halted on purpose");
}

// The button set as the runtime reads it: captions, values, default, Esc's value and whether Esc closes.
TEST(MessageBoxRequestTest, ParsesButtonsAsTheRuntimeDoes) {
  const struct {
    const char* reason;
    const char* buttons;
    rt::Long defaultButton;
    std::vector<std::string> captions;
    std::vector<rt::Long> values;
    rt::Long expectedDefault, expectedEscape;
    bool escapeCloses = true;
  } kCases[] = {
      {"no buttons offers OK", "", 0, {"&OK"}, {1}, 1, 1},
      {"Yes and No, escape is No", "6", 0, {"&Yes", "&No"}, {2, 4}, 2, 4},
      {"default honoured when offered", "6", 4, {"&Yes", "&No"}, {2, 4}, 4, 4},
      {"default not offered falls back to first", "6", 64, {"&Yes", "&No"}, {2, 4}, 2, 4},
      {"all eight in bit order", "255", 0,
      {"&OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "&Cancel", "&Help"},
      {1, 2, 4, 8, 16, 32, 64, 128}, 1, 64},
      {"a set with no known bit still offers OK", "256", 0, {"&OK"}, {1}, 1, 1},
      {"digits with bars are captions", "3|5|6|7", 0, {"3", "5", "6", "7"}, {1, 2, 3, 4}, 1, 1, false},
      {"caption list default by position, Esc is No", "Yes|No|Maybe", 3, {"Yes", "No", "Maybe"}, {1, 2, 3}, 3, 2},
      {"named Cancel beats No and the first button", "&Accept|no|&Cancel ", 1,
      {"&Accept", "no", "&Cancel "}, {1, 2, 3}, 1, 3},
      {"single caption", "Accept", 0, {"Accept"}, {1}, 1, 1},
      {"empty captions kept in place, Esc ignored", "A||B", 0, {"A", "", "B"}, {1, 2, 3}, 1, 1, false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reason);
    const rt::MessageBoxRequest request = rt::MakeMessageBoxRequest("t", "c", "", c.buttons, c.defaultButton, 0);
    std::vector<std::string> captions;
    std::vector<rt::Long> values;
    for (const rt::DialogButton& button : request.buttons) {
      captions.push_back(button.caption);
      values.push_back(button.value);
    }
    EXPECT_EQ(captions, c.captions);
    EXPECT_EQ(values, c.values);
    EXPECT_EQ(request.defaultValue, c.expectedDefault);
    EXPECT_EQ(request.escapeValue, c.expectedEscape);
    EXPECT_EQ(request.escapeCloses, c.escapeCloses);
  }
}

TEST(Dialogs, WithoutAHostMessageReturnsItsDefault) {
  rt::SetDialogHost(nullptr);
  EXPECT_EQ(rt::MessageBox("Save?", "Question", "", "6", rt::BUTTON_NO), rt::BUTTON_NO);
  EXPECT_EQ(rt::MessageBox("Pick", "Question", "", "A|B|C", 2), 2);
}

TEST(DialogsDeathTest, StopWithoutAHostEndsTheProgram) {
  rt::SetDialogHost(nullptr);
  EXPECT_EXIT(rt::Stop("Disk full"), ::testing::ExitedWithCode(rt::kStopExitCode), "Disk full");
}

}  // namespace
