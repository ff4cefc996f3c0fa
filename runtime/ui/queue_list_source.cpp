#include "runtime/ui/queue_list_source.h"

#include <cstring>
#include <vector>

#include "runtime/data/field_ref.h"

namespace rt {

std::string QueueListSource::Value(Long row, Long field) const {
  const void* record = queue_.RecordAt(row);
  const FieldLayout* layout = field > 0 ? layout_.Field(static_cast<std::size_t>(field)) : nullptr;
  if (!record || !layout) return {};
  // A field reference writes as well as reads, so it gets a copy rather than the queue's bytes.
  std::vector<std::byte> copy(queue_.RecordSize());
  std::memcpy(copy.data(), record, copy.size());
  return FieldRef(*layout, copy.data()).Text();
}

}  // namespace rt
