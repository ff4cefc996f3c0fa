// The conformance suite and the cases POSTGRES shares with KEYED, over the POSTGRES driver, each
// case in a schema of its own on the test binary's server.
#include "tests/runtime/data/driver_files.h"
#include "tests/runtime/data/file_conformance.h"
#include "tests/runtime/data/filter_equivalence.h"
#include "tests/runtime/data/pg_server.h"

namespace {

using conformance::DriverCase;
using conformance::DriverName;
using conformance::FileConformance;
using driver_files::DriverFiles;
using equivalence::FilterEquivalence;

std::string ServerName(const std::string&, std::string& skip) {
  test_pg::Server* server = test_pg::Server::Shared();
  if (!server) {
    skip = test_pg::Server::SkipReason();
    return {};
  }
  const std::string name = server->FreshSchema();
  if (name.empty()) skip = "the server refused a new schema";
  return name;
}

INSTANTIATE_TEST_SUITE_P(Server, FileConformance, ::testing::Values(DriverCase{"POSTGRES", true, true, true, ServerName}),
                         DriverName);

INSTANTIATE_TEST_SUITE_P(Server, DriverFiles, ::testing::Values(DriverCase{"POSTGRES", true, true, true, ServerName}),
                         DriverName);

INSTANTIATE_TEST_SUITE_P(Server, FilterEquivalence, ::testing::Values(DriverCase{"POSTGRES", true, true, true, ServerName}),
                         DriverName);

}  // namespace
