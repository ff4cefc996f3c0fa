#include "runtime/ui/target.h"

#include "runtime/core/thread.h"

namespace rt {

namespace {

struct ThreadTarget {
  PropertyHolder* window = nullptr;
};

// The program's thread order builds it early and destroys it late, so that the target is there
// for every other per-thread object.
PerThread<ThreadTarget> tTarget{"ThreadTarget"};

}  // namespace

PropertyHolder* Target() { return tTarget->window; }
void SetTarget(PropertyHolder* window) { tTarget->window = window; }
std::string TargetTitle() {
  const PropertyHolder* window = Target();
  return window ? window->GetProp(PROP_Text) : std::string();
}

}  // namespace rt
