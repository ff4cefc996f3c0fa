// The KEYED driver's values: record bytes to and from SQL values (column types in
// keyed_driver_internal.h).
#include <cstdint>
#include <sqlite3.h>

#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "runtime/core/date_time.h"
#include "runtime/core/decimal.h"
#include "runtime/data/field_bytes.h"
#include "runtime/data/keyed_driver_internal.h"

namespace rt::keyed {

namespace {

using field_bytes::LoadAs;
using field_bytes::LoadInteger;
using field_bytes::StoreAs;
using field_bytes::StoreInteger;

std::string DateText(Long date) {
  const CivilDate civil = CivilFromDate(date);
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", civil.year, civil.month, civil.day);
  return text;
}

std::string TimeText(Long time) {
  const TimeOfDay parts = PartsFromTime(time);
  char text[24];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d.%02d", parts.hour, parts.minute, parts.second, parts.hundredths);
  return text;
}

// Decimals travel as exact text with the field's places ("-12.50"). These two convert between
// that text and packed BCD digit by digit; anything else takes the general route through Decimal.
bool PackedToText(const std::byte* data, const FieldShape& shape, std::string& text) {
  const int nibbles = static_cast<int>(shape.size) * 2 - 1;
  const int sign = std::to_integer<int>(data[shape.size - 1]) & 0x0F;
  if (sign != 0x0C && sign != 0x0D && sign != 0x0F) return false;
  char digits[40];
  for (int i = 0; i < nibbles; ++i) {
    const int b = std::to_integer<int>(data[i / 2]);
    const int nibble = i % 2 == 0 ? b >> 4 : b & 0x0F;
    if (nibble > 9) return false;
    digits[i] = static_cast<char>('0' + nibble);
  }
  const int integerEnd = nibbles - shape.places;
  int first = 0;
  while (first < integerEnd - 1 && digits[first] == '0') ++first;
  bool zero = true;
  for (int i = 0; i < nibbles; ++i) zero = zero && digits[i] == '0';
  text.clear();
  if (sign == 0x0D && !zero) text.push_back('-');
  text.append(digits + first, static_cast<std::size_t>(integerEnd - first));
  if (shape.places > 0) text.append(".").append(digits + integerEnd, static_cast<std::size_t>(shape.places));
  return true;
}

bool TextToPacked(const char* text, std::size_t length, const FieldShape& shape, std::byte* data) {
  const int nibbles = static_cast<int>(shape.size) * 2 - 1;
  std::size_t i = 0;
  const bool negative = length > 0 && text[0] == '-';
  if (negative) ++i;
  const std::size_t point = std::string_view(text, length).find('.');
  const std::size_t integerEnd = point == std::string_view::npos ? length : point;
  const int places = point == std::string_view::npos ? 0 : static_cast<int>(length - point - 1);
  if (places != shape.places || integerEnd <= i) return false;
  const int integerDigits = static_cast<int>(integerEnd - i);
  if (integerDigits > shape.digits - shape.places) return false;
  char digits[40];
  const int lead = nibbles - shape.places - integerDigits;
  for (int k = 0; k < lead; ++k) digits[k] = 0;
  for (int k = 0; k < integerDigits; ++k) {
    const char c = text[i + static_cast<std::size_t>(k)];
    if (c < '0' || c > '9') return false;
    digits[lead + k] = static_cast<char>(c - '0');
  }
  for (int k = 0; k < places; ++k) {
    const char c = text[point + 1 + static_cast<std::size_t>(k)];
    if (c < '0' || c > '9') return false;
    digits[nibbles - places + k] = static_cast<char>(c - '0');
  }
  for (std::size_t b = 0; b < shape.size; ++b) {
    const int high = digits[2 * b];
    const int low = 2 * b + 1 < static_cast<std::size_t>(nibbles) ? digits[2 * b + 1] : (negative ? 0x0D : 0x0C);
    data[b] = static_cast<std::byte>((high << 4) | low);
  }
  return true;
}

}  // namespace

// Binds field `field` of `record` to parameter `index`.
void BindField(sqlite3_stmt* statement, int index, const FieldLayout& field, const std::byte* record) {
  const std::byte* data = record + field.offset;
  const FieldShape& shape = field.shape;
  switch (shape.type) {
    case FieldType::Real: sqlite3_bind_double(statement, index, LoadAs<double>(data)); return;
    case FieldType::Decimal: {
      std::string text;
      if (!PackedToText(data, shape, text)) {
        const auto value = LoadPackedDecimal({reinterpret_cast<const Byte*>(data), shape.size}, shape.digits, shape.places);
        text = value ? value->ToString() : "0";
      }
      sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      return;
    }
    case FieldType::String: {
      std::size_t length = shape.size;
      const char* text = reinterpret_cast<const char*>(data);
      while (length > 0 && text[length - 1] == ' ') --length;
      sqlite3_bind_text(statement, index, text, static_cast<int>(length), SQLITE_STATIC);
      return;
    }
    case FieldType::CString: {
      const char* text = reinterpret_cast<const char*>(data);
      sqlite3_bind_text(statement, index, text, static_cast<int>(::strnlen(text, shape.size)), SQLITE_STATIC);
      return;
    }
    case FieldType::Date:
    case FieldType::Time: {
      const Long value = LoadAs<Long>(data);
      if (value == 0) {
        sqlite3_bind_null(statement, index);
        return;
      }
      const std::string text = shape.type == FieldType::Date ? DateText(value) : TimeText(value);
      sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
      return;
    }
    default: sqlite3_bind_int64(statement, index, LoadInteger(shape.type, data)); return;
  }
}

// Reads a column into field `field` of `record`; NULL gives the field's cleared value.
void ReadField(sqlite3_value* value, const FieldLayout& field, std::byte* record) {
  std::byte* data = record + field.offset;
  const FieldShape& shape = field.shape;
  const bool null = sqlite3_value_type(value) == SQLITE_NULL;
  switch (shape.type) {
    case FieldType::Real: StoreAs(data, null ? 0.0 : sqlite3_value_double(value)); return;
    case FieldType::Decimal: {
      const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
      if (text && !null && TextToPacked(text, static_cast<std::size_t>(sqlite3_value_bytes(value)), shape, data)) return;
      field_bytes::StoreDecimalText(shape, data, text && !null ? text : "0");
      return;
    }
    case FieldType::String:
    case FieldType::CString: {
      const char* text = null ? "" : reinterpret_cast<const char*>(sqlite3_value_text(value));
      const std::size_t length = null ? 0 : static_cast<std::size_t>(sqlite3_value_bytes(value));
      field_bytes::StoreText(shape.type, shape.size, data, std::string_view(text, length));
      return;
    }
    case FieldType::Date:
    case FieldType::Time: {
      Long stored = 0;
      if (!null) {
        const char* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        // "YYYY-MM-DD" or "HH:MM:SS.cc". A text another program wrote may hold anything: a part
        // too long to be a date's or a time's gives no date or time rather than an overflow.
        constexpr int kPartLimit = 9999999;
        int parts[4] = {0, 0, 0, 0};
        int count = 0;
        bool fits = true;
        for (const char* p = text; p && *p && count < 4; ++count) {
          int n = 0;
          for (; *p >= '0' && *p <= '9'; ++p) {
            if (n > kPartLimit / 10) fits = false;
            else n = n * 10 + (*p - '0');
          }
          parts[count] = n;
          if (*p) ++p;
        }
        if (!fits || count < 3) {
          stored = 0;
        } else if (shape.type == FieldType::Date) {
          // Within five million years every day count fits a Long.
          stored = parts[0] <= 5000000 ? DateFromCivil(parts[0], parts[1], parts[2]) : 0;
        } else {
          const long long time = ((static_cast<long long>(parts[0]) * 60 + parts[1]) * 60 + parts[2]) * 100 + parts[3] + 1;
          stored = time <= INT32_MAX ? TimeFromParts(parts[0], parts[1], parts[2], parts[3]) : 0;
        }
      }
      StoreAs(data, stored);
      return;
    }
    default: StoreInteger(shape.type, data, null ? 0 : sqlite3_value_int64(value)); return;
  }
}


}  // namespace rt::keyed
