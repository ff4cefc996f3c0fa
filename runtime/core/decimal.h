#pragma once
// Exact decimal values (`Decimal`) and their packed BCD form in record buffers (`PackedDecimal`).
// Owns the arithmetic, rounding and overflow rules of DECIMAL(digits, places) values; does not
// format them by pictures (picture.h does). Calls nothing above runtime/core.

#include <compare>
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#include "runtime/core/types.h"

namespace rt {

// Why a Decimal holds no value. Invalid values propagate through arithmetic like a NaN.
enum class DecimalError { None, NotANumber, Overflow, DivideByZero };

// An exact decimal of at most 31 significant digits: an unscaled integer and a count of places.
// Every Decimal also carries a declared shape (digits, places). A declared variable
// (`Declared(9, 2)` for DECIMAL(9,2)) keeps its shape on `Assign`; literals and results of
// arithmetic are free values of shape (31, their own places).
//
// Rounding is always half away from zero. Sums, differences and products are exact while they
// fit in 31 digits; beyond that the lowest places are rounded away, and a result whose integer
// part alone needs more than 31 digits is invalid (Overflow).
class Decimal {
 public:
  static constexpr int kMaxDigits = 31;

  // --- making values
  Decimal() = default;  // free zero, no places
  static Decimal Declared(int digits, int places);  // zero of DECIMAL(digits, places); clamped to 1..31
  // Text such as " -12.345 ": blanks around, optional sign, digits with at most one point.
  // Keeps the places written. Anything else is NotANumber; more than 31 integer digits Overflow.
  static Decimal FromText(std::string_view text);
  static Decimal FromLong(Long value);
  // A Real is read at its 15 significant digits (what it was meant to hold: 2.675, not
  // 2.67499999...), then rounded once to `places`.
  static Decimal FromReal(Real value, int places);
  static Decimal FromReal(Real value);  // all 15 significant digits, no trailing zeros

  // --- assignment into a declared shape
  // Rounds to this value's places. Returns false and leaves the value unchanged when `value`
  // is invalid or needs more than this value's digits.
  [[nodiscard]] bool Assign(const Decimal& value);

  // --- reading
  bool IsValid() const { return error_ == DecimalError::None; }
  DecimalError Error() const { return error_; }
  bool IsZero() const { return units_ == 0; }
  bool IsNegative() const { return units_ < 0; }
  __int128 Units() const { return units_; }  // the value times 10^Places()
  int Places() const { return places_; }
  int Digits() const { return digits_; }
  // Exactly Places() decimals ("-12.30", "0", "0.05"); "" when invalid.
  std::string ToString() const;
  Real ToReal() const;
  // The integer part (truncated) when it fits a Long.
  std::optional<Long> ToLong() const;

  // --- arithmetic
  Decimal Round(int places) const;  // half away from zero; places clamped to 0..31
  Decimal Normalized() const;       // trailing zero places removed: 1.50 -> 1.5
  Decimal operator-() const;
  friend Decimal operator+(const Decimal& a, const Decimal& b);
  friend Decimal operator-(const Decimal& a, const Decimal& b);
  friend Decimal operator*(const Decimal& a, const Decimal& b);
  // As many places as fit in 31 digits, rounded once. Use Divide to round to chosen places.
  friend Decimal operator/(const Decimal& a, const Decimal& b);
  static Decimal Divide(const Decimal& a, const Decimal& b, int places);

  // --- comparison: by value (1.5 == 1.50); an invalid value is unordered with everything
  friend std::partial_ordering operator<=>(const Decimal& a, const Decimal& b);
  friend bool operator==(const Decimal& a, const Decimal& b) { return (a <=> b) == 0; }

 private:
  friend struct DecimalBuilder;
  Decimal(__int128 units, int places, int digits, DecimalError error)
      : units_(units), places_(places), digits_(digits), error_(error) {}

  __int128 units_ = 0;  // |units_| < 10^31
  int places_ = 0;
  int digits_ = kMaxDigits;
  DecimalError error_ = DecimalError::None;
};

// --- packed BCD storage, as DECIMAL fields lie in record buffers
// Digits/2+1 bytes: digit nibbles most significant first (a leading zero nibble when Digits is
// even), the sign in the last nibble: 0xC or 0xF positive (0xC written), 0xD negative; 0xA and
// 0xE also read as positive, 0xB as negative. A buffer of all zero bytes (a cleared record) reads
// as zero. Store rounds to Places and fails without touching the bytes when the value is too large.
bool StorePackedDecimal(const Decimal& value, int digits, int places, std::span<Byte> bytes);
std::optional<Decimal> LoadPackedDecimal(std::span<const Byte> bytes, int digits, int places);

template <int Digits, int Places>
class PackedDecimal {
  static_assert(Digits >= 1 && Digits <= Decimal::kMaxDigits, "DECIMAL has 1 to 31 digits");
  static_assert(Places >= 0 && Places <= Digits, "DECIMAL places lie within its digits");

 public:
  static constexpr std::size_t kSize = Digits / 2 + 1;

  PackedDecimal() { Clear(); }
  void Clear() {
    for (Byte& b : bytes_) b = 0;
    bytes_[kSize - 1] = 0x0C;
  }
  [[nodiscard]] bool Store(const Decimal& value) { return StorePackedDecimal(value, Digits, Places, bytes_); }
  // nullopt when the bytes are not packed decimal (a nibble above 9, an unknown sign).
  std::optional<Decimal> Load() const { return LoadPackedDecimal(bytes_, Digits, Places); }
  const Byte* Data() const { return bytes_; }

 private:
  Byte bytes_[kSize];
};

static_assert(sizeof(PackedDecimal<9, 2>) == 5);
static_assert(sizeof(PackedDecimal<10, 2>) == 6);
static_assert(sizeof(PackedDecimal<31, 4>) == 16);
static_assert(std::is_trivially_copyable_v<PackedDecimal<7, 2>>);

}  // namespace rt
