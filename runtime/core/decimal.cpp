#include "runtime/core/decimal.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace rt {

namespace {

using U128 = unsigned __int128;

// An unsigned integer wide enough for every intermediate: a 31-digit value times 10^62
// (division) is below 10^93 < 2^309.
class Wide {
 public:
  static constexpr int kLimbs = 6;

  Wide() = default;
  explicit Wide(U128 v) {
    limb_[0] = static_cast<std::uint64_t>(v);
    limb_[1] = static_cast<std::uint64_t>(v >> 64);
  }

  bool IsZero() const {
    return std::all_of(limb_.begin(), limb_.end(), [](std::uint64_t l) { return l == 0; });
  }
  bool FitsU128() const {
    return std::all_of(limb_.begin() + 2, limb_.end(), [](std::uint64_t l) { return l == 0; });
  }
  U128 Low() const { return (static_cast<U128>(limb_[1]) << 64) | limb_[0]; }

  void MulSmall(std::uint64_t m) {
    U128 carry = 0;
    for (auto& l : limb_) {
      const U128 p = static_cast<U128>(l) * m + carry;
      l = static_cast<std::uint64_t>(p);
      carry = p >> 64;
    }
  }
  void Add(const Wide& o) {
    U128 carry = 0;
    for (int i = 0; i < kLimbs; ++i) {
      const U128 s = static_cast<U128>(limb_[i]) + o.limb_[i] + carry;
      limb_[i] = static_cast<std::uint64_t>(s);
      carry = s >> 64;
    }
  }
  void Sub(const Wide& o) {  // requires *this >= o
    std::uint64_t borrow = 0;
    for (int i = 0; i < kLimbs; ++i) {
      const std::uint64_t a = limb_[i];
      const std::uint64_t d = a - o.limb_[i] - borrow;
      borrow = (a < o.limb_[i] || (a == o.limb_[i] && borrow)) ? 1 : 0;
      limb_[i] = d;
    }
  }
  void ShiftLeft1() {
    for (int i = kLimbs - 1; i > 0; --i) limb_[i] = (limb_[i] << 1) | (limb_[i - 1] >> 63);
    limb_[0] <<= 1;
  }
  bool Bit(int i) const { return (limb_[i / 64] >> (i % 64)) & 1U; }
  void SetBit(int i) { limb_[i / 64] |= std::uint64_t{1} << (i % 64); }

  friend std::strong_ordering operator<=>(const Wide& a, const Wide& b) {
    for (int i = kLimbs - 1; i >= 0; --i)
      if (a.limb_[i] != b.limb_[i]) return a.limb_[i] <=> b.limb_[i];
    return std::strong_ordering::equal;
  }

  static Wide Multiply(const Wide& a, const Wide& b) {  // callers keep products below 2^384
    Wide r;
    for (int i = 0; i < kLimbs; ++i) {
      U128 carry = 0;
      for (int j = 0; i + j < kLimbs; ++j) {
        const U128 p = static_cast<U128>(a.limb_[i]) * b.limb_[j] + r.limb_[i + j] + carry;
        r.limb_[i + j] = static_cast<std::uint64_t>(p);
        carry = p >> 64;
      }
    }
    return r;
  }

  // Binary long division; den must not be zero.
  static void DivMod(const Wide& num, const Wide& den, Wide& quotient, Wide& remainder) {
    quotient = Wide();
    remainder = Wide();
    for (int i = kLimbs * 64 - 1; i >= 0; --i) {
      remainder.ShiftLeft1();
      if (num.Bit(i)) remainder.limb_[0] |= 1;
      if (remainder >= den) {
        remainder.Sub(den);
        quotient.SetBit(i);
      }
    }
  }

 private:
  std::array<std::uint64_t, kLimbs> limb_{};
};

constexpr int kMaxPow = 110;

const Wide& Pow10(int k) {
  static const std::array<Wide, kMaxPow + 1> table = [] {
    std::array<Wide, kMaxPow + 1> t;
    t[0] = Wide(1);
    for (int i = 1; i <= kMaxPow; ++i) {
      t[i] = t[i - 1];
      t[i].MulSmall(10);
    }
    return t;
  }();
  return table[static_cast<std::size_t>(std::clamp(k, 0, kMaxPow))];
}

int DigitCount(const Wide& v) {
  int n = 0;
  while (n < kMaxPow && v >= Pow10(n)) ++n;
  return n;
}

// num / den rounded half away from zero (magnitudes).
Wide RoundDiv(const Wide& num, const Wide& den) {
  Wide q, r;
  Wide::DivMod(num, den, q, r);
  r.ShiftLeft1();
  if (r >= den) q.Add(Wide(1));
  return q;
}

U128 Magnitude(__int128 v) { return v < 0 ? static_cast<U128>(0) - static_cast<U128>(v) : static_cast<U128>(v); }

int ClampPlaces(int places) { return std::clamp(places, 0, Decimal::kMaxDigits); }

}  // namespace

// Builds results from a sign, a magnitude and a scale, rounding away places that do not fit.
struct DecimalBuilder {
  static Decimal Invalid(DecimalError error) { return Decimal(0, 0, Decimal::kMaxDigits, error); }

  static Decimal Make(bool negative, Wide magnitude, int scale) {
    if (scale > Decimal::kMaxDigits) {
      magnitude = RoundDiv(magnitude, Pow10(scale - Decimal::kMaxDigits));
      scale = Decimal::kMaxDigits;
    }
    int digits = DigitCount(magnitude);
    if (digits > Decimal::kMaxDigits && scale > 0) {
      const int drop = std::min(digits - Decimal::kMaxDigits, scale);
      magnitude = RoundDiv(magnitude, Pow10(drop));
      scale -= drop;
      digits = DigitCount(magnitude);
      if (digits > Decimal::kMaxDigits && scale > 0) {  // 99..95 rounded up to 10^31: exact
        magnitude = RoundDiv(magnitude, Pow10(1));
        --scale;
        digits = DigitCount(magnitude);
      }
    }
    if (digits > Decimal::kMaxDigits) return Invalid(DecimalError::Overflow);
    const auto units = static_cast<__int128>(magnitude.Low());
    return Decimal(negative ? -units : units, scale, Decimal::kMaxDigits, DecimalError::None);
  }

  static Decimal WithShape(const Decimal& value, int digits) {
    return Decimal(value.units_, value.places_, digits, value.error_);
  }

  static DecimalError FirstError(const Decimal& a, const Decimal& b) {
    return a.IsValid() ? b.Error() : a.Error();
  }

  // |v| scaled to `scale` places (scale >= v.Places()).
  static Wide Scaled(const Decimal& v, int scale) {
    Wide w(Magnitude(v.units_));
    return Wide::Multiply(w, Pow10(scale - v.places_));
  }

  static Decimal AddSigned(const Decimal& a, const Decimal& b, bool negateB) {
    if (!a.IsValid() || !b.IsValid()) return Invalid(FirstError(a, b));
    const int scale = std::max(a.places_, b.places_);
    const Wide ma = Scaled(a, scale);
    const Wide mb = Scaled(b, scale);
    const bool na = a.units_ < 0;
    const bool nb = (b.units_ < 0) != negateB;
    if (na == nb) {
      Wide sum = ma;
      sum.Add(mb);
      return Make(na, sum, scale);
    }
    if (ma >= mb) {
      Wide diff = ma;
      diff.Sub(mb);
      return Make(na, diff, scale);
    }
    Wide diff = mb;
    diff.Sub(ma);
    return Make(nb, diff, scale);
  }

  // a / b with `places` places; with `fit` the quotient keeps only as many places as fit.
  static Decimal Quotient(const Decimal& a, const Decimal& b, int places) {
    if (!a.IsValid() || !b.IsValid()) return Invalid(FirstError(a, b));
    if (b.units_ == 0) return Invalid(DecimalError::DivideByZero);
    // |a| / 10^pa / (|b| / 10^pb) * 10^places = |a| * 10^(places + pb - pa) / |b|
    const int shift = places + b.places_ - a.places_;
    Wide num(Magnitude(a.units_));
    Wide den(Magnitude(b.units_));
    if (shift >= 0) {
      num = Wide::Multiply(num, Pow10(shift));
    } else {
      den = Wide::Multiply(den, Pow10(-shift));
    }
    Wide q, r;
    Wide::DivMod(num, den, q, r);
    const bool negative = (a.units_ < 0) != (b.units_ < 0);
    // When the quotient is too long, Make rounds the truncated quotient: the first dropped digit
    // alone decides, so rounding once here and again there would be wrong.
    if (DigitCount(q) > Decimal::kMaxDigits) return Make(negative, q, places);
    r.ShiftLeft1();
    if (r >= den) q.Add(Wide(1));
    return Make(negative, q, places);
  }
};

Decimal Decimal::Declared(int digits, int places) {
  digits = std::clamp(digits, 1, kMaxDigits);
  return Decimal(0, std::clamp(places, 0, digits), digits, DecimalError::None);
}

Decimal Decimal::FromText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  Wide magnitude;
  int integerDigits = 0;  // significant ones
  int places = 0;
  bool anyDigit = false;
  bool point = false;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '.' && !point) {
      point = true;
      continue;
    }
    if (c < '0' || c > '9') break;
    anyDigit = true;
    if (!point) {
      if (integerDigits == 0 && c == '0') continue;
      if (++integerDigits > kMaxDigits) return DecimalBuilder::Invalid(DecimalError::Overflow);
    } else {
      if (places > kMaxDigits) continue;  // only the first dropped digit matters when rounding
      ++places;
    }
    magnitude.MulSmall(10);
    magnitude.Add(Wide(static_cast<U128>(c - '0')));
  }
  while (i < text.size() && text[i] == ' ') ++i;
  if (!anyDigit || i != text.size()) return DecimalBuilder::Invalid(DecimalError::NotANumber);
  return DecimalBuilder::Make(negative, magnitude, places);
}

Decimal Decimal::FromLong(Long value) { return Decimal(value, 0, kMaxDigits, DecimalError::None); }

namespace {

// The 15 significant digits of a finite nonzero Real as mantissa * 10^(exponent - 14).
struct RealDigits {
  bool negative;
  std::uint64_t mantissa;  // 15 digits
  int exponent;
};

RealDigits ReadReal(Real value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.14e", value);
  RealDigits out{buf[0] == '-', 0, 0};
  const char* p = buf + (out.negative ? 1 : 0);
  for (; *p && *p != 'e'; ++p)
    if (*p >= '0' && *p <= '9') out.mantissa = out.mantissa * 10 + static_cast<std::uint64_t>(*p - '0');
  if (*p == 'e') out.exponent = static_cast<int>(std::strtol(p + 1, nullptr, 10));
  return out;
}

}  // namespace

Decimal Decimal::FromReal(Real value, int places) {
  if (!std::isfinite(value)) return DecimalBuilder::Invalid(DecimalError::NotANumber);
  places = ClampPlaces(places);
  if (value == 0) return Decimal(0, places, kMaxDigits, DecimalError::None);
  const RealDigits d = ReadReal(value);
  // value = mantissa * 10^(exponent - 14); scaled to `places` places that is
  // mantissa * 10^(exponent - 14 + places).
  const int shift = d.exponent - 14 + places;
  Wide magnitude(d.mantissa);
  if (shift >= 0) {
    if (shift > 40) return DecimalBuilder::Invalid(DecimalError::Overflow);
    magnitude = Wide::Multiply(magnitude, Pow10(shift));
  } else if (-shift > 20) {
    magnitude = Wide();  // below half a unit of the last place
  } else {
    magnitude = RoundDiv(magnitude, Pow10(-shift));
  }
  return DecimalBuilder::Make(d.negative && !magnitude.IsZero(), magnitude, places);
}

Decimal Decimal::FromReal(Real value) {
  if (!std::isfinite(value)) return DecimalBuilder::Invalid(DecimalError::NotANumber);
  if (value == 0) return Decimal();
  const int places = ClampPlaces(14 - ReadReal(value).exponent);
  return FromReal(value, places).Normalized();
}

bool Decimal::Assign(const Decimal& value) {
  if (!value.IsValid()) return false;
  const Decimal rounded = value.Round(places_);
  if (!rounded.IsValid() || rounded.places_ != places_) return false;
  if (DigitCount(Wide(Magnitude(rounded.units_))) > digits_) return false;
  units_ = rounded.units_;
  return true;
}

std::string Decimal::ToString() const {
  if (!IsValid()) return "";
  U128 m = Magnitude(units_);
  std::string digits;
  do {
    digits.push_back(static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  while (static_cast<int>(digits.size()) <= places_) digits.push_back('0');
  std::reverse(digits.begin(), digits.end());
  std::string out = units_ < 0 ? "-" : "";
  const std::size_t integerLength = digits.size() - static_cast<std::size_t>(places_);
  out.append(digits, 0, integerLength);
  if (places_ > 0) {
    out.push_back('.');
    out.append(digits, integerLength, std::string::npos);
  }
  return out;
}

Real Decimal::ToReal() const {
  if (!IsValid()) return 0;
  return std::strtod(ToString().c_str(), nullptr);
}

std::optional<Long> Decimal::ToLong() const {
  if (!IsValid()) return std::nullopt;
  __int128 whole = units_;
  for (int i = 0; i < places_; ++i) whole /= 10;
  if (whole < INT32_MIN || whole > INT32_MAX) return std::nullopt;
  return static_cast<Long>(whole);
}

Decimal Decimal::Round(int places) const {
  if (!IsValid()) return *this;
  places = ClampPlaces(places);
  const Wide m(Magnitude(units_));
  const Wide scaled = places >= places_ ? Wide::Multiply(m, Pow10(places - places_)) : RoundDiv(m, Pow10(places_ - places));
  return DecimalBuilder::Make(units_ < 0, scaled, places);
}

Decimal Decimal::Normalized() const {
  if (!IsValid()) return *this;
  __int128 u = units_;
  int p = places_;
  while (p > 0 && u % 10 == 0) {
    u /= 10;
    --p;
  }
  return Decimal(u, p, kMaxDigits, DecimalError::None);
}

Decimal Decimal::operator-() const {
  if (!IsValid()) return *this;
  return Decimal(-units_, places_, kMaxDigits, DecimalError::None);
}

Decimal operator+(const Decimal& a, const Decimal& b) { return DecimalBuilder::AddSigned(a, b, false); }
Decimal operator-(const Decimal& a, const Decimal& b) { return DecimalBuilder::AddSigned(a, b, true); }

Decimal operator*(const Decimal& a, const Decimal& b) {
  if (!a.IsValid() || !b.IsValid()) return DecimalBuilder::Invalid(DecimalBuilder::FirstError(a, b));
  const Wide product = Wide::Multiply(Wide(Magnitude(a.units_)), Wide(Magnitude(b.units_)));
  return DecimalBuilder::Make((a.units_ < 0) != (b.units_ < 0) && !product.IsZero(), product, a.places_ + b.places_);
}

Decimal operator/(const Decimal& a, const Decimal& b) {
  return DecimalBuilder::Quotient(a, b, Decimal::kMaxDigits);
}

Decimal Decimal::Divide(const Decimal& a, const Decimal& b, int places) {
  return DecimalBuilder::Quotient(a, b, ClampPlaces(places));
}

std::partial_ordering operator<=>(const Decimal& a, const Decimal& b) {
  if (!a.IsValid() || !b.IsValid()) return std::partial_ordering::unordered;
  const bool na = a.units_ < 0;
  const bool nb = b.units_ < 0;
  if (na != nb) return na ? std::partial_ordering::less : std::partial_ordering::greater;
  const int scale = std::max(a.places_, b.places_);
  const std::strong_ordering byMagnitude = DecimalBuilder::Scaled(a, scale) <=> DecimalBuilder::Scaled(b, scale);
  if (byMagnitude == 0) return std::partial_ordering::equivalent;
  const bool aSmaller = byMagnitude < 0;
  return (aSmaller != na) ? std::partial_ordering::less : std::partial_ordering::greater;
}

// --- packed BCD

namespace {

bool IsPackedSize(std::size_t size, int digits) {
  return digits >= 1 && digits <= Decimal::kMaxDigits && size == static_cast<std::size_t>(digits / 2 + 1);
}

}  // namespace

bool StorePackedDecimal(const Decimal& value, int digits, int places, std::span<Byte> bytes) {
  if (!IsPackedSize(bytes.size(), digits)) return false;
  Decimal target = Decimal::Declared(digits, places);
  if (!target.Assign(value)) return false;
  U128 m = Magnitude(target.Units());
  const int nibbles = static_cast<int>(bytes.size()) * 2;
  std::array<Byte, Decimal::kMaxDigits + 1> n{};
  n[static_cast<std::size_t>(nibbles - 1)] = target.IsNegative() ? 0x0D : 0x0C;
  for (int i = nibbles - 2; i >= 0; --i) {
    n[static_cast<std::size_t>(i)] = static_cast<Byte>(m % 10);
    m /= 10;
  }
  for (std::size_t b = 0; b < bytes.size(); ++b) bytes[b] = static_cast<Byte>((n[2 * b] << 4) | n[2 * b + 1]);
  return true;
}

std::optional<Decimal> LoadPackedDecimal(std::span<const Byte> bytes, int digits, int places) {
  if (!IsPackedSize(bytes.size(), digits)) return std::nullopt;
  const Decimal shape = Decimal::Declared(digits, places);
  if (std::all_of(bytes.begin(), bytes.end(), [](Byte b) { return b == 0; })) return shape;
  const int sign = bytes.back() & 0x0F;
  if (sign < 0x0A) return std::nullopt;
  const bool negative = sign == 0x0B || sign == 0x0D;
  const int nibbles = static_cast<int>(bytes.size()) * 2 - 1;
  const int padding = nibbles - digits;  // 1 when digits is even
  __int128 units = 0;
  for (int i = 0; i < nibbles; ++i) {
    const Byte b = bytes[static_cast<std::size_t>(i / 2)];
    const int nibble = (i % 2 == 0) ? (b >> 4) : (b & 0x0F);
    if (nibble > 9 || (i < padding && nibble != 0)) return std::nullopt;
    units = units * 10 + nibble;
  }
  Decimal value = DecimalBuilder::Make(negative && units != 0, Wide(static_cast<U128>(units)), shape.Places());
  Decimal out = shape;
  if (!out.Assign(value)) return std::nullopt;
  return out;
}

}  // namespace rt
