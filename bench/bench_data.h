#pragma once
// What the benchmarks over a big keyed file share: a scratch directory of the run's own, writing
// its records in frames, and the process's resident memory. Owns the scratch directory.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/core/types.h"
#include "runtime/data/file.h"
#include "runtime/data/file_decl.h"
#include "runtime/data/record_layout.h"

namespace bench_data {

// A directory under the system's temporary one, named for the benchmark and the process, removed
// with everything in it when destroyed.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(std::string_view name)
      : path_(std::filesystem::temp_directory_path() / (std::string(name) + "_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~ScratchDirectory() { std::filesystem::remove_all(path_); }
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// A KEYED file at `path` whose first field is its one unique key, named `keyName`.
inline rt::FileDecl KeyedDecl(std::string label, const std::string& path, const rt::RecordLayout& layout,
                              std::string keyName) {
  rt::FileDecl decl;
  decl.label = std::move(label);
  decl.driver = rt::kKeyedDriver;
  decl.name = path;
  decl.layout = &layout;
  decl.keys = {{std::move(keyName), {{1, true}}, true, false, false, true}};
  return decl;
}

// Creates the file of `file` and adds records 1 … count, `fill(id)` setting the record buffer for
// each, in frames of 20 000; the file is closed afterwards.
inline void WriteRecords(rt::File& file, rt::Long count, const std::function<void(rt::Long id)>& fill) {
  constexpr rt::Long kFrame = 20000;
  file.Create();
  file.Open();
  rt::File* files[] = {&file};
  for (rt::Long id = 1; id <= count; ++id) {
    if (id % kFrame == 1) rt::Logout(10, files);
    fill(id);
    file.Add();
    if (id % kFrame == 0 || id == count) rt::Commit();
  }
  file.Close();
}

inline long ResidentKilobytes() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
  return 0;
}

}  // namespace bench_data
