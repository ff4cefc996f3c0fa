// WindowManager over a form of its own on a program thread, editing the test dictionary's parent
// file (auto-numbered ID, unique name), driven by the Robot under the headless backend. One table
// of user acts and answers: which question each action asks and how the form ends. Then the
// dispatch: resets, the resizer, a handler hiding an event from components, the kill order.

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <vector>

#include "framework/error/error_class.h"
#include "framework/resize/window_resize.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/last_error.h"
#include "runtime/core/text.h"
#include "runtime/core/system_props.h"
#include "runtime/ui/window.h"
#include "tests/framework/data/data_fixture.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace {

using rt::Byte;
using rt::Long;
using rt::ui::kWait;
using rt::ui::Strings;
using testdict::PAR_Record;

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForWindowManagerTests"};

enum : Long { kId = 1, kName, kOk, kCancel, kSave, kPlain, kEnd, kSheet };
constexpr Long kNext = ToolbarButton::Down;

// The parent file with its managers, built on the form's own thread as a procedure has them.
struct World {
  explicit World(const std::string& dir)
      : decl(testdict::ParentDecl(dir)),
        file(decl, PAR),
        access(file, errors, {{1, "", true}, {2, "Parent name", false}}, 1) {
    errors.Init(gStatus);
    access.Init();
    relate.Init(access, 1);
  }
  ~World() {
    relate.Kill();
    access.Kill();
  }
  ErrorClass errors;
  rt::FileDecl decl;
  PAR_Record PAR;
  rt::File file;
  testdict::TestAccess access;
  testdict::TestRelate relate;
};

struct FormSpec {
  Byte request = Request::Change;
  Byte insertAction = Insert::Close;
  Byte deleteAction = Delete::Confirm;
  Byte deleteActionOnForm = 0;  // non-zero: the form's delete uses this once the form is shown
  int deleteRefusals = 0;       // the file refuses this many deletes
  Byte cancelAction = Cancel::Save | Cancel::Ask;
  bool saveButton = false;
  bool okEndsCompleted = false;  // OK is also a closing button that ends with Response::Completed
  // Components A and B and the resizer registered; TakeFieldEvent hides Save from the
  // components (Level::Notify) and ends the loop on End (Level::Fatal).
  bool dispatch = false;
};

struct Outcome {  // what the procedure left when it ended
  Byte response = 0;
  Byte request = 0;
  Long vcr = 0;
  std::string name;  // the primary record's name at the end
  std::size_t buffersLeft = 0;  // saved copies the file manager still held after Kill
};

// A component that notes what reaches it.
class NotingComponent : public WindowComponent {
 public:
  NotingComponent(std::string name, rt::ui::Recorder& log, const WindowManager& window) : name_(std::move(name)), log_(log), window_(window) {}
  void Kill() override {
    bool listed = false;
    if (window_.CL)
      for (const auto& entry : *window_.CL) listed = listed || entry.Component == this;
    log_.Note(name_ + (listed ? " killed while listed" : " killed"));
  }
  void Reset(Byte) override { log_.Note(name_ + " reset"); }
  Byte ResetRequired() override { return 0; }
  void SetAlerts() override {}
  Byte TakeEvent() override {
    if (rt::Event() == rt::EVENT_Accepted) log_.Note(name_ + " saw " + std::to_string(rt::Field()));
    return Level::Ok;
  }
  void Update() override {}
  void UpdateWindow() override {}

 private:
  std::string name_;
  rt::ui::Recorder& log_;
  const WindowManager& window_;
};

// The toolbar's target on the form: the Next button leaves its request.
class NextTarget : public ToolbarTarget {
 public:
  void DisplayButtons() override {}
  void TakeToolbar() override {}
  Byte IsActive() override { return 1; }
  void TakeEvent(Long& vcrRequest, WindowManager*) override {
    if (rt::Accepted() == kNext) vcrRequest = kNext;
  }
};

rt::WindowDef FormDef(PAR_Record& record) {
  rt::WindowDef def;
  def.title = "Update Parent";
  def.resizable = true;
  def.width = 200;
  def.height = 150;
  def.Add(rt::ControlDef::Entry("@n-14", rt::Bind(record.ID)).ReadOnly().At(60, 10, 60, 10));
  def.Add(rt::ControlDef::Entry("@s20", rt::Bind(record.NAME)).At(60, 25, 100, 10));
  def.Add(rt::ControlDef::Button("&OK").At(100, 120, 40, 14));
  def.Add(rt::ControlDef::Button("&Cancel").At(150, 120, 40, 14));
  def.Add(rt::ControlDef::Button("&Save").At(50, 120, 40, 14));
  def.Add(rt::ControlDef::Button("Plain").At(10, 120, 30, 14));
  def.Add(rt::ControlDef::Button("End").At(10, 100, 30, 14));
  def.Add(rt::ControlDef::Button("Next").Toolbar(kNext));
  def.Add(rt::ControlDef::Button("History").Toolbar(ToolbarButton::History));
  def.Add(rt::ControlDef::Sheet().At(5, 40, 190, 50));
  def.Add(rt::ControlDef::Tab("First").In(kSheet));
  def.Add(rt::ControlDef::Tab("Second").In(kSheet));
  return def;
}

// The form procedure's window, set up the way the demo's update form sets up its own.
class TestForm : public WindowManager {
 public:
  TestForm(World& world, const FormSpec& spec, rt::ui::Recorder& log) : world_(world), spec_(spec), window_(FormDef(world.PAR)) {
    for (const char* name : {"A", "B"})
      if (spec.dispatch) components_.emplace_back(name, log, *this);
  }
  Byte Init() override {
    Request = spec_.request;
    if (const Byte level = WindowManager::Init()) return level;
    FirstField = kName;
    VCRRequest = &vcr;
    Errors = &world_.errors;
    AddItem(toolbar_);
    toolbar_.AddTarget(kNext, target_);
    HistoryKey = kHistoryKey;
    AddHistoryFile(world_.file.Layout(), &world_.PAR, &history_);
    AddHistoryField(kName, 2);
    AddHistoryField(kId, 1);
    AddItem(kCancel, Response::Cancelled);
    if (spec_.okEndsCompleted) AddItem(kOk, Response::Completed);
    world_.relate.Open();
    FilesOpened = 1;
    Primary = &world_.relate;
    if (Request == Request::View) {
      InsertAction = Insert::Stay;
      DeleteAction = Delete::None;
      ChangeAction = 1;
      CancelAction = 0;
    } else {
      InsertAction = spec_.insertAction;
      DeleteAction = spec_.deleteAction;
      CancelAction = spec_.cancelAction;
      OkControl = kOk;
      if (PrimeUpdate() != Level::Ok) return Level::Notify;
      if (spec_.deleteActionOnForm) DeleteAction = spec_.deleteActionOnForm;
    }
    if (spec_.saveButton) SaveControl = kSave;
    Open(window_);
    for (NotingComponent& component : components_) AddItem(component);
    if (spec_.dispatch) {
      resizer_.Init(2, 1, 0);
      AddItem(resizer_);
    }
    SetAlerts();
    return Level::Ok;
  }
  Byte Kill() override {
    if (const Byte level = WindowManager::Kill()) return level;
    if (FilesOpened) world_.relate.Close();
    return Level::Ok;
  }
  Byte TakeFieldEvent() override {
    const Long control = rt::Field();
    if (spec_.dispatch && control == kSave) return Level::Notify;
    if (spec_.dispatch && control == kEnd) return Level::Fatal;
    return WindowManager::TakeFieldEvent();
  }

  Long vcr = 0;

 private:
  World& world_;
  const FormSpec& spec_;
  rt::Window window_;
  PAR_Record history_;
  ToolbarClass toolbar_;
  NextTarget target_;
  WindowResizeClass resizer_;
  std::list<NotingComponent> components_;
};

class WindowManagerForm : public rt::ui::RobotFixture {
 protected:
  void SetUp() override {
    RobotFixture::SetUp();
    rt::testing::ClearAssertionMessages();
  }
  void TearDown() override {
    EXPECT_TRUE(rt::testing::AssertionMessages().empty()) << rt::testing::AssertionMessages().front();
    RobotFixture::TearDown();
  }

  // Makes the file with `names` first, if any; the names it holds, by id.
  Strings Names(const Strings& names = {}) {
    PAR_Record record;
    rt::File file(testdict::ParentDecl(dir_.Path().string()), record);
    if (!names.empty()) file.Create();
    file.Open();
    for (const std::string& name : names) record = {record.ID + 1, rt::FixedString<20>(name)}, file.Add();
    Strings stored;
    file.SetKey(1);
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) stored.push_back(record.NAME.Str());
    file.Close();
    return stored;
  }

  // Writes "One" and "Two" and starts the form procedure on a program thread: the caller primes
  // or fetches the record, as a browse does, and the form runs; `window_` is the form once shown.
  void Start(FormSpec spec, bool formOpens = true) {
    Names({"One", "Two"});
    spec_ = std::move(spec);
    rt::Start([this] {
      World world(dir_.Path().string());
      world.relate.Open();
      if (spec_.request == Request::Insert) {
        world.access.PrimeRecord();
      } else {
        world.PAR.ID = 1;  // a change, delete or view starts on the first record
        world.access.Fetch(1);
      }
      world.access.deleteFailuresLeft = spec_.deleteRefusals;
      TestForm form(world, spec_, log_);
      outcome_ = {form.Run(), form.Request, form.vcr, world.PAR.NAME.Str(), world.access.Buffers.size()};
      world.relate.Close();
    });
    if (formOpens) window_ = Find("Update Parent");
  }

  TempDir dir_;
  FormSpec spec_;
  rt::ui::Recorder log_;
  Outcome outcome_;
  rt::ui::ShownWindow window_;
};

// ---- Insert, change, view, save and delete: each action, the questions and their answers ----

// A user's act on the form, or a check on the way.
struct Act {
  enum { Edit, Key, Press, Answer, Shows, OnForm } what;
  Long n = 0;  // Edit: the key that leaves the name (0: the close box); Key, Press; Answer: the button
  std::string text{};
};
Act Edit(std::string text, Long leave = rt::KEY_Tab) { return {Act::Edit, leave, std::move(text)}; }
Act Key(Long key) { return {Act::Key, key}; }
Act Press(Long control) { return {Act::Press, control}; }
Act Answer(std::string caption, Long button) { return {Act::Answer, button, std::move(caption)}; }
Act Shows(std::string name) { return {Act::Shows, 0, std::move(name)}; }
// The form is open again with nothing asked, the focus on its first field.
Act OnForm() { return {Act::OnForm}; }

constexpr Byte kDone = Response::Completed, kCancelled = Response::Cancelled;
const Strings kSeeded = {"One", "Two"}, kUno = {"Uno", "Two"}, kAlpha = {"One", "Two", "Alpha"}, kOnlyTwo = {"Two"},
              kBravo = {"One", "Two", "Alpha", "Bravo"};

struct FormCase {
  const char* name;
  FormSpec spec;
  std::vector<Act> acts;
  Byte response = kCancelled;
  Strings stored = kSeeded;  // the file starts with "One" and "Two"
  Long vcr = 0;
};

class Forms : public WindowManagerForm, public ::testing::WithParamInterface<FormCase> {};

TEST_P(Forms, EndAsTheActionsAndAnswersSay) {
  const FormCase& c = GetParam();
  Start(c.spec, c.spec.request != Request::Delete || c.spec.deleteAction == Delete::OnForm);
  int n = 0;
  for (const Act& act : c.acts) {
    SCOPED_TRACE("act " + std::to_string(++n));
    switch (act.what) {
      case Act::Edit:
        ASSERT_TRUE(robot_.Type(window_, kName, act.text));
        ASSERT_TRUE(act.n ? robot_.PressKey(window_, kName, act.n) : robot_.CloseWindow(window_));
        break;
      case Act::Key: ASSERT_TRUE(robot_.PressKey(window_, kName, act.n)); break;
      case Act::Press: ASSERT_TRUE(robot_.Press(window_, act.n)); break;
      case Act::Answer: {
        const auto box = robot_.WaitForMessageBox(kWait);
        ASSERT_TRUE(box) << "expected \"" << act.text << "\"";
        EXPECT_EQ(box->caption, act.text);
        robot_.PressButton(*box, act.n);
        break;
      }
      case Act::Shows: EXPECT_EQ(rt::Clip(robot_.Text(window_, kName)), act.text); break;
      case Act::OnForm:
        ASSERT_TRUE(robot_.WaitForWindow("Update Parent", kWait));
        EXPECT_EQ(robot_.OpenDialogCount(), 0u) << "nothing else is asked";
        EXPECT_EQ(robot_.Focus(window_), kName) << "back on the first field";
        break;
    }
    if (HasFatalFailure()) return;
  }
  ASSERT_TRUE(rt::WaitForStartedThreads(kWait)) << robot_.DescribeScreen();  // the outcome is then readable
  EXPECT_EQ(outcome_.response, c.response);
  EXPECT_EQ(Names(), c.stored) << "the reserved number of a cancelled record is given back";
  EXPECT_EQ(outcome_.vcr, c.vcr);
  EXPECT_EQ(outcome_.buffersLeft, 0u) << "each save frees the copy it replaces";
  if (c.spec.request == Request::Insert) {
    EXPECT_EQ(outcome_.name, c.stored.back()) << "the caller is left on the last record added";
  } else {
    EXPECT_EQ(outcome_.request, c.spec.request) << "Save leaves the request as it was";
  }
}

constexpr Long kYes = rt::BUTTON_YES, kNo = rt::BUTTON_NO, kOkButton = rt::BUTTON_OK, kCancelButton = rt::BUTTON_CANCEL;
constexpr Byte kInsert = Request::Insert, kView = Request::View, kDelete = Request::Delete;
Act SaveRecord(Long button) { return Answer("Save Record", button); }
const Act kKeepNo = SaveRecord(kNo), kNotUpdated = Answer("Record was not updated", kOkButton),
          kNotDeleted = Answer("Record was not deleted", kOkButton);
const FormSpec kDeleteOnForm = {.request = kDelete, .deleteAction = Delete::OnForm, .deleteRefusals = 1};

INSTANTIATE_TEST_SUITE_P(
    Cases, Forms,
    ::testing::Values(
        FormCase{"InsertClose", {.request = kInsert}, {Edit("Alpha"), Press(kOk)}, kDone, kAlpha},
        // Stay keeps the added record on the form: cancelling finds it unlike the primed one.
        FormCase{"InsertStay", {.request = kInsert, .insertAction = Insert::Stay},
                 {Edit("Alpha"), Press(kOk), Shows("Alpha"), Press(kCancel), kKeepNo}, kCancelled, kAlpha},
        // Repeat primes the next record; cancelling it gives its number back and reports the
        // records added as completed.
        FormCase{"InsertRepeat", {.request = kInsert, .insertAction = Insert::Repeat},
                 {Edit("Alpha"), Press(kOk), Edit("Bravo"), Press(kOk), Shows(""), Press(kCancel)}, kDone, kBravo},
        FormCase{"InsertAskYesThenNo", {.request = kInsert, .insertAction = Insert::Ask}, {Edit("Alpha"), Press(kOk),
                 Answer("Record Added", kYes), Edit("Bravo"), Press(kOk), Answer("Record Added", kNo)}, kDone, kBravo},
        // The history key recalls the last record added; a recalled value is a change of the primed one.
        FormCase{"HistoryKey", {.request = kInsert, .insertAction = Insert::Repeat},
                 {Edit("Alpha"), Press(kOk), Key(kHistoryKey), Shows("Alpha"), Press(kCancel), kKeepNo}, kDone, kAlpha},
        // OK with and without edits; nothing to save completes unless navigation is pending.
        FormCase{"EditedOk", {}, {Edit("Uno"), Press(kOk)}, kDone, kUno},
        FormCase{"UneditedOk", {}, {Press(kOk)}, kDone},
        FormCase{"UneditedOkAfterNext", {}, {Press(kNext), Press(kOk)}, kCancelled, kSeeded, kNext},
        FormCase{"CancelDropsNext", {}, {Press(kNext), Press(kCancel)}},
        // A closing button wins over OK: the window ends with its response, nothing saved.
        FormCase{"ClosingButtonBeforeOk", {.okEndsCompleted = true}, {Edit("Uno"), Press(kOk)}, kDone},
        // Closing under each cancel action; Esc or the close box in the field takes the change in first.
        FormCase{"SaveRecordYes", {}, {Edit("Uno"), Press(kCancel), SaveRecord(kYes)}, kDone, kUno},
        FormCase{"EscInTheFieldAsks", {}, {Edit("Uno", rt::KEY_Esc), SaveRecord(kYes)}, kDone, kUno},
        FormCase{"CloseBoxInTheFieldAsks", {}, {Edit("Uno", 0), kKeepNo}},
        FormCase{"SaveRecordCancel", {}, {Edit("Uno"), Press(kCancel), SaveRecord(kCancelButton), OnForm(), Press(kCancel), kKeepNo}},
        FormCase{"SaveWithoutAsking", {.cancelAction = Cancel::Save}, {Edit("Uno"), Press(kCancel)}, kDone, kUno},
        FormCase{"ChangesLostNoThenYes", {.cancelAction = Cancel::Ask}, {Edit("Uno"), Press(kCancel),
                 Answer("Changes will be lost!", kNo), OnForm(), Press(kCancel), Answer("Changes will be lost!", kYes)}},
        FormCase{"NoCancelAction", {.cancelAction = 0}, {Edit("Uno"), Press(kCancel)}},
        // A refused update (the name key is unique): Cancel goes back to the form and does not
        // close it as well; Yes tries again; No gives up and closes, asking about the change.
        FormCase{"RefusedBackToTheForm", {}, {Edit("Two"), Press(kOk), kNotUpdated, Answer("Record Update Error", kCancelButton),
                 OnForm(), Press(kCancel), kKeepNo}},
        FormCase{"RefusedRetriedThenGivenUp", {}, {Edit("Two"), Press(kOk), kNotUpdated, Answer("Record Update Error", kYes),
                 kNotUpdated, Answer("Record Update Error", kNo), kKeepNo}},
        // Save stores and keeps the form; on a view it does nothing (the request stays).
        FormCase{"SaveOnChange", {.saveButton = true}, {Edit("Uno"), Press(kSave), Press(kCancel)}, kCancelled, kUno},
        FormCase{"SaveOnView", {.request = kView, .saveButton = true}, {Edit("Uno"), Press(kSave), Press(kCancel)}},
        // Delete: the current record (the first) goes; a form opens only for OnForm.
        FormCase{"DeleteConfirmYes", {.request = kDelete}, {Answer("Confirm Delete", kYes)}, kDone, kOnlyTwo},
        FormCase{"DeleteConfirmDeclined", {.request = kDelete}, {Answer("Confirm Delete", kNo)}},
        FormCase{"DeleteSilent", {.request = kDelete, .deleteAction = Delete::Silent}, {}, kDone, kOnlyTwo},
        FormCase{"DeleteOnForm", {.request = kDelete, .deleteAction = Delete::OnForm}, {Press(kOk)}, kDone, kOnlyTwo},
        // Asked on the form's OK: a declined confirmation still ends the form as done.
        FormCase{"DeleteOnFormConfirmDeclined",
                 {.request = kDelete, .deleteAction = Delete::OnForm, .deleteActionOnForm = Delete::Confirm},
                 {Press(kOk), Answer("Confirm Delete", kNo)}, kDone},
        // A refused delete is offered again (by the relation manager, then by the form).
        FormCase{"DeleteRefusedRetried", kDeleteOnForm, {Press(kOk), kNotDeleted, Answer("Record Delete Error", kNo),
                 Answer("Record Delete Error", kYes)}, kDone, kOnlyTwo},
        FormCase{"DeleteRefusedGivenUp", kDeleteOnForm, {Press(kOk), kNotDeleted, Answer("Record Delete Error", kNo),
                 Answer("Record Delete Error", kNo)}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- The dispatch: resets, the resizer, handlers before components, the kill order ----

TEST_F(WindowManagerForm, ResetsOnLaterSizesAndTabsNotifyHidesAnEventFatalEndsAndKillsInOrder) {
  Start({.dispatch = true});
  EXPECT_EQ(log_.Take(), (Strings{"A reset", "B reset"})) << "only the opening resets";
  ASSERT_TRUE(robot_.Resize(window_, 300, 150));
  ASSERT_TRUE(robot_.WaitForProp(window_, kOk, rt::PROP_XPos, "200", kWait))
      << "the button nearer the right edge (at 100) keeps its distance from it";
  EXPECT_EQ(log_.Take(), (Strings{"A reset", "B reset"})) << "a later size event resets";
  ASSERT_TRUE(robot_.SelectTab(window_, kSheet, 2));
  EXPECT_EQ(log_.Take(), (Strings{"A reset", "B reset"})) << "so does another tab";
  ASSERT_TRUE(robot_.Press(window_, kSave));
  ASSERT_TRUE(robot_.Press(window_, kPlain));
  ASSERT_TRUE(robot_.Press(window_, kEnd));
  ASSERT_TRUE(rt::WaitForStartedThreads(kWait)) << robot_.DescribeScreen();
  const std::string plain = std::to_string(kPlain);
  EXPECT_EQ(log_.Take(), (Strings{"A saw " + plain, "B saw " + plain, "A killed", "B killed"}))
      << "the hidden press reaches no component; kills in registration order, each out of the list";
  EXPECT_EQ(outcome_.response, Response::Cancelled) << "no response set: cancelled";
}

}  // namespace
