// Stands in for the start-up's GlobalErrors and GlobalErrorStatus in tests that use the
// dictionary without the program entry. Tests call GlobalErrors.Init(TestErrorStatus) themselves.

#include "framework/error/error_class.h"
#include "runtime/core/thread.h"

rt::PerThread<ErrorStatusClass> TestErrorStatus{10, 95};
ErrorClass GlobalErrors;
