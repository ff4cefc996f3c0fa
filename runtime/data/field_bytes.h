#pragma once
// Internal to runtime/data (field references, drivers, key encoding): not for use elsewhere. Reads and writes
// scalar field values in record bytes (machine order, possibly unaligned).

#include <cstddef>
#include <cstdint>
#include <cstring>

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

}  // namespace rt::field_bytes
