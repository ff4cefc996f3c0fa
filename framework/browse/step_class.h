#pragma once
// StepClass: the base of a sort order's scroll-thumb step, which maps key values to thumb
// positions 0..100 and back. The base behaviour is what a sort order without a real step gets:
// the thumb stays in the middle and a drag pages. Owns nothing; a browse holds its orders' steps
// by pointer and calls Kill on them in its own Kill.
//
// Subclass contract: GetPercentile maps the free element's value to 0..100, GetValue maps a
// thumb position back to a key value (empty: no value, the browse pages instead), SetLimit
// learns the first and last values whenever SetLimitNeeded says so.

#include <string>

#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"

class StepClass {
 public:
  StepClass() = default;
  virtual ~StepClass() = default;
  StepClass(const StepClass&) = delete;
  StepClass& operator=(const StepClass&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual rt::Byte GetPercentile(const rt::FieldRef& value);
  virtual std::string GetValue(rt::Byte percentile);
  virtual void Kill();
  virtual void SetLimit(const rt::FieldRef& low, const rt::FieldRef& high);
  virtual rt::Byte SetLimitNeeded();
};
