#pragma once
// Internal to runtime/ui/qt: how the runtime's values look and sound in Qt. Window units to
// pixels, fonts by the runtime's names, icons by the runtime's names, Qt key events to the
// runtime's key codes, and the object names tests look for. Owns no widgets; Qt thread only.

#include <QFont>
#include <QIcon>
#include <QString>

#include <string_view>

#include "runtime/core/types.h"

class QKeyEvent;

namespace rt::ui::qt {

// Object names: the window's outer widget is "rtWindow_<id>", each control "rtControl_<n>"
// (a negative n for menus and items keeps its sign).
inline constexpr char kWindowNamePrefix[] = "rtWindow_";
inline constexpr char kControlNamePrefix[] = "rtControl_";
inline constexpr char kPopupName[] = "rtPopup";
QString ControlName(Long control);

QString FromUtf8(std::string_view text);

// Window units: a quarter of the average character width across, an eighth of its height down.
int PixelsX(Long units);
int PixelsY(Long units);
Long UnitsX(int pixels);
Long UnitsY(int pixels);

// "name,size[,bold]" as a QFont; the old Windows sans names map to the desktop's sans font.
QFont FontFor(std::string_view font);

// An icon by the runtime's name ("ICON:Save", "SAVE.ICO", a file path); a null icon for "".
// Stock names come from the desktop's freely licensed icon theme when installed, else we draw them.
QIcon IconNamed(std::string_view name);

// Loads what the first window would otherwise load while being built: the font engine and
// the style's stock icons. Done while the program thread starts, so the two overlap.
void WarmUp();

// The runtime's key code (base + 256 Shift + 512 Ctrl + 1024 Alt) of a key press; 0 for a key
// the runtime has no code for (a bare modifier).
Long KeyCodeOf(const QKeyEvent& event);

}  // namespace rt::ui::qt
