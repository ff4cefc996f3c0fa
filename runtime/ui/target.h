#pragma once
// The calling thread's current target window: the window that runtime calls without an explicit
// window act on, and whose title the message log writes. Each program thread has its own.

#include <string>

#include "runtime/ui/property_holder.h"

namespace rt {

// nullptr when the thread has no window open.
PropertyHolder* Target();
// Makes `window` the calling thread's target (nullptr: none). Windows set it as they open and
// close; the caller keeps ownership.
void SetTarget(PropertyHolder* window);
// The target window's text property, "" when there is none.
std::string TargetTitle();

}  // namespace rt
