#pragma once
// The per-user registry store: string values by name under '\'-separated key paths below a
// numbered root (0x80000000 classes root, 0x80000001 current user, ...). Each root is one INI file
// of our own, "<config dir>/quibbet_demo/registry/<root as 8 hex digits>.ini", with the key path
// as section, so it shares the INI store's format, atomic replace, locking and last error
// (ini_store.h). Owns only the store's location and the mapping of paths and names.

#include <filesystem>
#include <string>
#include <string_view>

#include "runtime/core/types.h"

namespace rt {

inline constexpr Long kRegClassesRoot = static_cast<Long>(0x80000000u);
inline constexpr Long kRegCurrentUser = static_cast<Long>(0x80000001u);

// ---- Read ----

// The value, or "" when the root, key or name is missing. Leaves the last error as it was.
std::string GetReg(Long root, std::string_view keyPath, std::string_view name);

// ---- Write ----

// Key paths match without regard to case; separators at either end and repeated ones do not
// count ("\Software\\Q\" is "Software\Q"). The empty name is the key's default value. Sets the
// last error as PutIni does, and 3/5/90 when the store's directory cannot be made.
void PutReg(Long root, std::string_view keyPath, std::string_view name, std::string_view value);
void DeleteReg(Long root, std::string_view keyPath, std::string_view name);

// ---- Test support ----

namespace testing {
// Puts the store's files in `directory` instead of the user's config dir; an empty path undoes it.
void SetRegistryDirectory(std::filesystem::path directory);
// The directory that holds the store's files now.
std::filesystem::path RegistryDirectory();
}  // namespace testing

}  // namespace rt
