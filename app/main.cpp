// quibbet_demo: the product's entry. Qt owns this (the process's main) thread; the program
// itself runs on program thread 1 and reaches Qt only through the backend.

#include <QGuiApplication>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

#include "app/command_line.h"
#include "app/globals.h"
#include "app/program.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"

// The desktop entry's id, so that the desktop shows the menu entry's icon and name for our windows.
#ifndef QUIBBET_DESKTOP_ID
#error "the build gives the desktop entry's id"
#endif

int main(int argc, char** argv) {
  const CommandLine commandLine = ReadCommandLine(argc, argv);
  if (!commandLine.run) return commandLine.exitCode;
  // The data file and the INI file are named relative to the current directory.
  if (!commandLine.dataDir.empty() && ::chdir(commandLine.dataDir.c_str()) != 0) {
    std::fprintf(stderr, "quibbet_demo: --data-dir %s: %s\n", commandLine.dataDir.c_str(), std::strerror(errno));
    return 2;
  }
  QGuiApplication::setDesktopFileName(QUIBBET_DESKTOP_ID);

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
