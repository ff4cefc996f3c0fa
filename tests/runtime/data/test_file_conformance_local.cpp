// The conformance suite over the drivers that need nothing but the machine: KEYED and ASCII.
#include "tests/runtime/data/file_conformance.h"
#include "tests/runtime/data/filter_equivalence.h"

namespace {

using conformance::DriverCase;
using conformance::DriverName;
using conformance::FileConformance;
using equivalence::FilterEquivalence;

INSTANTIATE_TEST_SUITE_P(Drivers, FileConformance,
                         ::testing::Values(DriverCase{"KEYED", true, true, true, nullptr}, DriverCase{"ASCII", false, false, false, nullptr}),
                         DriverName);


INSTANTIATE_TEST_SUITE_P(Drivers, FilterEquivalence, ::testing::Values(DriverCase{"KEYED", true, true, true, nullptr}), DriverName);

}  // namespace
