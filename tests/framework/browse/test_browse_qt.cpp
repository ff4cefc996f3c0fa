// The browse on the Qt backend (offscreen platform): only what the Qt list can get wrong. The
// list rendered to a picture (docs/browse_offscreen.png when QUIBBET_DOCS_PICTURES names a
// folder), End and Home pressed on the table itself and the mouse wheel; paging, the popup and
// the Query button are the headless tests' tables. The user acts from a thread of its own.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QTest>
#include <QTableView>
#include <QWheelEvent>

#include <cstdlib>
#include <string>
#include <vector>

#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"
#include "runtime/ui/qt/qt_look.h"
#include "tests/framework/browse/browse_world.h"
#include "tests/runtime/ui/qt_user.h"
#include "tests/support/files.h"

namespace browsetest {
namespace {

using rt::Long;
using rt::ui::QtUser;
using rt::ui::WindowId;

int gArgc = 1;
char gProgram[] = "test_fw_browse_qt";
char* gArgv[] = {gProgram, nullptr};
constexpr int kItems = 200;

// The list's table (inside the control's own widget), null when not found.
QTableView* ListOf(WindowId window) {
  QWidget* outer = rt::ui::OuterWidget(window);
  QWidget* control = outer ? outer->findChild<QWidget*>(rt::ui::qt::ControlName(kList)) : nullptr;
  return control ? control->findChild<QTableView*>() : nullptr;
}

// The ids in the first column of the shown rows.
std::vector<std::string> FirstColumn(QtUser& user, WindowId window) {
  std::vector<std::string> ids;
  for (const auto& row : user.Rows(window, kList)) {
    std::string id = row.empty() ? "" : row.front();
    id.erase(0, id.find_first_not_of(' '));
    ids.push_back(id);
  }
  return ids;
}

std::vector<std::string> Expected(std::size_t from) {
  const std::vector<ITM_Record> all = Ordered(true, kItems, Order::ById);
  std::vector<std::string> ids;
  for (std::size_t i = from; i < from + kPageRows; ++i) {
    std::string id = std::to_string(all[i].ID);
    if (id.size() > 3) id.insert(id.size() - 3, ",");
    ids.push_back(id);
  }
  return ids;
}

TEST(BrowseOnQt, RendersAndScrollsByTheTablesKeysAndTheWheel) {
  TempDir dir;
  BuildItems(dir.Path().string(), true, kItems);
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeQtBackend(gArgc, gArgv);
  ASSERT_TRUE(backend->Start());
  rt::ui::InstallBackend(backend.get());
  QtUser user;
  rt::ui::Recorder log;
  Outcome outcome;
  BrowseSpec spec;
  spec.directory = dir.Path().string();

  const int exitCode = rt::ui::PlayProgram<QtUser>(*backend, user, [&] { RunBrowse(spec, log, outcome); }, [&](QtUser& u) {
    const WindowId window = u.WaitForWindow("Browse Items");
    ASSERT_NE(window, 0u);
    EXPECT_EQ(FirstColumn(u, window), Expected(0));

    QImage picture;
    u.OnQt([&] { picture = rt::ui::OuterWidget(window)->grab().toImage(); });
    EXPECT_GT(rt::ui::ColourCount(picture), 8u) << "the list is drawn";
    EXPECT_TRUE(picture.save(QString::fromStdString(::testing::TempDir()) + "browse_offscreen.png"));
    if (const char* docs = std::getenv("QUIBBET_DOCS_PICTURES")) picture.save(QString(docs) + "/browse_offscreen.png");

    const auto press = [&](Qt::Key key) {
      u.OnQt([&] {
        QTableView* table = ListOf(window);
        ASSERT_NE(table, nullptr);
        QTest::keyClick(table, key);
      });
    };
    press(Qt::Key_End);
    u.Poll([&] { return FirstColumn(u, window) == Expected(kItems - kPageRows); }, "End went to the last page");
    press(Qt::Key_Home);
    u.Poll([&] { return FirstColumn(u, window) == Expected(0); }, "Home went back to the first page");

    // The wheel scrolls a row past the last one shown.
    u.ClickRow(window, kList, kPageRows, false);
    u.OnQt([&] {
      QTableView* table = ListOf(window);
      ASSERT_NE(table, nullptr);
      QWheelEvent wheel(QPointF(5, 5), table->viewport()->mapToGlobal(QPointF(5, 5)), QPoint(), QPoint(0, -120),
                        Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
      QApplication::sendEvent(table->viewport(), &wheel);
    });
    u.Poll([&] { return FirstColumn(u, window) == Expected(1); }, "the wheel scrolled a row");
  });
  EXPECT_EQ(exitCode, 0);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();
}

}  // namespace
}  // namespace browsetest
