#include "framework/history/msg_box_class.h"

#include "framework/error/error_class.h"
#include "framework/window/window_component.h"
#include "runtime/core/assert.h"
#include "runtime/ui/window.h"

using rt::Byte;
using rt::ControlDef;
using rt::Long;

rt::WindowDef ErrorWindowDef() {
  rt::WindowDef def;
  def.title = "Error";
  def.font = "MS Sans Serif,8";
  def.modal = true;
  def.x = 50;
  def.y = 50;
  def.width = 336;
  def.height = 134;
  def.Add(ControlDef::Image(std::string(kInformationIcon)).At(6, 6, 24, 24));
  def.Add(ControlDef::List("217L(2)|M~Message~S(255)@s255@42L(2)|M~Category~L(1)@s255@").At(36, 6, 294, 100).VScroll());
  for (Long i = 0; i < ErrorWindow::ButtonCount; ++i) {
    const Long x = 6 + i * 41;
    def.Add(ControlDef::Button("Button " + std::to_string(ErrorWindow::ButtonCount - i)).At(x, 114, 38, 14).Hidden());
  }
  return def;
}

std::string_view AnswerButtonText(Long value) {
  switch (value) {
    case rt::BUTTON_HELP: return "&Help";
    case rt::BUTTON_CANCEL: return "&Cancel";
    case rt::BUTTON_IGNORE: return "&Ignore";
    case rt::BUTTON_RETRY: return "&Retry";
    case rt::BUTTON_ABORT: return "&Abort";
    case rt::BUTTON_NO: return "&No";
    case rt::BUTTON_YES: return "&Yes";
    case rt::BUTTON_OK: return "O&k";
    default: return "";
  }
}

void MsgBoxClass::Init(rt::Window& window, ErrorClass& errors, std::string_view caption, Long icon, Long buttons,
                       Long defaultButton, Long style) {
  Win = &window;
  Err = &errors;
  Caption = caption;
  Icon = icon;
  ButtonTypes = buttons;
  MsgRVal = defaultButton;
  Style = style;
}

Byte MsgBoxClass::Init() {
  const Byte level = WindowManager::Init();
  if (level != Level::Ok) return level;
  RT_ASSERT(Win != nullptr, "MsgBoxClass run without its window: call Init(window, errors, ...) first");
  if (!Win) return Level::Fatal;
  if (HistoryHandler) AddItem(*HistoryHandler);
  Open(*Win);
  if (!Caption.empty()) Win->SetProp(rt::PROP_Text, Caption);
  MsgButtons = 0;
  for (Long value = rt::BUTTON_HELP; value >= rt::BUTTON_OK; value /= 2) {
    if (!(ButtonTypes & value)) continue;
    MsgButtonID[static_cast<std::size_t>(MsgButtons)] = value;
    const Long control = ErrorWindow::FirstButton + MsgButtons;
    ++MsgButtons;
    Win->SetProp(control, rt::PROP_Text, AnswerButtonText(value), 0);
    Win->Unhide(control);  // first: a hidden button would hand the focus on
    if (value == MsgRVal) {
      Win->SetProp(control, rt::PROP_Default, "1", 0);
      Win->Select(control);
    }
  }
  SetupAdditionalFeqs();
  return Level::Ok;
}

Byte MsgBoxClass::Kill() {
  const Byte level = WindowManager::Kill();
  if (level != Level::Ok) return level;
  Caption.clear();
  if (Win) Win->Close();
  Opened = 0;
  return level;
}

Byte MsgBoxClass::TakeAccepted() {
  const Byte level = WindowManager::TakeAccepted();
  if (level != Level::Ok || !Win) return level;
  const Byte value = FetchStdButton(Win->CurrentEvent().control);
  if (value == 0) return level;
  MsgRVal = value;
  return Level::Fatal;
}

Byte MsgBoxClass::FetchStdButton(Long control) const {
  const Long index = control - ErrorWindow::FirstButton;
  if (index < 0 || index >= MsgButtons) return 0;
  return static_cast<Byte>(MsgButtonID[static_cast<std::size_t>(index)]);
}

void MsgBoxClass::SetupAdditionalFeqs() {
  if (!Win) return;
  Win->SetProp(ErrorWindow::Icon, rt::PROP_Icon, Icon == 0 ? std::string(kInformationIcon) : std::to_string(Icon), 0);
}
