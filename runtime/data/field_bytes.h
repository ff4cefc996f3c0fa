#pragma once
// Internal to runtime/data (field references, drivers, key encoding): not for use elsewhere. Reads and writes
// scalar field values in record bytes (machine order, possibly unaligned).

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "runtime/core/decimal.h"
#include "runtime/data/record_layout.h"

namespace rt::field_bytes {

template <class T>
T LoadAs(const std::byte* data) {
  T value;
  std::memcpy(&value, data, sizeof value);
  return value;
}

template <class T>
void StoreAs(std::byte* data, T value) {
  std::memcpy(data, &value, sizeof value);
}

// Long, Short, UShort, Byte, Date and Time fields.
inline std::int64_t LoadInteger(FieldType type, const std::byte* data) {
  switch (type) {
    case FieldType::Short: return LoadAs<Short>(data);
    case FieldType::UShort: return LoadAs<UShort>(data);
    case FieldType::Byte: return std::to_integer<int>(data[0]);
    default: return LoadAs<Long>(data);
  }
}

inline void StoreInteger(FieldType type, std::byte* data, std::int64_t value) {
  switch (type) {
    case FieldType::Short: StoreAs(data, static_cast<Short>(value)); break;
    case FieldType::UShort: StoreAs(data, static_cast<UShort>(value)); break;
    case FieldType::Byte: data[0] = static_cast<std::byte>(value); break;
    default: StoreAs(data, static_cast<Long>(value)); break;
  }
}

// A String (blank padded) or CString (zero padded) field from text, cut to the field's room.
inline void StoreText(FieldType type, std::size_t size, std::byte* data, std::string_view text) {
  const std::size_t room = type == FieldType::String ? size : size - 1;
  const std::size_t length = text.size() < room ? text.size() : room;
  std::memcpy(data, text.data(), length);
  std::memset(data + length, type == FieldType::String ? ' ' : 0, size - length);
}

// A Decimal field from a decimal's text; the field's zero when the text is no number or does
// not fit.
inline void StoreDecimalText(const FieldShape& shape, std::byte* data, std::string_view text) {
  const Decimal decimal = Decimal::FromText(text);
  std::span<Byte> bytes(reinterpret_cast<Byte*>(data), shape.size);
  if (!decimal.IsValid() || !StorePackedDecimal(decimal, shape.digits, shape.places, bytes))
    StorePackedDecimal(Decimal(), shape.digits, shape.places, bytes);
}

}  // namespace rt::field_bytes
