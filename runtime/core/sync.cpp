#include "runtime/core/sync.h"

#include <mutex>

namespace rt {

namespace {

class RecursiveSection final : public ISyncObject {
 public:
  void Wait() override { mutex_.lock(); }
  void Release() override { mutex_.unlock(); }
  void Kill() override { delete this; }  // the interface's owner ends the object's life through Kill

 private:
  ~RecursiveSection() override = default;
  std::recursive_mutex mutex_;
};

}  // namespace

ISyncObject* NewCriticalSection() { return new RecursiveSection(); }

}  // namespace rt
