#pragma once
// A log of lines that a window's program thread writes and the test's thread takes.

#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace fwtest {

class ThreadLog {
 public:
  void Add(std::string line) {
    std::lock_guard lock(mutex_);
    lines_.push_back(std::move(line));
  }
  // Everything added since the last call.
  std::vector<std::string> Take() {
    std::lock_guard lock(mutex_);
    return std::exchange(lines_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> lines_;
};

}  // namespace fwtest
