// EditColumnList: the browse's edit columns and the controls it was handed to free.

#include "framework/browse/edit_in_place.h"

#include <algorithm>

EditColumnList::~EditColumnList() {
  for (const auto& [control, deleter] : owned_)
    if (deleter) deleter(control);
}

EditColumn& EditColumnList::Add(EditClass* control, rt::Long field, rt::Byte freeUp, Deleter deleter) {
  EditColumn entry{field, freeUp, control, static_cast<rt::Long>(entries_.size()) + 1};
  if (freeUp && control) owned_.emplace_back(control, deleter);
  const auto at = std::upper_bound(entries_.begin(), entries_.end(), field,
                                   [](rt::Long f, const EditColumn& e) { return f < e.Field; });
  return *entries_.insert(at, entry);
}

EditColumn* EditColumnList::FindField(rt::Long field) {
  const auto at = std::find_if(entries_.begin(), entries_.end(), [&](const EditColumn& e) { return e.Field == field; });
  return at == entries_.end() ? nullptr : &*at;
}

EditColumn* EditColumnList::FindColumn(rt::Long column) {
  const auto at = std::find_if(entries_.begin(), entries_.end(), [&](const EditColumn& e) { return e.Column == column; });
  return at == entries_.end() ? nullptr : &*at;
}

void EditColumnList::SortByField() {
  std::stable_sort(entries_.begin(), entries_.end(), [](const EditColumn& a, const EditColumn& b) { return a.Field < b.Field; });
}

void EditColumnList::SortByColumn() {
  std::stable_sort(entries_.begin(), entries_.end(), [](const EditColumn& a, const EditColumn& b) { return a.Column < b.Column; });
}
