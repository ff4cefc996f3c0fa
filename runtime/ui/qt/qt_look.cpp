#include "runtime/ui/qt/qt_look.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QPainter>
#include <QPixmap>
#include <QStringList>
#include <QStyle>

#include <cmath>
#include <map>

#include "runtime/ui/events.h"

namespace rt::ui::qt {

QString ControlName(Long control) { return QString(kControlNamePrefix) + QString::number(control); }

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// Fixed for an 8-point sans font, so that layouts do not depend on the machine's fonts.
namespace {
constexpr double kUnitX = 1.5;
constexpr double kUnitY = 1.625;
}  // namespace

int PixelsX(Long units) { return static_cast<int>(std::lround(units * kUnitX)); }
int PixelsY(Long units) { return static_cast<int>(std::lround(units * kUnitY)); }
Long UnitsX(int pixels) { return static_cast<Long>(std::lround(pixels / kUnitX)); }
Long UnitsY(int pixels) { return static_cast<Long>(std::lround(pixels / kUnitY)); }

void WarmUp() {
  (void)QFontMetrics(QApplication::font()).height();
  (void)QApplication::style()->standardIcon(QStyle::SP_ToolBarHorizontalExtensionButton);
}

QFont FontFor(std::string_view font) {
  QFont result = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
  const QStringList parts = FromUtf8(font).split(',');
  const QString name = parts.value(0).trimmed();
  static const QStringList kSansNames = {"MS Sans Serif", "Microsoft Sans Serif", "MS Shell Dlg", "MS Shell Dlg 2",
                                         "Tahoma", "Arial", "Segoe UI"};
  if (!name.isEmpty() && !kSansNames.contains(name, Qt::CaseInsensitive)) result.setFamily(name);
  bool sized = false;
  const int size = parts.value(1).trimmed().toInt(&sized);
  result.setPointSize(sized && size > 0 ? size : 8);
  if (parts.value(2).trimmed().compare("bold", Qt::CaseInsensitive) == 0 || parts.value(2).trimmed().toInt() >= 700)
    result.setBold(true);
  return result;
}

namespace {

// The runtime's stock names and the freedesktop names of the same pictures.
const std::map<QString, QString>& StockNames() {
  static const std::map<QString, QString> names = {
      {"new", "document-new"},      {"open", "document-open"},     {"save", "document-save"},
      {"print", "document-print"},  {"cut", "edit-cut"},           {"copy", "edit-copy"},
      {"paste", "edit-paste"},      {"insert", "list-add"},        {"delete", "edit-delete"},
      {"change", "document-edit"},  {"help", "help-browser"},      {"exit", "application-exit"},
      {"close", "window-close"},    {"find", "edit-find"},         {"undo", "edit-undo"},
      {"redo", "edit-redo"},        {"vcrfirst", "go-first"},      {"vcrlast", "go-last"},
      {"vcrprior", "go-previous"},  {"vcrnext", "go-next"},        {"tick", "object-select"},
      {"cross", "process-stop"},    {"question", "dialog-question"}, {"exclamation", "dialog-warning"},
      {"hand", "dialog-error"},     {"asterisk", "dialog-information"}, {"ok", "object-select"},
  };
  return names;
}

QIcon ThemeIcon(const QString& themeName) {
  QIcon icon;
  for (const char* size : {"16x16", "24x24", "32x32"}) {
    for (const char* folder : {"actions", "status", "apps", "places", "ui", "legacy"}) {
      for (const QString& file : {themeName + "-symbolic.symbolic.png", themeName + ".png"}) {
        const QString path = QString("/usr/share/icons/Adwaita/%1/%2/%3").arg(size, folder, file);
        if (QFile::exists(path)) icon.addFile(path);
      }
    }
  }
  return icon;
}

// Our own picture when no theme has one: the name's first letter on a tile.
QIcon DrawnIcon(const QString& name) {
  QPixmap pixmap(16, 16);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  const uint hash = qHash(name);
  painter.setBrush(QColor::fromHsv(static_cast<int>(hash % 360), 120, 200));
  painter.setPen(QColor(60, 60, 60));
  painter.drawRoundedRect(QRectF(0.5, 0.5, 15, 15), 3, 3);
  QFont font = painter.font();
  font.setPixelSize(11);
  font.setBold(true);
  painter.setFont(font);
  painter.setPen(Qt::black);
  painter.drawText(QRect(0, 0, 16, 16), Qt::AlignCenter, name.left(1).toUpper());
  return QIcon(pixmap);
}

}  // namespace

QIcon IconNamed(std::string_view name) {
  QString text = FromUtf8(name).trimmed();
  if (text.isEmpty()) return {};
  if (QFile::exists(text)) return QIcon(text);
  if (text.startsWith("ICON:", Qt::CaseInsensitive)) text = text.mid(5);
  text = text.section('.', 0, 0).toLower();  // "APPFRAME.ICO" -> "appframe"
  const auto stock = StockNames().find(text);
  if (stock != StockNames().end()) {
    QIcon themed = ThemeIcon(stock->second);
    if (!themed.isNull()) return themed;
  }
  return DrawnIcon(text);
}

Long KeyCodeOf(const QKeyEvent& event) {
  const int key = event.key();
  Long base = 0;
  if (key >= Qt::Key_A && key <= Qt::Key_Z) base = 'A' + (key - Qt::Key_A);
  else if (key >= Qt::Key_0 && key <= Qt::Key_9) base = '0' + (key - Qt::Key_0);
  else if (key >= Qt::Key_F1 && key <= Qt::Key_F24) base = 112 + (key - Qt::Key_F1);
  else {
    switch (key) {
      case Qt::Key_Backspace: base = 8; break;
      case Qt::Key_Tab: case Qt::Key_Backtab: base = KEY_Tab; break;
      case Qt::Key_Return: case Qt::Key_Enter: base = KEY_Enter; break;
      case Qt::Key_Escape: base = KEY_Esc; break;
      case Qt::Key_Space: base = KEY_Space; break;
      case Qt::Key_PageUp: base = KEY_PgUp; break;
      case Qt::Key_PageDown: base = KEY_PgDn; break;
      case Qt::Key_End: base = KEY_End; break;
      case Qt::Key_Home: base = KEY_Home; break;
      case Qt::Key_Left: base = 37; break;
      case Qt::Key_Up: base = KEY_Up; break;
      case Qt::Key_Right: base = 39; break;
      case Qt::Key_Down: base = KEY_Down; break;
      case Qt::Key_Insert: base = KEY_Insert; break;
      case Qt::Key_Delete: base = KEY_Delete; break;
      case Qt::Key_Menu: base = KEY_AppsKey; break;
      default: return 0;
    }
  }
  const Qt::KeyboardModifiers mods = event.modifiers();
  // Backtab is Shift+Tab whether or not the platform reports the Shift.
  if ((mods & Qt::ShiftModifier) || key == Qt::Key_Backtab) base += KEY_Shift;
  if (mods & Qt::ControlModifier) base += KEY_Ctrl;
  if (mods & Qt::AltModifier) base += KEY_Alt;
  return base;
}

}  // namespace rt::ui::qt
