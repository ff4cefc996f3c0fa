// StandardBehavior: a runtime queue as the browse's rows and a list control of its window as
// its list.

#include "framework/browse/standard_behavior.h"

#include "framework/window/window_manager.h"
#include "runtime/core/assert.h"
#include "runtime/data/queue.h"
#include "runtime/data/record_layout.h"
#include "runtime/ui/window.h"

void StandardBehavior::Init(rt::Queue& queue, rt::FieldRef position, rt::Long listControl, const WindowManager* owner,
                            const rt::RecordLayout* layout) {
  const auto* buffer = static_cast<const std::byte*>(queue.Buffer());
  RT_ASSERT(position.Address() >= buffer && position.Address() + position.Shape().size <= buffer + queue.RecordSize(),
            "StandardBehavior: the position field is not a field of the queue's record");
  Q = &queue;
  S = position;
  LC = listControl;
  owner_ = owner;
  layout_ = layout;
}

// ---- Rows ----

rt::Long StandardBehavior::Records() { return Q->Records(); }
void StandardBehavior::Insert() { Q->Add(); }
void StandardBehavior::Insert(rt::Long position) { Q->Add(position); }
void StandardBehavior::Fetch(rt::Long position) { Q->Get(position); }
void StandardBehavior::Update() { Q->Put(); }
void StandardBehavior::Delete() { Q->Delete(); }
void StandardBehavior::Delete(rt::Long position) { Q->Delete(position); }
void StandardBehavior::Free() { Q->Free(); }

std::string StandardBehavior::Who(rt::Long column) {
  if (!layout_ || column < 1) return {};
  const rt::FieldLayout* field = layout_->Field(static_cast<std::size_t>(column));
  return field ? field->name : std::string();
}

std::string StandardBehavior::GetViewPosition() { return S.Text(); }

// Read from the queue's own copy of the row: a browse asks for the edge rows' positions at every
// scroll, and fetching copied the whole row into the buffer first.
std::string StandardBehavior::ViewPositionAt(rt::Long position) {
  const auto* record = static_cast<const std::byte*>(Q->RecordAt(position));
  if (!record) return {};
  const std::ptrdiff_t offset = S.Address() - static_cast<std::byte*>(Q->Buffer());
  return S.At(const_cast<std::byte*>(record) + offset).Text();
}
void StandardBehavior::SetViewPosition(std::string_view position) {
  // A position cut to the field would find another record: the field must hold it whole.
  RT_ASSERT(position.size() <= S.Shape().size, "StandardBehavior: the view position does not fit the queue's position field");
  S.SetText(position);
}

// ---- The list control ----

rt::Window* StandardBehavior::ListWindow() const {
  return owner_ && owner_->MyWindow ? owner_->MyWindow : rt::TopWindow();
}

std::string StandardBehavior::ListProp(rt::Long property) const {
  const rt::Window* window = ListWindow();
  return window ? window->GetProp(LC, property, 0) : std::string();
}

rt::Long StandardBehavior::Choice() { return rt::PropNumber(ListProp(rt::PROP_Selected)); }
rt::Long StandardBehavior::GetItems() { return rt::PropNumber(ListProp(rt::PROP_Items)); }
rt::Byte StandardBehavior::GetVisible() { return rt::PropNumber(ListProp(rt::PROP_Visible)) != 0; }

void StandardBehavior::SetChoice(rt::Long row) {
  if (rt::Window* window = ListWindow()) window->SetProp(LC, rt::PROP_Selected, std::to_string(row), 0);
}
