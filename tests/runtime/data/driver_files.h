#pragma once
// What KEYED and POSTGRES share beyond the conformance suite, over the AFile record: keys and
// duplicates, keys that must be built, layouts that do not match, null flags and memos, frames across files.
// test_driver_files.cpp holds the cases; each test binary instantiates them for its driver.

#include <gtest/gtest.h>

#include <string>

#include "tests/runtime/data/file_conformance.h"
#include "tests/runtime/data/keyed_fixture.h"

namespace driver_files {

class DriverFiles : public ::testing::TestWithParam<conformance::DriverCase> {
 protected:
  void SetUp() override {
    if (!GetParam().nameFor) return;
    std::string skip;
    server_ = GetParam().nameFor({}, skip);
    if (server_.empty()) GTEST_SKIP() << skip;
  }

  // The AFile declaration under `label`: a file of its own in the test's folder, or a table in
  // the test's schema.
  rt::FileDecl Decl(const char* label = "AFile") const {
    rt::FileDecl decl = test_afile::KeyedAFile(server_.empty() ? (temp_ / label).string() : server_);
    decl.driver = GetParam().driver;
    decl.label = label;
    return decl;
  }

  bool OnServer() const { return !server_.empty(); }

  TempDir temp_;
  std::string server_;
};

}  // namespace driver_files
