// BrowseAFile: the records of AFile in a scrolling list, in the file's record order, with
// Insert, Change and Delete through the update form. Every list behaviour is the browse
// manager's; this procedure only configures it. The frame starts it on a thread of its own, so
// each instance has its own window, view, list queue and framework objects.

#include <optional>

#include "app/dictionary.h"
#include "app/globals.h"
#include "app/procedure_window.h"
#include "app/procedures.h"
#include "framework/browse/browse_class.h"
#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/thread.h"
#include "runtime/data/queue.h"
#include "runtime/data/record_layout.h"
#include "runtime/data/view.h"
#include "runtime/ui/queue_list_source.h"
#include "runtime/ui/window.h"
#include "runtime/ui/window_def.h"

using rt::Byte;
using rt::ControlDef;
using rt::Long;

// The thread's view over its own AFile, prepared by the thread's first browse and closed when
// the thread ends (the file instance outlives it: see the program's thread order).
class BrowseAFileView {
 public:
  BrowseAFileView() = default;
  BrowseAFileView(const BrowseAFileView&) = delete;
  BrowseAFileView& operator=(const BrowseAFileView&) = delete;
  ~BrowseAFileView() {
    if (view_ && view_->IsOpen()) view_->Close();
  }
  rt::View& Prepare() {
    if (!view_) view_.emplace(AFile->File);
    return *view_;
  }

 private:
  std::optional<rt::View> view_;
};
rt::PerThread<BrowseAFileView> BrowseAFileViews{"BrowseAFileView"};

namespace {

enum QuickWindowControl : Long {
  kBrowse = 1,
  kInsert,
  kChange,
  kDelete,
  kCurrentTab,
  kRecordOrderTab,
  kClose,
};

// One listed row: the record's five fields, a mark and the row's position in the view.
struct BrowseRow {
  rt::Long ID = 0;
  rt::FixedString<20> ASTRING;
  rt::PackedDecimal<7, 2> ADECIMAL;
  rt::Long ADATE = 0;
  rt::Long ATIME = 0;
  rt::Byte Mark = 0;
  rt::FixedString<1024> ViewPosition;
};

const rt::RecordLayout& BrowseRowLayout() {
  static const rt::RecordLayout layout(sizeof(BrowseRow), {
      rt::LayoutField("AFI:ID", &BrowseRow::ID, "@n-14"),
      rt::LayoutField("AFI:ASTRING", &BrowseRow::ASTRING, "@s20"),
      rt::LayoutField("AFI:ADECIMAL", &BrowseRow::ADECIMAL, "@n-10.2"),
      rt::LayoutDate("AFI:ADATE", &BrowseRow::ADATE, "@d17"),
      rt::LayoutTime("AFI:ATIME", &BrowseRow::ATIME, "@t7"),
      rt::LayoutField("Mark", &BrowseRow::Mark),
      rt::LayoutField("ViewPosition", &BrowseRow::ViewPosition),
  });
  return layout;
}

constexpr const char* kBrowseFormat =
    "64R(2)|M~ID~C(0)@n-14@80L(2)|M~Astring~L(2)@s20@48D(14)|M~Adecimal~C(0)@n-10.2@"
    "80R(2)|M~Adate~C(0)@d17@80R(2)|M~Atime~C(0)@t7@";

rt::WindowDef QuickWindowDef() {
  rt::WindowDef def;
  def.kind = rt::WindowKind::MdiChild;
  def.title = "Browse the AFile file";
  def.font = "MS Sans Serif,8";
  def.resizable = true;
  def.width = 374;
  def.height = 198;
  def.Add(ControlDef::List(kBrowseFormat).VScroll().Immediate().Status("Browsing the AFile file").At(8, 20, 358, 124));
  def.Add(ControlDef::Button("&Insert").Icon("INSERT.ICO").Tip("Insert a Record").At(209, 148, 49, 14));
  def.Add(ControlDef::Button("&Change").Icon("CHANGE.ICO").Tip("Change the Record").At(263, 148, 49, 14));
  def.Add(ControlDef::Button("&Delete").Icon("DELETE.ICO").Tip("Delete the Record").At(317, 148, 49, 14));
  def.Add(ControlDef::Sheet().At(4, 4, 366, 162));
  def.Add(ControlDef::Tab("&1) Record Order").In(kCurrentTab));
  def.Add(ControlDef::Button("&Close").Icon("CLOSE.ICO").Tip("Close Window").At(317, 176, 49, 14));
  return def;
}

// The browse as this procedure configures it: the three buttons tied to it unless the window
// only views.
class BrowseAFileList final : public BrowseClass {
 public:
  void Init(Long listControl, rt::FieldRef position, rt::View& view, rt::Queue& queue, RelationManager& primary,
            WindowManager& window) {
    BrowseClass::Init(listControl, position, view, queue, primary, window, &BrowseRowLayout());
    if (window.Request != Request::View) {
      InsertControl = kInsert;
      ChangeControl = kChange;
      DeleteControl = kDelete;
    }
  }
};

class ThisWindow final : public ProcedureWindow {
 public:
  ThisWindow(rt::Window& window, ToolbarClass& toolbar, ProcedureResizer& resizer, rt::QueueOf<BrowseRow>& rows)
      : ProcedureWindow("BrowseAFile", window, toolbar, &resizer), rows_(rows) {}

  Byte Init() override {
    const Byte level = BeginInit(kBrowse);
    if (level != Level::Ok) return level;
    AddItem(kClose, Request == Request::Select ? Response::Cancelled : Response::Completed);
    (*Relate_AFile)->Open();
    FilesOpened = 1;
    browse_.UsePopup = 1;
    browse_.EditViaPopup = 1;
    browse_.Init(kBrowse, rows_.Rec().ViewPosition, BrowseAFileViews->Prepare(), rows_.Q(), **Relate_AFile, *this);
    OpenAndPlace(Alerts::Later);  // the browse's alerts once its sort order and fields are in
    TheWindow().SetListSource(kBrowse, &source_);
    browse_.AddSortOrder();  // no step and no key: the file's record order
    AFI_Record& record = AFile->AFI;
    browse_.AddField(record.ID, rows_.Rec().ID);
    browse_.AddField(record.ASTRING, rows_.Rec().ASTRING);
    browse_.AddField(record.ADECIMAL, rows_.Rec().ADECIMAL);
    browse_.AddField(rt::FieldRef::Date(record.ADATE), rt::FieldRef::Date(rows_.Rec().ADATE));
    browse_.AddField(rt::FieldRef::Time(record.ATIME), rt::FieldRef::Time(rows_.Rec().ATIME));
    browse_.AskProcedure = 1;  // the update form, through Run(1, request) below
    SetAlerts();
    return Level::Ok;
  }

  Byte Kill() override {
    const Byte level = ProcedureWindow::Kill();
    if (level != Level::Ok) return level;
    if (FilesOpened) (*Relate_AFile)->Close();
    return Level::Ok;
  }

  using WindowManager::Run;
  // Update procedure 1 is the form for one AFile record, run on this thread.
  Byte Run(rt::UShort number, Byte request) override {
    WindowManager::Run(number, request);
    if (Request == Request::View) return Response::Cancelled;
    *GlobalRequest = request;
    UpdateAFile();
    return *GlobalResponse;
  }

 private:
  rt::QueueOf<BrowseRow>& rows_;
  rt::QueueListSource source_{rows_.Q(), BrowseRowLayout()};
  BrowseAFileList browse_;
};

}  // namespace

void BrowseAFile() {
  rt::QueueOf<BrowseRow> rows;
  rt::Window window(QuickWindowDef());
  ToolbarClass toolbar;
  ProcedureResizer resizer;
  ThisWindow manager(window, toolbar, resizer, rows);
  *GlobalResponse = manager.Run();
}
