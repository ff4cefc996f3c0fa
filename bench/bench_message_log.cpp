// The cost of one message-log entry (KestroSaveMessLog_: per-thread file, open, compose with
// date and time pictures, append, close) against a bare POSIX open/append/close of the same bytes;
// and a message box through the hook with the central copy on against the same box with it off,
// in alternating blocks of the same run (the dialog thread's cost: waking the sender, never the
// disk's sync or the network). The log server is down there, or up and taking the entries
// meanwhile (/1).

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "msglog/central_store.h"
#include "msglog/globals.h"
#include "msglog/message_log.h"
#include "msglog/setup.h"
#include "runtime/core/clock.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/system_props.h"
#include "tests/runtime/data/pg_server.h"

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

// Answers every box at once with its first button: the box costs only what the hook adds.
class InstantDialogs final : public rt::DialogHost {
 public:
  rt::Long ShowMessageBox(const rt::MessageBoxRequest&) override { return 1; }
  rt::StopAnswer ShowStop(const rt::StopRequest&) override { return {}; }
};

void BM_MessageBoxCentralOnVsOff(benchmark::State& state) {
  const bool serverUp = state.range(0) == 1;
  std::string conninfo = "host=127.0.0.1 port=1 dbname=none user=none connect_timeout=1";  // nobody listens
  if (serverUp) {
    test_pg::Server* server = test_pg::Server::Shared();
    if (!server) {
      state.SkipWithError(test_pg::Server::SkipReason().c_str());
      return;
    }
    conninfo = server->FreshSchema();
    msglog::CentralStore admin;
    if (!admin.Connect(conninfo).Ok() || !admin.CreateTable().Ok()) {
      state.SkipWithError("the message_log table cannot be made");
      return;
    }
  }
  const std::filesystem::path dir = BenchFile("quibbet_bench_central_");
  std::filesystem::create_directories(dir);
  GLO_KESTROMSGLOG__NAME = (dir / kMessageLogFileName).string();
  GLO_KESTROMSGLOG__COMPUTER = "BENCHPC";
  InstantDialogs dialogs;
  rt::SetDialogHost(&dialogs);
  InstallMessageHooks();
  const std::string log = GLO_KESTROMSGLOG__NAME.Str();
  const CentralCopy::Settings settings{conninfo, log, CursorPathFor(log), SpoolPathFor(log), "bench",
                                       std::chrono::milliseconds(2000)};

  using Clock = std::chrono::steady_clock;
  constexpr int kBlock = 2000;
  Clock::duration on{}, off{};
  auto block = [](Clock::duration& total) {
    const auto start = Clock::now();
    for (int i = 0; i < kBlock; ++i)
      benchmark::DoNotOptimize(rt::MessageBox("Do you want to save ?", "Attention!", "", "YES|NO"));
    total += Clock::now() - start;
  };
  // A message box's cost while a program runs, not the sender's start: its first round (the
  // leftovers, a first connection) is let finish off the clock, and the off block waits alike.
  constexpr auto kSettle = std::chrono::milliseconds(500);
  for (auto _ : state) {
    GLO_CentralLog.Start(settings, GLO_MessageLogLoss);
    std::this_thread::sleep_for(kSettle);
    block(on);
    GLO_CentralLog.Stop();
    std::this_thread::sleep_for(kSettle);
    block(off);
  }
  const double boxes = static_cast<double>(state.iterations()) * kBlock;
  state.counters["on_us"] = std::chrono::duration<double, std::micro>(on).count() / boxes;
  state.counters["off_us"] = std::chrono::duration<double, std::micro>(off).count() / boxes;
  state.counters["ratio"] = std::chrono::duration<double>(on).count() / std::chrono::duration<double>(off).count();

  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  rt::SetDialogHost(nullptr);
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_MessageBoxCentralOnVsOff)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
