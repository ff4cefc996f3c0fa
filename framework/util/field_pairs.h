#pragma once
// FieldPairsClass and BufferedPairsClass: lists of pairs of field references (any runtime type)
// that copy, clear and compare whole sets of fields at once; the buffered form also owns one
// saved value per pair. They own the list and the buffers, never the fields referred to.
// Built on runtime/data field references; reports misuse through the runtime's assertion report.
//
// Created and destroyed by their user (a relation, view or browse manager); Init creates the
// list, Kill frees it, the destructor calls Kill. Subclasses may replace AddPair only.

#include <memory>
#include <vector>

#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"

class FieldPairsClass {
 public:
  // One entry of the list. `Buffer` is used by BufferedPairsClass only (null otherwise).
  struct Pair {
    rt::FieldRef Left;
    rt::FieldRef Right;
    rt::FieldValue Buffer;
  };

  FieldPairsClass() = default;
  virtual ~FieldPairsClass() { Kill(); }
  FieldPairsClass(const FieldPairsClass&) = delete;
  FieldPairsClass& operator=(const FieldPairsClass&) = delete;

  // ---- Life cycle ----
  void Init();  // Kill, then an empty list
  void Kill();  // drops every pair (the fields keep their values); no list afterwards

  // ---- Building ----
  // Appends a pair; without a list (before Init, after Kill) an assertion and nothing added.
  virtual void AddPair(rt::FieldRef left, rt::FieldRef right);

  // ---- Operations, on every pair in the order added ----
  void AssignLeftToRight();
  void AssignRightToLeft();
  void ClearLeft();
  void ClearRight();
  // True when every left field equals its right field (true for no pairs); stops at the first
  // pair that differs. Compares as the runtime compares two fields of any types.
  rt::Byte EqualLeftRight() const;
  rt::Byte Equal() const { return EqualLeftRight(); }

  // ---- Query ----
  bool HasList() const { return List != nullptr; }
  std::size_t PairCount() const { return List ? List->size() : 0; }
  // The pair at `position` (1-based, in the order added); null when there is none.
  const Pair* At(std::size_t position) const {
    return List && position >= 1 && position <= List->size() ? &(*List)[position - 1] : nullptr;
  }

 protected:
  std::unique_ptr<std::vector<Pair>> List;  // null before Init and after Kill
};

class BufferedPairsClass : public FieldPairsClass {
 public:
  // Appends a pair whose buffer is a new value of `right`'s type holding its cleared value;
  // `right` keeps its value.
  void AddPair(rt::FieldRef left, rt::FieldRef right) override;

  void AssignLeftToBuffer();
  void AssignRightToBuffer();
  void AssignBufferToLeft();
  void AssignBufferToRight();
  // With caseSensitive false both values are compared as upper-cased text (trailing blanks
  // not significant); with true as EqualLeftRight compares.
  rt::Byte EqualLeftBuffer(bool caseSensitive = false);
  rt::Byte EqualRightBuffer(bool caseSensitive = false);
};
