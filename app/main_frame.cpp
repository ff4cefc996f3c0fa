// Main: the application frame. Its window opens, then the start-up sequence runs on the
// frame's own thread (login, greeting, message test window) before the menu is served.

#include "app/globals.h"
#include "app/procedure_window.h"
#include "app/procedures.h"
#include "app/program.h"
#include "runtime/core/thread.h"
#include "runtime/ui/events.h"
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
  kExit = -5,
};

// A window property the runtime keeps for the frame; the frame clears it once open.
constexpr Long kFrameProperty7900 = 0x7900;

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
    return level;
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
      default: break;
    }
    return WindowManager::TakeAccepted();
  }
};

}  // namespace

void Main() {
  rt::Window frame(AppFrameDef());
  ToolbarClass toolbar;
  ThisWindow manager(frame, toolbar);
  *GlobalResponse = manager.Run();
}
