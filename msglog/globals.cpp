#include "msglog/globals.h"

GuardedUserName GLO_USERNAME;
rt::CString<kLogPathCapacity> GLO_KESTROMSGLOG__NAME;
rt::CString<40> GLO_KESTROMSGLOG__COMPUTER;
rt::CString<kLogPathCapacity> GLO_KESTROMSGLOG__EXEPATH;
LogLossNotice GLO_MessageLogLoss;
CentralCopy GLO_CentralLog;

void GuardedUserName::Set(std::string_view name) {
  std::lock_guard lock(mutex_);
  name_ = name;
}

rt::FixedString<20> GuardedUserName::Get() const {
  std::lock_guard lock(mutex_);
  return name_;
}
