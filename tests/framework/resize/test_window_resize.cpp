// The resizer on a window of this thread's own, without a backend: the test sets the window's
// size and hands the resizer the request a size event would post. Holding the window to its
// minimum or maximum is the window manager's; the resizer only sets the limits.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/resize/window_resize.h"
#include "runtime/core/system_props.h"
#include "runtime/ui/window.h"

namespace {

using rt::Long;

struct Box { Long x, y, w, h; bool operator==(const Box&) const = default; };
std::ostream& operator<<(std::ostream& out, const Box& b) { return out << "(" << b.x << "," << b.y << "," << b.w << "," << b.h << ")"; }

// 400x300: two buttons at opposite corners, a list, a prompt and an entry to its right, and a
// group holding an entry and a button.
enum : Long { kOk = 1, kHelp, kList, kPrompt, kEntry, kGroup, kInner, kGo };
const std::vector<Box> kOriginal = {{340, 260, 50, 20}, {10, 10, 50, 20},  {10, 40, 200, 150},
                                    {220, 40, 60, 10},  {220, 60, 100, 12}, {220, 100, 160, 80},
                                    {240, 120, 60, 12}, {300, 150, 60, 20}};

rt::WindowDef TestWindow() {
  rt::WindowDef def;
  def.title = "Resize test";
  def.resizable = true;
  def.width = 400;
  def.height = 300;
  const rt::ControlDef controls[] = {rt::ControlDef::Button("&OK"),       rt::ControlDef::Button("&Help"),
                                     rt::ControlDef::List("40L(2)|M~Name~"), rt::ControlDef::Prompt("Name:"),
                                     rt::ControlDef::Entry("@s20", nullptr), rt::ControlDef::Group("Options"),
                                     rt::ControlDef::Entry("@s10", nullptr), rt::ControlDef::Button("&Go")};
  for (std::size_t i = 0; i < kOriginal.size(); ++i)
    def.Add(rt::ControlDef(controls[i]).At(kOriginal[i].x, kOriginal[i].y, kOriginal[i].w, kOriginal[i].h));
  return def;
}

// expected: controls 1..8, worked out by hand from each rule
struct SizeCase { const char* name; rt::Byte appStrategy; Long width, height; std::vector<Box> expected; };

// Strategy 2: buttons keep their size at the nearer edge, texts and entries scale across and
// keep their offset from the top, lists and groups take the whole change; the group's entry and
// button are placed from the group's rectangles.
const SizeCase kSizeCases[] = {
    {"s2_grow_1_5", 2, 600, 450,
     {{540, 410, 50, 20}, {10, 10, 50, 20}, {10, 40, 400, 300}, {330, 40, 90, 10},
      {330, 60, 150, 12}, {220, 100, 360, 230}, {265, 120, 135, 12}, {500, 300, 60, 20}}},
    {"s2_shrink_0_8", 2, 320, 240,
     {{260, 200, 50, 20}, {10, 10, 50, 20}, {10, 40, 120, 90}, {176, 40, 48, 10},
      {176, 60, 80, 12}, {220, 100, 80, 20}, {230, 120, 30, 12}, {220, 90, 60, 20}}},
    // Strategy 1: no parents; entries scale with a fixed height, everything else scales.
    {"s1_grow_1_5", 1, 600, 450,
     {{540, 410, 50, 20}, {10, 10, 50, 20}, {15, 60, 300, 225}, {330, 60, 90, 15},
      {330, 90, 150, 12}, {330, 150, 240, 120}, {360, 180, 90, 12}, {500, 300, 60, 20}}},
    // Strategy 3: nothing moves.
    {"s3_grow", 3, 600, 450, kOriginal},
    // Strategy 5: sizes kept, each control at its original distance from the centre.
    {"s5_grow_1_5", 5, 600, 450,
     {{440, 335, 50, 20}, {110, 85, 50, 20}, {110, 115, 200, 150}, {320, 115, 60, 10},
      {320, 135, 100, 12}, {320, 175, 160, 80}, {340, 195, 60, 12}, {400, 225, 60, 20}}},
};

// The pass itself, run on this thread's own window without a backend.
class ResizePass : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(window_.Open()); }
  void TearDown() override { window_.Close(); }
  // Sets the window's size and hands the resizer the request a size event posts.
  void SizeTo(WindowResizeClass& r, Long width, Long height) {
    window_.SetProp(rt::PROP_Width, std::to_string(width));
    window_.SetProp(rt::PROP_Height, std::to_string(height));
    r.TakeEvent(rt::EVENT_ResizeRequest);
  }
  Box At(Long control) const {
    const auto n = [&](Long p) { return rt::PropNumber(window_.GetProp(control, p, 0)); };
    return {n(rt::PROP_XPos), n(rt::PROP_YPos), n(rt::PROP_Width), n(rt::PROP_Height)};
  }
  std::vector<Box> Layout() const {
    std::vector<Box> all;
    for (Long c = kOk; c <= kGo; ++c) all.push_back(At(c));
    return all;
  }
  rt::Window window_{TestWindow()};
};

TEST_F(ResizePass, EachControlLandsWhereItsStrategyPutsItAndComesBackExactly) {
  for (const SizeCase& c : kSizeCases) {
    SCOPED_TRACE(c.name);
    WindowResizeClass r;
    r.Init(c.appStrategy, 0);
    SizeTo(r, c.width, c.height);
    EXPECT_EQ(Layout(), c.expected);
    SizeTo(r, 517, 333);  // back to the original size through an odd intermediate one: no drift
    SizeTo(r, 400, 300);
    EXPECT_EQ(Layout(), kOriginal);
  }
}

// The limits are the original size; a strategy the procedure gives after Init is honoured (the
// prompt keeps its distance from the right); RestoreWindow puts everything back.
TEST_F(ResizePass, LimitsALaterStrategyAndRestoreWindow) {
  WindowResizeClass r;
  r.Init(2, 1, 1);
  EXPECT_EQ(window_.GetProp(rt::PROP_MinWidth) + "x" + window_.GetProp(rt::PROP_MinHeight) + " " +
                window_.GetProp(rt::PROP_MaxWidth) + "x" + window_.GetProp(rt::PROP_MaxHeight), "400x300 400x300");
  r.SetStrategy(kPrompt, ResizeRule::FromRight | ResizeRule::FromTop, ResizeRule::KeepWidth | ResizeRule::KeepHeight);
  SizeTo(r, 600, 450);
  EXPECT_EQ(At(kPrompt), (Box{420, 40, 60, 10}));
  r.RestoreWindow();
  EXPECT_EQ(window_.GetProp(rt::PROP_Width) + "x" + window_.GetProp(rt::PROP_Height), "400x300");
  EXPECT_EQ(Layout(), kOriginal);
}

TEST_F(ResizePass, AControlResizedByTheProgramTakesItsChildrenAlong) {
  WindowResizeClass r;
  r.Init(2, 0);
  window_.SetProp(kGroup, rt::PROP_Width, "320", 0);
  r.Resize(kGroup);
  const auto at = [&](Long c) {
    PositionGroup p;
    r.GetSizeInfo(c, p);
    return Box{p.XPos, p.YPos, p.Width, p.Height};
  };
  EXPECT_EQ(at(kInner), (Box{260, 120, 120, 12})) << "scaled across the group's doubled width";
  EXPECT_EQ(at(kGo), (Box{460, 150, 60, 20})) << "kept at the group's right and bottom edges";
  EXPECT_EQ(at(kOk), kOriginal[kOk - 1]) << "controls outside the group stay";
}

TEST_F(ResizePass, DeferredMovesArmTheRuntimeOnlyDuringThePass) {
  struct Spy : WindowResizeClass {
    std::vector<std::intptr_t> seen;
    void SetPosition(Long c, const PositionGroup& op, PositionGroup& nc, const PositionGroup& oc,
                     const PositionGroup& np) override {
      seen.push_back(rt::GetSystemProp(rt::PROP_DeferMove));
      WindowResizeClass::SetPosition(c, op, nc, oc, np);
    }
  } r;
  r.Init(2, 0);
  for (const std::intptr_t before : {std::intptr_t{0}, std::intptr_t{-1}}) {
    rt::SetSystemProp(rt::PROP_DeferMove, before);
    window_.SetProp(rt::PROP_Width, before ? "500" : "600");
    r.Resize();
    ASSERT_FALSE(r.seen.empty());
    EXPECT_EQ(r.seen.back(), 8) << "set to the number of controls while moving";
    EXPECT_EQ(rt::GetSystemProp(rt::PROP_DeferMove), before) << "a negative setting survives, any other is cleared";
  }
  rt::SetSystemProp(rt::PROP_DeferMove, 0);
}

TEST_F(ResizePass, ListingSkipsMenusTabsAndExcludedControlsAndKnowsGroupChildren) {
  rt::Window window([] {
    rt::WindowDef def = TestWindow();
    def.title = "Listing";
    const Long sheet = def.Add(rt::ControlDef::Sheet().At(10, 200, 100, 50));
    const Long tab = def.Add(rt::ControlDef::Tab("One").In(sheet));
    def.Add(rt::ControlDef::Button("On tab").In(tab).At(20, 220, 30, 10));
    const Long menu = def.Add(rt::ControlDef::Menu("&File"));
    def.Add(rt::ControlDef::Item("E&xit").In(menu));
    return def;
  }());
  ASSERT_TRUE(window.Open());
  window.SetProp(kEntry, PROP_NoResize, "1", 0);
  WindowResizeClass r;
  r.Init(2, 0);
  std::vector<Long> listed;
  for (const ResizeQueue& e : *r.ControlQueue) listed.push_back(e.ID);
  EXPECT_EQ(listed, (std::vector<Long>{kOk, kHelp, kList, kPrompt, kGroup, kInner, kGo, 9, 11}));
  // The group's controls move with the group, a control on a tab with the tab's sheet.
  EXPECT_EQ((std::vector<Long>{r.GetParentControl(kInner), r.GetParentControl(kGo), r.GetParentControl(11), r.GetParentControl(kHelp)}),
            (std::vector<Long>{kGroup, kGroup, 9, 0}));
  window.Close();
}

}  // namespace
