#pragma once
// A file manager over one benchmark file whose first key is its primary key, initialised the way
// the dictionary does it: the light Init at once, the full Init on the first use. Owns nothing;
// the file and the error manager outlive it.

#include <string>

#include "framework/data/file_manager.h"
#include "framework/error/error_class.h"
#include "runtime/data/file.h"

class BenchAccess : public FileManager {
 public:
  BenchAccess(rt::File& file, ErrorClass& errors, std::string name)
      : file_(file), errors_(errors), name_(std::move(name)) {}
  using FileManager::Init;
  void Init() override {
    Buffer = file_.Record();
    FileNameValue = name_;
    SetErrors(errors_);
    File = &file_;
    FileManager::Init();
  }
  void Init(rt::File& file, ErrorClass& errors) override {
    FileManager::Init(file, errors);
    AddKey(1);
    PrimaryKey = 1;
  }
  rt::Byte UseFile(rt::Byte useType) override {
    if (useType != UseType::Initialize) {
      UseFile(UseType::Initialize);
    } else if (!Initialized) {
      InUseFile = 1;
      Init(file_, errors_);
    }
    return FileManager::UseFile(useType);
  }

 private:
  rt::File& file_;
  ErrorClass& errors_;
  std::string name_;
};
