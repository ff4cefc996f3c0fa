// ViewManager: sort orders and their texts, range limits and named filters turned into the view's
// order and filter properties; opening, resetting and reading the view with validation; priming
// inside the range; the view files' saved buffers; and the files the view uses.

#include "framework/data/view_manager.h"

#include <algorithm>
#include <cstdlib>

#include "framework/data/file_manager.h"
#include "framework/data/files_manager.h"
#include "framework/data/filter_text.h"
#include "framework/data/relation_manager.h"
#include "framework/error/levels.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/core/text.h"
#include "runtime/data/access_mode.h"
#include "runtime/data/view.h"

namespace {

constexpr rt::UShort kRetrievalErrorId = 1;
constexpr rt::UShort kViewOpenErrorId = 43;
constexpr rt::Long kViewOpenMode = rt::ReadWrite | rt::DenyWrite;
constexpr char kNoView[] = "View manager has not been assigned a view";
constexpr char kNotInitialized[] = "View manager has not  properly initialized";
constexpr char kNoFile[] = "View driver failed to return constituent file.";

}  // namespace

// ---- SortOrderQueue ----

std::size_t SortOrderQueue::Add(std::unique_ptr<SortOrder> entry) {
  entries_.push_back(std::move(entry));
  current_ = entries_.size();
  return current_;
}

bool SortOrderQueue::Select(std::size_t number) {
  if (number < 1 || number > entries_.size()) return false;
  current_ = number;
  return true;
}

// ---- Life cycle ----

ViewManager::~ViewManager() { ViewManager::Destruct(); }

void ViewManager::Destruct() {
  if (Inited && !Killed) Kill();
}

void ViewManager::Init(rt::View& view, RelationManager& primary, SortOrderQueue* sortOrder) {
  if (Inited && !Killed) Kill();
  Inited = 1;
  View = &view;
  Primary = &primary;
  if (sortOrder) {
    Order = sortOrder;
    DisposeOrder = 0;
  } else {
    ownOrder_ = std::make_unique<SortOrderQueue>();
    Order = ownOrder_.get();
    DisposeOrder = 1;
  }
  SavedBuffers = std::make_unique<std::vector<SavedViewBuffer>>();
  PageSize = 20;
  PagesBehind = 2;
  PagesAhead = 0;
  TimeOut = 60;
  Killed = 0;
  UseView();
}

void ViewManager::Init(RelationManager& primary, SortOrderQueue* sortOrder) {
  RT_ASSERT(primary.Me && primary.Me->File, "ViewManager::Init: the primary file manager has no file yet");
  if (!primary.Me || !primary.Me->File) return;
  if (Inited && !Killed) Kill();
  ownView_ = std::make_unique<rt::View>(*primary.Me->File);
  Init(*ownView_, primary, sortOrder);
}

void ViewManager::Kill() {
  if (Order) {
    for (std::size_t i = 1; i <= Order->Records(); ++i) {
      SortOrder& order = Order->At(i);
      if (order.RangeList) order.RangeList->Kill();
      order.RangeList.reset();
      order.Filter.reset();
      order.Order.reset();
      order.FreeElement = rt::FieldRef();
    }
  }
  if (DisposeOrder) ownOrder_.reset();
  Order = nullptr;
  SavedBuffers.reset();
  Close();
  UnuseView();
  if (ownView_) {
    View = nullptr;
    ownView_.reset();
  }
  Killed = 1;
}

// ---- The view's files ----

std::size_t ViewManager::FileCount() const {
  return View ? std::strtoul(View->Property(rt::PropViewFileCount).c_str(), nullptr, 10) : 0;
}

FileManager& ViewManager::Me() const { return *Primary->Me; }

void ViewManager::UseView() {
  RT_ASSERT(View != nullptr, kNoView);
  if (!View) return;
  for (std::size_t i = 1; i <= FileCount(); ++i) {
    rt::File* file = View->FileAt(i);
    if (!file) {
      rt::AssertReport(kNoFile, __FILE__, __LINE__);
      continue;
    }
    const FileLabel label = FilesManager::GetFileId(file);
    FileManager* manager = FileRegistry->GetFileMapping(label);
    if (!manager) {
      rt::AssertReport("Unable to obtain file manager for constituent file:" + file->Decl().label, __FILE__, __LINE__);
      continue;
    }
    RelationManager* relations = FileRegistry->GetRelationFileMapping(label);
    if (!relations) {
      rt::AssertReport("Unable to obtain relation manager for constituent file:" + file->Decl().label, __FILE__, __LINE__);
      continue;
    }
    relations->Open(0);
    // Only what was opened here is closed again, also when a later file fails.
    usedRelations_.push_back(relations);
    Used = 1;
    if (manager->UseFile(UseType::Uses) != Level::Ok) break;
  }
}

void ViewManager::UnuseView() {
  if (!Used) return;
  for (RelationManager* relations : usedRelations_) relations->Close(0);
  usedRelations_.clear();
  Used = 0;
}

// ---- Sort orders ----

SortOrder* ViewManager::ActiveOrder() {
  SortOrder* active = Order ? Order->Current() : nullptr;
  RT_ASSERT(active != nullptr, "View does not have any sort orders defined");
  return active;
}

rt::Byte ViewManager::AddSortOrder(std::size_t key) {
  RT_ASSERT(Order != nullptr, kNotInitialized);
  if (!Order) return 0;
  std::unique_ptr<SortOrder> entry = Order->NewEntry();
  entry->MainKey = key;
  entry->RangeList = std::make_unique<RangePairsClass>();
  entry->RangeList->Init();
  if (key != 0 && Me().GetComponents(key) > 0) entry->FreeElement = Me().GetField(key, 1);
  Order->Add(std::move(entry));
  SetOrder(Me().KeyToOrder(key, 1));
  return static_cast<rt::Byte>(Order->Records());
}

void ViewManager::SetOrder(std::string_view orderText) {
  SortOrder* active = ActiveOrder();
  if (!active) return;
  const std::string_view clipped = rt::Clip(orderText);
  if (clipped.empty()) {
    active->Order.reset();
  } else {
    active->Order = std::string(clipped);
  }
}

void ViewManager::AppendOrder(std::string_view orderText) {
  SortOrder* active = ActiveOrder();
  if (!active) return;
  if (!active->Order) return SetOrder(orderText);
  if (!orderText.empty() && orderText.front() == '*') return SetOrder(orderText.substr(1));
  SetOrder(*active->Order + "," + std::string(orderText));
}

rt::Byte ViewManager::SetSort(rt::Byte number) {
  if (number == 0) number = 1;
  RT_ASSERT(Order != nullptr, kNotInitialized);
  if (!Order || Order->Pointer() == number) return 0;
  if (!Order->Select(number)) {
    rt::AssertReport("Sort order does not exist:" + std::to_string(number), __FILE__, __LINE__);
    return 0;
  }
  return 1;
}

// ---- Filters ----

void ViewManager::SetFilter(std::string_view filter) { SetFilter(filter, kStandardFilterId); }

void ViewManager::SetFilter(std::string_view filter, std::string_view id) {
  SortOrder* active = ActiveOrder();
  if (!active) return;
  if (!active->Filter) active->Filter = std::make_unique<FilterQueue>();
  FilterQueue& filters = *active->Filter;
  const rt::FixedString<30> key(id);
  const auto found = std::find_if(filters.begin(), filters.end(), [&](const FilterEntry& e) { return e.Id == key; });
  const std::string_view text = rt::Clip(filter);
  if (text.empty()) {
    if (found != filters.end()) filters.erase(found);
  } else if (found != filters.end()) {
    found->Filter = std::string(text);
  } else {
    const auto before = std::find_if(filters.begin(), filters.end(), [&](const FilterEntry& e) { return e.Id.View() < key.View(); });
    filters.insert(before, {key, std::string(text)});
  }
}

std::string ViewManager::RangeText(const SortOrder& order) const {
  const std::size_t pairs = order.RangeList ? order.RangeList->PairCount() : 0;
  if (pairs == 0) return {};
  std::string text;
  const auto clause = [&](std::size_t component, std::string_view relation, std::size_t pair) {
    const std::string name = Me().GetFieldName(order.MainKey, component);
    if (!text.empty()) text += " AND ";
    text += name;
    text += relation;
    text += CasedValue(name, order.RangeList->At(pair).Left);
  };
  switch (order.LimitType) {
    case Limit::Equals:
    case Limit::EqualsLast:
    case Limit::EqualsAll:
      for (std::size_t i = 1; i <= pairs; ++i) clause(i, " = ", i);
      break;
    case Limit::Between:
      RT_ASSERT(pairs >= 2, "A range between two limits needs two range pairs");
      if (pairs < 2) break;
      for (std::size_t i = 1; i + 2 <= pairs; ++i) clause(i, " = ", i);
      clause(pairs - 1, " >= ", pairs - 1);
      clause(pairs - 1, " <= ", pairs);
      break;
    default: break;
  }
  return text;
}

void ViewManager::ApplyFilter() {
  SortOrder* active = ActiveOrder();
  if (!active || !View) return;
  // The whole text goes to the view: a cut filter could still parse and select the wrong rows.
  std::string text = RangeText(*active);
  if (active->Filter) {
    for (const FilterEntry& filter : *active->Filter) text += (text.empty() ? "(" : " AND (") + filter.Filter + ")";
  }
  SetViewProperty(rt::PropViewFilter, text);
}

void ViewManager::ApplyOrder() {
  SortOrder* active = ActiveOrder();
  if (!active || !View) return;
  SetViewProperty(rt::PropViewOrder, active->Order.value_or(std::string()));
}

void ViewManager::SetViewProperty(rt::Long property, const std::string& value) {
  View->SetProperty(property, value);
  if (rt::ErrorCode() == 0) return;
  Me().Throw(kViewOpenErrorId);
  // The message says the view goes on without it; the view itself would keep the one before.
  View->SetProperty(property, "");
}

rt::Byte ViewManager::ApplyRange() {
  SortOrder* active = ActiveOrder();
  if (!active || !active->RangeList) return 0;
  RangePairsClass& pairs = *active->RangeList;
  const std::size_t n = pairs.PairCount();
  const auto changed = [&](std::size_t i) { return !pairs.At(i).Left.Equals(pairs.At(i).Right); };
  const auto take = [&](std::size_t i) { pairs.At(i).Right.Assign(pairs.At(i).Left); };
  switch (active->LimitType) {
    case Limit::Between:
      if (n >= 2 && changed(n - 1)) {
        take(n - 1);
        take(n);
        ApplyFilter();
        return 1;
      }
      [[fallthrough]];
    case Limit::EqualsLast:
      if (n >= 1 && changed(n)) {
        take(n);
        ApplyFilter();
        return 1;
      }
      return 0;
    case Limit::EqualsAll:
      if (!pairs.EqualRightBuffer()) {
        pairs.AssignRightToBuffer();
        ApplyFilter();
        return 1;
      }
      return 0;
    default: return 0;
  }
}

// ---- Open, close and position ----

void ViewManager::Open() {
  if (!Opened && View) {
    RT_ASSERT(Order && Order->Records() > 0, "At least 1 view order must be specified");
    View->Open(kViewOpenMode);
    const rt::Long code = rt::ErrorCode();
    if (code == 0) {
      Opened = 1;
    } else if (code != rt::IsOpenErr) {  // opened elsewhere: used as it is, left open on Close
      Me().Throw(kViewOpenErrorId);
    }
    View->SetBuffering({PageSize, PagesBehind, PagesAhead, TimeOut});
  }
  ApplyOrder();
  ApplyFilter();
}

void ViewManager::Close() { Close(0); }

void ViewManager::Close(rt::Byte force) {
  if (!View || !(Opened || force)) return;
  View->Close();
  Opened = 0;
}

void ViewManager::Reset() { Reset(0); }

void ViewManager::Reset(rt::Long number) {
  Open();
  if (!View) return;
  if (number <= 0) {
    View->Set();
  } else {
    View->SetFromBuffer(static_cast<std::size_t>(number));
  }
  if (rt::ErrorCode() != 0) Me().Throw(kViewOpenErrorId);
}

// ---- Read ----

rt::Byte ViewManager::Next() { return Read(false); }
rt::Byte ViewManager::Previous() { return Read(true); }

rt::Byte ViewManager::Read(bool backward) {
  RT_ASSERT(View != nullptr, kNoView);
  if (!View) return Level::Fatal;
  for (;;) {
    if (backward) {
      View->Previous();
    } else {
      View->Next();
    }
    const rt::Long code = rt::ErrorCode();
    if (code == rt::NoRecErr) return Level::Notify;
    if (code != 0) {
      Me().Throw(kRetrievalErrorId);
      return Level::Fatal;
    }
    switch (ValidateRecord()) {
      case Validation::Accepted: return Level::Ok;
      case Validation::OutOfRange: return Level::Notify;
      default: break;
    }
  }
}

rt::Byte ViewManager::ValidateRecord() { return Validation::Accepted; }

// ---- Records ----

rt::Byte ViewManager::PrimeRecord(rt::Byte suppressClear) {
  if (!suppressClear) {
    for (std::size_t i = 1; i <= FileCount(); ++i) {
      if (rt::File* file = View->FileAt(i)) file->ClearRecord();
    }
  }
  if (SortOrder* active = Order ? Order->Current() : nullptr; active && active->RangeList) {
    const std::size_t n = active->RangeList->PairCount();
    std::size_t primed = 0;
    switch (active->LimitType) {
      case Limit::Equals:
      case Limit::EqualsLast:
      case Limit::EqualsAll: primed = n; break;
      case Limit::Between: primed = n >= 2 ? n - 2 : 0; break;
      default: break;
    }
    for (std::size_t i = 1; i <= primed; ++i) Me().GetField(active->MainKey, i).Assign(active->RangeList->At(i).Right);
  }
  return Me().PrimeRecord(1);
}

void ViewManager::ClearFilesRecord() {
  for (std::size_t i = 1; i <= FileCount(); ++i) {
    if (rt::File* file = View->FileAt(i)) file->SetProperty(rt::PropRecord, "");
  }
}

void ViewManager::SaveBuffers() {
  RT_ASSERT(View != nullptr, kNoView);
  RT_ASSERT(SavedBuffers != nullptr, kNotInitialized);
  if (!View || !SavedBuffers) return;
  SavedBuffers->clear();
  for (std::size_t i = 1; i <= FileCount(); ++i) {
    rt::File* file = View->FileAt(i);
    if (!file) {
      rt::AssertReport(kNoFile, __FILE__, __LINE__);
      continue;
    }
    if (FileManager* manager = FileRegistry->GetFileMapping(FilesManager::GetFileId(file)))
      SavedBuffers->push_back({manager->SaveBuffer(), manager});
  }
}

void ViewManager::RestoreBuffers() {
  RT_ASSERT(SavedBuffers != nullptr, kNotInitialized);
  if (!SavedBuffers) return;
  for (SavedViewBuffer& saved : *SavedBuffers) saved.FM->RestoreBuffer(saved.Buff, 1);
  SavedBuffers->clear();
}

// ---- Free element ----

rt::Byte ViewManager::GetFreeElementPosition() {
  const SortOrder* active = Order ? Order->Current() : nullptr;
  if (!active || active->MainKey == 0) return 0;
  const std::size_t pairs = active->RangeList ? active->RangeList->PairCount() : 0;
  const std::size_t n = pairs + (active->LimitType == Limit::Between ? 0 : 1);
  return n > Me().GetComponents(active->MainKey) ? 0 : static_cast<rt::Byte>(n);
}

std::string ViewManager::GetFreeElementName() {
  const rt::Byte position = GetFreeElementPosition();
  return position ? Me().GetFieldName(Order->Current()->MainKey, position) : std::string();
}

rt::Byte ViewManager::GetFreeElementAscending() {
  const rt::Byte position = GetFreeElementPosition();
  return position ? Me().GetFieldAscending(Order->Current()->MainKey, position) : 1;
}
