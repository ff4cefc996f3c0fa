#include "runtime/core/system_props.h"

#include <atomic>
#include <mutex>
#include <unordered_map>

namespace rt {

namespace {

// The hooks are read on every dialog from any thread, so they get lock-free slots of their own.
std::atomic<std::intptr_t> gMessageHook{0};
std::atomic<std::intptr_t> gStopHook{0};

struct OtherProperties {
  std::mutex mutex;
  std::unordered_map<Long, std::intptr_t> values;
};

OtherProperties& Others() {
  static OtherProperties properties;  // the runtime's system property table, one per process
  return properties;
}

std::atomic<std::intptr_t>* HookSlot(Long property) {
  switch (property) {
    case PROP_MessageHook: return &gMessageHook;
    case PROP_StopHook: return &gStopHook;
    default: return nullptr;
  }
}

}  // namespace

std::intptr_t GetSystemProp(Long property) {
  if (auto* slot = HookSlot(property)) return slot->load();
  OtherProperties& others = Others();
  std::lock_guard lock(others.mutex);
  const auto found = others.values.find(property);
  return found == others.values.end() ? 0 : found->second;
}

void SetSystemProp(Long property, std::intptr_t value) {
  if (auto* slot = HookSlot(property)) {
    slot->store(value);
    return;
  }
  OtherProperties& others = Others();
  std::lock_guard lock(others.mutex);
  others.values[property] = value;
}

}  // namespace rt
