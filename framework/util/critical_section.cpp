#include "framework/util/critical_section.h"

CriticalSection::CriticalSection() : sync_(rt::NewCriticalSection()) {}

CriticalSection::~CriticalSection() { sync_->Kill(); }

void CriticalProcedure::Init(rt::ISyncObject* sync) {
  Kill();
  if (!sync) return;
  sync->Wait();
  held_ = sync;
}

void CriticalProcedure::Kill() {
  if (!held_) return;
  rt::ISyncObject* held = held_;
  held_ = nullptr;
  held->Release();
}
