#include "runtime/ui/target.h"

#include "runtime/core/thread.h"

namespace rt {

namespace {

struct ThreadTarget {
  PropertyHolder* window = nullptr;
};

// Built early and destroyed late, so that the target is there for every other per-thread object.
PerThread<ThreadTarget> tTarget{-1000, 1000};

}  // namespace

PropertyHolder* Target() { return tTarget->window; }
void SetTarget(PropertyHolder* window) { tTarget->window = window; }
std::string TargetTitle() {
  const PropertyHolder* window = Target();
  return window ? window->GetProp(PROP_Text) : std::string();
}

}  // namespace rt
