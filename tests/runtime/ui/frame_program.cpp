// A small program for the X session test: a frame on thread 1 and an MDI child on thread 2 with
// one entry. It prints what the child accepts and a last line when RunProgram returns, so the
// script can tell that typing reached the child and that the program ended by itself.

#include <cstdio>
#include <memory>

#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"
#include "runtime/ui/window.h"

namespace {

void Child() {
  rt::Long value = 0;
  rt::WindowDef def;
  def.title = "Child under X";
  def.kind = rt::WindowKind::MdiChild;
  def.width = 160;
  def.height = 60;
  const rt::Long entry = def.Add(rt::ControlDef::Entry("@n-10", rt::Bind(value)).At(6, 6, 60, 12));
  def.Add(rt::ControlDef::Button("&Ask").At(6, 24, 40, 14));  // the script's Tab leaves the entry for it
  rt::Window window(def);
  window.Open();
  while (window.Accept()) {
    if (rt::Event() == rt::EVENT_OpenWindow) {
      std::printf("child open\n");
      std::fflush(stdout);
    }
    if (rt::Event() == rt::EVENT_Accepted && rt::Field() == entry) {
      std::printf("accepted %d\n", static_cast<int>(value));
      std::fflush(stdout);
    }
  }
  std::printf("child closed\n");
  std::fflush(stdout);
}

void Frame() {
  rt::WindowDef def;
  def.title = "Frame under X";
  def.kind = rt::WindowKind::ApplicationFrame;
  def.width = 400;
  def.height = 250;
  def.Add(rt::ControlDef::MenuBar());
  const rt::Long menu = def.Add(rt::ControlDef::Menu("&Browse").In(-1));
  def.Add(rt::ControlDef::Item("E&xit").In(menu).StdClose());
  rt::Window window(def);
  window.Open();
  while (window.Accept())
    if (rt::Event() == rt::EVENT_OpenWindow) rt::Start(&Child);
}

}  // namespace

int main(int argc, char** argv) {
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeQtBackend(argc, argv);
  if (!backend->Start()) return 1;
  rt::ui::InstallBackend(backend.get());
  const int exitCode = backend->RunProgram(&Frame);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();
  std::printf("ended %d\n", exitCode);
  return exitCode;
}
