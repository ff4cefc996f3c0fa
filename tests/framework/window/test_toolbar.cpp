// ToolbarClass: which target is current and what reaches it, by id and by activity, and an
// empty toolbar. Buttons pressed in a real window are the window manager's and browse's tests.

#include <gtest/gtest.h>

#include <string>

#include "framework/window/toolbar.h"
#include "runtime/core/assert.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace {

using rt::Long;
using rt::ui::Strings;

// A target that notes what reaches it; a press it takes leaves its own number as the request.
struct TestTarget : ToolbarTarget {
  TestTarget(std::string name, Long request, bool active, rt::ui::Recorder& log) : name(std::move(name)), request(request), active(active), log(log) {}
  void DisplayButtons() override { log.Note(name + " displays"); }
  void TakeToolbar() override { log.Note(name + " chosen"); }
  rt::Byte IsActive() override { return active; }
  void TakeEvent(Long& vcrRequest, WindowManager*) override { vcrRequest = request; }
  std::string name;
  Long request;
  bool active;
  rt::ui::Recorder& log;
};

TEST(ToolbarTargets, ByIdByActivityAndNone) {
  rt::testing::ClearAssertionMessages();
  rt::ui::Recorder log;
  ToolbarClass toolbar;
  toolbar.Init();
  Long vcr = 7;
  toolbar.TakeEvent(vcr, nullptr);
  toolbar.SetTarget(0);
  EXPECT_TRUE(vcr == 7 && !toolbar.CurrentTarget() && rt::testing::AssertionMessages().empty()) << "an empty toolbar does nothing";

  TestTarget a("a", 3009, true, log), b("b", 3010, true, log), c("c", 3005, false, log);
  toolbar.AddTarget(1, a);
  toolbar.AddTarget(2, b);
  toolbar.AddTarget(3, c);
  toolbar.TakeEvent(vcr, nullptr);
  EXPECT_EQ(vcr, 3005) << "the target added last is current and takes the press";
  toolbar.SetTarget(0);
  toolbar.DisplayButtons();
  EXPECT_EQ(toolbar.CurrentTarget(), &b) << "of two active targets the later one wins";
  a.active = b.active = false;
  c.active = true;
  toolbar.SetTarget(0);
  EXPECT_EQ(toolbar.CurrentTarget(), &c) << "the current target follows the activity";
  toolbar.SetTarget(1);
  toolbar.TakeEvent(vcr, nullptr);
  EXPECT_EQ(vcr, 3009);
  EXPECT_EQ(log.Take(), (Strings{"b displays", "a chosen"})) << "only a choice by id tells the target";

  toolbar.SetTarget(9);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 1u) << "an unknown id is a programming error";
  EXPECT_EQ(toolbar.CurrentTarget(), &a) << "and changes nothing";
  rt::testing::ClearAssertionMessages();
}

}  // namespace
