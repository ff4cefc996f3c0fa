// Critical sections, system properties, the assertion report, halt and the two dialogs without a
// UI backend: what the runtime does on its own.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <thread>

#include "runtime/core/assert.h"
#include "tests/support/param_names.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/halt.h"
#include "runtime/core/sync.h"
#include "runtime/core/system_props.h"

namespace {

TEST(CriticalSection, IsReentrantAndExcludesOtherThreads) {
  rt::ISyncObject* section = rt::NewCriticalSection();
  section->Wait();
  section->Wait();  // the owner does not block on itself
  std::atomic<bool> otherGotIn{false};
  std::thread other([&] {
    section->Wait();
    otherGotIn = true;
    section->Release();
  });
  section->Release();
  // Still held once: the other thread must not be inside yet.
  std::this_thread::yield();
  EXPECT_FALSE(otherGotIn.load());
  section->Release();
  other.join();
  EXPECT_TRUE(otherGotIn.load());
  section->Kill();
}

TEST(SystemProperties, HoldValuesProcessWide) {
  EXPECT_EQ(rt::GetSystemProp(99999), 0);
  rt::SetSystemProp(99999, 17);
  std::intptr_t seen = 0;
  std::thread([&] { seen = rt::GetSystemProp(99999); }).join();
  EXPECT_EQ(seen, 17);
  rt::SetSystemProp(99999, 0);
}

TEST(AssertionReport, IsRecordedNotFatal) {
  rt::testing::ClearAssertionMessages();
  RT_ASSERT(1 + 1 == 3, "arithmetic is broken");
  RT_ASSERT(true, "never reported");
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"arithmetic is broken"});
  rt::testing::ClearAssertionMessages();
}

TEST(HaltDeathTest, EndsTheProcessWithItsCode) {
  EXPECT_EXIT(rt::Halt(3, "halted on purpose"), ::testing::ExitedWithCode(3), "halted on purpose");
}

// ---- Dialog requests ----

struct RequestCase {
  const char* reason;
  const char* buttons;
  rt::Long defaultButton;
  std::vector<std::string> captions;
  std::vector<rt::Long> values;
  rt::Long expectedDefault;
  rt::Long expectedEscape;
};

class MessageBoxRequestTest : public ::testing::TestWithParam<RequestCase> {};

TEST_P(MessageBoxRequestTest, ParsesButtonsAsTheRuntimeDoes) {
  const RequestCase& c = GetParam();
  const rt::MessageBoxRequest request = rt::MakeMessageBoxRequest("t", "c", "", c.buttons, c.defaultButton, 0);
  std::vector<std::string> captions;
  std::vector<rt::Long> values;
  for (const rt::DialogButton& button : request.buttons) {
    captions.push_back(button.caption);
    values.push_back(button.value);
  }
  EXPECT_EQ(captions, c.captions) << c.reason;
  EXPECT_EQ(values, c.values) << c.reason;
  EXPECT_EQ(request.defaultValue, c.expectedDefault) << c.reason;
  EXPECT_EQ(request.escapeValue, c.expectedEscape) << c.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MessageBoxRequestTest,
    ::testing::Values(
        RequestCase{"no buttons offers OK", "", 0, {"&OK"}, {1}, 1, 1},
        RequestCase{"Yes and No, escape is No", "6", 0, {"&Yes", "&No"}, {2, 4}, 2, 4},
        RequestCase{"default honoured when offered", "6", 4, {"&Yes", "&No"}, {2, 4}, 4, 4},
        RequestCase{"default not offered falls back to first", "6", 64, {"&Yes", "&No"}, {2, 4}, 2, 4},
        RequestCase{"all eight in bit order", "255", 0,
                    {"&OK", "&Yes", "&No", "&Abort", "&Retry", "&Ignore", "&Cancel", "&Help"},
                    {1, 2, 4, 8, 16, 32, 64, 128}, 1, 64},
        RequestCase{"a set with no known bit still offers OK", "256", 0, {"&OK"}, {1}, 1, 1},
        RequestCase{"digits with bars are captions", "3|5|6|7", 0, {"3", "5", "6", "7"}, {1, 2, 3, 4}, 1, 1},
        RequestCase{"caption list default by position", "Yes|No|Maybe", 3, {"Yes", "No", "Maybe"}, {1, 2, 3}, 3, 3},
        RequestCase{"single caption", "Accept", 0, {"Accept"}, {1}, 1, 1},
        RequestCase{"empty captions kept in place", "A||B", 0, {"A", "", "B"}, {1, 2, 3}, 1, 1}), ByReason());

// ---- Hooks ----

std::string gHookText;
rt::Long HookThatAnswersNo(std::string_view text, std::string_view, std::string_view, std::string_view buttons,
                           rt::Long, rt::Long) {
  gHookText = std::string(text) + "/" + std::string(buttons);
  return rt::BUTTON_NO;
}

bool gStopHookSawOmitted = false;
void StopHookThatGoesOn(std::optional<std::string_view> text) { gStopHookSawOmitted = !text.has_value(); }

TEST(Dialogs, HookPropertiesStandInForTheRuntimesDialogs) {
  rt::SetSystemProp(rt::PROP_MessageHook, reinterpret_cast<std::intptr_t>(&HookThatAnswersNo));
  EXPECT_EQ(rt::MessageBox("Save?", "Question", "", "6"), rt::BUTTON_NO);
  EXPECT_EQ(gHookText, "Save?/6");
  rt::SetSystemProp(rt::PROP_MessageHook, 0);

  rt::SetSystemProp(rt::PROP_StopHook, reinterpret_cast<std::intptr_t>(&StopHookThatGoesOn));
  rt::Stop();
  EXPECT_TRUE(gStopHookSawOmitted);
  rt::Stop("text");
  EXPECT_FALSE(gStopHookSawOmitted);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
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
