// The update form UpdateAFile as a user meets it, in the whole program under the headless
// backend: after the start-up, each call runs on a thread of its own as the browse's does (its
// window open, the record read, GlobalRequest set) and the Robot plays the user. Inserts at the
// edges of the entries' pictures, a change, a delete declined and then done, a view; values the
// pictures refuse; and another copy of the program (tests/app/other_station, a process of its
// own) changing or deleting the record before the form opens or while it is open. Each test
// checks the data file afterwards and the log entries the user met, in order.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "app/afile_record.h"
#include "app/dictionary.h"
#include "app/globals.h"
#include "app/procedures.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/window/window_manager.h"
#include "msglog/message_log.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/last_error.h"
#include "runtime/core/picture.h"
#include "runtime/core/text.h"
#include "runtime/data/field_ref.h"
#include "runtime/data/file.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/window.h"
#include "tests/app/shell_user.h"

namespace {

using namespace shelltest;
using rt::Byte;
using rt::Long;
using rt::ui::ShownWindow;
using Strings = std::vector<std::string>;

enum : Long { kId = 4, kAstring = 6, kAdecimal = 8, kAdate = 10, kAtime = 12, kOk = 13, kCancel = 14 };
constexpr Long kTestCancel = 9;  // the message test window's Cancel
constexpr Long kEntries[] = {kId, kAstring, kAdecimal, kAdate, kAtime};

// The caller's window stands where the browse's does: messages raised before the form opens
// carry its title.
constexpr char kCallerTitle[] = "Browse the AFile file";
constexpr char kAdded[] = "Record Will Be Added";
constexpr char kChanged[] = "Record Will Be Changed";

// Text without the blanks a picture pads it with on either side.
std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string() : std::string(rt::Clip(text.substr(first)));
}

template <class Case>
  requires requires(const Case& c) { std::string(c.name); }
void PrintTo(const Case& c, std::ostream* os) {
  *os << c.name;
}

// One stored record as the form's pictures show it: "ID|ASTRING|ADECIMAL|ADATE|ATIME".
std::string Shown(AFI_Record& record) {
  std::string row;
  const rt::RecordLayout& layout = AFileLayout();
  for (std::size_t i = 1; i <= layout.FieldCount(); ++i) {
    const rt::FieldLayout& field = *layout.Field(i);
    const std::string plain = rt::FieldRef(field, &record).Text();
    const std::string text = field.picture == "@s20" ? plain : rt::FormatText(plain, field.picture);
    row += (i > 1 ? "|" : "") + Trimmed(text);
  }
  return row;
}

// The other desk's copy of the program; its exit code (0: done).
int OtherStation(const std::string& arguments) {
  return std::system((std::string("'") + OTHER_STATION + "' " + arguments).c_str());
}

struct Outcome {
  Byte response = 0;
  std::string record;  // the thread's AFile record after the form, as Shown
};

class UpdateForm : public ::testing::Test {
 protected:
  explicit UpdateForm(const Strings& seed = {})
      : run_([seed] {
          for (const std::string& add : seed) ASSERT_EQ(OtherStation("add " + add), 0) << add;
        }) {}

  void SetUp() override {
    shell_ = run_.StartUp();
    ASSERT_TRUE(shell_);
    ASSERT_TRUE(Robot().Press(shell_->test, kTestCancel));
    ASSERT_TRUE(Robot().WaitForWindowClosed(shell_->test, kWait));
  }

  rt::ui::Robot& Robot() { return run_.Robot(); }

  // UpdateAFile on a thread of its own, as the browse calls it: the caller's window open, the
  // record with `id` read (an insert primes an empty one), `beforeForm` run, the request set.
  std::future<Outcome> Call(Byte request, Long id = 0, std::function<void()> beforeForm = {}) {
    auto result = std::make_shared<std::promise<Outcome>>();
    std::future<Outcome> outcome = result->get_future();
    rt::Start([=] {
      rt::WindowDef def;
      def.title = kCallerTitle;
      rt::Window caller(def);
      caller.Open();
      RelationManager& relate = **Relate_AFile;
      FileManager& access = **Access_AFile;
      relate.Open(0);
      if (request == Request::Insert) {
        access.PrimeRecord(0);
      } else {
        access.UseFile(UseType::Uses);
        access.File->Set();
        while (access.TryNext() == Level::Ok && AFile->AFI.ID != id) {
        }
      }
      if (beforeForm) beforeForm();
      *GlobalRequest = request;
      UpdateAFile();
      Outcome done{*GlobalResponse, Shown(AFile->AFI)};
      relate.Close(0);
      caller.Close();
      result->set_value(done);
    });
    return outcome;
  }

  // What the call left once it returned; a call still running after the wait fails the test.
  Outcome Result(std::future<Outcome>& outcome) {
    if (outcome.wait_for(kWait) != std::future_status::ready) {
      ADD_FAILURE() << "UpdateAFile has not returned: " << Robot().DescribeScreen();
      return {};
    }
    return outcome.get();
  }

  ShownWindow Form(const char* title) {
    std::optional<ShownWindow> form = Robot().WaitForWindow(title, kWait);
    EXPECT_TRUE(form) << title;
    return form.value_or(ShownWindow{});
  }

  // Types each value into its entry (in the order of kEntries; nullptr leaves one alone).
  void Fill(const ShownWindow& form, const std::vector<const char*>& values) {
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (values[i]) {
        EXPECT_TRUE(Robot().TypeInto(form, kEntries[i], values[i])) << values[i];
      }
    }
  }

  Strings ShownEntries(const ShownWindow& form) {
    Strings shown;
    for (Long entry : kEntries) shown.push_back(Trimmed(Robot().Text(form, entry)));
    return shown;
  }

  // Answers the next message box after checking its caption.
  void Answer(const char* caption, Long button) {
    const auto box = Robot().WaitForMessageBox(kWait);
    ASSERT_TRUE(box) << "expected \"" << caption << "\"";
    EXPECT_EQ(box->caption, caption);
    Robot().PressButton(*box, button);
  }

  // Ends the program and reads what it left: the data file's records (file order) and the log
  // entries after the greeting.
  void Finish() {
    EXPECT_EQ(run_.Exit(shell_->frame), 0);
    AFI_Record afi;
    rt::File file(AFileDecl(), afi);
    file.Open();
    file.Set();
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) stored_.push_back(Shown(afi));
    file.Close();
    const std::vector<LogEntry> entries = run_.Entries();
    for (std::size_t i = 1; i < entries.size(); ++i) {
      EXPECT_EQ(entries[i].user, "DemoUser");
      logged_.push_back(entries[i].body);
    }
  }

  ProgramRun run_;
  std::optional<ProgramRun::Shell> shell_;
  Strings stored_;
  Strings logged_;
};

std::string Logged(const char* window, const char* caption, const char* text, const char* shown, const char* pressed) {
  return MessageBody(window, caption, text, {shown, pressed});
}

// ---- Insert, change, delete and view ----

struct InsertCase {
  const char* name;
  std::vector<const char*> typed;  // ID, Astring, Adecimal, Adate, Atime
  const char* stored;
};

const InsertCase kInserts[] = {
    // The highest ID; 19 letters and an 'é' that would end past the 20th byte: it goes whole.
    {"1_HighestIdLowestDecimal", {"2147483647", "Abcdefghij012345678\xC3\xA9", "-99999.99", "2/29/2024", "23:59"},
     "2,147,483,647|Abcdefghij012345678|-99,999.99|2/29/2024|23:59"},
    {"2_LowestIdTwentyBytes", {"-2147483648", "\xC3\x9C" "bersicht 123456789", "99999.99", "12/29/1800", "00:01"},
     "-2,147,483,648|\xC3\x9C" "bersicht 123456789|99,999.99|12/29/1800|0:01"},
    {"3_SmallNegativeDecimal", {"7", "seven", "-0.01", "12/31/9999", "12:00"}, "7|seven|-0.01|12/31/9999|12:00"},
};

class UpdateFormFlow : public UpdateForm {};

TEST_F(UpdateFormFlow, InsertsChangesDeletesAfterNoAndViews) {
  for (const InsertCase& insert : kInserts) {
    std::future<Outcome> outcome = Call(Request::Insert);
    const ShownWindow form = Form(kAdded);
    Fill(form, insert.typed);
    ASSERT_TRUE(Robot().Press(form, kOk)) << insert.name;
    EXPECT_TRUE(Robot().WaitForWindowClosed(form, kWait)) << insert.name;
    const Outcome done = Result(outcome);
    EXPECT_EQ(done.response, Response::Completed) << insert.name;
    EXPECT_EQ(done.record, insert.stored) << insert.name;
  }

  // A change: the form shows the record as stored, the new text is saved.
  std::future<Outcome> changed = Call(Request::Change, 7);
  ShownWindow form = Form(kChanged);
  EXPECT_EQ(ShownEntries(form), (Strings{"7", "seven", "-0.01", "12/31/9999", "12:00"}));
  Fill(form, {nullptr, "SEVEN changed"});
  ASSERT_TRUE(Robot().Press(form, kOk));
  EXPECT_TRUE(Robot().WaitForWindowClosed(form, kWait));
  EXPECT_EQ(Result(changed).response, Response::Completed);

  // A delete asks first, without the form: No keeps the record, Yes deletes it.
  std::future<Outcome> declined = Call(Request::Delete, -2147483648);
  Answer("Confirm Delete", rt::BUTTON_NO);
  EXPECT_EQ(Result(declined).response, Response::Cancelled);
  std::future<Outcome> deleted = Call(Request::Delete, -2147483648);
  Answer("Confirm Delete", rt::BUTTON_YES);
  EXPECT_EQ(Result(deleted).response, Response::Completed);

  // A view: every entry read-only; OK only closes and the answer is Cancelled.
  std::future<Outcome> viewed = Call(Request::View, 2147483647);
  form = Form("View Record");
  for (Long entry : kEntries) EXPECT_EQ(Robot().Prop(form, entry, rt::PROP_ReadOnly), "1") << entry;
  EXPECT_EQ(ShownEntries(form), (Strings{"2,147,483,647", "Abcdefghij012345678", "-99,999.99", "2/29/2024", "23:59"}));
  ASSERT_TRUE(Robot().Press(form, kOk));
  EXPECT_TRUE(Robot().WaitForWindowClosed(form, kWait));
  EXPECT_EQ(Result(viewed).response, Response::Cancelled);

  Finish();
  EXPECT_EQ(stored_, (Strings{kInserts[0].stored, "7|SEVEN changed|-0.01|12/31/9999|12:00"}));
  const char* text = "Are you sure you want to delete the highlighted record?";
  EXPECT_EQ(logged_, (Strings{Logged(kCallerTitle, "Confirm Delete", text, "YES|NO", "NO"),
                              Logged(kCallerTitle, "Confirm Delete", text, "YES|NO", "YES")}));
}

// ---- Values the pictures refuse ----

struct RefusedCase {
  const char* name;
  Long entry;
  const char* refused;
};

const RefusedCase kRefused[] = {
    {"1_IdPastTheHighestLong", kId, "2147483648"},
    {"2_IdWithLetters", kId, "12a"},
    {"3_DecimalPastSevenDigits", kAdecimal, "100000.00"},
    {"4_DateThatDoesNotExist", kAdate, "02/30/2025"},
    {"5_TimePastTheDay", kAtime, "25:00"},
};

class UpdateFormRefuses : public UpdateForm, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(UpdateFormRefuses, KeepsTheFormOpenWithTheFieldSelected) {
  const RefusedCase& c = GetParam();
  std::future<Outcome> outcome = Call(Request::Insert);
  const ShownWindow form = Form(kAdded);
  Fill(form, {"1", "one", "1.50", "6/15/2025", "8:30"});
  const Strings before = ShownEntries(form);
  // Typed and OK pressed at once: leaving the field refuses the text, so OK is not pressed.
  const std::size_t beeps = Robot().BeepCount();
  EXPECT_TRUE(Robot().Type(form, c.entry, c.refused));
  EXPECT_TRUE(Robot().Press(form, kOk));
  EXPECT_TRUE(Robot().IsOpen(form));
  EXPECT_EQ(Robot().Focus(form), c.entry) << "the field keeps the focus";
  EXPECT_GT(Robot().BeepCount(), beeps);
  EXPECT_EQ(ShownEntries(form), before) << "the field shows its value again";

  // What the form shows is what OK saves.
  ASSERT_TRUE(Robot().Press(form, kOk));
  EXPECT_TRUE(Robot().WaitForWindowClosed(form, kWait));
  EXPECT_EQ(Result(outcome).response, Response::Completed);
  Finish();
  EXPECT_EQ(stored_, Strings{"1|one|1.50|6/15/2025|8:30"});
  EXPECT_EQ(logged_, Strings{});
}

INSTANTIATE_TEST_SUITE_P(Pictures, UpdateFormRefuses, ::testing::ValuesIn(kRefused),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Another station ----

class OtherStationForm : public UpdateForm {
 protected:
  OtherStationForm() : UpdateForm({"1 one 1.50 6/15/2025 08:30"}) {}
};

// Between the form's read and its save the other desk changes the text and the decimal. The
// save is refused (8), the form shows their version, Ctrl+H brings back each value typed here,
// and the second save keeps both: their decimal, this desk's text and time.
TEST_F(OtherStationForm, ChangedMeanwhileShowsTheirsAndRecallsEachTypedValue) {
  std::future<Outcome> outcome = Call(Request::Change, 1);
  const ShownWindow form = Form(kChanged);
  Fill(form, {nullptr, "mine", nullptr, nullptr, "10:45"});
  ASSERT_EQ(OtherStation("change 1 theirs 2.25"), 0);
  ASSERT_TRUE(Robot().Press(form, kOk));
  Answer("Record Was Not Updated", rt::BUTTON_OK);
  ASSERT_TRUE(Robot().WaitForWindow(kChanged, kWait));
  EXPECT_EQ(ShownEntries(form), (Strings{"1", "theirs", "2.25", "6/15/2025", "8:30"}));
  for (Long typed : {kAstring, kAtime}) EXPECT_TRUE(Robot().PressKey(form, typed, kHistoryKey));
  EXPECT_EQ(ShownEntries(form), (Strings{"1", "mine", "2.25", "6/15/2025", "10:45"}));
  ASSERT_TRUE(Robot().Press(form, kOk));
  EXPECT_TRUE(Robot().WaitForWindowClosed(form, kWait));
  EXPECT_EQ(Result(outcome).response, Response::Completed);

  Finish();
  EXPECT_EQ(stored_, Strings{"1|mine|2.25|6/15/2025|10:45"});
  EXPECT_EQ(logged_, Strings{Logged(kChanged, "Record Was Not Updated",
                                    "This record was changed by another station. Those changes will now be displayed. "
                                    "Use the Ditto Button or Ctrl+H to recall your changes.",
                                    "OK", "OK")});
}

TEST_F(OtherStationForm, DeletedBeforeTheFormOpensIsReportedAndNoFormOpens) {
  std::future<Outcome> outcome = Call(Request::Change, 1, [] { EXPECT_EQ(OtherStation("delete 1"), 0); });
  Answer("Record Retrieval Error", rt::BUTTON_OK);
  EXPECT_EQ(Result(outcome).response, Response::Cancelled);
  Finish();
  EXPECT_EQ(stored_, Strings{});
  EXPECT_EQ(logged_, Strings{Logged(kCallerTitle, "Record Retrieval Error",
                                    "This record was changed or deleted by another station.|Error: (Record Not "
                                    "Available (33)) attempting to access a record from the AFILE file.",
                                    "OK", "OK")});
}

// Deleted while the form is open: the save fails (28), the user is asked to try again (37), and
// giving up asks before the typed changes are lost (10).
TEST_F(OtherStationForm, DeletedWhileTheFormIsOpenFailsTheSaveAndAsksToTryAgain) {
  std::future<Outcome> outcome = Call(Request::Change, 1);
  const ShownWindow form = Form(kChanged);
  Fill(form, {nullptr, "mine"});
  ASSERT_EQ(OtherStation("delete 1"), 0);
  ASSERT_TRUE(Robot().Press(form, kOk));
  Answer("Record was not updated", rt::BUTTON_OK);
  Answer("Record Update Error", rt::BUTTON_YES);
  Answer("Record was not updated", rt::BUTTON_OK);
  Answer("Record Update Error", rt::BUTTON_NO);
  Answer("Changes will be lost!", rt::BUTTON_YES);
  EXPECT_TRUE(Robot().WaitForWindowClosed(form, kWait));
  EXPECT_EQ(Result(outcome).response, Response::Cancelled);

  Finish();
  EXPECT_EQ(stored_, Strings{});
  const std::string failed = Logged(kChanged, "Record was not updated",
                                    "An error (Record Not Available (33)) was experienced when making changes to the "
                                    "AFILE file.",
                                    "OK", "OK");
  const char* again = "An error was experienced changing this record. Do you want to try to save again?";
  EXPECT_EQ(logged_, (Strings{failed, Logged(kChanged, "Record Update Error", again, "YES|NO|CANCEL", "YES"), failed,
                              Logged(kChanged, "Record Update Error", again, "YES|NO|CANCEL", "NO"),
                              Logged(kChanged, "Changes will be lost!", "Are you sure you want to cancel?", "YES|NO",
                                     "YES")}));
}

}  // namespace
