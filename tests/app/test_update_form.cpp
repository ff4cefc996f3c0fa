// The update form UpdateAFile in the whole program (update_form_steps.h): inserts at the edges of
// the entries' pictures, a change, a view; values the pictures refuse; another station changing
// the record while the form is open or deleting it before. Each test checks the data file
// afterwards and the log entries the user met, in order.

#include <gtest/gtest.h>

#include <algorithm>
#include <future>
#include <string>
#include <vector>

#include "app/globals.h"
#include "framework/window/window_manager.h"
#include "runtime/core/dialogs.h"
#include "msglog/message_log.h"
#include "runtime/ui/property_holder.h"
#include "tests/app/update_form_steps.h"

namespace {

using namespace shelltest;
using namespace updateform;
using rt::Long;
using rt::ui::ShownWindow;

struct InsertCase {
  std::vector<const char*> typed;  // ID, Astring, Adecimal, Adate, Atime
  const char* stored;
};

const InsertCase kInserts[] = {
    // The highest ID; 19 letters and an 'é' that would end past the 20th byte: it goes whole.
    {{"2147483647", "Abcdefghij012345678\xC3\xA9", "-99999.99", "2/29/2024", "23:59"},
     "2,147,483,647|Abcdefghij012345678|-99,999.99|2/29/2024|23:59"},
    {{"7", "seven", "-0.01", "12/31/9999", "12:00"}, "7|seven|-0.01|12/31/9999|12:00"},
};

class UpdateFormFlow : public UpdateForm {};

TEST_F(UpdateFormFlow, InsertsChangesAndViews) {
  for (const InsertCase& insert : kInserts) {
    std::future<Outcome> outcome = Call(Request::Insert);
    const ShownWindow form = Form(kAdded);
    Fill(form, insert.typed);
    ASSERT_TRUE(PressToClose(Robot(), form, kOk)) << insert.stored;
    const Outcome done = Result(outcome);
    EXPECT_EQ(done.response, Response::Completed) << insert.stored;
    EXPECT_EQ(done.record, insert.stored);
  }

  // A change: the form shows the record as stored, the new text is saved.
  std::future<Outcome> changed = Call(Request::Change, 7);
  ShownWindow form = Form(kChanged);
  EXPECT_EQ(ShownEntries(form), (Strings{"7", "seven", "-0.01", "12/31/9999", "12:00"}));
  Fill(form, {nullptr, "SEVEN changed"});
  ASSERT_TRUE(PressToClose(Robot(), form, kOk));
  EXPECT_EQ(Result(changed).response, Response::Completed);

  // A view: every entry read-only; OK only closes and the answer is Cancelled.
  std::future<Outcome> viewed = Call(Request::View, 2147483647);
  form = Form("View Record");
  for (Long entry : kEntries) EXPECT_EQ(Robot().Prop(form, entry, rt::PROP_ReadOnly), "1") << entry;
  EXPECT_EQ(ShownEntries(form), (Strings{"2,147,483,647", "Abcdefghij012345678", "-99,999.99", "2/29/2024", "23:59"}));
  ASSERT_TRUE(PressToClose(Robot(), form, kOk));
  EXPECT_EQ(Result(viewed).response, Response::Cancelled);

  Finish();
  EXPECT_EQ(stored_, (Strings{kInserts[0].stored, "7|SEVEN changed|-0.01|12/31/9999|12:00"}));
  EXPECT_EQ(logged_, Strings{}) << "a delete's question is the browse's test";
}

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

TEST_F(UpdateFormFlow, RefusedValuesKeepTheFormOpenUntilCorrected) {
  std::future<Outcome> outcome = Call(Request::Insert);
  const ShownWindow form = Form(kAdded);
  const std::vector<const char*> typed = {"1", "one", "1.50", "6/15/2025", "8:30"};
  Fill(form, typed);
  for (const RefusedCase& c : kRefused) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(Robot().Type(form, c.entry, c.refused));
    EXPECT_TRUE(Robot().Press(form, kOk));
    EXPECT_TRUE(Robot().IsOpen(form));
    EXPECT_EQ(Robot().Text(form, c.entry), c.refused) << "the refused text stays to be corrected";
    const auto at = std::find(std::begin(kEntries), std::end(kEntries), c.entry);
    EXPECT_TRUE(Robot().Type(form, c.entry, typed[static_cast<std::size_t>(at - std::begin(kEntries))]));
  }
  ASSERT_TRUE(PressToClose(Robot(), form, kOk));
  EXPECT_EQ(Result(outcome).response, Response::Completed);
  Finish();
  EXPECT_EQ(stored_, Strings{"1|one|1.50|6/15/2025|8:30"});
  EXPECT_EQ(logged_, Strings{});
}

TEST_F(OtherStationForm, ChangedMeanwhileShowsTheirsAndRecallsEachTypedValue) { ChangedWhileTheFormIsOpen(); }

TEST_F(OtherStationForm, DeletedBeforeTheFormOpensIsReportedAndNoFormOpens) {
  std::future<Outcome> outcome = Call(Request::Change, 1, [] { EXPECT_EQ(OtherStation("delete 1"), 0); });
  Answer("Record Retrieval Error", rt::BUTTON_OK);
  EXPECT_EQ(Result(outcome).response, Response::Cancelled);
  Finish();
  EXPECT_EQ(stored_, Strings{});
  EXPECT_EQ(logged_, Strings{MessageBody(kCallerTitle, "Record Retrieval Error",
                                         "This record was changed or deleted by another station.|Error: (Record Not "
                                         "Available (33)) attempting to access a record from the AFILE file.",
                                         {"OK", "OK"})});
}

}  // namespace
