// BrowseClass events: the list's events, its keys and mouse, the buttons it drives, selecting
// mode, the popup menu and the alerts behind it, the locator and the query hooks, and showing
// the browse's state in its window.

#include <algorithm>

#include "framework/browse/browse_class.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/levels.h"
#include "framework/popup/popup_class.h"
#include "framework/query/query_class.h"
#include "framework/window/toolbar.h"
#include "runtime/ui/accept_loop.h"
#include "runtime/ui/list_format.h"
#include "runtime/ui/window.h"

namespace {

// List properties the runtime may report about the last mouse action on a list.

// Alert slots on the list. Each key has a slot of its own, so no alert writes over another.
constexpr rt::Long kSlotDoubleClick = 252;
constexpr rt::Long kSlotRightUp = 249;
constexpr rt::Long kSlotMenuKey = 250;
constexpr rt::Long kSlotInsert = 255;
constexpr rt::Long kSlotChange = 253;
constexpr rt::Long kSlotDelete = 254;
constexpr rt::Long kSlotView = 251;

}  // namespace

rt::Byte BrowseClass::ComponentFace::TakeEvent() {
  browse_.TakeEvent();
  return Level::Ok;  // the browse never ends its window's dispatch
}

rt::Long BrowseClass::KeyCode() const {
  const rt::Long key = rt::Keycode();
  return key != 0 ? key : postedKey_;
}

// ---- Events ----

rt::Byte BrowseClass::TakeEvent() {
  const rt::Window* window = ListWindow();
  if (!window || !ILC) return Level::Ok;
  const rt::EventRecord event = window->CurrentEvent();
  if (event.control != 0 && event.control == ILC->GetControl()) {
    switch (event.code) {
      case EventScrollUp:
      case EventScrollDown:
      case EventPageUp:
      case EventPageDown:
      case EventScrollTop:
      case EventScrollBottom: TakeScroll(event.code); break;
      case EventScrollDrag: TakeThumbDrag(); break;
      case rt::EVENT_AlertKey: TakeKey(); break;
      case rt::EVENT_NewSelection: TakeNewSelection(); break;
      case EventLocate: TakeLocate(); break;
      default: break;
    }
  } else if (event.control == 0) {
    CurrentChoice = ILC->Choice();
  }
  // A saved query chosen from the popup's submenu.
  if (event.code == rt::EVENT_NewSelection && QueryControl != 0 && event.control == QueryControl && Query &&
      Query->Take(Popup.get()))
    TakeLocate();

  NeedRefresh = 0;
  if (event.code == rt::EVENT_Accepted && event.control != 0) {
    const rt::Long control = event.control;
    const auto ask = [&](rt::Byte request) {
      Window->Update();
      if (!NeedRefresh) Ask(request);
    };
    if (control == DeleteControl) {
      ask(Request::Delete);
    } else if (control == ChangeControl) {
      ask(Request::Change);
    } else if (control == InsertControl) {
      ask(Request::Insert);
    } else if (control == ViewControl) {
      ask(Request::View);
    } else if (control == SelectControl) {
      Window->Response = Response::Completed;
      PostTo(rt::EVENT_CloseWindow, 0);
    } else if (control == PrintControl) {
      UpdateViewRecord();
      if (!NeedRefresh) {
        Window->Run(PrintProcedure, Request::Print);
        UpdateBuffer();
      }
    } else if (control == QueryControl) {
      if (Query) Query->ClearQuery();
      TakeLocate();
    } else if (control == ToolControl) {
      Popup->Toolbox(kBrowseToolboxTitle);
    } else {
      TakeAcceptedLocator();
    }
  }

  if (NeedRefresh) {
    ResetQueue(Reset::Around);
    NeedRefresh = 0;
  } else if (event.code == rt::EVENT_CloseWindow && Selecting) {
    if (Window->Response != Response::Completed) {
      Primary->Me->RestoreBuffer(Buffer, 1);
    } else {
      Primary->Me->RestoreBuffer(Buffer, 0);
      if (SelectWholeRecord) {
        UpdateViewRecord();
      } else {
        UpdateBuffer();
      }
    }
  }
  return Level::Ok;
}

// ---- Keys ----

rt::Byte BrowseClass::TakeKey() {
  const rt::Long key = rt::Keycode();
  if (key == rt::KEY_MouseRightUp) {
    if (const rt::Long row = rt::PropNumber(ListProp(rt::PROP_MouseDownRow)); row >= 1) CurrentChoice = row;
    PostNewSelection();
    return 0;
  }
  if (Records() == 0) {
    const rt::Byte handled = LocatorCheck();
    return handled ? handled : ButtonCheck(key == rt::KEY_Insert ? InsertControl : 0, false);
  }
  switch (key) {
    case rt::KEY_Insert: return ButtonCheck(InsertControl, false);
    case rt::KEY_Delete:
      if (!IsEnabled(DeleteControl)) return 0;
      PostTo(rt::EVENT_Accepted, DeleteControl);
      return FinishKey();
    case rt::KEY_CtrlEnter: return ButtonCheck(ChangeControl, true);
    case rt::KEY_ShiftEnter: return ButtonCheck(ViewControl, true);
    case rt::KEY_MouseLeft2:
      if (Selecting) {
        if (!IsEnabled(SelectControl)) return 0;
        PostTo(rt::EVENT_Accepted, SelectControl);
        return FinishKey();
      }
      // Only a double click on a row's cell changes its record.
      if (rt::PropNumber(ListProp(rt::PROP_MouseDownZone)) == rt::LISTZONE_Cell) return ButtonCheck(ChangeControl, true);
      return 0;
    case rt::KEY_AppsKey: return FinishKey();
    default: return LocatorCheck();
  }
}

rt::Byte BrowseClass::ButtonCheck(rt::Long control, bool copyRecord) {
  if (!IsEnabled(control)) return 0;
  PostTo(rt::EVENT_Accepted, control);
  if (copyRecord) UpdateBuffer();
  return FinishKey();
}

rt::Byte BrowseClass::FinishKey() {
  UpdateWindow();
  PostNewSelection();
  return 1;
}

rt::Byte BrowseClass::LocatorCheck() {
  const BrowseSortOrder* order = CurrentSort();
  if (!order || !order->Locator) return 0;
  if (order->Locator->TakeKey()) {
    PositionAtFreeElement();
    ResetQueue(Reset::Around);
    return FinishKey();
  }
  return ListQueue->Records() > 0 ? FinishKey() : 0;
}

void BrowseClass::TakeAcceptedLocator() {
  const BrowseSortOrder* order = CurrentSort();
  if (!order || !order->Locator || order->Locator->Control == 0) return;
  if (rt::Accepted() != order->Locator->Control || !order->Locator->TakeAccepted()) return;
  PositionAtFreeElement();
  if (rt::Window* window = ListWindow()) window->Select(ILC->GetControl());
  ResetQueue(Reset::Around);
  order->Locator->Refresh();
  UpdateWindow();
  PostNewSelection();
}

// ---- Selection ----

void BrowseClass::PostNewSelection() {
  const rt::Long key = rt::Keycode();
  if (PrevChoice == 0 && CurrentChoice == 0 && key != rt::KEY_MouseRightUp) return;
  PrevChoice = CurrentChoice;
  ILC->SetChoice(CurrentChoice);
  // The posted event carries no key; the popup keys must still reach TakeNewSelection.
  postedKey_ = key;
  PostTo(rt::EVENT_NewSelection, ILC->GetControl());
}

void BrowseClass::TakeNewSelection() {
  const rt::Long key = KeyCode();
  postedKey_ = 0;
  if (Records() == 0) return;
  CurrentChoice = LastChoice = ILC->Choice();
  UpdateBuffer();
  if (key != rt::KEY_MouseRightUp && key != rt::KEY_AppsKey) {
    Window->Reset(0);
  } else if (UsePopup) {
    rt::SetKeycode(0);
    if (key == rt::KEY_AppsKey) {
      const auto [x, y] = BelowCurrentRow();
      Popup->Ask(x, y);
    } else {
      Popup->Ask();  // the runtime opens it at the mouse
    }
  }
}

// Where the Menu key opens the popup: just below the highlighted row, a little in from the
// list's left edge, in the window's units (a list line and its heading line are 10 high).
std::pair<rt::Long, rt::Long> BrowseClass::BelowCurrentRow() const {
  rt::Window* window = ListWindow();
  if (!window || !ILC) return {0, 0};
  const rt::Long list = ILC->GetControl();
  const auto columns = rt::ParseListFormat(window->GetProp(list, rt::PROP_Text, 0));
  const bool headings = columns && std::any_of(columns->begin(), columns->end(), [](const rt::ListColumn& c) { return c.hasHeading; });
  const rt::Long x = rt::PropNumber(window->GetProp(list, rt::PROP_XPos, 0)) + 8;
  const rt::Long y = rt::PropNumber(window->GetProp(list, rt::PROP_YPos, 0)) + (headings ? 10 : 0) +
                     std::max<rt::Long>(CurrentChoice, 1) * 10;
  return {std::max<rt::Long>(x, 1), std::max<rt::Long>(y, 1)};
}

// ---- Showing the browse ----

void BrowseClass::UpdateWindow() {
  const BrowseSortOrder* order = CurrentSort();
  if (order && order->Locator) order->Locator->UpdateWindow();
  rt::Window* window = ListWindow();
  if (!window) return;
  const bool rows = Records() > 0;
  for (const rt::Long control : {ChangeControl, DeleteControl, PrintControl, ViewControl}) {
    if (control == 0) continue;
    if (rows) {
      window->Enable(control);
    } else {
      window->Disable(control);
    }
  }
  if (SelectControl != 0) {
    if (Selecting && rows && Window->Request == Request::Select) {
      window->Enable(SelectControl);
      window->SetProp(SelectControl, rt::PROP_Default, "1", 0);
    } else {
      window->Disable(SelectControl);
      if (!Selecting && HideSelect) window->Hide(SelectControl);
    }
  }
  UpdateThumb();
  if (Toolbar && Toolbar->CurrentTarget()) Toolbar->DisplayButtons();
  window->Display(ILC->GetControl());
  ILC->SetChoice(CurrentChoice);
}

// ---- Alerts and the popup menu ----

void BrowseClass::AlertOnList(rt::Long slot, rt::Long key) {
  if (rt::Window* window = ListWindow()) window->SetProp(ILC->GetControl(), rt::PROP_Alrt, std::to_string(key), slot);
}

void BrowseClass::AddPopupItem(rt::Long control, std::string_view text, std::string_view mimicText) {
  Popup->AddItemMimic(Popup->AddItem(text), control, mimicText);
}

void BrowseClass::SetAlerts() {
  rt::Window* window = ListWindow();
  if (!window || !ILC) return;
  const rt::Long list = ILC->GetControl();
  AlertOnList(kSlotDoubleClick, rt::KEY_MouseLeft2);
  AlertOnList(kSlotRightUp, rt::KEY_MouseRightUp);
  AlertOnList(kSlotMenuKey, rt::KEY_AppsKey);
  // The browse holds a page only: scrolling past it must come back as events, and the bar is
  // the browse's own.
  window->SetProp(list, rt::PROP_Imm, "1", 0);
  HasThumb = rt::PropNumber(window->GetProp(list, rt::PROP_VScroll, 0)) != 0;
  window->SetProp(list, rt::PROP_VScroll, "", 0);
  for (std::size_t i = 1; Sort && i <= Sort->Records(); ++i)
    if (BrowseLocator* locator = Sort->At(i).Locator) locator->SetAlerts(list);
  if (EditViaPopup) {
    struct Action {
      rt::Long control, slot, key;
      std::string_view text, mimic;
    };
    for (const Action& a : {Action{InsertControl, kSlotInsert, rt::KEY_Insert, "&Insert", "!&Insert"},
                            Action{ChangeControl, kSlotChange, rt::KEY_CtrlEnter, "&Change", "!&Change"},
                            Action{DeleteControl, kSlotDelete, rt::KEY_Delete, "&Delete", "!&Delete"},
                            Action{ViewControl, kSlotView, rt::KEY_ShiftEnter, "&View", "!&View"}}) {
      if (a.control == 0) continue;
      AlertOnList(a.slot, a.key);
      AddPopupItem(a.control, a.text, a.mimic);
    }
  }
  if (PrintControl) AddPopupItem(PrintControl, "&Print", "!&Print");
  if (QueryControl) {
    if (Popup->GetItems() > 0) Popup->AddItem("-", "Separator2");
    AddPopupItem(QueryControl, "&Query", "!&Query");
    if (Query && Query->QuickPopupOffered()) Query->SetQuickPopup(*Popup, static_cast<rt::UShort>(QueryControl));
  }
  if (SelectControl && Selecting) AddPopupItem(SelectControl, "&Select", "!&Select");
  if (ToolControl) {
    Popup->AddItem("-", "ToolSeparator2");
    const std::string name = Popup->AddItemMimic(Popup->AddItem("&Toolbox"), ToolControl, "!&Toolbox");
    Popup->SetToolbox(name, 0);  // the toolbox does not open itself
  }
}

// ---- Query by example ----

void BrowseClass::TakeLocate() {
  if (!QueryAsk()) return;
  if (QueryShared) {
    const rt::Byte current = static_cast<rt::Byte>(Sort->Pointer());
    for (std::size_t order = 1; order <= Sort->Records(); ++order) {
      ViewManager::SetSort(static_cast<rt::Byte>(order));
      QueryApplyFilter();
    }
    ViewManager::SetSort(current);
  } else {
    QueryApplyFilter();
  }
  ResetSort(1);
  if (Query->QuickPopupOffered() && Popup) Query->SetQuickPopup(*Popup, static_cast<rt::UShort>(QueryControl));
}

rt::Byte BrowseClass::QueryAsk() { return Query && Query->Ask(true) ? 1 : 0; }

void BrowseClass::QueryApplyFilter() {
  const std::string filter = Query->GetFilter();
  SetFilter(filter, kQueryFilterId);
  if (QueryResult) SetListProp(rt::PROP_Text, filter, QueryResult);
}
