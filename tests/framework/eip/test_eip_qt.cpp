// Edit in place on the Qt backend (offscreen platform) with real key presses from Qt's test
// tools, sent by a user thread while the browse runs on its program thread: a cell changed and
// left with Tab, the next one saved with Enter, another row's edit given up with Esc; then the
// file holds exactly the saved row. The picture of a row being edited goes to the test's
// temporary folder (and docs/eip_offscreen.png when QUIBBET_DOCS_PICTURES names a folder).

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "framework/eip/browse_eip_manager.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"
#include "runtime/ui/qt/qt_look.h"
#include "tests/framework/browse/browse_world.h"
#include "tests/framework/eip/eip_world.h"
#include "tests/runtime/ui/qt_user.h"
#include "tests/support/files.h"

namespace browsetest {
namespace {

using rt::Long;
using rt::ui::QtUser;
using rt::ui::WindowId;

int gArgc = 1;
char gProgram[] = "test_fw_eip_qt";
char* gArgv[] = {gProgram, nullptr};
constexpr int kItems = 40;

// The shown page as (id, name) text pairs.
std::vector<std::pair<std::string, std::string>> Page(QtUser& user, WindowId window) {
  std::vector<std::pair<std::string, std::string>> page;
  for (const auto& row : user.Rows(window, kList))
    if (row.size() >= 2) page.emplace_back(Trim(row[0]), Trim(row[1]));
  return page;
}

TEST(EditInPlaceOnQt, TabEnterAndEscapeByRealKeyPresses) {
  TempDir dir;
  BuildItems(dir.Path().string(), true, kItems);
  const std::string name30 = MakeItem(3, kItems).NAME.Str();
  const std::string name40 = MakeItem(4, kItems).NAME.Str();
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeQtBackend(gArgc, gArgv);
  ASSERT_TRUE(backend->Start());
  rt::ui::InstallBackend(backend.get());
  QtUser user;
  rt::ui::Recorder log;
  Outcome outcome;
  BrowseSpec spec;
  spec.directory = dir.Path().string();
  spec.setUp = [](World&, BrowseClass& browse) { UseEditInPlace(browse); };

  const int exitCode = rt::ui::PlayProgram<QtUser>(*backend, user, [&] { RunBrowse(spec, log, outcome); }, [&](QtUser& u) {
    const WindowId window = u.WaitForWindow("Browse Items");
    ASSERT_NE(window, 0u);
    u.ClickRow(window, kList, 3, false);
    u.Click(window, kChange);
    const Long idCell = u.Focus(window);
    ASSERT_GE(idCell, kFirstMadeControl) << "the first cell is edited";
    EXPECT_EQ(Trim(u.Text(window, idCell)), "30");

    u.Type(window, idCell, "35");
    u.PressKey(window, idCell, rt::KEY_Tab);
    const Long nameCell = u.Focus(window);
    ASSERT_GT(nameCell, idCell) << "Tab went on to the name";
    EXPECT_EQ(Trim(u.Text(window, nameCell)), name30);
    EXPECT_EQ(Page(u, window).at(2).first, "35") << "the cell left shows what was typed";

    QImage picture;
    u.OnQt([&] { picture = rt::ui::OuterWidget(window)->grab().toImage(); });
    EXPECT_TRUE(picture.save(QString::fromStdString(::testing::TempDir()) + "eip_offscreen.png"));
    if (const char* docs = std::getenv("QUIBBET_DOCS_PICTURES")) picture.save(QString(docs) + "/eip_offscreen.png");

    u.Type(window, nameCell, "Renamed");
    u.PressKey(window, nameCell, rt::KEY_Enter);
    u.Poll([&] { return u.Focus(window) < kFirstMadeControl; }, "Enter ended the row");
    u.Poll([&] {
      const auto page = Page(u, window);
      return page.size() > 2 && page[2] == std::make_pair(std::string("35"), std::string("Renamed"));
    }, "the saved row is shown");

    // Esc gives another row's edit up.
    u.ClickRow(window, kList, 4, false);
    u.Click(window, kChange);
    const Long again = u.Focus(window);
    ASSERT_GE(again, kFirstMadeControl);
    u.PressKey(window, again, rt::KEY_Tab);
    const Long name = u.Focus(window);
    u.Type(window, name, "Gone");
    u.OnQt([&] {
      QLineEdit* entry = rt::ui::OuterWidget(window)->findChild<QLineEdit*>(rt::ui::qt::ControlName(name));
      ASSERT_NE(entry, nullptr);
      QTest::keyClick(entry, Qt::Key_Escape);
    });
    u.Poll([&] { return u.Focus(window) < kFirstMadeControl; }, "Esc ended the row");
    u.Poll([&] {
      const auto page = Page(u, window);
      return page.size() > 3 && page[3] == std::make_pair(std::string("40"), name40);
    }, "the given-up row shows the record again");
    u.Click(window, kClose);
  });
  EXPECT_EQ(exitCode, 0);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();

  const std::map<Long, std::string> file = ItemsInFile(dir.Path().string());
  EXPECT_EQ(file.size(), static_cast<std::size_t>(kItems));
  EXPECT_EQ(file.count(30), 0u);
  EXPECT_EQ(file.count(35) ? file.at(35) : "", "Renamed");
  EXPECT_EQ(file.count(40) ? file.at(40) : "", name40);
}

}  // namespace
}  // namespace browsetest
