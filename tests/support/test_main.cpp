// The tests' main. The program's fatal errors end the process at once with exit status 0, so a
// test that reaches one would look passed. run_test.sh names a marker file in the environment;
// this main creates it before the tests and removes it once they have all run, so a marker left
// behind means the process ended part-way, whatever its status.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
constexpr char kMarkerVariable[] = "QUIBBET_TEST_UNFINISHED";
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  const char* named = std::getenv(kMarkerVariable);
  const std::string marker = named ? named : "";
  // Programs the tests start (death tests, other stations) are not this run.
  ::unsetenv(kMarkerVariable);
  if (!marker.empty()) {
    if (std::FILE* file = std::fopen(marker.c_str(), "w")) std::fclose(file);
  }
  const int status = RUN_ALL_TESTS();
  if (!marker.empty()) std::remove(marker.c_str());
  return status;
}
