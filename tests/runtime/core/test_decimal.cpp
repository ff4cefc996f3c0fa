#include "runtime/core/decimal.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/support/param_names.h"

namespace rt {
namespace {

const std::string k31Nines = "9999999999999999999999999999999";

Decimal D(std::string_view text) { return Decimal::FromText(text); }

// ---------------------------------------------------------------- reading text

struct TextCase {
  const char* reason;
  std::string text;
  std::string expected;  // "" when invalid
  DecimalError error;
};

class DecimalFromText : public ::testing::TestWithParam<TextCase> {};

TEST_P(DecimalFromText, ReadsExactlyOrFails) {
  const TextCase& c = GetParam();
  const Decimal d = D(c.text);
  EXPECT_EQ(d.Error(), c.error) << c.text;
  EXPECT_EQ(d.ToString(), c.expected) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalFromText,
    ::testing::Values(
        // 1.x well-formed text keeps the places written
        TextCase{"t1_1_negative_with_places", "-12.345", "-12.345", DecimalError::None},
        TextCase{"t1_2_blanks_around", "   12.50  ", "12.50", DecimalError::None},
        TextCase{"t1_3_plus_sign", "+7", "7", DecimalError::None},
        TextCase{"t1_4_no_integer_digits", ".5", "0.5", DecimalError::None},
        TextCase{"t1_5_point_without_fraction", "5.", "5", DecimalError::None},
        TextCase{"t1_6_leading_zeros_do_not_count_as_digits", "0000000000000000000000000000000000001", "1",
                 DecimalError::None},
        TextCase{"t1_7_minus_zero_is_zero", "-0.00", "0.00", DecimalError::None},
        // 2.x digit limit: last valid / first invalid
        TextCase{"t2_1_31_integer_digits_fit", k31Nines, k31Nines, DecimalError::None},
        TextCase{"t2_2_32_integer_digits_overflow", k31Nines + "9", "", DecimalError::Overflow},
        TextCase{"t2_3_fraction_rounded_away_to_fit", "1234567890123456789012345678901.4",
                 "1234567890123456789012345678901", DecimalError::None},
        TextCase{"t2_4_fraction_rounding_carries_into_overflow", k31Nines + ".5", "", DecimalError::Overflow},
        TextCase{"t2_5_32_places_rounded_to_31", "0.00000000000000000000000000000015",
                 "0.0000000000000000000000000000002", DecimalError::None},
        TextCase{"t2_6_long_fraction_only_first_dropped_digit_counts", "0.1234567890123456789012345678901449999",
                 "0.1234567890123456789012345678901", DecimalError::None},
        // 3.x malformed text
        TextCase{"t3_1_empty", "", "", DecimalError::NotANumber},
        TextCase{"t3_3_two_points", "1.2.3", "", DecimalError::NotANumber},
        TextCase{"t3_4_letter_after_digits", "12a", "", DecimalError::NotANumber},
        TextCase{"t3_5_sign_alone", "-", "", DecimalError::NotANumber},
        TextCase{"t3_6_blank_inside", "1 2", "", DecimalError::NotANumber},
        TextCase{"t3_7_point_alone", ".", "", DecimalError::NotANumber},
        TextCase{"t3_8_two_signs", "--1", "", DecimalError::NotANumber}),
    ByReason());

// ---------------------------------------------------------------- reading Reals

struct RealCase {
  const char* reason;
  Real value;
  int places;  // -1: all significant digits
  std::string expected;
};

class DecimalFromReal : public ::testing::TestWithParam<RealCase> {};

TEST_P(DecimalFromReal, RoundsOnceHalfAwayFromZero) {
  const RealCase& c = GetParam();
  const Decimal d = c.places < 0 ? Decimal::FromReal(c.value) : Decimal::FromReal(c.value, c.places);
  EXPECT_EQ(d.ToString(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalFromReal,
    ::testing::Values(
        // 2.675 is stored as 2.67499999...; read as meant, it rounds up
        RealCase{"r1_binary_fraction_read_as_meant", 2.675, 2, "2.68"},
        RealCase{"r2_negative_half_away_from_zero", -2.675, 2, "-2.68"},
        RealCase{"r3_exact_half", 0.125, 2, "0.13"},
        RealCase{"r4_half_to_integer", -1.5, 0, "-2"},
        RealCase{"r5_tiny_rounds_to_zero", 1e-20, 2, "0.00"},
        RealCase{"r6_small_negative_gives_no_minus_zero", -0.004, 2, "0.00"},
        RealCase{"r7_places_added", 3.0, 3, "3.000"},
        RealCase{"r8_large_integer", 123456789012345.0, 0, "123456789012345"},
        RealCase{"r9_largest_fitting", 9.99e30, 0, "9990000000000000000000000000000"},
        RealCase{"r10_too_large", 1e31, 0, ""},
        RealCase{"r11_not_a_number", std::numeric_limits<Real>::quiet_NaN(), 2, ""},
        RealCase{"r12_infinity", std::numeric_limits<Real>::infinity(), 2, ""},
        RealCase{"r13_shortest_text", 0.1, -1, "0.1"},
        RealCase{"r14_shortest_small", 0.00001, -1, "0.00001"},
        RealCase{"r15_shortest_negative", -123.456, -1, "-123.456"},
        RealCase{"r16_zero", 0.0, -1, "0"}),
    ByReason());

// ---------------------------------------------------------------- arithmetic

struct ArithmeticCase {
  const char* reason;
  char op;  // + - * / or 'r' for Divide(a, b, places)
  std::string a, b;
  int places;
  std::string expected;  // ToString of the result, "" when invalid
};

class DecimalArithmetic : public ::testing::TestWithParam<ArithmeticCase> {};

TEST_P(DecimalArithmetic, ExactOrRoundedHalfAwayFromZero) {
  const ArithmeticCase& c = GetParam();
  const Decimal a = D(c.a);
  const Decimal b = D(c.b);
  Decimal r;
  switch (c.op) {
    case '+': r = a + b; break;
    case '-': r = a - b; break;
    case '*': r = a * b; break;
    case '/': r = (a / b).Normalized(); break;
    default: r = Decimal::Divide(a, b, c.places); break;
  }
  EXPECT_EQ(r.ToString(), c.expected) << c.a << ' ' << c.op << ' ' << c.b;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalArithmetic,
    ::testing::Values(
        // a.x exact sums keep the larger places
        ArithmeticCase{"a1_no_binary_error", '+', "0.1", "0.2", 0, "0.3"},
        ArithmeticCase{"a2_places_of_the_longer", '+', "1.50", "2.5", 0, "4.00"},
        ArithmeticCase{"a3_mixed_signs", '+', "-5", "3.25", 0, "-1.75"},
        ArithmeticCase{"a4_difference_goes_negative", '-', "3", "5.5", 0, "-2.5"},
        ArithmeticCase{"a5_sum_to_zero_has_no_sign", '+', "-1.25", "1.25", 0, "0.00"},
        ArithmeticCase{"a6_sum_one_past_31_digits_drops_a_place", '+', "99999999999999999999999999999.99", "0.01", 0,
                       "100000000000000000000000000000.0"},
        ArithmeticCase{"a7_integer_sum_overflows", '+', k31Nines, "1", 0, ""},
        ArithmeticCase{"a8_largest_integer_sum", '+', "9999999999999999999999999999998", "1", 0, k31Nines},
        // m.x products
        ArithmeticCase{"m1_places_add_up", '*', "1.1", "1.1", 0, "1.21"},
        ArithmeticCase{"m2_sign", '*', "-2.5", "4", 0, "-10.0"},
        ArithmeticCase{"m3_32_places_rounded_to_31", '*', "0.1234567890123456", "0.1234567890123456", 0,
                       "0.0152415787532388172687092138394"},
        ArithmeticCase{"m4_31_integer_digits_fraction_rounded_away", '*', "1234567890123456.7", "1000000000000000.03", 0,
                       "1234567890123456737037036703704"},
        ArithmeticCase{"m5_product_overflows", '*', k31Nines, "10", 0, ""},
        ArithmeticCase{"m6_zero_times_negative_has_no_sign", '*', "0", "-3", 0, "0"},
        // d.x quotients
        ArithmeticCase{"d1_terminating", '/', "10", "4", 0, "2.5"},
        ArithmeticCase{"d2_repeating_to_31_places", '/', "1", "7", 0, "0.1428571428571428571428571428571"},
        ArithmeticCase{"d3_repeating_rounded_up", '/', "2", "3", 0, "0.6666666666666666666666666666667"},
        ArithmeticCase{"d4_long_quotient_keeps_what_fits", '/', "1000000000000000000000000000000", "7", 0,
                       "142857142857142857142857142857.1"},
        ArithmeticCase{"d5_divide_by_zero", '/', "1", "0.00", 0, ""},
        ArithmeticCase{"d6_quotient_overflows", '/', k31Nines, "0.1", 0, ""},
        ArithmeticCase{"d7_to_places_half_up", 'r', "1", "8", 2, "0.13"},
        ArithmeticCase{"d8_to_places_negative_half_away", 'r', "-1", "8", 2, "-0.13"},
        ArithmeticCase{"d9_to_places_below_half", 'r', "2", "3", 0, "1"},
        ArithmeticCase{"d10_divisor_with_more_places", 'r', "1", "0.003", 1, "333.3"},
        ArithmeticCase{"d11_invalid_operand_propagates", '+', "abc", "1", 0, ""}),
    ByReason());

TEST(DecimalArithmeticErrors, ReportTheirCause) {
  EXPECT_EQ((D("1") / D("0")).Error(), DecimalError::DivideByZero);
  EXPECT_EQ((D(k31Nines) + D("1")).Error(), DecimalError::Overflow);
  // the first invalid operand names the cause, and it survives further arithmetic
  EXPECT_EQ(((D("x") * D("1")) + D("2")).Error(), DecimalError::NotANumber);
}

// ---------------------------------------------------------------- rounding

struct RoundCase {
  std::string value;
  int places;
  std::string expected;
};

class DecimalRound : public ::testing::TestWithParam<RoundCase> {};

TEST_P(DecimalRound, HalfAwayFromZero) {
  const RoundCase& c = GetParam();
  EXPECT_EQ(D(c.value).Round(c.places).ToString(), c.expected) << c.value << " to " << c.places;
}

INSTANTIATE_TEST_SUITE_P(Cases, DecimalRound,
                         ::testing::Values(RoundCase{"2.345", 2, "2.35"},      // half up
                                           RoundCase{"-2.345", 2, "-2.35"},    // half away from zero
                                           RoundCase{"2.3449", 2, "2.34"},     // just below half
                                           RoundCase{"9.995", 2, "10.00"},     // carry into a new digit
                                           RoundCase{"1.5", 3, "1.500"},       // places added
                                           RoundCase{"0.5", 0, "1"},           // half to integer
                                           RoundCase{"-0.4", 0, "0"},          // no minus zero
                                           RoundCase{"1.23", -3, "1"},         // places clamp at 0
                                           RoundCase{k31Nines, 2, k31Nines}));  // no room for places

// ---------------------------------------------------------------- declared shapes

struct AssignCase {
  const char* reason;
  int digits, places;
  std::string value;
  bool fits;
  std::string stored;  // value after the assignment
};

class DecimalAssign : public ::testing::TestWithParam<AssignCase> {};

TEST_P(DecimalAssign, ReportsOverflowInsteadOfWrapping) {
  const AssignCase& c = GetParam();
  Decimal target = Decimal::Declared(c.digits, c.places);
  ASSERT_TRUE(target.Assign(D("0.5")));  // a prior value that a failed assignment must keep
  EXPECT_EQ(target.Assign(D(c.value)), c.fits) << c.value;
  EXPECT_EQ(target.ToString(), c.stored);
  EXPECT_EQ(target.Places(), std::min(c.places, c.digits));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecimalAssign,
    ::testing::Values(
        AssignCase{"s1_last_valid", 5, 2, "999.99", true, "999.99"},
        AssignCase{"s2_first_invalid", 5, 2, "1000", false, "0.50"},
        AssignCase{"s3_rounds_down_into_range", 5, 2, "999.994", true, "999.99"},
        AssignCase{"s4_rounds_up_out_of_range", 5, 2, "999.995", false, "0.50"},
        AssignCase{"s5_negative_last_valid", 3, 0, "-999", true, "-999"},
        AssignCase{"s6_negative_first_invalid", 3, 0, "-1000", false, "1"},
        AssignCase{"s7_widest_declaration", 31, 0, k31Nines, true, k31Nines},
        AssignCase{"s8_all_places", 4, 4, "0.12345", true, "0.1235"},
        AssignCase{"s9_all_places_overflow", 4, 4, "1", false, "0.5000"},
        AssignCase{"s10_invalid_value", 9, 2, "abc", false, "0.50"},
        AssignCase{"s11_places_beyond_digits_clamped", 2, 5, "0.555", true, "0.56"}),
    ByReason());

TEST(DecimalAssign, ResultOfArithmeticTakesTheTargetShape) {
  Decimal total = Decimal::Declared(7, 2);
  ASSERT_TRUE(total.Assign(Decimal::Divide(D("10"), D("3"), 10)));
  EXPECT_EQ(total.ToString(), "3.33");
  Decimal free = total * D("3");  // arithmetic results are free values
  EXPECT_EQ(free.ToString(), "9.99");
  EXPECT_EQ(free.Digits(), Decimal::kMaxDigits);
}

// ---------------------------------------------------------------- comparison and conversion

TEST(DecimalCompare, OrdersByValueAcrossPlacesAndSigns) {
  struct Case {
    std::string a, b;
    int expected;  // -1, 0, 1
  };
  const std::array<Case, 8> cases = {{
      {"1.5", "1.50", 0},
      {"-1", "0.5", -1},
      {"-2", "-1.5", -1},
      {"0.00", "-0", 0},
      {k31Nines, "0.0000000000000000000000000000001", 1},
      {"-" + k31Nines, "-0.0000000000000000000000000000001", -1},
      {"0.0000000000000000000000000000002", "0.0000000000000000000000000000001", 1},
      {"123.45", "123.449999", 1},
  }};
  for (const Case& c : cases) {
    const std::partial_ordering order = D(c.a) <=> D(c.b);
    const int got = order < 0 ? -1 : (order > 0 ? 1 : 0);
    EXPECT_EQ(got, c.expected) << c.a << " vs " << c.b;
  }
}

TEST(DecimalCompare, InvalidIsUnordered) {
  const Decimal bad = D("x");
  EXPECT_FALSE(bad == bad);
  EXPECT_FALSE(bad < D("1"));
  EXPECT_FALSE(bad > D("1"));
}

TEST(DecimalConvert, ToLongTruncatesAndRefusesWhatDoesNotFit) {
  EXPECT_EQ(D("-12.99").ToLong(), -12);
  EXPECT_EQ(D("2147483647.9").ToLong(), 2147483647);
  EXPECT_EQ(D("2147483648").ToLong(), std::nullopt);
  EXPECT_EQ(D("-2147483648").ToLong(), -2147483647 - 1);
  EXPECT_EQ(D("-2147483649").ToLong(), std::nullopt);
  EXPECT_DOUBLE_EQ(D("-1234.5").ToReal(), -1234.5);
}

// ---------------------------------------------------------------- packed BCD

// Load reads the bytes; a canonical row is also exactly what Store writes for its value.
struct BcdCase {
  const char* reason;
  int digits, places;
  std::vector<Byte> bytes;
  std::string value;  // "" when the bytes are refused
  bool canonical;
};

class PackedDecimalBytes : public ::testing::TestWithParam<BcdCase> {};

TEST_P(PackedDecimalBytes, ReadAndWrittenNibbleByNibble) {
  const BcdCase& c = GetParam();
  const auto loaded = LoadPackedDecimal(c.bytes, c.digits, c.places);
  EXPECT_EQ(loaded ? loaded->ToString() : "", c.value);
  if (!c.canonical) return;
  std::vector<Byte> stored(c.bytes.size(), 0xEE);
  ASSERT_TRUE(StorePackedDecimal(D(c.value), c.digits, c.places, stored));
  EXPECT_EQ(stored, c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PackedDecimalBytes,
    ::testing::Values(BcdCase{"odd digits fill every nibble, D is minus", 5, 2, {0x12, 0x34, 0x5D}, "-123.45", true},
                      BcdCase{"odd digits, leading zeros, C is plus", 5, 2, {0x00, 0x70, 0x0C}, "7.00", true},
                      BcdCase{"even digits lead with a zero nibble", 4, 1, {0x01, 0x23, 0x4C}, "123.4", true},
                      BcdCase{"sign F is plus", 4, 1, {0x01, 0x23, 0x4F}, "123.4", false},
                      BcdCase{"sign B is minus", 4, 1, {0x01, 0x23, 0x4B}, "-123.4", false},
                      BcdCase{"negative zero reads as zero", 4, 1, {0x00, 0x00, 0x0D}, "0.0", false},
                      BcdCase{"cleared record reads as zero", 4, 1, {0x00, 0x00, 0x00}, "0.0", false},
                      BcdCase{"digit nibble above 9", 4, 1, {0x01, 0x2A, 0x4C}, "", false},
                      BcdCase{"sign nibble is a digit", 4, 1, {0x01, 0x23, 0x45}, "", false},
                      BcdCase{"padding nibble not zero", 4, 1, {0x11, 0x23, 0x4C}, "", false}),
    ByReason());

TEST(PackedDecimal, OverflowFailsAndKeepsTheStoredValue) {
  PackedDecimal<5, 2> p;
  ASSERT_TRUE(p.Store(D("999.99")));                   // last valid
  EXPECT_FALSE(p.Store(D("999.995")));                 // first invalid: rounds to 1000.00
  EXPECT_FALSE(p.Store(Decimal::FromText("nonsense")));
  EXPECT_EQ(p.Load()->ToString(), "999.99");
}

TEST(PackedDecimal, RoundTripsThroughBytes) {
  for (const char* text : {"0", "-0.01", "12345678901234567890123456.7890", "-9999999999999999999999999999.999"}) {
    PackedDecimal<31, 3> p;
    ASSERT_TRUE(p.Store(D(text))) << text;
    const auto back = p.Load();
    ASSERT_TRUE(back.has_value()) << text;
    EXPECT_EQ(*back, D(text).Round(3)) << text;
    EXPECT_EQ(back->Places(), 3);
  }
}

TEST(PackedDecimal, WrongBufferSizeIsRefused) {
  std::array<Byte, 4> bytes{};
  EXPECT_FALSE(StorePackedDecimal(D("1"), 5, 0, bytes));  // DECIMAL(5) takes 3 bytes
  EXPECT_FALSE(LoadPackedDecimal(bytes, 5, 0).has_value());
}

}  // namespace
}  // namespace rt
