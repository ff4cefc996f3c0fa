// StepClass: the step of a sort order that has no real one.

#include "framework/browse/step_class.h"

rt::Byte StepClass::GetPercentile(const rt::FieldRef&) { return 50; }
std::string StepClass::GetValue(rt::Byte) { return {}; }
void StepClass::Kill() {}
void StepClass::SetLimit(const rt::FieldRef&, const rt::FieldRef&) {}
rt::Byte StepClass::SetLimitNeeded() { return 1; }
