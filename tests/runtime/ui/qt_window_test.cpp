// What only the Qt backend can get wrong (offscreen platform): each kind of control mapped to its
// widget, one round trip per window property, the scroll bar, popups and boxes where they belong,
// keyboard focus drawn, a new window first shown with what the program queued behind its
// opening (and boxes and popups raised meanwhile over it), MDI children and a toolbox of several
// threads, the toolbar acting on the active child's thread, the native dialogs, and RunProgram
// ending when its loop is ended from outside. The logic behind these (sizes, lists, dialogs) is
// tested headless; what both backends must do alike is in backend_conformance_test.cpp.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCursor>
#include <QScreen>
#include <QAbstractButton>
#include <QFontDatabase>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QThread>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <future>
#include <thread>

#include "runtime/core/dialogs.h"
#include "runtime/core/picture.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"
#include "runtime/ui/qt/qt_dialogs.h"
#include "runtime/ui/qt/qt_look.h"
#include "runtime/ui/window.h"
#include "tests/runtime/ui/qt_user.h"
#include "tests/runtime/ui/robot_fixture.h"

namespace rt::ui {
namespace {

using namespace std::chrono_literals;

int gArgc = 1;
char gProgram[] = "rt_ui_qt_window_test";
char* gArgv[] = {gProgram, nullptr};

template <class Widget>
Widget* ControlOf(WindowId window, Long control) {
  QWidget* outer = OuterWidget(window);
  return outer ? outer->findChild<Widget*>(qt::ControlName(control)) : nullptr;
}

// A window of this kind, title and size (0: the runtime's default).
WindowDef Def(const std::string& title, Long width = 0, Long height = 0, WindowKind kind = WindowKind::Ordinary) {
  WindowDef def;
  def.title = title;
  def.kind = kind;
  if (width) def.width = width;
  if (height) def.height = height;
  return def;
}

QWidget* ClientOf(WindowId window) {  // an ordinary window is its own main window
  auto* inner = qobject_cast<QMainWindow*>(OuterWidget(window));
  return inner ? inner->centralWidget() : nullptr;
}

class QtWindows : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(backend_->Start());
    InstallBackend(backend_.get());
    user_ = std::make_unique<QtUser>();
  }
  void TearDown() override {
    user_.reset();
    InstallBackend(nullptr);
    backend_->Stop();
  }
  int Play(std::function<void()> program, const std::function<void(QtUser&)>& script) {
    return PlayProgram<QtUser>(*backend_, *user_, std::move(program), script);
  }
  // Saves a grab where the test's pictures go, and beside the docs when asked for.
  static void Save(const QImage& image, const QString& name) {
    EXPECT_TRUE(image.save(QString::fromStdString(::testing::TempDir()) + name));
    if (const char* docs = std::getenv("QUIBBET_DOCS_PICTURES")) image.save(QString(docs) + "/" + name);
  }

  std::unique_ptr<Backend> backend_ = MakeQtBackend(gArgc, gArgv);
  std::unique_ptr<QtUser> user_;
};

struct Pets final : ListSource {
  Long RowCount() const override { return 4; }
  std::string Value(Long row, Long field) const override {
    static const char* names[] = {"Rex", "Tom", "Polly", "Nemo"};
    return field == 1 ? std::to_string(row * 1250) : names[row - 1];
  }
};
constexpr const char* kPetsFormat = "40R(2)|~Price~C(0)@n-7@80L(2)~Pet~@s10@";

// ---- Every kind of control, as a user sees it ----

TEST_F(QtWindows, EachKindOfControlShowsItsTextStateAndPictureAndTheWindowsSizeMakesRoundTrips) {
  static const Pets pets;
  Long amount = 1234, paid = 1;
  std::string code = "LOCKED", size = "S";
  WindowDef def = Def("Every control", 300, 200);
  def.font = "MS Sans Serif,8";
  def.resizable = true;
  def.Add(ControlDef::Prompt("&Amount:").At(6, 6, 40, 10));
  const Long amountEntry = def.Add(ControlDef::Entry("@n-10.2", Bind(amount)).At(50, 6, 60, 12));
  const Long readOnly = def.Add(ControlDef::Entry("@s10", Bind(code)).At(140, 22, 60, 12).ReadOnly());
  const Long string = def.Add(ControlDef::String("A plain string").At(6, 38, 90, 10));
  const Long image = def.Add(ControlDef::Image("ICON:Save").At(210, 6, 20, 20));
  const Long group = def.Add(ControlDef::Group("Group").At(200, 30, 95, 40));
  def.Add(ControlDef::Region().At(205, 40, 80, 25));
  const Long sheet = def.Add(ControlDef::Sheet().At(6, 50, 190, 30));
  def.Add(ControlDef::Tab("&General").In(sheet));
  def.Add(ControlDef::Tab("&Other").In(sheet));
  const Long list = def.Add(ControlDef::List(kPetsFormat).At(6, 84, 190, 60).VScroll());
  const Long check = def.Add(ControlDef::Check("&Paid", Bind(paid)).At(6, 150, 50, 10));
  const Long option = def.Add(ControlDef::Option("Size", Bind(size)).At(60, 146, 130, 24));
  const Long small = def.Add(ControlDef::Radio("&Small").In(option).Value("S").At(64, 156, 40, 10));
  const Long large = def.Add(ControlDef::Radio("&Large").In(option).Value("L").At(110, 156, 40, 10));
  const Long ok = def.Add(ControlDef::Button("&OK").At(200, 150, 45, 14).Default().Icon("ICON:Tick").Tip("Keep it"));
  const Long saveDisabled = def.Add(ControlDef::Button("&Save").At(250, 170, 45, 14).Disabled());
  const Long maximize = def.Add(ControlDef::Button("&Maximize").At(200, 170, 45, 14));
  std::atomic<Long> width{0};
  Recorder events;
  const int exitCode = Play(
      [&] {
        RunWindow(def, events, [&](Window& w) {
          if (w.CurrentEvent().code == EVENT_OpenWindow) w.SetListSource(list, &pets);
          if (w.CurrentEvent().code == EVENT_Accepted && w.CurrentEvent().control == maximize) w.SetProp(PROP_Maximize, "1");
          if (w.CurrentEvent().code == EVENT_Sized) width = PropNumber(w.GetProp(PROP_Width));
        });
      },
      [&](QtUser& user) {
        const WindowId window = user.WaitForWindow("Every control");
        ASSERT_NE(window, 0u);
        user.OnQt([&] {
          // Each is there and drawn (no control is blank), as the widget of its kind.
          for (Long control : {amountEntry, readOnly, string, image, group, sheet, list, ok, saveDisabled, check, option, small, large}) {
            QWidget* widget = ControlOf<QWidget>(window, control);
            ASSERT_TRUE(widget) << control;
            EXPECT_GT(ColourCount(widget->grab().toImage()), 2u) << "control " << control << " is blank";
          }
          EXPECT_EQ(ControlOf<QLineEdit>(window, amountEntry)->text().toStdString(), Format(Long{1234}, "@n-10.2"));
          EXPECT_TRUE(ControlOf<QLineEdit>(window, readOnly)->isReadOnly());
          EXPECT_EQ(ControlOf<QLabel>(window, string)->text().toStdString(), "A plain string");
          EXPECT_EQ(ControlOf<QGroupBox>(window, group)->title().toStdString(), "Group");
          EXPECT_EQ(ControlOf<QTabWidget>(window, sheet)->tabText(1).toStdString(), "&Other");
          auto* table = ControlOf<QWidget>(window, list)->findChild<QTableView*>();
          ASSERT_TRUE(table);
          EXPECT_EQ(table->model()->index(2, 0).data(Qt::TextAlignmentRole).value<int>() & Qt::AlignRight, Qt::AlignRight)
              << "an R column is right-aligned";
          EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString().toStdString(), "Pet");
          EXPECT_EQ(table->model()->index(1, 0).data().toString().toStdString(), Format(Long{2500}, "@n-7")) << "through its picture";
          auto* okButton = ControlOf<QPushButton>(window, ok);
          EXPECT_TRUE(okButton->isDefault() && !okButton->icon().isNull());
          EXPECT_EQ(okButton->toolTip().toStdString(), "Keep it");
          EXPECT_EQ(okButton->font().family(), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family())
              << "MS Sans Serif is the desktop's sans font";
          EXPECT_FALSE(ControlOf<QPushButton>(window, saveDisabled)->isEnabled());
          const auto checked = [&](Long c) { return ControlOf<QAbstractButton>(window, c)->isChecked(); };
          EXPECT_TRUE(checked(check) && checked(small) && !checked(large));
          Save(OuterWidget(window)->grab().toImage(), "sample_window.png");
          ASSERT_TRUE(ClientOf(window));
          EXPECT_EQ(ClientOf(window)->size(), QSize(qt::PixelsX(300), qt::PixelsY(200))) << "the size the program gave";
        });
        user.Click(window, large);
        EXPECT_EQ(events.Take().back(), "Accepted:" + std::to_string(option));
        user.OnQt([&] { EXPECT_FALSE(ControlOf<QAbstractButton>(window, small)->isChecked()) << "the runtime turned the other radio off"; });

        // One round trip per window property: maximize and restore, minimize and restore, a user's resize.
        user.Click(window, maximize);
        user.OnQt([&] { EXPECT_TRUE(OuterWidget(window)->isMaximized()) << "the program maximized it"; });
        events.Take();
        user.OnQt([&] { OuterWidget(window)->showNormal(); });
        user.WaitForWindow("Every control");
        EXPECT_EQ(events.Take(), (Strings{"Restored", "Sized"})) << "the user restored it";
        user.OnQt([&] { OuterWidget(window)->showMinimized(); });
        user.WaitForWindow("Every control");
        events.Take();
        user.OnQt([&] { OuterWidget(window)->showNormal(); });
        user.WaitForWindow("Every control");
        EXPECT_EQ(events.Take(), (Strings{"Restored", "Sized"})) << "the user restored it from the task bar";
        user.OnQt([&] {
          QWidget* outer = OuterWidget(window);
          outer->resize(outer->width() + qt::PixelsX(60), outer->height() + qt::PixelsY(30));
        });
        user.WaitForWindow("Every control");
        EXPECT_EQ(events.Take(), (Strings{"SizeRequest", "Sized"})) << "the user resized it";
        EXPECT_EQ(width, 360);
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(size, "L");
}

// ---- A list over a sheet: its scroll bar, its cell editor, both in front of the sheet ----

// What appears, in order (Qt thread): each window's title, or "box", as it is first shown;
// whether the first window was maximized then.
class Appearances final : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    auto* widget = qobject_cast<QWidget*>(watched);
    if (event->type() != QEvent::Show || !widget || !widget->isWindow()) return false;
    if (qobject_cast<QMessageBox*>(widget)) {
      seen.push_back("box");
    } else if (widget->objectName().startsWith(qt::kWindowNamePrefix)) {
      if (seen.empty()) maximized = widget->isMaximized();
      seen.push_back(widget->windowTitle().toStdString());
    }
    return false;
  }
  std::vector<std::string> seen;
  bool maximized = false;
};

// Holds the Qt thread while the program queues its work, as when the program is quicker than
// the toolkit's first build, and watches what appears once it goes on.
class HeldQtThread {
 public:
  explicit HeldQtThread(QtUser& user) : user_(user), here_(QThread::currentThread()) {
    watch_.moveToThread(qApp->thread());
    user_.OnQt([&] { qApp->installEventFilter(&watch_); });
    QMetaObject::invokeMethod(qApp, [released = release_.get_future().share()] { released.wait(); }, Qt::QueuedConnection);
  }
  // Lets the program start, waits until it has queued its work, and lets the Qt thread go; `grace`
  // gives a request the program makes right after (a box, which blocks it) time to be queued too.
  void Run(std::promise<void>& start, std::future<void> queued, std::chrono::milliseconds grace = {}) {
    start.set_value();
    queued.wait();
    std::this_thread::sleep_for(grace);
    release_.set_value();
  }
  // Qt thread no longer watched; what it saw. Called before the program can end.
  Appearances& Seen() {
    user_.OnQt([&] {
      qApp->removeEventFilter(&watch_);
      watch_.moveToThread(here_);
    });
    return watch_;
  }

 private:
  QtUser& user_;
  QThread* const here_;
  Appearances watch_;
  std::promise<void> release_;
};

// Program side: once the Qt thread is held, opens a window titled `title` and, while it is open,
// raises a box or popup (`raise`).
void OpenAndRaise(std::future<void> held, std::promise<void>& opened, const std::string& title,
                  const std::function<void()>& raise) {
  held.wait();
  Window window(Def(title, 200, 120));
  window.Open();
  opened.set_value();
  raise();
}

TEST_F(QtWindows, ANewWindowAppearsWithWhatTheProgramDidToItWhileTheToolkitBuiltIt) {
  std::promise<void> holding, queued;
  std::vector<std::string> seen;
  bool maximized = false;
  const int exitCode = Play(
      [&] {
        holding.get_future().wait();
        Window window(Def("Opening"));
        window.SetProp(PROP_Maximize, "1");  // opens maximized
        window.Open();
        window.SetProp(PROP_Text, "Ready");
        queued.set_value();
        while (window.Accept()) {
        }
      },
      [&](QtUser& user) {
        HeldQtThread held(user);
        held.Run(holding, queued.get_future());
        const WindowId window = user.WaitForWindow("Ready");
        const Appearances& appeared = held.Seen();
        seen = appeared.seen;
        maximized = appeared.maximized;
        user.CloseBox(window);
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(seen, (std::vector<std::string>{"Ready"})) << "shown before the program's changes were in";
  EXPECT_TRUE(maximized);
}

TEST_F(QtWindows, ABoxRaisedAsAWindowOpensAppearsOverThatWindow) {
  std::promise<void> holding, opened;
  std::atomic<Long> answer{0};
  std::vector<std::string> seen;
  bool boxOverWindow = false;
  const int exitCode = Play(
      [&] { OpenAndRaise(holding.get_future(), opened, "Welcome", [&] { answer = MessageBox("Ready?", "Welcome", "", "&Yes|&No", 1); }); },
      [&](QtUser& user) {
        HeldQtThread held(user);
        held.Run(holding, opened.get_future(), 100ms);  // a late box comes after the window anyway
        user.PollOnQt([] { return qobject_cast<QMessageBox*>(QApplication::activeWindow()) != nullptr; },
                      "the box did not become the active window");
        user.OnQt([&] {
          const QWidget* box = QApplication::activeWindow();
          for (const QWidget* w : QApplication::topLevelWidgets())
            if (w->windowTitle() == "Welcome" && w != box)
              boxOverWindow = (box->frameGeometry().center() - w->frameGeometry().center()).manhattanLength() <= 2;
        });
        seen = held.Seen().seen;
        user.AnswerMessageBox("Ready?", "&Yes");
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(answer, 1);
  EXPECT_EQ(seen, (std::vector<std::string>{"Welcome", "box"})) << "the window shows first, so the box is above it";
  EXPECT_TRUE(boxOverWindow) << "centred over the window that raised it";
}

TEST_F(QtWindows, APopupRaisedAsAWindowOpensStaysOpenUntilChosen) {
  // Shown after it, the window would take the activation from the popup, which then closes.
  std::promise<void> holding, opened;
  std::atomic<Long> chosen{-1};
  const int exitCode = Play(
      [&] { OpenAndRaise(holding.get_future(), opened, "Menu", [&] { chosen = Popup("&Insert|&Change", 20, 20); }); },
      [&](QtUser& user) {
        HeldQtThread held(user);
        held.Run(holding, opened.get_future(), 100ms);
        (void)held.Seen();  // unwatched while the Qt thread still serves: choosing ends the program
        user.ChoosePopup("&Change");
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(chosen, 2);
}

// The list and a button are declared before the sheet they lie on, as a browse declares them.
// The thumb belongs to the program: a step past the last row and a drag become events.
TEST_F(QtWindows, AListsScrollBarAndCellEditorMapToTheProgramAndStayInFrontOfItsSheet) {
  static const Pets pets;
  Long edited = 0, editor = 0;
  WindowDef def = Def("Thumb", 200, 120);
  const Long list = def.Add(ControlDef::List(kPetsFormat).At(8, 20, 180, 60).Immediate().VScroll());
  const Long button = def.Add(ControlDef::Button("&Insert").At(140, 84, 48, 14));
  const Long sheet = def.Add(ControlDef::Sheet().At(4, 4, 192, 100));
  def.Add(ControlDef::Tab("&1) Order").In(sheet));
  std::atomic<Long> dragged{-1};
  Recorder events(true);
  const int exitCode = Play(
      [&] {
        RunWindow(def, events, [&](Window& w) {
          if (w.CurrentEvent().code == EVENT_OpenWindow) {
            w.SetListSource(list, &pets);
            w.SetProp(list, PROP_VScrollPos, "40", 0);
            w.SetProp(list, PROP_Selected, "4", 0);  // the last row: a step down goes past it
            editor = w.CreateControl(ControlDef::Entry("@s10", Bind(edited)));
            w.SetProp(list, PROP_EditControl, std::to_string(editor), 2);
          }
          if (w.CurrentEvent().code == EVENT_ScrollDrag) dragged = PropNumber(w.GetProp(list, PROP_VScrollPos, 0));
        });
      },
      [&](QtUser& user) {
        const WindowId window = user.WaitForWindow("Thumb");
        ASSERT_NE(window, 0u);
        QScrollBar* bar = nullptr;
        user.OnQt([&] {
          auto* tabs = ControlOf<QWidget>(window, sheet);
          for (Long control : {list, button}) {
            QWidget* widget = ControlOf<QWidget>(window, control);
            ASSERT_TRUE(widget && tabs) << control;
            QWidget* shown = widget->parentWidget()->childAt(widget->geometry().center());
            EXPECT_TRUE(shown != tabs && !tabs->isAncestorOf(shown)) << "control " << control << " is covered";
          }
          bar = ControlOf<QWidget>(window, list)->findChild<QScrollBar*>();
          ASSERT_TRUE(bar && bar->isVisible());
          EXPECT_EQ(bar->sliderPosition(), 40) << "the thumb is where the program put it";
          // The selected last row is wholly shown under the headings, the top row at the top.
          auto* table = ControlOf<QWidget>(window, list)->findChild<QTableView*>();
          auto* entry = ControlOf<QLineEdit>(window, editor);
          ASSERT_TRUE(table && entry);
          EXPECT_EQ(table->rowViewportPosition(0), 0);
          EXPECT_LE(table->rowViewportPosition(3) + table->rowHeight(3), table->viewport()->height());
          const QRect cell = table->visualRect(table->model()->index(3, 1));
          const QRect shownCell(table->viewport()->mapTo(entry->parentWidget(), cell.topLeft()), cell.size());
          EXPECT_LE((entry->geometry().center() - shownCell.center()).manhattanLength(), 2) << "the editor is on row 4, column 2";
          EXPECT_LE(std::abs(entry->width() - shownCell.width()), 2);
          EXPECT_TRUE(entry->isVisible());
        });
        ASSERT_TRUE(bar);
        events.Take();
        user.OnQt([&] { bar->triggerAction(QAbstractSlider::SliderSingleStepAdd); });
        user.WaitForWindow("Thumb");
        EXPECT_EQ(events.Take(), (Strings{"ScrollDown:1/40"})) << "a step down past the last row, as the Down key";
        user.OnQt([&] {
          EXPECT_EQ(bar->sliderPosition(), 40) << "a step moves nothing until the program does";
          bar->setSliderDown(true);
          bar->setSliderPosition(80);
          bar->setSliderDown(false);
        });
        user.WaitForWindow("Thumb");
        EXPECT_EQ(events.Take(), (Strings{"ScrollDrag:1"}));
        EXPECT_EQ(dragged, 80);
      });
  EXPECT_EQ(exitCode, 0);
}

// ---- Keyboard focus, and where a box and a popup open ----

QMessageBox* OpenBox(const char* objectName, const QString& text) {  // Qt thread
  for (QWidget* widget : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(widget);
        box && box->isVisible() && box->objectName() == objectName && box->text() == text)
      return box;
  return nullptr;
}

// Waits for the open dialog with this text and runs `act` on it once, on the Qt thread.
void OnBox(QtUser& user, const char* objectName, const QString& text, const std::function<void(QMessageBox&)>& act) {
  user.PollOnQt([&] {
    QMessageBox* box = OpenBox(objectName, text);
    if (box) act(*box);
    return box != nullptr;
  }, "no dialog \"" + text.toStdString() + "\"");
}

// The focused button is marked as after Tab (its picture changes when the focus leaves it), a
// message box opens centred on its window, and a popup where the program asked in its window's
// units or, at the runtime's default place, at the mouse.
TEST_F(QtWindows, TheFocusedButtonIsMarkedAndBoxesAndPopupsOpenWhereTheyBelong) {
  const Long kMouse = static_cast<Long>(0x80000000u);  // the runtime's default place
  const struct { Long x, y; } kPlaces[] = {{30, 20}, {kMouse, kMouse}};
  WindowDef def = Def("Focus", 200, 90);
  def.x = 300;
  def.y = 200;
  const Long sheet = def.Add(ControlDef::Sheet().At(2, 2, 196, 60));
  def.Add(ControlDef::Tab("&One").In(sheet));
  const Long first = def.Add(ControlDef::Button("&First").At(8, 68, 50, 14));
  const Long second = def.Add(ControlDef::Button("&Second").At(70, 68, 50, 14));
  const Long menu = def.Add(ControlDef::Button("&Menu").At(130, 68, 50, 14));
  const char* kQuestion = "A rather long question that makes the box wider than it would be";
  std::atomic<Long> answer{-1}, chosen{-1};
  std::atomic<std::size_t> next{0};
  Recorder events;
  const int exitCode = Play(
      [&] {
        RunWindow(def, events, [&](Window& w) {
          if (w.CurrentEvent().code != EVENT_Accepted) return;
          if (w.CurrentEvent().control == second) answer = MessageBox(kQuestion, "Wide", "", "&Yes|&No");
          if (w.CurrentEvent().control != menu) return;
          const auto& place = kPlaces[next++];
          chosen = Popup("&First|&Second", place.x, place.y);
        });
      },
      [&](QtUser& user) {
        const WindowId window = user.WaitForWindow("Focus");
        ASSERT_NE(window, 0u);
        user.PressKey(window, 0, KEY_Tab);
        QImage focused, unfocused;
        user.OnQt([&] { focused = ControlOf<QPushButton>(window, first)->grab().toImage(); });
        user.PressKey(window, first, KEY_Tab);
        user.OnQt([&] { unfocused = ControlOf<QPushButton>(window, first)->grab().toImage(); });
        EXPECT_NE(focused, unfocused) << "the focused button shows a focus frame";

        user.PressKey(window, second, KEY_Enter);
        OnBox(user, qt::kMessageBoxName, kQuestion, [&](QMessageBox& box) {
          const QWidget* outer = OuterWidget(window);
          const QPoint centre = outer->mapToGlobal(outer->rect().center());
          EXPECT_LE((box.geometry().center() - centre).manhattanLength(), 4) << "centred on the window";
          EXPECT_TRUE(box.screen()->availableGeometry().contains(box.geometry())) << "on the screen";
        });
        user.AnswerMessageBox(kQuestion, "&No");
        user.WaitForWindow("Focus");
        EXPECT_EQ(answer, 2);

        for (const auto& place : kPlaces) {
          QPoint expected;
          user.OnQt([&] {
            expected = place.x == kMouse ? OuterWidget(window)->mapToGlobal(QPoint(20, 30))
                                         : ClientOf(window)->mapToGlobal(QPoint(qt::PixelsX(30), qt::PixelsY(20)));
            if (place.x == kMouse) QCursor::setPos(expected);
          });
          chosen = -1;
          user.Click(window, menu);
          user.PollOnQt([&] {
            for (QWidget* widget : QApplication::topLevelWidgets())
              if (widget->objectName() == qt::kPopupName && widget->isVisible()) {
                EXPECT_EQ(widget->pos(), expected) << place.x;
                return true;
              }
            return false;
          }, "no popup opened");
          user.ChoosePopup("&Second");
          user.WaitForWindow("Focus");
          EXPECT_EQ(chosen, 2);
        }
      });
  EXPECT_EQ(exitCode, 0);
}

// ---- The frame with MDI children and a toolbox, each on a thread of its own ----

WindowDef ChildDef(const std::string& title, Long& value, Long x) {
  WindowDef def = Def(title, 160, 60, WindowKind::MdiChild);
  def.x = x;
  def.Add(ControlDef::Entry("@n-10", Bind(value)).At(6, 6, 60, 12).Status("Type a number"));
  def.Add(ControlDef::Button("&Ask").At(6, 24, 40, 14));
  return def;
}

TEST_F(QtWindows, ChildrenOfOtherThreadsLiveInTheFrameAndAModalWindowHoldsOnlyItsOwnThread) {
  WindowDef frame = Def("Frame", 500, 300, WindowKind::ApplicationFrame);
  frame.Add(ControlDef::MenuBar());
  frame.Add(ControlDef::Item("&Browse AFile").In(frame.Add(ControlDef::Menu("&Browse").In(-1))));
  const Long insert = frame.Add(ControlDef::Button("Insert").Toolbar(3001).Icon("ICON:Insert").Tip("Insert a record"));
  Long first = 0, second = 0;
  const WindowDef childA = ChildDef("Child A", first, 0);
  const WindowDef childB = ChildDef("Child B", second, 170);
  WindowDef modal = Def("Modal"), toolbox = Def("Tools", 60, 40, WindowKind::Toolbox);
  modal.modal = true;
  modal.Add(ControlDef::Button("&Done").StdClose());
  toolbox.Add(ControlDef::Button("&Pick").At(4, 4, 40, 14).Icon("ICON:Find"));
  Recorder frameEvents, eventsA, eventsB, modalEvents, toolEvents;
  const int exitCode = Play(
      [&] {
        // The children open in the frame once it is open, each on a thread of its own.
        RunWindow(frame, frameEvents, [&](Window& w) {
          if (w.CurrentEvent().code != EVENT_OpenWindow) return;
          Start([&] { RunWindow(childA, eventsA, [](Window&) {}); });
          Start([&] {
            RunWindow(childB, eventsB, [&](Window& child) {
              if (child.CurrentEvent().code == EVENT_Accepted && child.CurrentEvent().control == 2)
                RunWindow(modal, modalEvents, [](Window&) {});
            });
          });
          Start([&] { RunWindow(toolbox, toolEvents, [](Window&) {}); });
        });
      },
      [&](QtUser& user) {
        const WindowId a = user.WaitForWindow("Child A");
        const WindowId b = user.WaitForWindow("Child B");
        const WindowId f = user.WaitForWindow("Frame");
        const WindowId tools = user.WaitForWindow("Tools");
        ASSERT_TRUE(a && b && f && tools);
        user.OnQt([&] {
          EXPECT_TRUE(qobject_cast<QMdiSubWindow*>(OuterWidget(a))) << "an MDI child of another thread lives in the frame";
          EXPECT_EQ(OuterWidget(tools)->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
          EXPECT_EQ(OuterWidget(tools)->parentWidget(), OuterWidget(f)) << "the toolbox is kept above the frame";
        });

        user.ClickInto(b, 1);
        user.OnQt([&] {
          EXPECT_EQ(qobject_cast<QMainWindow*>(OuterWidget(f))->statusBar()->currentMessage().toStdString(), "Type a number")
              << "the frame's status bar shows the focused control's status text";
        });

        // A modal window holds only its own thread's other windows.
        user.Click(b, 2);
        const WindowId m = user.WaitForWindow("Modal");
        ASSERT_NE(m, 0u);
        user.OnQt([&] {
          EXPECT_FALSE(qobject_cast<QMdiSubWindow*>(OuterWidget(b))->widget()->isEnabled()) << "its thread's other window";
          EXPECT_TRUE(qobject_cast<QMdiSubWindow*>(OuterWidget(a))->widget()->isEnabled()) << "another thread's child";
          EXPECT_TRUE(qobject_cast<QMainWindow*>(OuterWidget(f))->menuBar()->isEnabled()) << "another thread's frame";
        });
        user.Click(m, 1);
        EXPECT_TRUE(user.WaitForWindowClosed(m));
        user.WaitForWindow("Child B");
        user.OnQt([&] { EXPECT_TRUE(qobject_cast<QMdiSubWindow*>(OuterWidget(b))->widget()->isEnabled()); });

        // The toolbar acts on the active child, on that child's thread.
        user.OnQt([&] { OuterWidget(f)->findChild<QMdiArea*>()->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(OuterWidget(b))); });
        user.WaitForWindow("Child B");
        eventsA.Take(), eventsB.Take();
        user.OnQt([&] {
          auto* toolbar = OuterWidget(f)->findChild<QToolBar*>();
          QWidget* button = toolbar ? toolbar->findChild<QToolButton*>(qt::ControlName(insert)) : nullptr;
          ASSERT_TRUE(button);
          EXPECT_EQ(button->toolTip().toStdString(), "Insert a record");
          QTest::mouseClick(button, Qt::LeftButton);
        });
        user.WaitForWindow("Child B");
        EXPECT_EQ(eventsB.Take(), (Strings{"Accepted:3001"}));
        EXPECT_TRUE(eventsA.Take().empty());
        const Strings seenByFrame = frameEvents.Take();
        EXPECT_EQ(std::count(seenByFrame.begin(), seenByFrame.end(), "Accepted:3001"), 0) << "the frame's thread got the press";

        // Closing the frame closes every thread's windows: the X session test closes it as a user.
        user.OnQt([&] { Save(OuterWidget(f)->grab().toImage(), "frame_with_children.png"); });
      });
  EXPECT_EQ(exitCode, 0);
}

// ---- Message boxes and the stop dialog as Qt shows them ----

// The native box shows the program's title, icon and buttons in its order, and Esc presses
// Cancel. Boxes are not nested event loops: the box opened first is answered first and its
// thread goes on while a later box stays open. The stop dialog goes on when asked; Esc is its go-on button.
TEST_F(QtWindows, BoxesShowTheRequestAndAreAnsweredInAnyOrderAndTheStopDialogGoesOn) {
  std::atomic<Long> result{-1}, later{-1};
  std::atomic<int> wentOn{0};
  std::promise<void> firstShown;
  const int exitCode = Play(
      [&, shown = firstShown.get_future().share()] {
        Start([&, shown] {
          shown.wait_for(10s);
          later = MessageBox("Later", "Two", "", "6");
        });
        result = MessageBox("Save the changes?", "Editor", "ICON:Exclamation", "&Yes|&No|&Cancel", 2);
        Stop("Leave the demo?");
        ++wentOn;
      },
      [&](QtUser& user) {
        OnBox(user, qt::kMessageBoxName, "Save the changes?", [&](QMessageBox& box) {
          EXPECT_EQ(box.windowTitle().toStdString(), "Editor");
          EXPECT_EQ(box.icon(), QMessageBox::Warning);
          const auto button = [&](int value) { return box.findChild<QPushButton*>(qt::kMessageBoxButtonPrefix + QString::number(value)); };
          ASSERT_TRUE(button(1) && button(2) && button(3));
          EXPECT_EQ(button(1)->text().toStdString(), "&Yes");
          EXPECT_TRUE(button(1)->x() < button(2)->x() && button(2)->x() < button(3)->x()) << "buttons keep the program's order";
          EXPECT_EQ(box.defaultButton(), button(2));
          EXPECT_GT(ColourCount(box.grab().toImage()), 2u) << "the box is blank";
        });
        firstShown.set_value();
        OnBox(user, qt::kMessageBoxName, "Later", [](QMessageBox&) {});
        OnBox(user, qt::kMessageBoxName, "Save the changes?", [](QMessageBox& box) { QTest::keyClick(&box, Qt::Key_Escape); });
        user.Poll([&] { return result != -1; }, "the first box's answer never reached its thread");
        EXPECT_EQ(later, -1) << "answering the first box closed the later one";
        OnBox(user, qt::kStopDialogName, "Leave the demo?", [](QMessageBox& dialog) {
          EXPECT_EQ(dialog.windowTitle().toStdString(), "Stop");
          auto* goOn = dialog.findChild<QPushButton*>(qt::kStopGoOnName);
          EXPECT_TRUE(dialog.findChild<QPushButton*>(qt::kStopEndProgramName));
          EXPECT_EQ(dialog.escapeButton(), goOn);
          if (goOn) goOn->click();
        });
        user.AnswerMessageBox("Later", "&Yes");
      });
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(result, 3);
  EXPECT_EQ(later, BUTTON_YES);
  EXPECT_EQ(wentOn, 1);
}

// The Qt thread itself may raise a box (it is not a program thread); waiting there for an answer
// that only its own event loop can deliver must not deadlock.
TEST_F(QtWindows, AMessageBoxRaisedOnTheQtThreadIsServedThere) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  QTimer poll;
  poll.setInterval(5);
  QObject::connect(&poll, &QTimer::timeout, [&] {
    if (QMessageBox* box = OpenBox(qt::kMessageBoxName, "Raised on the Qt thread")) {
      box->findChild<QPushButton*>(qt::kMessageBoxButtonPrefix + QString::number(BUTTON_RETRY))->click();
      poll.stop();
    } else if (std::chrono::steady_clock::now() > deadline) {
      ADD_FAILURE() << "the box did not appear in time";
      poll.stop();
    }
  });
  poll.start();
  EXPECT_EQ(Thread(), 0);
  EXPECT_EQ(MessageBox("Raised on the Qt thread", "Direct", "", "24"), BUTTON_RETRY);
}

TEST(QtDialogs, IconNamesMapToStandardIcons) {
  const struct { std::string_view name; QMessageBox::Icon expected; } kCases[] = {
      {"ICON:Question", QMessageBox::Question}, {"icon:question", QMessageBox::Question},  // 1, 2: any letter case
      {"ICON:Exclamation", QMessageBox::Warning}, {"ICON:Hand", QMessageBox::Critical},      // 3, 4
      {"ICON:Asterisk", QMessageBox::Information}, {"", QMessageBox::NoIcon},                // 5, 6: none asked for
      {"ICON:Save", QMessageBox::NoIcon},                                                    // 7: no standard icon
      {{"\xFF\x01\x03\x7F", 4}, QMessageBox::Warning},      // 8: the stock icons named by four bytes
      {{"\xFF\x01\x04\x7F", 4}, QMessageBox::Information}, {{"\xFF\x01\x01\x7F", 4}, QMessageBox::Critical},  // 9, 10
      {{"\xFF\x01\x09\x7F", 4}, QMessageBox::NoIcon}, {{"\xFF\x01\x03", 3}, QMessageBox::NoIcon},  // 11: no such; 12: cut short
  };
  for (std::size_t i = 0; i < std::size(kCases); ++i) EXPECT_EQ(qt::IconFor(kCases[i].name), kCases[i].expected) << i + 1;
}

// ---- RunProgram never waits for ever ----

// The event loop ends from outside while one thread waits in a message box and another in its
// window's accept loop: the box returns its escape value, the window gets close-down, and
// RunProgram returns once both threads have ended.
TEST_F(QtWindows, RunProgramEndsItsThreadsWhenTheEventLoopIsEndedFromOutside) {
  std::atomic<Long> answer{-1};
  Recorder events;
  WindowDef def = Def("Waiting");
  def.Add(ControlDef::Button("&OK"));
  std::promise<void> boxRaised;
  std::future<void> raised = boxRaised.get_future();
  std::thread quitter([&] {
    if (raised.wait_for(10s) != std::future_status::ready) return;
    std::this_thread::sleep_for(50ms);  // let the box reach the screen
    QMetaObject::invokeMethod(qApp, [] { QCoreApplication::exit(0); }, Qt::QueuedConnection);
  });
  const int exitCode = backend_->RunProgram([&] {
    Start([&] { RunWindow(def, events, [](Window&) {}); });
    boxRaised.set_value();
    answer = MessageBox("Nobody answers", "Q", "", "&Yes|&No", 2);
  });
  quitter.join();
  EXPECT_EQ(exitCode, 0);
  EXPECT_EQ(answer, MakeMessageBoxRequest("Nobody answers", "Q", "", "&Yes|&No", 2, 0).escapeValue)
      << "closed without a choice: the escape value";
  EXPECT_EQ(events.Take().back(), "CloseDown");
}

}  // namespace
}  // namespace rt::ui
