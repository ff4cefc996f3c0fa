#pragma once
// The Qt 6 Widgets Backend: real windows and dialogs, all made and touched on the Qt (main) thread.
// Owns the QApplication it creates and every widget it shows; owns no program threads (runtime/core
// starts them). Calls runtime/core and Qt; no Qt type appears in this header.

#include <memory>

namespace rt::ui {

class Backend;

// `argc` and `argv` go to the QApplication that Start creates and must outlive the backend.
// The platform (xcb, offscreen, ...) is the caller's choice, made before Start.
std::unique_ptr<Backend> MakeQtBackend(int& argc, char** argv);

}  // namespace rt::ui
