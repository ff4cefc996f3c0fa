#include "tests/runtime/ui/qt_user.h"

#include <QAbstractButton>
#include <QAbstractItemModel>
#include <QApplication>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <cstring>
#include <future>
#include <set>
#include <thread>

#include "runtime/ui/events.h"
#include "runtime/ui/qt/qt_look.h"

namespace rt::ui {

using namespace std::chrono_literals;

QWidget* OuterWidget(WindowId window) {
  const QString name = QString(qt::kWindowNamePrefix) + QString::number(window);
  for (QWidget* widget : QApplication::allWidgets())
    if (widget->objectName() == name) return widget;
  return nullptr;
}

std::size_t ColourCount(const QImage& image) {
  std::set<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2)
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  return colours.size();
}

namespace {

Qt::Key QtKeyOf(Long key) {
  switch (key & ~(KEY_Shift | KEY_Ctrl | KEY_Alt)) {
    case KEY_Tab: return Qt::Key_Tab;
    case KEY_Enter: return Qt::Key_Return;
    case KEY_Esc: return Qt::Key_Escape;
    case KEY_Down: return Qt::Key_Down;
    case KEY_Insert: return Qt::Key_Insert;
    case KEY_Delete: return Qt::Key_Delete;
    case KEY_AppsKey: return Qt::Key_Menu;
    default: return static_cast<Qt::Key>(key & 0xFF);
  }
}

// QTest types ASCII only; any other character comes as the key event a keyboard layout gives.
bool KeyClicks(QWidget* widget, const std::string& text, bool replace) {
  auto* edit = qobject_cast<QLineEdit*>(widget);
  if (!edit) return false;
  if (replace) QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);  // select all, then type over it
  for (const QChar c : QString::fromStdString(text)) {
    if (c.unicode() < 128) {
      QTest::keyClick(edit, c.toLatin1());
      continue;
    }
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, QString(c));
    QApplication::sendEvent(edit, &press);
    QApplication::sendEvent(edit, &release);
  }
  return true;
}

template <class Widget>
std::vector<Widget*> Visible(const char* objectName = nullptr) {
  std::vector<Widget*> found;
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* w = qobject_cast<Widget*>(widget); w && w->isVisible() && (!objectName || w->objectName() == objectName))
      found.push_back(w);
  return found;
}

}  // namespace

QtUser::QtUser() { SetThreadActivityObserver(this); }
QtUser::~QtUser() { SetThreadActivityObserver(nullptr); }

void QtUser::ThreadStateChanged(Long thread, ProgramThreadState state, std::uint64_t handledInput) {
  {
    std::lock_guard lock(mutex_);
    threads_[thread] = {state, handledInput};
  }
  changed_.notify_all();
}

bool QtUser::OnQt(std::function<void()> call, bool quiet) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> finished = done->get_future();
  QMetaObject::invokeMethod(qApp, [call = std::move(call), done] {
    call();
    done->set_value();
  }, Qt::QueuedConnection);
  if (finished.wait_for(quiet ? std::chrono::seconds(1) : kUserWait) == std::future_status::ready) return true;
  if (!quiet) ADD_FAILURE() << "the Qt thread did not serve the test within " << kUserWait.count() << " s";
  return false;
}

void QtUser::Settle(WindowId window) {
  Long thread = 0;
  {
    std::lock_guard lock(mutex_);
    thread = windowThreads_[window];
  }
  const std::uint64_t sent = LastInputSequence(thread);
  const auto deadline = std::chrono::steady_clock::now() + kUserWait;
  bool ended = false;
  for (;;) {
    bool dialog = false;
    {
      std::unique_lock lock(mutex_);
      if (changed_.wait_for(lock, 20ms, [&] {
            const ThreadSeen& seen = threads_[thread];
            ended = seen.state == ProgramThreadState::Ended;
            return ended || (seen.state == ProgramThreadState::WaitingForInput && seen.handled >= sent);
          }))
        break;
    }
    // A thread that shows a message box or popup has handled its input as far as it can.
    if (!OnQt([&] { dialog = !Visible<QMessageBox>().empty() || !Visible<QMenu>(qt::kPopupName).empty(); })) return;
    if (dialog) break;
    if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "thread " << thread << " did not handle input " << sent << " in time";
      return;
    }
  }
  if (!ended) OnQt([] {});  // what the thread changed before it waited is on screen now
}

QWidget* QtUser::ControlWidget(WindowId window, Long control) {
  QWidget* outer = OuterWidget(window);
  if (!outer) return nullptr;
  QWidget* widget = outer->findChild<QWidget*>(qt::ControlName(control));
  if (auto* table = widget ? widget->findChild<QTableView*>() : nullptr) return table;
  return widget;
}

void QtUser::Act(WindowId window, Long control, const std::function<bool(QWidget*)>& act) {
  OnQt([&] {
    if (!act(ControlWidget(window, control))) ADD_FAILURE() << "window " << window << " has no control " << control << " for this";
  });
  Settle(window);
}

bool QtUser::Poll(const std::function<bool()>& done, const std::string& what) {
  const auto deadline = std::chrono::steady_clock::now() + kUserWait;
  while (std::chrono::steady_clock::now() < deadline) {
    if (done()) return true;
    std::this_thread::sleep_for(10ms);
  }
  ADD_FAILURE() << what;
  return false;
}

bool QtUser::PollOnQt(const std::function<bool()>& done, const std::string& what) {
  return Poll([&] {
    bool held = false;
    OnQt([&] { held = done(); });
    return held;
  }, what);
}

WindowId QtUser::WaitForWindow(const std::string& title) {
  WindowId found = 0;
  Long thread = 0;
  PollOnQt([&] {
    for (QWidget* widget : QApplication::allWidgets()) {
      if (!widget->objectName().startsWith(qt::kWindowNamePrefix) || !widget->isVisible()) continue;
      if (widget->windowTitle().toStdString() != title) continue;
      const WindowId id = widget->objectName().mid(static_cast<int>(std::strlen(qt::kWindowNamePrefix))).toULongLong();
      if (id > found) {
        found = id;
        thread = widget->property("rtThread").value<qint32>();
      }
    }
    return found != 0;
  }, "no window titled \"" + title + "\" appeared");
  if (!found) return 0;
  {
    std::lock_guard lock(mutex_);
    windowThreads_[found] = thread;
  }
  Settle(found);
  return found;
}

bool QtUser::WaitForWindowClosed(WindowId window) {
  return Poll([&] {
    const std::vector<WindowId> open = OpenWindows();
    if (std::find(open.begin(), open.end(), window) != open.end()) return false;
    // Closed in the runtime; its widget goes on the Qt thread, unless the program has ended
    // with it and the event loop with the program.
    bool shown = true;
    return open.empty() || !OnQt([&] { shown = OuterWidget(window) != nullptr; }, true) || !shown;
  }, "window " + std::to_string(window) + " is still open");
}

std::string QtUser::Text(WindowId window, Long control) {
  std::string text;
  OnQt([&] {
    QWidget* widget = ControlWidget(window, control);
    if (auto* entry = qobject_cast<QLineEdit*>(widget)) text = entry->text().toStdString();
    else if (auto* button = qobject_cast<QPushButton*>(widget)) text = button->text().toStdString();
  });
  return text;
}

Long QtUser::Focus(WindowId window) {
  Long focus = 0;
  OnQt([&] {
    QWidget* outer = OuterWidget(window);
    for (QObject* at = outer ? outer->focusWidget() : nullptr; at && focus == 0; at = at->parent())
      if (const QVariant number = at->property("rtNumber"); number.isValid()) focus = number.value<qint32>();
  });
  return focus;
}

// A left click near the widget's left edge (into an entry's text), else at its centre.
void QtUser::ClickAt(WindowId window, Long control, bool nearStart) {
  Act(window, control, [&](QWidget* widget) {
    if (widget) QTest::mouseClick(widget, Qt::LeftButton, {}, nearStart ? QPoint(4, widget->height() / 2) : QPoint());
    return widget != nullptr;
  });
}

void QtUser::ClickInto(WindowId window, Long control) { ClickAt(window, control, true); }

void QtUser::Type(WindowId window, Long entry, const std::string& text) {
  Act(window, entry, [&](QWidget* widget) { return KeyClicks(widget, text, true); });
}

void QtUser::TypeKeys(WindowId window, Long entry, const std::string& text) {
  Act(window, entry, [&](QWidget* widget) { return KeyClicks(widget, text, false); });
}

std::string QtUser::SelectedText(WindowId window, Long entry) {
  std::string text;
  OnQt([&] { if (auto* edit = qobject_cast<QLineEdit*>(ControlWidget(window, entry))) text = edit->selectedText().toStdString(); });
  return text;
}

void QtUser::Activate(WindowId window) {
  OnQt([&] { if (QWidget* outer = OuterWidget(window)) outer->activateWindow(); });
  PollOnQt([&] { return OuterWidget(window) && QApplication::activeWindow() == OuterWidget(window); },
           "window " + std::to_string(window) + " to become active");
  Settle(window);
}

void QtUser::CloseBox(WindowId window) {
  OnQt([&] { if (QWidget* outer = OuterWidget(window)) outer->close(); });
  Settle(window);
}

void QtUser::PressKey(WindowId window, Long control, Long key) {
  Act(window, control, [&](QWidget* widget) {
    // Control 0: whichever widget has the focus, as a key on the keyboard goes.
    if (control == 0) widget = OuterWidget(window) ? OuterWidget(window)->focusWidget() : nullptr;
    Qt::KeyboardModifiers modifiers;
    if (key & KEY_Shift) modifiers |= Qt::ShiftModifier;
    if (key & KEY_Ctrl) modifiers |= Qt::ControlModifier;
    if (key & KEY_Alt) modifiers |= Qt::AltModifier;
    if (widget) QTest::keyClick(widget, QtKeyOf(key), modifiers);
    return widget != nullptr;
  });
}

void QtUser::Click(WindowId window, Long button) { ClickAt(window, button, false); }

// Opens the menu from the menu bar with a click and clicks the item in it, as a user does.
void QtUser::ChooseMenu(WindowId window, Long menu, Long item) {
  Act(window, menu, [&](QWidget*) {
    QWidget* outer = OuterWidget(window);
    auto* bar = outer ? outer->findChild<QMenuBar*>() : nullptr;
    auto* popup = outer ? outer->findChild<QMenu*>(qt::ControlName(menu)) : nullptr;
    if (!bar || !popup) return false;
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(popup->menuAction()).center());
    QAction* action = popup->findChild<QAction*>(qt::ControlName(item));
    if (!action || !popup->isVisible()) return false;
    QTest::mouseClick(popup, Qt::LeftButton, {}, popup->actionGeometry(action).center());
    return true;
  });
}

bool QtUser::IsShown(WindowId window, Long control) {
  bool shown = false;
  OnQt([&] {
    QWidget* widget = ControlWidget(window, control);
    shown = widget && widget->isVisible();
  });
  return shown;
}

void QtUser::SelectTab(WindowId window, Long sheet, Long tab) {
  Act(window, sheet, [&](QWidget* widget) {
    auto* tabs = qobject_cast<QTabWidget*>(widget);
    if (!tabs || tab < 1 || tab > tabs->count()) return false;
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(static_cast<int>(tab) - 1).center());
    return true;
  });
}

std::vector<std::vector<std::string>> QtUser::Rows(WindowId window, Long list) {
  std::vector<std::vector<std::string>> rows;
  OnQt([&] {
    auto* table = qobject_cast<QTableView*>(ControlWidget(window, list));
    if (!table || !table->model()) return;
    const QAbstractItemModel& model = *table->model();
    for (int r = 0; r < model.rowCount(); ++r) {
      rows.emplace_back();
      for (int c = 0; c < model.columnCount(); ++c) rows.back().push_back(model.index(r, c).data().toString().toStdString());
    }
  });
  return rows;
}

void QtUser::ClickCell(WindowId window, Long list, Long shownRow, Long column, Mouse mouse) {
  Act(window, list, [&](QWidget* widget) {
    auto* table = qobject_cast<QTableView*>(widget);
    const QModelIndex cell = table && table->model() ? table->model()->index(int(shownRow) - 1, int(column) - 1) : QModelIndex();
    if (!cell.isValid()) return false;
    const QPoint at = table->visualRect(cell).center();
    if (mouse == Mouse::Double) QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, at);
    else QTest::mouseClick(table->viewport(), mouse == Mouse::Right ? Qt::RightButton : Qt::LeftButton, {}, at);
    return true;
  });
}

void QtUser::RightClick(WindowId window, Long control) {
  Act(window, control, [](QWidget* widget) {
    if (auto* table = qobject_cast<QTableView*>(widget)) widget = table->viewport();
    if (widget) QTest::mouseClick(widget, Qt::RightButton, {}, QPoint(4, 4));
    return widget != nullptr;
  });
}

void QtUser::ChoosePopup(const std::string& text) {
  PollOnQt([&] {
    for (QMenu* menu : Visible<QMenu>(qt::kPopupName))
      for (QAction* action : menu->actions())
        if (action->text().toStdString() == text) {
          QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
          return true;
        }
    return false;
  }, "no popup with \"" + text + "\" appeared");
}

void QtUser::AnswerMessageBox(const std::string& text, const std::string& caption) {
  PollOnQt([&] {
    for (QMessageBox* box : Visible<QMessageBox>())
      for (QAbstractButton* button : box->buttons())
        if (box->text().toStdString() == text && button->text().toStdString() == caption) {
          QTest::mouseClick(button, Qt::LeftButton);
          return true;
        }
    return false;
  }, "no message box \"" + text + "\" with a button \"" + caption + "\" appeared");
}

bool QtUser::EscClosesMessageBox() {
  bool closed = false;
  PollOnQt([&] {
    const std::vector<QMessageBox*> boxes = Visible<QMessageBox>();
    if (boxes.empty()) return false;
    QTest::keyClick(boxes.back(), Qt::Key_Escape);
    closed = !boxes.back()->isVisible();
    return true;
  }, "no message box appeared for Esc");
  return closed;
}

void QtUser::CloseEverything() {
  if (OpenWindows().empty()) return;  // the program has ended, and with it the event loop
  OnQt([] {
    for (QMessageBox* box : Visible<QMessageBox>()) box->done(QDialog::Rejected);
    for (QMenu* menu : Visible<QMenu>(qt::kPopupName)) menu->close();
  }, true);
  for (const WindowId window : OpenWindows()) SendInput({InputKind::CloseDown, window, 0, 0, 0, 0, {}, 0});
}

}  // namespace rt::ui
