#pragma once
// Not for use outside runtime/data. The parsed form of an expression (expression.h): the node
// tree that the parser builds, the evaluator walks and the SQL translator reads. Owns nothing but
// the nodes; bound fields are referred to, never copied.
//
// AND and OR hold all their operands in one node, so a long chain of conditions is a wide node,
// not a deep one: the depth of the tree is bounded by Expression::kMaxDepth.

#include <array>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "runtime/core/decimal.h"
#include "runtime/data/field_ref.h"

namespace rt::expr {

enum class Op { Or, And, Not, Compare, Field, Number, Text, Call, Sql };

enum class Function { Upper, Lower, InString, Sub, Left, Clip, Format };

// The outcomes of comparing left with right that make a comparison true.
struct Relation {
  bool less = false;
  bool equal = false;
  bool greater = false;
  bool Holds(int order) const { return order < 0 ? less : (order > 0 ? greater : equal); }
};

struct Node {
  Op op = Op::Number;
  std::size_t position = 0;                    // 1-based, where the node starts in the text
  std::vector<std::unique_ptr<Node>> children;  // Or, And: operands; Not: one; Compare: left, right; Call: args
  Relation relation;                           // Compare
  Function function = Function::Upper;         // Call
  std::string name;                            // Field: the name as written
  FieldRef field;                              // Field: the bound field
  Decimal number;                              // Number
  std::array<Byte, 16> packed{};               // Number: as a DECIMAL(31, places) field holds it
  bool isLong = false;                         // Number: whole and within a Long, held as one too,
  Long integer = 0;                            //   so comparing with integer fields takes their fast path
  std::string text;                            // Text: the literal's value; Sql: the raw term
};

// A Number node's value as a field (a Long when it is one, else a DECIMAL(31, places)), so that
// it compares exactly as fields do.
FieldRef NumberField(const Node& number);

}  // namespace rt::expr
