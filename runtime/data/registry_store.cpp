#include "runtime/data/registry_store.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <system_error>

#include "runtime/core/last_error.h"
#include "runtime/data/ini_store.h"
#include "runtime/platform/platform.h"

namespace rt {

namespace {

// The value name "" (a key's default value) cannot be an INI key; "@" stands for it, as in
// exported registry files.
constexpr std::string_view kDefaultValueName = "@";

struct DirectoryOverride {
  std::mutex mutex;
  std::filesystem::path directory;
};

DirectoryOverride& Override() {
  static DirectoryOverride state;
  return state;
}

std::filesystem::path UserRegistryDirectory() { return platform::UserConfigDirectory() / "registry"; }

std::string StoreFile(Long root) {
  char name[16];
  std::snprintf(name, sizeof name, "%08X.ini", static_cast<std::uint32_t>(root));
  return (testing::RegistryDirectory() / name).string();
}

// "\\Software\\\\Q\\" -> "Software\\Q"; the root itself is "\\".
std::string SectionFor(std::string_view keyPath) {
  std::string section;
  for (std::size_t i = 0; i < keyPath.size(); ++i) {
    if (keyPath[i] != '\\') {
      section += keyPath[i];
    } else if (!section.empty() && section.back() != '\\') {
      section += '\\';
    }
  }
  if (!section.empty() && section.back() == '\\') section.pop_back();
  return section.empty() ? std::string("\\") : section;
}

std::string_view KeyFor(std::string_view name) { return name.empty() ? kDefaultValueName : name; }

bool MakeStoreDirectory() {
  std::error_code error;
  std::filesystem::create_directories(testing::RegistryDirectory(), error);
  if (!error) return true;
  const int code = error.value();
  SetError(code == EACCES || code == EPERM || code == EROFS ? NoAccessErr
           : code == ENOTDIR || code == ENOENT             ? NoPathErr
                                                            : FileSystemErr);
  SetFileError(std::to_string(code), std::strerror(code));
  return false;
}

}  // namespace

std::string GetReg(Long root, std::string_view keyPath, std::string_view name) {
  return GetIni(SectionFor(keyPath), KeyFor(name), "", StoreFile(root));
}

void PutReg(Long root, std::string_view keyPath, std::string_view name, std::string_view value) {
  if (!MakeStoreDirectory()) return;
  PutIni(SectionFor(keyPath), KeyFor(name), value, StoreFile(root));
}

void DeleteReg(Long root, std::string_view keyPath, std::string_view name) {
  PutIni(SectionFor(keyPath), KeyFor(name), std::nullopt, StoreFile(root));
  // Deleting from a store that was never written is no failure.
  if (ErrorCode() == NoPathErr) ClearError();
}

namespace testing {

void SetRegistryDirectory(std::filesystem::path directory) {
  DirectoryOverride& state = Override();
  const std::lock_guard<std::mutex> lock(state.mutex);
  state.directory = std::move(directory);
}

std::filesystem::path RegistryDirectory() {
  DirectoryOverride& state = Override();
  const std::lock_guard<std::mutex> lock(state.mutex);
  return state.directory.empty() ? UserRegistryDirectory() : state.directory;
}

}  // namespace testing

}  // namespace rt
