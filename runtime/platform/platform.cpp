#include "runtime/platform/platform.h"

#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <system_error>

#include "runtime/platform/atomic_file.h"

namespace rt::platform {

std::chrono::milliseconds CoarseMonotonicTime() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC_COARSE, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::nanoseconds(now.tv_nsec));
}

bool GetComputerNameA(char* buffer, std::uint32_t* size) {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name) != 0) return false;
  name[HOST_NAME_MAX] = '\0';
  const std::uint32_t length = static_cast<std::uint32_t>(std::strlen(name));
  if (length + 1 > *size) {
    *size = length + 1;
    return false;
  }
  std::memcpy(buffer, name, length + 1);
  *size = length;
  return true;
}

std::string ExecutablePath() {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
  return error ? std::string() : path.string();
}

std::string NativePathText(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::filesystem::path NativePath(std::string_view path) { return NativePathText(std::string(path)); }

DesktopSettings::DesktopSettings(std::filesystem::path file) : file_(std::move(file)) {}

std::filesystem::path UserConfigDirectory() {
  std::filesystem::path base;
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config && *config) {
    base = config;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return base / "quibbet_demo";
}

DesktopSettings DesktopSettings::ForCurrentUser() { return DesktopSettings(UserConfigDirectory() / "desktop.conf"); }

bool DesktopSettings::DragFullWindows(int* value) const {
  std::error_code error;
  if (!std::filesystem::exists(file_, error)) {
    *value = 1;
    return !error;
  }
  std::ifstream in(file_);
  if (!in) return false;
  *value = 1;
  for (std::string line; std::getline(in, line);) {
    const std::string key = "DragFullWindows=";
    if (line.rfind(key, 0) == 0) *value = std::atoi(line.c_str() + key.size()) != 0 ? 1 : 0;
  }
  return true;
}

bool DesktopSettings::SetDragFullWindows(int value) {
  std::error_code error;
  std::filesystem::create_directories(file_.parent_path(), error);
  return RewriteFile(file_, [value](std::string_view) {
    return std::string("DragFullWindows=") + (value ? "1" : "0") + "\n";
  });
}

bool SystemParametersInfoA(DesktopSettings& settings, std::uint32_t action, std::uint32_t param, void* data,
                           std::uint32_t /*flags*/) {
  switch (action) {
    case SPI_GETDRAGFULLWINDOWS: {
      if (!data) return false;
      int value = 0;
      if (!settings.DragFullWindows(&value)) return false;
      std::memcpy(data, &value, sizeof value);
      return true;
    }
    case SPI_SETDRAGFULLWINDOWS:
      return settings.SetDragFullWindows(param != 0 ? 1 : 0);
    default:
      return false;
  }
}

bool SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* data, std::uint32_t flags) {
  DesktopSettings settings = DesktopSettings::ForCurrentUser();
  return SystemParametersInfoA(settings, action, param, data, flags);
}

}  // namespace rt::platform
