#pragma once
// Test support for the message log: a fixture that points the log at a fresh directory with a pinned
// clock, a fixed computer name and the hooks installed.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/files.h"
#include "tests/support/scripted_dialogs.h"

class MessageLogTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string LogText() const;
  // The header every entry of these tests starts with (pinned clock, no user, computer TESTPC).
  static std::string Header(const std::string& user = "");

  TempDir temp_;
  const std::filesystem::path& dir_ = temp_.Path();
  std::filesystem::path log_;
  ScriptedDialogs dialogs_;
};
