#pragma once
// The framework's two lock classes over the runtime's re-entrant ISyncObject:
// CriticalSection owns one section for its whole life; CriticalProcedure is a scope guard that
// holds one level of some section from Init until Kill or the end of its scope.
// Shared framework objects (the error manager, the INI manager, the open servers) use them.

#include "runtime/core/sync.h"

class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  // The owned section, to hand to CriticalProcedure::Init. Never null.
  rt::ISyncObject* GetIFace() const { return sync_; }

 private:
  rt::ISyncObject* sync_;  // owned; killed by the destructor
};

class CriticalProcedure {
 public:
  CriticalProcedure() = default;
  ~CriticalProcedure() { Kill(); }
  CriticalProcedure(const CriticalProcedure&) = delete;
  CriticalProcedure& operator=(const CriticalProcedure&) = delete;

  // Releases what the guard held, then waits on `sync` and holds it. A null `sync` leaves the
  // guard empty, which is not an error.
  void Init(rt::ISyncObject* sync);
  // Releases the held level, if any. Harmless when nothing is held.
  void Kill();

 private:
  rt::ISyncObject* held_ = nullptr;  // not owned
};
