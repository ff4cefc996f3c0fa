// The error history window on the Qt backend (offscreen platform), as a user meets it: three
// earlier messages recorded with history switched on, then the window asked for; the real list
// and buttons read back from the widgets, the caller's answer clicked with Qt's test tools, and
// the window rendered to a picture (docs/demo_history.png when QUIBBET_DOCS_PICTURES names a
// folder).

#include <gtest/gtest.h>

#include <QImage>
#include <QWidget>

#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "framework/history/history_error_class.h"
#include "framework/history/msg_box_class.h"
#include "runtime/core/text.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"
#include "tests/runtime/ui/qt_user.h"

namespace {

using rt::Long;
using rt::ui::QtUser;
using rt::ui::WindowId;
using Strings = std::vector<std::string>;

int gArgc = 1;
char gProgram[] = "test_fw_history_qt";
char* gArgv[] = {gProgram, nullptr};

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForHistoryQtTests"};

constexpr Long kEarlier[] = {25, 14, 41};
const Strings kEarlierTexts = {"There are no records available to process.",
                               "This form cannot be used to delete a record",
                               "This form cannot be used to update a record"};

Long ViewIt(HistoryErrorClass& e) {
  e.ViewHistory();
  return -1;  // ViewHistory answers nothing
}
// "Confirm Delete" (11) at the view level Ask: the window instead of a message box, the
// question the newest row, the answer the level.
Long ConfirmDelete(HistoryErrorClass& e) { return e.Throw(11); }

struct QtCase {
  const char* name;
  Long viewLevel;
  Long (*ask)(HistoryErrorClass&);
  const char* title;
  std::size_t rows;
  Strings shown;
  const char* press;
  Long result;
  const char* picture;  // saved under this name, nullptr: none
};

void PrintTo(const QtCase& c, std::ostream* os) { *os << c.name; }

const QtCase kCases[] = {
    {"1_ViewHistory_Ok", Level::Fatal, ViewIt, "Errors History", 3, {"&Help", "O&k"}, "O&k", -1, "demo_history.png"},
    {"2_ConfirmDelete_No", Level::Ask, ConfirmDelete, "Confirm Delete", 4, {"&No", "&Yes"}, "&No", Level::Cancel, nullptr},
    {"3_ConfirmDelete_Yes", Level::Ask, ConfirmDelete, "Confirm Delete", 4, {"&No", "&Yes"}, "&Yes", Level::Ok, nullptr},
};

class HistoryOnQt : public ::testing::TestWithParam<QtCase> {};

TEST_P(HistoryOnQt, ShowsTheEarlierMessagesAndAnswersTheClickedButton) {
  const QtCase& c = GetParam();
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeQtBackend(gArgc, gArgv);
  ASSERT_TRUE(backend->Start());
  rt::ui::InstallBackend(backend.get());
  QtUser user;
  Long answer = -2;
  const auto program = [&] {
    HistoryErrorClass errors;
    errors.Init(gStatus);
    errors.SetHistoryThreshold(5);
    errors.SetHistoryViewLevel(c.viewLevel);
    for (Long id : kEarlier) errors.Throw(id);
    answer = c.ask(errors);
  };

  const int exitCode = rt::ui::PlayProgram<QtUser>(*backend, user, program, [&](QtUser& u) {
    const WindowId window = u.WaitForWindow(c.title);
    ASSERT_NE(window, 0u);
    std::vector<Strings> rows;
    for (const Strings& row : u.Rows(window, ErrorWindow::History)) {
      Strings& cells = rows.emplace_back();
      for (const std::string& cell : row) cells.emplace_back(rt::Clip(cell));
    }
    ASSERT_EQ(rows.size(), c.rows);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(rows[i].at(0), kEarlierTexts[i]) << "oldest first";

    Strings shown;
    Long pressAt = 0;
    for (Long b = ErrorWindow::FirstButton; b < ErrorWindow::FirstButton + ErrorWindow::ButtonCount; ++b) {
      if (!u.IsShown(window, b)) continue;
      shown.push_back(u.Text(window, b));
      if (shown.back() == c.press) pressAt = b;
    }
    EXPECT_EQ(shown, c.shown) << "the caller's buttons, highest value first";
    EXPECT_EQ(u.Focus(window), ErrorWindow::FirstButton + 1) << "the default button has the focus";

    if (c.picture) {
      QImage picture;
      u.OnQt([&] { picture = rt::ui::OuterWidget(window)->window()->grab().toImage(); });
      EXPECT_GT(rt::ui::ColourCount(picture), 8u) << "the window is drawn";
      EXPECT_TRUE(picture.save(QString::fromStdString(::testing::TempDir()) + c.picture));
      if (const char* docs = std::getenv("QUIBBET_DOCS_PICTURES")) picture.save(QString(docs) + "/" + c.picture);
    }

    ASSERT_NE(pressAt, 0) << c.press << " is not shown";
    u.Click(window, pressAt);
    EXPECT_TRUE(u.WaitForWindowClosed(window));
  });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(answer, c.result);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();
}

INSTANTIATE_TEST_SUITE_P(Windows, HistoryOnQt, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
