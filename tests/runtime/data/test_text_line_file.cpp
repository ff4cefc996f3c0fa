// The text-line driver's own behaviour: lines written CR LF and cut to the record, lines read
// with any ending and of any length, names taken at open time, path errors, and appends from many
// threads and processes that never interleave inside a record. Open, create, deny modes and
// errors on a closed file are the conformance suite's; a write cut short by a full disk is
// test_file_faults.cpp's.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <fstream>
#include <thread>
#include <vector>

#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/data/text_line_file.h"
#include "tests/runtime/data/child_process.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

class TextLineFileTest : public ::testing::Test {
 protected:
  TempDir temp_;
  const fs::path& dir_ = temp_.Path();
  std::string path_ = (temp_ / "lines.txt").string();
};

// Lines are written CR LF and cut to the record. A record read keeps the first bytes of its
// line, blank-padded; the rest of a line of any length is passed over; a line ends with LF,
// CR LF or the end of the file, never part of the record.
TEST_F(TextLineFileTest, LinesAreWrittenCrLfAndReadWithEveryLengthAndEnding) {
  rt::FixedString<10> record;
  rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
  file.Create();
  file.Open(rt::ReadWrite | rt::DenyNone);
  ASSERT_EQ(rt::ErrorCode(), 0);
  for (const char* text : {"first", "second one is cut", ""}) {
    record = text;
    file.Add();
  }
  file.Close();
  EXPECT_EQ(ReadFile(path_), "first\r\nsecond one\r\n\r\n");
  std::ofstream(path_, std::ios::binary) << "unix\nabcdefghij\r\nabcdefghijk\r\n" << std::string(300000, 'x') << "\r\nend";
  file.Open(rt::ReadOnly | rt::DenyNone);
  std::vector<std::string> read;
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) read.emplace_back(record.Data(), record.Size());
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
  EXPECT_EQ(read, (std::vector<std::string>{"unix      ", "abcdefghij", "abcdefghij", "xxxxxxxxxx", "end       "}));
}

// The name is taken at each open or create, '\\' separators too; paths that cannot be used are errors.
TEST_F(TextLineFileTest, NamesAreTakenAtOpenTimeAndBadPathsAreErrors) {
  rt::FixedString<4> record;
  std::string name = dir_.string() + "\\b.txt";  // Windows-style separator
  rt::TextLineFile file([&] { return name; }, {record.Data(), record.Size()});
  file.Create();
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_TRUE(fs::exists(dir_ / "b.txt"));
  name = (dir_ / "no_such_dir" / "x.txt").string();
  file.Create();
  EXPECT_EQ(rt::ErrorCode(), rt::NoPathErr);
  name = dir_.string();  // a directory is no text file (a file the user may not use: test_keyed_file.cpp)
  file.Open(rt::ReadWrite | rt::DenyNone);
  EXPECT_NE(rt::ErrorCode(), 0);
  EXPECT_FALSE(file.IsOpen());
}

// Every line written by concurrent appenders must arrive whole: no record interleaves with another.
void AppendMany(const std::string& path, char tag, int count) {
  rt::FixedString<600> record;
  rt::TextLineFile file([&] { return path; }, {record.Data(), record.Size()});
  for (int i = 0; i < count; ++i) {
    file.Open(rt::ReadWrite | rt::DenyNone);
    record = std::string(500, tag) + std::to_string(i);
    file.Add();
    file.Close();
  }
}

TEST_F(TextLineFileTest, ConcurrentThreadsAndProcessesNeverInterleave) {
  std::ofstream(path_) << "";
  const int perWriter = 200;
  test_processes::Child p([&](int, int) { AppendMany(path_, 'p', perWriter); return 0; });
  test_processes::Child q([&](int, int) { AppendMany(path_, 'q', perWriter); return 0; });
  std::vector<std::thread> threads;
  for (char tag : {'a', 'b', 'c', 'd'}) threads.emplace_back(AppendMany, path_, tag, perWriter);
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(p.Wait(), 0);
  EXPECT_EQ(q.Wait(), 0);
  std::ifstream in(path_, std::ios::binary);
  std::map<char, int> counts;
  for (std::string line; std::getline(in, line);) {
    ASSERT_FALSE(line.empty());
    ASSERT_EQ(line.back(), '\r');
    const char tag = line.front();
    ASSERT_EQ(line.find_first_not_of(tag), 500u) << "a record was interleaved: " << line.substr(0, 40);
    ++counts[tag];
  }
  for (char tag : {'p', 'q', 'a', 'b', 'c', 'd'}) EXPECT_EQ(counts[tag], perWriter) << tag;
}

// Linux changes a flock by dropping the old lock first, also when the new one is refused: the
// take-back's failed upgrade (another opener reads) must not leave the writer without its lock,
// or a deny-all opener gets in while the file is open.
TEST_F(TextLineFileTest, AWriteCutShortKeepsTheWritersShareLock) {
  std::ofstream(path_) << "before\r\n";
  test_processes::Child child([&](int, int) {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{20, 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    rt::FixedString<40> record;
    rt::TextLineFile reader([&] { return path_; }, {record.Data(), record.Size()});
    rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
    rt::TextLineFile denier([&] { return path_; }, {record.Data(), record.Size()});
    reader.Open(rt::ReadOnly | rt::DenyNone);
    file.Open(rt::ReadWrite | rt::DenyNone);
    record = "this record is longer than the room";
    file.Add();
    const bool failed = rt::ErrorCode() != 0;
    reader.Close();
    denier.Open(rt::ReadWrite | rt::DenyAll);
    return !failed ? 1 : rt::ErrorCode() == rt::NoAccessErr ? 0 : 2;
  });
  EXPECT_EQ(child.Wait(), 0) << "1: the cut write was not reported; 2: the writer lost its share lock";
}

}  // namespace
