#pragma once
// Record layouts: the table that describes a byte-exact record struct field by field (bound name,
// type, offset, size, digits and places, picture), so that code can reach fields by number or by
// name. Owns only the description; values are read and written through field_ref.h and whole
// records through record.h. Calls runtime/core only.

#include <cstddef>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"

namespace rt {

// ---- Field types and shapes ----

// Date and Time fields are 4-byte Longs in the machine's (little-endian) order holding the
// standard date and the standard time (date_time.h); 0 is "no date" / "no time".
enum class FieldType : Byte { Long, Short, UShort, Byte, Real, Decimal, String, CString, Date, Time };

// What a field is, without where it is: enough to read, write and clear its bytes.
struct FieldShape {
  FieldType type = FieldType::Long;
  std::size_t size = 0;  // bytes: 4, 2, 2, 1, 8, digits/2+1, N, capacity N, 4, 4
  int digits = 0;        // Decimal only
  int places = 0;        // Decimal only

  static FieldShape Of(FieldType scalar);  // Long, Short, UShort, Byte, Real, Date, Time
  static FieldShape Decimal(int digits, int places);
  static FieldShape String(std::size_t size);
  static FieldShape CString(std::size_t capacity);

  bool IsNumber() const { return type != FieldType::String && type != FieldType::CString; }
  bool IsText() const { return !IsNumber(); }
  friend bool operator==(const FieldShape&, const FieldShape&) = default;
};

// The shape of a C++ member type. Date and Time members are Longs and need LayoutDate/LayoutTime.
template <class T>
struct ShapeOf;
template <> struct ShapeOf<Long> { static FieldShape Get() { return FieldShape::Of(FieldType::Long); } };
template <> struct ShapeOf<Short> { static FieldShape Get() { return FieldShape::Of(FieldType::Short); } };
template <> struct ShapeOf<UShort> { static FieldShape Get() { return FieldShape::Of(FieldType::UShort); } };
template <> struct ShapeOf<Byte> { static FieldShape Get() { return FieldShape::Of(FieldType::Byte); } };
template <> struct ShapeOf<Real> { static FieldShape Get() { return FieldShape::Of(FieldType::Real); } };
template <std::size_t N> struct ShapeOf<FixedString<N>> { static FieldShape Get() { return FieldShape::String(N); } };
template <std::size_t N> struct ShapeOf<CString<N>> { static FieldShape Get() { return FieldShape::CString(N); } };
template <int D, int P> struct ShapeOf<PackedDecimal<D, P>> { static FieldShape Get() { return FieldShape::Decimal(D, P); } };

// ---- One field of a layout ----

struct FieldLayout {
  std::string name;  // bound name as expressions use it, e.g. "AFI:ID"
  FieldShape shape;
  std::size_t offset = 0;
  std::string picture;  // display picture, e.g. "@n-14"; may be empty
};

// The byte offset of a member; the struct must be standard-layout and default-constructible.
template <class Record, class Member>
std::size_t MemberOffset(Member Record::*member) {
  static_assert(std::is_standard_layout_v<Record>, "record structs are byte-exact standard-layout structs");
  const Record probe{};
  return static_cast<std::size_t>(reinterpret_cast<const char*>(&(probe.*member)) -
                                  reinterpret_cast<const char*>(&probe));
}

// A layout entry for a member, its type and size taken from the member's C++ type.
template <class Record, class Member>
FieldLayout LayoutField(std::string_view name, Member Record::*member, std::string_view picture = {}) {
  return {std::string(name), ShapeOf<Member>::Get(), MemberOffset(member), std::string(picture)};
}
template <class Record>
FieldLayout LayoutDate(std::string_view name, Long Record::*member, std::string_view picture = {}) {
  return {std::string(name), FieldShape::Of(FieldType::Date), MemberOffset(member), std::string(picture)};
}
template <class Record>
FieldLayout LayoutTime(std::string_view name, Long Record::*member, std::string_view picture = {}) {
  return {std::string(name), FieldShape::Of(FieldType::Time), MemberOffset(member), std::string(picture)};
}

// ---- The table ----

// Built once per record type (usually a function-local static of the dictionary) and then only
// read, so it can be shared by every thread's buffer of that record.
class RecordLayout {
 public:
  // Fields in declaration order. A field that lies outside `recordSize`, overlaps another or has
  // an empty or repeated name is a programming error: it is reported and left out.
  RecordLayout(std::size_t recordSize, std::vector<FieldLayout> fields);

  std::size_t RecordSize() const { return recordSize_; }
  std::size_t FieldCount() const { return fields_.size(); }
  // 1-based; null when out of range.
  const FieldLayout* Field(std::size_t number) const;
  // The 1-based number of the field with this bound name, without regard to ASCII case; 0 if none.
  std::size_t FieldNumber(std::string_view name) const;
  const std::vector<FieldLayout>& Fields() const { return fields_; }

 private:
  std::size_t recordSize_;
  std::vector<FieldLayout> fields_;
};

}  // namespace rt
