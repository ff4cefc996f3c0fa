#pragma once
// Plays the user of the whole demo program under the headless backend: the program on thread 1
// in a fresh current directory, the start-up answered, the log beside the test binary read back.
// Once per process (thread numbers are not reused), as ctest runs each test. Owns the backend,
// the program's thread and the temporary directory.

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "runtime/ui/backend.h"
#include "runtime/ui/headless/headless_backend.h"
#include "tests/support/files.h"

namespace shelltest {

using namespace std::chrono_literals;
inline constexpr std::chrono::seconds kWait = 10s;

inline constexpr char kFrameTitle[] = "Kestro Quibbet demo v1.0 -  Nov/01/2019 - https://quibbet.example";
inline constexpr char kTestTitle[] = "Message Logs Test ...";

// One log entry: the user after "USER:" and the body as msglog composes it (from the CR LF that
// ends the header line on).
struct LogEntry {
  std::string user;
  std::string body;
};

// Text without the blanks a picture pads it with on either side.
std::string Trimmed(std::string_view text);

// Presses the button of that caption in the next message box of program thread 1.
void AnswerOnThread1(rt::ui::Robot& robot, const char* caption);
// Presses `button` and waits until the window has closed.
bool PressToClose(rt::ui::Robot& robot, const rt::ui::ShownWindow& window, rt::Long button);

class ProgramRun {
 public:
  // Starts the program; its log (beside this test binary) is removed first. `prepare` runs in
  // the temporary current directory just before.
  explicit ProgramRun(const std::function<void()>& prepare = {});
  ~ProgramRun();
  ProgramRun(const ProgramRun&) = delete;
  ProgramRun& operator=(const ProgramRun&) = delete;

  rt::ui::Robot& Robot() { return *robot_; }
  const TempDir& Dir() const { return temp_; }
  std::filesystem::path Log() const { return log_; }

  std::optional<rt::ui::ShownWindow> TestWindow();
  // The whole start-up: the frame, the login screen with `name` typed over "DemoUser" (nothing
  // typed when absent) and Accept, the greeting's OK; then the frame and the message test
  // window it opened.
  struct Shell {
    rt::ui::ShownWindow frame;
    rt::ui::ShownWindow test;
  };
  std::optional<Shell> StartUp(const std::optional<std::string>& name = std::nullopt);
  // The start-up, then the message test window closed by its Cancel: the frame serves its menu.
  std::optional<Shell> StartToTheFrame(const std::optional<std::string>& name = std::nullopt);
  // "Exit" from the frame's menu, then waits for the program to end; its exit code.
  int Exit(const rt::ui::ShownWindow& frame);
  int Finish();  // waits for the program to end; its exit code

  std::vector<LogEntry> Entries() const;

 private:

  TempDir temp_;
  std::unique_ptr<ScopedCurrentDirectory> inTemp_;
  std::filesystem::path log_;
  std::unique_ptr<rt::ui::Backend> backend_;
  std::unique_ptr<rt::ui::Robot> robot_;
  std::thread program_;
  int exitCode_ = -1;
  bool finished_ = false;
};

}  // namespace shelltest
