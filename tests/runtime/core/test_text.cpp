// Text helpers and fixed-size strings: clipping, UTF-8 safe cuts, blank-padded comparison.

#include <gtest/gtest.h>

#include <string>

#include "runtime/core/fixed_string.h"
#include "runtime/core/text.h"

namespace {

TEST(Text, ClipRemovesOnlyTrailingBlanks) {
  EXPECT_EQ(rt::Clip("  a b  "), "  a b");
  EXPECT_EQ(rt::Clip("   "), "");
  EXPECT_EQ(rt::Clip("a\t"), "a\t");  // only blanks are clipped
  // Blanks are skipped a word at a time: runs around the word size, and text inside the last word.
  for (std::size_t blanks : {7u, 8u, 9u, 16u, 17u, 1999u}) {
    EXPECT_EQ(rt::Clip(std::string(blanks, ' ')), "") << blanks;
    EXPECT_EQ(rt::Clip("x" + std::string(blanks, ' ')), "x") << blanks;
    EXPECT_EQ(rt::Clip(std::string(blanks, ' ') + "x" + std::string(blanks, ' ')), std::string(blanks, ' ') + "x");
  }
  EXPECT_EQ(rt::Clip("abcdefg x       "), "abcdefg x");
}

TEST(Text, Utf8PrefixNeverEndsInsideACharacter) {
  const struct {
    const char* reason;
    std::string text;
    std::size_t max;
    std::string expected;
  } kCases[] = {
      {"fits exactly", "abc", 3, "abc"}, {"one byte too long", "abcd", 3, "abc"},
      // "é" is two bytes: a cut after its first byte must drop it whole; "€" is three.
      {"two-byte char fits", "a\xC3\xA9", 3, "a\xC3\xA9"}, {"two-byte char cut", "ab\xC3\xA9", 3, "ab"},
      {"three-byte char cut after 1", "a\xE2\x82\xAC", 2, "a"}, {"three-byte char cut after 2", "a\xE2\x82\xAC", 3, "a"},
      {"three-byte char fits", "a\xE2\x82\xAC", 4, "a\xE2\x82\xAC"}, {"four-byte char cut", "\xF0\x9F\x98\x80x", 3, ""},
      {"stray continuation byte counts alone", "\x80\x80\x80", 2, "\x80\x80"},
      {"truncated sequence counts bytewise", "a\xE2\x82", 2, "a\xE2"},
      {"invalid lead byte counts alone", "\xFF\xFE", 1, "\xFF"},
  };
  for (const auto& c : kCases) EXPECT_EQ(rt::Utf8Prefix(c.text, c.max), c.expected) << c.reason;
}

TEST(Text, BlankPaddedComparisonIgnoresTrailingBlanksOnly) {
  EXPECT_EQ(rt::CompareBlankPadded("abc   ", "abc"), 0);
  EXPECT_LT(rt::CompareBlankPadded("abc", "abd"), 0);
  EXPECT_GT(rt::CompareBlankPadded("abcd", "abc  "), 0);
  EXPECT_NE(rt::CompareBlankPadded(" abc", "abc"), 0);
  EXPECT_LT(rt::CompareBlankPadded("", "a"), 0);
  // Padding is with blanks: bytes below a blank sort before the shorter text.
  EXPECT_LT(rt::CompareBlankPadded("a\t", "a"), 0);
  EXPECT_GT(rt::CompareBlankPadded("a", std::string_view("a\0", 2)), 0);
  EXPECT_LT(rt::CompareBlankPadded(std::string_view("\0\0", 2), ""), 0);
  EXPECT_GT(rt::CompareBlankPadded("a\xC3\xA9", "a"), 0);  // bytes above 127 sort high
}

TEST(Text, IsNumericAcceptsNumbersOnlyAndInStringIsOneBased) {
  for (const char* number : {"6", " 6 ", "-1", "+12", "3.5", ".5", "1290"}) EXPECT_TRUE(rt::IsNumeric(number)) << number;
  for (const char* other : {"", "   ", "3|5|6|7", "Yes", "1.2.3", "-", ".", "6a", "1 2"})
    EXPECT_FALSE(rt::IsNumeric(other)) << other;
  // InString is one-based and starts where asked.
  EXPECT_EQ((std::vector<std::size_t>{rt::InString("|", "a|b|c"), rt::InString("|", "a|b|c", 3), rt::InString("|", "a|b|c", 5),
                                      rt::InString("|", "a|b|c", 9), rt::InString("|", "abc")}),
            (std::vector<std::size_t>{2, 4, 0, 0, 0}));
}

TEST(FixedString, PadsCutsAndComparesLikeAFieldAndACStringKeepsRoomForItsTerminator) {
  rt::FixedString<5> field("ab");
  EXPECT_EQ(field.View(), "ab   ");
  EXPECT_EQ(field.Clipped(), "ab");
  EXPECT_TRUE(field == "ab");
  field = "abcdefg";
  EXPECT_EQ(field.View(), "abcde");
  field = "abcd\xC3\xA9";  // the two-byte character would straddle the end
  EXPECT_EQ(field.View(), "abcd ");
  field = std::string_view();  // no bytes at all (UBSan: no copy from a null pointer)
  EXPECT_EQ(field.View(), "     ");
  rt::CString<4> text("abcdef");  // 3 bytes and the terminator
  EXPECT_EQ(text.View(), "abc");
  text = "a\xE2\x82\xAC";  // 4 bytes do not fit in 3
  EXPECT_EQ(text.View(), "a");
  text = std::string_view();
  EXPECT_EQ(text.View(), "");
  static_assert(sizeof(rt::FixedString<2000>) == 2000);
  static_assert(sizeof(rt::CString<40>) == 40);
}

}  // namespace
