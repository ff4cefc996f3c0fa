#include "runtime/data/field_ref.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>
#include <span>

#include "runtime/core/assert.h"
#include "runtime/core/text.h"
#include "runtime/data/field_bytes.h"

namespace rt {

namespace {

// A field's value lifted out of its bytes, in the widest form of its kind.
struct Value {
  enum class Kind { Integer, Real, Decimal, Text } kind = Kind::Integer;
  std::int64_t integer = 0;
  double real = 0;
  rt::Decimal decimal;
  std::string text;
};

bool IsIntegerType(FieldType type) {
  switch (type) {
    case FieldType::Long:
    case FieldType::Short:
    case FieldType::UShort:
    case FieldType::Byte:
    case FieldType::Date:
    case FieldType::Time: return true;
    default: return false;
  }
}

using field_bytes::LoadAs;
using field_bytes::LoadInteger;
using field_bytes::StoreAs;

struct IntegerRange {
  std::int64_t low, high;
};
IntegerRange RangeOf(FieldType type) {
  switch (type) {
    case FieldType::Short: return {std::numeric_limits<Short>::min(), std::numeric_limits<Short>::max()};
    case FieldType::UShort: return {0, std::numeric_limits<UShort>::max()};
    case FieldType::Byte: return {0, std::numeric_limits<rt::Byte>::max()};
    default: return {std::numeric_limits<Long>::min(), std::numeric_limits<Long>::max()};
  }
}

bool StoreInteger(FieldType type, std::byte* data, std::int64_t value) {
  const IntegerRange range = RangeOf(type);
  if (value < range.low || value > range.high) return false;
  field_bytes::StoreInteger(type, data, value);
  return true;
}

std::span<rt::Byte> BytesOf(const FieldShape& shape, std::byte* data) {
  return {reinterpret_cast<rt::Byte*>(data), shape.size};
}

rt::Decimal LoadDecimal(const FieldShape& shape, const std::byte* data) {
  const std::span<const rt::Byte> bytes(reinterpret_cast<const rt::Byte*>(data), shape.size);
  // Bytes that are not packed decimal (never written by us) read as zero rather than poison.
  return LoadPackedDecimal(bytes, shape.digits, shape.places).value_or(rt::Decimal());
}

// The text of a number: plain, no trailing zero places.
std::string RealText(double value) {
  const rt::Decimal exact = rt::Decimal::FromReal(value);
  if (exact.IsValid()) return exact.Normalized().ToString();
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.15g", value);
  return buffer;
}

// The leading number of `text` as canonical text ("-12.5"), "0" when there is none.
std::string LeadingNumber(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  std::string number;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    if (text[i] == '-') number += '-';
    ++i;
  }
  bool digits = false, point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c >= '0' && c <= '9') {
      number += c;
      digits = true;
    } else if (c == '.' && !point) {
      number += c;
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return "0";
  if (number.back() == '.') number.pop_back();
  const std::size_t first = number[0] == '-' ? 1 : 0;
  if (number[first] == '.') number.insert(first, 1, '0');  // ".5" reads as 0.5
  return number;
}

Value Read(const FieldShape& shape, const std::byte* data) {
  Value v;
  if (IsIntegerType(shape.type)) {
    v.integer = LoadInteger(shape.type, data);
  } else if (shape.type == FieldType::Real) {
    v.kind = Value::Kind::Real;
    v.real = LoadAs<double>(data);
  } else if (shape.type == FieldType::Decimal) {
    v.kind = Value::Kind::Decimal;
    v.decimal = LoadDecimal(shape, data);
  } else {
    v.kind = Value::Kind::Text;
    const char* chars = reinterpret_cast<const char*>(data);
    if (shape.type == FieldType::String) {
      v.text = Clip(std::string_view(chars, shape.size));
    } else {
      v.text = std::string(chars, ::strnlen(chars, shape.size));
    }
  }
  return v;
}

std::string TextOf(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return std::to_string(v.integer);
    case Value::Kind::Real: return RealText(v.real);
    case Value::Kind::Decimal: return v.decimal.IsValid() ? v.decimal.Normalized().ToString() : "0";
    case Value::Kind::Text: return v.text;
  }
  return {};
}

// The value as a Decimal where that is exact enough to compare (a Real at 15 digits).
rt::Decimal DecimalOf(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return rt::Decimal::FromText(std::to_string(v.integer));
    case Value::Kind::Real: return rt::Decimal::FromReal(v.real);
    case Value::Kind::Decimal: return v.decimal;
    case Value::Kind::Text: return rt::Decimal::FromText(LeadingNumber(v.text));
  }
  return {};
}

double RealOf(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return static_cast<double>(v.integer);
    case Value::Kind::Real: return v.real;
    case Value::Kind::Decimal: return v.decimal.ToReal();
    case Value::Kind::Text: return std::strtod(LeadingNumber(v.text).c_str(), nullptr);
  }
  return 0;
}

// Truncated toward zero; nullopt when not representable in 64 bits.
std::optional<std::int64_t> IntegerOf(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Integer: return v.integer;
    case Value::Kind::Real: {
      if (!std::isfinite(v.real)) return std::nullopt;
      const double t = std::trunc(v.real);
      if (t < -9.0e18 || t > 9.0e18) return std::nullopt;
      return static_cast<std::int64_t>(t);
    }
    case Value::Kind::Decimal:
    case Value::Kind::Text: {
      const rt::Decimal d = DecimalOf(v);
      if (!d.IsValid()) return std::nullopt;
      __int128 units = d.Units();
      for (int i = 0; i < d.Places(); ++i) units /= 10;  // truncates toward zero
      if (units < std::numeric_limits<std::int64_t>::min() || units > std::numeric_limits<std::int64_t>::max()) {
        return std::nullopt;
      }
      return static_cast<std::int64_t>(units);
    }
  }
  return std::nullopt;
}

// A String field is blank-padded, a CString one zero-terminated; neither ends inside a character.
void WriteText(const FieldShape& shape, std::byte* data, std::string_view text) {
  if (shape.type == FieldType::String) {
    const std::string_view fit = Utf8Prefix(text, shape.size);
    std::memmove(data, fit.data(), fit.size());
    std::memset(data + fit.size(), ' ', shape.size - fit.size());
  } else {
    const std::string_view fit = Utf8Prefix(text, shape.size - 1);
    std::memmove(data, fit.data(), fit.size());
    std::memset(data + fit.size(), 0, shape.size - fit.size());
  }
}

bool Write(const FieldShape& shape, std::byte* data, const Value& v) {
  switch (shape.type) {
    case FieldType::Real: {
      StoreAs(data, RealOf(v));
      return true;
    }
    case FieldType::Decimal: {
      const rt::Decimal d = v.kind == Value::Kind::Real ? rt::Decimal::FromReal(v.real, shape.places) : DecimalOf(v);
      return d.IsValid() && StorePackedDecimal(d, shape.digits, shape.places, BytesOf(shape, data));
    }
    case FieldType::String:
    case FieldType::CString: {
      if (v.kind == Value::Kind::Text) {
        WriteText(shape, data, v.text);
      } else {
        WriteText(shape, data, TextOf(v));
      }
      return true;
    }
    default: {
      const std::optional<std::int64_t> integer = IntegerOf(v);
      return integer && StoreInteger(shape.type, data, *integer);
    }
  }
}

int Sign(std::partial_ordering order) {
  if (order == std::partial_ordering::less) return -1;
  if (order == std::partial_ordering::greater) return 1;
  return 0;
}

int CompareNumbers(const Value& a, const Value& b) {
  if (a.kind == Value::Kind::Integer && b.kind == Value::Kind::Integer) {
    return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
  }
  const rt::Decimal da = DecimalOf(a), db = DecimalOf(b);
  if (da.IsValid() && db.IsValid()) return Sign(da <=> db);
  return Sign(RealOf(a) <=> RealOf(b));
}

int Normalize(int c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); }

}  // namespace

bool FieldRef::Usable() const {
  RT_ASSERT(data_ != nullptr, "FieldRef: the reference is null (a field was never bound)");
  return data_ != nullptr;
}

std::string FieldRef::Text() const {
  if (!Usable()) return {};
  // Text fields skip the Value round trip: one copy instead of three (positions are 1 KB fields
  // read for every row a browse pages over).
  const char* chars = reinterpret_cast<const char*>(data_);
  if (shape_.type == FieldType::String) return std::string(Clip(std::string_view(chars, shape_.size)));
  if (shape_.type == FieldType::CString) return std::string(chars, ::strnlen(chars, shape_.size));
  return TextOf(Read(shape_, data_));
}

int FieldRef::Compare(const FieldRef& other) const {
  if (!Usable() || !other.Usable()) return 0;
  if (IsIntegerType(shape_.type) && IsIntegerType(other.shape_.type)) {  // the common key case, kept fast
    const std::int64_t a = LoadInteger(shape_.type, data_), b = LoadInteger(other.shape_.type, other.data_);
    return a < b ? -1 : (a > b ? 1 : 0);
  }
  const Value a = Read(shape_, data_), b = Read(other.shape_, other.data_);
  const bool aText = a.kind == Value::Kind::Text, bText = b.kind == Value::Kind::Text;
  if (aText && bText) return Normalize(CompareBlankPadded(a.text, b.text));
  if (!aText && !bText) return CompareNumbers(a, b);
  const std::string& text = aText ? a.text : b.text;
  if (IsNumeric(text)) return CompareNumbers(a, b);
  return Normalize(CompareBlankPadded(TextOf(a), TextOf(b)));
}

bool FieldRef::Assign(const FieldRef& source) const {
  if (!Usable() || !source.Usable()) return false;
  if (source.shape_ == shape_) {  // same kind: bytes are the value (also keeps Decimal exact)
    std::memmove(data_, source.data_, shape_.size);
    return true;
  }
  return Write(shape_, data_, Read(source.shape_, source.data_));
}

bool FieldRef::SetText(std::string_view text) const {
  if (!Usable()) return false;
  // Text fields take the text as it stands, without copying it into a Value first.
  if (shape_.type == FieldType::String || shape_.type == FieldType::CString) {
    WriteText(shape_, data_, text);
    return true;
  }
  Value v;
  v.kind = Value::Kind::Text;
  v.text = std::string(text);
  return Write(shape_, data_, v);
}

void FieldRef::Clear(int end) const {
  if (!Usable()) return;
  const int which = end > 0 ? 1 : (end < 0 ? -1 : 0);
  switch (shape_.type) {
    case FieldType::Real:
      StoreAs(data_, which == 0 ? 0.0 : (which > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest()));
      return;
    case FieldType::Decimal: {
      rt::Decimal value;
      if (which != 0) {
        std::string nines(static_cast<std::size_t>(shape_.digits - shape_.places), '9');
        if (nines.empty()) nines = "0";
        if (shape_.places > 0) nines += "." + std::string(static_cast<std::size_t>(shape_.places), '9');
        value = rt::Decimal::FromText((which < 0 ? "-" : "") + nines);
      }
      const bool stored = StorePackedDecimal(value, shape_.digits, shape_.places, BytesOf(shape_, data_));
      RT_ASSERT(stored, "FieldRef::Clear: the extreme value does not fit its own Decimal");
      return;
    }
    case FieldType::String:
      std::memset(data_, which == 0 ? ' ' : (which > 0 ? 0xFF : 0), shape_.size);
      return;
    case FieldType::CString:
      std::memset(data_, 0, shape_.size);
      if (which > 0) std::memset(data_, 0xFF, shape_.size - 1);
      return;
    default: {
      const IntegerRange range = RangeOf(shape_.type);
      StoreInteger(shape_.type, data_, which == 0 ? 0 : (which > 0 ? range.high : range.low));
      return;
    }
  }
}

FieldValue FieldValue::ClearedLike(const FieldRef& like) {
  FieldValue value;
  RT_ASSERT(!like.IsNull(), "FieldValue::ClearedLike: the model field is null");
  if (like.IsNull()) return value;
  value.shape_ = like.Shape();
  value.bytes_.assign(like.Shape().size, std::byte{0});
  value.Ref().Clear();
  return value;
}

}  // namespace rt
