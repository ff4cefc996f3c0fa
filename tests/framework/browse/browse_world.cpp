#include "tests/framework/browse/browse_world.h"

#include <algorithm>
#include <strings.h>
#include <cstdio>
#include <thread>

#include "framework/data/file_manager.h"
#include "framework/error/levels.h"
#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"
#include "runtime/ui/accept_loop.h"
#include "framework/window/toolbar.h"
#include "framework/window/window_manager.h"
#include "runtime/ui/window.h"

namespace browsetest {

namespace {

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForBrowseTests"};

const rt::RecordLayout& RowLayout() {
  static const rt::RecordLayout layout(sizeof(ROW_Record), {rt::LayoutField("ROW:ID", &ROW_Record::ID),
                                                           rt::LayoutField("ROW:NAME", &ROW_Record::NAME),
                                                           rt::LayoutField("ROW:POS", &ROW_Record::POS)});
  return layout;
}

// Types into the list: letters and digits go to the order's name, which the view then finds.
class TypedLocator final : public BrowseLocator {
 public:
  TypedLocator(rt::FieldRef freeElement, rt::FieldRef entry) : free_(freeElement), entry_(entry) {}
  void Refresh() override {}
  void Reset() override { typed_.clear(); }
  void SetAlerts(rt::Long listControl) override {
    rt::Long slot = 1;
    for (const char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789")) rt::SetProp(listControl, rt::PROP_Alrt, std::to_string(c), slot++);
  }
  void SetEnabled(rt::Byte) override {}
  rt::Byte TakeAccepted() override {
    free_.Assign(entry_);
    return 1;
  }
  rt::Byte TakeKey() override {
    const rt::Long key = rt::Keycode();
    if (!((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9'))) return 0;
    typed_ += static_cast<char>(key);
    free_.SetText(typed_);
    return 1;
  }
  void UpdateWindow() override {}

 private:
  rt::FieldRef free_;
  rt::FieldRef entry_;
  std::string typed_;
};

// The browse's toolbar target: navigation buttons scroll the list.
class ListTarget final : public ToolbarTarget {
 public:
  explicit ListTarget(BrowseClass& browse) : browse_(browse) {}
  void DisplayButtons() override {}
  void TakeToolbar() override {}
  rt::Byte IsActive() override { return 1; }
  void TakeEvent(rt::Long&, WindowManager*) override { browse_.TakeVCRScroll(rt::Accepted()); }

 private:
  BrowseClass& browse_;
};

rt::WindowDef BrowseDef(rt::FixedString<20>& locateText) {
  rt::WindowDef def;
  def.title = "Browse Items";
  def.width = 260;
  def.height = 190;
  def.Add(rt::ControlDef::List("60R(2)|M~ID~C(0)@n-14@80L(2)|M~Name~L(2)@s20@").VScroll().At(5, 5, 180, 110));  // heading + 10 rows
  for (int i = 0; const char* text : {"&Insert", "&Change", "&Delete", "&View", "&Select"})
    def.Add(rt::ControlDef::Button(text).At(5 + 45 * i++, 150, 40, 14));
  def.Add(rt::ControlDef::Button("Close").At(215, 170, 40, 14));
  def.Add(rt::ControlDef::Entry("@s20", rt::Bind(locateText)).At(5, 120, 100, 10));
  def.Add(rt::ControlDef::Button("&Query").At(110, 120, 40, 14));
  def.Add(rt::ControlDef::String("").At(5, 135, 250, 10));
  for (const rt::Long button : {ToolbarButton::Insert, ToolbarButton::Bottom, ToolbarButton::Top, ToolbarButton::PageDown,
                                ToolbarButton::PageUp, ToolbarButton::Down, ToolbarButton::Up})
    def.Add(rt::ControlDef::Button(std::to_string(button)).Toolbar(button));
  return def;
}

class BrowseProcedure final : public WindowManager {
 public:
  BrowseProcedure(World& world, const BrowseSpec& spec, rt::ui::Recorder& log)
      : world_(world), spec_(spec), log_(log), window_(BrowseDef(locateText_)), target_(browse_),
        locator_(world.ITM.NAME, locateText_) {}

  rt::Byte Init() override {
    Request = spec_.request;
    if (const rt::Byte level = WindowManager::Init()) return level;
    FirstField = kList;
    VCRRequest = &world_.vcr;
    Errors = &world_.errors;
    AddItem(toolbar_);
    toolbar_.AddTarget(kList, target_);
    AddItem(kClose, Request == Request::Select ? Response::Cancelled : Response::Completed);
    world_.relate.Open();
    FilesOpened = 1;
    browse_.UsePopup = 1;
    browse_.EditViaPopup = 1;
    browse_.Init(kList, world_.rows.Rec().POS, world_.view, world_.rows.Q(), world_.relate, *this);
    Open(window_);
    window_.SetListSource(kList, &world_.source);
    const std::size_t key = !spec_.keyed || spec_.order == Order::RecordOrder ? 0 : spec_.order == Order::ById ? 1 : 2;
    browse_.AddSortOrder(spec_.step ? &step_ : nullptr, key);
    if (spec_.locator) browse_.AddLocator(locator_);
    if (spec_.rangeGroup) {
      rangeLimit_ = spec_.rangeGroup;
      browse_.Sort->Current()->RangeList->AddPair(rangeLimit_, rangeApplied_);
      browse_.Sort->Current()->LimitType = Limit::EqualsLast;
    }
    if (!spec_.filter.empty()) browse_.SetFilter(spec_.filter);
    browse_.AddField(world_.ITM.ID, world_.rows.Rec().ID);
    browse_.AddField(world_.ITM.NAME, world_.rows.Rec().NAME);
    browse_.InsertControl = kInsert;
    browse_.ChangeControl = kChange;
    browse_.DeleteControl = kDelete;
    browse_.ViewControl = kView;
    browse_.SelectControl = kSelect;
    browse_.AskProcedure = 1;
    locator_.Control = kLocate;
    if (spec_.queryTyped) {
      query_.Init("Items", nullptr, &world_.errors);
      query_.AddItem("ITM:NAME", "Name", "S20");
      browse_.Query = &query_;
      browse_.QueryControl = kQuery;
      browse_.QueryResult = kQueryResult;
    }
    if (spec_.setUp) spec_.setUp(world_, browse_);
    SetAlerts();
    return Level::Ok;
  }
  rt::Byte Kill() override {
    if (const rt::Byte level = WindowManager::Kill()) return level;
    if (FilesOpened) world_.relate.Close();
    return Level::Ok;
  }
  using WindowManager::Run;
  rt::Byte Run(rt::UShort number, rt::Byte request) override {
    WindowManager::Run(number, request);
    static const char* const names[] = {"", "Insert", "Change", "Delete", "Select", "Print", "View"};
    log_.Note(names[request % std::size(names)] + (" " + std::to_string(world_.ITM.ID)));
    return spec_.update ? spec_.update(world_, request, ++calls_) : Response::Cancelled;
  }

 private:
  World& world_;
  const BrowseSpec& spec_;
  rt::ui::Recorder& log_;
  rt::FixedString<20> locateText_;
  rt::Window window_;
  ToolbarClass toolbar_;
  BrowseClass browse_;
  ListTarget target_;
  StepClass step_;
  TypedLocator locator_;
  TypedQuery query_{spec_.queryTyped.value_or("")};
  rt::Long rangeLimit_ = 0;
  rt::Long rangeApplied_ = 0;
  int calls_ = 0;
};

const rt::RecordLayout& ItemLayout() {
  static const rt::RecordLayout layout(sizeof(ITM_Record), {rt::LayoutField("ITM:GRP", &ITM_Record::GRP),
                                                           rt::LayoutField("ITM:ID", &ITM_Record::ID),
                                                           rt::LayoutField("ITM:NAME", &ITM_Record::NAME)});
  return layout;
}

rt::FileDecl ItemDecl(const std::string& directory, bool keyed) {
  rt::FileDecl decl;
  decl.label = "Item";
  decl.driver = rt::kKeyedDriver;
  decl.name = directory + "/item";
  decl.layout = &ItemLayout();
  if (keyed)
    decl.keys = {{"ITM:GroupKey", {{1, true}, {2, true}}, true, false, false, true},
                 {"ITM:NameKey", {{3, true}}, false, true, false, false}};
  decl.create = true;
  return decl;
}

}  // namespace

ITM_Record MakeItem(int n, int count) {
  ITM_Record r{.GRP = n / 100, .ID = n * 10, .NAME = {}};
  char name[24];
  std::snprintf(name, sizeof name, "N%05d", (n * 7919) % 100000);
  r.NAME = n == count ? "O'Hara" : n == count - 1 ? "O'Brien" : name;
  return r;
}

void BuildItems(const std::string& directory, bool keyed, int count) {
  rt::ThreadScope scope;
  ITM_Record record;
  rt::File file(ItemDecl(directory, keyed), record);
  file.Create();
  file.Open();
  rt::File* files[] = {&file};
  rt::Logout(10, files);
  for (const ITM_Record& item : Ordered(keyed, count, Order::RecordOrder)) {
    record = item;
    file.Add();
  }
  rt::Commit();
  file.Close();
}

std::vector<ITM_Record> Ordered(bool keyed, int count, Order order) {
  // Without keys the file is written, and read, in another order than the ids'.
  std::vector<ITM_Record> items;
  for (int i = 1; i <= count; ++i) items.push_back(MakeItem(keyed ? i : (i * 37) % count + 1, count));
  if (order == Order::ById) std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) { return a.ID < b.ID; });
  if (order == Order::ByName) {
    std::sort(items.begin(), items.end(), [](const auto& a, const auto& b) {  // the name key ignores case
      const int by = strcasecmp(a.NAME.Str().c_str(), b.NAME.Str().c_str());
      return by != 0 ? by < 0 : a.ID < b.ID;
    });
  }
  return items;
}

World::World(const BrowseSpec& spec)
    : decl(ItemDecl(spec.directory, spec.keyed)),
      ITM(spec.before),
      file(decl, ITM),
      access(file, errors, spec.keyed ? std::vector<testdict::TestAccess::KeySpec>{{1, "", false}, {2, "Item name", false}}
                                      : std::vector<testdict::TestAccess::KeySpec>{},
             spec.keyed ? 1 : 0),
      view(file),
      source(rows.Q(), RowLayout()) {
  errors.Init(gStatus);
  access.Init();
  relate.Init(access, 1);
}

World::~World() {
  relate.Kill();
  access.Kill();
}

void RunBrowse(const BrowseSpec& spec, rt::ui::Recorder& log, Outcome& outcome) {
  World world(spec);
  BrowseProcedure procedure(world, spec, log);
  outcome.response = procedure.Run();
  outcome.record = world.ITM;
}

void Elsewhere(const std::string& directory, const std::function<void(rt::File&, ITM_Record&)>& act, rt::Long id) {
  std::thread([&] {
    rt::ThreadScope scope;
    ITM_Record record;
    rt::File file(ItemDecl(directory, true), record);
    file.Open();
    record.GRP = id / 1000;
    record.ID = id;
    if (id) file.Get(1);
    act(file, record);
    file.Close();
  }).join();
}

std::map<rt::Long, std::string> ItemsInFile(const std::string& directory) {
  std::map<rt::Long, std::string> items;
  Elsewhere(directory, [&](rt::File& file, ITM_Record& record) {
    file.Set();
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) items[record.ID] = record.NAME.Str();
  });
  return items;
}

std::string Trim(std::string text) {
  text.erase(0, text.find_first_not_of(' '));
  text.erase(text.find_last_not_of(' ') + 1);
  return text;
}

}  // namespace browsetest
