#pragma once
// The push-down property test's fixture: test_filter_equivalence.cpp holds the test; each test
// binary instantiates it for its drivers (KEYED beside the conformance suite, POSTGRES on the
// binary's server).

#include "tests/runtime/data/file_conformance.h"

namespace equivalence {

class FilterEquivalence : public ::testing::TestWithParam<conformance::DriverCase> {};

}  // namespace equivalence
