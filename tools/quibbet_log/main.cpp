// quibbet_log: reads the message log from the command line (see --help). Lists, exports,
// follows, counts or checks the entries; the file is only ever read.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "msglog/central_store.h"
#include "msglog/log_path.h"
#include "msglog/log_reader.h"
#include "runtime/platform/platform.h"
#include "tools/quibbet_log/options.h"
#include "tools/quibbet_log/output.h"

using namespace quibbet_log;
using msglog::EntryView;
using msglog::LogReader;

namespace {

constexpr char kVersion[] = "quibbet_log " QUIBBET_VERSION;
constexpr auto kFollowPause = std::chrono::milliseconds(200);

// The log the program beside us writes: the same rule as the program's own start-up.
std::string DefaultLogPath() {
  return rt::platform::NativePathText(MessageLogLocationFor(rt::platform::ExecutablePath()).logPath);
}

int OpenError(const std::string& path, int error) {
  if (error == ENOENT || error == ENOTDIR) {
    std::fprintf(stderr, "quibbet_log: %s: no such log file\n", path.c_str());
    return kExitNoFile;
  }
  std::fprintf(stderr, "quibbet_log: %s: cannot be read: %s\n", path.c_str(), std::strerror(error));
  return kExitUnreadable;
}

int ReadError(const std::string& path, const LogReader& reader) {
  std::fprintf(stderr, "quibbet_log: %s: read failed: %s\n", path.c_str(), std::strerror(reader.LastError()));
  return kExitUnreadable;
}

// Reads to the end as it stands now; `final` takes a cut-short tail as a damaged last entry.
template <typename Take>
bool ReadAll(LogReader& reader, bool final, Take&& take) {
  EntryView entry;
  LogReader::Result result;
  while ((result = reader.Next(entry)) == LogReader::Result::Entry) take(entry);
  if (result == LogReader::Result::Error) return false;
  if (final && reader.TakeTail(entry)) take(entry);
  return true;
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

int Check(LogReader& reader, const std::string& path) {
  std::uint64_t entries = 0, damaged = 0;
  const bool read = ReadAll(reader, true, [&](const EntryView& entry) {
    ++entries;
    if (entry.kind != msglog::EntryKind::Damaged) return;
    ++damaged;
    std::printf("%s:%llu: damaged entry (%u line%s): %s\n", path.c_str(), static_cast<unsigned long long>(entry.line),
                entry.lines, entry.lines == 1 ? "" : "s", entry.damage);
  });
  if (!read) return ReadError(path, reader);
  std::printf("%s: %llu entries, %llu damaged\n", path.c_str(), static_cast<unsigned long long>(entries - damaged),
              static_cast<unsigned long long>(damaged));
  return damaged > 0 ? kExitDamaged : kExitOk;
}

int List(LogReader& reader, const std::string& path, const Options& options) {
  EntryWriter writer(options.format, stdout);
  writer.Begin();
  std::uint64_t damaged = 0;
  auto take = [&](const EntryView& entry) {
    if (entry.kind == msglog::EntryKind::Damaged) ++damaged;
    else if (options.filter.Accepts(entry)) writer.Write(entry);
  };
  if (!options.follow) {
    if (!ReadAll(reader, true, take)) return ReadError(path, reader);
    if (damaged > 0)
      std::fprintf(stderr, "quibbet_log: %s: %llu damaged entr%s left out (--check lists them)\n", path.c_str(),
                   static_cast<unsigned long long>(damaged), damaged == 1 ? "y" : "ies");
    return kExitOk;
  }
  // Following: an entry still in writing waits for the next round; a file replaced under its
  // name (or emptied) is read from its start once the old one has given all it has.
  struct stat current {};
  ::fstat(reader.Descriptor(), &current);
  for (;;) {
    if (!ReadAll(reader, false, take)) return ReadError(path, reader);
    if (std::fflush(stdout) != 0) return kExitOutput;  // main says why
    std::this_thread::sleep_for(kFollowPause);
    struct stat named {};
    if (::stat(path.c_str(), &named) != 0) continue;  // between a removal and its replacement
    if (SameFile(named, current) && static_cast<std::uint64_t>(named.st_size) >= reader.Offset()) continue;
    if (!ReadAll(reader, false, take)) return ReadError(path, reader);
    if (const int error = reader.Open(path)) {
      std::fprintf(stderr, "quibbet_log: %s: cannot be read again: %s\n", path.c_str(), std::strerror(error));
      return kExitUnreadable;
    }
    ::fstat(reader.Descriptor(), &current);
  }
}

// The central copy: the same filters and writers over the table's rows, in order of arrival.
int ReadServer(const Options& options) {
  msglog::CentralStore store;
  rt::DriverStatus status = store.Connect(options.server);
  Summary summary;
  EntryWriter writer(options.format, stdout);
  if (status.Ok()) {
    if (options.mode == Mode::List) writer.Begin();
    status = store.Read([&](const msglog::CentralRow& row) {
      EntryView entry = row.entry.View();
      entry.line = static_cast<std::uint64_t>(row.seq);  // a row's place is its number of arrival
      if (!options.filter.Accepts(entry)) return;
      if (options.mode == Mode::Summary) summary.Add(entry);
      else writer.Write(entry);
    });
  }
  if (!status.Ok()) {
    // The driver's text never holds the password.
    std::fprintf(stderr, "quibbet_log: the log server: %s\n",
                 (status.driverText.empty() ? status.text : status.driverText).c_str());
    return kExitNoServer;
  }
  if (options.mode == Mode::Summary) summary.Print(stdout);
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_CTYPE, "C.UTF-8");  // the case folding of --user, --text and the rest
  Options options;
  std::string error;
  if (ParseOptions(argc, argv, std::time(nullptr), options, error) != kExitOk) {
    std::fprintf(stderr, "quibbet_log: %s\nTry 'quibbet_log --help' for more.\n", error.c_str());
    return kExitUsage;
  }
  if (options.mode == Mode::Help) return std::fputs(UsageText().c_str(), stdout) < 0 ? 1 : 0;
  if (options.mode == Mode::Version) return std::puts(kVersion) < 0 ? 1 : 0;

  static char outBuffer[1 << 16];
  std::setvbuf(stdout, outBuffer, _IOFBF, sizeof outBuffer);
  if (!options.server.empty()) {
    const int status = ReadServer(options);
    if (std::fflush(stdout) != 0) {
      std::fprintf(stderr, "quibbet_log: cannot write the output: %s\n", std::strerror(errno));
      return kExitOutput;
    }
    return status;
  }

  const std::string path = options.file.empty() ? DefaultLogPath() : options.file;
  LogReader reader;
  if (const int openError = reader.Open(path)) return OpenError(path, openError);
  int status = kExitOk;
  if (options.mode == Mode::Check) {
    status = Check(reader, path);
  } else if (options.mode == Mode::Summary) {
    Summary summary;
    const bool read = ReadAll(reader, true, [&](const EntryView& entry) {
      if (entry.kind == msglog::EntryKind::Damaged) summary.AddDamaged();
      else if (options.filter.Accepts(entry)) summary.Add(entry);
    });
    if (!read) return ReadError(path, reader);
    summary.Print(stdout);
  } else {
    status = List(reader, path, options);
  }
  if (std::fflush(stdout) != 0 || std::ferror(stdout) || status == kExitOutput) {
    std::fprintf(stderr, "quibbet_log: cannot write the output: %s\n", std::strerror(errno));
    return kExitOutput;
  }
  return status;
}
