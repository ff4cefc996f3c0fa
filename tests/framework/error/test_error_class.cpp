// ErrorClass; dialogs are answered by a scripted host, as a user would.

#include <gtest/gtest.h>
#include <filesystem>
#include <thread>

#include "framework/error/error_class.h"
#include "runtime/core/date_time.h"
#include "runtime/core/picture.h"
#include "runtime/core/assert.h"
#include "runtime/core/clock.h"
#include "runtime/core/last_error.h"
#include "tests/support/files.h"
#include "tests/support/scripted_dialogs.h"

namespace {

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForTests"};

class ErrorClassTest : public ::testing::Test {
 protected:
  void SetUp() override {
    rt::SetDialogHost(&dialogs_);
    rt::testing::ClearAssertionMessages();
    rt::ClearError();
    gStatus->Values = ErrorStatusGroup{};
    errors_.Init(gStatus);
  }
  void TearDown() override {
    rt::SetDialogHost(nullptr);
    rt::ClearError();
  }
  std::string OnlyShownText() {
    const auto shown = dialogs_.Shown();
    return shown.size() == 1 ? shown[0].text : "<" + std::to_string(shown.size()) + " dialogs>";
  }

  ScriptedDialogs dialogs_;
  ErrorClass errors_;
};

TEST_F(ErrorClassTest, DriverErrorsFillErrorTextFromTheDriver) {
  errors_.SetFile("AFile");
  const char* const full = "database or disk is full (SQLITE_FULL)";
  for (auto [code, text] : {std::pair<rt::Long, const char*>{90, full}, {100, full}, {rt::IsHeldErr, "Record Is Already Held (43)"}}) {
    if (code == rt::IsHeldErr) rt::SetError(code);  // not a driver error: the runtime's own text
    else rt::SetError(code, "Driver reported");
    rt::SetFileError("SQLITE_FULL", "database or disk is full");
    errors_.Throw(13);
    EXPECT_EQ(dialogs_.Shown().back().text,
              std::string("An error (") + text + ") was experienced when deleting a record from the AFile file.");
  }
}

TEST_F(ErrorClassTest, AskLevelAnswersOkOnYesAndCancelOtherwise) {
  dialogs_.Answer(rt::BUTTON_YES);
  EXPECT_EQ(errors_.Throw(11), Level::Ok);
  dialogs_.Answer(rt::BUTTON_NO);
  EXPECT_EQ(errors_.Throw(11), Level::Cancel);
  const rt::MessageBoxRequest shown = dialogs_.Shown().at(0);  // Shown() gives a copy
  EXPECT_EQ(shown.caption + "|" + shown.text, "Confirm Delete|Are you sure you want to delete the highlighted record?");
  EXPECT_EQ(shown.icon, kExclamationIcon);
  std::string buttons = std::to_string(shown.defaultValue) + "|";
  for (const rt::DialogButton& button : shown.buttons) buttons += std::to_string(button.value) + ";";
  EXPECT_EQ(buttons, "2|2;4;") << "the default, then the values offered";
}

TEST_F(ErrorClassTest, AddedEntryReplacesAndRemovingUncovers) {
  errors_.AddError(26, "Cannot open %File at all.", "Open Failed", Level::Notify, "");
  errors_.SetFile("AFile");
  EXPECT_EQ(errors_.Throw(26), Level::Notify);  // the new entry's level, not the built-in Fatal
  EXPECT_EQ(OnlyShownText(), "Cannot open AFile at all.");
  errors_.RemoveError(26);
  ErrorEntryGroup entry;
  ASSERT_EQ(errors_.GetErrorEntry(26, entry), Level::Ok);
  EXPECT_EQ(std::string(entry.Title) + std::to_string(entry.Fatality), "File Access Error" + std::to_string(Level::Fatal));
  errors_.RemoveError(26);
  errors_.RemoveError(26);  // nothing left to remove
  EXPECT_EQ(rt::testing::AssertionMessages(), std::vector<std::string>{"Identifier not found."});
  EXPECT_EQ(errors_.Throw(999), Level::Ok) << "an unknown id is an empty Ok entry";
  EXPECT_EQ(OnlyShownText(), "Cannot open AFile at all.") << "and shows nothing";
  EXPECT_EQ(errors_.Message(999, rt::BUTTON_OK, rt::BUTTON_OK), rt::BUTTON_OK);
  EXPECT_EQ(dialogs_.Shown().back().text, "");
}

TEST_F(ErrorClassTest, CategoriesFallBackToTheDefaultAndFillTheirPlaceholder) {
  errors_.SetCategory(26, "Files");
  errors_.SetCategory(-1, "APP");  // the default for every id without its own
  EXPECT_EQ(errors_.GetCategory(26) + " " + errors_.GetCategory(25), "Files APP");
  errors_.AddError(200, "[%Category]", "Categorised", Level::Notify, "Mine");
  errors_.AddError(201, "[%Category]", "Uncategorised", Level::Notify, "");
  errors_.Throw(200);
  errors_.Throw(201);
  ASSERT_EQ(dialogs_.Shown().size(), 2u);
  EXPECT_EQ(dialogs_.Shown()[0].text + dialogs_.Shown()[1].text, "[Mine][]") << "no fallback to the default in the text";
}

TEST_F(ErrorClassTest, FillsEachPlaceholderWithItsOwnValue) {
  const struct { const char* reason; const char* templateText; const char* expected; } cases[] = {
      {"longer names first", "%FileErrorCode|%FileError|%File", "13|Permission denied|AFile"},
      {"error code, text and bare", "%ErrorCode/%ErrorText/%Error", "5/Access Denied (5)/Access Denied"},
      {"placeholders ignore case", "%FILE and %file and %fIlE", "AFile and AFile and AFile"},
      {"key field message procedure", "%Key %Field %Message %Procedure", "AFI:IDKey AFI:ID free text BrowseAFile"},
      {"a lone percent sign stays", "100% %File", "100% AFile"},
      {"previous: the entry before", "%Previous", "There are no records available to process."},
  };
  errors_.SetFile("AFile");
  errors_.SetKey("AFI:IDKey");
  errors_.SetField("AFI:ID");
  errors_.SetMessageText("free text");
  errors_.SetProcedureName("BrowseAFile");
  rt::SetError(rt::NoAccessErr, "Access Denied");
  rt::SetFileError("13", "Permission denied");
  errors_.SetErrors();
  for (const auto& c : cases) {
    errors_.AddError(300, c.templateText, "T", Level::Notify, "");
    errors_.StoreErrorEntry(25);  // the entry before, for %Previous
    errors_.StoreErrorEntry(300);
    EXPECT_EQ(errors_.SubsString(), c.expected) << c.reason;
  }
  errors_.SetProcedureName();
}

TEST_F(ErrorClassTest, ReplaceEndsWhenTheValueHoldsItsPlaceholder) {
  std::string text = "a %File b %File";
  Replace("%File", "x%Filey", text, 2000);
  EXPECT_EQ(text, "a x%Filey b x%Filey");
  text = "%File";
  Replace("%file", "%FILE", text, 2000);  // equal ignoring case: nothing to do
  EXPECT_EQ(text, "%File");
  text = "%F%F%F";
  Replace("%F", "%F%F", text, 8);  // cut to the capacity as it grows
  EXPECT_EQ(text, "%F%F%F%");
}

TEST_F(ErrorClassTest, FilledTextIsCutAtTheWorkingCapacity) {
  errors_.SetMessageText(std::string(254, 'm'));
  const std::string text = std::string(1900, 'a') + "%Message";  // kept by reference
  errors_.AddError(302, text, "T", Level::Notify, "");
  errors_.StoreErrorEntry(302);
  EXPECT_EQ(errors_.SubsString(), std::string(1900, 'a') + std::string(99, 'm'));
}

TEST_F(ErrorClassTest, TruncatedBlockStopsCleanlyWithAnAssertion) {
  // Two announced entries; the second claims a title longer than what is left.
  const unsigned char block[] = {2, 0, 0x90, 0x01, Level::Notify, 1, 'T', 2, 'm', 'm',
                                 0x91, 0x01, Level::Notify, 200, 'x'};
  errors_.AddErrors(block);
  ErrorEntryGroup entry;
  ASSERT_EQ(errors_.GetErrorEntry(400, entry), Level::Ok);
  EXPECT_EQ(entry.Message, "mm");
  EXPECT_EQ(errors_.GetErrorEntry(401, entry), Level::Notify);
  ASSERT_EQ(rt::testing::AssertionMessages().size(), 2u);
  EXPECT_NE(rt::testing::AssertionMessages()[0].find("runs past its end"), std::string::npos);
  const unsigned char headerOnly[] = {1, 0, 0x92, 0x01, Level::Notify};  // ends before the title's length
  errors_.AddErrors(headerOnly);
  EXPECT_EQ(errors_.GetErrorEntry(402, entry), Level::Notify) << "no entry made of texts never read";
}

TEST_F(ErrorClassTest, HistoryKeepsTheLastThreeOldestFirst) {
  errors_.SetHistoryThreshold(3);
  errors_.SetHistoryViewLevel(Level::Fatal);
  for (int i = 1; i <= 5; ++i) {
    errors_.SetMessageText("notice " + std::to_string(i));
    EXPECT_EQ(errors_.Throw(46), Level::Notify);  // "%Message "
  }
  const std::vector<ErrorHistoryList> history = errors_.HistorySnapshot();
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0].Txt.Str() + history[2].Txt.Str() + history[2].Category, "notice 3 notice 5 QEL");
  EXPECT_TRUE(dialogs_.Shown().empty());  // below the view level nothing is shown
  errors_.SetHistoryThreshold(-1);
  for (int i = 0; i < 10; ++i) errors_.Throw(25);
  errors_.AddError(65535, "wide id", "Wide", Level::Notify, "WIDE");
  errors_.Throw(65535);
  EXPECT_EQ(errors_.HistorySnapshot().size(), 14u) << "no limit";
  EXPECT_EQ(errors_.HistorySnapshot().back().Category, "WIDE") << "an id past 16 signed bits keeps its own category";
  errors_.ResetHistory();
  EXPECT_TRUE(errors_.HistorySnapshot().empty());
}

// Message asks without logging or history; Silent shows nothing and answers the default.
TEST_F(ErrorClassTest, MessageAsksUnrecordedAndSilentAnswersDefaults) {
  errors_.SetHistoryThreshold(-1);
  dialogs_.Answer(rt::BUTTON_CANCEL);
  EXPECT_EQ(errors_.Message(38, rt::BUTTON_YES + rt::BUTTON_NO + rt::BUTTON_CANCEL, rt::BUTTON_YES), rt::BUTTON_CANCEL);
  EXPECT_EQ(dialogs_.Shown().at(0).buttons.size(), 3u);
  errors_.Silent = 1;
  EXPECT_EQ(errors_.Message(38, rt::BUTTON_YES + rt::BUTTON_NO + rt::BUTTON_CANCEL, rt::BUTTON_NO), rt::BUTTON_NO);
  EXPECT_EQ(errors_.Throw(11), Level::Ok);  // TakeUser's default button is Yes
  EXPECT_EQ(errors_.Throw(25), Level::Notify);
  EXPECT_EQ(dialogs_.Shown().size(), 1u);
  EXPECT_EQ(errors_.HistorySnapshot().size(), 2u);  // Message is no Msg: not recorded
  EXPECT_EXIT(errors_.Throw(12), ::testing::ExitedWithCode(0), "");
}

// The procedure-name stack and the status (file, …) belong to the calling thread.
TEST_F(ErrorClassTest, ProcedureNamesAndStatusArePerThread) {
  errors_.SetProcedureName("Main");
  errors_.SetFile("MainFile");
  std::string seen;
  std::thread second([&] {
    rt::ThreadScope scope;
    errors_.SetProcedureName("BrowseAFile  ");
    errors_.SetProcedureName("UpdateAFile");
    errors_.SetProcedureName();
    seen = errors_.GetProcedureName() + "|";
    errors_.SetFile("OtherFile");
    errors_.StoreErrorEntry(26);
    seen += errors_.SubsString().substr(0, 14);
  });
  second.join();
  EXPECT_EQ(seen, "BrowseAFile|File OtherFile");
  errors_.StoreErrorEntry(26);
  EXPECT_EQ(errors_.GetProcedureName() + " " + errors_.SubsString().substr(0, 13), "Main File MainFile");
  errors_.SetProcedureName();
  errors_.SetProcedureName();  // nothing left: harmless
}

// The error log lies in the current directory.
class ErrorLoggingTest : public ErrorClassTest {
 protected:
  TempDir dir_;
  ScopedCurrentDirectory inDir_{dir_.Path()};
};

TEST_F(ErrorLoggingTest, EachShownMessageIsOneLogLine) {
  rt::testing::PinClock(rt::testing::PinnedMoment{2026, 12, 6, 19, 4, 5, 0});
  errors_.LogErrors = 1;
  errors_.Throw(25);
  errors_.Throw(25);
  rt::testing::PinClock(std::nullopt);
  const std::string line = rt::Format(rt::DateFromCivil(2026, 12, 6), "@D17") + "@" +
                           rt::Format(rt::TimeFromParts(19, 4, 5), "@T8") +
                           " --> There are no records available to process.\r\n";
  EXPECT_EQ(ReadFile(StandardErrorLogClass::kFileName), line + line);
  EXPECT_EQ(dialogs_.Shown().size(), 2u);  // logged and shown
}

TEST_F(ErrorLoggingTest, LoggingWithoutAWriterIsReported) {
  errors_.LogErrors = 1;
  errors_.SetErrorLog(nullptr);
  EXPECT_EQ(errors_.Throw(25), Level::Notify);
  EXPECT_EQ(OnlyShownText(), "There are no records available to process.");  // shown all the same
  EXPECT_EQ(rt::testing::AssertionMessages(),
            std::vector<std::string>{"Attempt to LogErrors with ErrorLogInterface NULL!"});
}

}  // namespace
