// EditClass and EditEntryClass: one cell's edit control.

#include "framework/eip/edit_class.h"

#include <cstdlib>
#include <optional>

#include "runtime/core/assert.h"
#include "runtime/core/picture.h"
#include "runtime/core/text.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/control.h"
#include "runtime/ui/window.h"

namespace {

// Binds an entry to a field of any type: its text through the runtime's conversions.
class FieldBinding final : public rt::Binding {
 public:
  explicit FieldBinding(rt::FieldRef field) : field_(field) {}
  std::string Text() const override { return field_.Text(); }
  std::string Format(std::string_view picture) const override {
    return picture.empty() ? std::string(rt::Clip(field_.Text())) : rt::FormatText(field_.Text(), picture);
  }
  bool SetFromText(std::string_view plain) override { return field_.SetText(plain); }
  bool IsEmpty() const override {
    const std::string text(rt::Clip(field_.Text()));
    if (text.empty()) return true;
    return field_.Shape().IsNumber() && std::strtod(text.c_str(), nullptr) == 0.0;
  }
  std::size_t MaxBytes() const override {
    const rt::FieldShape shape = field_.Shape();
    if (shape.type == rt::FieldType::String) return shape.size;
    return shape.type == rt::FieldType::CString && shape.size > 0 ? shape.size - 1 : 0;
  }

 private:
  rt::FieldRef field_;
};

// The alerted keys and the action each asks for, in alert-slot order (slots 1 to 6).
struct KeyAction {
  rt::Long key;
  rt::Byte action;
};
constexpr KeyAction kKeys[] = {{rt::KEY_Tab, EditAction::Forward},     {rt::KEY_ShiftTab, EditAction::Backward},
                               {rt::KEY_Enter, EditAction::Complete},  {rt::KEY_Esc, EditAction::Cancel},
                               {rt::KEY_Down, EditAction::Next},       {rt::KEY_Up, EditAction::Previous}};

}  // namespace

void EditClass::CreateControl() {}

void EditClass::Init(rt::Long column, rt::Long listBox, rt::FieldRef value) {
  ListBoxFeq = listBox;
  FieldNo = column;
  UseVar = value;
  binding_ = std::make_shared<FieldBinding>(value);
  picture_ = rt::GetProp(listBox, rt::LISTCOL_Picture, column);
  CreateControl();
  RT_ASSERT(FEQ != 0, "EditClass::Init: CreateControl made no control (use EditEntryClass or override it)");
  if (FEQ == 0) return;
  if (ReadOnly) SetReadOnly(1);
  SetAlerts();
}

void EditClass::Kill() {
  if (FEQ != 0) rt::DestroyControl(FEQ);
  FEQ = 0;
  UseVar = rt::FieldRef();
  binding_.reset();
}

void EditClass::SetAlerts() {
  rt::Long slot = 1;
  for (const KeyAction& k : kKeys) rt::SetProp(FEQ, rt::PROP_Alrt, std::to_string(k.key), slot++);
}

void EditClass::SetReadOnly(rt::Byte flag) {
  ReadOnly = flag;
  if (FEQ != 0) rt::SetProp(FEQ, rt::PROP_ReadOnly, rt::PropFlag(flag != 0));
}

rt::Byte EditClass::TakeAccepted(rt::Byte action) {
  rt::Window* window = rt::TopWindow();
  rt::Control* control = window ? window->FindControl(FEQ) : nullptr;
  if (!control || !binding_ || ReadOnly) return action;
  const std::string text = control->ShownText();
  const std::optional<std::string> plain = picture_.empty() ? std::optional<std::string>(text) : rt::Deformat(text, picture_);
  if (!plain || !binding_->SetFromText(*plain)) {
    rt::Beep();
    return EditAction::None;
  }
  // The entry shows the stored value again, as leaving it would.
  control->EndEditing();
  window->Display(FEQ);
  return action;
}

rt::Byte EditClass::TakeEvent(rt::Long event) {
  if (event != rt::EVENT_AlertKey) return EditAction::None;
  const rt::Long key = rt::Keycode();
  for (const KeyAction& k : kKeys)
    if (k.key == key) return k.action;
  return EditAction::None;
}

bool EditClass::IsEmptyValue() const { return !binding_ || binding_->IsEmpty(); }

void EditEntryClass::CreateControl() {
  rt::Window* window = rt::TopWindow();
  if (!window) return;
  FEQ = window->CreateControl(rt::ControlDef::Entry(picture_, binding_).Hidden());
}
