#pragma once
// One thread's error state: the names a message needs (file, key, field, free text), the
// runtime's last error as captured, and the error table entry now being reported. Every program
// thread has its own ErrorStatusClass; the shared ErrorClass reads and writes the calling
// thread's. No locks: only its own thread touches it.

#include <string>
#include <string_view>

#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"

// An entry of the error table. Title and Message refer to texts kept by whoever added the entry
// (the block of AddErrors, the caller of AddError), which must outlive it.
struct ErrorEntryGroup {
  rt::Long Id = 0;
  std::string_view Message;
  std::string_view Title;
  rt::Byte Fatality = 0;
  std::string Category;
};

// The entry being reported, with texts of its own.
struct ErrorBufferGroup {
  rt::Long Id = 0;
  std::string Message;
  std::string Title;
  rt::Byte Fatality = 0;
  std::string Category;
};

// A snapshot of a whole status (GetAllStatusVariables).
struct ErrorStatusGroup {
  rt::CString<255> FieldName;
  rt::CString<255> FileName;
  rt::CString<255> KeyName;
  rt::CString<255> MessageText;
  rt::CString<255> SaveError;
  rt::Long SaveErrorCode = 0;
  rt::CString<255> SaveFileError;
  rt::CString<255> SaveFileErrorCode{"0"};
  ErrorBufferGroup ErrorBuffer;
  rt::Long PrevErrorId = 0;
};

class ErrorStatusClass {
 public:
  ErrorStatusGroup Values;
};
