// The POSTGRES driver's names and values: record bytes to and from bound parameters and
// selected text, and the SQL that encodes a field as key_encoding.cpp does (column types in
// pg_driver_internal.h).
#include <cstdio>
#include <cstring>

#include "runtime/core/date_time.h"
#include "runtime/core/decimal.h"
#include "runtime/data/field_bytes.h"
#include "runtime/data/keyed_driver_internal.h"
#include "runtime/data/pg_driver_internal.h"

namespace rt::pg {

using field_bytes::LoadAs;
using field_bytes::LoadInteger;
using field_bytes::StoreAs;
using field_bytes::StoreInteger;

// ---- Names ----

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  return out;
}

std::string TableName(const FileDecl& decl) { return Lower(decl.label); }
std::string ColumnName(const RecordLayout& layout, std::size_t field) { return Lower(keyed::ColumnName(layout, field)); }
std::string KeyColumnName(const KeyDecl& key) { return Lower(keyed::KeyColumnName(key)); }
std::string IndexName(const FileDecl& decl, const KeyDecl& key) {
  return TableName(decl) + "$" + Lower(keyed::KeyColumnName(key).substr(5));
}

std::uint32_t TableHash(std::string_view schemaAndTable) {
  std::uint32_t hash = 2166136261u;
  for (const char c : schemaAndTable) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return hash;
}

// ---- Columns ----

std::string ColumnType(const FieldShape& shape) {
  switch (shape.type) {
    case FieldType::Long:
    case FieldType::UShort: return "integer";
    case FieldType::Short:
    case FieldType::Byte: return "smallint";
    case FieldType::Real: return "double precision";
    case FieldType::Decimal: return "numeric(" + std::to_string(shape.digits) + "," + std::to_string(shape.places) + ")";
    case FieldType::String:
    case FieldType::CString: return "text";
    case FieldType::Date: return "date";
    case FieldType::Time: return "time(2) without time zone";
  }
  return "text";
}

std::string ValueSql(const FieldShape& shape, int index) {
  const std::string p = "$" + std::to_string(index);
  switch (shape.type) {
    case FieldType::Real: return p + "::float8";
    case FieldType::Decimal: return p + "::numeric";
    case FieldType::String:
    case FieldType::CString: return p + "::text";
    case FieldType::Date: return std::string(kDateBase) + " + NULLIF(" + p + "::integer, 0)";
    case FieldType::Time: return p + "::time";
    default: return p + "::integer";
  }
}

std::string SelectSql(const FieldShape& shape, const std::string& column) {
  switch (shape.type) {
    case FieldType::Date: return "(" + column + " - " + kDateBase + ")";
    case FieldType::Time: return "((EXTRACT(EPOCH FROM " + column + ") * 100)::int8 + 1)";
    default: return column;
  }
}

void BindField(Params& params, const FieldLayout& field, const std::byte* record) {
  const std::byte* data = record + field.offset;
  const FieldShape& shape = field.shape;
  switch (shape.type) {
    case FieldType::Real: return params.Real(LoadAs<double>(data));
    case FieldType::Decimal: {
      const auto value = LoadPackedDecimal({reinterpret_cast<const Byte*>(data), shape.size}, shape.digits, shape.places);
      return params.Text(value ? value->ToString() : "0");
    }
    case FieldType::String: {
      std::size_t length = shape.size;
      const char* text = reinterpret_cast<const char*>(data);
      while (length > 0 && text[length - 1] == ' ') --length;
      return params.Text(std::string(text, length));
    }
    case FieldType::CString: {
      const char* text = reinterpret_cast<const char*>(data);
      return params.Text(std::string(text, ::strnlen(text, shape.size)));
    }
    case FieldType::Date: return params.Integer(LoadAs<Long>(data));
    case FieldType::Time: {
      const Long value = LoadAs<Long>(data);
      if (value == 0) return params.Null();
      const TimeOfDay parts = PartsFromTime(value);
      char text[32];
      std::snprintf(text, sizeof text, "%02d:%02d:%02d.%02d", parts.hour, parts.minute, parts.second, parts.hundredths);
      return params.Text(text);  // past a day the server refuses it: no time is stored wrong
    }
    default: return params.Integer(LoadInteger(shape.type, data));
  }
}

void ReadField(const Result& result, int row, int column, const FieldLayout& field, std::byte* record) {
  std::byte* data = record + field.offset;
  const FieldShape& shape = field.shape;
  const bool null = result.IsNull(row, column);
  const std::string_view text = null ? std::string_view() : result.Value(row, column);
  switch (shape.type) {
    case FieldType::Real: StoreAs(data, null ? 0.0 : std::strtod(std::string(text).c_str(), nullptr)); return;
    case FieldType::Decimal: field_bytes::StoreDecimalText(shape, data, null ? "0" : text); return;
    case FieldType::String:
    case FieldType::CString: field_bytes::StoreText(shape.type, shape.size, data, text); return;
    default: StoreInteger(shape.type, data, null ? 0 : result.Integer(row, column)); return;
  }
}

// ---- Orders ----

namespace {

constexpr char kSignBit[] = "x'8000000000000000'::int8";

// Eight big-endian bytes of a signed 64-bit value biased so that memcmp orders them.
std::string BiasedInteger(const std::string& value) { return "int8send((" + value + ")::int8 # " + kSignBit + ")"; }

// Eight big-endian bytes of an unsigned 64-bit value held in a numeric.
std::string Unsigned64(const std::string& value) {
  return "int8send(((" + value + ") - 9223372036854775808)::int8 # " + kSignBit + ")";
}

std::string Inverted(const std::string& bytes) {
  return "decode(translate(encode(" + bytes + ", 'hex'), '0123456789abcdef', 'fedcba9876543210'), 'hex')";
}

}  // namespace

std::string OrderSql(const OrderPart& part, const FieldShape& shape, const std::string& column) {
  std::string bytes;
  switch (shape.type) {
    case FieldType::Real:
      // IEEE bits with the sign folded: negatives inverted, the rest with the sign bit set.
      bytes = "(CASE WHEN " + column + " = 'NaN'::float8 THEN set_bit(float8send(0::float8), 7, 1) WHEN " + column +
              " < 0 THEN " + Inverted("float8send(" + column + ")") + " ELSE set_bit(float8send(" + column +
              " + 0::float8), 7, 1) END)";
      break;
    case FieldType::Decimal: {
      // The count of units biased by 2^127, as two unsigned 64-bit halves.
      const std::string biased = "(" + column + " * 1e" + std::to_string(shape.places) + " + 170141183460469231731687303715884105728)";
      bytes = "(" + Unsigned64("div(" + biased + ", 18446744073709551616)") + " || " +
              Unsigned64("mod(" + biased + ", 18446744073709551616)") + ")";  // exact, unlike a division
      break;
    }
    case FieldType::String:
    case FieldType::CString: {
      const std::string width = std::to_string(EncodedWidth(shape));
      std::string text = column;
      if (part.noCase) text = "translate(" + column + ", 'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ')";
      const std::string raw = "convert_to(" + text + ", 'UTF8')";
      bytes = "substring(" + raw + " || decode(repeat('20', greatest(0, " + width + " - length(" + raw + "))), 'hex') from 1 for " +
              width + ")";
      break;
    }
    default: bytes = BiasedInteger("COALESCE(" + SelectSql(shape, column) + ", 0)"); break;
  }
  return part.ascending ? bytes : Inverted(bytes);
}

}  // namespace rt::pg
