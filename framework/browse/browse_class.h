#pragma once
// BrowseClass: shows the records of a view in a list one screenful at a time. Holds only the
// rows on screen in its list queue, loads them page by page from the view, scrolls by row, page
// and to either end, keeps the highlighted record in place across reloads, answers the list's
// keys, mouse and popup menu, and starts the update procedure for insert, change, delete and
// view. Owns its sort-order queue (with each order's reset pairs), its field pairs, its popup,
// its processors list and the StandardBehavior it made; never the view, the list queue, the
// list control, the files, the steps, the locators or the window. Calls the ViewManager it is,
// the window manager that owns it (through WindowComponent), runtime/ui on the window's thread
// and the error manager through the primary file manager.
//
// Subclass contract: a procedure derives its own browse and may override any virtual, calling
// the parent's. Call order: Init (window initialised, before or after it opens) → AddSortOrder
// (at least one) → AddField … → the window's SetAlerts and first Reset → events → Kill (the
// window's Kill calls it; the destructor calls it too). The window must outlive the browse's
// Kill. A procedure that offers query by example sets Query (and QueryControl) before SetAlerts.
// Edit in place (AskProcedure 0) is reached through the BrowseEditInPlace interface of
// edit_in_place.h: CheckEIP makes the manager on first use with the maker given by SetEIPMaker
// (framework/eip's UseEditInPlace gives it), or a procedure sets EIP to a manager of its own;
// without either, AskRecord answers Response::Cancelled.

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "framework/browse/edit_in_place.h"
#include "framework/browse/locator.h"
#include "framework/browse/standard_behavior.h"
#include "framework/browse/step_class.h"
#include "framework/data/view_manager.h"
#include "framework/util/field_pairs.h"
#include "framework/window/window_manager.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"

namespace rt {
class Queue;
class View;
class Window;
}  // namespace rt
class PopupClass;
class QueryClass;        // query by example (framework/query): set by the procedure, not owned
class RelationManager;
class ToolbarClass;
class ToolbarTarget;

// Directions of BrowseClass::Fetch.
inline constexpr rt::Byte FetchBackward = 1;
inline constexpr rt::Byte FetchForward = 2;

// Modes of BrowseClass::ResetQueue.
namespace Reset {
inline constexpr rt::Byte Reload = 1;  // rebuild from the rows shown now
inline constexpr rt::Byte Around = 2;  // the view is positioned on the record to make current
}  // namespace Reset

// The browse's own event numbers beside the runtime's scroll events.
inline constexpr rt::Long EventScrollUp = 3;
inline constexpr rt::Long EventScrollDown = 4;
inline constexpr rt::Long EventPageUp = 5;
inline constexpr rt::Long EventPageDown = 6;
inline constexpr rt::Long EventScrollTop = 7;
inline constexpr rt::Long EventScrollBottom = 8;
inline constexpr rt::Long EventLocate = 9;
inline constexpr rt::Long EventPreAlertKey = 16;
inline constexpr rt::Long EventScrollDrag = 20;

// The title of the toolbox the browse's toolbox button opens.
inline constexpr std::string_view kBrowseToolboxTitle = "Browse Actions";

// One sort order of a browse: the view's order plus its thumb step, locator and reset fields.
struct BrowseSortOrder : SortOrder {
  BrowseLocator* Locator = nullptr;           // not owned; null when the order has none
  std::unique_ptr<BufferedPairsClass> Resets;  // fields whose change reloads the list
  StepClass* Thumb = nullptr;                 // not owned; null when the order has none
};

class BrowseSortQueue final : public SortOrderQueue {
 public:
  std::unique_ptr<SortOrder> NewEntry() const override { return std::make_unique<BrowseSortOrder>(); }
  BrowseSortOrder* Current() const { return static_cast<BrowseSortOrder*>(SortOrderQueue::Current()); }
  BrowseSortOrder& At(std::size_t number) const { return static_cast<BrowseSortOrder&>(SortOrderQueue::At(number)); }
};

// A processor attached to the browse, killed with it.
class BrowseProcessor {
 public:
  virtual void Kill() = 0;

 protected:
  ~BrowseProcessor() = default;
};

class BrowseClass : public ViewManager {
 public:
  BrowseClass();
  ~BrowseClass() override;

  // ---- Life cycle ----
  void Init(IListControl& ilc, rt::View& view, BrowseQueue& queue, RelationManager& primary, WindowManager& window);
  // Over a runtime queue bound to the list control `listControl`: a StandardBehavior serves as
  // both interfaces; `position` is the queue field holding each row's view position.
  void Init(rt::Long listControl, rt::FieldRef position, rt::View& view, rt::Queue& queue, RelationManager& primary,
            WindowManager& window, const rt::RecordLayout* queueLayout = nullptr);
  using ViewManager::Init;
  // The new order (over the primary file's key `key`, 0: record order) becomes current; its
  // number is returned. `thumb` may be null.
  rt::Byte AddSortOrder(StepClass* thumb = nullptr, std::size_t key = 0);
  void AddLocator(BrowseLocator& locator);  // to the current sort order
  void AddResetField(rt::FieldRef field);   // to the current sort order
  void AddField(rt::FieldRef recordField, rt::FieldRef queueField);
  void AddProcessor(BrowseProcessor& processor);
  // How CheckEIP makes the edit-in-place manager on first use (the browse owns what it makes).
  void SetEIPMaker(EIPMaker maker) { eipMaker_ = std::move(maker); }

  // ---- ViewManager operations it overrides ----
  rt::Byte ApplyRange() override;
  void Kill() override;
  rt::Byte Next() override;
  rt::Byte Previous() override;

  // ---- Virtual operations, in slot order ----
  virtual rt::Byte Ask(rt::Byte request);
  virtual rt::Byte AskRecord(rt::Byte request);
  virtual void CheckEIP();  // makes EIP on first use when a maker was given
  virtual void Fetch(rt::Byte direction);
  virtual rt::Byte InitSort(rt::Byte order);
  virtual rt::Byte NotifyUpdateError();
  virtual void ResetFromAsk(rt::Byte& request, rt::Byte response);
  virtual void ResetFromBuffer();
  virtual void ResetFromFile();
  virtual void ResetFromView();
  virtual void ResetQueue(rt::Byte mode);
  virtual rt::Byte ResetSort(rt::Byte force);
  virtual void ScrollEnd(rt::Long event);
  virtual void ScrollOne(rt::Long event);
  virtual void ScrollPage(rt::Long event);
  virtual void SetAlerts();
  virtual void SetQueueRecord();
  virtual rt::Byte SetSort(rt::Byte order, rt::Byte force);
  virtual void SetUsePopup(rt::Byte flag) { UsePopup = flag; }
  virtual void SetUseMRP(rt::Byte flag) { UseMRP = flag; }
  virtual rt::Byte GetUseMRP() { return UseMRP; }
  virtual void TakeAcceptedLocator();
  virtual rt::Byte TakeEvent();
  virtual rt::Byte TakeKey();
  virtual void TakeLocate();
  virtual void TakeNewSelection();
  virtual void TakeScroll(rt::Long event = 0);
  virtual void TakeVCRScroll(rt::Long vcr);
  virtual void UpdateBuffer();
  virtual void UpdateResets();
  virtual void UpdateThumb();
  virtual void UpdateThumbFixed();
  virtual void UpdateViewRecord();
  virtual void UpdateWindow();

  // ---- Not virtual ----
  rt::Long Records();  // rows held; tells the locator; CurrentChoice 0 when none
  void ResetResets();
  void PostNewSelection();
  void ResetThumbLimits();
  // What the browse registers with its window.
  SelectingComponent& Component() { return component_; }

  // ---- Members, in declaration order ----
  rt::Byte ActiveInvisible = 0;
  rt::Byte AllowUnfilled = 0;
  rt::Byte ArrowAction = 0;
  rt::Byte DeleteAction = 0;
  rt::Long AskProcedure = 0;  // 0: edit in place
  std::unique_ptr<StandardBehavior> Behavior;
  rt::UShort Buffer = 0;
  rt::Long ChangeControl = 0;
  rt::Long CurrentChoice = 0;
  rt::Long CurrentEvent = 0;
  rt::Long DeleteControl = 0;
  BrowseEditInPlace* EIP = nullptr;  // owned when FreeEIP (made by CheckEIP), else the procedure's
  std::unique_ptr<EditColumnList> EditList;  // the columns edited in place
  rt::Byte EnterAction = 0;
  std::unique_ptr<FieldPairsClass> Fields;  // (record field, list queue field)
  rt::Byte FileLoaded = 0;
  rt::Byte UseMRP = 0;
  rt::Byte FocusLossAction = 0;
  rt::Byte FreeEIP = 0;
  rt::Byte HasThumb = 0;
  rt::Byte HideSelect = 0;
  IListControl* ILC = nullptr;
  rt::Long InsertControl = 0;
  rt::Long ItemsToFill = 0;
  rt::Long LastChoice = 0;
  rt::Long LastItems = 0;
  BrowseQueue* ListQueue = nullptr;
  rt::Byte LoadPending = 0;
  rt::Byte Loaded = 0;
  rt::Byte NeedRefresh = 0;
  std::unique_ptr<PopupClass> Popup;
  rt::Byte UsePopup = 0;
  rt::Byte EditViaPopup = 0;
  rt::Long PrevChoice = 0;
  rt::Long PrintControl = 0;
  rt::UShort PrintProcedure = 0;
  std::unique_ptr<std::vector<BrowseProcessor*>> Processors;
  QueryClass* Query = nullptr;  // not owned; Kill kills it
  rt::Long QueryControl = 0;
  rt::Long QueryResult = 0;
  rt::Byte QueryShared = 0;
  rt::Byte QuickScan = 0;
  rt::Byte RecordStatus = 0;
  rt::Byte RetainRow = 0;
  rt::Byte SavedSort = 0;
  rt::FixedString<512> SavedSortString;
  BrowseLocator* SavedLocator = nullptr;
  StepClass* SavedThumb = nullptr;
  rt::FieldRef SavedLocatorField;
  rt::Long SelectControl = 0;
  rt::Byte SelectWholeRecord = 0;
  rt::Byte Selecting = 0;
  std::unique_ptr<BrowseSortQueue> Sort;
  rt::Byte StartAtCurrent = 0;
  rt::Byte TabAction = 0;
  rt::Long ToolControl = 0;
  ToolbarClass* Toolbar = nullptr;  // not owned; set by the procedure that routes toolbar buttons here
  ToolbarTarget* ToolbarItem = nullptr;  // not owned: no toolbar target class is part of this module
  rt::Long ViewControl = 0;
  WindowManager* Window = nullptr;

 private:
  // The WindowComponent face the window drives; forwards to the browse.
  class ComponentFace final : public SelectingComponent {
   public:
    explicit ComponentFace(BrowseClass& browse) : browse_(browse) {}
    void Kill() override { browse_.Kill(); }
    void Reset(rt::Byte force) override { browse_.ResetSort(force); }
    rt::Byte ResetRequired() override { return browse_.ApplyRange(); }
    void SetAlerts() override { browse_.SetAlerts(); }
    rt::Byte TakeEvent() override;
    void Update() override { browse_.UpdateViewRecord(); }
    void UpdateWindow() override { browse_.UpdateWindow(); }
    void SetSelecting(rt::Byte selecting) override { browse_.Selecting = selecting; }

   private:
    BrowseClass& browse_;
  };

  BrowseSortOrder* CurrentSort() const { return Sort ? Sort->Current() : nullptr; }
  rt::Window* ListWindow() const;
  std::pair<rt::Long, rt::Long> BelowCurrentRow() const;  // where the Menu key opens the popup
  std::string ListProp(rt::Long property, rt::Long control = 0) const;
  void SetListProp(rt::Long property, std::string_view value, rt::Long control = 0);
  bool IsEnabled(rt::Long control) const;
  void PostTo(rt::Long event, rt::Long control);
  rt::Long PendingVcr() const;
  rt::Long KeyCode() const;  // the event's key; for a selection the browse posted, the key that caused it

  // Paging.
  rt::Long FindRow(const std::string& position);  // 1 when position is empty; 0 when not held
  std::string RowPosition(rt::Long row);
  void DeleteRow(rt::Long row);
  void SetReadAhead(rt::Long records);
  void PositionOnRecord();  // the view at the primary record
  void PositionAtFreeElement();
  // The view at the start (0) or at the buffer's first `components` order values; unlike the
  // manager's Reset it does not apply the order and filter again, so a bad filter is reported once.
  void ResetView(rt::Long components = 0);
  void TakeThumbDrag();
  void TakeChoiceChanged();

  // Keys.
  rt::Byte ButtonCheck(rt::Long control, bool copyRecord);
  rt::Byte LocatorCheck();
  rt::Byte FinishKey();
  void AlertOnList(rt::Long slot, rt::Long key);
  void AddPopupItem(rt::Long control, std::string_view text, std::string_view mimicText);

  // Query by example: the query's dialog (true: a query was taken; false without a query) and its
  // filter installed as the view filter "9 - QBE" of the current order, shown in QueryResult.
  rt::Byte QueryAsk();
  void QueryApplyFilter();

  ComponentFace component_{*this};
  EIPMaker eipMaker_;
  std::unique_ptr<BrowseEditInPlace> madeEIP_;  // what CheckEIP made; EIP points at it
  rt::Long readAhead_ = 0;  // the read-ahead set on the view, 0: the view's own
  std::string position_;    // the position of the row being added; its storage kept for the next
  rt::Long postedKey_ = 0;  // the key behind the selection PostNewSelection posted
};

// Rewrites each SQL(...) term of a filter so that it compares as true when evaluated here
// (" ''=SQL(" in place of the term's head). Returns whether the caller's reset was handled by
// it (never: the caller goes on).
bool RewriteServerFilter(std::string& filter);
