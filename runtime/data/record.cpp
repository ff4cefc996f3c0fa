#include "runtime/data/record.h"

#include <algorithm>
#include <cstring>

#include "runtime/core/assert.h"

namespace rt {

bool RecordRef::IsSameAs(const SavedRecord& saved) const {
  const std::span<std::byte> bytes = Bytes();
  return saved.size() == bytes.size() && std::equal(bytes.begin(), bytes.end(), saved.begin());
}

void RecordRef::Restore(const SavedRecord& saved) const {
  RT_ASSERT(saved.size() == layout_->RecordSize(), "RecordRef::Restore: the saved copy is of another record");
  if (saved.size() != layout_->RecordSize()) return;
  std::memcpy(record_, saved.data(), saved.size());
}

void RecordRef::Clear(int end) const {
  for (const FieldLayout& field : layout_->Fields()) FieldRef(field, record_).Clear(end);
}

FieldRef RecordRef::Field(std::size_t number) const {
  const FieldLayout* field = layout_->Field(number);
  return field ? FieldRef(*field, record_) : FieldRef();
}

FieldRef RecordRef::Field(std::string_view boundName) const { return Field(layout_->FieldNumber(boundName)); }

}  // namespace rt
