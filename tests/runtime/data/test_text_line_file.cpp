// The text-line driver: open modes and their errors, create, append as whole lines, read in
// order, and appends from many threads and processes that never interleave inside a record.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <map>
#include <fstream>
#include <thread>
#include <vector>

#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/data/text_line_file.h"
#include "tests/support/files.h"

namespace {

namespace fs = std::filesystem;

class TextLineFileTest : public ::testing::Test {
 protected:
  TempDir temp_;
  const fs::path& dir_ = temp_.Path();
  std::string path_ = (temp_ / "lines.txt").string();
};

TEST_F(TextLineFileTest, MissingFileIsCreatedThenAppendedAndReadBack) {
  rt::FixedString<10> record;
  rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::NoFileErr);
  EXPECT_EQ(rt::Error(), "File Not Found");
  EXPECT_FALSE(file.IsOpen());

  file.Create();
  ASSERT_EQ(rt::ErrorCode(), 0);
  file.Open(rt::ReadWrite | rt::DenyNone);
  ASSERT_EQ(rt::ErrorCode(), 0);
  file.Open();
  EXPECT_EQ(rt::ErrorCode(), rt::IsOpenErr);

  record = "first";
  file.Add();
  record = "second one is cut";
  file.Add();
  record = "";
  file.Add();
  EXPECT_EQ(ReadFile(path_), "first\r\nsecond one\r\n\r\n");

  file.Set();
  file.Next();
  EXPECT_EQ(record.View(), "first     ");
  file.Next();
  EXPECT_EQ(record.View(), "second one");
  file.Next();
  EXPECT_EQ(record.View(), "          ");
  file.Next();
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
  file.Close();
  EXPECT_EQ(rt::ErrorCode(), 0);
  file.Close();
  EXPECT_EQ(rt::ErrorCode(), rt::NotOpenErr);
  file.Add();
  EXPECT_EQ(rt::ErrorCode(), rt::NotOpenErr);
}

TEST_F(TextLineFileTest, CreateEmptiesButCreateIfMissingKeepsWhatIsThere) {
  rt::FixedString<4> record;
  rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
  file.CreateIfMissing();
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(ReadFile(path_), "");

  std::ofstream(path_, std::ios::binary) << "kept\r\n";
  file.CreateIfMissing();
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(ReadFile(path_), "kept\r\n");

  file.Create();
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(ReadFile(path_), "");

  path_ = (dir_ / "no_such_dir" / "x.txt").string();
  file.CreateIfMissing();
  EXPECT_EQ(rt::ErrorCode(), rt::NoPathErr);
}

TEST_F(TextLineFileTest, ReadsLinesEndedByLfOrCrLfOrNothing) {
  std::ofstream(path_, std::ios::binary) << "unix\nwindows\r\nlast";
  rt::FixedString<8> record;
  rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
  file.Open(rt::ReadOnly | rt::DenyNone);
  ASSERT_EQ(rt::ErrorCode(), 0);
  std::vector<std::string> lines;
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) lines.push_back(record.Str());
  EXPECT_EQ(lines, (std::vector<std::string>{"unix", "windows", "last"}));
  record = "x";
  file.Add();
  EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr);  // opened for reading only
}

TEST_F(TextLineFileTest, NameIsTakenAtOpenTimeAndBackslashesWork) {
  std::string name = (dir_ / "a.txt").string();
  rt::FixedString<4> record("ab");
  rt::TextLineFile file([&] { return name; }, {record.Data(), record.Size()});
  file.Create();
  name = dir_.string() + "\\b.txt";  // Windows-style separator
  file.Create();
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_TRUE(fs::exists(dir_ / "a.txt"));
  EXPECT_TRUE(fs::exists(dir_ / "b.txt"));
}

TEST_F(TextLineFileTest, ErrorsForPathsThatCannotBeUsed) {
  rt::FixedString<4> record;
  std::string name = (dir_ / "no_such_dir" / "x.txt").string();
  rt::TextLineFile file([&] { return name; }, {record.Data(), record.Size()});
  file.Create();
  EXPECT_EQ(rt::ErrorCode(), rt::NoPathErr);
  EXPECT_EQ(rt::Error(), "Path Not Found");

  if (geteuid() != 0) {  // root ignores permission bits
    name = (dir_ / "locked.txt").string();
    std::ofstream(name) << "x\n";
    chmod(name.c_str(), 0444);
    file.Open(rt::ReadWrite | rt::DenyNone);
    EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr);
  }
  name = dir_.string();  // a directory is no text file
  file.Open(rt::ReadWrite | rt::DenyNone);
  EXPECT_NE(rt::ErrorCode(), 0);
  EXPECT_FALSE(file.IsOpen());
}

TEST_F(TextLineFileTest, DenyAllKeepsOtherOpenersOut) {
  std::ofstream(path_) << "";
  rt::FixedString<4> one, two;
  rt::TextLineFile first([&] { return path_; }, {one.Data(), one.Size()});
  rt::TextLineFile second([&] { return path_; }, {two.Data(), two.Size()});
  first.Open(rt::ReadWrite | rt::DenyAll);
  ASSERT_EQ(rt::ErrorCode(), 0);
  second.Open(rt::ReadWrite | rt::DenyNone);
  EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr);
  first.Close();
  second.Open(rt::ReadWrite | rt::DenyNone);
  EXPECT_EQ(rt::ErrorCode(), 0);
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
  std::vector<pid_t> children;
  for (char tag : {'p', 'q'}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      AppendMany(path_, tag, perWriter);
      _exit(0);
    }
    children.push_back(child);
  }
  std::vector<std::thread> threads;
  for (char tag : {'a', 'b', 'c', 'd'}) threads.emplace_back(AppendMany, path_, tag, perWriter);
  for (std::thread& thread : threads) thread.join();
  for (pid_t child : children) {
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
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

// A size limit (as a full disk would) cuts a record short in a writer process: the writer reports
// the failure and takes its piece back, so the record written after it is whole on a line of its own.
TEST_F(TextLineFileTest, RecordCutShortByAFullDiskIsTakenBackAndTheNextOneIsWhole) {
  std::ofstream(path_) << "before\r\n";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);  // the limit fails the write instead of killing the writer
    const rlimit limit{20, 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    rt::FixedString<40> record;
    rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
    file.Open(rt::ReadWrite | rt::DenyNone);
    record = "this record is longer than the room";
    file.Add();
    const bool reported = rt::ErrorCode() == rt::FileSystemErr && rt::FileErrorCode() == std::to_string(ENOSPC);
    file.Close();
    _exit(reported ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the short write was not reported as a file system error";

  rt::FixedString<10> record;
  rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
  file.Open(rt::ReadWrite | rt::DenyNone);
  record = "after";
  file.Add();
  file.Close();
  EXPECT_EQ(ReadFile(path_), "before\r\nafter\r\n");
}

// Linux changes a flock by dropping the old lock first, also when the new one is refused: the
// take-back's failed upgrade (another opener reads) must not leave the writer without its lock,
// or a deny-all opener gets in while the file is open.
TEST_F(TextLineFileTest, AWriteCutShortKeepsTheWritersShareLock) {
  std::ofstream(path_) << "before\r\n";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
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
    _exit(!failed ? 1 : rt::ErrorCode() == rt::NoAccessErr ? 0 : 2);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "1: the cut write was not reported; 2: the writer lost its share lock";
}

// A record keeps the first bytes of its line; the rest of a line of any length is passed over,
// and the line's end is never part of the record.
TEST_F(TextLineFileTest, LinesOfEveryLengthGiveTheirFirstBytesAndTheNextLineFollows) {
  const std::string longLine(300000, 'x');
  std::ofstream(path_, std::ios::binary) << "abcdefghij\r\n" << "abcdefghijk\r\n" << "abcdefghi\r\n" << longLine << "\r\n" << "end";
  rt::FixedString<10> record;
  rt::TextLineFile file([&] { return path_; }, {record.Data(), record.Size()});
  file.Open(rt::ReadOnly | rt::DenyNone);
  std::vector<std::string> read;
  for (file.Next(); rt::ErrorCode() == 0; file.Next()) read.emplace_back(record.Data(), record.Size());
  EXPECT_EQ(rt::ErrorCode(), rt::NoRecErr);
  EXPECT_EQ(read, (std::vector<std::string>{"abcdefghij", "abcdefghij", "abcdefghi ", "xxxxxxxxxx", "end       "}));
}

}  // namespace
