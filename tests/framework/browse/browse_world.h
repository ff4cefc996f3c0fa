#pragma once
// A browse procedure of the tests' own over an item file (keyed by group and id and by name, or
// without keys), on a program thread, with the usual buttons, a locator entry, the toolbar's
// navigation and an update procedure each test scripts. Shared by the browse and edit-in-place
// tests, headless and on Qt. The window and every data object live on the browse's thread.

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "framework/browse/browse_class.h"
#include "framework/query/query_class.h"
#include "runtime/core/assert.h"
#include "runtime/data/queue.h"
#include "runtime/data/view.h"
#include "runtime/ui/queue_list_source.h"
#include "tests/framework/data/data_fixture.h"
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

// Item n (1-based) of `count`: ids 10, 20, … in groups of 1000 ids, names in another order than
// the ids; items count-1 and count are named with quotes. Written by BuildItems, the file
// without keys in another order than the ids; Ordered gives them as the browse orders them.
ITM_Record MakeItem(int n, int count);
void BuildItems(const std::string& directory, bool keyed, int count);
enum class Order { RecordOrder, ById, ByName };
std::vector<ITM_Record> Ordered(bool keyed, int count, Order order);

enum : rt::Long { kList = 1, kInsert, kChange, kDelete, kView, kSelect, kClose, kLocate, kQuery, kQueryResult };
inline constexpr int kPageRows = 10;
// Controls made while the window is open (edit in place) come after the declared ones.
inline constexpr rt::Long kFirstMadeControl = kLocate + 1;

struct World;
// Runs in place of the update form (request, call number from 1) and returns the response.
using UpdateScript = std::function<rt::Byte(World& world, rt::Byte request, int call)>;

struct BrowseSpec {
  std::string directory{};
  bool keyed = true;
  Order order = Order::ById;
  rt::Byte request = 0;  // the browse window's Request
  bool step = true;      // the order gets the base StepClass
  bool locator = false;  // the order gets a locator: typed letters and digits find the name
  std::string filter{};
  rt::Long rangeGroup = 0;  // non-zero: the id order limited to this group
  // Set: query by example over the name, whose dialog "types" this each time it is asked.
  std::optional<std::string> queryTyped{};
  ITM_Record before{};  // the primary record when the procedure starts
  UpdateScript update{};
  // Runs last in the procedure's Init, before the alerts are set: a test's own settings.
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

struct Outcome {
  rt::Byte response = 0;
  ITM_Record record;  // the primary record when the procedure ended
};

// Runs the browse on the calling program thread until its window closes; `log` gets an
// "Insert 140"-style line for each update call.
void RunBrowse(const BrowseSpec& spec, rt::ui::Recorder& log, Outcome& outcome);

// The fixture: the browse on a program thread, the Robot as its user, and no assertion report
// or unanswered question left at the end.
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
    rt::Start([this] { RunBrowse(spec_, log_, outcome_); });
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

// Another station (a thread and file instance of its own) opens the keyed file in `directory`
// and does `act` to it; with `id`, to that item read first.
void Elsewhere(const std::string& directory, const std::function<void(rt::File&, ITM_Record&)>& act, rt::Long id = 0);
// Every item of the keyed file in `directory`: id -> name.
std::map<rt::Long, std::string> ItemsInFile(const std::string& directory);
std::string Trim(std::string text);

}  // namespace browsetest
