#pragma once
// The update form's scenarios, over the local keyed file or a table on a server: the whole
// program under the headless backend, UpdateAFile on a thread of its own as the browse calls it,
// another copy of the program (tests/app/other_station) at another desk, and the data file and
// log read back once the program has ended. Owns the program run of one test.

#include <gtest/gtest.h>

#include <functional>
#include <future>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/afile_record.h"
#include "runtime/core/types.h"
#include "tests/app/shell_user.h"

namespace updateform {

using Strings = std::vector<std::string>;

enum : rt::Long { kId = 4, kAstring = 6, kAdecimal = 8, kAdate = 10, kAtime = 12, kOk = 13, kCancel = 14 };
inline constexpr rt::Long kEntries[] = {kId, kAstring, kAdecimal, kAdate, kAtime};

// The caller's window stands where the browse's does: messages raised before the form opens
// carry its title.
inline constexpr char kCallerTitle[] = "Browse the AFile file";
inline constexpr char kAdded[] = "Record Will Be Added";
inline constexpr char kChanged[] = "Record Will Be Changed";

using shelltest::Trimmed;
// One stored record as the form's pictures show it: "ID|ASTRING|ADECIMAL|ADATE|ATIME".
std::string Shown(AFI_Record& record);
// The other desk's copy of the program, run in the current directory; its exit code (0: done).
int OtherStation(const std::string& arguments);

struct Outcome {
  rt::Byte response = 0;
  std::string record;  // the thread's AFile record after the form, as Shown
};

// Starts the program in SetUp: Prepare, then the seed added by the other station, then the
// start-up with the message test window closed.
class UpdateForm : public ::testing::Test {
 protected:
  explicit UpdateForm(Strings seed = {}) : seed_(std::move(seed)) {}

  void SetUp() override;
  // Runs in the program's temporary current directory before anything else.
  virtual void Prepare() {}

  rt::ui::Robot& Robot() { return run_->Robot(); }

  // UpdateAFile on a thread of its own, as the browse calls it: the caller's window open, the
  // record with `id` read (an insert primes an empty one), `beforeForm` run, the request set.
  std::future<Outcome> Call(rt::Byte request, rt::Long id = 0, std::function<void()> beforeForm = {});
  // What the call left once it returned; a call still running after the wait fails the test.
  Outcome Result(std::future<Outcome>& outcome);
  rt::ui::ShownWindow Form(const char* title);
  // Types each value into its entry (in the order of kEntries; nullptr leaves one alone).
  void Fill(const rt::ui::ShownWindow& form, const std::vector<const char*>& values);
  Strings ShownEntries(const rt::ui::ShownWindow& form);
  // Answers the next message box after checking its caption.
  void Answer(const char* caption, rt::Long button);
  // Ends the program and reads what it left: the data file's records (file order) and the log
  // entries after the greeting.
  void Finish();

  Strings seed_;
  std::optional<shelltest::ProgramRun> run_;
  std::optional<shelltest::ProgramRun::Shell> shell_;
  Strings stored_;
  Strings logged_;
};

// Record 1 stored by the other desk before the program starts. A save failing and tried again
// is the window manager's test.
class OtherStationForm : public UpdateForm {
 protected:
  OtherStationForm() : UpdateForm({"1 one 1.50 6/15/2025 08:30"}) {}

  // Changed between the form's read and its save: the save is refused (8), the form shows
  // their version, Ctrl+H brings back each value typed here, and the second save keeps both.
  void ChangedWhileTheFormIsOpen();};

}  // namespace updateform
