// The browse on the Qt backend (offscreen platform): only what the Qt widgets can get wrong,
// by real key presses, clicks and the wheel from a user thread while the browse runs on its
// program thread. End and Home pressed on the table itself and the wheel; a cell edited in
// place left with Tab, saved with Enter, another row given up with Esc. Paging, the popup, the
// Query button and the edit-in-place settings are the headless tests' tables. Pictures:
// docs/browse_offscreen.png and docs/eip_offscreen.png.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTableView>
#include <QTest>
#include <QWheelEvent>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "framework/eip/browse_eip_manager.h"
#include "runtime/ui/qt/qt_look.h"
#include "tests/framework/browse/browse_world.h"
#include "tests/support/bw_qt.h"
#include "tests/support/files.h"

namespace browsetest {
namespace {

using rt::Long;
using rt::ui::QtUser;
using rt::ui::WindowId;
using Page = std::vector<std::pair<std::string, std::string>>;

// The shown rows as (id, name) texts.
Page Shown(QtUser& user, WindowId window) {
  Page page;
  for (const auto& row : user.Rows(window, kList))
    if (row.size() >= 2) page.emplace_back(Trim(row[0]), Trim(row[1]));
  return page;
}

// The ids (as the list writes them) of the page of 200 items from index `from`.
std::vector<std::string> Expected(std::size_t from) {
  const std::vector<ITM_Record> all = Ordered(true, 200, Order::ById);
  std::vector<std::string> ids;
  for (std::size_t i = from; i < from + kPageRows; ++i) {
    std::string id = std::to_string(all[i].ID);
    if (id.size() > 3) id.insert(id.size() - 3, ",");
    ids.push_back(id);
  }
  return ids;
}

// Runs `script` on the browse of `count` items; `setUp` as BrowseSpec's.
void PlayBrowse(const std::string& directory, int count, std::function<void(World&, BrowseClass&)> setUp,
                const std::function<void(QtUser&, WindowId)>& script) {
  BuildItems(directory, true, count);
  rt::ui::Recorder log;
  Outcome outcome;
  const BrowseSpec spec{.directory = directory, .setUp = std::move(setUp)};
  bwtest::PlayOnQt([&] { RunBrowse(spec, log, outcome); }, [&](QtUser& u) {
    const WindowId window = u.WaitForWindow("Browse Items");
    ASSERT_NE(window, 0u);
    script(u, window);
  });
}

TEST(BrowseOnQt, ScrollsByTheTablesKeysAndTheWheel) {
  TempDir dir;
  PlayBrowse(dir.Path().string(), 200, {}, [](QtUser& u, WindowId window) {
    const auto ids = [&] {
      std::vector<std::string> first;
      for (const auto& row : Shown(u, window)) first.push_back(row.first);
      return first;
    };
    EXPECT_EQ(ids(), Expected(0));
    bwtest::KeepPicture(u, window, "browse_offscreen.png");
    const auto onTable = [&](const std::function<void(QTableView*)>& act) {
      u.OnQt([&] {
        QWidget* control = rt::ui::OuterWidget(window)->findChild<QWidget*>(rt::ui::qt::ControlName(kList));
        QTableView* table = control ? control->findChild<QTableView*>() : nullptr;
        ASSERT_NE(table, nullptr);
        act(table);
      });
    };
    onTable([](QTableView* table) { QTest::keyClick(table, Qt::Key_End); });
    u.Poll([&] { return ids() == Expected(200 - kPageRows); }, "End went to the last page");
    onTable([](QTableView* table) { QTest::keyClick(table, Qt::Key_Home); });
    u.Poll([&] { return ids() == Expected(0); }, "Home went back to the first page");
    // The wheel scrolls a row past the last one shown.
    u.ClickRow(window, kList, kPageRows, false);
    onTable([](QTableView* table) {
      QWheelEvent wheel(QPointF(5, 5), table->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(table->viewport(), &wheel);
    });
    u.Poll([&] { return ids() == Expected(1); }, "the wheel scrolled a row");
  });
}

TEST(EditInPlaceOnQt, TabEnterAndEscapeByRealKeyPresses) {
  TempDir dir;
  const std::string name40 = MakeItem(4, 40).NAME.Str();
  PlayBrowse(dir.Path().string(), 40, [](World&, BrowseClass& browse) { UseEditInPlace(browse); },
             [&](QtUser& u, WindowId window) {
    u.ClickRow(window, kList, 3, false);
    u.Click(window, kChange);
    const Long idCell = u.Focus(window);
    ASSERT_GE(idCell, kFirstMadeControl) << "the first cell is edited";
    EXPECT_EQ(Trim(u.Text(window, idCell)), "30");
    u.Type(window, idCell, "35");
    u.PressKey(window, idCell, rt::KEY_Tab);
    const Long nameCell = u.Focus(window);
    ASSERT_GT(nameCell, idCell) << "Tab went on to the name";
    EXPECT_EQ(Trim(u.Text(window, nameCell)), MakeItem(3, 40).NAME.Str());
    EXPECT_EQ(Shown(u, window).at(2).first, "35") << "the cell left shows what was typed";
    bwtest::KeepPicture(u, window, "eip_offscreen.png");
    u.Type(window, nameCell, "Renamed");
    u.PressKey(window, nameCell, rt::KEY_Enter);
    u.Poll([&] { return u.Focus(window) < kFirstMadeControl; }, "Enter ended the row");
    u.Poll([&] { return Shown(u, window).size() > 2 && Shown(u, window)[2] == Page::value_type("35", "Renamed"); },
           "the saved row is shown");
    // Esc, pressed on the entry itself, gives another row's edit up.
    u.ClickRow(window, kList, 4, false);
    u.Click(window, kChange);
    ASSERT_GE(u.Focus(window), kFirstMadeControl);
    u.PressKey(window, u.Focus(window), rt::KEY_Tab);
    const Long name = u.Focus(window);
    u.Type(window, name, "Gone");
    u.OnQt([&] {
      QLineEdit* entry = rt::ui::OuterWidget(window)->findChild<QLineEdit*>(rt::ui::qt::ControlName(name));
      ASSERT_NE(entry, nullptr);
      QTest::keyClick(entry, Qt::Key_Escape);
    });
    u.Poll([&] { return u.Focus(window) < kFirstMadeControl; }, "Esc ended the row");
    u.Poll([&] { return Shown(u, window).size() > 3 && Shown(u, window)[3] == Page::value_type("40", name40); },
           "the given-up row shows the record again");
    u.Click(window, kClose);
  });
  std::map<Long, std::string> expected;
  for (int n = 1; n <= 40; ++n) expected[n * 10] = MakeItem(n, 40).NAME.Str();
  expected.erase(30);
  expected[35] = "Renamed";
  EXPECT_EQ(ItemsInFile(dir.Path().string()), expected) << "only the saved row changed";
}

}  // namespace
}  // namespace browsetest
