#include "runtime/ui/backend.h"

#include <atomic>

namespace rt::ui {

namespace {
// The process's one installed backend (set by the program entry or a test).
std::atomic<Backend*> gInstalled{nullptr};
}  // namespace

void InstallBackend(Backend* backend) {
  gInstalled = backend;
  SetDialogHost(backend);
}

Backend* InstalledBackend() { return gInstalled.load(); }

}  // namespace rt::ui
