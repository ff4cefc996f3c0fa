// WindowTest: six buttons, each raising one kind of message box or stop dialog through the
// runtime (and so through the message log), and a line that tells where the log lies.

#include <string>

#include "app/globals.h"
#include "app/procedure_window.h"
#include "app/procedures.h"
#include "msglog/globals.h"
#include "runtime/core/dialogs.h"
#include "runtime/ui/events.h"
#include "runtime/ui/window.h"
#include "runtime/ui/window_def.h"

using rt::Byte;
using rt::ControlDef;
using rt::Long;

namespace {

enum TestControl : Long {
  kMessage1 = 1,
  kMessage2,
  kStop1,
  kStop2,
  kMessage3,
  kMessage4,
  kLogPath,
  kOk,
  kCancel,
};

rt::WindowDef WindowTestDef() {
  rt::WindowDef def;
  def.title = "Message Logs Test ...";
  def.font = "MS Sans Serif,8";
  def.modal = true;
  def.resizable = true;
  def.x = 40;
  def.y = 40;
  def.width = 420;
  def.height = 116;
  def.Add(ControlDef::Button("MESSAGE 1").At(8, 8, 76, 16));
  def.Add(ControlDef::Button("MESSAGE 2").At(94, 8, 76, 16));
  def.Add(ControlDef::Button("STOP 1").At(180, 8, 76, 16));
  def.Add(ControlDef::Button("STOP 2").At(8, 32, 76, 16));
  def.Add(ControlDef::Button("MESSAGE 3").At(94, 32, 76, 16));
  def.Add(ControlDef::Button("MESSAGE 4").At(180, 32, 76, 16));
  def.Add(ControlDef::String("see the message logs in ").At(8, 60, 404, 12).Font("Arial,10,bold"));
  // The Qt screen knows "OK" as a stock picture; Cancel's stock picture is the cross.
  def.Add(ControlDef::Button("&OK").At(298, 92, 54, 16).Icon("OK.ICO"));
  def.Add(ControlDef::Button("&Cancel").At(358, 92, 54, 16).Icon("ICON:Cross"));
  return def;
}

class ThisWindow final : public ProcedureWindow {
 public:
  ThisWindow(rt::Window& window, ToolbarClass& toolbar, ProcedureResizer& resizer)
      : ProcedureWindow("WindowTest", window, toolbar, &resizer) {}

  Byte Init() override {
    const Byte level = BeginInit(1);
    if (level != Level::Ok) return level;
    AddItem(kOk, Request == Request::Select ? Response::Cancelled : Response::Completed);
    AddItem(kCancel, Response::Cancelled);
    OpenAndPlace();
    return Level::Ok;
  }

  Byte TakeWindowEvent() override {
    const Byte result = WindowManager::TakeWindowEvent();
    if (TheWindow().CurrentEvent().code == rt::EVENT_OpenWindow)
      TheWindow().SetProp(kLogPath, rt::PROP_Text,
                          "See the message logs in: " + std::string(GLO_KESTROMSGLOG__NAME.Clipped()), 0);
    return result;
  }

  Byte TakeAccepted() override {
    const Byte result = WindowManager::TakeAccepted();
    const Long control = TheWindow().CurrentEvent().control;
    if (control < kMessage1 || control > kMessage4) return result;
    Update();
    switch (control) {
      case kMessage1: rt::MessageBox("Do you want to save ?", "Attention!", "", "6"); break;
      case kMessage2: rt::MessageBox("(2 + 3) ?", "Question!", "", "3|5|6|7"); break;
      case kStop1: rt::Stop(); break;
      case kStop2: rt::Stop("Error saving file..."); break;
      case kMessage3: rt::MessageBox("Are you sure to cancel this opration ?", "Question!", "", "Yes|No|Maybe"); break;
      case kMessage4:
        if (rt::MessageBox("Close this widnow ?", "Question!", "", "Accept|Cancel") == 1)
          TheWindow().Post(rt::EVENT_CloseWindow);
        break;
      default: break;
    }
    return result;
  }
};

}  // namespace

void WindowTest() { RunProcedure<ThisWindow>(WindowTestDef()); }
