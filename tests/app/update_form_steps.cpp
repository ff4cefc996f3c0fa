#include "tests/app/update_form_steps.h"

#include <cstdlib>
#include <memory>

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
#include "runtime/ui/window.h"

namespace updateform {

using namespace shelltest;
using rt::Byte;
using rt::Long;
using rt::ui::ShownWindow;

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

int OtherStation(const std::string& arguments) {
  return std::system((std::string("'") + OTHER_STATION + "' " + arguments).c_str());
}

void UpdateForm::SetUp() {
  run_.emplace([this] {
    Prepare();
    for (const std::string& add : seed_) ASSERT_EQ(OtherStation("add " + add), 0) << add;
  });
  shell_ = run_->StartToTheFrame();
  ASSERT_TRUE(shell_);
}

std::future<Outcome> UpdateForm::Call(Byte request, Long id, std::function<void()> beforeForm) {
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

Outcome UpdateForm::Result(std::future<Outcome>& outcome) {
  if (outcome.wait_for(kWait) != std::future_status::ready) {
    ADD_FAILURE() << "UpdateAFile has not returned: " << Robot().DescribeScreen();
    return {};
  }
  return outcome.get();
}

ShownWindow UpdateForm::Form(const char* title) {
  std::optional<ShownWindow> form = Robot().WaitForWindow(title, kWait);
  EXPECT_TRUE(form) << title;
  return form.value_or(ShownWindow{});
}

void UpdateForm::Fill(const ShownWindow& form, const std::vector<const char*>& values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (values[i]) {
      EXPECT_TRUE(Robot().TypeInto(form, kEntries[i], values[i])) << values[i];
    }
  }
}

Strings UpdateForm::ShownEntries(const ShownWindow& form) {
  Strings shown;
  for (Long entry : kEntries) shown.push_back(Trimmed(Robot().Text(form, entry)));
  return shown;
}

void UpdateForm::Answer(const char* caption, Long button) {
  const auto box = Robot().WaitForMessageBox(kWait);
  ASSERT_TRUE(box) << "expected \"" << caption << "\"";
  EXPECT_EQ(box->caption, caption);
  Robot().PressButton(*box, button);
}

void UpdateForm::Finish() {
  EXPECT_EQ(run_->Exit(shell_->frame), 0);
  AFI_Record afi;
  rt::File file(AFileDecl(), afi);
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
  file.Set();
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) stored_.push_back(Shown(afi));
  file.Close();
  const std::vector<LogEntry> entries = run_->Entries();
  for (std::size_t i = 1; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].user, "DemoUser");
    logged_.push_back(entries[i].body);
  }
}

void OtherStationForm::ChangedWhileTheFormIsOpen() {
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
  ASSERT_TRUE(PressToClose(Robot(), form, kOk));
  EXPECT_EQ(Result(outcome).response, Response::Completed);

  Finish();
  EXPECT_EQ(stored_, Strings{"1|mine|2.25|6/15/2025|10:45"});
  EXPECT_EQ(logged_, Strings{MessageBody(kChanged, "Record Was Not Updated",
                                         "This record was changed by another station. Those changes will now be "
                                         "displayed. Use the Ditto Button or Ctrl+H to recall your changes.",
                                         {"OK", "OK"})});
}

}  // namespace updateform
