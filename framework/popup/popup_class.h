#pragma once
// PopupClass: a named, ordered list of menu items that becomes the runtime's popup-menu text,
// is shown with the runtime's popup and maps the user's choice back to an item, posting the
// item's event or pressing the button it mimics. Owns the item list; never owns the windows
// whose controls it reads or posts to (runtime/ui), nor the translator or INI manager it is
// handed. The toolbox (the items as a floating window of buttons on a thread of its own) is
// popup_toolbox.cpp's.
//
// Created by a window procedure or a browse; Init creates the list on the calling thread (the
// thread that chosen items post to), Kill closes the toolbox and frees the list, the destructor
// calls Kill. A subclass may override the virtuals; every operation runs on the thread that
// called Init, except those the toolbox thread runs, which work on a copy of the items that the
// owner's thread took (see Toolbox).

#include <atomic>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/types.h"

class INIClass;
namespace rt {
class Window;
}

// Turns a text shown to the user into the user's language.
class TranslatorInterface {
 public:
  virtual std::string TranslateString(std::string_view text) const = 0;

 protected:
  ~TranslatorInterface() = default;
};

// One item of a popup menu.
struct PopupItemQueue {
  rt::Long ControlId = 0;   // receives the posted event; 0 = none
  rt::Long Depth = 1;       // 1 = top level; deeper than the item before opens a submenu under it
  rt::Long Event = 0;       // posted when chosen; 0 = none
  rt::Byte MimicMode = 0;   // 1 = mimics the button or item ControlId
  rt::Byte Disabled = 0;    // 0 = not set (a mimic follows its control), 1 = disabled, 2 = enabled
  rt::Byte Check = 0;       // 0 = none, 1 = checked, 2 = unchecked
  rt::Byte OnToolbox = 0;
  std::string Icon;
  std::string Name;         // unique; the key of every operation
  std::string Text;         // exactly "-" for a separator
};

class PopupClass {
 public:
  PopupClass() = default;
  virtual ~PopupClass() { Kill(); }
  PopupClass(const PopupClass&) = delete;
  PopupClass& operator=(const PopupClass&) = delete;

  // ---- Life cycle ----
  virtual void Init();
  virtual void Kill();

  // ---- Building the list (each returns the item's stored name) ----
  virtual std::string AddItem(std::string_view text);
  virtual std::string AddItem(std::string_view text, std::string_view name);
  // Immediately after the item named `after` (at the end when none is), at `depth` (0: the
  // depth of the item it follows).
  virtual std::string AddItem(std::string_view text, std::string_view name, std::string_view after, rt::Long depth);
  virtual std::string AddItemEvent(std::string_view name, rt::Long eventNo, rt::Long controlId);
  // `controlId` must be a button or a menu item of the calling thread's window.
  virtual std::string AddItemMimic(std::string_view name, rt::Long controlId, std::string_view text = {});
  // A whole menu text ("A|B{C|D}|E"); position 0 replaces the list, otherwise the first item
  // parsed becomes item `position`.
  virtual void AddMenu(std::string_view menuText, rt::Long position = 0);
  virtual void AddSubMenu(std::string_view text, std::string_view menuText, std::string_view after);
  virtual void AddSubMenu(std::string_view menuText, std::string_view after);

  // ---- Changing items (nothing happens for a name no item has) ----
  virtual void DeleteItem(std::string_view name);
  virtual void SetIcon(std::string_view name, std::string_view icon);
  virtual void SetToolbox(std::string_view name, rt::Byte state);
  virtual void SetItemEnable(std::string_view name, rt::Byte state);
  virtual void SetItemCheck(std::string_view name, rt::Byte state);  // true: checked, false: unchecked

  // ---- Query ----
  virtual rt::Byte LocateName(std::string_view name);  // position 1.., 0 = none; loads the item
  virtual rt::Long GetItems(rt::Byte numbered = 0) const;
  virtual std::string GetName(rt::Long number) const;
  virtual std::string GetMenuText();
  virtual std::string GetLastSelection() const { return LastSelection; }
  // The item LocateName found last; nullptr when none.
  const PopupItemQueue* Loaded() const;

  // ---- Showing ----
  virtual rt::Long ExecutePopup(std::string_view menuText, rt::Long x = 0, rt::Long y = 0);
  virtual std::string Ask(rt::Long x = 0, rt::Long y = 0);

  // ---- Toolbox ----
  // Opens the toolbox titled `title` on a new thread (nothing while one is open): a button for
  // every item on the toolbox, pressed like choosing the item. The items are copied now, with
  // mimics refreshed against this thread's window; ResetToolbox copies them again.
  virtual void Toolbox(std::string_view title);
  // The toolbox thread's procedure: opens the window and runs it until it is closed.
  virtual void AskToolbox(std::string_view title);
  // On the owner's thread: copies the items again and has the toolbox lay itself out anew; on
  // the toolbox thread: lays the buttons out from the latest copy.
  virtual void ResetToolbox();

  // ---- Fields ----
  rt::Byte ClearKeycode = 0;
  std::string LastSelection;
  rt::Long LastNumberSelection = 0;
  std::unique_ptr<std::vector<PopupItemQueue>> PopupItems;  // null outside Init..Kill
  const TranslatorInterface* Translator = nullptr;           // not owned
  INIClass* INIMgr = nullptr;                                // not owned
  std::atomic<rt::Byte> InToolbox{0};  // 1 while the toolbox is open; read on both threads
  rt::Long MyThread = 0;
  rt::Window* ParentWindow = nullptr;  // not owned: the window that opened the toolbox
  rt::Window* ThisWindow = nullptr;    // not owned: the toolbox window (toolbox thread only)

 protected:
  std::string GetUniqueName(std::string_view text) const;
  std::string SetItem(rt::Long position, rt::Long depth, std::string_view text, std::string_view name);
  // The item as it is shown now: a mimic takes its control's text, state and icon.
  PopupItemQueue CheckMimics(const PopupItemQueue& item) const;
  static std::string RemoveAmpersand(std::string_view text);

 private:
  std::string InsertItem(std::size_t index, rt::Long depth, std::string_view text, std::string_view name);
  PopupItemQueue* Item(std::string_view name);
  static bool IsNumbered(const std::vector<PopupItemQueue>& items, std::size_t index, bool toolboxOnly);
  static std::string NameOf(const std::vector<PopupItemQueue>& items, rt::Long number, bool toolboxOnly);
  // The toolbox thread's side of Ask: the button pressed, mapped through the copied items.
  std::string AskOnToolbox();
  // Runs the toolbox window until a button is pressed (its number) or it is closed (0).
  rt::Long RunToolbox();
  // What choosing `item` does: posts its event, or presses the control it mimics.
  void TakeChoice(const PopupItemQueue& item) const;
  std::vector<PopupItemQueue> RefreshedItems() const;
  std::vector<PopupItemQueue> ToolboxItems() const;
  bool OnToolboxThread() const;
  void CloseToolbox();

  struct ToolboxState;                    // shared by this object and the toolbox thread
  std::shared_ptr<ToolboxState> toolbox_;
  std::size_t loaded_ = 0;  // 1-based position of the item LocateName found, 0 for none
};

// The toolbox thread's entry: runs `popup`'s toolbox until it is closed.
void PopToolbox(PopupClass& popup, std::string title);
