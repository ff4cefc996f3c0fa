#include "runtime/core/halt.h"

#include <cstdio>
#include <cstdlib>

namespace rt {

void Halt(int exitCode, std::string_view message) {
  if (!message.empty())
    std::fprintf(stderr, "%.*s\n", static_cast<int>(message.size()), message.data());
  std::fflush(nullptr);
  // _Exit, not exit: other program threads are still running and must not race static destructors.
  std::_Exit(exitCode);
}

}  // namespace rt
