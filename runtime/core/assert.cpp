#include "runtime/core/assert.h"

#include <cstdio>
#include <mutex>

namespace rt {

namespace {

struct AssertionRecord {
  std::mutex mutex;
  std::vector<std::string> messages;
};

AssertionRecord& Record() {
  static AssertionRecord record;  // process-wide by design: the report is one per process
  return record;
}

}  // namespace

void AssertReport(std::string_view message, const char* file, int line) {
  std::fprintf(stderr, "assertion: %.*s (%s:%d)\n", static_cast<int>(message.size()), message.data(), file, line);
  AssertionRecord& record = Record();
  std::lock_guard lock(record.mutex);
  record.messages.emplace_back(message);
}

namespace testing {

std::vector<std::string> AssertionMessages() {
  AssertionRecord& record = Record();
  std::lock_guard lock(record.mutex);
  return record.messages;
}

void ClearAssertionMessages() {
  AssertionRecord& record = Record();
  std::lock_guard lock(record.mutex);
  record.messages.clear();
}

}  // namespace testing
}  // namespace rt
