#pragma once
// Readable names for table-driven cases: each case's `reason` with everything but letters and
// digits folded into '_', and its index so that names stay unique.

#include <gtest/gtest.h>

#include <cctype>
#include <string>

struct ByReason {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& info) const {
    std::string name;
    for (const char* c = info.param.reason; *c; ++c)
      name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return std::to_string(info.index) + "_" + name;
  }
};
