// A test program whose test reaches a fatal halt: run_test.sh must report the run as failed
// (the ctest entry expects the failure).
#include <gtest/gtest.h>

#include "runtime/core/halt.h"

TEST(HaltingTest, EndsTheProgramWithStatusZero) {
  rt::Halt(0, "a fatal error in a test");
}
