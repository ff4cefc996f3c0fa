#pragma once
// The framework's Qt tests (browse, edit in place, history): the Qt backend started on the
// offscreen platform for one program, a user acting from a thread of its own, and pictures of
// windows kept for the docs. Owns nothing beyond one call; the tests link rt_ui_qt and qt_user.

#include <gtest/gtest.h>

#include <QImage>
#include <QString>
#include <QWidget>

#include <cstdlib>
#include <functional>
#include <memory>

#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"
#include "tests/runtime/ui/qt_user.h"

namespace bwtest {

// Runs `program` on program thread 1 under the Qt backend while `script` plays the user.
inline void PlayOnQt(std::function<void()> program, const std::function<void(rt::ui::QtUser&)>& script) {
  static int argc = 1;
  static char name[] = "test_fw_qt";
  static char* argv[] = {name, nullptr};
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeQtBackend(argc, argv);
  ASSERT_TRUE(backend->Start());
  rt::ui::InstallBackend(backend.get());
  rt::ui::QtUser user;
  EXPECT_EQ(rt::ui::PlayProgram<rt::ui::QtUser>(*backend, user, std::move(program), script), 0);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();
}

// Renders the window and saves it as `file` in the test's temporary folder and, when
// QUIBBET_DOCS_PICTURES names a folder, there for the docs.
inline void KeepPicture(rt::ui::QtUser& user, rt::ui::WindowId window, const char* file) {
  QImage picture;
  user.OnQt([&] { picture = rt::ui::OuterWidget(window)->window()->grab().toImage(); });
  EXPECT_GT(rt::ui::ColourCount(picture), 8u) << "the window is drawn";
  EXPECT_TRUE(picture.save(QString::fromStdString(::testing::TempDir()) + file));
  if (const char* docs = std::getenv("QUIBBET_DOCS_PICTURES")) picture.save(QString(docs) + "/" + file);
}

}  // namespace bwtest
