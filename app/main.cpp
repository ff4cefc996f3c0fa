// quibbet_demo: the product's entry. Qt owns this (the process's main) thread; the program
// itself runs on program thread 1 and reaches Qt only through the backend.

#include <cstdio>
#include <memory>

#include "app/globals.h"
#include "app/program.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"

int main(int argc, char** argv) {
  ProcessAttach();
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeQtBackend(argc, argv);
  if (!backend->Start()) {
    std::fprintf(stderr, "quibbet_demo: the windowing system could not be started\n");
    return 1;
  }
  rt::ui::InstallBackend(backend.get());
  const int exitCode = backend->RunProgram(&ProgramEntry);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();
  return exitCode;
}
