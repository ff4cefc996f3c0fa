#pragma once
// FuzzyClass: the process-wide holder of the two fuzzy-matching options (ignore case, whole
// words only). It owns two flags and nothing else; no code matches with it yet. Calls nothing.

#include "runtime/core/types.h"

class FuzzyClass {
 public:
  FuzzyClass() = default;
  virtual ~FuzzyClass() = default;

  // Clears both options.
  virtual void Init();
  // Does nothing: there is nothing to release.
  virtual void Kill() {}
  // Option 1 sets NoCase, option 2 sets WordOnly; other option numbers are ignored.
  virtual void SetOption(rt::Long option, rt::Long value);

  rt::Byte NoCase = 0;
  rt::Byte WordOnly = 0;
};
