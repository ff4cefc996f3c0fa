#pragma once
// The error manager's log: ErrorLogInterface, through which the error manager appends each shown
// message, and StandardErrorLogClass, its one implementation over the text-line file
// "QELError.Log" in the current directory. The error manager creates and owns the writer and holds
// its own lock around every open-take-close, so the writer's own guards stay empty.

#include <string_view>

#include "framework/error/levels.h"
#include "framework/util/critical_section.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"
#include "runtime/data/text_line_file.h"

// Each operation returns Level::Ok, or Level::Notify when it failed.
class ErrorLogInterface {
 public:
  virtual rt::Byte Close(rt::Byte force) = 0;
  virtual rt::Byte Open(rt::Byte force) = 0;
  virtual rt::Byte Take(std::string_view line) = 0;

 protected:
  ~ErrorLogInterface() = default;
};

class StandardErrorLogClass : public ErrorLogInterface {
 public:
  static constexpr char kFileName[] = "QELError.Log";

  StandardErrorLogClass();
  virtual ~StandardErrorLogClass();
  StandardErrorLogClass(const StandardErrorLogClass&) = delete;
  StandardErrorLogClass& operator=(const StandardErrorLogClass&) = delete;

  // Opens the file (creating it when missing) when nothing has it open or `force` is set; every
  // successful call counts one more user.
  rt::Byte Open(rt::Byte force) override;
  // Appends `line`, cut to 1024 characters, as one line; Notify when the file is not open.
  rt::Byte Take(std::string_view line) override;
  // Closes the file when this is its last user or `force` is set; otherwise counts one user less.
  rt::Byte Close(rt::Byte force) override;

  rt::Long Usage() const { return usage_; }

 private:
  rt::ISyncObject* critSect_ = nullptr;  // never assigned, so the guards below stay empty
  rt::Long usage_ = 0;
  rt::FixedString<1024> txt_;
  rt::TextLineFile file_;
};
