#pragma once
// A list's rows taken from a runtime Queue: row n is the queue's record n, field k the layout's
// field k, read without moving the queue's current record or touching its buffer. Owns neither
// the queue nor the layout; both must outlive it.

#include <string>

#include "runtime/data/queue.h"
#include "runtime/data/record_layout.h"
#include "runtime/ui/list_format.h"

namespace rt {

class QueueListSource final : public ListSource {
 public:
  QueueListSource(const Queue& queue, const RecordLayout& layout) : queue_(queue), layout_(layout) {}
  Long RowCount() const override { return queue_.Records(); }
  // "" for a row or field that does not exist.
  std::string Value(Long row, Long field) const override;

 private:
  const Queue& queue_;
  const RecordLayout& layout_;
};

}  // namespace rt
