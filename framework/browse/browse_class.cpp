// BrowseClass: life cycle, sort orders and fields, the record buffer, sort changes and ranges,
// the update procedure and the resets after it, and rereading the current record.
// Paging and the thumb are in browse_paging.cpp; events, keys, alerts and the popup in
// browse_events.cpp.

#include "framework/browse/browse_class.h"

#include <algorithm>

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/levels.h"
#include "framework/popup/popup_class.h"
#include "framework/query/query_class.h"
#include "framework/window/toolbar.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/data/expression.h"
#include "runtime/data/file.h"
#include "runtime/data/view.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/window.h"

namespace {

constexpr rt::UShort kRecordRetrievalError = 9;
constexpr rt::Long kPropServerSide = 29508;  // a file property: "1" for a server-side data source
constexpr std::size_t kMaxFilterText = 2048;

}  // namespace

BrowseClass::BrowseClass() = default;

BrowseClass::~BrowseClass() {
  if (Inited && !Killed) Kill();
}

// ---- Life cycle ----

void BrowseClass::Init(IListControl& ilc, rt::View& view, BrowseQueue& queue, RelationManager& primary,
                       WindowManager& window) {
  UseMRP = 1;
  PrevChoice = 0;
  Window = &window;
  ListQueue = &queue;
  ILC = &ilc;
  Sort = std::make_unique<BrowseSortQueue>();
  Fields = std::make_unique<FieldPairsClass>();
  Fields->Init();
  Processors = std::make_unique<std::vector<BrowseProcessor*>>();
  Popup = std::make_unique<PopupClass>();
  Popup->Init();
  EditList = std::make_unique<EditColumnList>();
  RetainRow = 1;
  ViewManager::Init(view, primary, Sort.get());
  window.AddItem(component_);
  if (Selecting && Primary && Primary->Me) {
    Primary->Me->UseFile(UseType::Updates);
    Buffer = Primary->Me->SaveBuffer();
  }
}

void BrowseClass::Init(rt::Long listControl, rt::FieldRef position, rt::View& view, rt::Queue& queue,
                       RelationManager& primary, WindowManager& window, const rt::RecordLayout* queueLayout) {
  Behavior = std::make_unique<StandardBehavior>();
  Behavior->Init(queue, position, listControl, &window, queueLayout);
  Init(*Behavior, view, *Behavior, primary, window);
}

void BrowseClass::Kill() {
  if (Killed || !Inited) return;
  if (Sort) {
    for (std::size_t i = 1; i <= Sort->Records(); ++i) {
      BrowseSortOrder& order = Sort->At(i);
      if (order.Thumb) order.Thumb->Kill();
      if (order.Resets) order.Resets->Kill();
      order.Resets.reset();
    }
  }
  if (Window) Window->RemoveItem(component_);
  if (UseMRP) SetReadAhead(0);
  ViewManager::Kill();
  Sort.reset();
  if (Fields) Fields->Kill();
  Fields.reset();
  if (Popup) Popup->Kill();
  Popup.reset();
  ToolbarItem = nullptr;
  if (Query) Query->Kill();
  Query = nullptr;  // not owned: a second Kill must not reach it
  // The edit-in-place manager goes before the columns it refers to.
  if (FreeEIP) {
    madeEIP_.reset();
    EIP = nullptr;
    FreeEIP = 0;
  }
  EditList.reset();
  Behavior.reset();
  ListQueue = nullptr;
  ILC = nullptr;
  if (Processors)
    for (BrowseProcessor* processor : *Processors) processor->Kill();
  Processors.reset();
}

// ---- Sort orders and fields ----

rt::Byte BrowseClass::AddSortOrder(StepClass* thumb, std::size_t key) {
  const rt::Byte number = ViewManager::AddSortOrder(key);
  BrowseSortOrder* order = CurrentSort();
  RT_ASSERT(order != nullptr, "BrowseClass::AddSortOrder before Init");
  if (!order) return number;
  order->Thumb = thumb;
  order->Resets = std::make_unique<BufferedPairsClass>();
  order->Resets->Init();
  return number;
}

void BrowseClass::AddLocator(BrowseLocator& locator) {
  BrowseSortOrder* order = CurrentSort();
  RT_ASSERT(order != nullptr, "BrowseClass::AddLocator before AddSortOrder");
  if (order) order->Locator = &locator;
}

void BrowseClass::AddResetField(rt::FieldRef field) {
  BrowseSortOrder* order = CurrentSort();
  RT_ASSERT(order && order->Resets, "BrowseClass::AddResetField before AddSortOrder");
  if (!order || !order->Resets) return;
  order->Resets->AddPair(field, field);
  order->Resets->AssignLeftToBuffer();
}

void BrowseClass::AddField(rt::FieldRef recordField, rt::FieldRef queueField) {
  RT_ASSERT(Fields != nullptr, "BrowseClass::AddField before Init");
  if (Fields) Fields->AddPair(recordField, queueField);
}

void BrowseClass::AddProcessor(BrowseProcessor& processor) {
  RT_ASSERT(Processors != nullptr, "BrowseClass::AddProcessor before Init");
  if (Processors) Processors->push_back(&processor);
}

// ---- Rows and the record buffer ----

rt::Long BrowseClass::Records() {
  const rt::Long rows = ListQueue ? ListQueue->Records() : 0;
  if (BrowseSortOrder* order = CurrentSort(); order && order->Locator) order->Locator->SetEnabled(rows > 0);
  if (rows == 0) CurrentChoice = 0;
  return rows;
}

void BrowseClass::SetQueueRecord() {
  Fields->AssignLeftToRight();
  View->Position(position_);
  ListQueue->SetViewPosition(position_);
}

void BrowseClass::UpdateBuffer() {
  const rt::Long rows = Records();
  if (rows == 0) {
    Fields->ClearLeft();
    return;
  }
  ListQueue->Fetch(std::clamp<rt::Long>(CurrentChoice, 1, rows));
  Fields->AssignRightToLeft();
}

void BrowseClass::UpdateResets() {
  if (BrowseSortOrder* order = CurrentSort(); order && order->Resets) order->Resets->AssignBufferToLeft();
}

void BrowseClass::ResetResets() {
  if (BrowseSortOrder* order = CurrentSort(); order && order->Resets) order->Resets->AssignLeftToBuffer();
}

// ---- Reading through the view ----

rt::Byte BrowseClass::Next() {
  const rt::Byte level = ViewManager::Next();
  if (level == Level::Notify) UpdateResets();  // a read past the range overwrote them
  if (level == Level::Fatal) PostTo(rt::EVENT_CloseWindow, 0);
  return level;
}

rt::Byte BrowseClass::Previous() {
  const rt::Byte level = ViewManager::Previous();
  if (level == Level::Notify) UpdateResets();
  if (level == Level::Fatal) PostTo(rt::EVENT_CloseWindow, 0);
  return level;
}

// ---- Sort orders and ranges ----

rt::Byte BrowseClass::ApplyRange() {
  rt::Byte changed = 0;
  const rt::Long items = ILC ? ILC->GetItems() : -1;
  if (items >= 0 && items != LastItems) {
    if (FileLoaded) {
      LastItems = 0;
    } else {
      LastItems = items;
      changed = 1;
    }
  }
  if (ViewManager::ApplyRange()) changed = 1;
  if (BrowseSortOrder* order = CurrentSort(); order && order->Resets && !order->Resets->EqualLeftBuffer(true)) changed = 1;
  if (changed) LoadPending = 1;
  return changed;
}

rt::Byte BrowseClass::InitSort(rt::Byte order) {
  const rt::Byte changed = ViewManager::SetSort(order);
  // Only a new order forgets what was typed: a reset between two typed keys must keep them.
  if (changed)
    if (BrowseSortOrder* current = CurrentSort(); current && current->Locator) current->Locator->Reset();
  return changed;
}

rt::Byte BrowseClass::ResetSort(rt::Byte force) {
  return SetSort(static_cast<rt::Byte>(Sort ? Sort->Pointer() : 1), force);
}

rt::Byte BrowseClass::SetSort(rt::Byte order, rt::Byte force) {
  rt::Byte changed = InitSort(order);
  const bool orderChanged = changed;
  if (ApplyRange()) changed = 1;
  if (changed || force || !Loaded || LoadPending) {
    ResetResets();
    ViewManager::Open();  // opens the view once; applies the order and the filter
    if (Loaded || (!Selecting && !StartAtCurrent)) {
      if (ListQueue->Records() > 0) {
        if (orderChanged) {
          // A row's position belongs to the order it was read in: find the record itself.
          UpdateBuffer();
          PositionOnRecord();
        } else {
          View->Reset(RowPosition(std::max<rt::Long>(CurrentChoice, 1)));
        }
        ResetQueue(Reset::Around);
      } else {
        ResetQueue(Reset::Reload);
      }
    } else {
      PositionAtFreeElement();
      ResetQueue(Reset::Around);
    }
    if (!LoadPending) {
      PostNewSelection();
      ResetFromView();
      changed = 1;
    }
  }
  UpdateBuffer();
  return changed;
}

// ---- The update procedure ----

rt::Byte BrowseClass::Ask(rt::Byte request) {
  rt::Byte response = Response::Cancelled;
  do {
    if (Window->VCRRequest) *Window->VCRRequest = 0;
    if (rt::Keycode() == rt::KEY_MouseRightUp) rt::SetKeycode(0);
    if (AskProcedure != 0) {
      if (request == Request::Insert && PrimeRecord(0) != Level::Ok) return Response::Cancelled;
      response = Window->Run(static_cast<rt::UShort>(AskProcedure), request);
      ResetFromAsk(request, response);
    } else {
      response = AskRecord(request);
    }
  } while (PendingVcr() != 0);
  return response;
}

rt::Byte BrowseClass::AskRecord(rt::Byte request) {
  CheckEIP();
  return EIP ? EIP->Run(request) : Response::Cancelled;
}

void BrowseClass::CheckEIP() {
  if (EIP || !eipMaker_) return;
  madeEIP_ = eipMaker_(*this);
  EIP = madeEIP_.get();
  FreeEIP = EIP != nullptr;
}

rt::Byte BrowseClass::NotifyUpdateError() {
  Primary->Me->Throw(kRecordRetrievalError);
  return 1;
}

void BrowseClass::ResetFromAsk(rt::Byte& request, rt::Byte response) {
  if (response != Response::Completed) {
    ResetQueue(Reset::Reload);
  } else {
    View->Flush();
    std::string filter = View->Property(rt::PropViewFilter).substr(0, kMaxFilterText);
    const bool serverSide = Primary->Me->File && Primary->Me->File->Property(kPropServerSide) == "1";
    if (serverSide && RewriteServerFilter(filter)) return;
    bool dropRow = request == Request::Delete;
    if (request == Request::Change && !filter.empty()) {
      const rt::ParsedExpression parsed = rt::Expression::Parse(filter);
      dropRow = parsed && !parsed->IsTrue();
    }
    if (dropRow) {
      if (ListQueue->Records() > 0) DeleteRow(std::max<rt::Long>(CurrentChoice, 1));
      ResetQueue(Reset::Reload);
    } else {
      ResetFromFile();
    }
  }
  const rt::Long pending = PendingVcr();
  if (pending == ToolbarButton::Insert || (pending == ToolbarButton::Down && request == Request::Insert)) {
    // The form opens again on a new record.
    request = Request::Insert;
    if (Primary->Me->File) Primary->Me->File->ClearRecord();
  } else if (pending != 0) {
    TakeVCRScroll(pending);
  } else {
    ResetFromView();
    UpdateWindow();
    PostNewSelection();
    if (rt::Window* window = ListWindow()) window->Select(ILC->GetControl());
  }
}

// ---- Resets after outside changes ----

void BrowseClass::ResetFromView() {
  rt::SetWaitCursor(true);
  ResetThumbLimits();
  UpdateThumb();
  rt::SetWaitCursor(false);
}

void BrowseClass::ResetFromFile() {
  PositionOnRecord();
  ResetQueue(Reset::Around);
}

void BrowseClass::ResetFromBuffer() {
  const BrowseSortOrder* order = CurrentSort();
  const std::size_t components = order && order->MainKey ? Primary->Me->GetComponents(order->MainKey) : 1;
  ResetView(static_cast<rt::Long>(std::max<std::size_t>(components, 1)));
  ResetQueue(Reset::Around);
  UpdateWindow();
}

void BrowseClass::PositionOnRecord() {
  if (!Opened) ViewManager::Open();
  if (View->Property(rt::PropViewOrder).empty() && Primary->Me->File) {
    // Record order: the record's pointer is its whole place in the order.
    View->Reset("V::" + std::to_string(Primary->Me->File->Pointer()));
    return;
  }
  // Every component of the order: the first row whose order values are the record's.
  ResetView(255);
}

void BrowseClass::PositionAtFreeElement() {
  const rt::Byte position = GetFreeElementPosition();
  ResetView(position ? position : 1);
}

void BrowseClass::ResetView(rt::Long components) {
  if (!Opened) {
    ViewManager::Reset(components);  // opens the view and applies the order and filter
    return;
  }
  if (components <= 0) {
    View->Set();
  } else {
    View->SetFromBuffer(static_cast<std::size_t>(components));
  }
}

// ---- Rereading the current record ----

void BrowseClass::UpdateViewRecord() {
  const rt::Long rows = Records();
  if (rows == 0) return;
  if (const rt::Long choice = ILC->Choice(); choice >= 1 && choice <= rows) CurrentChoice = choice;
  const std::string position = RowPosition(std::clamp<rt::Long>(CurrentChoice, 1, rows));
  View->Watch();
  rt::Long error = rt::ErrorCode();
  if (error == rt::NoLogoutErr) {
    // No versions to watch: read the row again through the view.
    const std::string before = View->Position();
    View->Reset(position);
    View->Next();
    error = rt::ErrorCode();
    // Next reads on past a row that has gone; that is another record, not this one.
    if (error == 0 && View->Position() != position) error = rt::NoRecErr;
    if (!before.empty()) View->Reset(before);
  } else {
    View->Reget(position);
    error = rt::ErrorCode();
  }
  if (error != 0) {
    NeedRefresh = NotifyUpdateError();
    // The reload after the event starts where the row was.
    View->Reset(position);
  }
}

// ---- Helpers ----

rt::Window* BrowseClass::ListWindow() const {
  return Window && Window->MyWindow ? Window->MyWindow : rt::TopWindow();
}

std::string BrowseClass::ListProp(rt::Long property, rt::Long control) const {
  const rt::Window* window = ListWindow();
  if (!window) return {};
  return window->GetProp(control ? control : ILC->GetControl(), property, 0);
}

void BrowseClass::SetListProp(rt::Long property, std::string_view value, rt::Long control) {
  if (rt::Window* window = ListWindow()) window->SetProp(control ? control : ILC->GetControl(), property, value, 0);
}

bool BrowseClass::IsEnabled(rt::Long control) const {
  if (control == 0) return false;
  const rt::Window* window = ListWindow();
  return window && window->FindControl(control) && rt::PropNumber(window->GetProp(control, rt::PROP_Disable, 0)) == 0;
}

void BrowseClass::PostTo(rt::Long event, rt::Long control) {
  if (rt::Window* window = ListWindow()) window->Post(event, control);
}

rt::Long BrowseClass::PendingVcr() const { return Window && Window->VCRRequest ? *Window->VCRRequest : 0; }
