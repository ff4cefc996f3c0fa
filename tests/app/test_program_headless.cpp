// The program entry as it starts: run on program thread 1 under the headless backend, with the
// Robot as the user. The greeting must be shown as a lone OK box and logged beside the binary.

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "app/program.h"
#include "msglog/globals.h"
#include "runtime/core/system_props.h"
#include "runtime/platform/platform.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"

namespace {

using namespace std::chrono_literals;

TEST(ProgramEntry, GreetsOnThreadOneAndLogsTheAnswerBesideTheBinary) {
  const std::filesystem::path log =
      std::filesystem::path(rt::platform::ExecutablePath()).parent_path() / "Quibbet_.txt";
  std::filesystem::remove(log);

  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeHeadlessBackend();
  ASSERT_TRUE(backend->Start());
  rt::ui::InstallBackend(backend.get());
  rt::ui::Robot robot(*backend);
  robot.SetFailureHandler([](const std::string& failure) { ADD_FAILURE() << failure; });

  int exitCode = -1;
  std::thread ui([&] { exitCode = backend->RunProgram(&ProgramEntry); });
  const std::optional<rt::ui::ShownMessageBox> greeting = robot.WaitForMessageBox(10s);
  if (greeting) {
    EXPECT_EQ(greeting->thread, 1);
    EXPECT_EQ(greeting->caption, "Start");
    EXPECT_EQ(greeting->text, "Wellcome ...");
    ASSERT_EQ(greeting->buttons.size(), 1u);
    EXPECT_EQ(greeting->buttons[0].value, rt::BUTTON_OK);
    robot.PressButton(*greeting, rt::BUTTON_OK);
  }
  ui.join();
  EXPECT_EQ(exitCode, 0);
  rt::SetSystemProp(rt::PROP_MessageHook, 0);
  rt::SetSystemProp(rt::PROP_StopHook, 0);
  rt::ui::InstallBackend(nullptr);
  backend->Stop();

  EXPECT_EQ(GLO_KESTROMSGLOG__NAME.View(), log.string());
  std::ifstream in(log, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  const std::string entry = text.str();
  const std::regex header(R"([A-Z][a-z]{2} \d{2}, \d{4} \d{2}:\d{2}:\d{2} USER:  ComputerName:[^\r\n]* \r\n)");
  std::smatch match;
  ASSERT_TRUE(std::regex_search(entry, match, header)) << entry;
  EXPECT_EQ(match.position(0), 0);
  EXPECT_EQ(entry.substr(match.length(0)),
            "  MESSAGE:\r\n  WindowTitle=\r\n  MessageTitle=Start\r\n  MessageText=Wellcome ...\r\n"
            "  ShownButtons=OK\r\n  PressedButton=OK\r\n");
  std::filesystem::remove(log);
}

}  // namespace
