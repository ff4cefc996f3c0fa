#pragma once
// The program's command line: --help, --version and --data-dir. Read before the windowing
// system starts, so that --help and --version work without a display. The toolkit's own
// options (-platform, -display, …) are let through for it to take.

#include <string>

struct CommandLine {
  bool run = true;     // false: the program ends at once with exitCode (help, version, a bad option)
  int exitCode = 0;
  std::string dataDir;  // where the data file and the INI file live; empty: the current directory
};

// Prints help, version and errors itself (help and version on standard output, errors on
// standard error with exit code 2).
CommandLine ReadCommandLine(int argc, char** argv);

// The program's version, as --version and the package give it.
const char* ProgramVersion();
