// BrowseClass paging: filling a page from the view, rebuilding the list around a record,
// scrolling by row, page and to either end, the toolbar's navigation and the scroll-bar thumb.
// Only the rows on screen are held; a scroll reads only the rows that come into view.

#include <algorithm>
#include <cmath>

#include "framework/browse/browse_class.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/levels.h"
#include "framework/window/toolbar.h"
#include "runtime/core/last_error.h"
#include "runtime/data/file.h"
#include "runtime/data/view.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/window.h"

namespace {

constexpr rt::Long kMaxReadAhead = 60;

}  // namespace

// ---- Rows ----

std::string BrowseClass::RowPosition(rt::Long row) { return ListQueue->ViewPositionAt(row); }

void BrowseClass::DeleteRow(rt::Long row) { ListQueue->Delete(row); }

rt::Long BrowseClass::FindRow(const std::string& position) {
  if (position.empty()) return 1;
  const rt::Long rows = ListQueue->Records();
  for (rt::Long row = 1; row <= rows; ++row)
    if (RowPosition(row) == position) return row;
  return 0;
}

void BrowseClass::SetReadAhead(rt::Long records) {
  if (!View || records == readAhead_) return;
  readAhead_ = records;
  // Back to the manager's own paging at 0.
  const std::size_t page = records > 0 ? static_cast<std::size_t>(records) : PageSize;
  View->SetBuffering({page, PagesBehind, PagesAhead, TimeOut});
}

// ---- Filling a page ----

void BrowseClass::Fetch(rt::Byte direction) {
  const bool forward = direction == FetchForward;
  const bool quickScan = QuickScan && ItemsToFill >= 2;
  if (quickScan) Primary->SetQuickScan(1);
  std::string skip;  // the edge row, read again first
  if (const rt::Long rows = ListQueue->Records(); rows > 0) {
    skip = RowPosition(forward ? rows : 1);
    View->Reset(skip);
  }
  bool first = !skip.empty();
  // One read of the driver fills the page: the rows wanted and the edge row read again. The view
  // holds no page here (Reset and the resets before a first fill drop it), so none is lost.
  if (UseMRP && ItemsToFill > 0) SetReadAhead(std::min(ItemsToFill + (first ? 1 : 0), kMaxReadAhead));
  while (ItemsToFill > 0) {
    const rt::Byte level = forward ? Next() : Previous();
    if (level == Level::Notify) break;
    if (level == Level::Fatal) break;  // reported, and the window is closing
    if (std::exchange(first, false) && View->Position() == skip) continue;
    if (const rt::Long rows = ListQueue->Records(); LastItems > 0 && rows >= LastItems) DeleteRow(forward ? 1 : rows);
    SetQueueRecord();
    if (forward) {
      ListQueue->Insert();
    } else {
      ListQueue->Insert(1);
    }
    --ItemsToFill;
  }
  if (quickScan) Primary->SetQuickScan(0);
}

// ---- Rebuilding the list ----

void BrowseClass::ResetQueue(rt::Byte mode) {
  std::string highlight;  // the position of the record to highlight
  if (!ActiveInvisible && !ILC->GetVisible()) {
    LoadPending = 1;
    return;
  }
  Loaded = 1;
  LoadPending = 0;
  rt::SetWaitCursor(true);
  if (CurrentChoice == 0) CurrentChoice = 1;
  rt::Long above = 0;  // rows wanted above the highlighted one
  bool noRows = false;
  if (mode == Reset::Around) {
    if (RetainRow) {
      if (LastItems > 0 && CurrentChoice > LastItems) {
        highlight = RowPosition(CurrentChoice);
        while (ListQueue->Records() > LastItems) {
          DeleteRow(1);
          --CurrentChoice;
        }
        ILC->SetChoice(CurrentChoice);
      }
      above = CurrentChoice - 1;
    }
  } else if (const rt::Long rows = ListQueue->Records(); rows > 0) {
    ListQueue->Fetch(CurrentChoice);
    if (rt::ErrorCode() != 0) ListQueue->Fetch(rows);
    highlight = ListQueue->GetViewPosition();
    View->Reset(RowPosition(1));
  } else {
    noRows = true;
    ResetView();
  }
  const rt::Long savedChoice = RetainRow ? CurrentChoice : 0;
  ListQueue->Free();
  ItemsToFill = std::max<rt::Long>(LastItems - above, 0);
  Fetch(FetchForward);
  const bool hitEnd = ItemsToFill != 0;
  if (highlight.empty() && ListQueue->Records() > 0) highlight = RowPosition(1);
  CurrentChoice = FindRow(highlight);
  if (RetainRow) above = savedChoice - CurrentChoice;

  if (ListQueue->Records() == 0) ResetView();
  ItemsToFill = AllowUnfilled ? 0 : std::max<rt::Long>(LastItems - ListQueue->Records(), 0);
  if (!noRows && (ItemsToFill > 0 || above > 0)) {
    ItemsToFill = std::max(ItemsToFill, above);
    Fetch(FetchBackward);
    if (highlight.empty() && ListQueue->Records() > 0) highlight = RowPosition(ListQueue->Records());
    CurrentChoice = FindRow(highlight);
  }
  if (RetainRow && (above < 0 || (ListQueue->Records() < LastItems && !hitEnd))) {
    ItemsToFill = std::max(-above, LastItems - ListQueue->Records());
    Fetch(FetchForward);
    CurrentChoice = FindRow(highlight);
  }
  while (LastItems > 0 && ListQueue->Records() > LastItems) {
    if (above < 0) {
      DeleteRow(1);
      ++above;
      --CurrentChoice;
    } else {
      DeleteRow(ListQueue->Records());
    }
  }
  if (CurrentChoice <= 0) CurrentChoice = 1;
  if (ListQueue->Records() > 0) {
    UpdateBuffer();
  } else if (Primary->Me->File) {
    Primary->Me->File->ClearRecord();
  }
  rt::SetWaitCursor(false);
}

// ---- Scrolling ----

void BrowseClass::ScrollOne(rt::Long event) {
  CurrentEvent = event;
  if (event == EventScrollUp && CurrentChoice >= 2) {
    --CurrentChoice;
  } else if (event == EventScrollDown && CurrentChoice < ListQueue->Records()) {
    ++CurrentChoice;
  } else if (!FileLoaded) {
    ItemsToFill = 1;
    Fetch(event == EventScrollUp ? FetchBackward : FetchForward);
  }
}

void BrowseClass::ScrollPage(rt::Long event) {
  CurrentEvent = event;
  rt::Long n = ILC->GetItems();
  if (!FileLoaded) {
    ItemsToFill = n;
    Fetch(event == EventPageUp ? FetchBackward : FetchForward);
    n = ItemsToFill;  // the rows that were not there to read
  }
  if (event == EventPageUp) {
    CurrentChoice = std::max<rt::Long>(CurrentChoice - n, 1);
  } else {
    CurrentChoice = std::min(CurrentChoice + n, ListQueue->Records());
  }
  // The runtime keeps the selected row in view, so a loaded file needs no top-row fix-up.
  if (FileLoaded) ILC->SetChoice(CurrentChoice);
}

void BrowseClass::ScrollEnd(rt::Long event) {
  CurrentEvent = event;
  if (!FileLoaded) {
    ListQueue->Free();
    ResetView();
    ItemsToFill = ILC->GetItems();
    Fetch(event == EventScrollBottom ? FetchBackward : FetchForward);
  }
  CurrentChoice = event == EventScrollTop ? 1 : ListQueue->Records();
}

void BrowseClass::TakeScroll(rt::Long event) {
  if (event == 0) event = rt::Event();
  if (Records() == 0) return;
  switch (event) {
    case EventScrollUp:
    case EventScrollDown: ScrollOne(event); break;
    case EventPageUp:
    case EventPageDown: ScrollPage(event); break;
    case EventScrollTop:
    case EventScrollBottom: ScrollEnd(event); break;
    default: return;
  }
  TakeChoiceChanged();
}

void BrowseClass::TakeChoiceChanged() {
  const BrowseSortOrder* order = CurrentSort();
  if (order && order->Locator) order->Locator->Reset();
  PostNewSelection();
  if (!order || !order->Thumb) UpdateThumbFixed();
  UpdateBuffer();
}

void BrowseClass::TakeVCRScroll(rt::Long vcr) {
  rt::Long event = 0;
  switch (vcr) {
    case ToolbarButton::Down: event = EventScrollDown; break;
    case ToolbarButton::Up: event = EventScrollUp; break;
    case ToolbarButton::PageDown: event = EventPageDown; break;
    case ToolbarButton::PageUp: event = EventPageUp; break;
    case ToolbarButton::Top: event = EventScrollTop; break;
    case ToolbarButton::Bottom: event = EventScrollBottom; break;
    default: return;
  }
  TakeScroll(event);
  Window->Reset(0);
  Window->Update();
}

// ---- The thumb ----

void BrowseClass::UpdateThumb() {
  const rt::Long rows = Records();
  if (!(HasThumb && (rows >= LastItems || AllowUnfilled))) {
    SetListProp(rt::PROP_VScroll, "");
    return;
  }
  SetListProp(rt::PROP_VScroll, "1");
  BrowseSortOrder* order = CurrentSort();
  if (!order || !order->Thumb || order->FreeElement.IsNull()) {
    UpdateThumbFixed();
  } else if (Loaded && !LoadPending) {
    UpdateBuffer();
    rt::Long position = order->Thumb->GetPercentile(order->FreeElement);
    if (rows == LastItems) {
      if (position == 1) position = 0;
      if (position == 99) position = 100;
    }
    SetListProp(rt::PROP_VScrollPos, std::to_string(position));
  }
}

void BrowseClass::UpdateThumbFixed() {
  const rt::Long rows = ListQueue->Records();
  const rt::Long visible = ILC->GetItems();
  rt::Long position = 50;
  if (FileLoaded && rows > visible) {
    position = CurrentChoice <= 1 ? 0 : std::lround(static_cast<double>(CurrentChoice) * (rows - visible) / rows);
  }
  // A jump to an end is at that end even when it filled a whole page.
  const bool ranOut = ItemsToFill != 0 || CurrentEvent == EventScrollTop || CurrentEvent == EventScrollBottom;
  if (ranOut) {
    const bool downward = CurrentEvent == EventScrollDown || CurrentEvent == EventPageDown || CurrentEvent == EventScrollBottom;
    if (downward && CurrentChoice == rows) {
      position = HasThumb ? 100 : rows;
    } else if (CurrentChoice == 1) {
      position = 0;
    }
  }
  SetListProp(rt::PROP_VScrollPos, std::to_string(position));
}

void BrowseClass::ResetThumbLimits() {
  BrowseSortOrder* order = CurrentSort();
  if (!order || !order->Thumb || order->FreeElement.IsNull() || !order->Thumb->SetLimitNeeded()) return;
  if (!AllowUnfilled && ListQueue->Records() < LastItems) return;
  rt::FieldValue last = rt::FieldValue::ClearedLike(order->FreeElement);
  rt::FieldValue first = rt::FieldValue::ClearedLike(order->FreeElement);
  ResetView();
  SetReadAhead(0);
  if (Previous() == Level::Ok) last.Ref().Assign(order->FreeElement);
  ResetView();
  if (Next() == Level::Ok) first.Ref().Assign(order->FreeElement);
  order->Thumb->SetLimit(first.Ref(), last.Ref());
  // The reads above loaded other records; the highlighted one is current again.
  UpdateBuffer();
}

void BrowseClass::TakeThumbDrag() {
  rt::Long v = rt::PropNumber(ListProp(rt::PROP_VScrollPos));
  if (v <= 1) {
    PostTo(EventScrollTop, ILC->GetControl());
    return;
  }
  const rt::Long rows = ListQueue->Records();
  const rt::Long visible = ILC->GetItems();
  if (rows > visible) v = v * 100 / (rows - visible);
  if (v >= 100) {
    PostTo(EventScrollBottom, ILC->GetControl());
    return;
  }
  if (FileLoaded && rows > visible) {
    CurrentChoice = std::clamp<rt::Long>(v * rows / 100, 1, rows);
    ILC->SetChoice(CurrentChoice);
    return;
  }
  BrowseSortOrder* order = CurrentSort();
  if (order && order->Thumb && !order->FreeElement.IsNull()) {
    // A step without values (the base one) cannot say where to go: it pages like no step.
    if (const std::string value = order->Thumb->GetValue(static_cast<rt::Byte>(v)); !value.empty()) {
      order->FreeElement.SetText(value);
      ResetFromBuffer();
      return;
    }
  }
  PostTo(v < 50 ? EventPageUp : EventPageDown, ILC->GetControl());
}
