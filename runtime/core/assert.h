#pragma once
// The assertion report: programming errors (a broken precondition, a missing table entry) are
// written to stderr and kept as records that tests can read. Never a user dialog, never an abort.

#include <string>
#include <string_view>
#include <vector>

namespace rt {

void AssertReport(std::string_view message, const char* file, int line);

// Defensive branches that should never run are marked with RT_ASSERT so reviewers see them.
#define RT_ASSERT(condition, message)                                  \
  do {                                                                 \
    if (!(condition)) ::rt::AssertReport((message), __FILE__, __LINE__); \
  } while (false)

namespace testing {
// The messages reported so far in this process, oldest first; and a way to start afresh.
std::vector<std::string> AssertionMessages();
void ClearAssertionMessages();
}  // namespace testing

}  // namespace rt
