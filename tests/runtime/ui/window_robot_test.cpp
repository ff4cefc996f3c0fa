// Windows on program threads driven by the Robot through the headless backend: typed entries,
// alerted keys, posts between threads, an edit control over a list cell, check boxes and radios.
// What both backends must do alike is in backend_conformance_test.cpp.

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "runtime/core/date_time.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/picture.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/window.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace rt::ui {
namespace {

using namespace std::chrono_literals;

class RobotWindows : public RobotFixture {};

auto NoHandling = [](Window&) {};

// ---- Alerted keys (one control's alerts: WindowConformance) ----

TEST_F(RobotWindows, AlertedKeysArriveAsPreAlertAndAlertKeyAndHandlingThePreAlertSkipsTheKeysAction) {
  Long value = 0;
  struct Rows final : ListSource {
    Long RowCount() const override { return 3; }
    std::string Value(Long row, Long) const override { return std::to_string(row); }
  };
  static const Rows rows;
  WindowDef def;
  def.title = "Keys";
  def.Add(ControlDef::Entry("@n5", Bind(value)));
  const Long list = def.Add(ControlDef::List("20L"));
  const Long ok = def.Add(ControlDef::Button("OK"));
  Recorder events(true);
  std::atomic<bool> swallowPreAlert{true};
  Run(def, events, [&](Window& w) {
    if (w.CurrentEvent().code == EVENT_OpenWindow) {
      w.Alert(KEY_Delete);                       // Delete anywhere in the window
      w.SetProp(list, PROP_Alrt, std::to_string(KEY_Down), 1);
      w.SetListSource(list, &rows);
      w.SetProp(list, PROP_Selected, "1", 0);
    }
    if (w.CurrentEvent().code == EVENT_PreAlertKey && swallowPreAlert) w.SetHandled();
  });
  const ShownWindow keys = Find("Keys");
  events.Take();

  robot_.PressKey(keys, ok, KEY_Delete);
  EXPECT_EQ(events.Take(), (Strings{"Selected:3", "PreAlertKey:3/46", "AlertKey:3/46"})) << "a window alert covers every control";
  robot_.PressKey(keys, ok, KEY_Enter);
  EXPECT_EQ(events.Take(), (Strings{"Accepted:3"})) << "a key not alerted does its own action";

  robot_.PressKey(keys, list, KEY_Down);
  EXPECT_EQ(events.Take(), (Strings{"Selected:2", "PreAlertKey:2/40", "AlertKey:2/40"}));
  EXPECT_EQ(robot_.Prop(keys, list, PROP_Selected), "1") << "handled pre-alert: the list did not move";
  swallowPreAlert = false;
  robot_.PressKey(keys, list, KEY_Down);
  EXPECT_EQ(events.Take(), (Strings{"PreAlertKey:2/40", "AlertKey:2/40", "NewSelection:2"}));
  EXPECT_EQ(robot_.Prop(keys, list, PROP_Selected), "2");
  robot_.CloseWindow(keys);
}

// ---- Posts between threads ----

TEST_F(RobotWindows, PostsAndNotifiesReachAnotherThreadsWindowWithCodeThreadAndParameter) {
  Recorder receiverEvents(true), senderEvents(true);
  WindowDef receiverDef;
  receiverDef.title = "Receiver";
  const Long receiverThread = Run(receiverDef, receiverEvents, [](Window& w) {
    Long code = 0, thread = 0, parameter = 0;
    if (NotifyData(code, thread, parameter))
      w.SetProp(PROP_Text, "code " + std::to_string(code) + " thread " + std::to_string(thread) + " parameter " +
                               std::to_string(parameter));
    if (Accepted() == 1) w.SetProp(PROP_Text, w.Title() + " +accepted");
  });
  const ShownWindow receiver = Find("Receiver");

  WindowDef senderDef;
  senderDef.title = "Sender";
  senderDef.Add(ControlDef::Button("Send"));
  const Long senderThread = Run(senderDef, senderEvents, [receiverThread](Window& w) {
    if (w.CurrentEvent().code != EVENT_Accepted) return;
    Notify(7, receiverThread, 42);
    Post(EVENT_Accepted, 1, receiverThread);
  });
  const ShownWindow sender = Find("Sender");
  receiverEvents.Take();
  robot_.Press(sender, 1);
  const std::string expected = "code 7 thread " + std::to_string(senderThread) + " parameter 42 +accepted";
  EXPECT_TRUE(robot_.WaitForProp(receiver, 0, PROP_Text, expected, kWait))
      << "the notify carried its code, thread and parameter, and the post followed it";
  EXPECT_EQ(receiverEvents.Take(), (Strings{"Notify", "Accepted:1"}));
  robot_.CloseWindow(sender);
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
  WindowDef def;
  def.title = "In place";
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
  robot_.TypeInto(window, editor, "123");
  EXPECT_EQ(edited, 123);
  robot_.CloseWindow(window);
}

// ---- Check boxes and radio groups ----

TEST_F(RobotWindows, CheckBoxesToggleTheirVariableAndARadioStoresItsValueInTheOption) {
  Long paid = 0;
  std::string size = "M";
  WindowDef def;
  def.title = "Choices";
  const Long check = def.Add(ControlDef::Check("&Paid", Bind(paid)));
  const Long option = def.Add(ControlDef::Option("Size", Bind(size)));
  const Long small = def.Add(ControlDef::Radio("&Small").In(option).Value("S"));
  const Long medium = def.Add(ControlDef::Radio("&Medium").In(option).Value("M"));
  const Long large = def.Add(ControlDef::Radio("&Large").In(option));  // value: its text without '&'
  const Long show = def.Add(ControlDef::Button("&Show"));
  Recorder events;
  Run(def, events, [&](Window& w) {
    // The program changes both variables; the screen follows on the next pass.
    if (w.CurrentEvent().code == EVENT_Accepted && w.CurrentEvent().control == show) {
      paid = 0;
      size = "S";
    }
  });
  const ShownWindow window = Find("Choices");
  // What is checked: the box, then the radios Small, Medium, Large.
  const auto checked = [&] {
    std::string on;
    for (const Long control : {check, small, medium, large}) on += robot_.Prop(window, control, PROP_Checked) == "1" ? '1' : '0';
    return on;
  };
  EXPECT_EQ(checked(), "0010") << "the radio holding the option's value is on";
  events.Take();

  robot_.Press(window, check);
  EXPECT_EQ(paid, 1);
  EXPECT_EQ(checked(), "1010");
  robot_.PressKey(window, check, KEY_Space);
  EXPECT_EQ(paid, 0) << "Space toggles it back";
  EXPECT_EQ(events.Take(), (Strings{"Accepted:1", "Accepted:1"}));

  robot_.Press(window, large);
  EXPECT_EQ(size, "Large");
  EXPECT_EQ(checked(), "0001") << "one radio of an option is on at a time";
  robot_.Press(window, large);
  EXPECT_EQ(events.Take(), (Strings{"Selected:" + std::to_string(large), "Accepted:2"}))
      << "the option is accepted, and only when its value changes";

  robot_.Press(window, check);
  robot_.Press(window, show);
  EXPECT_EQ(checked(), "0100") << "the program changed both variables";
  robot_.CloseWindow(window);
}

}  // namespace
}  // namespace rt::ui
