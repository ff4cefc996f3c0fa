// Main: the application frame. Its window opens, then the start-up sequence runs on the
// frame's own thread (login, greeting, message test window) before the menu is served.

#include <optional>
#include <string>

#include "app/globals.h"
#include "app/procedure_window.h"
#include "app/procedures.h"
#include "app/program.h"
#include "msglog/globals.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/events.h"
#include "runtime/ui/property_holder.h"
#include "runtime/ui/window.h"
#include "runtime/ui/window_def.h"

using rt::Byte;
using rt::ControlDef;
using rt::Long;

namespace {

enum MenuControl : Long {
  kMenuBar = -1,
  kBrowseMenu = -2,
  kBrowseWindowTest = -3,
  kBrowseAFile = -4,
  kMessageLog = -5,
  kExit = -6,
};

// A window property the runtime keeps for the frame; the frame clears it once open.
constexpr Long kFrameProperty7900 = 0x7900;
// The notify code that wakes the frame when another thread lost a message-log entry.
constexpr Long kLogLossNotify = 0x4C4F;

rt::WindowDef AppFrameDef() {
  rt::WindowDef def;
  def.kind = rt::WindowKind::ApplicationFrame;
  def.title = "Kestro Quibbet demo v1.0 -  Nov/01/2019 - https://quibbet.example";
  def.font = "MS Sans Serif,8";
  def.icon = "APPFRAME.ICO";
  def.resizable = true;
  def.statusBar = true;
  def.width = 480;
  def.height = 300;
  def.Add(ControlDef::MenuBar());
  def.Add(ControlDef::Menu("&Browse").In(kMenuBar));
  def.Add(ControlDef::Item("Window Test").In(kBrowseMenu));
  def.Add(ControlDef::Item("Browse AFile").In(kBrowseMenu).Status("Browse the AFile file"));
  def.Add(ControlDef::Item("Message Log").In(kBrowseMenu).Status("Read the message log"));
  def.Add(ControlDef::Item("Exit").In(kBrowseMenu).StdClose());
  return def;
}

// Each browse runs on a thread of its own, so several can be open beside the frame.
constexpr rt::Long kBrowseThreadStack = 50000;

class ThisWindow final : public ProcedureWindow {
 public:
  ThisWindow(rt::Window& frame, ToolbarClass& toolbar) : ProcedureWindow("Main", frame, toolbar) {}

  Byte Init() override {
    const Byte level = BeginInit(1);
    if (level != Level::Ok) return level;
    OpenAndPlace();
    TheWindow().SetProp(kFrameProperty7900, "0");
    // The status bar says when the message log is not being written. The frame's window is
    // touched only on its own thread; another thread's loss wakes it with a notify, and any
    // event of the frame shows a notice it has not shown yet.
    logLoss_.emplace(GLO_MessageLogLoss, [thread = rt::Thread(), this](const std::string&) {
      if (rt::Thread() == thread) ShowLogLoss();
      else rt::Notify(kLogLossNotify, thread);
    });
    return level;
  }

  Byte Kill() override {
    logLoss_.reset();
    return ProcedureWindow::Kill();
  }

  Byte TakeEvent() override {
    if (logLoss_) ShowLogLoss();
    return WindowManager::TakeEvent();
  }

  Byte TakeWindowEvent() override {
    const Byte result = WindowManager::TakeWindowEvent();
    if (TheWindow().CurrentEvent().code == rt::EVENT_OpenWindow) {
      LoginScreen();
      ShowGreeting();
      WindowTest();
    }
    return result;
  }

  Byte TakeAccepted() override {
    switch (TheWindow().CurrentEvent().control) {
      case kBrowseWindowTest: WindowTest(); break;
      case kBrowseAFile: rt::Start(BrowseAFile, kBrowseThreadStack); break;
      case kMessageLog: rt::Start(MessageLogWindow, kBrowseThreadStack); break;
      default: break;
    }
    return WindowManager::TakeAccepted();
  }

 private:
  void ShowLogLoss() {
    // The notice changes when the log server is lost and back: show each once.
    std::string notice = GLO_MessageLogLoss.Notice();
    if (notice.empty() || notice == logLossShown_) return;
    TheWindow().SetProp(rt::PROP_StatusText, notice);
    logLossShown_ = std::move(notice);
  }

  std::optional<LogLossSubscription> logLoss_;
  std::string logLossShown_;
};

}  // namespace

void Main() {
  rt::Window frame(AppFrameDef());
  ToolbarClass toolbar;
  ThisWindow manager(frame, toolbar);
  *GlobalResponse = manager.Run();
}
