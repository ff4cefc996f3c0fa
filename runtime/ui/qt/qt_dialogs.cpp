#include "runtime/ui/qt/qt_dialogs.h"

#include <QPushButton>
#include <QString>
#include <QVariant>

namespace rt::ui::qt {

namespace {

constexpr char kValueProperty[] = "rtValue";

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

QPushButton* AddButton(QMessageBox& box, std::string_view caption, Long value, const QString& objectName) {
  // One role for all keeps the buttons in the order the program gave them.
  QPushButton* button = box.addButton(FromUtf8(caption), QMessageBox::ActionRole);
  button->setObjectName(objectName);
  button->setProperty(kValueProperty, QVariant::fromValue<qint32>(value));
  return button;
}

std::unique_ptr<QMessageBox> CreatePlainBox(const char* objectName, std::string_view caption, std::string_view text) {
  auto box = std::make_unique<QMessageBox>();
  box->setObjectName(objectName);
  box->setWindowTitle(FromUtf8(caption));
  // Program text is never markup: "<b>" must show as typed.
  box->setTextFormat(Qt::PlainText);
  // The runtime's dialogs break lines at '|'; only what is shown changes, not the caller's text.
  box->setText(FromUtf8(text).replace(QLatin1Char('|'), QLatin1Char('\n')));
  return box;
}

}  // namespace

QMessageBox::Icon IconFor(std::string_view icon) {
  // A stock system icon is named by four bytes FF 01 nn 7F (system icon 32512 + nn).
  if (icon.size() == 4 && static_cast<unsigned char>(icon[0]) == 0xFF && icon[1] == 0x01 &&
      static_cast<unsigned char>(icon[3]) == 0x7F) {
    switch (icon[2]) {
      case 1: return QMessageBox::Critical;     // hand
      case 2: return QMessageBox::Question;
      case 3: return QMessageBox::Warning;      // exclamation
      case 4: return QMessageBox::Information;  // asterisk
      default: return QMessageBox::NoIcon;
    }
  }
  const QString name = FromUtf8(icon);
  const auto has = [&](const char* word) { return name.contains(QLatin1String(word), Qt::CaseInsensitive); };
  if (has("Question")) return QMessageBox::Question;
  if (has("Exclamation") || has("Warning")) return QMessageBox::Warning;
  if (has("Hand") || has("Error") || has("Stop")) return QMessageBox::Critical;
  if (has("Asterisk") || has("Information")) return QMessageBox::Information;
  return QMessageBox::NoIcon;
}

std::unique_ptr<QMessageBox> CreateMessageBox(const MessageBoxRequest& request) {
  auto box = CreatePlainBox(kMessageBoxName, request.caption, request.text);
  box->setIcon(IconFor(request.icon));
  for (const DialogButton& button : request.buttons) {
    QPushButton* added = AddButton(*box, button.caption, button.value,
                                   QString(kMessageBoxButtonPrefix) + QString::number(button.value));
    if (button.value == request.defaultValue) box->setDefaultButton(added);
    if (request.escapeCloses && button.value == request.escapeValue) box->setEscapeButton(added);
  }
  // Without an escape button, and with every button in the same role, the box ignores Esc
  // and its close box.
  return box;
}

std::unique_ptr<QMessageBox> CreateStopDialog(const StopRequest& request) {
  auto box = CreatePlainBox(kStopDialogName, "Stop", request.text);
  box->setIcon(QMessageBox::Warning);
  AddButton(*box, "&End program", kStopEndProgramValue, kStopEndProgramName);
  // Going on is the default: Enter pressed by habit must not end the program.
  QPushButton* goOn = AddButton(*box, "&Go on", kStopGoOnValue, kStopGoOnName);
  box->setDefaultButton(goOn);
  box->setEscapeButton(goOn);
  return box;
}

Long AnswerOf(const QMessageBox& box, Long escapeValue) {
  const QAbstractButton* clicked = box.clickedButton();
  const QVariant value = clicked ? clicked->property(kValueProperty) : QVariant();
  return value.isValid() ? value.value<qint32>() : escapeValue;
}

}  // namespace rt::ui::qt
