#include "tests/app/shell_user.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/globals.h"
#include "app/program.h"
#include "msglog/log_reader.h"
#include "runtime/core/dialogs.h"
#include "runtime/core/system_props.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/events.h"

namespace shelltest {

namespace fs = std::filesystem;

std::string Trimmed(std::string_view text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(' ') - first + 1));
}
using rt::ui::ShownWindow;

namespace {
constexpr rt::Long kUserNameEntry = 2;
constexpr rt::Long kAcceptButton = 3;
constexpr rt::Long kTestCancel = 9;  // the message test window's Cancel
}  // namespace

ProgramRun::ProgramRun(const std::function<void()>& prepare)
    : log_(fs::path(rt::platform::ExecutablePath()).parent_path() / "Quibbet_.txt") {
  // The program is thread 1 only in a fresh process, as it is when ctest runs each test alone.
  static int runs = 0;
  if (++runs > 1) ADD_FAILURE() << "the program runs once per process: run one test at a time (as ctest does)";
  ::setenv("XDG_CONFIG_HOME", (temp_ / "config").c_str(), 1);
  inTemp_ = std::make_unique<ScopedCurrentDirectory>(temp_.Path());
  fs::remove(log_);
  if (prepare) prepare();
  ProcessAttach();
  backend_ = rt::ui::MakeHeadlessBackend();
  if (!backend_->Start()) {
    ADD_FAILURE() << "the headless backend did not start";
    finished_ = true;
    return;
  }
  rt::ui::InstallBackend(backend_.get());
  robot_ = std::make_unique<rt::ui::Robot>(*backend_);
  robot_->SetFailureHandler([](const std::string& failure) { ADD_FAILURE() << failure; });
  program_ = std::thread([this] { exitCode_ = backend_->RunProgram(&ProgramEntry); });
}

ProgramRun::~ProgramRun() {
  Finish();
  fs::remove(log_);
}

int ProgramRun::Finish() {
  if (finished_) return exitCode_;
  finished_ = true;
  program_.join();
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  rt::ui::InstallBackend(nullptr);
  backend_->Stop();
  return exitCode_;
}

std::optional<ShownWindow> ProgramRun::TestWindow() { return robot_->WaitForWindow(kTestTitle, kWait, 1); }

std::optional<ProgramRun::Shell> ProgramRun::StartUp(const std::optional<std::string>& name) {
  const std::optional<ShownWindow> frame = robot_->WaitForWindow(kFrameTitle, kWait, 1);
  const std::optional<ShownWindow> login = robot_->WaitForWindow("Login", kWait, 1);
  if (!frame || !login || (name && !robot_->TypeInto(*login, kUserNameEntry, *name)) || !PressToClose(*robot_, *login, kAcceptButton))
    return std::nullopt;
  const std::optional<rt::ui::ShownMessageBox> greeting = robot_->WaitForMessageBox(kWait, 1);
  if (!greeting) return std::nullopt;
  EXPECT_EQ(greeting->caption + " " + greeting->text, "Start Wellcome ...");
  EXPECT_EQ(greeting->buttons.size(), 1u);
  const std::optional<ShownWindow> test = robot_->PressButton(*greeting, rt::BUTTON_OK) ? TestWindow() : std::nullopt;
  if (!test) return std::nullopt;
  return Shell{*frame, *test};
}

std::optional<ProgramRun::Shell> ProgramRun::StartToTheFrame(const std::optional<std::string>& name) {
  std::optional<Shell> shell = StartUp(name);
  if (!shell || !PressToClose(*robot_, shell->test, kTestCancel)) return std::nullopt;
  return shell;
}

void AnswerOnThread1(rt::ui::Robot& robot, const char* caption) {
  if (const auto box = robot.WaitForMessageBox(kWait, 1)) robot.PressCaption(*box, caption);
}

bool PressToClose(rt::ui::Robot& robot, const ShownWindow& window, rt::Long button) {
  return robot.Press(window, button) && robot.WaitForWindowClosed(window, kWait);
}

int ProgramRun::Exit(const ShownWindow& frame) {
  robot_->ChooseMenu(frame, "Browse|Exit");
  return Finish();
}

std::vector<LogEntry> ProgramRun::Entries() const {
  std::vector<LogEntry> entries;
  msglog::LogReader reader;
  msglog::EntryView view;
  if (reader.Open(log_.string()) != 0) return entries;
  for (bool more = true; more;) {
    more = reader.Next(view) == msglog::LogReader::Result::Entry;
    if (!more && !reader.TakeTail(view)) break;
    EXPECT_NE(view.kind, msglog::EntryKind::Damaged) << view.damage << ": " << view.raw;
    const std::size_t body = view.raw.find("\r\n");
    entries.push_back({std::string(view.user), std::string(view.raw.substr(body, view.raw.size() - 2 - body))});
  }
  return entries;
}

}  // namespace shelltest
