// StandardErrorLogClass: usage counting, the 1024-character line, and Notify for what cannot be
// done. One line per message, as the error manager writes it, is the error manager's test.

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/error/error_log.h"
#include "tests/support/files.h"

namespace {

// The log lies in the current directory, so each test runs in a directory of its own.
class ErrorLogTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedCurrentDirectory inDir_{dir_.Path()};
};

TEST_F(ErrorLogTest, UsageCountsNestedOpensAndForceClosesAndLongLinesAreCutAt1024) {
  StandardErrorLogClass log;
  EXPECT_EQ(log.Take("nobody opened it"), Level::Notify);
  std::string usage;  // the count after each step, each step answering Ok
  const auto step = [&](rt::Byte level) { EXPECT_EQ(level, Level::Ok); usage += std::to_string(log.Usage()) + " "; };
  step(log.Open(0));
  step(log.Open(0));
  step(log.Close(0));
  step(log.Take(std::string(1023, 'a') + "bc"));
  step(log.Open(1));  // forced while open: counted
  step(log.Close(1));
  EXPECT_EQ(log.Take("closed"), Level::Notify);
  step(log.Close(0));  // an unbalanced close drives the count below zero; only a forced open recovers
  step(log.Open(1));
  EXPECT_EQ(usage, "1 2 1 1 2 0 -1 0 ");
  EXPECT_EQ(ReadFile(StandardErrorLogClass::kFileName), std::string(1023, 'a') + "b\r\n");
}

TEST_F(ErrorLogTest, AnUnusableFileIsNotify) {
  std::filesystem::create_directory(StandardErrorLogClass::kFileName);  // a directory in the file's place
  StandardErrorLogClass log;
  EXPECT_EQ(log.Open(0), Level::Notify);
  EXPECT_EQ(log.Usage(), 0);
}

}  // namespace
