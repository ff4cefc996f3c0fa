#pragma once
// A record buffer seen through its layout: the caller's byte-exact struct plus its RecordLayout.
// `RecordRef` saves, compares and restores the whole buffer as bytes, clears it, and reaches
// its fields by number or bound name as FieldRefs. It owns neither the buffer nor the layout
// (`SavedRecord` owns a copy of the bytes). Built on record_layout.h and field_ref.h.

#include <cstddef>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include "runtime/data/field_ref.h"
#include "runtime/data/record_layout.h"

namespace rt {

// A copy of a record's bytes, as SaveBuffer/RestoreBuffer keep them.
using SavedRecord = std::vector<std::byte>;

class RecordRef {
 public:
  // `record` must have layout.RecordSize() bytes; both must outlive this reference.
  RecordRef(void* record, const RecordLayout& layout) : record_(static_cast<std::byte*>(record)), layout_(&layout) {}
  template <class Record>
  RecordRef(Record& record, const RecordLayout& layout) : RecordRef(static_cast<void*>(&record), layout) {
    static_assert(std::is_trivially_copyable_v<Record>, "record structs are copied as bytes");
  }

  // ---- Whole record as bytes ----
  std::span<std::byte> Bytes() const { return {record_, layout_->RecordSize()}; }
  SavedRecord Save() const { return {Bytes().begin(), Bytes().end()}; }
  // True when the buffer holds exactly the saved bytes.
  bool IsSameAs(const SavedRecord& saved) const;
  // Puts the saved bytes back. A copy of another size (another record's) is reported and ignored.
  void Restore(const SavedRecord& saved) const;
  // Clears every field of the layout (see FieldRef::Clear for `end`); bytes between fields stay.
  void Clear(int end = 0) const;

  // ---- Fields ----
  const RecordLayout& Layout() const { return *layout_; }
  // By 1-based number or bound name (ASCII case ignored); a null FieldRef when there is none.
  FieldRef Field(std::size_t number) const;
  FieldRef Field(std::string_view boundName) const;

 private:
  std::byte* record_;
  const RecordLayout* layout_;
};

}  // namespace rt
