#pragma once
// What a browse knows of edit in place: the list of columns it edits (EditColumnList, owned by
// the browse and filled by its user or by the edit-in-place manager) and the one call it makes
// on the manager (BrowseEditInPlace::Run). The manager itself lives in framework/eip, which
// depends on the browse; the browse never includes it. A user of edit in place hands the browse
// a maker (UseEditInPlace in framework/eip/browse_eip_manager.h, or SetEIPMaker by hand), which
// CheckEIP calls on first use. Owns the entries and the edit controls handed over to be freed;
// calls nothing.

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "runtime/core/types.h"

class BrowseClass;
class EditClass;  // framework/eip: only pointers and its deleter travel here

// One column of the list as edit in place sees it.
struct EditColumn {
  rt::Long Field = 0;            // the field's number in the list queue
  rt::Byte FreeUp = 0;           // the control was handed over and is freed with the list
  EditClass* Control = nullptr;  // null: the column is shown but not edited
  rt::Long Column = 0;           // the list column showing the field (set when editing starts)
};

class EditColumnList {
 public:
  // Frees an owned control; given by whoever hands one over, since EditClass is not complete here.
  using Deleter = void (*)(EditClass*);

  EditColumnList() = default;
  ~EditColumnList();
  EditColumnList(const EditColumnList&) = delete;
  EditColumnList& operator=(const EditColumnList&) = delete;

  // Adds an entry (Column = entries + 1), kept in order of Field. With freeUp the list owns
  // `control` and frees it with `deleter`.
  EditColumn& Add(EditClass* control, rt::Long field, rt::Byte freeUp = 0, Deleter deleter = nullptr);
  EditColumn* FindField(rt::Long field);
  EditColumn* FindColumn(rt::Long column);
  void SortByField();
  void SortByColumn();
  std::vector<EditColumn>& Entries() { return entries_; }
  std::size_t Records() const { return entries_.size(); }

 private:
  std::vector<EditColumn> entries_;
  std::vector<std::pair<EditClass*, Deleter>> owned_;
};

// The edit-in-place manager as the browse calls it.
class BrowseEditInPlace {
 public:
  virtual ~BrowseEditInPlace() = default;
  // Edits (inserts, changes) or deletes the browse's current row; returns the response.
  virtual rt::Byte Run(rt::Byte request) = 0;
};

using EIPMaker = std::function<std::unique_ptr<BrowseEditInPlace>(BrowseClass&)>;
