// The cost of one message-log entry (KestroSaveMessLog_: per-thread file, open, compose with
// date and time pictures, append, close) against a bare POSIX open/append/close of the same bytes.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "msglog/globals.h"
#include "msglog/message_log.h"
#include "runtime/core/clock.h"

namespace {

const std::string kBody =
    "\r\n  MESSAGE:\r\n  WindowTitle=Message Logs Test ...\r\n  MessageTitle=Attention!\r\n"
    "  MessageText=Do you want to save ?\r\n  ShownButtons=YES|NO\r\n  PressedButton=NO";

std::filesystem::path BenchFile(const char* name) {
  return std::filesystem::temp_directory_path() / (std::string(name) + std::to_string(getpid()) + ".txt");
}

void BM_KestroSaveMessLog(benchmark::State& state) {
  const std::filesystem::path path = BenchFile("quibbet_bench_log_");
  GLO_KESTROMSGLOG__NAME = path.string();
  GLO_KESTROMSGLOG__COMPUTER = "BENCHPC";
  for (auto _ : state) KestroSaveMessLog_(kBody);
  std::filesystem::remove(path);
}
BENCHMARK(BM_KestroSaveMessLog);

void BM_PosixOpenAppendClose(benchmark::State& state) {
  const std::filesystem::path path = BenchFile("quibbet_bench_posix_");
  const std::string entry = ComposeEntry(rt::Today(), rt::Clock(), "", "BENCHPC", kBody) + "\r\n";
  for (auto _ : state) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    benchmark::DoNotOptimize(::write(fd, entry.data(), entry.size()));
    ::close(fd);
  }
  std::filesystem::remove(path);
}
BENCHMARK(BM_PosixOpenAppendClose);

}  // namespace

BENCHMARK_MAIN();
