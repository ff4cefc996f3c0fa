#include "runtime/ui/qt/qt_backend.h"

#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QMenu>
#include <QMetaObject>
#include <QPointer>
#include <QThread>
#include <QScreen>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "runtime/core/assert.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/input_sink.h"
#include "runtime/ui/qt/qt_dialogs.h"
#include "runtime/ui/qt/qt_look.h"
#include "runtime/ui/qt/qt_screen.h"

namespace rt::ui {

namespace {

// The popup position a caller gives when the runtime is to choose it.
constexpr Long kPopupDefaultPosition = static_cast<Long>(0x80000000u);

using namespace std::chrono_literals;

// The answer a program thread waits for. Set once: by the dialog, or by Stop with the escape value.
class PendingAnswer {
 public:
  explicit PendingAnswer(Long escapeValue) : escapeValue_(escapeValue), future_(promise_.get_future()) {}

  void Set(Long value) {
    if (!set_.exchange(true)) promise_.set_value(value);
  }
  void SetEscape() { Set(escapeValue_); }
  bool IsSet() const { return set_; }
  Long EscapeValue() const { return escapeValue_; }
  Long Wait() { return future_.get(); }

 private:
  const Long escapeValue_;
  std::atomic<bool> set_{false};
  std::promise<Long> promise_;
  std::future<Long> future_;
};

using BuildDialog = std::function<std::unique_ptr<QMessageBox>()>;

// How long RunProgram keeps serving program threads after its event loop was ended from
// outside (not by the last thread ending) before it gives up on them.
constexpr auto kAbandonAfter = std::chrono::seconds(5);

void AddEntries(QMenu& menu, const std::vector<PopupEntry>& entries) {
  for (const PopupEntry& entry : entries) {
    if (entry.separator) {
      menu.addSeparator();
    } else if (!entry.children.empty()) {
      AddEntries(*menu.addMenu(qt::FromUtf8(entry.text)), entry.children);
    } else {
      QAction* action = menu.addAction(qt::FromUtf8(entry.text));
      action->setData(QVariant::fromValue<qint32>(entry.number));
      action->setEnabled(!entry.disabled);
      if (entry.checked || entry.unchecked) {
        action->setCheckable(true);
        action->setChecked(entry.checked);
      }
    }
  }
}

// Everything the Qt backend holds. Widgets are touched on the Qt thread only; `mutex_` guards
// what program threads read too (started_, pending_).
class QtState {
 public:
  QtState(int& argc, char** argv) : argc_(argc), argv_(argv) {}
  QtState(const QtState&) = delete;
  QtState& operator=(const QtState&) = delete;
  ~QtState() { Stop(); }

  // ---- Lifecycle (Qt thread) ----

  bool Start() {
    std::lock_guard lock(mutex_);
    if (started_) {
      RT_ASSERT(false, "Qt backend started twice; call Stop before starting it again");
      return false;
    }
    if (!QCoreApplication::instance()) {
      ownedApp_ = std::make_unique<QApplication>(argc_, argv_);
    } else if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
               QCoreApplication::instance()->thread() != QThread::currentThread()) {
      RT_ASSERT(false, "Qt backend started beside a QCoreApplication or off its thread; start it on the main thread");
      return false;
    }
    // Closing the last message box must not end the event loop that serves the program.
    quitOnLastWindowClosed_ = QApplication::quitOnLastWindowClosed();
    QApplication::setQuitOnLastWindowClosed(false);
    anchor_ = std::make_unique<QObject>();
    screen_ = std::make_unique<qt::Screen>();
    started_ = true;
    return true;
  }

  void Stop() {
    {
      std::lock_guard lock(mutex_);
      if (!started_) return;
      started_ = false;
      for (const auto& pending : pending_) pending->SetEscape();
      pending_.clear();
      anchor_.reset();  // drops marshalled calls not yet run
    }
    for (const QPointer<QMessageBox>& box : boxes_) {
      if (!box) continue;
      box->disconnect();  // its answer was given above; a late finished() must not reach us
      delete box.data();
    }
    boxes_.clear();
    for (const QPointer<QMenu>& menu : popups_) delete menu.data();
    popups_.clear();
    screen_.reset();
    QApplication::setQuitOnLastWindowClosed(quitOnLastWindowClosed_);
    ownedApp_.reset();
  }

  bool IsStarted() const {
    std::lock_guard lock(mutex_);
    return started_;
  }

  // ---- Running the program (Qt thread) ----

  int RunProgram(std::function<void()> entry) {
    if (!IsStarted()) {
      RT_ASSERT(false, "RunProgram on a Qt backend that was not started; call Start first");
      return kRunProgramRefusedExitCode;
    }
    if (!OnQtThread()) {
      RT_ASSERT(false, "RunProgram called off the Qt thread; call it from the thread that called Start");
      return kRunProgramRefusedExitCode;
    }
    QEventLoop loop;
    rt::Start(std::move(entry));
    qt::WarmUp();
    std::atomic<bool> stopWatching{false};
    std::thread watcher([&loop, &stopWatching] {
      while (!stopWatching && !WaitForStartedThreads(100ms)) {
      }
      if (!stopWatching) QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    bool ended = WaitForStartedThreads(0ms);
    if (!ended) ended = WindUp();
    stopWatching = true;
    watcher.join();
    return ended ? 0 : kRunProgramAbandonedExitCode;
  }

  // The event loop was ended from outside while program threads still run, perhaps waiting for
  // the UI: their dialogs are answered with the escape value, every window is asked to close,
  // and the UI is served a while longer so they can. True when every thread ended.
  bool WindUp() {
    {
      std::lock_guard lock(mutex_);
      windingUp_ = true;
      for (const auto& pending : pending_) pending->SetEscape();
      pending_.clear();
    }
    for (const QPointer<QMessageBox>& box : boxes_)
      if (box) box->hide();
    for (const QPointer<QMenu>& menu : popups_)
      if (menu) menu->close();
    if (screen_) screen_->CloseDownAll();
    const auto deadline = std::chrono::steady_clock::now() + kAbandonAfter;
    bool ended = false;
    while (!(ended = WaitForStartedThreads(0ms)) && std::chrono::steady_clock::now() < deadline)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!ended) std::fprintf(stderr, "Qt backend: program threads did not end after the UI closed; leaving them\n");
    std::lock_guard lock(mutex_);
    windingUp_ = false;
    return ended;
  }

  // ---- Windows (any thread; run on the Qt thread in the order called) ----

  void OnQt(std::function<void(qt::Screen&)> call) {
    if (OnQtThread()) {
      if (IsStarted() && screen_) call(*screen_);
      return;
    }
    std::lock_guard lock(mutex_);
    if (!started_) return;
    QMetaObject::invokeMethod(
        anchor_.get(), [this, call = std::move(call)] { if (screen_) call(*screen_); }, Qt::QueuedConnection);
  }

  // Calling program thread; blocks it until the user chooses or dismisses the menu.
  Long Popup(const std::vector<PopupEntry>& menu, Long x, Long y) {
    auto pending = std::make_shared<PendingAnswer>(0);
    {
      std::lock_guard lock(mutex_);
      if (!started_ || windingUp_ || OnQtThread()) return 0;
      pending_.push_back(pending);
      QMetaObject::invokeMethod(
          anchor_.get(), [this, menu, x, y, pending, thread = Thread()] { ShowPopup(menu, thread, x, y, pending); },
          Qt::QueuedConnection);
    }
    return pending->Wait();
  }

  // ---- Dialogs (any thread) ----

  // Shows the dialog on the Qt thread and waits for its answer on the calling thread.
  Long Raise(BuildDialog build, Long escapeValue) {
    std::shared_ptr<PendingAnswer> pending = std::make_shared<PendingAnswer>(escapeValue);
    const bool onQtThread = OnQtThread();
    {
      std::lock_guard lock(mutex_);
      if (!started_ || windingUp_) {
        std::fprintf(stderr, "Qt backend: dialog raised while stopped; it returns its escape value\n");
        return escapeValue;
      }
      pending_.push_back(pending);
      if (!onQtThread)
        QMetaObject::invokeMethod(
            anchor_.get(), [this, pending, build = std::move(build), thread = Thread()] { Show(build, pending, thread); },
            Qt::QueuedConnection);
    }
    if (onQtThread) {
      // A dialog raised on the Qt thread itself: keep serving events here until it is answered.
      Show(build, pending, Thread());
      while (!pending->IsSet()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return pending->Wait();
  }

 private:
  static bool OnQtThread() {
    return QCoreApplication::instance() && QCoreApplication::instance()->thread() == QThread::currentThread();
  }

  // Qt thread. Opens the box without a nested loop, so any number of boxes can be open at once and
  // answering one never waits for another.
  void Show(const BuildDialog& build, const std::shared_ptr<PendingAnswer>& pending, Long thread) {
    if (pending->IsSet()) return;
    // A window still waiting for its queued changes shows first, so the box opens over it.
    if (screen_) screen_->ShowPendingWindows();
    std::unique_ptr<QMessageBox> made = build();
    QMessageBox* box = made.release();  // owned by boxes_ until answered, then by Qt's deferred deletion
    std::erase_if(boxes_, [](const QPointer<QMessageBox>& tracked) { return tracked.isNull(); });
    boxes_.emplace_back(box);
    QObject::connect(box, &QDialog::finished, box, [this, box, pending] {
      Finish(pending, qt::AnswerOf(*box, pending->EscapeValue()));
      box->deleteLater();
    });
    box->open();  // a box settles its size as it shows: placed after
    PlaceOver(*box, screen_ ? screen_->NewestOuterWidget(thread) : nullptr);
  }

  // Qt thread. Centres a box over the window that raised it, kept on that window's screen. The
  // box has no parent: a parent would block every thread's windows in the frame, not only the
  // raising thread's.
  static void PlaceOver(QWidget& box, const QWidget* raiser) {
    if (!raiser) return;
    const QRect over(raiser->mapToGlobal(QPoint(0, 0)), raiser->size());
    QRect placed(QPoint(0, 0), box.frameGeometry().size());
    placed.moveCenter(over.center());
    if (const QScreen* screen = raiser->screen()) {
      const QRect room = screen->availableGeometry();
      placed.moveLeft(std::clamp(placed.left(), room.left(), std::max(room.left(), room.right() - placed.width() + 1)));
      placed.moveTop(std::clamp(placed.top(), room.top(), std::max(room.top(), room.bottom() - placed.height() + 1)));
    }
    box.move(placed.topLeft());
  }

  // Qt thread. The menu answers once: a chosen entry's number, else 0 when it closes.
  void ShowPopup(const std::vector<PopupEntry>& entries, Long thread, Long x, Long y,
                 const std::shared_ptr<PendingAnswer>& pending) {
    if (pending->IsSet()) return;
    if (screen_) screen_->ShowPendingWindows();  // placed in the window it belongs to, once shown
    auto* menu = new QMenu;  // deleted once closed (deleteLater below), or by Stop
    menu->setObjectName(qt::kPopupName);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    AddEntries(*menu, entries);
    std::erase_if(popups_, [](const QPointer<QMenu>& tracked) { return tracked.isNull(); });
    popups_.emplace_back(menu);
    QObject::connect(menu, &QMenu::triggered, menu, [this, pending](QAction* action) {
      Finish(pending, action->data().value<qint32>());
    });
    // Hiding comes before the triggered signal: decide only once both have had their turn.
    QObject::connect(menu, &QMenu::aboutToHide, menu, [this, pending] {
      QTimer::singleShot(0, anchor_.get(), [this, pending] { Finish(pending, 0); });
    });
    // At the given place in the calling thread's top window; a coordinate that is 0 or the
    // runtime's default (80000000h) is the mouse's.
    QPoint at = QCursor::pos();
    const auto given = [](Long v) { return v != 0 && v != kPopupDefaultPosition; };
    if (given(x) || given(y)) {
      if (const std::optional<QPoint> place = screen_->GlobalPosition(thread, given(x) ? x : 0, given(y) ? y : 0)) {
        if (given(x)) at.setX(place->x());
        if (given(y)) at.setY(place->y());
      }
    }
    menu->popup(at);
  }

  void Finish(const std::shared_ptr<PendingAnswer>& pending, Long value) {
    {
      std::lock_guard lock(mutex_);
      std::erase(pending_, pending);
    }
    pending->Set(value);
  }

  int& argc_;
  char** argv_;
  std::unique_ptr<QApplication> ownedApp_;  // null when the process already had one
  bool quitOnLastWindowClosed_ = true;
  std::vector<QPointer<QMessageBox>> boxes_;  // Qt thread only
  std::vector<QPointer<QMenu>> popups_;       // Qt thread only
  std::unique_ptr<qt::Screen> screen_;        // made on the Qt thread, used there only

  mutable std::mutex mutex_;
  bool started_ = false;
  bool windingUp_ = false;  // RunProgram is closing down after its loop ended: no new dialogs
  std::unique_ptr<QObject> anchor_;  // lives on the Qt thread; marshalled calls run in its context
  std::vector<std::shared_ptr<PendingAnswer>> pending_;  // raised and not yet answered
};

class QtBackend final : public Backend {
 public:
  QtBackend(int& argc, char** argv) : state_(argc, argv) {}

  bool Start() override { return state_.Start(); }
  void Stop() override { state_.Stop(); }
  bool IsStarted() const override { return state_.IsStarted(); }
  int RunProgram(std::function<void()> entry) override { return state_.RunProgram(std::move(entry)); }

  Long ShowMessageBox(const MessageBoxRequest& request) override {
    return state_.Raise([request] { return qt::CreateMessageBox(request); }, request.escapeValue);
  }

  void CreateWindow(const WindowView& view) override {
    state_.OnQt([view](qt::Screen& screen) { screen.CreateWindow(view); });
  }
  void DestroyWindow(WindowId window) override {
    state_.OnQt([window](qt::Screen& screen) { screen.DestroyWindow(window); });
  }
  void CreateControl(WindowId window, const ControlView& control) override {
    state_.OnQt([window, control](qt::Screen& screen) { screen.CreateControl(window, control); });
  }
  void DestroyControl(WindowId window, Long control) override {
    state_.OnQt([window, control](qt::Screen& screen) { screen.DestroyControl(window, control); });
  }
  void SetProperty(WindowId window, Long control, const PropertyValue& value) override {
    state_.OnQt([window, control, value](qt::Screen& screen) { screen.SetProperty(window, control, value); });
  }
  void SetListRows(WindowId window, Long control, const ListRowsView& rows) override {
    state_.OnQt([window, control, rows](qt::Screen& screen) { screen.SetListRows(window, control, rows); });
  }
  void SetFocus(WindowId window, Long control) override {
    state_.OnQt([window, control](qt::Screen& screen) { screen.SetFocus(window, control); });
  }
  Long ShowPopup(const std::vector<PopupEntry>& menu, Long x, Long y) override { return state_.Popup(menu, x, y); }
  void SetWaitCursor(Long thread, bool on) override {
    state_.OnQt([thread, on](qt::Screen& screen) { screen.SetWaitCursor(thread, on); });
  }
  void Beep(Long, Long) override {
    state_.OnQt([](qt::Screen&) { QApplication::beep(); });
  }

  StopAnswer ShowStop(const StopRequest& request) override {
    const Long answer = state_.Raise([request] { return qt::CreateStopDialog(request); }, qt::kStopGoOnValue);
    return answer == qt::kStopEndProgramValue ? StopAnswer::EndProgram : StopAnswer::GoOn;
  }

 private:
  QtState state_;
};

}  // namespace

std::unique_ptr<Backend> MakeQtBackend(int& argc, char** argv) { return std::make_unique<QtBackend>(argc, argv); }

}  // namespace rt::ui
