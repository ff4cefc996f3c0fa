// The error history window on the Qt backend (offscreen platform): only what the Qt widgets can
// get wrong. The earlier messages and the caller's buttons read back from the widgets, the
// window rendered to a picture (docs/demo_history.png when QUIBBET_DOCS_PICTURES names a
// folder), and a real click closing it; each way of asking is a row of the headless table.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/history/history_error_class.h"
#include "framework/history/msg_box_class.h"
#include "runtime/core/text.h"
#include "runtime/core/thread.h"
#include "tests/support/bw_qt.h"

namespace {

using rt::Long;
using rt::ui::QtUser;
using rt::ui::WindowId;
using Strings = std::vector<std::string>;

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForHistoryQtTests"};

TEST(HistoryOnQt, ShowsTheEarlierMessagesAndClosesOnAClick) {
  const auto program = [] {
    HistoryErrorClass errors;
    errors.Init(gStatus);
    errors.SetHistoryThreshold(5);
    errors.SetHistoryViewLevel(Level::Fatal);
    for (Long id : {25, 14, 41}) errors.Throw(id);
    errors.ViewHistory();
  };
  bwtest::PlayOnQt(program, [&](QtUser& u) {
    const WindowId window = u.WaitForWindow("Errors History");
    ASSERT_NE(window, 0u);
    const auto rows = u.Rows(window, ErrorWindow::History);
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rt::Clip(rows[0].at(0)), "There are no records available to process.") << "oldest first";
    Strings shown;
    for (Long b = ErrorWindow::FirstButton; b < ErrorWindow::FirstButton + ErrorWindow::ButtonCount; ++b)
      if (u.IsShown(window, b)) shown.push_back(u.Text(window, b));
    EXPECT_EQ(shown, (Strings{"&Help", "O&k"})) << "the caller's buttons, highest value first";
    EXPECT_EQ(u.Focus(window), ErrorWindow::FirstButton + 1) << "the default button has the focus";

    bwtest::KeepPicture(u, window, "demo_history.png");
    u.Click(window, ErrorWindow::FirstButton + 1);  // Ok
    EXPECT_TRUE(u.WaitForWindowClosed(window));
  });
}

}  // namespace
