// StandardErrorLogClass: usage counting, the 1024-character line, and Notify for what cannot be
// done. One line per message, as the error manager writes it, is the error manager's test.

#include <gtest/gtest.h>

#include <filesystem>

#include "framework/error/error_log.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

// The log lies in the current directory, so each test runs in a directory of its own.
class ErrorLogTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedCurrentDirectory inDir_{dir_.Path()};
};

TEST_F(ErrorLogTest, LongLinesAreCutAt1024) {
  StandardErrorLogClass log;
  ASSERT_EQ(log.Open(0), Level::Ok);
  ASSERT_EQ(log.Take(std::string(1023, 'a') + "bc"), Level::Ok);
  log.Close(0);
  EXPECT_EQ(ReadFile(StandardErrorLogClass::kFileName), std::string(1023, 'a') + "b\r\n");
}

TEST_F(ErrorLogTest, UsageCountsNestedOpensAndForceCloses) {
  StandardErrorLogClass log;
  EXPECT_EQ(log.Take("nobody opened it"), Level::Notify);
  ASSERT_EQ(log.Open(0), Level::Ok);
  ASSERT_EQ(log.Open(0), Level::Ok);
  EXPECT_EQ(log.Usage(), 2);
  EXPECT_EQ(log.Close(0), Level::Ok);
  EXPECT_EQ(log.Usage(), 1);
  EXPECT_EQ(log.Take("still open"), Level::Ok);
  EXPECT_EQ(log.Open(1), Level::Ok);  // forced while open: still fine, counted
  EXPECT_EQ(log.Usage(), 2);
  EXPECT_EQ(log.Close(1), Level::Ok);
  EXPECT_EQ(log.Usage(), 0);
  EXPECT_EQ(log.Take("closed"), Level::Notify);
  // An unbalanced close drives the count below zero; only a forced open recovers.
  EXPECT_EQ(log.Close(0), Level::Ok);
  EXPECT_EQ(log.Usage(), -1);
  EXPECT_EQ(log.Open(1), Level::Ok);
  EXPECT_EQ(log.Usage(), 0);
  EXPECT_EQ(ReadFile(StandardErrorLogClass::kFileName), "still open\r\n");
}

TEST_F(ErrorLogTest, AnUnusableFileIsNotify) {
  fs::create_directory(StandardErrorLogClass::kFileName);  // a directory in the file's place
  StandardErrorLogClass log;
  EXPECT_EQ(log.Open(0), Level::Notify);
  EXPECT_EQ(log.Usage(), 0);
}

}  // namespace
