// Reading the message log: a generated log of a million entries (about 250 MB, in a temporary
// directory) read whole by the reader beside `grep -c PressedButton` over the same file in the
// same iteration (goal: at most twice grep's time, memory flat), and the first page of 20 entries
// read from the end beside a bare read of the file's last 64 KiB (goal: 50 ms at most).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>
#include <string>
#include <vector>

extern char** environ;

#include "msglog/log_index.h"
#include "msglog/log_reader.h"
#include "msglog/message_log.h"

namespace {

constexpr int kEntries = 1'000'000;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

long MaxRssKiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}

// The log, written once per run in pieces (so the writing leaves no memory behind) and removed
// at exit. Entries as the hooks compose them: eight messages in ten, the rest stops and the
// declined stops after them.
class GeneratedLog {
 public:
  GeneratedLog()
      : dir_(std::filesystem::temp_directory_path() / ("quibbet_bench_reader_" + std::to_string(getpid()))),
        path_(dir_ / "Quibbet_.txt") {
    std::filesystem::create_directories(dir_);
    std::FILE* out = std::fopen(path_.c_str(), "wb");
    static const char* const kUsers[] = {"Anna", "Bob", "Carla", "DemoUser", "Eve Miller"};
    static const char* const kWindows[] = {"Browse the AFile file", "Message Logs Test ...", "Update AFile",
                                           "Kestro Quibbet demo v1.0 -  Nov/01/2019 - https://quibbet.example"};
    std::string chunk;
    for (int i = 0; i < kEntries; ++i) {
      const long date = 81000 + i / 20000;  // fifty days
      const long time = 1 + (i % 20000) * 400;
      const char* window = kWindows[i % 4];
      std::string body;
      if (i % 10 < 8)
        body = MessageBody(window, "Confirm Delete",
                           "Are you sure you want to delete the highlighted record number " + std::to_string(i) + "?",
                           {"YES|NO", i % 3 ? "NO" : "YES"});
      else if (i % 10 == 8)
        body = StopBody(window, "Error saving file... record " + std::to_string(i));
      else
        body = kStopDeclinedBody;
      chunk += ComposeEntry(date, time, kUsers[i % 5], "OFFICE-PC-" + std::to_string(i % 7), body);
      chunk += "\r\n";
      if (chunk.size() > (1 << 20)) {
        std::fwrite(chunk.data(), 1, chunk.size(), out);
        chunk.clear();
      }
    }
    std::fwrite(chunk.data(), 1, chunk.size(), out);
    std::fclose(out);
    bytes_ = std::filesystem::file_size(path_);
    // Both readers meet the file in the page cache.
    std::vector<char> buffer(1 << 20);
    const int fd = ::open(path_.c_str(), O_RDONLY);
    while (::read(fd, buffer.data(), buffer.size()) > 0) {
    }
    ::close(fd);
  }
  ~GeneratedLog() { std::filesystem::remove_all(dir_); }
  const std::filesystem::path& Path() const { return path_; }
  std::uintmax_t Bytes() const { return bytes_; }

 private:
  std::filesystem::path dir_, path_;
  std::uintmax_t bytes_ = 0;
};

const GeneratedLog& Log() {
  static const GeneratedLog log;
  return log;
}

// grep's run time; its count is left in `counted`. Its output goes to a file: GNU grep stops at
// the first match when it sees its output is /dev/null.
double GrepSeconds(const std::filesystem::path& path, long& counted) {
  const std::string output = path.string() + ".grep";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string file = path.string();
  char* argv[] = {const_cast<char*>("grep"), const_cast<char*>("-c"), const_cast<char*>("PressedButton"),
                  const_cast<char*>(file.c_str()), nullptr};
  const Clock::time_point start = Clock::now();
  pid_t pid = 0;
  int status = 0;
  if (posix_spawnp(&pid, "grep", &actions, nullptr, argv, environ) == 0) waitpid(pid, &status, 0);
  const double seconds = Seconds(Clock::now() - start);
  posix_spawn_file_actions_destroy(&actions);
  counted = -1;
  if (std::FILE* in = std::fopen(output.c_str(), "r")) {
    if (std::fscanf(in, "%ld", &counted) != 1) counted = -1;
    std::fclose(in);
  }
  return seconds;
}

void BM_ReaderBesideGrep(benchmark::State& state) {
  const GeneratedLog& log = Log();
  const long rssBefore = MaxRssKiB();
  double grep = 0, reader = 0;
  std::int64_t entries = 0, damaged = 0, messages = 0;
  long grepCount = 0;
  for (auto _ : state) {
    grep += GrepSeconds(log.Path(), grepCount);
    const Clock::time_point start = Clock::now();
    msglog::LogReader logReader;
    logReader.Open(log.Path().string());
    msglog::EntryView entry;
    entries = damaged = messages = 0;
    while (logReader.Next(entry) == msglog::LogReader::Result::Entry) {
      ++entries;
      damaged += entry.kind == msglog::EntryKind::Damaged;
      messages += entry.kind == msglog::EntryKind::Message;
      benchmark::DoNotOptimize(entry.pressedButton.size());
    }
    const double seconds = Seconds(Clock::now() - start);
    reader += seconds;
    state.SetIterationTime(seconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["grep_ms"] = grep / n * 1e3;
  state.counters["reader_ms"] = reader / n * 1e3;
  state.counters["ratio"] = reader / grep;
  state.counters["entries"] = static_cast<double>(entries);
  state.counters["damaged"] = static_cast<double>(damaged);
  state.counters["messages"] = static_cast<double>(messages);
  state.counters["grep_count"] = static_cast<double>(grepCount);  // the messages, or grep did not run
  state.counters["MB"] = static_cast<double>(log.Bytes()) / 1e6;
  state.counters["rss_growth_MiB"] = static_cast<double>(MaxRssKiB() - rssBefore) / 1024;
}
BENCHMARK(BM_ReaderBesideGrep)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LastPageBesideRawTailRead(benchmark::State& state) {
  const GeneratedLog& log = Log();
  double page = 0, raw = 0;
  std::vector<msglog::LogEntry> entries;
  std::vector<char> tail(64 * 1024);
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    msglog::ReadLastEntries(log.Path().string(), 20, entries);
    const double seconds = Seconds(Clock::now() - start);
    page += seconds;
    state.SetIterationTime(seconds);

    start = Clock::now();
    const int fd = ::open(log.Path().c_str(), O_RDONLY);
    benchmark::DoNotOptimize(::pread(fd, tail.data(), tail.size(), static_cast<off_t>(log.Bytes() - tail.size())));
    ::close(fd);
    raw += Seconds(Clock::now() - start);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["page_ms"] = page / n * 1e3;
  state.counters["raw_tail_ms"] = raw / n * 1e3;
  state.counters["ratio"] = page / raw;
  state.counters["entries"] = static_cast<double>(entries.size());
}
BENCHMARK(BM_LastPageBesideRawTailRead)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The index a window builds in the background, for the time it takes to reach any entry.
void BM_IndexBuild(benchmark::State& state) {
  const GeneratedLog& log = Log();
  std::size_t count = 0;
  for (auto _ : state) {
    msglog::LogIndex index;
    index.Start(log.Path().string());
    while (!index.IsDone()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    count = index.EntryCount();
  }
  state.counters["entries"] = static_cast<double>(count);
}
BENCHMARK(BM_IndexBuild)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
