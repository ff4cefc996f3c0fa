#pragma once
// The runtime's critical section: a re-entrant lock reached through the ISyncObject interface.
// NewCriticalSection creates one; its owner calls Kill when done, after which the object is gone.
// The framework wraps these in CriticalSection/CriticalProcedure.

namespace rt {

class ISyncObject {
 public:
  // Blocks until the calling thread owns the section; a thread that owns it may Wait again.
  virtual void Wait() = 0;
  // Gives up one level of ownership (one per Wait).
  virtual void Release() = 0;
  // Destroys the section; the reference must not be used afterwards.
  virtual void Kill() = 0;

 protected:
  virtual ~ISyncObject() = default;
};

// A new, unowned critical section. The caller owns it until it calls Kill.
ISyncObject* NewCriticalSection();

}  // namespace rt
