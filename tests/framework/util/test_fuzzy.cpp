// FuzzyClass: only options 1 and 2 are flags, any non-zero value sets one, Init clears both.

#include <gtest/gtest.h>

#include "framework/util/fuzzy.h"

TEST(FuzzyClass, OptionsOneAndTwoOnlyAndInitClears) {
  FuzzyClass fuzzy;
  fuzzy.Init();
  fuzzy.SetOption(2, 256);  // wraps to 0 as a byte, yet means on
  fuzzy.SetOption(0, 1);    // not an option: ignored
  EXPECT_EQ(fuzzy.NoCase * 10 + fuzzy.WordOnly, 1);
  fuzzy.SetOption(2, 0);
  fuzzy.SetOption(3, 1);
  fuzzy.SetOption(1, -1);
  EXPECT_EQ(fuzzy.NoCase * 10 + fuzzy.WordOnly, 10);
  fuzzy.SetOption(2, 1);
  fuzzy.Init();
  EXPECT_EQ(fuzzy.NoCase + fuzzy.WordOnly, 0);
}
