#pragma once
// BrowseEIPManager: edit in place for a BrowseClass. Prepares the browse's current row for
// insert or change (a new row primed from the view and put in the page), deletes without
// editing, saves the row through the browse's primary relation manager with the confirmation
// its settings ask for, and afterwards resets the browse as after an update form. Owns nothing
// beyond its EIPManager part; refers to the browse (which owns it, its field pairs and its
// column list) and calls the browse, the relation and file managers and the error manager.
//
// How it meets the browse: fw_eip depends on fw_browse, never the other way. The browse knows
// only the BrowseEditInPlace interface (framework/browse/edit_in_place.h); UseEditInPlace gives
// it a maker, and the browse's CheckEIP makes this manager on its first insert, change or
// delete and frees it in its Kill. Settings are the browse's own: ArrowAction, EnterAction,
// TabAction, FocusLossAction (see eip_manager.h) and DeleteAction, which here means 4: delete
// after the "Confirm Delete" question, 2: do not delete, any other value: delete at once.

#include <memory>

#include "framework/browse/edit_in_place.h"
#include "framework/eip/edit_class.h"
#include "framework/eip/eip_manager.h"

class BrowseClass;

class BrowseEIPManager final : public EIPManager, public BrowseEditInPlace {
 public:
  explicit BrowseEIPManager(BrowseClass& browse) : BC(browse) {}

  rt::Byte Run(rt::Byte request) override;
  using EIPManager::Run;

  // ---- Overrides, in slot order ----
  rt::Byte Init() override;
  rt::Byte Kill() override;
  rt::Byte TakeNewSelection() override;
  void ClearColumn() override;  // and the row keeps what the cell took
  void TakeCompleted(rt::Byte force) override;
  using EIPManager::TakeCompleted;

  BrowseClass& BC;

 private:
  void TakeBrowseSettings();  // the browse's window, list, pairs, columns and settings
  rt::Byte InitInsert();
  rt::Byte DeleteRow();
  void SaveRow();
  void RemoveInsertedRow();
};

// Makes `browse` edit its rows in place: AskProcedure 0 and a maker for BrowseEIPManager.
void UseEditInPlace(BrowseClass& browse);
// The control that edits list queue field `field` (null: its column is shown, greyed, and not
// edited). The browse frees it with its column list; columns given none get an entry control.
void AddEditControl(BrowseClass& browse, std::unique_ptr<EditClass> control, rt::Long field);
