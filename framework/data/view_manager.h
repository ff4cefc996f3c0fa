#pragma once
// ViewManager: drives one runtime view (rt::View) over a primary file and the files joined to it.
// It keeps the sort orders (a key, an order text, a range limit over the key's leading components
// and named filters), builds the view's order and filter properties from them, opens, resets and
// reads the view with validation, primes new records inside the current range, and saves and
// restores the view files' record buffers. Owns its sort orders' range pairs and filter texts, the
// sort-order queue and the view when it made them, and the saved-buffer list; never the files,
// their managers or the error manager. Calls RelationManager, FileManager and the thread's
// FilesManager; errors go through the primary file manager's Throw.
//
// Subclass contract (the browse): may override ValidateRecord (Validation::OutOfRange stops a
// read, Validation::FilteredOut skips the record), ApplyRange, Kill, Next and Previous, calling
// these. Range limits are declared by setting the active order's LimitType and adding pairs to
// its RangeList (left: the field or variable that supplies the limit; right: the value the view
// is limited to), then ApplyRange or ApplyFilter. A subclass overriding one Close/Reset/SetFilter overload adds
// `using ViewManager::Close;` (and so on) to keep the other visible.
// Call order: Init → AddSortOrder (at least one) → Open → Reset/Next/Previous … → Close → Kill.

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/util/field_pairs.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"

namespace rt {
class View;
}
class FileManager;
class RelationManager;

// What ValidateRecord says of the record just read.
namespace Validation {
inline constexpr rt::Byte Accepted = 0;
inline constexpr rt::Byte OutOfRange = 1;   // stop reading
inline constexpr rt::Byte FilteredOut = 2;  // skip it and read on
}  // namespace Validation

// Kinds of range limit (SortOrder::LimitType). ApplyRange notices changes of the limits for the
// kinds that say so and applies the filter again.
namespace Limit {
inline constexpr rt::Byte None = 0;
inline constexpr rt::Byte Equals = 1;      // each component equals its limit
inline constexpr rt::Byte EqualsLast = 2;  // as Equals; a change of the last limit is noticed
inline constexpr rt::Byte Between = 3;     // the last-but-one component between the last two limits
inline constexpr rt::Byte EqualsAll = 4;   // as Equals; a change of any limit is noticed
}  // namespace Limit

// One named filter of a sort order.
struct FilterEntry {
  rt::FixedString<30> Id;
  std::string Filter;  // clipped, never empty
};
using FilterQueue = std::vector<FilterEntry>;  // in descending order of Id

inline constexpr std::string_view kStandardFilterId = "5 Standard";

// The range pairs of a sort order, one per limited key component in component order.
class RangePairsClass : public BufferedPairsClass {
 public:
  const Pair& At(std::size_t n) const { return (*List)[n - 1]; }  // 1-based, n <= PairCount()
};

struct SortOrder {
  virtual ~SortOrder() = default;
  std::unique_ptr<FilterQueue> Filter;  // null until a filter is set
  rt::FieldRef FreeElement;             // the first component of MainKey
  rt::Byte LimitType = Limit::None;
  std::size_t MainKey = 0;              // the primary file's key number; 0: none
  std::optional<std::string> Order;     // the view's order text, clipped; none when empty
  std::unique_ptr<RangePairsClass> RangeList;
};

// The sort orders; the current entry is the active order. A queue whose orders carry more (the
// browse's) overrides NewEntry to make its own entries.
class SortOrderQueue {
 public:
  SortOrderQueue() = default;
  virtual ~SortOrderQueue() = default;
  SortOrderQueue(const SortOrderQueue&) = delete;
  SortOrderQueue& operator=(const SortOrderQueue&) = delete;

  virtual std::unique_ptr<SortOrder> NewEntry() const { return std::make_unique<SortOrder>(); }
  std::size_t Add(std::unique_ptr<SortOrder> entry);  // the new entry becomes current; its number
  bool Select(std::size_t number);                     // false, nothing changed: no such entry
  std::size_t Records() const { return entries_.size(); }
  std::size_t Pointer() const { return current_; }     // 0: none
  SortOrder* Current() const { return current_ ? entries_[current_ - 1].get() : nullptr; }
  SortOrder& At(std::size_t number) const { return *entries_[number - 1]; }

 private:
  std::vector<std::unique_ptr<SortOrder>> entries_;
  std::size_t current_ = 0;
};

struct SavedViewBuffer {
  rt::UShort Buff = 0;       // FileManager::SaveBuffer's handle
  FileManager* FM = nullptr;
};

class ViewManager {
 public:
  ViewManager() = default;
  virtual ~ViewManager();
  ViewManager(const ViewManager&) = delete;
  ViewManager& operator=(const ViewManager&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual void Destruct();
  virtual void AppendOrder(std::string_view orderText);
  virtual void ApplyFilter();
  virtual void ApplyOrder();
  virtual rt::Byte ApplyRange();  // 1: the range changed and the filter was applied again
  virtual void Close();
  virtual void Close(rt::Byte force);
  virtual void ClearFilesRecord();
  virtual rt::Byte GetFreeElementAscending();
  virtual std::string GetFreeElementName();
  virtual rt::Byte GetFreeElementPosition();
  virtual void Kill();
  virtual rt::Byte Next();  // Level::Ok, Notify (no more in range), Fatal (read error, reported)
  virtual void Open();
  virtual rt::Byte Previous();
  virtual rt::Byte PrimeRecord(rt::Byte suppressClear = 0);
  virtual void Reset(rt::Long number);  // from the buffer's first `number` order values
  virtual void Reset();                 // the start of the current order
  virtual void RestoreBuffers();
  virtual void SaveBuffers();
  virtual void SetFilter(std::string_view filter);
  virtual void SetFilter(std::string_view filter, std::string_view id);
  virtual void SetOrder(std::string_view orderText);
  virtual rt::Byte SetSort(rt::Byte number);  // 1 when the active order changed
  virtual rt::Byte ValidateRecord();          // Validation::Accepted, OutOfRange or FilteredOut

  // ---- Not virtual ----
  // Over the caller's view (with its joins), which outlives the manager's Kill.
  void Init(rt::View& view, RelationManager& primary, SortOrderQueue* sortOrder = nullptr);
  // Over a view of the manager's own on the primary file manager's file.
  void Init(RelationManager& primary, SortOrderQueue* sortOrder = nullptr);
  rt::Byte AddSortOrder(std::size_t key);  // the new order's number; it becomes active
  void UseView();
  void UnuseView();

  // ---- Fields, in declaration order ----
  rt::Byte DisposeOrder = 0;
  rt::Byte Opened = 0;
  SortOrderQueue* Order = nullptr;
  rt::UShort PagesAhead = 0;
  rt::UShort PagesBehind = 2;
  rt::UShort PageSize = 20;
  RelationManager* Primary = nullptr;
  rt::UShort TimeOut = 60;
  rt::View* View = nullptr;
  std::unique_ptr<std::vector<SavedViewBuffer>> SavedBuffers;
  rt::Byte Inited = 0;
  rt::Byte Killed = 0;
  rt::Byte Used = 0;

 private:
  SortOrder* ActiveOrder();  // null after the assertion when there is none
  std::size_t FileCount() const;
  FileManager& Me() const;
  std::string RangeText(const SortOrder& order) const;
  rt::Byte Read(bool backward);
  // Sets a view property; a refusal is reported (id 43) and the view goes on without it.
  void SetViewProperty(rt::Long property, const std::string& value);

  std::unique_ptr<SortOrderQueue> ownOrder_;
  std::unique_ptr<rt::View> ownView_;
  std::vector<RelationManager*> usedRelations_;  // opened by UseView, closed by UnuseView
};
