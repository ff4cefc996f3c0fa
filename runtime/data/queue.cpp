#include "runtime/data/queue.h"

#include <algorithm>
#include <cstring>
#include <tuple>

#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"

namespace rt {

namespace detail {

// A key field as an offset into a record, so it applies to the buffer and to stored records.
struct QueueKey {
  std::size_t offset;
  FieldShape shape;
  bool descending;
  friend bool operator==(const QueueKey&, const QueueKey&) = default;
};

// The records in order, in chunks of at most kMaxChunk pointers, so that inserting or deleting
// in the middle moves at most one chunk: 100 000 keyed adds stay far from quadratic.
class QueueRecords {
 public:
  using Record = std::unique_ptr<std::byte[]>;

  std::size_t Size() const { return size_; }

  std::byte* At(std::size_t index) const {
    const auto [chunk, within] = Locate(index);
    return chunks_[chunk][within].get();
  }

  void Insert(std::size_t index, Record record) {
    if (chunks_.empty()) chunks_.emplace_back();
    std::size_t chunk = 0, within = index;
    if (index == size_) {
      chunk = chunks_.size() - 1;
      within = chunks_[chunk].size();
    } else {
      std::tie(chunk, within) = Locate(index);
    }
    std::vector<Record>& target = chunks_[chunk];
    target.insert(target.begin() + static_cast<std::ptrdiff_t>(within), std::move(record));
    ++size_;
    if (target.size() > kMaxChunk) {
      std::vector<Record> upper(std::make_move_iterator(target.begin() + kMaxChunk / 2),
                                std::make_move_iterator(target.end()));
      target.resize(kMaxChunk / 2);
      chunks_.insert(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk) + 1, std::move(upper));
    }
  }

  // Returns the record taken out, whose storage the queue may use again.
  Record Erase(std::size_t index) {
    const auto [chunk, within] = Locate(index);
    std::vector<Record>& target = chunks_[chunk];
    Record taken = std::move(target[within]);
    target.erase(target.begin() + static_cast<std::ptrdiff_t>(within));
    if (target.empty()) chunks_.erase(chunks_.begin() + static_cast<std::ptrdiff_t>(chunk));
    --size_;
    return taken;
  }

  // Empties the table, handing up to `keep` records to `spares` for their storage.
  void Clear(std::vector<Record>& spares, std::size_t keep) {
    for (std::vector<Record>& chunk : chunks_) {
      for (Record& record : chunk) {
        if (spares.size() >= keep) break;
        spares.push_back(std::move(record));
      }
    }
    chunks_.clear();
    size_ = 0;
  }

  // The first index whose record is not before the buffer (`before(record)` true for the
  // records in front), assuming the records are partitioned by `before`.
  template <class Before>
  std::size_t PartitionPoint(Before before) const {
    std::size_t start = 0;
    for (const std::vector<Record>& chunk : chunks_) {  // whole chunks first: only their last record
      if (!before(chunk.back().get())) {
        const auto it = std::partition_point(chunk.begin(), chunk.end(), [&](const Record& r) { return before(r.get()); });
        return start + static_cast<std::size_t>(it - chunk.begin());
      }
      start += chunk.size();
    }
    return size_;
  }

  template <class Less>
  void StableSort(Less less) {
    std::vector<Record> all;
    all.reserve(size_);
    for (std::vector<Record>& chunk : chunks_) {
      for (Record& record : chunk) all.push_back(std::move(record));
    }
    std::stable_sort(all.begin(), all.end(), [&](const Record& a, const Record& b) { return less(a.get(), b.get()); });
    chunks_.clear();
    for (std::size_t i = 0; i < all.size(); i += kMaxChunk / 2) {
      const std::size_t end = std::min(all.size(), i + kMaxChunk / 2);
      chunks_.emplace_back(std::make_move_iterator(all.begin() + static_cast<std::ptrdiff_t>(i)),
                           std::make_move_iterator(all.begin() + static_cast<std::ptrdiff_t>(end)));
    }
  }

 private:
  static constexpr std::size_t kMaxChunk = 1024;

  std::pair<std::size_t, std::size_t> Locate(std::size_t index) const {
    if (index >= size_ / 2) {  // walk from whichever end is nearer
      std::size_t end = size_;
      for (std::size_t c = chunks_.size(); c-- > 0;) {
        end -= chunks_[c].size();
        if (index >= end) return {c, index - end};
      }
    }
    for (std::size_t c = 0; c < chunks_.size(); ++c) {
      if (index < chunks_[c].size()) return {c, index};
      index -= chunks_[c].size();
    }
    return {chunks_.size() - 1, chunks_.back().size() - 1};  // not reached: callers check the index
  }

  std::vector<std::vector<Record>> chunks_;
  std::size_t size_ = 0;
};

}  // namespace detail

namespace {

using detail::QueueKey;

// <0, 0, >0: record a against record b under `key`.
int CompareUnder(const std::vector<QueueKey>& key, std::byte* a, std::byte* b) {
  for (const QueueKey& k : key) {
    const int c = FieldRef(k.shape, a + k.offset).Compare(FieldRef(k.shape, b + k.offset));
    if (c != 0) return k.descending ? -c : c;
  }
  return 0;
}

// True when `key`'s fields are the first fields of `order`; directions count only for ordering.
bool IsPrefixOf(const std::vector<QueueKey>& key, const std::vector<QueueKey>& order, bool forOrdering) {
  if (key.empty() || key.size() > order.size()) return false;
  for (std::size_t i = 0; i < key.size(); ++i) {
    if (key[i].offset != order[i].offset || !(key[i].shape == order[i].shape)) return false;
    if (forOrdering && key[i].descending != order[i].descending) return false;
  }
  return true;
}

void SetNoRecord() { SetError(NoRecErr); }

}  // namespace

Queue::Queue(void* buffer, std::size_t recordSize)
    : buffer_(static_cast<std::byte*>(buffer)),
      recordSize_(recordSize),
      records_(std::make_unique<detail::QueueRecords>()) {
  RT_ASSERT(buffer != nullptr && recordSize > 0, "Queue: a queue needs a record buffer");
}

Queue::~Queue() = default;

Long Queue::Records() const { return static_cast<Long>(records_->Size()); }

const void* Queue::RecordAt(Long position) const {
  if (position < 1 || static_cast<std::size_t>(position) > records_->Size()) return nullptr;
  return records_->At(static_cast<std::size_t>(position - 1));
}

// A browse drops a row for each it adds as it scrolls, and empties and fills its page again
// whenever it moves elsewhere: the storage of dropped rows is used again.
std::unique_ptr<std::byte[]> Queue::CopyOfBuffer() {
  std::unique_ptr<std::byte[]> copy;
  if (spares_.empty()) {
    copy = std::make_unique_for_overwrite<std::byte[]>(recordSize_);
  } else {
    copy = std::move(spares_.back());
    spares_.pop_back();
  }
  std::memcpy(copy.get(), buffer_, recordSize_);
  return copy;
}

void Queue::KeepSpare(std::unique_ptr<std::byte[]> record) {
  if (spares_.size() < SparesKept()) spares_.push_back(std::move(record));
}

std::size_t Queue::SparesKept() const {
  constexpr std::size_t kSpareBytes = 64 * 1024;  // a few pages of a browse's rows
  return std::max<std::size_t>(1, kSpareBytes / recordSize_);
}

bool Queue::MakeKey(const SortOrder& order, std::vector<QueueKey>& key) const {
  key.clear();
  for (const KeyField& k : order) {
    const std::byte* at = k.field.Address();
    const bool inside = at != nullptr && at >= buffer_ && at + k.field.Shape().size <= buffer_ + recordSize_;
    RT_ASSERT(inside, "Queue: a key field is not a field of the queue's record buffer");
    if (!inside) return false;
    key.push_back({static_cast<std::size_t>(at - buffer_), k.field.Shape(), k.descending});
  }
  RT_ASSERT(!key.empty(), "Queue: a key needs at least one field");
  return !key.empty();
}

bool Queue::KeepsOrder(std::size_t index) const {
  if (sortedBy_.empty()) return false;
  if (index > 0 && CompareUnder(sortedBy_, records_->At(index - 1), buffer_) > 0) return false;
  if (index < records_->Size() && CompareUnder(sortedBy_, buffer_, records_->At(index)) > 0) return false;
  return true;
}

void Queue::Add() { AddAt(static_cast<long long>(records_->Size()) + 1); }

void Queue::AddAt(long long position) {
  if (position < 1) {
    SetNoRecord();
    return;
  }
  const std::size_t index = std::min(static_cast<std::size_t>(position - 1), records_->Size());
  if (!KeepsOrder(index)) sortedBy_.clear();
  records_->Insert(index, CopyOfBuffer());
  pointer_ = static_cast<Long>(index + 1);
  ClearError();
}

void Queue::InsertInOrder(const std::vector<QueueKey>& key) {
  if (records_->Size() == 0 || key == sortedBy_) {
    sortedBy_ = key;
  } else if (IsPrefixOf(key, sortedBy_, true)) {
    sortedBy_ = key;  // still in the shorter order, no longer surely in the longer one
  } else {
    sortedBy_.clear();
  }
  const std::size_t index = records_->PartitionPoint([&](std::byte* r) { return CompareUnder(key, r, buffer_) <= 0; });
  records_->Insert(index, CopyOfBuffer());
  pointer_ = static_cast<Long>(index + 1);
}

void Queue::Add(const SortOrder& order) {
  std::vector<QueueKey> key;
  if (!MakeKey(order, key)) return;
  InsertInOrder(key);
  ClearError();
}

void Queue::GetAt(long long position) {
  if (position < 1 || position > static_cast<long long>(records_->Size())) {
    SetNoRecord();
    return;
  }
  std::memcpy(buffer_, records_->At(static_cast<std::size_t>(position - 1)), recordSize_);
  pointer_ = static_cast<Long>(position);
  ClearError();
}

void Queue::Get(const SortOrder& order) {
  std::vector<QueueKey> key;
  if (!MakeKey(order, key)) return;
  std::size_t found = records_->Size();
  if (IsPrefixOf(key, sortedBy_, false)) {
    const std::vector<QueueKey> sortedPart(sortedBy_.begin(), sortedBy_.begin() + static_cast<std::ptrdiff_t>(key.size()));
    const std::size_t index = records_->PartitionPoint([&](std::byte* r) { return CompareUnder(sortedPart, r, buffer_) < 0; });
    if (index < records_->Size() && CompareUnder(key, records_->At(index), buffer_) == 0) found = index;
  } else {
    for (std::size_t i = 0; i < records_->Size(); ++i) {
      if (CompareUnder(key, records_->At(i), buffer_) == 0) {
        found = i;
        break;
      }
    }
  }
  if (found == records_->Size()) {
    SetError(kQueueEntryNotFound, "Entry Not Found");
    return;
  }
  std::memcpy(buffer_, records_->At(found), recordSize_);
  pointer_ = static_cast<Long>(found + 1);
  ClearError();
}

void Queue::Put() {
  if (pointer_ < 1 || pointer_ > Records()) {
    SetNoRecord();
    return;
  }
  const std::size_t index = static_cast<std::size_t>(pointer_ - 1);
  std::byte* record = records_->At(index);
  if (!sortedBy_.empty() && CompareUnder(sortedBy_, record, buffer_) != 0) {
    // The keys changed in place: keep the order only if the neighbours still agree.
    const bool before = index == 0 || CompareUnder(sortedBy_, records_->At(index - 1), buffer_) <= 0;
    const bool after = index + 1 >= records_->Size() || CompareUnder(sortedBy_, buffer_, records_->At(index + 1)) <= 0;
    if (!before || !after) sortedBy_.clear();
  }
  std::memcpy(record, buffer_, recordSize_);
  ClearError();
}

void Queue::Put(const SortOrder& order) {
  std::vector<QueueKey> key;
  if (!MakeKey(order, key)) return;
  if (pointer_ < 1 || pointer_ > Records()) {
    SetNoRecord();
    return;
  }
  KeepSpare(records_->Erase(static_cast<std::size_t>(pointer_ - 1)));
  InsertInOrder(key);
  ClearError();
}

void Queue::Delete() { DeleteAt(pointer_); }

void Queue::DeleteAt(long long position) {
  if (position < 1 || position > Records()) {
    SetNoRecord();
    return;
  }
  KeepSpare(records_->Erase(static_cast<std::size_t>(position - 1)));
  pointer_ = 0;
  ClearError();
}

void Queue::Sort(const SortOrder& order) {
  std::vector<QueueKey> key;
  if (!MakeKey(order, key)) return;
  records_->StableSort([&](std::byte* a, std::byte* b) { return CompareUnder(key, a, b) < 0; });
  sortedBy_ = key;
  pointer_ = 0;
  ClearError();
}

void Queue::Free() {
  records_->Clear(spares_, SparesKept());
  sortedBy_.clear();
  pointer_ = 0;
  ClearError();
}

}  // namespace rt
