#pragma once
// Builds the runtime's two dialogs as Qt widgets; internal to runtime/ui/qt.
// Owns nothing once a dialog is returned: the caller shows it and decides when it goes.
// Calls Qt Widgets only; runs on the Qt thread.

#include <memory>
#include <string_view>

#include <QMessageBox>

#include "runtime/core/dialogs.h"

namespace rt::ui::qt {

// Object names that tests and tools look for.
inline constexpr char kMessageBoxName[] = "rtMessageBox";
inline constexpr char kMessageBoxButtonPrefix[] = "rtButton_";  // + the button's value
inline constexpr char kStopDialogName[] = "rtStopDialog";
inline constexpr char kStopEndProgramName[] = "rtStopEndProgram";
inline constexpr char kStopGoOnName[] = "rtStopGoOn";

// The runtime's icon name mapped to a standard icon; NoIcon for a name it does not know.
QMessageBox::Icon IconFor(std::string_view icon);

// A box whose buttons carry their runtime value; not yet shown.
std::unique_ptr<QMessageBox> CreateMessageBox(const MessageBoxRequest& request);
std::unique_ptr<QMessageBox> CreateStopDialog(const StopRequest& request);

// What the finished box returns: the clicked button's value, `escapeValue` when none was clicked.
Long AnswerOf(const QMessageBox& box, Long escapeValue);

// Stop answers as button values.
inline constexpr Long kStopEndProgramValue = 1;
inline constexpr Long kStopGoOnValue = 0;

}  // namespace rt::ui::qt
