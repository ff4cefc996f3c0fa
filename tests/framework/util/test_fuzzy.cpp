// FuzzyClass: Init clears both options, SetOption sets only options 1 and 2.

#include <gtest/gtest.h>

#include "framework/util/fuzzy.h"

namespace {

TEST(FuzzyClass, OptionsOneAndTwoOnlyAndInitClears) {
  FuzzyClass fuzzy;
  fuzzy.Init();
  struct Step {
    rt::Long option, value;
    rt::Byte noCase, wordOnly;
  };
  const Step steps[] = {
      {1, 1, 1, 0},    // NoCase on
      {2, 1, 1, 1},    // WordOnly on
      {0, 0, 1, 1},    // option 0 ignored
      {3, 0, 1, 1},    // option 3 ignored
      {1, 0, 0, 1},    // NoCase off
      {2, 256, 0, 1},  // a value that would wrap to 0 as a byte still means on
      {-1, 0, 0, 1},
  };
  for (const Step& s : steps) {
    fuzzy.SetOption(s.option, s.value);
    EXPECT_EQ(fuzzy.NoCase, s.noCase) << s.option << "," << s.value;
    EXPECT_EQ(fuzzy.WordOnly, s.wordOnly) << s.option << "," << s.value;
  }
  fuzzy.Kill();
  EXPECT_EQ(fuzzy.WordOnly, 1) << "Kill releases nothing and changes nothing";
  fuzzy.Init();
  EXPECT_EQ(fuzzy.NoCase, 0);
  EXPECT_EQ(fuzzy.WordOnly, 0);
}

}  // namespace
