// Qt backend on the offscreen platform: program threads raise dialogs through the runtime, the
// test finds the real widgets on the Qt thread, looks at them and clicks them.

#include "runtime/ui/qt/qt_backend.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <set>

#include "runtime/core/dialogs.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_dialogs.h"

namespace rt::ui {
namespace {

using namespace std::chrono_literals;

int gArgc = 1;
char gProgram[] = "rt_ui_qt_test";
char* gArgv[] = {gProgram, nullptr};

std::vector<QMessageBox*> OpenBoxes(const char* objectName) {
  std::vector<QMessageBox*> boxes;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(widget); box && box->isVisible() && box->objectName() == objectName)
      boxes.push_back(box);
  return boxes;
}

QMessageBox* OpenBoxWithText(const QString& text) {
  for (QMessageBox* box : OpenBoxes(qt::kMessageBoxName))
    if (box->text() == text) return box;
  return nullptr;
}

QPushButton* Button(QMessageBox& box, Long value) {
  return box.findChild<QPushButton*>(QString(qt::kMessageBoxButtonPrefix) + QString::number(value));
}

class QtBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_->Start());
    InstallBackend(backend_.get());
  }
  void TearDown() override {
    InstallBackend(nullptr);
    backend_->Stop();
  }

  // Plays the user while the program runs: `step` is called on the Qt thread every few
  // milliseconds until it returns true. Past the deadline the test fails and every open dialog
  // is closed without a choice, so the program can end.
  int RunProgramActing(std::function<void()> entry, std::function<bool()> step) {
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    bool done = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
      if (done) return;
      if (step()) {
        done = true;
      } else if (std::chrono::steady_clock::now() > deadline) {
        ADD_FAILURE() << "the expected dialogs did not appear in time";
        done = true;
        for (const char* name : {qt::kMessageBoxName, qt::kStopDialogName})
          for (QMessageBox* box : OpenBoxes(name)) box->done(QDialog::Rejected);
      }
    });
    poll.start();
    return backend_->RunProgram(std::move(entry));
  }

  std::unique_ptr<Backend> backend_ = MakeQtBackend(gArgc, gArgv);
};

TEST_F(QtBackendTest, MessageBoxShowsTheRequestAndReturnsTheClickedButton) {
  std::atomic<Long> result{-1};
  bool checked = false;
  const int exitCode = RunProgramActing(
      [&] { result = MessageBox("Save the changes?", "Editor", "ICON:Exclamation", "&Yes|&No|&Cancel", 2); },
      [&] {
        const std::vector<QMessageBox*> boxes = OpenBoxes(qt::kMessageBoxName);
        if (boxes.size() != 1) return false;
        QMessageBox& box = *boxes.front();
        EXPECT_EQ(box.windowTitle().toStdString(), "Editor");
        EXPECT_EQ(box.text().toStdString(), "Save the changes?");
        EXPECT_EQ(box.icon(), QMessageBox::Warning);
        QPushButton* yes = Button(box, 1);
        QPushButton* no = Button(box, 2);
        QPushButton* cancel = Button(box, 3);
        if (!yes || !no || !cancel) {
          ADD_FAILURE() << "a button is missing";
          return false;
        }
        EXPECT_EQ(yes->text().toStdString(), "&Yes");
        EXPECT_EQ(cancel->text().toStdString(), "&Cancel");
        EXPECT_LT(yes->x(), no->x()) << "buttons must keep the program's order";
        EXPECT_LT(no->x(), cancel->x()) << "buttons must keep the program's order";
        EXPECT_EQ(box.defaultButton(), no);
        EXPECT_EQ(box.escapeButton(), cancel) << "Esc presses Cancel, not the default";

        const QString png = "/tmp/quibbet_rt_ui_qt_message_box.png";
        EXPECT_TRUE(box.grab().save(png));
        const QImage image(png);
        EXPECT_GT(image.width(), 100);
        EXPECT_GT(image.height(), 50);
        std::set<QRgb> colours;
        for (int y = 0; y < image.height(); y += 2)
          for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
        EXPECT_GT(colours.size(), 2u) << "the grabbed box is blank";

        cancel->click();
        checked = true;
        return true;
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(checked);
  EXPECT_EQ(result, 3);
}

// Boxes are not nested event loops: both are open together, and the one opened first can be
// answered first and return to its thread while the later one stays open (a nested exec() would
// hold the earlier answer until the later box closed).
TEST_F(QtBackendTest, TwoThreadsBoxesAreOpenAtOnceAndTheEarlierIsAnsweredFirst) {
  std::atomic<Long> firstResult{-1}, secondResult{-1};
  std::promise<void> firstShown;
  std::shared_future<void> firstIsShown = firstShown.get_future().share();
  int stage = 0;
  const int exitCode = RunProgramActing(
      [&] {
        Start([&, firstIsShown] {
          firstIsShown.wait_for(10s);
          secondResult = MessageBox("Second", "Two", "", "6");
        });
        firstResult = MessageBox("First", "One", "", "6");
      },
      [&] {
        QMessageBox* first = OpenBoxWithText("First");
        QMessageBox* second = OpenBoxWithText("Second");
        switch (stage) {
          case 0:
            if (!first) return false;
            firstShown.set_value();
            stage = 1;
            return false;
          case 1:
            if (!first || !second) return false;
            if (QPushButton* no = Button(*first, BUTTON_NO)) no->click();
            stage = 2;
            return false;
          default:
            if (firstResult == -1) return false;  // its thread has not received the answer yet
            EXPECT_TRUE(second) << "answering the first box closed the second";
            EXPECT_EQ(secondResult, -1);
            if (QPushButton* yes = second ? Button(*second, BUTTON_YES) : nullptr) yes->click();
            return true;
        }
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(firstResult, BUTTON_NO);
  EXPECT_EQ(secondResult, BUTTON_YES);
}

TEST_F(QtBackendTest, StopDialogGoOnReturnsToTheProgram) {
  std::atomic<bool> wentOn{false};
  const int exitCode = RunProgramActing(
      [&] {
        Stop("Leave the demo?");
        wentOn = true;
      },
      [&] {
        const std::vector<QMessageBox*> dialogs = OpenBoxes(qt::kStopDialogName);
        if (dialogs.size() != 1) return false;
        QMessageBox& dialog = *dialogs.front();
        EXPECT_EQ(dialog.windowTitle().toStdString(), "Stop");
        EXPECT_EQ(dialog.text().toStdString(), "Leave the demo?");
        auto* goOn = dialog.findChild<QPushButton*>(qt::kStopGoOnName);
        EXPECT_TRUE(dialog.findChild<QPushButton*>(qt::kStopEndProgramName));
        EXPECT_EQ(dialog.escapeButton(), goOn);
        if (goOn) goOn->click();
        return true;
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_TRUE(wentOn);
}

// The Qt thread itself may raise a dialog (it is not a program thread); waiting there for an
// answer that only its own event loop can deliver must not deadlock.
TEST_F(QtBackendTest, MessageBoxRaisedOnTheQtThreadIsServedThere) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    QMessageBox* box = OpenBoxWithText("Raised on the Qt thread");
    if (QPushButton* retry = box ? Button(*box, BUTTON_RETRY) : nullptr) {
      retry->click();
      poll.stop();
    } else if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the box did not appear in time";
      for (QMessageBox* open : OpenBoxes(qt::kMessageBoxName)) open->done(QDialog::Rejected);
      poll.stop();
    }
  });
  poll.start();
  EXPECT_EQ(Thread(), 0);
  EXPECT_EQ(MessageBox("Raised on the Qt thread", "Direct", "", "24"), BUTTON_RETRY);
}

TEST(QtDialogs, IconNamesMapToStandardIcons) {
  const struct {
    const char* name;
    QMessageBox::Icon expected;
  } kCases[] = {
      {"ICON:Question", QMessageBox::Question},        // 1
      {"icon:question", QMessageBox::Question},        // 2: any letter case
      {"ICON:Exclamation", QMessageBox::Warning},      // 3
      {"ICON:Hand", QMessageBox::Critical},            // 4
      {"ICON:Asterisk", QMessageBox::Information},     // 5
      {"", QMessageBox::NoIcon},                       // 6: no icon asked for
      {"ICON:Save", QMessageBox::NoIcon},              // 7: a name with no standard icon
  };
  for (const auto& each : kCases) EXPECT_EQ(qt::IconFor(each.name), each.expected) << each.name;
  // The stock icons the error manager names by their four bytes.
  EXPECT_EQ(qt::IconFor(std::string_view("\xFF\x01\x03\x7F", 4)), QMessageBox::Warning);
  EXPECT_EQ(qt::IconFor(std::string_view("\xFF\x01\x04\x7F", 4)), QMessageBox::Information);
  EXPECT_EQ(qt::IconFor(std::string_view("\xFF\x01\x01\x7F", 4)), QMessageBox::Critical);
  EXPECT_EQ(qt::IconFor(std::string_view("\xFF\x01\x09\x7F", 4)), QMessageBox::NoIcon) << "no such stock icon";
  EXPECT_EQ(qt::IconFor(std::string_view("\xFF\x01\x03", 3)), QMessageBox::NoIcon) << "cut short";
}

}  // namespace
}  // namespace rt::ui
