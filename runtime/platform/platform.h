#pragma once
// What the program asks of the operating system: the computer name, the executable's path,
// the desktop's drag-full-windows setting, and the path conventions. POSIX calls only; callers
// above never include system headers for these.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace rt::platform {

// ---- Computer name ----

// Copies the host name into `buffer` of `*size` bytes, zero-terminated, the way the Windows call
// the program was written for does: true and `*size` = its length when it fits with its zero;
// false and `*size` = the space it needs when not (the buffer is then left as it was).
bool GetComputerNameA(char* buffer, std::uint32_t* size);

// ---- Clocks ----

// A monotonic clock that is cheap to read and right to a few milliseconds: for ages in seconds
// checked as often as once per record read.
std::chrono::milliseconds CoarseMonotonicTime();

// ---- Executable ----

// The running binary's full, real path ("" when it cannot be read).
std::string ExecutablePath();

// ---- Paths ----

// Accepts Windows-style paths: '\' and '/' are both separators (".\Quibbet_demo.INI" is
// "./Quibbet_demo.INI").
std::filesystem::path NativePath(std::string_view path);
std::string NativePathText(std::string path);  // the same as text, in place: for paths opened often

// ---- Per-user settings ----

// Where this program keeps per-user files: $XDG_CONFIG_HOME/quibbet_demo, else
// ~/.config/quibbet_demo, else a folder of the system's temporary directory.
std::filesystem::path UserConfigDirectory();

// ---- Desktop settings ----

// The drag-full-windows desktop setting has no POSIX equivalent, so a small per-user settings
// file of our own keeps it: key "DragFullWindows" in $XDG_CONFIG_HOME/quibbet_demo/desktop.conf
// (or ~/.config/...). It reads as on (1) until something switches it.
class DesktopSettings {
 public:
  explicit DesktopSettings(std::filesystem::path file);
  static DesktopSettings ForCurrentUser();

  bool DragFullWindows(int* value) const;       // false when the file cannot be read
  bool SetDragFullWindows(int value);            // false when the file cannot be written
  const std::filesystem::path& File() const { return file_; }

 private:
  std::filesystem::path file_;
};

// The subset of SystemParametersInfoA that start-up uses, over the current user's DesktopSettings:
// action 38 (get drag-full-windows into *data as a 32-bit int) and action 37 (set it to `param`).
// Other actions fail. Flags (write profile, broadcast) are accepted; the file is always written.
inline constexpr std::uint32_t SPI_GETDRAGFULLWINDOWS = 38;
inline constexpr std::uint32_t SPI_SETDRAGFULLWINDOWS = 37;
bool SystemParametersInfoA(std::uint32_t action, std::uint32_t param, void* data, std::uint32_t flags);
bool SystemParametersInfoA(DesktopSettings& settings, std::uint32_t action, std::uint32_t param, void* data,
                           std::uint32_t flags);

}  // namespace rt::platform
