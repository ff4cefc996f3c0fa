#include "runtime/data/ini_store.h"

#include <cerrno>
#include <cstring>

#include "runtime/core/last_error.h"
#include "runtime/platform/atomic_file.h"
#include "runtime/data/ini_file.h"
#include "runtime/platform/platform.h"

namespace rt {

std::string GetIni(std::string_view section, std::string_view key, std::string_view defaultValue,
                   std::string_view fileName) {
  if (fileName.empty()) return std::string(defaultValue);
  const std::optional<std::string> text = platform::ReadWholeFile(platform::NativePath(fileName));
  if (!text) return std::string(defaultValue);
  const std::optional<std::string_view> value = detail::FindIniValue(*text, section, key);
  return std::string(value ? *value : defaultValue);
}

void PutIni(std::string_view section, std::string_view key, std::optional<std::string_view> value,
            std::string_view fileName) {
  if (fileName.empty()) {
    SetError(NoPathErr);
    return;
  }
  if (const std::string_view rejection = detail::IniRejection(section, key, value); !rejection.empty()) {
    SetError(FileSystemErr);
    SetFileError(std::to_string(EINVAL), rejection);
    return;
  }
  platform::RewriteFile(platform::NativePath(fileName),
                      [&](std::string_view text) { return detail::EditIni(text, section, key, value); });
}

}  // namespace rt
