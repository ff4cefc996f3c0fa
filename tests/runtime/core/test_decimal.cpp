#include "runtime/core/decimal.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace rt {
namespace {

const std::string k31Nines = "9999999999999999999999999999999";

Decimal D(std::string_view text) { return Decimal::FromText(text); }

// ---------------------------------------------------------------- reading text and Reals

TEST(DecimalFromText, ReadsExactlyOrFails) {
  const struct {
    const char* reason;
    std::string text, expected;  // "" when invalid
    DecimalError error;
  } kCases[] = {
      // 1.x well-formed text keeps the places written
      {"t1_1_negative_with_places", "-12.345", "-12.345", DecimalError::None},
      {"t1_2_blanks_around", "   12.50  ", "12.50", DecimalError::None},
      {"t1_3_plus_sign", "+7", "7", DecimalError::None},
      {"t1_4_no_integer_digits", ".5", "0.5", DecimalError::None},
      {"t1_5_point_without_fraction", "5.", "5", DecimalError::None},
      {"t1_6_leading_zeros_do_not_count", "0000000000000000000000000000000000001", "1", DecimalError::None},
      {"t1_7_minus_zero_is_zero", "-0.00", "0.00", DecimalError::None},
      // 2.x digit limit: last valid / first invalid
      {"t2_1_31_integer_digits_fit", k31Nines, k31Nines, DecimalError::None},
      {"t2_2_32_integer_digits_overflow", k31Nines + "9", "", DecimalError::Overflow},
      {"t2_3_fraction_rounded_away_to_fit", "1234567890123456789012345678901.4", "1234567890123456789012345678901", DecimalError::None},
      {"t2_4_fraction_rounding_carries_into_overflow", k31Nines + ".5", "", DecimalError::Overflow},
      {"t2_5_32_places_rounded_to_31", "0.00000000000000000000000000000015", "0.0000000000000000000000000000002", DecimalError::None},
      {"t2_6_only_first_dropped_digit_counts", "0.1234567890123456789012345678901449999", "0.1234567890123456789012345678901",
       DecimalError::None},
      // 3.x malformed text
      {"t3_1_empty", "", "", DecimalError::NotANumber},
      {"t3_3_two_points", "1.2.3", "", DecimalError::NotANumber},
      {"t3_4_letter_after_digits", "12a", "", DecimalError::NotANumber},
      {"t3_5_sign_alone", "-", "", DecimalError::NotANumber},
      {"t3_8_two_signs", "--1", "", DecimalError::NotANumber},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reason);
    EXPECT_EQ(D(c.text).Error(), c.error);
    EXPECT_EQ(D(c.text).ToString(), c.expected);
  }
}

// A Real is read as meant (2.675 is stored as 2.67499999...) and rounded once, half away from zero.
TEST(DecimalFromReal, RoundsOnceHalfAwayFromZero) {
  const struct {
    Real value;
    int places;  // -1: all significant digits
    std::string expected;
  } kCases[] = {
      {2.675, 2, "2.68"}, {-2.675, 2, "-2.68"}, {0.125, 2, "0.13"}, {-1.5, 0, "-2"},  // binary fractions, exact halves
      {1e-20, 2, "0.00"}, {-0.004, 2, "0.00"},                                         // to zero, without a minus
      {3.0, 3, "3.000"}, {123456789012345.0, 0, "123456789012345"},                   // places added, a large integer
      {9.99e30, 0, "9990000000000000000000000000000"}, {1e31, 0, ""},                  // largest fitting / too large
      {std::numeric_limits<Real>::quiet_NaN(), 2, ""}, {std::numeric_limits<Real>::infinity(), 2, ""},
      {0.1, -1, "0.1"}, {0.00001, -1, "0.00001"}, {-123.456, -1, "-123.456"}, {0.0, -1, "0"},  // the shortest text
  };
  for (const auto& c : kCases)
    EXPECT_EQ((c.places < 0 ? Decimal::FromReal(c.value) : Decimal::FromReal(c.value, c.places)).ToString(), c.expected) << c.value;
}

// ---------------------------------------------------------------- arithmetic and rounding

TEST(DecimalArithmetic, ExactOrRoundedHalfAwayFromZero) {
  const struct {
    const char* reason;
    char op;  // + - * / or 'r' for Divide(a, b, places)
    std::string a, b;
    int places;
    std::string expected;  // ToString of the result, "" when invalid
  } kCases[] = {
      // a.x exact sums keep the larger places
      {"a1_no_binary_error", '+', "0.1", "0.2", 0, "0.3"},
      {"a2_places_of_the_longer", '+', "1.50", "2.5", 0, "4.00"},
      {"a3_mixed_signs", '+', "-5", "3.25", 0, "-1.75"},
      {"a4_difference_goes_negative", '-', "3", "5.5", 0, "-2.5"},
      {"a5_sum_to_zero_has_no_sign", '+', "-1.25", "1.25", 0, "0.00"},
      {"a6_sum_one_past_31_digits_drops_a_place", '+', "99999999999999999999999999999.99", "0.01", 0, "100000000000000000000000000000.0"},
      {"a7_integer_sum_overflows", '+', k31Nines, "1", 0, ""},
      {"a8_largest_integer_sum", '+', "9999999999999999999999999999998", "1", 0, k31Nines},
      // m.x products
      {"m1_places_add_up", '*', "1.1", "1.1", 0, "1.21"},
      {"m2_sign", '*', "-2.5", "4", 0, "-10.0"},
      {"m3_32_places_rounded_to_31", '*', "0.1234567890123456", "0.1234567890123456", 0, "0.0152415787532388172687092138394"},
      {"m4_fraction_rounded_away", '*', "1234567890123456.7", "1000000000000000.03", 0, "1234567890123456737037036703704"},
      {"m5_product_overflows", '*', k31Nines, "10", 0, ""},
      {"m6_zero_times_negative_has_no_sign", '*', "0", "-3", 0, "0"},
      // d.x quotients
      {"d1_terminating", '/', "10", "4", 0, "2.5"},
      {"d2_repeating_to_31_places", '/', "1", "7", 0, "0.1428571428571428571428571428571"},
      {"d3_repeating_rounded_up", '/', "2", "3", 0, "0.6666666666666666666666666666667"},
      {"d4_long_quotient_keeps_what_fits", '/', "1000000000000000000000000000000", "7", 0, "142857142857142857142857142857.1"},
      {"d5_divide_by_zero", '/', "1", "0.00", 0, ""},
      {"d6_quotient_overflows", '/', k31Nines, "0.1", 0, ""},
      {"d7_to_places_half_up", 'r', "1", "8", 2, "0.13"},
      {"d8_to_places_negative_half_away", 'r', "-1", "8", 2, "-0.13"},
      {"d9_to_places_below_half", 'r', "2", "3", 0, "1"},
      {"d10_divisor_with_more_places", 'r', "1", "0.003", 1, "333.3"},
      {"d11_invalid_operand_propagates", '+', "abc", "1", 0, ""},
  };
  for (const auto& c : kCases) {
    const Decimal a = D(c.a), b = D(c.b);
    const Decimal r = c.op == '+' ? a + b : c.op == '-' ? a - b : c.op == '*' ? a * b
                    : c.op == '/' ? (a / b).Normalized() : Decimal::Divide(a, b, c.places);
    EXPECT_EQ(r.ToString(), c.expected) << c.reason;
  }
  // The cause is kept: the first invalid operand names it, and it survives further arithmetic.
  EXPECT_EQ((D("1") / D("0")).Error(), DecimalError::DivideByZero);
  EXPECT_EQ((D(k31Nines) + D("1")).Error(), DecimalError::Overflow);
  EXPECT_EQ(((D("x") * D("1")) + D("2")).Error(), DecimalError::NotANumber);
}

TEST(DecimalRound, HalfAwayFromZero) {
  const struct {
    std::string value;
    int places;
    std::string expected;
  } kCases[] = {
      {"2.345", 2, "2.35"}, {"-2.345", 2, "-2.35"}, {"2.3449", 2, "2.34"},  // half up, away from zero, just below
      {"9.995", 2, "10.00"}, {"1.5", 3, "1.500"}, {"0.5", 0, "1"},           // a carry, places added, to an integer
      {"-0.4", 0, "0"}, {"1.23", -3, "1"}, {k31Nines, 2, k31Nines},          // no minus zero, places clamp at 0, no room
  };
  for (const auto& c : kCases) EXPECT_EQ(D(c.value).Round(c.places).ToString(), c.expected) << c.value << " to " << c.places;
}

// ---------------------------------------------------------------- declared shapes

// A failed assignment reports overflow and keeps the prior value instead of wrapping.
TEST(DecimalAssign, ReportsOverflowInsteadOfWrapping) {
  const struct {
    int digits, places;
    std::string value;
    bool fits;
    std::string stored;  // value after the assignment
  } kCases[] = {
      {5, 2, "999.99", true, "999.99"}, {5, 2, "1000", false, "0.50"},            // last valid / first invalid
      {5, 2, "999.994", true, "999.99"}, {5, 2, "999.995", false, "0.50"},        // rounds into / out of range
      {3, 0, "-999", true, "-999"}, {3, 0, "-1000", false, "1"},                  // negative last valid / first invalid
      {31, 0, k31Nines, true, k31Nines},                                          // the widest declaration
      {4, 4, "0.12345", true, "0.1235"}, {4, 4, "1", false, "0.5000"},            // all places
      {9, 2, "abc", false, "0.50"}, {2, 5, "0.555", true, "0.56"},                // invalid value; places clamped
  };
  for (const auto& c : kCases) {
    Decimal target = Decimal::Declared(c.digits, c.places);
    ASSERT_TRUE(target.Assign(D("0.5")));
    EXPECT_EQ(target.Assign(D(c.value)), c.fits) << c.value;
    EXPECT_EQ(target.ToString(), c.stored) << c.value;
    EXPECT_EQ(target.Places(), std::min(c.places, c.digits)) << c.value;
  }
  Decimal total = Decimal::Declared(7, 2);
  ASSERT_TRUE(total.Assign(Decimal::Divide(D("10"), D("3"), 10)));
  EXPECT_EQ(total.ToString(), "3.33") << "the result of arithmetic takes the target's shape";
  const Decimal free = total * D("3");
  EXPECT_EQ(free.ToString(), "9.99");
  EXPECT_EQ(free.Digits(), Decimal::kMaxDigits) << "arithmetic results are free values";
}

// ---------------------------------------------------------------- comparison and conversion

TEST(DecimalCompareAndConvert, OrdersByValueInvalidIsUnorderedAndToLongTruncatesOrRefuses) {
  const std::string tiny = "0.0000000000000000000000000000001";
  const struct {
    std::string a, b;
    int expected;  // -1, 0, 1
  } kCases[] = {
      {"1.5", "1.50", 0}, {"-1", "0.5", -1}, {"-2", "-1.5", -1}, {"0.00", "-0", 0}, {k31Nines, tiny, 1},
      {"-" + k31Nines, "-" + tiny, -1}, {"0.0000000000000000000000000000002", tiny, 1}, {"123.45", "123.449999", 1},
  };
  for (const auto& c : kCases) {
    const std::partial_ordering order = D(c.a) <=> D(c.b);
    EXPECT_EQ(order < 0 ? -1 : (order > 0 ? 1 : 0), c.expected) << c.a << " vs " << c.b;
  }
  const Decimal bad = D("x");
  EXPECT_FALSE(bad == bad || bad < D("1") || bad > D("1"));
  // ToLong truncates and refuses what does not fit.
  EXPECT_EQ(D("-12.99").ToLong(), -12);
  EXPECT_EQ(D("2147483647.9").ToLong(), 2147483647);
  EXPECT_EQ(D("2147483648").ToLong(), std::nullopt);
  EXPECT_EQ(D("-2147483648").ToLong(), -2147483647 - 1);
  EXPECT_EQ(D("-2147483649").ToLong(), std::nullopt);
  EXPECT_DOUBLE_EQ(D("-1234.5").ToReal(), -1234.5);
}

// ---------------------------------------------------------------- packed BCD

// Load reads the bytes; a canonical row is also exactly what Store writes for its value.
TEST(PackedDecimal, ReadAndWrittenNibbleByNibble) {
  const struct {
    const char* reason;
    int digits, places;
    std::vector<Byte> bytes;
    std::string value;  // "" when the bytes are refused
    bool canonical;
  } kCases[] = {
      {"odd digits fill every nibble, D is minus", 5, 2, {0x12, 0x34, 0x5D}, "-123.45", true},
      {"odd digits, leading zeros, C is plus", 5, 2, {0x00, 0x70, 0x0C}, "7.00", true},
      {"even digits lead with a zero nibble", 4, 1, {0x01, 0x23, 0x4C}, "123.4", true},
      {"sign F is plus", 4, 1, {0x01, 0x23, 0x4F}, "123.4", false},
      {"sign B is minus", 4, 1, {0x01, 0x23, 0x4B}, "-123.4", false},
      {"negative zero reads as zero", 4, 1, {0x00, 0x00, 0x0D}, "0.0", false},
      {"cleared record reads as zero", 4, 1, {0x00, 0x00, 0x00}, "0.0", false},
      {"digit nibble above 9", 4, 1, {0x01, 0x2A, 0x4C}, "", false},
      {"sign nibble is a digit", 4, 1, {0x01, 0x23, 0x45}, "", false},
      {"padding nibble not zero", 4, 1, {0x11, 0x23, 0x4C}, "", false},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.reason);
    const auto loaded = LoadPackedDecimal(c.bytes, c.digits, c.places);
    EXPECT_EQ(loaded ? loaded->ToString() : "", c.value);
    if (!c.canonical) continue;
    std::vector<Byte> stored(c.bytes.size(), 0xEE);
    ASSERT_TRUE(StorePackedDecimal(D(c.value), c.digits, c.places, stored));
    EXPECT_EQ(stored, c.bytes);
  }
  std::array<Byte, 4> wrongSize{};
  EXPECT_FALSE(StorePackedDecimal(D("1"), 5, 0, wrongSize)) << "DECIMAL(5) takes 3 bytes";
  EXPECT_FALSE(LoadPackedDecimal(wrongSize, 5, 0).has_value());
}

TEST(PackedDecimal, OverflowFailsAndKeepsTheStoredValueAndValuesRoundTrip) {
  PackedDecimal<5, 2> p;
  ASSERT_TRUE(p.Store(D("999.99")));                   // last valid
  EXPECT_FALSE(p.Store(D("999.995")));                 // first invalid: rounds to 1000.00
  EXPECT_FALSE(p.Store(Decimal::FromText("nonsense")));
  EXPECT_EQ(p.Load()->ToString(), "999.99");
  for (const char* text : {"0", "-0.01", "12345678901234567890123456.7890", "-9999999999999999999999999999.999"}) {
    PackedDecimal<31, 3> wide;
    ASSERT_TRUE(wide.Store(D(text))) << text;
    const auto back = wide.Load();
    ASSERT_TRUE(back.has_value()) << text;
    EXPECT_EQ(*back, D(text).Round(3)) << text;
    EXPECT_EQ(back->Places(), 3);
  }
}

}  // namespace
}  // namespace rt
