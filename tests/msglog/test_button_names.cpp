// How the message log names the buttons offered and the button pressed, for numeric sets and
// caption lists, including results outside what was offered.

#include <gtest/gtest.h>

#include "msglog/message_log.h"
#include "tests/support/param_names.h"

namespace {

struct NameCase {
  const char* reason;
  std::string buttons;
  rt::Long result;
  std::string shown;
  std::string pressed;
};

class ButtonNamesTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(ButtonNamesTest, NamesAsTheLogWritesThem) {
  const NameCase& c = GetParam();
  const ButtonNames names = NameButtons(c.buttons, c.result);
  EXPECT_EQ(names.shown, c.shown) << c.reason;
  EXPECT_EQ(names.pressed, c.pressed) << c.reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ButtonNamesTest,
    ::testing::Values(
        NameCase{"set 0 offers nothing; the runtime's lone OK still has its name", "0", 1, "", "OK"},
        NameCase{"set 6, No pressed", "6", 4, "YES|NO", "NO"},
        NameCase{"all eight bits", "255", 128, "OK|YES|NO|ABORT|RETRY|IGNORE|CANCEL|HELP", "HELP"},
        NameCase{"result outside the table", "6", 3, "YES|NO", ""},
        NameCase{"blanks around a number", " 6 ", 4, "YES|NO", "NO"},
        NameCase{"bits above the table are not named", "257", 1, "OK", "OK"},
        NameCase{"no argument: OK whatever came back", "", 0, "OK", "OK"},
        NameCase{"blanks only", "   ", 7, "OK", "OK"},
        NameCase{"digits with bars are captions, second pressed", "3|5|6|7", 2, "3|5|6|7", "5"},
        NameCase{"last of four", "3|5|6|7", 4, "3|5|6|7", "7"},
        NameCase{"result 0 names the first", "Yes|No|Maybe", 0, "Yes|No|Maybe", "Yes"},
        NameCase{"beyond the last names the last", "Yes|No|Maybe", 9, "Yes|No|Maybe", "Maybe"},
        NameCase{"single caption whatever the result", "Accept", 5, "Accept", "Accept"},
        NameCase{"pressed name cut at 20", "Short|ABCDEFGHIJKLMNOPQRSTUVWXYZ", 2, "Short|ABCDEFGHIJKLMNOPQRSTUVWXYZ",
                 "ABCDEFGHIJKLMNOPQRST"},
        NameCase{"single long caption cut at 20", std::string(30, 'x'), 1, std::string(30, 'x'), std::string(20, 'x')},
        NameCase{"empty caption in the middle", "A||B", 2, "A||B", ""},
        NameCase{"trailing bar, past it is empty", "A|B|", 3, "A|B|", ""},
        NameCase{"list cut at 250, pressed caption lies beyond", std::string(249, 'a') + "|zzz", 2,
                 std::string(249, 'a') + "|", ""}), ByReason());

}  // namespace
