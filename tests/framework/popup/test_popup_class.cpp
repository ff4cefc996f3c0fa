// PopupClass: the item list, the menu text the runtime parses and the numbering both sides must
// agree on, and choices made by the Robot on a window of its own.

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/popup/popup_class.h"
#include "runtime/core/assert.h"
#include "runtime/ui/popup_menu.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace {

using rt::Long;
using rt::ui::kWait;
using rt::ui::Strings;

// "name@depth" for every item, in order; marks as "~" (disabled) and "+"/"-" (check) before.
Strings Items(const PopupClass& popup) {
  Strings out;
  for (const PopupItemQueue& item : *popup.PopupItems) {
    const std::string check = item.Check == 1 ? "+" : item.Check == 2 ? "-" : "";
    out.push_back((item.Disabled == 1 ? "~" : "") + check + item.Name + "@" + std::to_string(item.Depth));
  }
  return out;
}

// The items, the menu text and GetName(1), GetName(2), … for every number the runtime gives.
struct BuildCase { const char* name; std::function<void(PopupClass&)> build; Strings items; std::string menuText; Strings numbered; };

const BuildCase kBuildCases[] = {
    {"same_text_twice_gets_a_numbered_name",
     [](PopupClass& p) { p.AddItem("&Insert"); p.AddItem("&Insert"); p.AddItem("Insert1"); },
     {"Insert@1", "Insert1@1", "Insert11@1"}, "|&Insert|&Insert|Insert1", {"Insert", "Insert1", "Insert11"}},
    {"separators_are_named_and_never_numbered",
     [](PopupClass& p) { p.AddItem("A"); p.AddItem("-"); p.AddItem("B"); p.AddItem("-"); },
     {"A@1", "Separator@1", "B@1", "Separator1@1"}, "|A|-|B|-", {"A", "B"}},
    {"menu_text_with_a_submenu",
     [](PopupClass& p) { p.AddMenu("A|B{C|D}|E", 0); },
     {"A@1", "B@1", "C@2", "D@2", "E@1"}, "|A|B{C|D}E", {"A", "C", "D", "E"}},
    {"marks_are_taken_off_the_text",
     [](PopupClass& p) { p.AddItem("~+Save"); p.AddItem("-Wrap"); },
     {"~+Save@1", "-Wrap@1"}, "|~+Save|-Wrap", {"Save", "Wrap"}},
    {"a_menu_inserted_from_a_position_takes_the_depth_before_it",
     [](PopupClass& p) { p.AddMenu("A|B{C}|D", 0); p.AddMenu("X|Y", 4); },
     {"A@1", "B@1", "C@2", "X@2", "Y@2", "D@1"}, "|A|B{C|X|Y}D", {"A", "C", "X", "Y", "D"}},
    {"sub_menu_after_a_named_item",
     [](PopupClass& p) { p.AddMenu("Open|Close", 0); p.AddSubMenu("Sort ", "By name|By date ", "Open"); },
     {"Open@1", "Sort@1", "Byname@2", "Bydate@2", "Close@1"}, "|Open|Sort{By name|By date}Close",
     {"Open", "Byname", "Bydate", "Close"}},
    {"item_after_a_name_and_after_no_name",
     [](PopupClass& p) { p.AddMenu("A|B", 0); p.AddItem("Mid", "Mid", "A", 0); p.AddItem("Last", "Last", "Nope", 0); },
     {"A@1", "Mid@1", "B@1", "Last@1"}, "|A|Mid|B|Last", {"A", "Mid", "B", "Last"}},
    {"two_levels_closed_at_once_and_at_the_end",
     [](PopupClass& p) { p.AddMenu("A{B{C}}D{E{F", 0); },
     {"A@1", "B@2", "C@3", "D@1", "E@2", "F@3"}, "|A{B{C}}D{E{F}}", {"C", "F"}},
    {"deleted_item_and_state_changes_by_name",
     [](PopupClass& p) {
       p.AddMenu("A|B|-|C", 0);
       p.DeleteItem("B");
       p.SetItemEnable("A", 0);
       p.SetItemEnable("Separator", 0);
       p.SetItemCheck("C", 1);
       p.SetItemEnable("Nobody", 0);
     },
     {"~A@1", "Separator@1", "+C@1"}, "|~A|-|+C", {"A", "C"}},
};

class PopupBuilding : public ::testing::TestWithParam<BuildCase> {};

TEST_P(PopupBuilding, ItemsMenuTextAndNumbersAgreeWithTheRuntime) {
  const BuildCase& c = GetParam();
  PopupClass popup;
  popup.Init();
  c.build(popup);
  EXPECT_EQ(Items(popup), c.items);
  const std::string text = popup.GetMenuText();
  EXPECT_EQ(text, c.menuText);
  Strings names;
  for (Long n = 1; !popup.GetName(n).empty(); ++n) names.push_back(popup.GetName(n));
  EXPECT_EQ(names, c.numbered);
  EXPECT_EQ(popup.GetItems(1), static_cast<Long>(c.numbered.size()));

  // The runtime must read the text as we number it: entry n shows the text of item GetName(n).
  const auto menu = rt::ParsePopupMenu(text);
  ASSERT_TRUE(menu) << text;
  for (Long n = 1; n <= static_cast<Long>(names.size()); ++n) {
    const rt::ui::PopupEntry* entry = rt::FindPopupEntry(*menu, n);
    ASSERT_NE(entry, nullptr) << n;
    ASSERT_TRUE(popup.LocateName(names[n - 1]));
    EXPECT_EQ(entry->text, popup.Loaded()->Text) << n;
  }
  EXPECT_EQ(rt::FindPopupEntry(*menu, static_cast<Long>(names.size()) + 1), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Cases, PopupBuilding, ::testing::ValuesIn(kBuildCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PopupMisuse, BracesInAnItemAnUnopenedBraceAndA256thItemAreReportedAndTheRestGoesOn) {
  rt::testing::ClearAssertionMessages();
  PopupClass popup;
  popup.Init();
  popup.AddItem("Bad{", "Bad", {}, 0);
  EXPECT_EQ(popup.GetMenuText(), "|Bad") << "the item goes in without the brace";
  popup.AddMenu("A}|B", 0);
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 2u);
  EXPECT_EQ(Items(popup), (Strings{"A@1", "B@1"}));
  for (int i = 0; i < 254; ++i) popup.AddItem("Item");
  EXPECT_EQ(popup.GetItems(), 255) << "a menu holds at most 255 items";
  EXPECT_EQ(rt::testing::AssertionMessages().size(), 3u);
  rt::testing::ClearAssertionMessages();
}

// ---- Choosing through the Robot ----

enum : Long { kInsert = 1, kDelete, kClose, kMenu, kList };

rt::WindowDef TestWindow() {
  rt::WindowDef def;
  def.title = "Popup test";
  def.Add(rt::ControlDef::Button("&Insert").Icon("insert.ico"));
  def.Add(rt::ControlDef::Button("&Delete").Disabled());
  def.Add(rt::ControlDef::Button("&Close").StdClose());
  def.Add(rt::ControlDef::Button("&Menu"));
  def.Add(rt::ControlDef::List("40L(2)|M~Name~"));
  return def;
}

void Build(PopupClass& p) {
  p.AddItemMimic("Insert", kInsert, "!");
  p.AddItemMimic("Delete", kDelete);
  p.AddItem("-");
  p.AddItemEvent("&Refresh", rt::EVENT_ScrollTop, kList);
  p.AddSubMenu("Sort", "+By name|-By date", "Separator");
  p.AddItem("~Never");
  p.AddItemMimic("Close", kClose, "Close the window");
}

class PopupChoosing : public rt::ui::RobotFixture {
 protected:
  // Opens the window; pressing Menu asks the popup and records the name Ask returned.
  void Open() {
    Run(TestWindow(), events_, [this, popup = std::make_shared<PopupClass>()](rt::Window& w) {
      if (w.CurrentEvent().code == rt::EVENT_OpenWindow) {
        popup->Init();
        Build(*popup);
      }
      if (w.CurrentEvent().code == rt::EVENT_Accepted && w.CurrentEvent().control == kMenu) {
        const std::string chosen = popup->Ask();
        std::lock_guard lock(mutex_);
        chosen_.push_back(chosen + "#" + std::to_string(popup->LastNumberSelection));
      }
    });
    window_ = Find("Popup test");
    events_.Take();
  }
  // Presses Menu and waits for the menu; Choose chooses `entry` ("" dismisses) and waits for the
  // window's thread to finish what the choice posted.
  rt::ui::ShownPopup Show() {
    EXPECT_TRUE(robot_.Press(window_, kMenu));
    auto shown = robot_.WaitForPopup(kWait);
    EXPECT_TRUE(shown);
    return shown.value_or(rt::ui::ShownPopup{});
  }
  void Choose(const rt::ui::ShownPopup& shown, std::string_view entry, bool closes = false) {
    if (entry.empty()) robot_.DismissPopup(shown);
    else EXPECT_TRUE(robot_.ChoosePopup(shown, entry));
    if (closes) EXPECT_TRUE(robot_.WaitForWindowClosed(window_, kWait));
    else robot_.WaitForWindow("Popup test", kWait);
  }
  Strings Chosen() {
    std::lock_guard lock(mutex_);
    return std::exchange(chosen_, {});
  }

  rt::ui::Recorder events_;
  rt::ui::ShownWindow window_;
  std::mutex mutex_;
  Strings chosen_;
};

TEST_F(PopupChoosing, MenuShowsMimickedStateAndEachItemKindDoesItsAction) {
  Open();
  const rt::ui::ShownPopup shown = Show();
  const auto& m = shown.menu;
  ASSERT_EQ(m.size(), 7u);
  EXPECT_EQ(m[0].text + "|" + m[1].text + "|" + m[4].text + "|" + m[6].text, "&Insert|&Delete|&Refresh|Close the window")
      << "'!' and an empty text take the button's text";
  EXPECT_TRUE(!m[0].disabled && m[1].disabled && m[5].disabled) << "Delete follows its disabled button";
  EXPECT_TRUE(m[2].separator);
  ASSERT_EQ(m[3].children.size(), 2u) << "the sub-menu follows the separator";
  EXPECT_TRUE(m[3].children[0].checked && m[3].children[1].unchecked);
  Choose(shown, "");
  EXPECT_EQ(Chosen(), (Strings{"#0"}));
  EXPECT_EQ(events_.Take(), (Strings{"Selected:4", "Accepted:4"})) << "a dismissed menu posts nothing";
  // events: after Menu's own Accepted: a mimicked button pressed, an item's event at its control
  const struct { const char* entry; const char* chosen; Strings events; } steps[] = {
      {"Insert", "Insert#1", {"Accepted:1"}}, {"Refresh", "Refresh#5", {"ScrollTop:5"}}, {"By date", "Bydate#4", {}}};
  for (const auto& step : steps) {
    Choose(Show(), step.entry);
    EXPECT_EQ(Chosen(), Strings{step.chosen});
    Strings events{"Accepted:4"};
    events.insert(events.end(), step.events.begin(), step.events.end());
    EXPECT_EQ(events_.Take(), events) << step.entry;
  }
  Choose(Show(), "Close the window", true);
  EXPECT_FALSE(robot_.IsOpen(window_)) << "pressing the mimicked close button closes the window";
}

}  // namespace

// ---- The toolbox ----

class PopupToolbox : public PopupChoosing {
 protected:
  // The owner window: Menu opens the toolbox, Insert enables Delete and refreshes the toolbox.
  void OpenOwner() {
    rt::Start([this] {
      rt::Window window(TestWindow());
      window.Open();
      PopupClass popup;
      popup.Init();
      Build(popup);
      int inserts = 0;
      while (window.Accept()) {
        const rt::EventRecord& e = window.CurrentEvent();
        events_.Add(e);
        if (e.code == rt::EVENT_Accepted && e.control == kMenu) popup.Toolbox("Tools");
        if (e.code == rt::EVENT_Accepted && e.control == kInsert) {
          popup.SetItemEnable("Delete", 1);
          if (++inserts == 2)  // the second Insert adds more items than the toolbox has buttons
            for (int n = 1; n <= 12; ++n) popup.AddItemEvent("Added " + std::to_string(n), rt::EVENT_ScrollTop, kList);
          popup.ResetToolbox();
        }
      }
    });
    window_ = Find("Popup test");
  }
  rt::ui::ShownWindow OpenToolbox() {
    EXPECT_TRUE(robot_.Press(window_, kMenu));
    return Find("Tools");
  }
  std::string P(const rt::ui::ShownWindow& w, Long c, Long p) { return robot_.Prop(w, c, p); }
  // A post from the toolbox thread does not make the owner busy until it wakes, so the Robot
  // cannot wait for the owner to settle; wait for what it recorded instead.
  Strings TakeEvents(std::size_t count) {
    Strings seen;
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (seen.size() < count && std::chrono::steady_clock::now() < deadline) {
      for (std::string& e : events_.Take()) seen.push_back(std::move(e));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return seen;
  }
};

// Buttons for the toolbox items, pressed like menu choices; items added while it is open get
// buttons of their own; closed by the user it opens again, and its Close presses the owner's.
TEST_F(PopupToolbox, ButtonsForToolboxItemsFollowTheListAndActLikeMenuChoices) {
  OpenOwner();
  const rt::ui::ShownWindow tools = OpenToolbox();
  // Insert (an icon, its tip the text without '&'), Delete (disabled as its button), Refresh and
  // Close, left to right at their own widths; the sub-menu and Never have no button.
  Strings buttons;
  for (Long b = 1; b <= 5; ++b)
    buttons.push_back(P(tools, b, rt::PROP_Text) + P(tools, b, rt::PROP_Icon) + P(tools, b, rt::PROP_Tip) + " " +
                      P(tools, b, rt::PROP_Disable) + P(tools, b, rt::PROP_Visible) + " " + P(tools, b, rt::PROP_XPos) + "+" +
                      P(tools, b, rt::PROP_Width));
  EXPECT_EQ(buttons, (Strings{"~insert.icoInsert 1 0+24", "&Delete 11 24+48", "&Refresh 1 72+54", "Close the window 1 126+108", "  0+0"}));
  EXPECT_EQ(P(tools, 0, rt::PROP_Width), "234");
  events_.Take();

  ASSERT_TRUE(robot_.Press(tools, 1));
  EXPECT_TRUE(robot_.WaitForProp(tools, 2, rt::PROP_Disable, "", kWait))
      << "the owner pressed Insert, enabled Delete (an explicit state wins over the button's) and laid the toolbox out again";
  ASSERT_TRUE(robot_.Press(tools, 3));
  EXPECT_EQ(TakeEvents(2), (Strings{"Accepted:1", "ScrollTop:5"}));
  EXPECT_TRUE(robot_.Press(window_, kMenu));
  EXPECT_TRUE(robot_.IsOpen(tools)) << "a second toolbox does not open while one is";

  rt::testing::ClearAssertionMessages();
  ASSERT_TRUE(robot_.Press(tools, 1));
  bool shown = false;
  for (const auto deadline = std::chrono::steady_clock::now() + kWait; !shown && std::chrono::steady_clock::now() < deadline;)
    for (Long b = 1; b <= 40 && !shown; ++b) shown = P(tools, b, rt::PROP_Text) == "Added 12";
  EXPECT_TRUE(shown) << "the last added item has a button";
  EXPECT_TRUE(rt::testing::AssertionMessages().empty());

  ASSERT_TRUE(robot_.CloseWindow(tools));
  ASSERT_TRUE(robot_.WaitForWindowClosed(tools, kWait));
  const rt::ui::ShownWindow second = OpenToolbox();
  EXPECT_NE(second.id, tools.id);
  ASSERT_TRUE(robot_.Press(second, 4));
  EXPECT_TRUE(robot_.WaitForWindowClosed(window_, kWait)) << "its Close button presses the owner's";
  EXPECT_TRUE(robot_.WaitForWindowClosed(second, kWait)) << "closing the owner closes its toolbox";
}
