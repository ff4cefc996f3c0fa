#pragma once
// Whole-file reads, and read-modify-write of a small text file
// that other threads and processes may change at the same moment: serialised by a lock file next
// to it, replaced by a temporary + fsync + rename so that a reader sees the old or the new file,
// never part of one. Owns no file contents; calls POSIX and the runtime's last error.

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace rt::platform {

// ---- Read ----

// The file's bytes; nullopt when it is missing, a directory or cannot be read. Takes no lock.
std::optional<std::string> ReadWholeFile(const std::filesystem::path& path);

// ---- Read-modify-write ----

// Holds an exclusive lock on "<path>.lock" while it reads the file ("" when missing), asks `edit`
// for the new text and, when that differs, replaces the file with it (keeping the old file's
// permissions; through a symbolic link, the link's target is replaced). A file that cannot be read
// is never overwritten. Sets the last error: cleared on success, otherwise 3 path not found,
// 5 access denied or 90 file system error, with the errno code and text as the file error.
bool RewriteFile(const std::filesystem::path& path, const std::function<std::string(std::string_view)>& edit);

}  // namespace rt::platform
