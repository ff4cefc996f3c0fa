#include "framework/error/error_log.h"

#include <unistd.h>

#include "runtime/core/last_error.h"
#include "runtime/platform/platform.h"

StandardErrorLogClass::StandardErrorLogClass()
    : file_([] { return std::string(kFileName); }, std::span<char>(txt_.Data(), txt_.Size())) {}

StandardErrorLogClass::~StandardErrorLogClass() { Close(1); }

rt::Byte StandardErrorLogClass::Open(rt::Byte force) {
  CriticalProcedure guard;
  guard.Init(critSect_);
  if (usage_ == 0 || force) {
    if (::access(rt::platform::NativePath(kFileName).c_str(), F_OK) != 0) {
      file_.CreateIfMissing();  // another program may create it in the meantime
      if (rt::ErrorCode() != rt::NoError) return Level::Notify;
    }
    file_.Open(rt::ReadWrite | rt::DenyNone);
    if (rt::ErrorCode() != rt::NoError && rt::ErrorCode() != rt::IsOpenErr) return Level::Notify;
  }
  ++usage_;
  return Level::Ok;
}

rt::Byte StandardErrorLogClass::Take(std::string_view line) {
  CriticalProcedure guard;
  guard.Init(critSect_);
  if (usage_ == 0) return Level::Notify;
  txt_ = line;
  file_.Add();
  return rt::ErrorCode() == rt::NoError ? Level::Ok : Level::Notify;
}

rt::Byte StandardErrorLogClass::Close(rt::Byte force) {
  CriticalProcedure guard;
  guard.Init(critSect_);
  if (usage_ == 1 || force) {
    if (file_.IsOpen()) {
      file_.Close();
      if (rt::ErrorCode() != rt::NoError) return Level::Notify;
    }
    usage_ = 0;
  } else {
    --usage_;
  }
  return Level::Ok;
}
