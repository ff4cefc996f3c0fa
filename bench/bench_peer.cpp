// The browse beside the toolkit's stock table in one run, over one keyed file of items (a million
// by default; the count is the first argument): ours is the tests' browse procedure on the Qt
// backend, driven by real key presses (QtUser); theirs is QSqlQueryModel under a QTableView with
// default settings over the same SQLite file. Both show 20 rows on the offscreen platform.
// Steps: open and show the first page; page down 1000 times; jump to the last row; locate the
// middle value; then single page downs in the middle and near the end (the keystroke as a user
// feels it). Each side runs in a process of its own, so that each one's resident memory after
// each step is its own; this process builds the file, runs both and prints the table.
//
//   bench_peer [records [runs]]   both sides in turns (3 runs by default), the medians' table
//   bench_peer --side ours|theirs <directory> <records>   one side, "name value" lines

#include <QApplication>
#include <QHeaderView>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlQueryModel>
#include <QTableView>
#include <QThread>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_data.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/backend.h"
#include "runtime/ui/qt/qt_backend.h"
#include "runtime/ui/qt/qt_look.h"
#include "tests/framework/browse/browse_world.h"
#include "tests/runtime/ui/qt_user.h"

namespace {

using Clock = std::chrono::steady_clock;
using bench_data::ResidentKilobytes;
using Results = std::map<std::string, double>;

constexpr int kVisibleRows = 20;
constexpr int kPageDowns = 1000;
constexpr int kKeystrokes = 20;  // page downs timed one by one at each depth
constexpr auto kPatience = std::chrono::seconds(120);
// Between two looks at our list: looking without pause would keep the Qt thread, which must
// take the key and show the rows, busy answering the looks.
constexpr auto kBetweenLooks = std::chrono::microseconds(200);

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

double Percentile95(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1, values.size() * 95 / 100)];
}

// One step's figures on stdout for the driving process: its time and the memory after it.
void Put(const std::string& name, double value) { std::printf("%s %.6f\n", name.c_str(), value); }
void PutStep(const std::string& step, double ms) {
  Put(step + "_ms", ms);
  Put(step + "_rss_kb", static_cast<double>(ResidentKilobytes()));
}
void PutKeystrokes(const std::string& where, const std::vector<double>& ms) {
  Put("key_" + where + "_median_ms", Median(ms));
  Put("key_" + where + "_p95_ms", Percentile95(ms));
}

// Item n's id, as the items are made (browse_world.cpp): 10, 20, …
long IdOf(long n) { return n * 10; }
// The item 200 before the last: a locate there leaves more than the three pages paged down.
long NearEndId(long records) { return IdOf(records - 200); }

// ---- Ours: the browse procedure on the Qt backend ----

// Digits typed into the list locate the id; the group, the key's first part, follows from it.
// An X starts a new value.
class IdLocator final : public BrowseLocator {
 public:
  explicit IdLocator(browsetest::World*& world) : world_(world) {}
  void Refresh() override {}
  void Reset() override { typed_.clear(); }
  void SetAlerts(rt::Long listControl) override {
    rt::Long slot = 1;
    for (char c = '0'; c <= '9'; ++c) rt::SetProp(listControl, rt::PROP_Alrt, std::to_string(c), slot++);
    rt::SetProp(listControl, rt::PROP_Alrt, std::to_string('X'), slot);
  }
  void SetEnabled(rt::Byte) override {}
  rt::Byte TakeAccepted() override { return 0; }
  rt::Byte TakeKey() override {
    const rt::Long key = rt::Keycode();
    if (key == 'X') {
      typed_.clear();
      return 0;
    }
    if (key < '0' || key > '9' || !world_) return 0;
    typed_ += static_cast<char>(key);
    world_->ITM.ID = std::stol(typed_);
    world_->ITM.GRP = world_->ITM.ID / 1000;
    return 1;
  }
  void UpdateWindow() override {}

 private:
  browsetest::World*& world_;
  std::string typed_;
};

// The list's table in the browse's window (Qt thread); null until shown.
QTableView* BrowseTable() {
  for (QWidget* widget : QApplication::allWidgets()) {
    if (!widget->objectName().startsWith(rt::ui::qt::kWindowNamePrefix) || !widget->isVisible()) continue;
    if (widget->windowTitle() != "Browse Items") continue;
    QWidget* control = widget->findChild<QWidget*>(rt::ui::qt::ControlName(browsetest::kList));
    if (auto* table = control ? control->findChild<QTableView*>() : nullptr) return table;
  }
  return nullptr;
}

long Number(QString text) {
  text.remove(',');
  return text.trimmed().toLong();
}

// The ids the list shows, read on the Qt thread.
std::vector<long> ShownIds(rt::ui::QtUser& user) {
  std::vector<long> ids;
  user.OnQt([&] {
    QTableView* table = BrowseTable();
    if (!table || !table->model()) return;
    for (int r = 0; r < table->model()->rowCount(); ++r) ids.push_back(Number(table->model()->index(r, 0).data().toString()));
  });
  return ids;
}

// Stamps, on the Qt thread where they happen, the moments the open is seen: the browse's window
// shown, and the first paint of its list with the first row in it. Looking from the script
// thread would be a round trip the Qt thread must answer while it builds the window, which
// the stock table, timed on its own thread, does not pay.
class OpenWatch final : public QObject {
 public:
  explicit OpenWatch(long firstId) : firstId_(firstId) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    const auto now = Clock::now().time_since_epoch().count();
    if (event->type() == QEvent::Show && shown_ == 0 && IsBrowseWindow(watched)) shown_ = now;
    if (event->type() == QEvent::Paint && painted_ == 0 && ShowsFirstRow(watched)) painted_ = now;
    return false;
  }
  // Zero until seen.
  Clock::rep Shown() const { return shown_; }
  Clock::rep Painted() const { return painted_; }

 private:
  static bool IsBrowseWindow(QObject* watched) {
    const auto* widget = qobject_cast<QWidget*>(watched);
    return widget && widget->objectName().startsWith(rt::ui::qt::kWindowNamePrefix) &&
           widget->windowTitle() == "Browse Items";
  }
  // A paint of the list's viewport once its first row is the first item (the rows drawn now).
  bool ShowsFirstRow(QObject* watched) const {
    const auto* widget = qobject_cast<QWidget*>(watched);
    auto* table = widget ? qobject_cast<QTableView*>(widget->parentWidget()) : nullptr;
    if (!table || widget != table->viewport() || table != BrowseTable() || !table->model()) return false;
    return table->model()->rowCount() > 0 && Number(table->model()->index(0, 0).data().toString()) == firstId_;
  }

  long firstId_;
  std::atomic<Clock::rep> shown_{0}, painted_{0};
};

class OursScript {
 public:
  OursScript(rt::ui::QtUser& user, long records, Clock::time_point started)
      : user_(user), records_(records), started_(started) {}

  void operator()() {
    // The filter lives on the Qt thread while it watches (Qt calls only filters of its thread).
    OpenWatch watch(IdOf(1));
    QThread* const here = QThread::currentThread();
    watch.moveToThread(qApp->thread());
    user_.OnQt([&] { qApp->installEventFilter(&watch); });
    while (watch.Painted() == 0 && Clock::now() < started_ + kPatience) std::this_thread::sleep_for(kBetweenLooks);
    user_.OnQt([&] {
      qApp->removeEventFilter(&watch);
      watch.moveToThread(here);
    });
    const auto since = [&](Clock::rep stamp) {
      return stamp == 0 ? -1.0 : Milliseconds(Clock::time_point(Clock::duration(stamp)) - started_);
    };
    Put("window_shown_ms", since(watch.Shown()));
    if (!WaitFor([](const std::vector<long>& ids) { return !ids.empty() && ids.front() == IdOf(1); })) return;
    PutStep("open", since(watch.Painted()));
    Put("shown_rows", static_cast<double>(ShownIds(user_).size()));
    user_.WaitForWindow("Browse Items");

    std::vector<double> keys;
    const auto paged = Clock::now();
    for (int i = 1; i <= kPageDowns; ++i) keys.push_back(PageDown());
    PutStep("page_down_1000", Milliseconds(Clock::now() - paged));
    PutKeystrokes("start", keys);
    Put("first_id_after_paging", static_cast<double>(ShownIds(user_).front()));

    const auto ended = Clock::now();
    Press(Qt::Key_End);
    WaitFor([&](const std::vector<long>& ids) { return !ids.empty() && ids.back() == IdOf(records_); });
    PutStep("end", Milliseconds(Clock::now() - ended));

    const long middle = IdOf(records_ / 2);
    PutStep("locate", Milliseconds(Locate(middle)));
    PutKeystrokes("middle", PageDowns());
    Locate(NearEndId(records_));
    PutKeystrokes("end", PageDowns(3));
  }

 private:
  void Press(Qt::Key key) {
    user_.OnQt([&] {
      if (QTableView* table = BrowseTable()) QTest::keyClick(table, key);
    });
  }
  // Until the list shows what `done` wants, reading it as fast as the Qt thread answers.
  bool WaitFor(const std::function<bool(const std::vector<long>&)>& done, Clock::duration patience = kPatience) {
    const auto deadline = Clock::now() + patience;
    while (Clock::now() < deadline) {
      if (done(ShownIds(user_))) return true;
      std::this_thread::sleep_for(kBetweenLooks);
    }
    std::fprintf(stderr, "ours: the list did not show what was waited for\n");
    return false;
  }
  // One PageDown, timed from the press to the list showing other rows.
  double PageDown() {
    const long first = ShownIds(user_).front();
    const auto start = Clock::now();
    Press(Qt::Key_PageDown);
    // A file too small for the pages asked ends them: the last page stays.
    WaitFor([&](const std::vector<long>& ids) { return !ids.empty() && ids.front() != first; }, std::chrono::seconds(2));
    return Milliseconds(Clock::now() - start);
  }
  std::vector<double> PageDowns(int count = kKeystrokes) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) ms.push_back(PageDown());
    return ms;
  }
  // Types the id into the list, a digit at a time as a user would; timed to the list showing it.
  Clock::duration Locate(long id) {
    const auto start = Clock::now();
    Press(Qt::Key_X);
    for (const char digit : std::to_string(id)) Press(static_cast<Qt::Key>(digit));
    WaitFor([&](const std::vector<long>& ids) { return std::find(ids.begin(), ids.end(), id) != ids.end(); });
    return Clock::now() - start;
  }

  rt::ui::QtUser& user_;
  long records_;
  Clock::time_point started_;
};

int RunOurs(int& argc, char** argv, const std::string& directory, long records) {
  const auto started = Clock::now();
  std::unique_ptr<rt::ui::Backend> backend = rt::ui::MakeQtBackend(argc, argv);
  if (!backend->Start()) return 1;
  Put("qt_started_ms", Milliseconds(Clock::now() - started));
  rt::ui::InstallBackend(backend.get());
  rt::ui::QtUser user;
  rt::ui::Recorder log;
  browsetest::Outcome outcome;
  browsetest::World* world = nullptr;
  IdLocator locator(world);
  browsetest::BrowseSpec spec;
  spec.directory = directory;
  spec.setUp = [&](browsetest::World& w, BrowseClass& browse) {
    world = &w;
    browse.AddLocator(locator);
    rt::SetProp(browsetest::kList, rt::PROP_Height, std::to_string(kVisibleRows * 10 + 10));  // a row is 10 units, the heading one more
  };
  const int exitCode = rt::ui::PlayProgram<rt::ui::QtUser>(
      *backend, user, [&] { browsetest::RunBrowse(spec, log, outcome); },
      [&](rt::ui::QtUser& u) { OursScript(u, records, started)(); });
  rt::ui::InstallBackend(nullptr);
  backend->Stop();
  return exitCode;
}

// ---- Theirs: the stock model and view ----

class TheirTable {
 public:
  // `start`: when the process began to make its application object.
  TheirTable(const std::string& directory, long records, Clock::time_point start) : records_(records) {
    QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE");
    db.setDatabaseName(QString::fromStdString(directory + "/item.db"));
    db.open();
    model_.setQuery(QSqlQuery("SELECT ID, NAME FROM Item", db));  // the file's order: the ids'
    view_.setModel(&model_);
    view_.resize(400, view_.horizontalHeader()->sizeHint().height() + kVisibleRows * view_.verticalHeader()->defaultSectionSize() +
                          2 * view_.frameWidth());
    view_.show();
    view_.setFocus();
    view_.setCurrentIndex(model_.index(0, 0));
    Settle();
    PutStep("open", Milliseconds(Clock::now() - start));
    Put("shown_rows", view_.rowAt(view_.viewport()->height() - 1) - view_.rowAt(0) + 1);
  }

  void Run() {
    std::vector<double> keys;
    const auto paged = Clock::now();
    for (int i = 0; i < kPageDowns; ++i) keys.push_back(PageDown());
    PutStep("page_down_1000", Milliseconds(Clock::now() - paged));
    PutKeystrokes("start", keys);
    Put("rows_fetched_after_paging", model_.rowCount());
    Put("first_id_after_paging", model_.index(view_.rowAt(0), 0).data().toDouble());

    // The last row: the model knows only the rows fetched so far, so everything is fetched first.
    const auto ended = Clock::now();
    while (model_.canFetchMore()) model_.fetchMore();
    view_.setCurrentIndex(model_.index(model_.rowCount() - 1, 0));
    Settle();
    PutStep("end", Milliseconds(Clock::now() - ended));
    Put("rows_fetched_after_end", model_.rowCount());

    PutStep("locate", Milliseconds(Locate(IdOf(records_ / 2))));
    PutKeystrokes("middle", PageDowns(kKeystrokes));
    Locate(NearEndId(records_));
    PutKeystrokes("end", PageDowns(3));
  }

 private:
  void Settle() {
    QCoreApplication::processEvents();
    view_.viewport()->repaint();
  }
  double PageDown() {
    const auto start = Clock::now();
    QTest::keyClick(&view_, Qt::Key_PageDown);
    Settle();
    return Milliseconds(Clock::now() - start);
  }
  std::vector<double> PageDowns(int count) {
    std::vector<double> ms;
    for (int i = 0; i < count; ++i) ms.push_back(PageDown());
    return ms;
  }
  Clock::duration Locate(long id) {
    const auto start = Clock::now();
    const QModelIndexList found = model_.match(model_.index(0, 0), Qt::DisplayRole, QVariant::fromValue<qlonglong>(id), 1,
                                               Qt::MatchExactly);
    if (found.isEmpty()) std::fprintf(stderr, "theirs: %ld not found\n", id);
    else {
      view_.setCurrentIndex(found.front());
      view_.scrollTo(found.front(), QAbstractItemView::PositionAtTop);
    }
    Settle();
    return Clock::now() - start;
  }

  long records_;
  QSqlQueryModel model_;
  QTableView view_;
};

int RunTheirs(int& argc, char** argv, const std::string& directory, long records) {
  const auto started = Clock::now();
  QApplication app(argc, argv);
  Put("qt_started_ms", Milliseconds(Clock::now() - started));
  {
    TheirTable table(directory, records, started);
    table.Run();
  }
  QSqlDatabase::removeDatabase(QSqlDatabase::defaultConnection);
  return 0;
}

// ---- The driving process ----

struct PipeCloser {
  void operator()(FILE* pipe) const { pclose(pipe); }
};

// Runs this program for one side and reads its "name value" lines.
Results RunSide(const std::string& self, const std::string& side, const std::string& directory, long records) {
  const std::string command = "'" + self + "' --side " + side + " '" + directory + "' " + std::to_string(records);
  std::unique_ptr<FILE, PipeCloser> pipe(popen(command.c_str(), "r"));
  Results results;
  if (!pipe) return results;
  char name[128];
  double value = 0;
  while (std::fscanf(pipe.get(), "%127s %lf", name, &value) == 2) results[name] = value;
  return results;
}

void Row(const char* label, const Results& ours, const Results& theirs, const std::string& key, const char* unit) {
  const auto take = [&](const Results& r) { return r.count(key) ? r.at(key) : -1.0; };
  const double o = take(ours), t = take(theirs);
  std::printf("%-34s %14.3f %14.3f %10.3f   %s\n", label, o, t, t > 0 ? o / t : 0, unit);
}

void PrintTable(long records, double buildSeconds, const Results& ours, const Results& theirs) {
  std::printf(": %ld records (file built in %.1f s); ours: the browse on the Qt backend; theirs: QSqlQueryModel + QTableView\n",
              records, buildSeconds);
  std::printf("%-34s %14s %14s %10s\n", "", "ours", "theirs", "ours/theirs");
  Row("  of open: the application object", ours, theirs, "qt_started_ms", "ms");
  Row("  of open: the window shown", ours, theirs, "window_shown_ms", "ms");
  for (const char* step : {"open", "page_down_1000", "end", "locate"}) {
    Row(step, ours, theirs, std::string(step) + "_ms", "ms");
    Row((std::string("  rss after ") + step).c_str(), ours, theirs, std::string(step) + "_rss_kb", "kB");
  }
  for (const char* where : {"start", "middle", "end"}) {
    Row((std::string("PageDown at ") + where + ", median").c_str(), ours, theirs, std::string("key_") + where + "_median_ms", "ms");
    Row((std::string("PageDown at ") + where + ", p95").c_str(), ours, theirs, std::string("key_") + where + "_p95_ms", "ms");
  }
  Row("rows shown", ours, theirs, "shown_rows", "");
  Row("first id shown after paging", ours, theirs, "first_id_after_paging", "");
  Row("rows fetched after paging", ours, theirs, "rows_fetched_after_paging", "");
  Row("rows fetched after end", ours, theirs, "rows_fetched_after_end", "");
}

// Each figure's median over the runs that reported it.
Results Medians(const std::vector<Results>& runs) {
  std::map<std::string, std::vector<double>> values;
  for (const Results& run : runs)
    for (const auto& [name, value] : run) values[name].push_back(value);
  Results medians;
  for (const auto& [name, all] : values) medians[name] = Median(all);
  return medians;
}

int Drive(const std::string& self, long records, int runs) {
  bench_data::ScratchDirectory scratch("quibbet_bench_peer");
  const auto start = Clock::now();
  browsetest::BuildItems(scratch.Path().string(), true, static_cast<int>(records));
  const double buildSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  std::vector<Results> ours, theirs;
  for (int run = 0; run < runs; ++run) {  // in turns, so that a busy spell of the machine hits both
    ours.push_back(RunSide(self, "ours", scratch.Path().string(), records));
    theirs.push_back(RunSide(self, "theirs", scratch.Path().string(), records));
  }
  std::printf("\nopen, each run (ms), ours/theirs:");
  for (int run = 0; run < runs; ++run) std::printf(" %.1f/%.1f", ours[run]["open_ms"], theirs[run]["open_ms"]);
  std::printf("\nmedians of %d runs of each side", runs);
  PrintTable(records, buildSeconds, Medians(ours), Medians(theirs));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--side") {
    const std::string side = argv[2], directory = argv[3];
    const long records = std::atol(argv[4]);
    int qtArgc = 1;
    return side == "ours" ? RunOurs(qtArgc, argv, directory, records) : RunTheirs(qtArgc, argv, directory, records);
  }
  const long records = argc > 1 ? std::atol(argv[1]) : 1000000;
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  return Drive(std::filesystem::read_symlink("/proc/self/exe").string(), records, runs);
}
