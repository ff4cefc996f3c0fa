// Windows on program threads driven by the Robot through the headless backend: posts between
// threads, an edit control over a list cell, check boxes and radios, two threads with a modal
// window, focus between threads, keys on a list, a list source over a queue, popups, resizing and
// the Robot's failure reports over windows and dialogs. What both backends must do alike is in
// backend_conformance_test.cpp.

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "runtime/core/dialogs.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/thread.h"
#include "runtime/data/queue.h"
#include "runtime/data/record_layout.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/queue_list_source.h"
#include "runtime/ui/window.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace rt::ui {
namespace {

using namespace std::chrono_literals;

class RobotWindows : public RobotFixture {};

TEST_F(RobotWindows, PostsAndNotifiesFromAnotherThreadReachAWindowWithCodeThreadAndParameter) {
  Recorder receiverEvents(true);
  WindowDef receiverDef = Titled("Receiver");
  const Long receiverThread = Run(receiverDef, receiverEvents, [](Window& w) {
    Long code = 0, thread = 0, parameter = 0;
    if (NotifyData(code, thread, parameter))
      w.SetProp(PROP_Text, "code " + std::to_string(code) + " thread " + std::to_string(thread) + " parameter " +
                               std::to_string(parameter));
    if (Accepted() == 1) w.SetProp(PROP_Text, w.Title() + " +accepted");
  });
  const ShownWindow receiver = Find("Receiver");
  receiverEvents.Take();
  const Long senderThread = rt::Start([receiverThread] {
    Notify(7, receiverThread, 42);
    Post(EVENT_Accepted, 1, receiverThread);
  });
  const std::string expected = "code 7 thread " + std::to_string(senderThread) + " parameter 42 +accepted";
  EXPECT_TRUE(robot_.WaitForProp(receiver, 0, PROP_Text, expected, kWait))
      << "the notify carried its code, thread and parameter, and the post followed it";
  EXPECT_EQ(receiverEvents.Take(), (Strings{"Notify", "Accepted:1"}));
  robot_.CloseWindow(receiver);
}

// ---- Controls made while the window is open: the edit-in-place cell editor ----

TEST_F(RobotWindows, AnEditControlIsLaidOverItsCellInTheSelectedRowAndFollowsTheRow) {
  struct Rows final : ListSource {
    Long RowCount() const override { return 30; }
    std::string Value(Long row, Long field) const override { return std::to_string(row * 10 + field); }
  };
  static const Rows rows;
  Long edited = 0;
  WindowDef def = Titled("In place");
  const Long list = def.Add(ControlDef::List("40L~A~@n4@60R~B~@n6@").At(10, 20, 100, 60));  // heading + 5 rows
  Long editor = 0;
  Recorder events;
  Run(def, events, [&](Window& w) {
    if (w.CurrentEvent().code == EVENT_OpenWindow) {
      w.SetListSource(list, &rows);
      w.SetProp(list, PROP_Selected, "3", 0);
      editor = w.CreateControl(ControlDef::Entry("@n6", Bind(edited)));
      w.SetProp(list, PROP_EditControl, std::to_string(editor), 2);
    }
    if (w.CurrentEvent().code == EVENT_CloseWindow) w.DestroyControl(editor);
  });
  const ShownWindow window = Find("In place");
  ASSERT_EQ(editor, 2);
  // Column 2 starts 40 units in; line 3 is below the heading line and two rows.
  const auto place = [&] {
    return Strings{robot_.Prop(window, editor, PROP_XPos), robot_.Prop(window, editor, PROP_YPos),
                   robot_.Prop(window, editor, PROP_Width), robot_.Prop(window, editor, PROP_Height)};
  };
  EXPECT_EQ(place(), (Strings{"50", "50", "60", "10"}));
  robot_.PickRow(window, list, 5);
  EXPECT_EQ(place(), (Strings{"50", "70", "60", "10"})) << "the editor follows the selected row";
  robot_.Scroll(window, list, EVENT_ScrollDown);
  EXPECT_EQ(robot_.Cell(window, list, 6, 1), "  61") << "the page moved down one row";
  EXPECT_EQ(place(), (Strings{"50", "70", "60", "10"})) << "the selected row is still the last shown";
  robot_.CloseWindow(window);
}

TEST_F(RobotWindows, CheckBoxesToggleTheirVariableAndARadioStoresItsValueInTheOption) {
  Long paid = 0;
  std::string size = "M";
  WindowDef def = Titled("Choices");
  const Long check = def.Add(ControlDef::Check("&Paid", Bind(paid)));
  const Long option = def.Add(ControlDef::Option("Size", Bind(size)));
  const Long small = def.Add(ControlDef::Radio("&Small").In(option).Value("S"));
  const Long medium = def.Add(ControlDef::Radio("&Medium").In(option).Value("M"));
  const Long large = def.Add(ControlDef::Radio("&Large").In(option));  // value: its text without '&'
  Recorder events;
  Run(def, events, [](Window&) {});
  const ShownWindow window = Find("Choices");
  const auto checked = [&] {  // the box, then the radios Small, Medium, Large
    std::string on;
    for (const Long control : {check, small, medium, large}) on += robot_.Prop(window, control, PROP_Checked) == "1" ? '1' : '0';
    return on;
  };
  EXPECT_EQ(checked(), "0010") << "the radio holding the option's value is on";
  events.Take();
  robot_.Press(window, check);
  EXPECT_EQ(paid, 1);
  robot_.PressKey(window, check, KEY_Space);
  EXPECT_EQ(paid, 0) << "Space toggles it back";
  robot_.Press(window, large);
  robot_.Press(window, large);
  EXPECT_EQ(size, "Large");
  EXPECT_EQ(checked(), "0001") << "one radio of an option is on at a time";
  EXPECT_EQ(events.Take(), (Strings{"Accepted:1", "Accepted:1", "Selected:" + std::to_string(large), "Accepted:2"}))
      << "the option is accepted, and only when its value changes";
  robot_.CloseWindow(window);
}

TEST_F(RobotWindows, AModalWindowBlocksOnlyItsOwnThreadsOtherWindowsAndFrontAndBackReachEveryThread) {
  WindowDef oneDef = Titled("One 0"), twoDef = Titled("Two 0"), modalDef = Titled("Modal");
  oneDef.Add(ControlDef::Button("Count"));  // each window counts its presses in its title
  oneDef.Add(ControlDef::Button("Open modal"));
  twoDef.Add(ControlDef::Button("Count"));
  modalDef.modal = true;
  modalDef.Add(ControlDef::Button("Close").StdClose());
  Recorder oneEvents, twoEvents, modalEvents;
  int oneCount = 0, twoCount = 0;
  Run(oneDef, oneEvents, [&](Window& w) {
    if (Accepted() == 1) w.SetProp(PROP_Text, "One " + std::to_string(++oneCount));
    if (Accepted() == 2) RunWindow(modalDef, modalEvents, [](Window&) {});
  });
  Run(twoDef, twoEvents, [&](Window& w) { if (Accepted() == 1) w.SetProp(PROP_Text, "Two " + std::to_string(++twoCount)); });
  const ShownWindow one = Find("One 0"), two = Find("Two 0");
  ASSERT_NE(one.thread, two.thread);
  robot_.Press(one, 2);
  const ShownWindow modal = Find("Modal");
  EXPECT_EQ(modal.thread, one.thread);
  oneEvents.Take();
  expectFailures_ = true;
  EXPECT_FALSE(robot_.Press(one, 1)) << "the window under the modal one takes no input";
  expectFailures_ = false;
  EXPECT_TRUE(robot_.Press(two, 1)) << "another thread's window is not blocked";
  EXPECT_EQ(robot_.Text(two, 0), "Two 1");
  robot_.Press(modal, 1);
  ASSERT_TRUE(robot_.WaitForWindowClosed(modal, kWait));
  robot_.Press(one, 1);
  EXPECT_EQ(robot_.Text(one, 0), "One 1") << "the press sent while blocked never arrived";
  EXPECT_EQ(oneEvents.Take(), (Strings{"LoseFocus", "GainFocus", "Selected:1", "Accepted:1"}))
      << "the modal window took the focus when it opened and gave it back when it closed";

  // Bringing a window of another thread to the front tells both windows; in front, nothing changes.
  twoEvents.Take();
  robot_.Activate(two);
  robot_.Activate(two);
  EXPECT_EQ(oneEvents.Take(), (Strings{"LoseFocus"}));
  EXPECT_EQ(twoEvents.Take(), (Strings{"GainFocus"}));
  robot_.CloseWindow(one);
  robot_.CloseWindow(two);
}

// Keys on a list: a letter locates, and a handled PreAlertKey skips the key's own action (the
// alerts themselves: WindowConformance).
TEST_F(RobotWindows, TypingALetterInAListSelectsTheNextMatchingRowAndAHandledAlertSkipsTheKey) {
  struct Names final : ListSource {
    Long RowCount() const override { return 4; }
    std::string Value(Long row, Long) const override {
      static const char* names[] = {"apple", "Banana", "avocado", "cherry"};
      return names[row - 1];
    }
  };
  static const Names names;
  WindowDef def = Titled("Locate");
  const Long plain = def.Add(ControlDef::List("80L(2)|M~Name~@s20@"));
  const Long immediate = def.Add(ControlDef::List("80L(2)|M~Name~@s20@").Immediate());
  Recorder events(true);
  Run(def, events, [&](Window& w) {
    if (w.CurrentEvent().code == EVENT_PreAlertKey) w.SetHandled();
    if (w.CurrentEvent().code != EVENT_OpenWindow) return;
    for (const Long list : {plain, immediate}) w.SetListSource(list, &names);
    w.SetProp(plain, PROP_Selected, "1", 0);
    w.SetProp(plain, PROP_Alrt, std::to_string(KEY_Down), 1);
  });
  const ShownWindow window = Find("Locate");
  ASSERT_TRUE(robot_.WaitForListRows(window, plain, 4, kWait));
  events.Take();

  // The next match after the selected row, round from the end, case ignored; no match, or a
  // letter with Ctrl: it stays.
  const struct { Long key; const char* selected; } kPresses[] = {{'A', "3"}, {KEY_Shift + 'A', "1"}, {'B', "2"}, {'Z', "2"}, {KEY_Ctrl + 'A', "2"}};
  for (const auto& press : kPresses) {
    robot_.PressKey(window, plain, press.key);
    EXPECT_EQ(robot_.Prop(window, plain, PROP_Selected), press.selected) << press.key;
  }
  EXPECT_EQ(events.Take(), (Strings{"NewSelection:1", "NewSelection:1", "NewSelection:1"}));
  robot_.PressKey(window, plain, KEY_Down);
  EXPECT_EQ(events.Take(), (Strings{"PreAlertKey:1/40", "AlertKey:1/40"}));
  EXPECT_EQ(robot_.Prop(window, plain, PROP_Selected), "2") << "the list did not move";

  robot_.PressKey(window, immediate, 'C');
  EXPECT_EQ(events.Take(), (Strings{"Selected:2", "Locate:2/67"})) << "an immediate list leaves locating to the program";
  robot_.CloseWindow(window);
}

// ---- A list source over a runtime queue ----

struct BrowseRow {
  Long id = 0;
  FixedString<20> name;
};

TEST(QueueListSource, ReadsRowsWithoutMovingTheQueueOrItsBuffer) {
  QueueOf<BrowseRow> queue;
  for (Long i = 1; i <= 3; ++i) {
    queue.Rec().id = i;
    queue.Rec().name = "N" + std::to_string(i);
    queue.Q().Add();
  }
  queue.Q().Get(2);
  queue.Rec().name = "edited, not put";
  const RecordLayout layout(sizeof(BrowseRow), {LayoutField("AFI:ID", &BrowseRow::id, "@n-14"),
                                                LayoutField("AFI:ASTRING", &BrowseRow::name, "@s20")});
  const QueueListSource rows(queue.Q(), layout);
  EXPECT_EQ(rows.RowCount(), 3);
  // The row shows the stored record, not the buffer; no row 0 or 4, no field 6.
  EXPECT_EQ((Strings{rows.Value(3, 1), rows.Value(1, 2), rows.Value(2, 2), rows.Value(4, 1), rows.Value(1, 6), rows.Value(0, 1)}),
            (Strings{"3", "N1", "N2", "", "", ""}));
  EXPECT_EQ(queue.Q().Pointer(), 2);
  EXPECT_EQ(queue.Rec().name.Str(), "edited, not put");
}

// A chosen item's number is the menu text's (PopupMenuText) and reaches the program on either
// screen (the conformance ways); dismissed, the popup gives 0.
TEST_F(RobotWindows, ADismissedPopupReturnsZero) {
  WindowDef def = Titled("Popup");
  def.Add(ControlDef::Button("Menu"));
  Recorder events;
  Run(def, events, [](Window& w) { if (Accepted() == 1) w.SetProp(PROP_Text, "chose " + std::to_string(Popup("&Insert|More{A|B}"))); });
  const ShownWindow shown = Find("Popup");
  robot_.Press(shown, 1);
  const auto popup = robot_.WaitForPopup(kWait, shown.thread);
  ASSERT_TRUE(popup);
  EXPECT_TRUE(robot_.DismissPopup(*popup));
  EXPECT_TRUE(robot_.WaitForProp(shown, 0, PROP_Text, "chose 0", kWait));
  robot_.CloseWindow(shown);
}

TEST_F(RobotWindows, ResizeIsARequestThatAHandlerCanRefuse) {
  WindowDef def = Titled("Sizable");
  def.resizable = true;
  Recorder events;
  std::atomic<bool> refuse{false};
  Run(def, events, [&](Window& w) {
    const Long code = w.CurrentEvent().code;
    if (code == EVENT_OpenWindow) w.SetProp(PROP_MinWidth, "120");
    if (refuse && (code == EVENT_SizeRequest || code == EVENT_MaximizeRequest)) w.SetHandled();
  });
  const ShownWindow shown = Find("Sizable");
  const auto size = [&] { return robot_.Prop(shown, 0, PROP_Width) + "|" + robot_.Prop(shown, 0, PROP_Maximize); };
  events.Take();
  robot_.Resize(shown, 300, 220);
  EXPECT_EQ(events.Take(), (Strings{"SizeRequest", "Sized"}));
  EXPECT_EQ(size(), "300|");
  robot_.Resize(shown, 50, 220);
  EXPECT_EQ(size(), "120|") << "no smaller than the minimum width";
  events.Take();
  refuse = true;
  robot_.Resize(shown, 400, 300);
  robot_.Maximize(shown);
  EXPECT_EQ(events.Take(), (Strings{"SizeRequest", "MaximizeRequest"}));
  EXPECT_EQ(size(), "120|") << "both refused";
  refuse = false;
  robot_.Maximize(shown);
  EXPECT_EQ(events.Take(), (Strings{"MaximizeRequest", "Maximized", "Sized"}));
  EXPECT_EQ(robot_.Prop(shown, 0, PROP_Maximize), "1");
  robot_.CloseWindow(shown);
}

TEST_F(RobotWindows, AFailedWaitOrPressSaysWhatTheScreenShowsAndLeavesItAsItWas) {
  WindowDef def = Titled("Present");
  def.Add(ControlDef::Button("Go").Disabled());
  Recorder events;
  Run(def, events, [](Window&) {});
  const ShownWindow shown = Find("Present");
  expectFailures_ = true;
  EXPECT_FALSE(robot_.WaitForWindow("Absent", 20ms));
  EXPECT_FALSE(robot_.Press(shown, 1));
  EXPECT_FALSE(robot_.Press(shown, 9));
  std::atomic<Long> result{-1};
  rt::Start([&] {
    Stop("Quit the demo?");
    result = MessageBox("Save?", "Edit", "", "6");
  });
  ASSERT_TRUE(robot_.WaitForStop(kWait));
  EXPECT_FALSE(robot_.WaitForMessageBox(10ms));
  ASSERT_EQ(failures_.size(), 4u);
  const char* expected[] = {"\"Present\"", "control 1 is disabled", "no control 9", "stop dialog"};
  for (std::size_t i = 0; i < 4; ++i) EXPECT_NE(failures_[i].find(expected[i]), std::string::npos) << failures_[i];
  EXPECT_TRUE(robot_.AnswerStop(StopAnswer::GoOn));
  const auto box = robot_.WaitForMessageBox(kWait);
  ASSERT_TRUE(box);
  EXPECT_FALSE(robot_.PressButton(BUTTON_CANCEL) || robot_.PressCaption("&Maybe")) << "neither is offered";
  EXPECT_EQ(robot_.OpenDialogCount(), 1u);
  EXPECT_TRUE(robot_.PressCaption("&No"));
  EXPECT_FALSE(robot_.PressButton(*box, BUTTON_YES)) << "an answered box cannot be answered again";
  expectFailures_ = false;
  robot_.CloseWindow(shown);
  ASSERT_TRUE(WaitForStartedThreads(kWait));
  EXPECT_EQ(result, BUTTON_NO);
}

}  // namespace
}  // namespace rt::ui
