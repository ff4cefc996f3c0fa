#pragma once
// The message log tests' fixture (the log in a fresh directory, a pinned clock, computer TESTPC,
// the hooks installed), an entry's fields on one line, and a program run as a process.

#include <gtest/gtest.h>
#include <sys/types.h>

#include <filesystem>
#include <string>
#include <vector>

#include "msglog/log_entry.h"
#include "tests/support/files.h"
#include "tests/support/scripted_dialogs.h"

class MessageLogTest : public ::testing::Test {
 public:
  // The header every entry of these tests starts with (pinned clock, no user, computer TESTPC).
  static std::string Header(const std::string& user = "");

 protected:
  void SetUp() override;
  void TearDown() override;

  std::string LogText() const;
  // Anna's message (text on two lines, NO pressed) and stop gone on from, in window "Orders":
  // entries on lines 1, 9, 13. With `bob`, a day later in a window titled with a comma and quotes,
  // Bob's message (non-UTF-8 byte, a four-byte character; Drop pressed) and stop: lines 15, 22, 26.
  void WriteTwoUsers(bool bob = true);

  TempDir temp_;
  const std::filesystem::path& dir_ = temp_.Path();
  std::filesystem::path log_;
  ScriptedDialogs dialogs_;
};

// kind|moment|user|computer|window|title|text|shown|pressed (and "|clipped" when cut).
std::string Fields(const msglog::LogEntry& entry);

// A program run with standard output and error in files, TZ, PATH and LC_ALL=C set.
struct Outcome {
  int status = -1;
  std::string out, err;
};

class Process {
 public:
  Process(const std::vector<std::string>& args, const std::filesystem::path& dir, const char* tz = "UTC",
          std::filesystem::path out = {});
  ~Process();  // kills a program still running
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  Outcome Wait();
  // Waits until the output holds `needle` (or 10 s pass); the output so far.
  std::string OutputWith(const std::string& needle) const;

 private:
  pid_t pid_ = -1;
  std::filesystem::path out_, err_;
};
