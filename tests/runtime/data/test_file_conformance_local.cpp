// The conformance suite over the drivers that need nothing but the machine: KEYED and ASCII.
#include "tests/runtime/data/file_conformance.h"

namespace {

using conformance::DriverCase;
using conformance::DriverName;
using conformance::FileConformance;

INSTANTIATE_TEST_SUITE_P(Drivers, FileConformance,
                         ::testing::Values(DriverCase{"KEYED", true, true, true, nullptr}, DriverCase{"ASCII", false, false, false, nullptr}),
                         DriverName);


}  // namespace
