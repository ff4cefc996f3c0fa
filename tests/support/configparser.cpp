#include "tests/support/configparser.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace {

// From the build, not __FILE__: a compiler cache may make that path relative to the build folder.
const std::filesystem::path kTool = QUIBBET_CONFIGPARSER_TOOL;

std::string ShellQuoted(std::string_view text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

}  // namespace

bool HaveConfigparser() {
  return std::filesystem::exists(kTool) && std::system("python3 -c 'import configparser' >/dev/null 2>&1") == 0;
}

std::optional<std::string> RunConfigparser(const std::vector<std::string>& arguments) {
  std::string command = "python3 " + ShellQuoted(kTool.string());
  for (const std::string& argument : arguments) command += " " + ShellQuoted(argument);
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return std::nullopt;
  std::string output;
  char chunk[4096];
  for (std::size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) output.append(chunk, got);
  const int status = pclose(pipe);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return output;
}
