#include "message_log_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

#include "msglog/globals.h"
#include "msglog/setup.h"
#include "runtime/core/clock.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/system_props.h"
#include "runtime/ui/target.h"

void MessageLogTest::SetUp() {
  log_ = dir_ / "Quibbet_.txt";
  GLO_KESTROMSGLOG__NAME = log_.string();
  GLO_KESTROMSGLOG__COMPUTER = "TESTPC";
  GLO_USERNAME.Set("");
  rt::testing::PinClock(rt::testing::PinnedMoment{2026, 12, 6, 9, 4, 5, 0});
  rt::SetDialogHost(&dialogs_);
  rt::SetTarget(nullptr);
  InstallMessageHooks();
}

void MessageLogTest::TearDown() {
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  rt::SetDialogHost(nullptr);
  rt::SetTarget(nullptr);
  rt::testing::PinClock(std::nullopt);
}

std::string MessageLogTest::LogText() const { return ReadFile(log_); }

std::string MessageLogTest::Header(const std::string& user) {
  return "Dec 06, 2026 09:04:05 USER:" + user + "  ComputerName:TESTPC ";
}

void MessageLogTest::WriteTwoUsers(bool bob) {
  TitledWindow orders("Orders");
  rt::SetTarget(&orders);
  GLO_USERNAME.Set("Anna");
  dialogs_.Answer(rt::BUTTON_NO);
  rt::MessageBox("Save the\r\norder?", "Attention!", "", "6");
  rt::Stop("Leaving");
  rt::SetTarget(nullptr);
  if (!bob) return;
  rt::testing::PinClock(rt::testing::PinnedMoment{2026, 12, 7, 17, 30, 0, 0});
  TitledWindow customers("Customers, \"big\"");
  rt::SetTarget(&customers);
  GLO_USERNAME.Set("Bob");
  dialogs_.Answer(2);
  rt::MessageBox("Gr\xC3\xBC\xC3\x9F" "e caf\xE9 \xF0\x9F\x98\x80", "Hello", "", "Keep|Drop");
  rt::Stop("Bye, \"all\"");
  rt::SetTarget(nullptr);
}

std::string Fields(const msglog::LogEntry& e) {
  return std::string(msglog::KindName(e.kind)) + "|" + std::to_string(e.moment.Key()) + "|" + e.user + "|" +
         e.computer + "|" + e.windowTitle + "|" + e.title + "|" + e.text + "|" + e.shownButtons + "|" +
         e.pressedButton + (e.clipped ? "|clipped" : "");
}

Process::Process(const std::vector<std::string>& args, const std::filesystem::path& dir, const char* tz,
                 std::filesystem::path out)
    : out_(out.empty() ? dir / "stdout" : out), err_(dir / "stderr") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, out_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  std::vector<std::string> env = {std::string("TZ=") + tz, "PATH=/usr/bin:/bin", "LC_ALL=C"};
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  EXPECT_EQ(posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), envp.data()), 0) << args[0];
  posix_spawn_file_actions_destroy(&actions);
}

Process::~Process() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

Outcome Process::Wait() {
  Outcome run;
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  run.out = std::filesystem::is_regular_file(out_) ? ReadFile(out_) : std::string();  // not /dev/full
  run.err = ReadFile(err_);
  return run;
}

std::string Process::OutputWith(const std::string& needle) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  std::string out;
  while ((out = ReadFile(out_)).find(needle) == std::string::npos && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return out;
}
