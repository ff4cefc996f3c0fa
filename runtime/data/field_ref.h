#pragma once
// Field references: `FieldRef` refers to one field of any runtime type (a record member, a
// variable, a queue record's field) without owning it, and reads, writes, compares and clears it
// with the runtime's conversions. `FieldValue` is the one owning variant: a field-sized value of a
// chosen shape. Built on record_layout.h and runtime/core; knows nothing of files or queues.
//
// Conversions (Assign, SetText):
//  - Number to text: plain decimal text, no grouping, no trailing zero places: 12, -0.5, 12.3
//    (a Real at its 15 significant digits, a Decimal exactly). Dates and times as their numbers.
//  - Text to number: the leading number of the text: blanks, an optional sign, digits with at
//    most one point; reading stops at the first other character ("12kg" is 12, "1e5" is 1, "abc"
//    and "" are 0).
//  - To an integer type (Long, Short, UShort, Byte, Date, Time) the value is truncated toward
//    zero; to a Decimal it is rounded half away from zero to its places; Decimal to Decimal and
//    text to Decimal stay exact.
//  - Text to text is cut to the target's size, never inside a UTF-8 character; a fixed string is
//    padded with blanks, and its text (Text()) is without trailing blanks.
//  - A value that does not fit the target (out of an integer type's range, more integer digits
//    than a Decimal has, a Real that is not finite) is not stored: the target keeps its value and
//    the call returns false. The runtime would wrap or truncate such values silently.
// Comparison (Compare): numbers numerically, text blank-padded byte-wise; a number against text
// compares numerically when the text IsNumeric (text.h), otherwise as text.
// A null reference is valid to hold; any other use of it is reported as an assertion.

#include <compare>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"
#include "runtime/data/record_layout.h"

namespace rt {

class FieldRef {
 public:
  // ---- Binding (copying a FieldRef copies the reference, never the value) ----
  FieldRef() = default;  // null
  FieldRef(Long& v) : FieldRef(FieldShape::Of(FieldType::Long), &v) {}      // NOLINT: any-reference
  FieldRef(Short& v) : FieldRef(FieldShape::Of(FieldType::Short), &v) {}    // NOLINT
  FieldRef(UShort& v) : FieldRef(FieldShape::Of(FieldType::UShort), &v) {}  // NOLINT
  FieldRef(Byte& v) : FieldRef(FieldShape::Of(FieldType::Byte), &v) {}      // NOLINT
  FieldRef(Real& v) : FieldRef(FieldShape::Of(FieldType::Real), &v) {}      // NOLINT
  template <std::size_t N>
  FieldRef(FixedString<N>& s) : FieldRef(FieldShape::String(N), s.Data()) {}  // NOLINT
  template <std::size_t N>
  FieldRef(CString<N>& s) : FieldRef(FieldShape::CString(N), s.Data()) {}  // NOLINT
  template <int D, int P>
  FieldRef(PackedDecimal<D, P>& d) : FieldRef(FieldShape::Decimal(D, P), &d) {}  // NOLINT
  static FieldRef Date(Long& standardDate) { return {FieldShape::Of(FieldType::Date), &standardDate}; }
  static FieldRef Time(Long& standardTime) { return {FieldShape::Of(FieldType::Time), &standardTime}; }
  // A field of a record buffer laid out by `field`.
  FieldRef(const FieldLayout& field, void* record)
      : FieldRef(field.shape, static_cast<std::byte*>(record) + field.offset) {}
  // Raw: `address` holds shape.size bytes laid out as the shape says.
  FieldRef(const FieldShape& shape, void* address) : shape_(shape), data_(static_cast<std::byte*>(address)) {}

  // The same kind of field at another address (a queue record, a saved copy).
  FieldRef At(void* address) const { return {shape_, address}; }

  // ---- Query ----
  bool IsNull() const { return data_ == nullptr; }
  const FieldShape& Shape() const { return shape_; }
  FieldType Type() const { return shape_.type; }
  std::byte* Address() const { return data_; }
  // True when both refer to the same bytes as the same kind of field.
  bool IsSameField(const FieldRef& other) const { return data_ == other.data_ && shape_ == other.shape_; }

  // ---- Read ----
  std::string Text() const;
  // <0, 0, >0 as described above. Either side null: assertion, and 0.
  int Compare(const FieldRef& other) const;
  bool Equals(const FieldRef& other) const { return Compare(other) == 0; }

  // ---- Write ----
  // This field := source, converted as described above. False when the value did not fit.
  bool Assign(const FieldRef& source) const;
  bool SetText(std::string_view text) const;
  // 0: zero or blank; 1: the highest value of the type; -1: the lowest (a string of byte 255
  // or of byte 0; an empty CString).
  void Clear(int end = 0) const;

 private:
  bool Usable() const;
  FieldShape shape_;
  std::byte* data_ = nullptr;
};

// An owned value of a field's shape (a saved copy, a pair's buffer). Null until made.
class FieldValue {
 public:
  FieldValue() = default;
  // A value of `like`'s shape holding that type's cleared value (zero or blank).
  static FieldValue ClearedLike(const FieldRef& like);

  bool IsNull() const { return bytes_.empty(); }
  // Valid until this value is destroyed or moved from.
  FieldRef Ref() { return IsNull() ? FieldRef() : FieldRef(shape_, bytes_.data()); }

 private:
  FieldShape shape_;
  std::vector<std::byte> bytes_;
};

}  // namespace rt
