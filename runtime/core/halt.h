#pragma once
// Ending the program at once (the runtime's HALT): from any thread, without unwinding other
// threads. Standard streams are flushed; data files flush on every write, so nothing written
// before the halt is lost.

#include <string_view>

namespace rt {

[[noreturn]] void Halt(int exitCode = 0, std::string_view message = {});

}  // namespace rt
