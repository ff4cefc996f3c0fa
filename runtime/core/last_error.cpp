#include "runtime/core/last_error.h"

#include "runtime/core/thread.h"

namespace rt {

std::string ErrorText(Long code) {
  switch (code) {
    case NoError: return "";
    case NoFileErr: return "File Not Found";
    case NoPathErr: return "Path Not Found";
    case 4: return "Too Many Open Files";
    case NoAccessErr: return "Access Denied";
    case 8: return "Insufficient Memory";
    case NoRecErr: return "Record Not Available";
    case 35: return "Record Not Found";
    case InvalidFileErr: return "Invalid Data File";
    case NotOpenErr: return "File Not Open";
    case DupKeyErr: return "Creates Duplicate Key";
    case IsHeldErr: return "Record Is Already Held";
    case BadKeyErr: return "Key File Must Be Rebuilt";
    case 47: return "Invalid Record Declaration";
    case IsOpenErr: return "File Already Open";
    case 57: return "Invalid Memo File";
    case NoLogoutErr: return "Function Not Supported";
    case RecordChangedErr: return "Record Changed By Another Station";
    case FileSystemErr: return "File System Error";
    default: return "Unknown Error " + std::to_string(code);
  }
}

namespace {

ErrorState& State() { return detail::CurrentThreadState().error; }

}  // namespace

Long ErrorCode() { return State().code; }
std::string Error() { return State().text; }
std::string FileErrorCode() { return State().fileCode; }
std::string FileError() { return State().fileText; }

void SetError(Long code) { SetError(code, ErrorText(code)); }

void SetError(Long code, std::string_view text) {
  ErrorState& state = State();
  state.code = code;
  state.text = text;
  state.fileCode.clear();
  state.fileText.clear();
}

void SetFileError(std::string_view driverCode, std::string_view driverText) {
  ErrorState& state = State();
  state.fileCode = driverCode;
  state.fileText = driverText;
}

void ClearError() {
  // Called after every successful operation: clear in place, keeping the strings' storage.
  ErrorState& state = State();
  state.code = 0;
  state.text.clear();
  state.fileCode.clear();
  state.fileText.clear();
}

namespace {

bool IsClear(const ErrorState& state) {
  return state.code == 0 && state.text.empty() && state.fileCode.empty() && state.fileText.empty();
}

}  // namespace

ErrorsKept::ErrorsKept() {
  const ErrorState& state = State();
  if (!IsClear(state)) kept_.emplace(Values{state.code, state.text, state.fileCode, state.fileText});
}

ErrorsKept::~ErrorsKept() {
  ErrorState& state = State();
  if (!kept_) {
    if (!IsClear(state)) ClearError();
    return;
  }
  state.code = kept_->code;
  state.text.swap(kept_->text);
  state.fileCode.swap(kept_->fileCode);
  state.fileText.swap(kept_->fileText);
}

}  // namespace rt
