#pragma once
// The driver conformance suite's fixture: one file of text lines over the driver a case names.
// test_file_conformance.cpp holds the cases; each test binary instantiates them for its drivers.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/data/file.h"
#include "tests/support/files.h"

namespace conformance {


struct LineRecord {
  rt::FixedString<20> TEXT;
};

inline const rt::RecordLayout& LineLayout() {
  static const rt::RecordLayout layout(sizeof(LineRecord), {rt::LayoutField("LIN:TEXT", &LineRecord::TEXT, "@s20")});
  return layout;
}

struct DriverCase {
  const char* driver;
  bool frames;         // transaction frames
  bool writesInPlace;  // put and delete
  bool readsBackward;  // previous
  // The file's name from a path in the test's directory; "" with `skip` set when the driver
  // cannot run here. Null: the path itself.
  std::string (*nameFor)(const std::string& path, std::string& skip) = nullptr;
};

inline std::string DriverName(const ::testing::TestParamInfo<DriverCase>& info) { return info.param.driver; }

class FileConformance : public ::testing::TestWithParam<DriverCase> {
 protected:
  void SetUp() override {
    decl_.label = "Lines";
    decl_.driver = GetParam().driver;
    decl_.name = (temp_ / "lines").string();
    if (GetParam().nameFor) {
      std::string skip;
      decl_.name = GetParam().nameFor(decl_.name, skip);
      if (decl_.name.empty()) GTEST_SKIP() << skip;
    }
    decl_.layout = &LineLayout();
    file_ = MakeFile(record_);
  }

  std::unique_ptr<rt::File> MakeFile(LineRecord& record) { return std::make_unique<rt::File>(decl_, record); }

  // Creates the file holding these lines and leaves `file_` open on it.
  void CreateWith(const std::vector<std::string>& lines) {
    file_->Create();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
    file_->Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error() << " " << rt::FileError();
    for (const std::string& line : lines) {
      record_.TEXT = line;
      file_->Add();
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
    }
  }

  std::vector<std::string> ReadAll() {
    std::vector<std::string> lines;
    file_->Set();
    for (file_->Next(); rt::ErrorCode() == 0; file_->Next()) lines.push_back(record_.TEXT.Str());
    return lines;
  }

  TempDir temp_;
  rt::FileDecl decl_;
  LineRecord record_;
  std::unique_ptr<rt::File> file_;
};

}  // namespace conformance
