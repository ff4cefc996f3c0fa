#pragma once
// The runtime's in-memory queue: a table of fixed-layout records with a record buffer, which is
// the caller's struct. Records are copied between the buffer and the table as bytes; positions
// are 1-based; key operations take fields of the buffer (FieldRefs) with a direction each.
// Owns the records; does not own the buffer. Built on field_ref.h; reports through the
// per-thread last error (runtime/core). Not thread-safe: its owner guards shared queues.
//
// Last error after each operation: 0 on success;
//   kQueueEntryNotFound (30, "Entry Not Found") when Get by key finds no record;
//   NoRecErr (33) for a position outside 1..Records(), or Put/Delete with no current record.
// A key field outside the buffer is a programming error: reported as an assertion, nothing done.

#include <concepts>
#include <cstddef>
#include <initializer_list>
#include <memory>
#include <type_traits>
#include <vector>

#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"

namespace rt {

inline constexpr Long kQueueEntryNotFound = 30;  // no entry in runtime/core's table; text set here

// ---- Key fields and orders ----

// One field of the queue's buffer in a key, ascending unless made with Descending.
struct KeyField {
  template <class T>
    requires std::constructible_from<FieldRef, T&>
  KeyField(T& field) : field(field) {}  // NOLINT: a buffer field is an ascending key field
  KeyField(FieldRef field, bool descending = false) : field(field), descending(descending) {}  // NOLINT

  FieldRef field;
  bool descending = false;
};
inline KeyField Ascending(FieldRef field) { return {field, false}; }
inline KeyField Descending(FieldRef field) { return {field, true}; }

// Key fields, most significant first: q.Add({buf.Name, rt::Descending(buf.ID)}).
using SortOrder = std::vector<KeyField>;

namespace detail {
class QueueRecords;
struct QueueKey;
}  // namespace detail

class Queue {
 public:
  // `buffer` has `recordSize` bytes and outlives the queue.
  Queue(void* buffer, std::size_t recordSize);
  template <class Record>
  explicit Queue(Record& buffer) : Queue(static_cast<void*>(&buffer), sizeof(Record)) {
    static_assert(std::is_trivially_copyable_v<Record>, "queue records are copied as bytes");
  }
  ~Queue();
  Queue(const Queue&) = delete;
  Queue& operator=(const Queue&) = delete;

  // ---- Add (the buffer becomes a new record, which becomes current) ----
  void Add();  // at the end
  // At `position`; past the end appends. A position below 1 is NoRecErr.
  template <std::integral P>
  void Add(P position) { AddAt(static_cast<long long>(position)); }
  // In key order, after any records with equal keys (so equal keys keep their order of adding).
  void Add(const SortOrder& key);

  // ---- Get (a record is copied into the buffer and becomes current) ----
  template <std::integral P>
  void Get(P position) { GetAt(static_cast<long long>(position)); }
  // The first record whose key fields equal the buffer's: a binary search when the queue is known
  // to be in this key order (or a longer one that starts with it), otherwise a scan.
  void Get(const SortOrder& key);

  // ---- Change ----
  void Put();                      // the buffer overwrites the current record
  void Put(const SortOrder& key);  // ... and moves it to its place in key order
  void Delete();                   // removes the current record; none is current afterwards
  // Removes the record at `position` without reading it into the buffer; none is current
  // afterwards. A position outside 1..Records() is NoRecErr.
  template <std::integral P>
  void Delete(P position) { DeleteAt(static_cast<long long>(position)); }
  // Stable: records with equal keys keep their relative order. None is current afterwards.
  void Sort(const SortOrder& key);
  void Free();  // removes every record

  // ---- Query ----
  Long Records() const;
  // The bytes of the record at 1-based `position`, nullptr when there is none. Reading it moves
  // neither the current record nor the buffer (lists display rows this way).
  const void* RecordAt(Long position) const;
  Long Pointer() const { return pointer_; }  // position of the current record, 0 when none
  std::size_t RecordSize() const { return recordSize_; }
  void* Buffer() const { return buffer_; }

 private:
  void AddAt(long long position);
  void GetAt(long long position);
  void DeleteAt(long long position);
  bool MakeKey(const SortOrder& order, std::vector<detail::QueueKey>& key) const;
  std::unique_ptr<std::byte[]> CopyOfBuffer();
  void KeepSpare(std::unique_ptr<std::byte[]> record);
  std::size_t SparesKept() const;
  void InsertInOrder(const std::vector<detail::QueueKey>& key);
  bool KeepsOrder(std::size_t index) const;  // would the buffer at index keep sortedBy_?

  std::byte* buffer_;
  std::size_t recordSize_;
  std::unique_ptr<detail::QueueRecords> records_;
  std::vector<detail::QueueKey> sortedBy_;  // an order the records are known to be in; empty: none
  Long pointer_ = 0;
  std::vector<std::unique_ptr<std::byte[]>> spares_;  // storage of deleted records, for adds
};

// A queue that holds its own record buffer, for callers that declare a queue of a record type.
template <class Record>
class QueueOf {
 public:
  QueueOf() : queue_(record_) {}
  Record& Rec() { return record_; }
  const Record& Rec() const { return record_; }
  Queue& Q() { return queue_; }
  const Queue& Q() const { return queue_; }

 private:
  Record record_{};
  Queue queue_;  // after record_: built over it
};

}  // namespace rt
