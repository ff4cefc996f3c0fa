#include "framework/util/field_pairs.h"

#include <string>

#include "runtime/core/assert.h"
#include "runtime/core/text.h"

namespace {

std::string UpperAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

bool ValuesEqual(const rt::FieldRef& a, const rt::FieldRef& b, bool caseSensitive) {
  if (caseSensitive) return a.Equals(b);
  return rt::EqualBlankPadded(UpperAscii(a.Text()), UpperAscii(b.Text()));
}

}  // namespace

void FieldPairsClass::Init() {
  Kill();
  List = std::make_unique<std::vector<Pair>>();
}

void FieldPairsClass::Kill() { List.reset(); }

void FieldPairsClass::AddPair(rt::FieldRef left, rt::FieldRef right) {
  RT_ASSERT(List != nullptr, "");
  if (!List) return;
  List->push_back({left, right, {}});
}

void FieldPairsClass::AssignLeftToRight() {
  if (!List) return;
  for (Pair& p : *List) p.Right.Assign(p.Left);
}

void FieldPairsClass::AssignRightToLeft() {
  if (!List) return;
  for (Pair& p : *List) p.Left.Assign(p.Right);
}

void FieldPairsClass::ClearLeft() {
  if (!List) return;
  for (Pair& p : *List) p.Left.Clear();
}

void FieldPairsClass::ClearRight() {
  if (!List) return;
  for (Pair& p : *List) p.Right.Clear();
}

rt::Byte FieldPairsClass::EqualLeftRight() const {
  if (!List) return 1;
  for (const Pair& p : *List) {
    if (!p.Left.Equals(p.Right)) return 0;
  }
  return 1;
}

void BufferedPairsClass::AddPair(rt::FieldRef left, rt::FieldRef right) {
  RT_ASSERT(List != nullptr, "");
  if (!List || right.IsNull()) return;
  // The buffer takes Right's type with that type's cleared value; Right itself is not touched.
  List->push_back({left, right, rt::FieldValue::ClearedLike(right)});
}

void BufferedPairsClass::AssignLeftToBuffer() {
  if (!List) return;
  for (Pair& p : *List) p.Buffer.Ref().Assign(p.Left);
}

void BufferedPairsClass::AssignRightToBuffer() {
  if (!List) return;
  for (Pair& p : *List) p.Buffer.Ref().Assign(p.Right);
}

void BufferedPairsClass::AssignBufferToLeft() {
  if (!List) return;
  for (Pair& p : *List) p.Left.Assign(p.Buffer.Ref());
}

void BufferedPairsClass::AssignBufferToRight() {
  if (!List) return;
  for (Pair& p : *List) p.Right.Assign(p.Buffer.Ref());
}

rt::Byte BufferedPairsClass::EqualLeftBuffer(bool caseSensitive) {
  if (!List) return 1;
  for (Pair& p : *List) {
    if (!ValuesEqual(p.Left, p.Buffer.Ref(), caseSensitive)) return 0;
  }
  return 1;
}

rt::Byte BufferedPairsClass::EqualRightBuffer(bool caseSensitive) {
  if (!List) return 1;
  for (Pair& p : *List) {
    if (!ValuesEqual(p.Right, p.Buffer.Ref(), caseSensitive)) return 0;
  }
  return 1;
}
