#pragma once
// A browse procedure of the tests' own over an item file (keyed by group and id and by name
// without case, or without keys and read in record order), with a list, the usual buttons, a
// locator entry and the toolbar's navigation buttons, and an update procedure each test
// scripts. Shared by the headless scenario tests and the Qt offscreen test. The window and
// every data object live on the browse's program thread; the test reads what it shows through
// the Robot and what it did through a Recorder.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "framework/browse/browse_class.h"
#include "framework/error/error_class.h"
#include "framework/query/query_class.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "runtime/core/fixed_string.h"
#include "runtime/data/file.h"
#include "runtime/data/queue.h"
#include "runtime/data/view.h"
#include "runtime/ui/headless/headless_backend.h"
#include "runtime/ui/queue_list_source.h"
#include "runtime/ui/window.h"
#include "tests/framework/data/data_fixture.h"
#include "runtime/core/assert.h"
#include "tests/runtime/ui/robot_fixture.h"
#include "tests/support/files.h"

namespace browsetest {

struct ITM_Record {
  rt::Long GRP = 0;
  rt::Long ID = 0;
  rt::FixedString<20> NAME;
};
struct ROW_Record {
  rt::Long ID = 0;
  rt::FixedString<20> NAME;
  rt::FixedString<1024> POS;  // the row's view position
};

const rt::RecordLayout& ItemLayout();
rt::FileDecl ItemDecl(const std::string& directory, bool keyed);

// Item n (1-based) of a file of `count`: ids 10, 20, … in groups of 1000 ids, names in another
// order than the ids. Item count-1 and count are named with quotes.
ITM_Record MakeItem(int n, int count);
// Writes `count` items; the file without keys gets them in another order than their ids.
void BuildItems(const std::string& directory, bool keyed, int count);
// The items as the browse orders them.
enum class Order { RecordOrder, ById, ByName };
std::vector<ITM_Record> Ordered(bool keyed, int count, Order order);

enum : rt::Long { kList = 1, kInsert, kChange, kDelete, kView, kSelect, kClose, kLocate, kQuery, kQueryResult };
inline constexpr int kPageRows = 10;

// What the update procedure is asked, and what it did: the request, the record it was given.
struct UpdateCall {
  rt::Byte request;
  rt::Long id;
};
struct World;
// Runs in place of the update form: acts on World's file and returns the response.
using UpdateScript = std::function<rt::Byte(World& world, const UpdateCall& call, int callNumber)>;

struct BrowseSpec {
  std::string directory{};
  bool keyed = true;
  Order order = Order::ById;
  rt::Byte request = 0;  // the browse window's Request
  bool step = true;      // the order gets the base StepClass
  bool locator = false;  // the order gets the test's locator
  bool editViaPopup = true;
  bool allowUnfilled = false;
  std::string filter{};
  rt::Long rangeGroup = 0;  // non-zero: the id order limited to this group
  // Set: the browse offers query by example over the name; the query's dialog "types" this
  // into the name's value each time it is asked.
  std::optional<std::string> queryTyped{};
  ITM_Record before{};      // the primary record when the procedure starts
  UpdateScript update{};
  // Runs last in the procedure's Init, before the alerts are set: a test's own settings (edit
  // in place, for one).
  std::function<void(World& world, BrowseClass& browse)> setUp{};
};

// The procedure's data, built and destroyed on its thread.
struct World {
  explicit World(const BrowseSpec& spec);
  ~World();
  ErrorClass errors;
  rt::FileDecl decl;
  ITM_Record ITM;
  rt::File file;
  testdict::TestAccess access;
  testdict::TestRelate relate;
  rt::View view;
  rt::QueueOf<ROW_Record> rows;
  rt::QueueListSource source;
  rt::Long vcr = 0;
};

// The query's dialog, played: it fills the name's value and says a query was taken.
class TypedQuery final : public QueryClass {
 public:
  explicit TypedQuery(std::string typed) : typed_(std::move(typed)) {}
  bool Ask(bool) override {
    SetValues("ITM:NAME", typed_);
    return true;
  }

 private:
  std::string typed_;
};

// What the procedure left when it ended.
struct Outcome {
  rt::Byte response = 0;
  ITM_Record record;  // the primary record after the window closed
};

// Runs the browse on the calling program thread until its window closes.
void RunBrowse(const BrowseSpec& spec, rt::ui::Recorder& log, Outcome& outcome);
// Runs the browse on a new program thread; `log` gets "Insert 140"-style lines for each update
// call, `outcome` the result once the thread has ended.
void StartBrowse(const BrowseSpec& spec, rt::ui::Recorder& log, Outcome& outcome);

// The scenario tests' fixture: the browse on a program thread, the Robot as its user, and no
// assertion report or unanswered question left at the end.
class BrowseFixture : public rt::ui::RobotFixture {
 protected:
  void SetUp() override {
    RobotFixture::SetUp();
    rt::testing::ClearAssertionMessages();
  }
  void TearDown() override {
    if (robot_.IsOpen(window_)) robot_.Press(window_, kClose);
    EXPECT_EQ(robot_.UnansweredCount(), 0u) << "a question nobody expected";
    RobotFixture::TearDown();
    EXPECT_TRUE(rt::testing::AssertionMessages().empty()) << rt::testing::AssertionMessages().front();
  }
  // Starts the browse over the file in dir_; window_ is its window once it shows.
  void Start(BrowseSpec spec) {
    spec.directory = dir_.Path().string();
    spec_ = std::move(spec);
    StartBrowse(spec_, log_, outcome_);
    window_ = Find("Browse Items");
  }
  // The ids the list shows (its first column, without the thousands separators).
  std::vector<rt::Long> ShownIds() {
    std::vector<rt::Long> ids;
    for (auto row : robot_.ListRows(window_, kList)) {
      std::erase(row.at(0), ',');
      ids.push_back(std::stol(row.at(0)));
    }
    return ids;
  }

  TempDir dir_;
  BrowseSpec spec_;
  rt::ui::Recorder log_;
  Outcome outcome_;
  rt::ui::ShownWindow window_;
};

// Controls made while the window is open (edit in place) come after the declared ones.
inline constexpr rt::Long kFirstMadeControl = kLocate + 1;
// Every item of the keyed file in `directory`: id -> name.
std::map<rt::Long, std::string> ItemsInFile(const std::string& directory);
// Another station (a thread and file instance of its own) reads item `id` and does `act` to it.
void Elsewhere(const std::string& directory, rt::Long id, const std::function<void(rt::File&, ITM_Record&)>& act);
std::string Trim(std::string text);

}  // namespace browsetest
