#pragma once
// Python's configparser as an outside reader and writer of INI files, for interop tests. The
// tool prints "<section>\t<key>\t<value>" lines and "end <n>" for `dump <file>`, and
// "wrote <n>" for `write <file> (<section> <key> <value>)...`.

#include <optional>
#include <string>
#include <vector>

// True when python3 with configparser can run here.
bool HaveConfigparser();
// Runs the tool with `arguments`; its standard output, or nullopt when it did not exit with 0.
std::optional<std::string> RunConfigparser(const std::vector<std::string>& arguments);
