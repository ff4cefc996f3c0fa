#include "runtime/ui/qt/qt_backend.h"

#include <QApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "runtime/core/assert.h"
#include "runtime/core/thread.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_dialogs.h"

namespace rt::ui {

namespace {

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
    std::thread watcher([&loop] {
      while (!WaitForStartedThreads(1s)) {
      }
      QMetaObject::invokeMethod(&loop, [&loop] { loop.quit(); }, Qt::QueuedConnection);
    });
    loop.exec();
    watcher.join();
    return 0;
  }

  // ---- Dialogs (any thread) ----

  // Shows the dialog on the Qt thread and waits for its answer on the calling thread.
  Long Raise(BuildDialog build, Long escapeValue) {
    std::shared_ptr<PendingAnswer> pending = std::make_shared<PendingAnswer>(escapeValue);
    const bool onQtThread = OnQtThread();
    {
      std::lock_guard lock(mutex_);
      if (!started_) {
        std::fprintf(stderr, "Qt backend: dialog raised while stopped; it returns its escape value\n");
        return escapeValue;
      }
      pending_.push_back(pending);
      if (!onQtThread)
        QMetaObject::invokeMethod(
            anchor_.get(), [this, pending, build = std::move(build)] { Show(build, pending); }, Qt::QueuedConnection);
    }
    if (onQtThread) {
      // A dialog raised on the Qt thread itself: keep serving events here until it is answered.
      Show(build, pending);
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
  void Show(const BuildDialog& build, const std::shared_ptr<PendingAnswer>& pending) {
    if (pending->IsSet()) return;
    std::unique_ptr<QMessageBox> made = build();
    QMessageBox* box = made.release();  // owned by boxes_ until answered, then by Qt's deferred deletion
    std::erase_if(boxes_, [](const QPointer<QMessageBox>& tracked) { return tracked.isNull(); });
    boxes_.emplace_back(box);
    QObject::connect(box, &QDialog::finished, box, [this, box, pending] {
      Finish(pending, qt::AnswerOf(*box, pending->EscapeValue()));
      box->deleteLater();
    });
    box->open();
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

  mutable std::mutex mutex_;
  bool started_ = false;
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
