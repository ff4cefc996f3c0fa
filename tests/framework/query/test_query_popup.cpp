// The saved queries as a submenu of a window's popup, chosen by the Robot on the headless
// backend: the items SetQuickPopup adds, the post a query item makes to the query control, and
// the disabled "Empty" item when nothing is saved.

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "framework/popup/popup_class.h"
#include "framework/query/query_class.h"
#include "tests/runtime/ui/robot_fixture.h"
#include "tests/support/files.h"

namespace {

using rt::Long;
using rt::ui::Strings;

enum : Long { kQuery = 1, kMenu, kList };

class PriceQuery : public QueryClass {
 public:
  explicit PriceQuery(INIClass& ini) {
    Init("Prices", &ini, nullptr);
    AddItem("ITM:PRICE", "Price", "N9");
    AddItem("ITM:NAME", "Name", "S20");
  }
};

rt::WindowDef QueryWindow() {
  rt::WindowDef def;
  def.title = "Query test";
  def.Add(rt::ControlDef::Button("&Query"));
  def.Add(rt::ControlDef::Button("&Menu"));
  def.Add(rt::ControlDef::List("40L(2)|M~Name~"));
  return def;
}

class QuickPopup : public rt::ui::RobotFixture {
 protected:
  void SetUp() override {
    RobotFixture::SetUp();
    ini_.Init((temp_ / "Quibbet_demo.INI").string());
  }
  void TearDown() override {
    RobotFixture::TearDown();
    ini_.Kill();
  }
  // Opens the window: its popup holds an item of its own and the quick items; Menu asks the
  // popup; a post to Query is taken as the browse takes it, the filter recorded.
  void Open() {
    Run(QueryWindow(), events_, [this, popup = std::make_shared<PopupClass>(),
                                 query = std::make_shared<PriceQuery>(ini_)](rt::Window& w) {
      const rt::EventRecord& e = w.CurrentEvent();
      if (e.code == rt::EVENT_OpenWindow) {
        popup->Init();
        popup->AddItem("&Insert");
        query->SetQuickPopup(*popup, kQuery);
      }
      if (e.code == rt::EVENT_Accepted && e.control == kMenu) popup->Ask();
      if (e.code == rt::EVENT_NewSelection && e.control == kQuery && query->Take(popup.get())) {
        Note("taken " + query->LastSelection() + ": " + query->GetFilter());
        query->SetQuickPopup(*popup, kQuery);
      }
    });
    window_ = Find("Query test");
    events_.Take();
  }
  rt::ui::ShownPopup Show() {
    EXPECT_TRUE(robot_.Press(window_, kMenu));
    auto shown = robot_.WaitForPopup(rt::ui::kWait);
    EXPECT_TRUE(shown);
    return shown.value_or(rt::ui::ShownPopup{});
  }
  void Choose(const rt::ui::ShownPopup& shown, std::string_view entry) {
    EXPECT_TRUE(robot_.ChoosePopup(shown, entry));
    robot_.WaitForWindow("Query test", rt::ui::kWait);
  }
  static Strings SubMenu(const rt::ui::ShownPopup& shown) {
    Strings out;
    for (const rt::ui::PopupEntry& entry : shown.menu)
      for (const rt::ui::PopupEntry& child : entry.children)
        out.push_back(child.text + (child.disabled ? " (disabled)" : ""));
    return out;
  }
  void Note(std::string text) {
    std::lock_guard lock(mutex_);
    notes_.push_back(std::move(text));
  }
  Strings Notes() {
    std::lock_guard lock(mutex_);
    return std::exchange(notes_, {});
  }

  TempDir temp_;
  INIClass ini_;
  rt::ui::Recorder events_;
  rt::ui::ShownWindow window_;
  std::mutex mutex_;
  Strings notes_;
};

// What Take does with the choice is the query's own (tested without a window); here only what
// the menu adds: the items and the post to the query control.
TEST_F(QuickPopup, ChoosingASavedQueryPostsToTheQueryControl) {
  {
    PriceQuery saving(ini_);
    saving.SetValues("ITM:PRICE", "<10");
    saving.Save("Cheap");
    saving.ClearQuery();
    saving.SetValues("ITM:NAME", "Red*");
    saving.Save("Red ones");
  }
  Open();
  rt::ui::ShownPopup shown = Show();
  ASSERT_EQ(shown.menu.size(), 3u);
  EXPECT_EQ(shown.menu[0].text, "&Insert");
  EXPECT_TRUE(shown.menu[1].separator);
  EXPECT_EQ(shown.menu[2].text, "Saved &Queries");
  EXPECT_EQ(SubMenu(shown), (Strings{"Cheap", "Red ones", "-", "C&lear"}));
  Choose(shown, "Red ones");
  EXPECT_EQ(events_.Take(), (Strings{"Selected:2", "Accepted:2", "NewSelection:1"})) << "a query item posts to the query control";
  EXPECT_EQ(Notes(), (Strings{"taken Redones: SUB(ITM:NAME,1,3) = 'Red'"}));
  shown = Show();
  EXPECT_EQ(SubMenu(shown), (Strings{"Cheap", "Red ones", "-", "C&lear"})) << "built again, not added twice";
  robot_.DismissPopup(shown);
  robot_.WaitForWindow("Query test", rt::ui::kWait);
  robot_.CloseWindow(window_);
}

TEST_F(QuickPopup, NothingSavedShowsADisabledEmptyItem) {
  Open();
  const rt::ui::ShownPopup shown = Show();
  EXPECT_EQ(SubMenu(shown), (Strings{"Empty (disabled)", "-", "C&lear"}));
  robot_.DismissPopup(shown);
  robot_.WaitForWindow("Query test", rt::ui::kWait);
  EXPECT_TRUE(Notes().empty());
  robot_.CloseWindow(window_);
}

}  // namespace
