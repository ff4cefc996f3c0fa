// LoginScreen: the user name every log entry carries. The entry edits GLO:USERNAME itself;
// "Accept" has no code of its own and closes the window by the standard close action.

#include <string>
#include <string_view>

#include "app/globals.h"
#include "app/procedure_window.h"
#include "app/procedures.h"
#include "msglog/globals.h"
#include "runtime/ui/binding.h"
#include "runtime/ui/window.h"
#include "runtime/ui/window_def.h"

using rt::Byte;
using rt::ControlDef;

namespace {

// GLO:USERNAME is read by other threads' log entries while this one edits it, so the entry
// goes through its guard: each read takes a copy, each accepted value is stored whole.
class UserNameBinding final : public rt::Binding {
 public:
  std::string Text() const override { return Load().Text(); }
  std::string Format(std::string_view picture) const override { return Load().Format(picture); }
  bool SetFromText(std::string_view plain) override {
    if (!Load().SetFromText(plain)) return false;
    GLO_USERNAME.Set(copy_.View());
    return true;
  }
  bool IsEmpty() const override { return Load().IsEmpty(); }

 private:
  rt::Binding& Load() const {
    copy_ = GLO_USERNAME.Get();
    return *inner_;
  }
  mutable rt::FixedString<20> copy_;
  const rt::BindingPtr inner_ = rt::Bind(copy_);
};

enum LoginControl : rt::Long { kUserPrompt = 1, kUserName, kAccept };

rt::WindowDef LoginDef() {
  rt::WindowDef def;
  def.title = "Login";
  def.font = "MS Sans Serif,8";
  def.modal = true;
  def.resizable = true;
  def.x = 60;
  def.y = 60;
  def.width = 170;
  def.height = 56;
  def.Add(ControlDef::String("User Name:").At(8, 12, 44, 10));
  def.Add(ControlDef::Entry("@s20", std::make_shared<UserNameBinding>()).At(56, 10, 104, 12));
  def.Add(ControlDef::Button("Accept").At(110, 32, 50, 14).Default().StdClose());
  return def;
}

class ThisWindow final : public ProcedureWindow {
 public:
  ThisWindow(rt::Window& window, ToolbarClass& toolbar, ProcedureResizer& resizer)
      : ProcedureWindow("LoginScreen", window, toolbar, &resizer) {}

  Byte Init() override {
    const Byte level = BeginInit(1);  // the string hands the focus on to the entry
    if (level != Level::Ok) return level;
    GLO_USERNAME.Set("DemoUser");
    OpenAndPlace();
    return Level::Ok;
  }
};

}  // namespace

void LoginScreen() { RunProcedure<ThisWindow>(LoginDef()); }
