#include "msglog/setup.h"

#include <cstdint>

#include "msglog/globals.h"
#include "msglog/log_path.h"
#include "msglog/message_log.h"
#include "runtime/core/system_props.h"
#include "runtime/platform/platform.h"

void ReadComputerName() {
  // The buffer holds 40 bytes but the call is told 38, as the program always did; a longer host
  // name fails the call and leaves the name empty.
  std::uint32_t size = 38;
  rt::platform::GetComputerNameA(GLO_KESTROMSGLOG__COMPUTER.Data(), &size);
}

void SetMessageLogPath() {
  GLO_KESTROMSGLOG__EXEPATH = rt::platform::ExecutablePath();
  const MessageLogLocation location = MessageLogLocationFor(GLO_KESTROMSGLOG__EXEPATH.View());
  GLO_KESTROMSGLOG__EXEPATH = location.exeDirectory;
  GLO_KESTROMSGLOG__NAME = location.logPath;
}

void InstallMessageHooks() {
  rt::SetSystemProp(rt::PROP_MessageHook, reinterpret_cast<std::intptr_t>(&KestroMessage_));
  rt::SetSystemProp(rt::PROP_StopHook, reinterpret_cast<std::intptr_t>(&KestroStop_));
}

void MessageLogSetup() {
  ReadComputerName();
  SetMessageLogPath();
  InstallMessageHooks();
}
