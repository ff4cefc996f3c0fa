#include "runtime/data/key_encoding.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "runtime/core/decimal.h"
#include "runtime/data/field_bytes.h"
#include "runtime/data/field_ref.h"

namespace rt {

namespace {

void AppendBigEndian(std::uint64_t value, int bytes, std::string& out) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void AppendInteger(std::int64_t value, std::string& out) {
  AppendBigEndian(static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63), 8, out);
}

void AppendReal(double value, std::string& out) {
  if (value == 0) value = 0;  // -0 and +0 compare equal
  if (std::isnan(value)) value = 0;
  std::uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  bits = (bits & (std::uint64_t{1} << 63)) ? ~bits : bits | (std::uint64_t{1} << 63);
  AppendBigEndian(bits, 8, out);
}

void AppendDecimal(const FieldShape& shape, const std::byte* data, std::string& out) {
  const std::optional<Decimal> value =
      LoadPackedDecimal({reinterpret_cast<const Byte*>(data), shape.size}, shape.digits, shape.places);
  // Every value of one field has the field's places, so the unscaled units order the values.
  const __int128 units = value ? value->Units() : 0;
  const unsigned __int128 biased = static_cast<unsigned __int128>(units) ^ (static_cast<unsigned __int128>(1) << 127);
  AppendBigEndian(static_cast<std::uint64_t>(biased >> 64), 8, out);
  AppendBigEndian(static_cast<std::uint64_t>(biased), 8, out);
}

void AppendText(const char* text, std::size_t length, std::size_t width, bool noCase, std::string& out) {
  const std::size_t start = out.size();
  out.append(text, length);
  out.append(width - length, ' ');
  if (noCase)
    for (std::size_t i = start; i < out.size(); ++i)
      if (out[i] >= 'a' && out[i] <= 'z') out[i] = static_cast<char>(out[i] - 'a' + 'A');
}

}  // namespace

std::size_t EncodedWidth(const FieldShape& shape) {
  switch (shape.type) {
    case FieldType::Decimal: return 16;
    case FieldType::String: return shape.size;
    case FieldType::CString: return shape.size > 0 ? shape.size - 1 : 0;
    default: return 8;
  }
}

void AppendEncoded(const FieldLayout& field, const void* record, bool ascending, bool noCase, std::string& out) {
  const std::size_t start = out.size();
  const std::byte* data = static_cast<const std::byte*>(record) + field.offset;
  const FieldShape& shape = field.shape;
  switch (shape.type) {
    case FieldType::Real: AppendReal(field_bytes::LoadAs<double>(data), out); break;
    case FieldType::Decimal: AppendDecimal(shape, data, out); break;
    case FieldType::String: AppendText(reinterpret_cast<const char*>(data), shape.size, shape.size, noCase, out); break;
    case FieldType::CString: {
      const std::size_t width = EncodedWidth(shape);
      const char* text = reinterpret_cast<const char*>(data);
      const std::size_t length = ::strnlen(text, width);
      AppendText(text, length, width, noCase, out);
      break;
    }
    default: AppendInteger(field_bytes::LoadInteger(shape.type, data), out); break;
  }
  if (!ascending)
    for (std::size_t i = start; i < out.size(); ++i) out[i] = static_cast<char>(~static_cast<unsigned char>(out[i]));
}

std::vector<OrderPart> OrderOf(const KeyDecl& key) {
  std::vector<OrderPart> parts;
  for (const KeyComponent& c : key.components) parts.push_back({c.field, c.ascending, key.noCase});
  return parts;
}

std::string EncodeOrder(const std::vector<OrderPart>& parts, const RecordLayout& layout, const void* record,
                        std::size_t count) {
  std::string out;
  for (std::size_t i = 0; i < parts.size() && i < count; ++i) {
    const FieldLayout* field = layout.Field(parts[i].field);
    if (field) AppendEncoded(*field, record, parts[i].ascending, parts[i].noCase, out);
  }
  return out;
}

std::size_t EncodedWidth(const std::vector<OrderPart>& parts, const RecordLayout& layout) {
  std::size_t width = 0;
  for (const OrderPart& part : parts)
    if (const FieldLayout* field = layout.Field(part.field)) width += EncodedWidth(field->shape);
  return width;
}

std::string ToHex(std::string_view bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (const char c : bytes) {
    out.push_back(kDigits[static_cast<unsigned char>(c) >> 4]);
    out.push_back(kDigits[static_cast<unsigned char>(c) & 15]);
  }
  return out;
}

std::optional<std::string> FromHex(std::string_view hex) {
  auto digit = [](char c) { return c >= '0' && c <= '9' ? c - '0' : (c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1); };
  if (hex.size() % 2) return std::nullopt;
  std::string out;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    const int high = digit(hex[i]), low = digit(hex[i + 1]);
    if (high < 0 || low < 0) return std::nullopt;
    out.push_back(static_cast<char>(high * 16 + low));
  }
  return out;
}

bool KeyIsEmpty(const KeyDecl& key, const RecordLayout& layout, const void* record) {
  for (const KeyComponent& c : key.components) {
    const FieldLayout* field = layout.Field(c.field);
    if (!field) continue;
    const FieldRef ref(*field, const_cast<void*>(record));  // only read
    FieldValue blank = FieldValue::ClearedLike(ref);
    if (!ref.Equals(blank.Ref())) return false;
  }
  return true;
}

}  // namespace rt
