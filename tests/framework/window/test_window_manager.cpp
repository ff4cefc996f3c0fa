// WindowManager over a form of its own: a window with a name entry, OK, Cancel and Save on a
// program thread, editing the test dictionary's parent file (auto-numbered ID, unique name),
// driven by the Robot under the headless backend. Tables: insert with each insert action; change,
// view and save flows with each cancel action, the questions and their answers; delete with each
// delete action; the history key. Then the dispatch itself: resets, the resizer, a handler
// hiding an event from components and the kill order.

#include <gtest/gtest.h>

#include <list>
#include <string>
#include <utility>
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
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/window.h"
#include "tests/framework/data/data_fixture.h"
#include "tests/framework/window/thread_log.h"
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

using Log = fwtest::ThreadLog;

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
  Long recordId = 1;  // the record a change, delete or view starts on
  Byte insertAction = Insert::Close;
  Byte deleteAction = Delete::Confirm;
  Byte deleteActionOnForm = 0;  // non-zero: the form's delete uses this once the form is shown
  int deleteRefusals = 0;       // the file refuses this many deletes
  Byte cancelAction = Cancel::Save | Cancel::Ask;
  Long historyKey = kHistoryKey;
  bool saveButton = false;
  bool okEndsCompleted = false;  // OK is also a closing button that ends with Response::Completed
  Strings components;       // names of components registered in this order
  Long hiddenControl = 0;   // TakeFieldEvent answers Level::Notify for it
  Long fatalControl = 0;    // TakeFieldEvent answers Level::Fatal for it
  bool resizer = false;
};

// What the procedure left when it ended.
struct Outcome {
  Byte response = 0;
  Byte request = 0;
  Long vcr = 0;
  std::string name;  // the primary record's name at the end
  std::size_t buffersLeft = 0;  // saved copies the file manager still held after Kill
};

// A component that notes what reaches it.
class NotingComponent : public WindowComponent {
 public:
  NotingComponent(std::string name, Log& log, const WindowManager& window) : name_(std::move(name)), log_(log), window_(window) {}
  void Kill() override {
    bool listed = false;
    if (window_.CL)
      for (const auto& entry : *window_.CL) listed = listed || entry.Component == this;
    log_.Add(name_ + (listed ? " killed while listed" : " killed"));
  }
  void Reset(Byte) override { log_.Add(name_ + " reset"); }
  Byte ResetRequired() override { return 0; }
  void SetAlerts() override {}
  Byte TakeEvent() override {
    if (rt::Event() == rt::EVENT_Accepted) log_.Add(name_ + " saw " + std::to_string(rt::Field()));
    return Level::Ok;
  }
  void Update() override {}
  void UpdateWindow() override {}

 private:
  std::string name_;
  Log& log_;
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
  TestForm(World& world, const FormSpec& spec, Log& log) : world_(world), spec_(spec), window_(FormDef(world.PAR)) {
    for (const std::string& name : spec.components) components_.emplace_back(name, log, *this);
  }
  Byte Init() override {
    Request = spec_.request;
    if (const Byte level = WindowManager::Init()) return level;
    FirstField = kName;
    VCRRequest = &vcr;
    Errors = &world_.errors;
    AddItem(toolbar_);
    toolbar_.AddTarget(kNext, target_);
    HistoryKey = spec_.historyKey;
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
    if (spec_.resizer) {
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
    if (control != 0 && control == spec_.hiddenControl) return Level::Notify;
    if (control != 0 && control == spec_.fatalControl) return Level::Fatal;
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

  void Seed(const std::vector<std::pair<Long, std::string>>& rows) {
    PAR_Record record;
    rt::File file(testdict::ParentDecl(dir_.Path().string()), record);
    file.Create();
    file.Open();
    for (const auto& [id, name] : rows) {
      record = {id, rt::FixedString<20>(name)};
      file.Add();
    }
    file.Close();
  }
  std::vector<std::pair<Long, std::string>> Stored() {
    PAR_Record record;
    rt::File file(testdict::ParentDecl(dir_.Path().string()), record);
    std::vector<std::pair<Long, std::string>> rows;
    file.Open();
    if (rt::ErrorCode() != 0) return rows;
    file.SetKey(1);
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) rows.emplace_back(record.ID, record.NAME.Str());
    file.Close();
    return rows;
  }
  Strings StoredNames() {
    Strings names;
    for (const auto& row : Stored()) names.push_back(row.second);
    return names;
  }

  // Starts the form procedure on a program thread: the caller primes or fetches the record,
  // as a browse does, and the form runs; `window_` is the form once it shows.
  void Start(FormSpec spec, bool formOpens = true) {
    spec_ = std::move(spec);
    rt::Start([this] {
      World world(dir_.Path().string());
      world.relate.Open();
      if (spec_.request == Request::Insert) {
        world.access.PrimeRecord();
      } else {
        world.PAR.ID = spec_.recordId;
        world.access.Fetch(1);
      }
      world.access.deleteFailuresLeft = spec_.deleteRefusals;
      TestForm form(world, spec_, log_);
      outcome_.response = form.Run();
      outcome_.request = form.Request;
      outcome_.vcr = form.vcr;
      outcome_.name = world.PAR.NAME.Str();
      outcome_.buffersLeft = world.access.Buffers.size();
      world.relate.Close();
    });
    if (formOpens) window_ = Find("Update Parent");
  }
  void Answer(const std::string& caption, Long button) {
    const auto box = robot_.WaitForMessageBox(kWait);
    ASSERT_TRUE(box) << "expected \"" << caption << "\"";
    EXPECT_EQ(box->caption, caption);
    robot_.PressButton(*box, button);
  }
  // Waits until the procedure has ended; its outcome is then readable.
  void Finish() {
    ASSERT_TRUE(rt::WaitForStartedThreads(kWait)) << robot_.DescribeScreen();
  }
  std::string Shown(Long control) {
    const std::string text = robot_.Text(window_, control);
    return std::string(rt::Clip(text));
  }

  TempDir dir_;
  FormSpec spec_;
  Log log_;
  Outcome outcome_;
  rt::ui::ShownWindow window_;
};

// ---- Insert: each insert action ----

struct InsertCase {
  const char* name;
  Byte action;
  Strings typed;                // a record per name, OK after each
  std::vector<Long> addedAnswers;  // answers to "Record Added" (Insert::Ask)
  bool cancelAtEnd;             // the form is still open and is cancelled
  const char* shownBeforeCancel;
  Long closeAnswer;             // answer to "Save Record" on cancelling, 0 when none is asked
  Byte response;
  Strings stored;
};

class InsertActions : public WindowManagerForm, public ::testing::WithParamInterface<InsertCase> {};

TEST_P(InsertActions, AddRecordsAndEndAsTheActionSays) {
  const InsertCase& c = GetParam();
  FormSpec spec;
  spec.request = Request::Insert;
  spec.insertAction = c.action;
  Start(spec);
  for (std::size_t i = 0; i < c.typed.size(); ++i) {
    ASSERT_TRUE(robot_.TypeInto(window_, kName, c.typed[i]));
    ASSERT_TRUE(robot_.Press(window_, kOk));
    if (i < c.addedAnswers.size()) Answer("Record Added", c.addedAnswers[i]);
  }
  if (c.cancelAtEnd) {
    EXPECT_TRUE(robot_.IsOpen(window_)) << "the form stays after the insert";
    EXPECT_EQ(Shown(kName), c.shownBeforeCancel);
    ASSERT_TRUE(robot_.Press(window_, kCancel));
    if (c.closeAnswer) Answer("Save Record", c.closeAnswer);
  }
  Finish();
  EXPECT_EQ(outcome_.response, c.response);
  EXPECT_EQ(StoredNames(), c.stored) << "the reserved number of a cancelled record is given back";
  EXPECT_EQ(outcome_.name, c.stored.back()) << "the caller is left on the last record added";
  EXPECT_EQ(outcome_.buffersLeft, 0u) << "each repeated insert frees the copy it replaces";
}

INSTANTIATE_TEST_SUITE_P(
    EachAction, InsertActions,
    ::testing::Values(
        InsertCase{"Close", Insert::Close, {"Alpha"}, {}, false, "", 0, Response::Completed, {"Alpha"}},
        // Stay keeps the added record on the form: cancelling finds it unlike the primed one.
        InsertCase{"Stay", Insert::Stay, {"Alpha"}, {}, true, "Alpha", rt::BUTTON_NO, Response::Cancelled, {"Alpha"}},
        // Repeat primes the next record; cancelling it gives its number back and reports the
        // records added as completed.
        InsertCase{"Repeat", Insert::Repeat, {"Alpha", "Bravo"}, {}, true, "", 0, Response::Completed, {"Alpha", "Bravo"}},
        InsertCase{"AskYesThenNo", Insert::Ask, {"Alpha", "Bravo"}, {rt::BUTTON_YES, rt::BUTTON_NO}, false, "", 0,
                   Response::Completed, {"Alpha", "Bravo"}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Change, view and save: edits, buttons, questions and their answers ----

using Answers = std::vector<std::pair<std::string, Long>>;

struct FlowCase {
  const char* name = "";
  Byte request = Request::Change;
  Byte cancelAction = Cancel::Save | Cancel::Ask;
  bool saveButton = false;
  bool okEndsCompleted = false;
  bool pressNext = false;           // the toolbar's Next leaves a navigation request first
  const char* typed = nullptr;      // the new name, nullptr for no edit
  Long leaveBy = rt::KEY_Tab;       // how the name is left: Tab, Esc, or 0 for the close box
  std::vector<Long> presses = {};   // then these buttons, in order
  Answers answers = {};             // the questions asked meanwhile, in order
  Answers backOnForm = {};          // non-empty: the form is still open with nothing asked; the
                                    // test cancels and answers these
  Byte response = Response::Cancelled;
  Strings stored = {"One", "Two"};
  Byte requestAtEnd = Request::Change;
  Long vcrAtEnd = 0;
};

class FormFlows : public WindowManagerForm, public ::testing::WithParamInterface<FlowCase> {};

TEST_P(FormFlows, EndAsTheSettingsAndAnswersSay) {
  const FlowCase& c = GetParam();
  Seed({{1, "One"}, {2, "Two"}});
  FormSpec spec;
  spec.request = c.request;
  spec.cancelAction = c.cancelAction;
  spec.saveButton = c.saveButton;
  spec.okEndsCompleted = c.okEndsCompleted;
  Start(spec);
  if (c.pressNext) {
    ASSERT_TRUE(robot_.Press(window_, kNext));
  }
  if (c.typed) {
    ASSERT_TRUE(robot_.Type(window_, kName, c.typed));
    ASSERT_TRUE(c.leaveBy ? robot_.PressKey(window_, kName, c.leaveBy) : robot_.CloseWindow(window_));
  }
  for (const Long button : c.presses) ASSERT_TRUE(robot_.Press(window_, button));
  for (const auto& [caption, button] : c.answers) Answer(caption, button);
  if (!c.backOnForm.empty()) {
    ASSERT_TRUE(robot_.WaitForWindow("Update Parent", kWait));
    EXPECT_EQ(robot_.OpenDialogCount(), 0u) << "nothing else is asked";
    EXPECT_EQ(robot_.Focus(window_), kName) << "back on the first field";
    ASSERT_TRUE(robot_.Press(window_, kCancel));
    for (const auto& [caption, button] : c.backOnForm) Answer(caption, button);
  }
  Finish();
  EXPECT_EQ(outcome_.response, c.response);
  EXPECT_EQ(StoredNames(), c.stored);
  EXPECT_EQ(outcome_.request, c.requestAtEnd);
  EXPECT_EQ(outcome_.vcr, c.vcrAtEnd);
  EXPECT_EQ(outcome_.buffersLeft, 0u) << "each save frees the copy it replaces";
}

constexpr Long kYes = rt::BUTTON_YES, kNo = rt::BUTTON_NO;
const Answers kKeepNo = {{"Save Record", kNo}};

INSTANTIATE_TEST_SUITE_P(
    Cases, FormFlows,
    ::testing::Values(
        // OK with and without edits; nothing to save completes unless navigation is pending.
        FlowCase{.name = "EditedOk", .typed = "Uno", .presses = {kOk}, .response = Response::Completed,
                 .stored = {"Uno", "Two"}},
        FlowCase{.name = "UneditedOk", .presses = {kOk}, .response = Response::Completed},
        FlowCase{.name = "UneditedOkAfterNext", .pressNext = true, .presses = {kOk}, .vcrAtEnd = kNext},
        FlowCase{.name = "CancelDropsNext", .pressNext = true, .presses = {kCancel}},
        // A closing button wins over OK: the window ends with its response, nothing saved.
        FlowCase{.name = "ClosingButtonBeforeOk", .okEndsCompleted = true, .typed = "Uno", .presses = {kOk},
                 .response = Response::Completed},
        // Closing under each cancel action.
        FlowCase{.name = "UneditedCancelAsksNothing", .presses = {kCancel}},
        FlowCase{.name = "SaveRecordYes", .typed = "Uno", .presses = {kCancel}, .answers = {{"Save Record", kYes}},
                 .response = Response::Completed, .stored = {"Uno", "Two"}},
        FlowCase{.name = "SaveRecordNo", .typed = "Uno", .presses = {kCancel}, .answers = kKeepNo},
        // Esc or the close box with the cursor still in the field: the change is taken in first.
        FlowCase{.name = "EscInTheFieldAsks", .typed = "Uno", .leaveBy = rt::KEY_Esc, .answers = {{"Save Record", kYes}},
                 .response = Response::Completed, .stored = {"Uno", "Two"}},
        FlowCase{.name = "CloseBoxInTheFieldAsks", .typed = "Uno", .leaveBy = 0, .answers = kKeepNo},
        FlowCase{.name = "SaveRecordCancel", .typed = "Uno", .presses = {kCancel},
                 .answers = {{"Save Record", rt::BUTTON_CANCEL}}, .backOnForm = kKeepNo},
        FlowCase{.name = "SaveWithoutAsking", .cancelAction = Cancel::Save, .typed = "Uno", .presses = {kCancel},
                 .response = Response::Completed, .stored = {"Uno", "Two"}},
        FlowCase{.name = "ChangesLostYes", .cancelAction = Cancel::Ask, .typed = "Uno", .presses = {kCancel},
                 .answers = {{"Changes will be lost!", kYes}}},
        FlowCase{.name = "ChangesLostNo", .cancelAction = Cancel::Ask, .typed = "Uno", .presses = {kCancel},
                 .answers = {{"Changes will be lost!", kNo}}, .backOnForm = {{"Changes will be lost!", kYes}}},
        FlowCase{.name = "NoCancelAction", .cancelAction = 0, .typed = "Uno", .presses = {kCancel}},
        // A refused update (the name key is unique): Cancel goes back to the form and does not
        // close it as well; Yes tries again; No gives up and closes, asking about the change.
        FlowCase{.name = "RefusedBackToTheForm", .typed = "Two", .presses = {kOk},
                 .answers = {{"Record was not updated", rt::BUTTON_OK}, {"Record Update Error", rt::BUTTON_CANCEL}},
                 .backOnForm = kKeepNo},
        FlowCase{.name = "RefusedRetriedThenGivenUp", .typed = "Two", .presses = {kOk},
                 .answers = {{"Record was not updated", rt::BUTTON_OK},
                             {"Record Update Error", kYes},
                             {"Record was not updated", rt::BUTTON_OK},
                             {"Record Update Error", kNo},
                             {"Save Record", kNo}}},
        // Save stores and keeps the form; on a view it does nothing (the request stays).
        FlowCase{.name = "SaveOnChange", .saveButton = true, .typed = "Uno", .presses = {kSave, kCancel},
                 .stored = {"Uno", "Two"}},
        FlowCase{.name = "SaveOnView", .request = Request::View, .saveButton = true, .typed = "Uno",
                 .presses = {kSave, kCancel}, .requestAtEnd = Request::View}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Delete: each delete action ----

struct DeleteCase {
  const char* name;
  Byte action;
  Byte actionOnForm;  // 0: as before
  int refusals;
  bool formOpens;
  std::vector<std::pair<std::string, Long>> answers;
  Byte response;
  std::size_t remaining;
};

class DeleteActions : public WindowManagerForm, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(DeleteActions, DeleteAsTheActionSays) {
  const DeleteCase& c = GetParam();
  Seed({{1, "One"}, {2, "Two"}});
  FormSpec spec;
  spec.request = Request::Delete;
  spec.deleteAction = c.action;
  spec.deleteActionOnForm = c.actionOnForm;
  spec.deleteRefusals = c.refusals;
  Start(spec, c.formOpens);
  if (c.formOpens) {
    ASSERT_TRUE(robot_.Press(window_, kOk));
  }
  for (const auto& [caption, button] : c.answers) Answer(caption, button);
  Finish();
  EXPECT_EQ(outcome_.response, c.response);
  EXPECT_EQ(Stored().size(), c.remaining);
  if (c.remaining == 1) {
    EXPECT_EQ(Stored().front().first, 2) << "the current record is the one deleted";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeleteActions,
    ::testing::Values(
        DeleteCase{"ConfirmYes", Delete::Confirm, 0, 0, false, {{"Confirm Delete", rt::BUTTON_YES}}, Response::Completed, 1},
        DeleteCase{"ConfirmDeclined", Delete::Confirm, 0, 0, false, {{"Confirm Delete", rt::BUTTON_NO}}, Response::Cancelled, 2},
        DeleteCase{"Silent", Delete::Silent, 0, 0, false, {}, Response::Completed, 1},
        DeleteCase{"OnForm", Delete::OnForm, 0, 0, true, {}, Response::Completed, 1},
        // Asked on the form's OK: a declined confirmation still ends the form as done.
        DeleteCase{"OnFormConfirmDeclined", Delete::OnForm, Delete::Confirm, 0, true, {{"Confirm Delete", rt::BUTTON_NO}},
                   Response::Completed, 2},
        // A refused delete is offered again (by the relation manager, then by the form).
        DeleteCase{"OnFormRefusedRetried", Delete::OnForm, 0, 1, true,
                   {{"Record was not deleted", rt::BUTTON_OK},
                    {"Record Delete Error", rt::BUTTON_NO},
                    {"Record Delete Error", rt::BUTTON_YES}},
                   Response::Completed, 1},
        DeleteCase{"OnFormRefusedGivenUp", Delete::OnForm, 0, 1, true,
                   {{"Record was not deleted", rt::BUTTON_OK},
                    {"Record Delete Error", rt::BUTTON_NO},
                    {"Record Delete Error", rt::BUTTON_NO}},
                   Response::Cancelled, 2},
        DeleteCase{"OnFormConfirmYes", Delete::OnForm, Delete::Confirm, 0, true, {{"Confirm Delete", rt::BUTTON_YES}},
                   Response::Completed, 1}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Field history ----

struct HistoryCase {
  const char* name;
  Long historyKey;
  const char* recalled;  // what the name entry shows afterwards
};

class FieldHistory : public WindowManagerForm, public ::testing::WithParamInterface<HistoryCase> {};

TEST_P(FieldHistory, RecallsTheValueOfTheLastRecordAdded) {
  const HistoryCase& c = GetParam();
  FormSpec spec;
  spec.request = Request::Insert;
  spec.insertAction = Insert::Repeat;
  spec.historyKey = c.historyKey;
  Start(spec);
  ASSERT_TRUE(robot_.TypeInto(window_, kName, "Alpha"));
  ASSERT_TRUE(robot_.Press(window_, kOk));
  ASSERT_EQ(Shown(kName), "") << "the next record is primed";
  ASSERT_TRUE(robot_.Click(window_, kName));
  ASSERT_TRUE(robot_.PressKey(window_, kName, kHistoryKey));
  EXPECT_EQ(Shown(kName), c.recalled);
  ASSERT_TRUE(robot_.Press(window_, kCancel));
  // A recalled value is a change of the primed record.
  if (*c.recalled) Answer("Save Record", rt::BUTTON_NO);
  Finish();
  EXPECT_EQ(StoredNames(), Strings{"Alpha"});
}

INSTANTIATE_TEST_SUITE_P(Cases, FieldHistory,
                         ::testing::Values(HistoryCase{"Key", kHistoryKey, "Alpha"},
                                           HistoryCase{"NoHistoryKey", 0, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- The dispatch: resets, the resizer, handlers before components, the kill order ----

TEST_F(WindowManagerForm, TheFirstSizeEventDoesNotResetTheSecondDoesAndTheResizerMovesControls) {
  Seed({{1, "One"}});
  FormSpec spec;
  spec.components = {"A", "B"};
  spec.resizer = true;
  Start(spec);
  EXPECT_EQ(log_.Take(), (Strings{"A reset", "B reset"})) << "only the opening resets";
  ASSERT_EQ(robot_.Prop(window_, kOk, rt::PROP_XPos), "100");
  ASSERT_TRUE(robot_.Resize(window_, 300, 150));
  ASSERT_TRUE(robot_.WaitForProp(window_, kOk, rt::PROP_XPos, "200", kWait))
      << "the button nearer the right edge keeps its distance from it";
  EXPECT_EQ(log_.Take(), (Strings{"A reset", "B reset"})) << "a later size event resets";
  ASSERT_TRUE(robot_.SelectTab(window_, kSheet, 2));
  EXPECT_EQ(log_.Take(), (Strings{"A reset", "B reset"})) << "so does another tab";
  ASSERT_TRUE(robot_.Press(window_, kCancel));
  Finish();
  EXPECT_EQ(log_.Take(), (Strings{"A killed", "B killed"})) << "in registration order, each out of the list";
}

TEST_F(WindowManagerForm, NotifyHidesTheEventFromComponentsAndFatalEndsTheLoop) {
  Seed({{1, "One"}});
  FormSpec spec;
  spec.components = {"A", "B", "C"};
  spec.hiddenControl = kSave;
  spec.fatalControl = kEnd;
  Start(spec);
  log_.Take();
  ASSERT_TRUE(robot_.Press(window_, kSave));
  ASSERT_TRUE(robot_.Press(window_, kPlain));
  ASSERT_TRUE(robot_.Press(window_, kEnd));
  Finish();
  const std::string plain = std::to_string(kPlain);
  EXPECT_EQ(log_.Take(), (Strings{"A saw " + plain, "B saw " + plain, "C saw " + plain, "A killed", "B killed",
                                  "C killed"}));
  EXPECT_EQ(outcome_.response, Response::Cancelled) << "no response set: cancelled";
}

}  // namespace
