#include "runtime/core/picture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "runtime/core/date_time.h"

namespace rt {
namespace {

// ---------------------------------------------------------------- numbers

TEST(PictureNumberFormat, FormatsExactly) {
  const struct {
    const char* reason;
    std::string value;  // decimal text, formatted exactly
    std::string picture, expected;
  } kCases[] = {
        // n1.x grouping and signs
        {"n1_1_default_groups_with_commas", "1234.5", "@n10.2", "  1,234.50"},
        {"n1_2_default_leading_minus", "-1234.5", "@n10.2", " -1,234.50"},
        {"n1_4_underscore_no_grouping", "-1234.5", "@n_10.2", "  -1234.50"},
        {"n1_5_explicit_comma", "1234567", "@n,10", " 1,234,567"},
        {"n1_6_trailing_minus", "-1234.5", "@n10.2-", " 1,234.50-"},
        {"n1_7_trailing_minus_positive_keeps_column", "1234.5", "@n10.2-", " 1,234.50 "},
        {"n1_8_parentheses", "-1234.5", "@n(10.2)", "(1,234.50)"},
        {"n1_9_parentheses_positive_keeps_column", "1234.5", "@n(10.2)", " 1,234.50 "},
        {"n1_10_three_digits_no_comma", "999", "@n5", "  999"},
        {"n1_11_four_digits_one_comma", "1000", "@n5", "1,000"},
        // n2.x zero padding and blank when zero
        {"n2_1_zero_pad", "1234.5", "@n010.2", "0001234.50"},
        {"n2_2_zero_pad_after_sign", "-12", "@n06", "-00012"},
        {"n2_9_zero_pad_then_no_grouping_mark", "1234", "@n0_8", "00001234"},
        {"n2_11_zero_pad_then_comma_mark", "1234", "@n0,8", "00001234"},
        {"n2_4_blank_when_zero", "0", "@n10.2b", "          "},
        {"n2_5_blank_when_rounds_to_zero", "-0.004", "@n10.2b", "          "},
        {"n2_7_zero_shown_without_b", "0", "@n6.2", "  0.00"},
        {"n2_8_rounded_negative_zero_has_no_sign", "-0.004", "@n6.2", "  0.00"},
        // n3.x width: exact fit / one too small
        {"n3_1_exact_fit", "1234.5", "@n8.2", "1,234.50"},
        {"n3_2_one_too_small", "1234.5", "@n7.2", "#######"},
        {"n3_5_positive_drops_alignment_blank_to_fit", "1234.5", "@n8.2-", "1,234.50"},
        {"n3_6_negative_needs_its_trailing_minus", "-1234.5", "@n8.2-", "########"},
        {"n3_7_parentheses_exact_fit", "-1", "@n(3)", "(1)"},
        {"n3_9_decimals_wider_than_field", "1", "@n3.2", "###"},
        {"n3_10_widest_field", "1", "@n255", std::string(254, ' ') + "1"},
        // n4.x rounding and width left out
        {"n4_1_half_away_from_zero", "-2.345", "@n_6.2", " -2.35"},
        {"n4_2_rounding_adds_a_group", "999.995", "@n8.2", "1,000.00"},
        {"n4_3_as_wide_as_needed", "-1234.5", "@n.2", "-1,234.50"},
        {"n4_5_as_wide_as_needed_no_alignment_blank", "5", "@n(.1)", "5.0"},
        {"n4_6_exact_beyond_double_precision", "12345678901234567890.25", "@n_23.1",
                   " 12345678901234567890.3"},
        {"n4_7_more_places_than_31_digits_hold", "9999999999999999999999999999999", "@n_40.2",
                   std::string(40, '#')},
  };
  for (const auto& c : kCases) EXPECT_EQ(Format(Decimal::FromText(c.value), c.picture), c.expected) << c.reason;
}

// Reals round as written; Long limits fit exactly.
TEST(PictureNumberFormat, RealsAndLongs) {
  EXPECT_EQ(Format(2.675, "@n_4.2") + Format(1e40, "@n10") + Format(std::numeric_limits<Real>::quiet_NaN(), "@n5"),
            "2.68##########" "#####");
  EXPECT_EQ(Format(Long{2147483647}, "@n13") + "|" + Format(Long{-2147483647 - 1}, "@n14") + "|" + Format(Long{-2147483647 - 1}, "@n13"),
            "2,147,483,647|-2,147,483,648|#############");
}

// ---------------------------------------------------------------- text

// String pictures cut and pad by bytes, never inside a character; other pictures read text as
// the number it holds (no number reads as 0).
TEST(PictureText, CutsAndPadsByBytesNeverInsideACharacterAndReadsNumbers) {
  const struct {
    std::string text, picture, expected;
  } kCases[] = {
      {"hello", "@s3", "hel"}, {"hi", "@s5", "hi   "}, {"hello", "@s5", "hello"}, {"abc", "@S4", "abc "},
      {"h\xC3\xA9llo", "@s2", "h "},  // é would be cut in half: left out, padded
      {"h\xC3\xA9llo", "@s3", "h\xC3\xA9"},
      {"12.5", "@n_6.2", " 12.50"}, {"abc", "@n5", "    0"}, {"82523", "@D03", "Dec 06, 2026"}, {"", "@d2", ""},
  };
  for (const auto& c : kCases) EXPECT_EQ(FormatText(c.text, c.picture), c.expected) << c.text << " " << c.picture;
  EXPECT_EQ(Format(Long{42}, "@s5") + Format(-1.5, "@s6") + Format(Decimal::FromText("1.50"), "@s3"), "42   -1.5  1.5");
  EXPECT_EQ(Deformat("h\xC3\xA9llo", "@s2"), "h");
  EXPECT_EQ(Deformat("abc", "@s10"), "abc");
}

// ---------------------------------------------------------------- dates

// Functions, not constants: values computed before main may run before the calendar is set up.
Long Dec6() { return DateFromCivil(2026, 12, 6); }
Long Jan5() { return DateFromCivil(2026, 1, 5); }
Long LastDate() { return DateFromCivil(9999, 12, 31); }

// A standard date or time (a Long) formatted by a date or time picture.
TEST(PictureDateTimeFormat, FormatsExactly) {
  const Long k090503 = TimeFromParts(9, 5, 3), kLastTime = TimeFromParts(23, 59, 59, 99);
  const struct {
    const char* reason;
    Long value;
    std::string picture, expected;
  } kCases[] = {
      // f1.x every style, zero-padded
      {"f1_1_message_log_header", Dec6(), "@D03", "Dec 06, 2026"},
      {"f1_2_month_name_day_always_two_digits", Dec6(), "@d3", "Dec 06, 2026"},
      {"f1_3", Jan5(), "@D1", "01/05/26"},
      {"f1_4", Jan5(), "@D2", "01/05/2026"},
      {"f1_5", Jan5(), "@d4", "January 05, 2026"},
      {"f1_6", Jan5(), "@D5", "05/01/26"},
      {"f1_7", Dec6(), "@D6", "06/12/2026"},
      {"f1_8", Dec6(), "@D7", "06 Dec 26"},
      {"f1_9", Dec6(), "@D8", "06 Dec 2026"},
      {"f1_10", Jan5(), "@d9", "26/01/05"},
      {"f1_11", Jan5(), "@d10", "2026/01/05"},
      {"f1_12", Jan5(), "@d11", "260105"},
      {"f1_13", Jan5(), "@d12", "20260105"},
      {"f1_14", Jan5(), "@D13", "01/26"},
      {"f1_15", Jan5(), "@D14", "01/2026"},
      {"f1_16", Jan5(), "@d15", "26/01"},
      {"f1_17", Jan5(), "@d16", "2026/01"},
      {"f1_18_short_date", Dec6(), "@D17", "12/06/2026"},
      {"f1_19_error_log_without_at", Dec6(), "D17", "12/06/2026"},
      {"f1_20_long_date", Dec6(), "@d18", "December 06, 2026"},
      // f2.x lowercase blank-pads the leading field only
      {"f2_1_month_first", Jan5(), "@d1", " 1/05/26"},
      {"f2_2_day_first", Jan5(), "@d5", " 5/01/26"},
      {"f2_4_day_first_with_name", Dec6(), "@d8", " 6 Dec 2026"},
      // f3.x separators
      {"f3_1_dash", Dec6(), "@D2-", "12-06-2026"},
      {"f3_2_point", Dec6(), "@D6.", "06.12.2026"},
      {"f3_3_underscore_is_blank", Dec6(), "@D10_", "2026 12 06"},
      // f4.x limits
      {"f4_1_no_date_is_empty", 0, "@D2", ""},
      {"f4_2_first_date", 1, "@D2", "12/29/1800"},
      {"f4_3_before_first_date", -1, "@D2", "##########"},
      {"f4_5_last_date", LastDate(), "@D2", "12/31/9999"},
      {"f4_6_after_last_date", LastDate() + 1, "@D2", "##########"},
      {"f4_7_after_last_date_long_style", LastDate() + 1, "@d4", std::string(18, '#')},
      {"f4_8_leap_day", DateFromCivil(2024, 2, 29), "@D2", "02/29/2024"},
      {"t1_1_message_log_time", k090503, "@T04", "09:05:03"},
      {"t1_3_lowercase_blank_pads_hour", k090503, "@t4", " 9:05:03"},
      {"t1_4", k090503, "@T1", "09:05"},
      {"t1_6_compact_always_zero_padded", k090503, "@t2", "0905"},
      {"t1_7", k090503, "@t3", " 9:05AM"},
      {"t1_8", k090503, "@t5", "090503"},
      {"t1_9", k090503, "@T6", "09:05:03AM"},
      {"t1_10_short_time", k090503, "@T7", "09:05"},
      {"t1_11_separator", k090503, "@T4.", "09.05.03"},
      // t2.x twelve-hour clock edges
      {"t2_1_after_midnight", TimeFromParts(0, 15, 0), "@T3", "12:15AM"},
      {"t2_2_noon", TimeFromParts(12, 0, 0), "@T3", "12:00PM"},
      {"t2_4_afternoon", TimeFromParts(13, 30, 0), "@t3", " 1:30PM"},
      // t3.x limits
      {"t3_1_no_time_is_empty", 0, "@T4", ""},
      {"t3_2_midnight", 1, "@T4", "00:00:00"},
      {"t3_3_hundredths_not_rounded_up", TimeFromParts(9, 5, 3, 99), "@T4", "09:05:03"},
      {"t3_4_last_time", kLastTime, "@T4", "23:59:59"},
      {"t3_5_after_last_time", kLastTime + 1, "@T4", "########"},
      {"t3_6_negative", -5, "@T4", "########"},
      {"t3_7_after_last_time_twelve_hour", kLastTime + 1, "@T6", "##########"},
  };
  for (const auto& c : kCases) EXPECT_EQ(Format(c.value, c.picture), c.expected) << c.reason;
}

TEST(PictureDateTimeFormat, RealsAndDecimalsAreReadAsDates) {
  EXPECT_EQ(Format(static_cast<Real>(Dec6()) + 0.9, "@D03"), "Dec 06, 2026");  // truncated
  EXPECT_EQ(Format(std::numeric_limits<Real>::quiet_NaN(), "@D2") + Format(1e12, "@D2"), std::string(20, '#'));
  EXPECT_EQ(Format(Decimal::FromLong(Dec6()), "@D03"), "Dec 06, 2026");
}

std::string DateText(int y, int m, int d) { return std::to_string(DateFromCivil(y, m, d)); }
std::string TimeText(int h, int m, int s = 0) { return std::to_string(TimeFromParts(h, m, s)); }

// Numbers read as decimal text, dates and times as their standard numbers; nullopt: refused. What
// each date picture shows reads back in the round trip below, from the first date to the last.
TEST(PictureDeformat, ReadsTheStoredValue) {
  const struct {
    const char* reason;
    std::string text, picture;
    std::optional<std::string> expected;
  } kCases[] = {
      // d2.x what a user types
      {"d2_1_no_grouping_typed", "1234.5", "@n10.2", "1234.5"},
      {"d2_2_plus_sign", "+5", "@n5", "5"},
      {"d2_3_blank_after_minus", "- 5", "@n5", "-5"},
      {"d2_4_any_sign_form_on_any_picture", "(5)", "@n5", "-5"},
      {"d2_5_rounded_to_picture_decimals", "1.235", "@n10.2", "1.24"},
      {"d2_6_rounded_to_zero_has_no_sign", "-0.001", "@n10.2", "0"},
      {"d2_7_widest_value", "1234567890123456789012345678901", "@n_31",
      "1234567890123456789012345678901"},
      {"d2_8_picture_is_not_a_width_limit", "123456", "@n3", "123456"},
      // d3.x text that is no number under the picture
      {"d3_1_letters", "12a", "@n10.2", std::nullopt},
      {"d3_2_two_points", "1.2.3", "@n10.2", std::nullopt},
      {"d3_3_short_group", "1,23", "@n10.2", std::nullopt},
      {"d3_4_long_first_group", "1234,567", "@n10.2", std::nullopt},
      {"d3_6_comma_without_grouping", "1,234", "@n_10.2", std::nullopt},
      // d4.x what a picture shows reads back
      {"d4_1_trailing_minus", " 1,234.50-", "@n10.2-", "-1234.5"},
      {"d4_2_zero_padded", "0001234.50", "@n010.2", "1234.5"},
      {"d4_3_blank_when_zero", "          ", "@n10.2b", "0"},
      {"d4_4_parentheses_grouped", "(1,234,567.89)", "@n(14.2)", "-1234567.89"},
      // r1.x forms of the same date
      {"r1_2_lowercase_short_day_no_blank", "dec 6,2026", "@d3", DateText(2026, 12, 6)},
      {"r1_3_full_month_name", "December 6, 2026", "@d3", DateText(2026, 12, 6)},
      {"r1_5_other_separator_typed", "12-6-2026", "@d2", DateText(2026, 12, 6)},
      {"r1_6_four_digit_year_in_short_style", "12/6/2026", "@d1", DateText(2026, 12, 6)},
      {"r1_9_month_and_year_is_the_first", "12/2026", "@d14", DateText(2026, 12, 1)},
      {"r1_11_blank_is_no_date", "   ", "@d2", "0"},
      // r2.x two-digit year window: last of one century / first of the other
      {"r2_1_49_is_2049", "12/06/49", "@d1", DateText(2049, 12, 6)},
      {"r2_2_50_is_1950", "12/06/50", "@d1", DateText(1950, 12, 6)},
      // r3.x limits
      {"r3_2_no_leap_day", "02/29/2023", "@d2", std::nullopt},
      {"r3_7_five_digit_year", "01/01/10000", "@d2", std::nullopt},
      {"r3_9_before_first_date", "12/28/1800", "@d2", std::nullopt},
      {"r3_11_month_0", "00/10/2026", "@d2", std::nullopt},
      {"r3_12_day_0", "10/00/2026", "@d2", std::nullopt},
      // r4.x malformed text
      {"r4_1_unknown_month", "Dez 06, 2026", "@d3", std::nullopt},
      {"r4_2_month_too_short", "De 06, 2026", "@d3", std::nullopt},
      {"r4_3_trailing_text", "12/06/2026 x", "@d2", std::nullopt},
      {"r4_4_compact_too_short", "2612", "@d11", std::nullopt},
      {"r4_5_missing_year", "12/06", "@d2", std::nullopt},
      {"r4_6_letters", "ab/cd/efgh", "@d2", std::nullopt},
      {"u1_2_short_hour", "9:05", "@t1", TimeText(9, 5)},
      {"u1_5_am_lowercase_with_blank", "12:15 am", "@t3", TimeText(0, 15)},
      {"u1_6_noon", "12:00PM", "@t3", TimeText(12, 0)},
      {"u1_7_24_hour_typed_in_12_hour_picture", "13:30", "@t3", TimeText(13, 30)},
      {"u1_8_blank_is_no_time", "", "@T4", "0"},
      // u2.x limits: last valid / first invalid
      {"u2_1_last_minute", "23:59", "@t1", TimeText(23, 59)},
      {"u2_2_hour_24", "24:00", "@t1", std::nullopt},
      {"u2_4_minute_60", "12:60", "@t1", std::nullopt},
      {"u2_5_second_60", "09:05:60", "@t4", std::nullopt},
      {"u2_6_pm_hour_13", "13:00PM", "@t3", std::nullopt},
      {"u2_7_am_hour_0", "0:30AM", "@t3", std::nullopt},
      // u3.x malformed
      {"u3_1_compact_too_short", "905", "@t2", std::nullopt},
      {"u3_2_meridiem_without_xm_picture", "1:30PM", "@t1", std::nullopt},
      {"u3_3_seconds_missing", "09:05", "@t4", std::nullopt},
      // u4.x what a picture shows reads back
      {"u4_1_twelve_hour_with_seconds", "12:15:07AM", "@T6", TimeText(0, 15, 7)},
      {"u4_2_compact_with_seconds", "090503", "@t5", TimeText(9, 5, 3)},
      {"u4_4_afternoon", " 1:30PM", "@t3", TimeText(13, 30)},
  };
  for (const auto& c : kCases) EXPECT_EQ(Deformat(c.text, c.picture), c.expected) << c.reason << " '" << c.text << "' " << c.picture;
}

// ---------------------------------------------------------------- malformed pictures

TEST(PictureGrammar, MalformedPicturesFallBackToPlainTextAndValidOnesAreAccepted) {
  for (const std::string& picture : std::vector<std::string>{"", "@", "@x10", "@n10.", "@n(10.2", "@n10.2)", "@n-10.2-",
                                           "@n(10.2-", "@n10.2bb", "@n256", "@n10.32", "@n99999999999999999999",
                                           "@n10.2 ", "@s", "@s0", "@s65536", "@s10x", "@d0", "@d19", "@d2x",
                                           "@d99999999999999999999", "@t0", "@t9", "@t4/", std::string("@n1\0", 4)}) {
    EXPECT_FALSE(IsValidPicture(picture)) << picture;
    EXPECT_EQ(Format(Long{1234}, picture) + "|" + Format(-1.5, picture) + "|" + Format(Decimal::FromText("2.50"), picture) + "|" +
                  FormatText("a b", picture) + "|" + Deformat("x y", picture).value_or("refused"),
              "1234|-1.5|2.50|a b|x y")
        << picture;
  }
  for (const char* picture : {"@n10.2", "@N10.2", "n10.2", "@n", "@n255", "@n.31", "@n-_10.2", "@n(010.2)b",
                              "@s1", "@s65535", "D17", "T8", "@D03", "@T04", "@d2-", "@d2b", "@t4_", "@D18"})
    EXPECT_TRUE(IsValidPicture(picture)) << picture;
}

// ---------------------------------------------------------------- round trips

TEST(PictureRoundTrip, DatesReadBackAcrossTheWholeRange) {
  const std::vector<std::string> fullYear = {"@d2", "@D2", "@d3", "@D03", "@d4", "@d6", "@D8", "@d10", "@d12", "@D17", "D17", "@d18", "@D6-", "@d10."};
  const std::vector<std::string> shortYear = {"@d1", "@D5", "@d7", "@d9", "@d11"};
  int checked = 0;
  for (Long date = 1; date <= LastDate(); date += 97) {
    for (const std::string& picture : fullYear) {
      EXPECT_EQ(Deformat(Format(date, picture), picture), std::to_string(date)) << date << " " << picture;
      ++checked;
    }
    const int year = CivilFromDate(date).year;
    if (year < 1950 || year > 2049) continue;  // two-digit years read back within the window only
    for (const std::string& picture : shortYear)
      EXPECT_EQ(Deformat(Format(date, picture), picture), std::to_string(date)) << date << " " << picture;
  }
  EXPECT_GT(checked, 100000);
  EXPECT_EQ(Deformat(Format(LastDate(), "@D2"), "@D2"), std::to_string(LastDate()));
}

}  // namespace
}  // namespace rt
