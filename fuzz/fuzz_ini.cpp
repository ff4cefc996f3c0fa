// INI store under arbitrary file contents: the first input byte picks the names and value, the
// rest is the file. Checks what must hold for any file: a written key reads back, a deleted key
// reads as missing, and a key with another name keeps its value through both.

#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "runtime/core/last_error.h"
#include "runtime/data/ini_store.h"

namespace {

struct Names {
  const char* section;
  const char* key;
  int identity;  // names that differ only in case or blanks are one name
};

constexpr std::array<Names, 8> kNames{{{"Sec", "Key", 0},
                                       {"sec", "KEY", 0},
                                       {"A", "x", 1},
                                       {"a]b", "k;1", 2},
                                       {" Window ", " XPos ", 3},
                                       {"__Dont_Touch_Me__", "Sectors_1", 4},
                                       {"[A]", "k[1]", 5},
                                       {"Q$a$$$b$$T", "Name", 6}}};
constexpr std::array<const char*, 4> kValues{{"v", "", "a=b,c ; d", "  padded  "}};
constexpr char kMissing[] = "\x01missing";

std::string_view TrimmedValue(std::string_view value) {
  const std::size_t first = value.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return value.substr(first, value.find_last_not_of(" \t") - first + 1);
}

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "fuzz_ini: %s\n", what);
  std::abort();
}

const std::string& FilePath() {
  static const std::string path = [] {
    // Every write fsyncs; on a memory file system that costs nothing and the fuzzer runs faster.
    const bool memory = std::filesystem::is_directory("/dev/shm");
    std::string pattern = memory ? "/dev/shm/fuzz_ini.XXXXXX" : "/tmp/fuzz_ini.XXXXXX";
    const char* dir = mkdtemp(pattern.data());
    Require(dir != nullptr, "cannot make a temporary directory");
    return std::string(dir) + "/fuzz.ini";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Names& target = kNames[data[0] % kNames.size()];
  const Names& other = kNames[(data[0] / kNames.size()) % kNames.size()];
  const char* value = kValues[(data[0] >> 6) % kValues.size()];
  const std::string& path = FilePath();
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data + 1), static_cast<std::streamsize>(size - 1));
  }
  const bool sameName = target.identity == other.identity;

  const std::string otherBefore = rt::GetIni(other.section, other.key, kMissing, path);
  rt::GetIni(target.section, target.key, kMissing, path);

  rt::PutIni(target.section, target.key, value, path);
  Require(rt::ErrorCode() == 0, "PutIni failed");
  Require(rt::GetIni(target.section, target.key, kMissing, path) == TrimmedValue(value), "written value not read back");
  if (!sameName) Require(rt::GetIni(other.section, other.key, kMissing, path) == otherBefore, "other key changed by put");

  rt::PutIni(target.section, target.key, std::nullopt, path);
  Require(rt::ErrorCode() == 0, "PutIni delete failed");
  Require(rt::GetIni(target.section, target.key, kMissing, path) == kMissing, "deleted key still read");
  if (!sameName) Require(rt::GetIni(other.section, other.key, kMissing, path) == otherBefore, "other key changed by delete");
  return 0;
}
