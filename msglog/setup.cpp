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

namespace {

// The directory of the file `logPath` names, its links followed (also to a log not yet made).
std::filesystem::path RealLogDirectory(const std::string& logPath) {
  std::filesystem::path path = rt::platform::NativePath(logPath);
  std::error_code error;
  for (int links = 0; links < 40 && std::filesystem::is_symlink(path, error); ++links) {
    const std::filesystem::path target = std::filesystem::read_symlink(path, error);
    if (error) break;
    path = target.is_absolute() ? target : path.parent_path() / target;
  }
  return path.parent_path();
}

}  // namespace

std::string SpoolPathFor(const std::string& logPath) { return (RealLogDirectory(logPath) / kSpoolFileName).string(); }

std::string CursorPathFor(const std::string& logPath) {
  return (RealLogDirectory(logPath) / kCursorFileName).string();
}

std::string LogServerConnection() {
  const std::string program = rt::platform::ExecutablePath();
  if (program.empty()) return {};
  return ReadLogServerFile((std::filesystem::path(program).parent_path() / kLogServerFileName).string());
}

void StartCentralLog() {
  const std::string program = rt::platform::ExecutablePath();
  const std::string conninfo = LogServerConnection();
  if (conninfo.empty()) return;
  const std::string log = GLO_KESTROMSGLOG__NAME.Str();
  GLO_CentralLog.Start({conninfo, rt::platform::NativePath(log).string(), CursorPathFor(log), SpoolPathFor(log), program},
                       GLO_MessageLogLoss);
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
