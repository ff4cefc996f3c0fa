#include "runtime/ui/control.h"

#include <algorithm>
#include <charconv>

#include "runtime/core/assert.h"
#include "runtime/core/text.h"
#include "runtime/ui/window.h"

namespace rt {

Control::Control(Window& window, const ControlDef& def)
    : window_(window),
      number_(def.number),
      type_(def.type),
      parent_(def.parent),
      stdClose_(def.stdClose),
      onToolbar_(def.onToolbar),
      text_(def.text),
      font_(def.font),
      icon_(def.icon),
      tip_(def.tip),
      statusText_(def.statusText),
      picture_(def.picture),
      binding_(def.binding),
      value_(def.value),
      x_(def.x),
      y_(def.y),
      width_(def.width),
      height_(def.height),
      isDefault_(def.isDefault),
      readOnly_(def.readOnly),
      required_(def.required),
      disabled_(def.disabled),
      hidden_(def.hidden),
      checked_(def.checked),
      immediate_(def.immediate),
      vscroll_(def.vscroll),
      format_(def.listFormat) {
  if (type_ == CT_List) {
    std::string error;
    auto columns = ParseListFormat(format_, &error);
    RT_ASSERT(columns.has_value(), "list format string of control " + std::to_string(number_) + ": " + error);
    if (columns) columns_ = std::move(*columns);
    if (height_ > 0) CountItems();
  }
  if (type_ == CT_Sheet) selected_ = 1;
  if (type_ == CT_Radio && value_.empty())
    for (char c : text_)
      if (c != '&') value_ += c;
}

bool Control::IsOn() const {
  if (type_ == CT_Check) return binding_ && !binding_->IsEmpty();
  if (type_ == CT_Radio) {
    const Control* option = window_.FindControl(parent_);
    return option && option->BoundVariable() && Clip(option->BoundVariable()->Text()) == Clip(value_);
  }
  return checked_;
}

bool Control::CanTakeFocus() const {
  switch (type_) {
    case CT_Entry: case CT_Button: case CT_List: case CT_Sheet: case CT_Check: case CT_Radio:
      return !disabled_ && !hidden_;
    default: return false;
  }
}

bool Control::IsAlerted(Long key) const {
  return key != 0 && std::find(alerts_.begin(), alerts_.end(), key) != alerts_.end();
}

std::string Control::StoredText() const {
  return std::string(Clip(binding_ ? binding_->Format(picture_) : text_));
}

std::string Control::ShownText() const { return editing_ ? editText_ : StoredText(); }

void Control::SetEditText(std::string text) {
  if (!editing_) editBase_ = StoredText();
  editText_ = std::move(text);
  editing_ = true;
}

std::size_t Control::MaxBytes() const {
  if (type_ != CT_Entry) return 0;
  std::size_t limit = binding_ ? binding_->MaxBytes() : 0;
  // A text picture cuts at its width, so typing past it would be lost on leaving.
  if (picture_.size() > 2 && picture_[0] == '@' && (picture_[1] == 's' || picture_[1] == 'S')) {
    std::size_t width = 0;
    const auto [end, error] = std::from_chars(picture_.data() + 2, picture_.data() + picture_.size(), width);
    if (error == std::errc() && width > 0 && (limit == 0 || width < limit)) limit = width;
  }
  return limit;
}

Long Control::RowCount() const {
  if (source_) return source_->RowCount();
  if (vlb_) return PropNumber(vlb_(-1, 0));
  return 0;
}

std::string Control::CellValue(Long row, Long column) const {
  if (column < 1 || column > static_cast<Long>(columns_.size()) || row < 1 || row > RowCount()) return {};
  const Long field = columns_[column - 1].fieldNo;
  if (source_) return source_->Value(row, field);
  if (vlb_) return vlb_(row, column);
  return {};
}

std::string Control::CellText(Long row, Long column) const {
  if (column < 1 || column > static_cast<Long>(columns_.size()) || row < 1 || row > RowCount()) return {};
  return FormatCell(columns_[column - 1], CellValue(row, column));
}

ui::ListRowsView Control::Rows() const {
  ui::ListRowsView view;
  for (const ListColumn& column : columns_) view.headings.push_back(column.heading);
  const Long rows = RowCount();
  // A source that shrank leaves the page as full as it can be.
  const Long top = std::clamp<Long>(top_, 1, std::max<Long>(1, rows - items_ + 1));
  const Long last = std::min(rows, top + items_ - 1);
  view.first = top;
  view.total = rows;
  view.rows.reserve(last >= top ? last - top + 1 : 0);
  for (Long row = top; row <= last; ++row) {
    std::vector<std::string> cells;
    cells.reserve(columns_.size());
    for (Long column = 1; column <= static_cast<Long>(columns_.size()); ++column) {
      const ListColumn& format = columns_[column - 1];
      cells.push_back(FormatCell(format, source_ ? source_->Value(row, format.fieldNo) : vlb_ ? vlb_(row, column) : ""));
    }
    view.rows.push_back(std::move(cells));
  }
  return view;
}

void Control::SetSelectedRow(Long row) {
  const Long rows = RowCount();
  selected_ = std::clamp<Long>(row, rows > 0 ? 1 : 0, rows);
  if (row == 0) selected_ = 0;
  if (selected_ > 0 && selected_ < top_) top_ = selected_;
  if (selected_ >= top_ + items_) top_ = selected_ - items_ + 1;
}

void Control::NoteMouseDown(Long row, Long column) {
  const bool onRow = row >= 1 && row <= RowCount();
  mouseDownRow_ = onRow ? row : 0;
  mouseDownZone_ = onRow ? LISTZONE_Cell : LISTZONE_None;
  clickedColumn_ = onRow && column >= 1 && column <= static_cast<Long>(columns_.size()) ? column : 0;
}

std::string Control::GetProp(Long property, Long index) const {
  switch (property) {
    case PROP_Text: return type_ == CT_Entry ? ShownText() : type_ == CT_List ? format_ : text_;
    case PROP_Type: return std::to_string(type_);
    case PROP_Parent: return std::to_string(parent_);
    case PROP_Use: return binding_ ? binding_->Text() : std::string();
    case PROP_XPos: return std::to_string(x_);
    case PROP_YPos: return std::to_string(y_);
    case PROP_Width: return std::to_string(width_);
    case PROP_Height: return std::to_string(height_);
    case PROP_Font: return font_;
    case PROP_Icon: return icon_;
    case PROP_Tip: return tip_;
    case PROP_StatusText: return statusText_;
    case PROP_Default: return PropFlag(isDefault_);
    case PROP_Disable: return PropFlag(disabled_);
    case PROP_Hide: return PropFlag(hidden_);
    case PROP_Visible: return PropFlag(window_.IsShown(*this));
    case PROP_ReadOnly: return PropFlag(readOnly_);
    case PROP_Required: return PropFlag(required_);
    case PROP_Checked: return PropFlag(IsOn());
    case PROP_Imm: return PropFlag(immediate_);
    case PROP_VScroll: return PropFlag(vscroll_);
    case PROP_VScrollPos: return std::to_string(thumb_);
    case PROP_Items: return std::to_string(items_);
    case PROP_Selected: return std::to_string(selected_);
    case PROP_ClickedColumn: return std::to_string(clickedColumn_);
    case PROP_MouseDownRow: return std::to_string(mouseDownRow_);
    case PROP_MouseDownZone: return std::to_string(mouseDownZone_);
    case PROP_VirtualListProc: return PropFlag(static_cast<bool>(vlb_));
    case PROP_MaxBytes: return MaxBytes() ? std::to_string(MaxBytes()) : std::string();
    case PROP_Alrt:
      if (index == 0) return std::to_string(std::count_if(alerts_.begin(), alerts_.end(), [](Long k) { return k; }));
      return index >= 1 && index <= kAlertSlots ? (alerts_[index - 1] ? std::to_string(alerts_[index - 1]) : "") : "";
    default: break;
  }
  if (property >= LISTCOL_Width && property <= LISTCOL_TextColor && type_ == CT_List) {
    if (property == LISTCOL_Format && index == 0) return std::to_string(columns_.size());
    if (index >= 1 && index <= static_cast<Long>(columns_.size())) {
      const ListColumn& c = columns_[index - 1];
      switch (property) {
        case LISTCOL_Width: return std::to_string(c.width);
        case LISTCOL_Alignment: return std::string(1, c.alignment);
        case LISTCOL_Indent: return std::to_string(c.indent);
        case LISTCOL_Header: return c.heading;
        case LISTCOL_Picture: return c.picture;
        case LISTCOL_HeaderAlignment: return std::string(1, c.headingAlignment);
        case LISTCOL_HeaderIndent: return std::to_string(c.headingIndent);
        case LISTCOL_Resizable: return PropFlag(c.resizable);
        case LISTCOL_Format: return c.format;
        case LISTCOL_FieldNo: return std::to_string(c.fieldNo);
        default: break;
      }
    }
  }
  const auto found = other_.find({property, index});
  return found == other_.end() ? std::string() : found->second;
}

void Control::SetProp(Long property, std::string_view value, Long index) {
  const bool on = PropNumber(value) != 0;
  switch (property) {
    case PROP_Type: case PROP_Parent: case PROP_Visible: case PROP_VirtualListProc: case PROP_MouseDownRow:
    case PROP_MouseDownZone: case PROP_MaxBytes: case PROP_SelectText:
      return;  // read-only
    case PROP_Text:
      if (type_ == CT_List) {
        format_ = std::string(value);
        if (auto columns = ParseListFormat(format_)) columns_ = std::move(*columns);
        if (height_ > 0) CountItems();
        window_.ControlChanged(*this, property, index);
        window_.ListChanged(*this);
        return;
      }
      if (type_ == CT_Entry) {
        // Writing an entry's text writes its variable, as typing and leaving would.
        editing_ = false;
        if (binding_) binding_->SetFromText(value);
        else text_ = std::string(value);
      } else {
        text_ = std::string(value);
      }
      break;
    case PROP_Use: if (binding_) binding_->SetFromText(value); editing_ = false; property = PROP_Text; break;
    case PROP_XPos: x_ = PropNumber(value); break;
    case PROP_YPos: y_ = PropNumber(value); break;
    case PROP_Width: width_ = PropNumber(value); break;
    case PROP_Height:
      height_ = PropNumber(value);
      if (type_ == CT_List) CountItems();
      break;
    case PROP_Font: font_ = std::string(value); break;
    case PROP_Icon: icon_ = std::string(value); break;
    case PROP_Tip: tip_ = std::string(value); break;
    case PROP_StatusText: statusText_ = std::string(value); break;
    case PROP_Default: isDefault_ = on; break;
    case PROP_Disable: disabled_ = on; break;
    case PROP_Hide: hidden_ = on; break;
    case PROP_ReadOnly: readOnly_ = on; break;
    case PROP_Required: required_ = on; break;
    case PROP_Checked:
      if (type_ == CT_Check && binding_) binding_->SetFromText(on ? "1" : "0");
      else checked_ = on;
      break;
    case PROP_Imm: immediate_ = on; break;
    case PROP_VScroll: vscroll_ = on; break;
    case PROP_VScrollPos: thumb_ = std::clamp<Long>(PropNumber(value), 0, 100); break;
    case PROP_Items: items_ = std::max<Long>(1, PropNumber(value)); break;
    case PROP_Selected:
      if (type_ == CT_List) SetSelectedRow(PropNumber(value));
      else selected_ = PropNumber(value);
      break;
    case PROP_ClickedColumn: clickedColumn_ = PropNumber(value); break;
    case PROP_Alrt:
      if (index < 1 || index > kAlertSlots) {
        RT_ASSERT(false, "alert slot " + std::to_string(index) + " is outside 1..255");
        return;
      }
      alerts_[index - 1] = PropNumber(value);
      break;
    default:
      if (property >= LISTCOL_Width && property <= LISTCOL_TextColor && type_ == CT_List && index >= 1 &&
          index <= static_cast<Long>(columns_.size())) {
        ListColumn& c = columns_[index - 1];
        const std::string text(value);
        switch (property) {
          case LISTCOL_Width: c.width = PropNumber(value); break;
          case LISTCOL_Alignment: if (!text.empty()) c.alignment = text[0]; break;
          case LISTCOL_Indent: c.indent = PropNumber(value); break;
          case LISTCOL_Header: c.heading = text; break;
          case LISTCOL_Picture: c.picture = text; break;
          case LISTCOL_HeaderAlignment: if (!text.empty()) c.headingAlignment = text[0]; break;
          case LISTCOL_HeaderIndent: c.headingIndent = PropNumber(value); break;
          case LISTCOL_Resizable: c.resizable = on; break;
          case LISTCOL_FieldNo: c.fieldNo = PropNumber(value); break;
          default: other_[{property, index}] = text; break;
        }
        window_.ControlChanged(*this, property, index);
        window_.ListChanged(*this);
        return;
      }
      other_[{property, index}] = std::string(value);
      if (property == PROP_EditControl && type_ == CT_List) {
        window_.PlaceEditControls(*this);
        return;  // the screen learns the edit control's new place, not this number
      }
      break;
  }
  window_.ControlChanged(*this, property, index);
}

std::vector<ui::PropertyValue> Control::ShownProperties() const {
  std::vector<ui::PropertyValue> shown;
  for (Long property : {PROP_Text, PROP_XPos, PROP_YPos, PROP_Width, PROP_Height, PROP_Font, PROP_Icon, PROP_Tip,
                        PROP_StatusText, PROP_Default, PROP_Disable, PROP_Hide, PROP_ReadOnly, PROP_Required,
                        PROP_Checked, PROP_Imm, PROP_VScroll, PROP_VScrollPos, PROP_Items, PROP_Selected,
                        PROP_MaxBytes}) {
    std::string value = GetProp(property);
    if (!value.empty()) shown.push_back({property, 0, std::move(value)});
  }
  for (Long slot = 1; slot <= static_cast<Long>(alerts_.size()); ++slot)
    if (alerts_[slot - 1]) shown.push_back({PROP_Alrt, slot, std::to_string(alerts_[slot - 1])});
  return shown;
}

ui::ControlView Control::View() const { return {number_, type_, parent_, onToolbar_, ShownProperties()}; }

// A list shows whole lines of 10 units below its heading line, when it has one: a line
// counted but only half shown would push the top row under the headings when it is selected.
void Control::CountItems() {
  const bool headings = std::any_of(columns_.begin(), columns_.end(), [](const ListColumn& c) { return c.hasHeading; });
  items_ = std::max<Long>(1, (height_ - (headings ? 10 : 0)) / 10);
}

}  // namespace rt
