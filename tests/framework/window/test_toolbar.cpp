// ToolbarClass: which target is current and what reaches it. Without a window: choosing by id
// and by activity, an empty toolbar; with the Robot pressing the real toolbar buttons of a
// window of its own: each button's request reaches the current target, which follows the focus.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "framework/window/toolbar.h"
#include "runtime/core/assert.h"
#include "runtime/ui/accept_loop.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace {

using rt::Long;
using rt::ui::kWait;
using rt::ui::Strings;

constexpr Long kButtons[] = {ToolbarButton::Insert, ToolbarButton::Bottom, ToolbarButton::Top,
                             ToolbarButton::PageDown, ToolbarButton::PageUp, ToolbarButton::Down,
                             ToolbarButton::Up, ToolbarButton::History};

using Log = rt::ui::Recorder;

// A target for the buttons in `handles`; active while `control` has the focus (or always).
class TestTarget : public ToolbarTarget {
 public:
  TestTarget(std::string name, Long control, std::set<Long> handles, Log& log, bool alwaysActive = false)
      : name_(std::move(name)), control_(control), handles_(std::move(handles)), log_(log), always_(alwaysActive) {}
  void DisplayButtons() override {
    for (const Long button : kButtons) {
      if (handles_.count(button)) rt::Enable(button);
      else rt::Disable(button);
    }
    log_.Note(name_ + " displays");
  }
  void TakeToolbar() override { log_.Note(name_ + " chosen"); }
  rt::Byte IsActive() override {
    const rt::Window* top = rt::TopWindow();
    return always_ || (top && top->FocusedControl() == control_);
  }
  void TakeEvent(Long& vcrRequest, WindowManager*) override {
    if (handles_.count(rt::Accepted())) vcrRequest = rt::Accepted();
  }

 private:
  std::string name_;
  Long control_;
  std::set<Long> handles_;
  Log& log_;
  bool always_;
};

// ---- Without a window ----

TEST(ToolbarTargets, ByIdByActivityAndNone) {
  Log log;
  TestTarget a("a", 1, {}, log, true), b("b", 2, {}, log, true), c("c", 3, {}, log);
  ToolbarClass toolbar;
  toolbar.Init();
  toolbar.AddTarget(1, a);
  toolbar.AddTarget(2, b);
  toolbar.AddTarget(3, c);
  EXPECT_EQ(toolbar.CurrentTarget(), &c) << "the target added last is current";
  toolbar.SetTarget(0);
  EXPECT_EQ(toolbar.CurrentTarget(), &b) << "of two active targets the later one wins";
  toolbar.SetTarget(1);
  EXPECT_EQ(toolbar.CurrentTarget(), &a);
  EXPECT_EQ(log.Take(), (Strings{"a chosen"})) << "only a choice by id tells the target";

  rt::testing::ClearAssertionMessages();
  toolbar.SetTarget(9);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 1u) << "an unknown id is a programming error";
  EXPECT_EQ(toolbar.CurrentTarget(), &a) << "and changes nothing";
  rt::testing::ClearAssertionMessages();
}

TEST(ToolbarTargets, AnEmptyToolbarDoesNothingAndComplainsOfNothing) {
  rt::testing::ClearAssertionMessages();
  ToolbarClass toolbar;
  toolbar.Init();
  Long vcr = 7;
  toolbar.TakeEvent(vcr, nullptr);
  toolbar.SetTarget(0);
  EXPECT_EQ(vcr, 7);
  EXPECT_EQ(toolbar.CurrentTarget(), nullptr);
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());
  toolbar.Kill();
  toolbar.Init();
  EXPECT_TRUE(toolbar.List && toolbar.List->empty()) << "a toolbar can be initialised again";
}

// ---- The Robot pressing the buttons ----

enum : Long { kList = 1, kEntry };

class ToolbarPresses : public rt::ui::RobotFixture {
 protected:
  void Open() {
    rt::WindowDef def;
    def.title = "Toolbar test";
    def.Add(rt::ControlDef::List("40L(2)|M~Name~"));
    def.Add(rt::ControlDef::Entry("@s20", nullptr));
    for (const Long button : kButtons) def.Add(rt::ControlDef::Button(std::to_string(button)).Toolbar(button));
    rt::Start([def, this] {
      rt::Window window(def);
      window.Open();
      TestTarget browse("browse", kList, {3001, 3005, 3006, 3007, 3008, 3009, 3010}, log_);
      TestTarget form("form", kEntry, {3001, 3009, 3010}, log_);
      ToolbarClass toolbar;
      toolbar.Init();
      toolbar.AddTarget(kList, browse);
      toolbar.AddTarget(kEntry, form);
      toolbar.SetTarget(kList);
      toolbar.DisplayButtons();
      Long vcrRequest = 0;
      while (window.Accept()) {
        const rt::EventRecord& e = window.CurrentEvent();
        if (e.code == rt::EVENT_Accepted) {
          toolbar.TakeEvent(vcrRequest, nullptr);
          log_.Note("request " + std::to_string(vcrRequest));
          vcrRequest = 0;
        } else if (e.code == rt::EVENT_Selected && (e.control == kList || e.control == kEntry)) {
          toolbar.SetTarget(0);
          toolbar.DisplayButtons();
        }
      }
      toolbar.Kill();
    });
    window_ = Find("Toolbar test");
  }
  bool Disabled(Long button) { return rt::PropNumber(robot_.Prop(window_, button, rt::PROP_Disable)) != 0; }

  Log log_;
  rt::ui::ShownWindow window_;
};

TEST_F(ToolbarPresses, EachButtonsRequestReachesTheTargetThatFollowsTheFocus) {
  Open();
  EXPECT_EQ(log_.Take(), (Strings{"browse chosen", "browse displays", "browse displays"}))
      << "chosen by id, then shown again when the list takes the focus at open";
  for (const Long button : {3001, 3005, 3006, 3007, 3008, 3009, 3010}) {
    ASSERT_FALSE(Disabled(button)) << button;
    ASSERT_TRUE(robot_.Press(window_, button));
    EXPECT_EQ(log_.Take(), (Strings{"request " + std::to_string(button)})) << button;
  }
  EXPECT_TRUE(Disabled(ToolbarButton::History)) << "the browse has no use for the history button";

  ASSERT_TRUE(robot_.Click(window_, kEntry));
  EXPECT_EQ(log_.Take(), (Strings{"form displays"})) << "the focused form became current";
  for (const Long button : {3005, 3006, 3007, 3008}) EXPECT_TRUE(Disabled(button)) << button;
  for (const Long button : {3001, 3009, 3010}) {
    ASSERT_TRUE(robot_.Press(window_, button));
    EXPECT_EQ(log_.Take(), (Strings{"request " + std::to_string(button)})) << button;
  }
  ASSERT_TRUE(robot_.Click(window_, kList));
  EXPECT_EQ(log_.Take(), (Strings{"browse displays"}));
  EXPECT_FALSE(Disabled(ToolbarButton::PageDown)) << "back on the list, its buttons are enabled again";
  robot_.CloseWindow(window_);
}

}  // namespace
