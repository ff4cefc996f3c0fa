#include "msglog/setup.h"

#include <cstdint>
#include <filesystem>
#include <fstream>

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

std::string ReadLogServerFile(const std::string& file) {
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t first = line.find_first_not_of(" \t\r");
    if (first == std::string::npos || line[first] == '#') continue;
    return line.substr(first, line.find_last_not_of(" \t\r") + 1 - first);
  }
  return {};
}

std::string SpoolPathFor(const std::string& logPath) {
  return (rt::platform::NativePath(logPath).parent_path() / kSpoolFileName).string();
}

void StartCentralLog() {
  const std::string program = rt::platform::ExecutablePath();
  if (program.empty()) return;
  const std::string conninfo =
      ReadLogServerFile((std::filesystem::path(program).parent_path() / kLogServerFileName).string());
  if (conninfo.empty()) return;
  GLO_CentralLog.Start({conninfo, SpoolPathFor(GLO_KESTROMSGLOG__NAME.Str()), program}, GLO_MessageLogLoss);
}

void InstallMessageHooks() {
  rt::SetSystemProp(rt::PROP_MessageHook, reinterpret_cast<std::intptr_t>(&KestroMessage_));
  rt::SetSystemProp(rt::PROP_StopHook, reinterpret_cast<std::intptr_t>(&KestroStop_));
}

void MessageLogSetup() {
  ReadComputerName();
  SetMessageLogPath();
  StartCentralLog();
  InstallMessageHooks();
}
