// The browse on the Qt backend (offscreen platform): only what the Qt widgets can get wrong, by
// real key presses from a user thread while the browse runs on its program thread. End pressed
// on the table itself; a cell edited in place left with Tab, saved with Enter, another
// row given up with Esc on the entry. Pictures: docs/browse_offscreen.png and docs/eip_offscreen.png.

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTableView>
#include <QTest>

#include <string>
#include <vector>

#include "framework/eip/browse_eip_manager.h"
#include "runtime/ui/qt/qt_look.h"
#include "tests/framework/browse/browse_world.h"
#include "tests/support/bw_qt.h"

namespace browsetest {
namespace {

using rt::Long;
using rt::ui::QtUser;
using rt::ui::WindowId;

std::vector<std::string> Column(QtUser& user, WindowId window, std::size_t column) {
  std::vector<std::string> cells;
  for (const auto& row : user.Rows(window, kList)) cells.push_back(Trim(row.at(column)));
  return cells;
}

// Runs `script` on the browse of `count` items; `setUp` as BrowseSpec's.
void PlayBrowse(int count, std::function<void(World&, BrowseClass&)> setUp, const std::function<void(QtUser&, WindowId)>& script) {
  TempDir dir;
  BuildItems(dir.Path().string(), true, count);
  rt::ui::Recorder log;
  Outcome outcome;
  const BrowseSpec spec{.directory = dir.Path().string(), .setUp = std::move(setUp)};
  bwtest::PlayOnQt([&] { RunBrowse(spec, log, outcome); }, [&](QtUser& u) {
    const WindowId window = u.WaitForWindow("Browse Items");
    ASSERT_NE(window, 0u);
    script(u, window);
  });
}

// Sends `key` to the widget of type W inside control `control`.
template <class W>
void KeyOn(QtUser& u, WindowId window, Long control, Qt::Key key) {
  u.OnQt([&] {
    QWidget* outer = rt::ui::OuterWidget(window)->findChild<QWidget*>(rt::ui::qt::ControlName(control));
    W* widget = outer ? (qobject_cast<W*>(outer) ? qobject_cast<W*>(outer) : outer->findChild<W*>()) : nullptr;
    ASSERT_NE(widget, nullptr);
    QTest::keyClick(widget, key);
  });
}

TEST(BrowseOnQt, EndOnTheTable) {
  PlayBrowse(200, {}, [](QtUser& u, WindowId window) {
    bwtest::KeepPicture(u, window, "browse_offscreen.png");
    KeyOn<QTableView>(u, window, kList, Qt::Key_End);
    u.Poll([&] { return Column(u, window, 0).back() == "2,000"; }, "End went to the last page");
  });
}

TEST(EditInPlaceOnQt, TabEnterAndEscapeByRealKeyPresses) {
  const std::string name40 = MakeItem(4, 40).NAME.Str();
  PlayBrowse(40, [](World&, BrowseClass& browse) { UseEditInPlace(browse); }, [&](QtUser& u, WindowId window) {
    u.ClickCell(window, kList, 3, 1, QtUser::Mouse::Left);
    u.Click(window, kChange);
    const Long idCell = u.Focus(window);
    ASSERT_GE(idCell, kFirstMadeControl) << "the first cell is edited";
    EXPECT_EQ(Trim(u.Text(window, idCell)), "30");
    u.Type(window, idCell, "35");
    u.PressKey(window, idCell, rt::KEY_Tab);
    const Long nameCell = u.Focus(window);
    ASSERT_GT(nameCell, idCell) << "Tab went on to the name";
    EXPECT_EQ(Column(u, window, 0).at(2), "35") << "the cell left shows what was typed";
    bwtest::KeepPicture(u, window, "eip_offscreen.png");
    u.Type(window, nameCell, "Renamed");
    u.PressKey(window, nameCell, rt::KEY_Enter);
    u.Poll([&] { return u.Focus(window) < kFirstMadeControl && Column(u, window, 1).at(2) == "Renamed"; },
           "Enter saved the row");
    // Esc, pressed on the entry itself, gives another row's edit up.
    u.ClickCell(window, kList, 4, 1, QtUser::Mouse::Left);
    u.Click(window, kChange);
    ASSERT_GE(u.Focus(window), kFirstMadeControl);
    u.PressKey(window, u.Focus(window), rt::KEY_Tab);
    u.Type(window, u.Focus(window), "Gone");
    KeyOn<QLineEdit>(u, window, u.Focus(window), Qt::Key_Escape);
    u.Poll([&] { return u.Focus(window) < kFirstMadeControl && Column(u, window, 1).at(3) == name40; },
           "Esc gave the row up");
    u.Click(window, kClose);
  });
}

}  // namespace
}  // namespace browsetest
