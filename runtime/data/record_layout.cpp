#include "runtime/data/record_layout.h"

#include <algorithm>

#include "runtime/core/assert.h"

namespace rt {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

}  // namespace

FieldShape FieldShape::Of(FieldType scalar) {
  switch (scalar) {
    case FieldType::Long:
    case FieldType::Date:
    case FieldType::Time: return {scalar, 4};
    case FieldType::Short:
    case FieldType::UShort: return {scalar, 2};
    case FieldType::Byte: return {scalar, 1};
    case FieldType::Real: return {scalar, 8};
    case FieldType::Decimal:
    case FieldType::String:
    case FieldType::CString: break;
  }
  RT_ASSERT(false, "FieldShape::Of takes a scalar type; use Decimal, String or CString for the others");
  return {FieldType::Long, 4};
}

FieldShape FieldShape::Decimal(int digits, int places) {
  digits = std::clamp(digits, 1, rt::Decimal::kMaxDigits);
  places = std::clamp(places, 0, digits);
  return {FieldType::Decimal, static_cast<std::size_t>(digits / 2 + 1), digits, places};
}

FieldShape FieldShape::String(std::size_t size) { return {FieldType::String, size}; }
FieldShape FieldShape::CString(std::size_t capacity) { return {FieldType::CString, capacity}; }

RecordLayout::RecordLayout(std::size_t recordSize, std::vector<FieldLayout> fields) : recordSize_(recordSize) {
  fields_.reserve(fields.size());
  for (FieldLayout& field : fields) {
    const bool fits = field.shape.size > 0 && field.offset <= recordSize && field.shape.size <= recordSize - field.offset;
    const bool overlaps = std::any_of(fields_.begin(), fields_.end(), [&](const FieldLayout& other) {
      return field.offset < other.offset + other.shape.size && other.offset < field.offset + field.shape.size;
    });
    const bool named = !field.name.empty() && FieldNumber(field.name) == 0;
    RT_ASSERT(fits, "Record layout: field " + field.name + " lies outside the record");
    RT_ASSERT(!overlaps, "Record layout: field " + field.name + " overlaps another field");
    RT_ASSERT(named, "Record layout: a field name is empty or repeated: " + field.name);
    if (fits && !overlaps && named) fields_.push_back(std::move(field));
  }
}

const FieldLayout* RecordLayout::Field(std::size_t number) const {
  if (number < 1 || number > fields_.size()) return nullptr;
  return &fields_[number - 1];
}

std::size_t RecordLayout::FieldNumber(std::string_view name) const {
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    if (EqualNoCase(fields_[i].name, name)) return i + 1;
  }
  return 0;
}

}  // namespace rt
