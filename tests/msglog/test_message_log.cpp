// The hooks and the log writer, end to end through the runtime's dialogs: each kind of entry byte
// for byte, two threads' dialogs open at once, the error codes the hooks leave behind, and where
// and how the writer cuts.

#include <barrier>
#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include "message_log_fixture.h"
#include "msglog/globals.h"
#include "msglog/message_log.h"
#include "runtime/core/clock.h"
#include "runtime/core/last_error.h"
#include "runtime/ui/target.h"

namespace {

const std::string kCrLf = "\r\n";

std::string MessageEntry(const std::string& user, const std::string& title, const std::string& caption,
                         const std::string& text, const std::string& shown, const std::string& pressed) {
  return MessageLogTest::Header(user) + "\r\n  MESSAGE:\r\n  WindowTitle=" + title + "\r\n  MessageTitle=" + caption +
         "\r\n  MessageText=" + text + "\r\n  ShownButtons=" + shown + "\r\n  PressedButton=" + pressed + kCrLf;
}

// Each message as the user answered it, byte for byte; the dialog the user saw is the real one.
struct MessageCase {
  const char* reason;
  std::string text, caption, buttons;
  rt::Long answer;
  const char* user;     // typed at the login, blanks and all
  const char* window;   // the window in front, nullptr: none
  std::string logged;   // the entry after the header, or the whole entry when it starts with the header
};

const std::string kRaw = "caf\xE9 \xFF\xFE";

const MessageCase kMessageCases[] = {
    {"a numeric set, No pressed", "Do you want to save ?", "Attention!", "6", rt::BUTTON_NO, "", nullptr,
     MessageEntry("", "", "Attention!", "Do you want to save ?", "YES|NO", "NO")},
    {"no buttons: OK, the window's title and the user's name trimmed", "Wellcome ...", "Start", "", rt::BUTTON_OK,
     "Anna  ", "Quibbet demo", MessageEntry("Anna", "Quibbet demo", "Start", "Wellcome ...", "OK", "OK")},
    {"caption and text as received, the entry's trailing blanks gone", "line one\r\nline two  ", "  Title  ",
     "Go|Stay  ", 1, "", nullptr, MessageEntry("", "", "  Title  ", "line one\r\nline two  ", "Go|Stay", "Go")},
    {"everything empty", "", "", "", rt::BUTTON_OK, "", nullptr, MessageEntry("", "", "", "", "OK", "OK")},
    {"bytes that are not UTF-8 as they came", kRaw, kRaw, kRaw + "|b", 1, "", nullptr,
     MessageEntry("", "", kRaw, kRaw, kRaw + "|b", kRaw)},
    {"a megabyte of text cut at 2000 bytes and its line end", std::string(1 << 20, 'm'), "Huge", "", rt::BUTTON_OK,
     "", nullptr, MessageEntry("", "", "Huge", std::string(1 << 20, 'm'), "OK", "OK").substr(0, 2000) + kCrLf},
};

TEST_F(MessageLogTest, EachMessageIsWrittenByteForByte) {
  for (const MessageCase& c : kMessageCases) {
    SCOPED_TRACE(c.reason);
    std::filesystem::remove(log_);
    TitledWindow window(c.window ? c.window : "");
    rt::SetTarget(c.window ? &window : nullptr);
    GLO_USERNAME.Set(c.user);
    dialogs_.Answer(c.answer);
    EXPECT_EQ(rt::MessageBox(c.text, c.caption, "", c.buttons), c.answer);
    ASSERT_FALSE(dialogs_.Shown().empty());
    EXPECT_EQ(dialogs_.Shown().back().caption, c.caption);
    EXPECT_EQ(LogText(), c.logged);
    rt::SetTarget(nullptr);
  }
}

TEST_F(MessageLogTest, WindowTitleIsReadAfterTheMessageCloses) {
  TitledWindow window("Before");
  rt::SetTarget(&window);
  dialogs_.Answer([&](const rt::MessageBoxRequest&) {
    window.SetProp(rt::PROP_Text, "After");
    return rt::BUTTON_OK;
  });
  rt::MessageBox("t", "c");
  EXPECT_NE(LogText().find("WindowTitle=After\r\n"), std::string::npos);
}

TEST_F(MessageLogTest, StopThenGoOnGivesTwoEntries) {
  TitledWindow window("Message Logs Test ...");
  rt::SetTarget(&window);
  dialogs_.AnswerStop([&](const rt::StopRequest&) {
    // The stop entry is already in the log while its dialog is open.
    EXPECT_NE(LogText().find("StopText=Exit?"), std::string::npos);
    window.SetProp(rt::PROP_Text, "Changed while open");
    return rt::StopAnswer::GoOn;
  });
  rt::Stop();
  EXPECT_EQ(LogText(), Header() + "\r\n  STOP:\r\n  WindowTitle=Message Logs Test ...\r\n  StopText=Exit?\r\n" +
                           Header() + "\r\n  Previous STOP Ignored.\r\n");
  EXPECT_EQ(dialogs_.StopsShown(), std::vector<std::string>{"Exit?"});
}

TEST_F(MessageLogTest, StopEndedByTheUserLeavesItsEntryAndEndsTheProgram) {
  dialogs_.AnswerStop([](const rt::StopRequest&) { return rt::StopAnswer::EndProgram; });
  EXPECT_EXIT(rt::Stop("Fatal"), ::testing::ExitedWithCode(rt::kStopExitCode), "");
  EXPECT_EQ(LogText(), Header() + "\r\n  STOP:\r\n  WindowTitle=\r\n  StopText=Fatal\r\n");
}

// Both threads write as their dialogs close, round after round.
TEST_F(MessageLogTest, MessagesOfTwoThreadsWithBoxesOpenAtOnceAreEachLoggedOnce) {
  constexpr int kRounds = 150;
  std::barrier bothOpen(2);
  for (int i = 0; i < 2 * kRounds; ++i) {
    dialogs_.Answer([&](const rt::MessageBoxRequest&) {
      bothOpen.arrive_and_wait();  // the other thread's box is open too
      return rt::BUTTON_OK;
    });
    dialogs_.AnswerStop([&](const rt::StopRequest&) {
      bothOpen.arrive_and_wait();
      return rt::StopAnswer::GoOn;
    });
  }
  std::map<std::string, int> expected, logged;
  auto raise = [&](char who) {
    for (int round = 0; round < kRounds; ++round) {
      rt::MessageBox(std::string("m ") + who + std::to_string(round), "c");
      rt::Stop(std::string("s ") + who + std::to_string(round));
    }
  };
  for (char who : {'a', 'b'})
    for (int round = 0; round < kRounds; ++round)
      for (const char* line : {"  MessageText=m ", "  StopText=s "}) expected[line + (who + std::to_string(round))] = 1;
  expected["  Previous STOP Ignored."] = 2 * kRounds;
  std::thread first(raise, 'a'), second(raise, 'b');
  first.join();
  second.join();

  std::istringstream in(LogText());
  for (std::string line; std::getline(in, line);)
    if (line.starts_with("  MessageText=") || line.starts_with("  StopText=") || line.starts_with("  Previous"))
      ++logged[line.substr(0, line.size() - 1)];  // without the CR
  EXPECT_EQ(logged, expected);
  EXPECT_EQ(dialogs_.Shown().size(), 2u * kRounds);
}

TEST_F(MessageLogTest, RaisingCodeReadsTheSameErrorAfterAHookedMessageOrStop) {
  rt::SetError(rt::NoAccessErr);
  rt::SetFileError("13", "Permission denied");
  rt::MessageBox("after a failed open", "Error");
  EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr);
  EXPECT_EQ(rt::Error(), "Access Denied");
  EXPECT_EQ(rt::FileErrorCode(), "13");
  EXPECT_EQ(rt::FileError(), "Permission denied");

  std::filesystem::remove(log_);  // the writer now meets error 2 and creates the file
  rt::SetError(rt::DupKeyErr);
  rt::Stop("declined");
  EXPECT_EQ(rt::ErrorCode(), rt::DupKeyErr);
  EXPECT_EQ(rt::FileErrorCode(), "");
  EXPECT_EQ(LogText().substr(0, Header().size() + 9), Header() + "\r\n  STOP:");
  rt::ClearError();
}

// Entries as the writer takes them, each at midnight: at a path past 600 characters, and a UTF-8
// character that would straddle the 2000th byte left out whole.
TEST_F(MessageLogTest, EntriesAreWrittenWhereAndAsTheySay) {
  std::filesystem::path deep = dir_;
  while (deep.string().size() < 600) deep /= "component_of_a_deep_install";
  std::filesystem::create_directories(deep);
  const std::string header = "Dec 06, 2026 23:59:59 USER:  ComputerName:TESTPC ";  // one moment's date and time
  const std::string prefix = header + "\r\n  ", filler(2000 - prefix.size() - 1, 'y');
  const struct {
    std::filesystem::path log;
    std::string body, logged;
  } cases[] = {
      {deep / "Quibbet_.txt", "\r\n  deep", header + "\r\n  deep\r\n"},
      {dir_ / "cut.txt", "\r\n  " + filler + "\xE2\x82\xAC", prefix + filler + kCrLf},
  };
  for (const auto& c : cases) {
    rt::testing::PinClockSequence({{2026, 12, 6, 23, 59, 59, 99}, {2026, 12, 7, 0, 0, 0, 0}});
    GLO_KESTROMSGLOG__NAME = c.log.string();
    KestroSaveMessLog_(c.body);
    EXPECT_EQ(ReadFile(c.log), c.logged) << c.body.substr(0, 20);
  }
}

}  // namespace
