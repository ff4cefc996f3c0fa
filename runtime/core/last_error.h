#pragma once
// The per-thread last error of the runtime: the code and text that the last runtime call left,
// and the file driver's own code and text. Every runtime operation that can fail sets it; callers
// read it at once. ErrorsKept saves and restores all four around work that must leave no
// trace in them (the message hooks).

#include <optional>
#include <string>
#include <string_view>

#include "runtime/core/types.h"

namespace rt {

// Runtime error codes that callers test.
enum ErrorCodes : Long {
  NoError = 0,
  NoFileErr = 2,
  NoPathErr = 3,
  NoAccessErr = 5,
  InvalidFileErr = 36,
  NoRecErr = 33,
  NotOpenErr = 37,
  DupKeyErr = 40,
  IsHeldErr = 43,
  BadKeyErr = 46,
  IsOpenErr = 52,
  NoLogoutErr = 80,
  RecordChangedErr = 89,
  FileSystemErr = 90,
};

// The runtime's standard text for a code ("" for 0).
std::string ErrorText(Long code);

// The calling thread's last error.
Long ErrorCode();
std::string Error();  // text of the last error
std::string FileErrorCode();
std::string FileError();

// Setting the last error (runtime operations do this; so may tests).
void SetError(Long code);                            // text from the standard table
void SetError(Long code, std::string_view text);
void SetFileError(std::string_view driverCode, std::string_view driverText);
void ClearError();

// Keeps the four values as they are when made and puts them back when destroyed; kept on the
// caller's stack, so scopes nest. Cheap when nothing was set: a file's callbacks run inside one
// around every read.
class ErrorsKept {
 public:
  ErrorsKept();
  ~ErrorsKept();
  ErrorsKept(const ErrorsKept&) = delete;
  ErrorsKept& operator=(const ErrorsKept&) = delete;

 private:
  struct Values {
    Long code = 0;
    std::string text, fileCode, fileText;
  };
  std::optional<Values> kept_;  // empty when nothing was set: the common case, kept without copying
};

}  // namespace rt
