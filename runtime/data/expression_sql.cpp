// Translation of expression trees to SQL. Each rule below pushes a comparison only where SQLite's
// answer equals FieldRef::Compare's for every value the column can hold; a part that cannot be
// proven so is left out, never approximated.

#include "runtime/data/expression_sql.h"

#include <bit>
#include <cmath>
#include <limits>

#include "runtime/core/text.h"
#include "runtime/data/expression_tree.h"

namespace rt {

namespace {

using expr::Node;
using expr::Op;
using expr::Relation;

struct Fragment {
  std::string sql;
  std::vector<SqlValue> parameters;
};

std::string Quoted(const std::string& column) {
  std::string out = "\"";
  for (const char c : column) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

// The SQL operator of a relation; nullptr for "always" and "never", which nobody writes on purpose.
const char* OperatorOf(const Relation& r) {
  if (r.less && r.equal && r.greater) return nullptr;
  if (r.less && r.greater) return "<>";
  if (r.less) return r.equal ? "<=" : "<";
  if (r.greater) return r.equal ? ">=" : ">";
  return r.equal ? "=" : nullptr;
}

Relation Mirrored(const Relation& r) { return {r.greater, r.equal, r.less}; }

bool IsText(SqlColumnKind kind) { return kind == SqlColumnKind::Text || kind == SqlColumnKind::PaddedText; }

// The column's text as the runtime compares it: a CString's trailing blanks taken off.
std::string TextOf(const SqlColumn& column) {
  return column.kind == SqlColumnKind::PaddedText ? "rtrim(" + Quoted(column.name) + ")" : Quoted(column.name);
}

// Whether a PostgreSQL text parameter carries `text` whole: UTF-8 (the connection's encoding)
// without a zero byte, which ends a text parameter.
bool ServerHolds(std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0) return false;
    if (c < 0x80) {
      ++i;
      continue;
    }
    const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (length == 0 || c > 0xF4 || i + length > text.size()) return false;
    std::uint32_t code = c & (0x7F >> length);
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

// Whether a text literal may travel to the column's engine as a parameter.
bool Carries(const SqlColumn& column, std::string_view text) {
  return column.dialect != SqlDialect::Postgres || ServerHolds(text);
}

// floor(value) and whether value is whole; nullopt beyond 64 bits.
struct Floor {
  std::int64_t value;
  bool whole;
};
std::optional<Floor> FloorOf(const Decimal& d) {
  __int128 scale = 1;
  for (int i = 0; i < d.Places(); ++i) scale *= 10;
  __int128 q = d.Units() / scale;
  const __int128 r = d.Units() % scale;
  if (r != 0 && d.Units() < 0) --q;
  if (q < std::numeric_limits<std::int64_t>::min() || q > std::numeric_limits<std::int64_t>::max()) return std::nullopt;
  return Floor{static_cast<std::int64_t>(q), r == 0};
}

// Doubles in numeric order as integers (-0 and +0 meet at 0), infinities included.
std::int64_t OrderKey(double v) {
  const auto bits = std::bit_cast<std::int64_t>(v);
  return bits >= 0 ? bits : -(bits & std::numeric_limits<std::int64_t>::max());
}
double FromOrderKey(std::int64_t key) {
  return key >= 0 ? std::bit_cast<double>(key) : -std::bit_cast<double>(-key);
}

// The least double v (infinities included) for which the runtime's comparison of a Real holding v
// with `literal` is >= 0, or > 0 when `strict`. The comparison rounds Reals to 15 significant
// digits (and to 31 places), so this is not the literal's own double; it is found by asking the
// comparison itself, which is monotone in v.
double RealThreshold(const FieldRef& literal, bool strict) {
  Real cell = 0;
  const FieldRef real(cell);
  auto meets = [&](std::int64_t key) {
    cell = FromOrderKey(key);
    const int c = real.Compare(literal);
    return strict ? c > 0 : c >= 0;
  };
  std::int64_t low = OrderKey(-std::numeric_limits<double>::infinity());  // never meets
  std::int64_t high = OrderKey(std::numeric_limits<double>::infinity());  // always meets
  // The span between the infinities does not fit an int64: step in unsigned arithmetic.
  for (std::uint64_t span; (span = static_cast<std::uint64_t>(high) - static_cast<std::uint64_t>(low)) > 1;) {
    const auto middle = static_cast<std::int64_t>(static_cast<std::uint64_t>(low) + span / 2);
    (meets(middle) ? high : low) = middle;
  }
  return FromOrderKey(high);
}

class Translator {
 public:
  explicit Translator(const SqlColumnOf& columnOf) : columnOf_(columnOf) {}

  // The exact translation of `node`, or nullopt.
  std::optional<Fragment> Exact(const Node& node) {
    switch (node.op) {
      case Op::Field: return Truth(node);
      case Op::Compare: return Comparison(node);
      case Op::Not: {
        std::optional<Fragment> inner = Exact(*node.children[0]);
        if (inner) inner->sql = "NOT (" + inner->sql + ")";
        return inner;
      }
      case Op::And:
      case Op::Or: {
        Fragment all;
        for (const auto& child : node.children) {
          std::optional<Fragment> part = Exact(*child);
          if (!part) return std::nullopt;
          Join(all, *part, node.op == Op::And ? " AND " : " OR ");
        }
        return all;
      }
      default: return std::nullopt;
    }
  }

  // The pushed conditions of a (nested) top-level AND; false when some were left out.
  bool Conjuncts(const Node& node, Fragment& into) {
    if (node.op == Op::And) {
      bool complete = true;
      for (const auto& child : node.children) complete = Conjuncts(*child, into) && complete;
      return complete;
    }
    std::optional<Fragment> part = Exact(node);
    if (!part) return false;
    Join(into, *part, " AND ");
    return true;
  }

 private:
  static void Join(Fragment& all, Fragment& part, const char* op) {
    all.sql += all.sql.empty() ? "(" + part.sql + ")" : op + ("(" + part.sql + ")");
    for (SqlValue& value : part.parameters) all.parameters.push_back(std::move(value));
  }

  std::optional<SqlColumn> ColumnOf(const Node& node) const {
    if (node.op != Op::Field) return std::nullopt;
    std::optional<SqlColumn> column = columnOf_(node.field);
    if (!column) return std::nullopt;
    // A column whose kind does not match the field's type would compare by other rules.
    const bool text = node.field.Shape().IsText();
    const bool real = node.field.Type() == FieldType::Real;
    const bool integer = !text && !real && node.field.Type() != FieldType::Decimal;
    const bool matches = (IsText(column->kind) && text) ||
                         (column->kind == SqlColumnKind::Integer && integer) ||
                         (column->kind == SqlColumnKind::Real && real);
    return matches ? column : std::nullopt;
  }

  std::optional<Fragment> Truth(const Node& node) const {
    const std::optional<SqlColumn> column = ColumnOf(node);
    if (!column) return std::nullopt;
    if (column->kind == SqlColumnKind::Integer) return Fragment{Quoted(column->name) + " <> 0", {}};
    if (IsText(column->kind)) return Fragment{TextOf(*column) + " <> ''", {}};
    Long zero = 0;  // a Real is true when it does not compare equal to zero
    return RealAgainst(*column, FieldRef(zero), {true, false, true});
  }

  std::optional<Fragment> Comparison(const Node& node) const {
    const Node* left = node.children[0].get();
    const Node* right = node.children[1].get();
    Relation relation = node.relation;
    if (left->op == Op::Call || right->op == Op::Call) return FunctionComparison(node);
    std::optional<SqlColumn> column = ColumnOf(*left);
    if (!column) {  // a literal on the left: turn the comparison round
      std::swap(left, right);
      relation = Mirrored(relation);
      column = ColumnOf(*left);
    }
    if (!column || OperatorOf(relation) == nullptr) return std::nullopt;
    const std::optional<SqlColumn> other = ColumnOf(*right);
    if (other) return ColumnAgainstColumn(*column, *other, relation);
    if (column->kind == SqlColumnKind::Integer) return IntegerAgainstLiteral(*column, *right, relation);
    if (IsText(column->kind)) return TextAgainstLiteral(*column, *right, relation);
    if (right->op == Op::Number) return RealAgainst(*column, expr::NumberField(*right), relation);
    if (right->op == Op::Text && IsNumeric(right->text)) {  // a numeric text compares as its number
      std::string& digits = const_cast<std::string&>(right->text);  // FieldRef takes a writable address; only read
      return RealAgainst(*column, FieldRef(FieldShape::String(digits.size()), digits.data()), relation);
    }
    return std::nullopt;
  }

  // Between the two thresholds lie the Reals that compare equal to the literal.
  static std::optional<Fragment> RealAgainst(const SqlColumn& column, const FieldRef& literal, const Relation& relation) {
    const double low = RealThreshold(literal, false), high = RealThreshold(literal, true);
    const std::string name = Quoted(column.name);
    if (relation.less && relation.equal && relation.greater) return std::nullopt;
    if (relation.less && relation.greater) return Fragment{name + " < ? OR " + name + " >= ?", {low, high}};
    if (relation.less) return Fragment{name + " < ?", {relation.equal ? high : low}};
    if (relation.greater) return Fragment{name + " >= ?", {relation.equal ? low : high}};
    if (relation.equal) return Fragment{name + " >= ? AND " + name + " < ?", {low, high}};
    return std::nullopt;
  }

  static std::optional<Fragment> ColumnAgainstColumn(const SqlColumn& a, const SqlColumn& b, const Relation& relation) {
    const bool equality = OperatorOf(relation) == std::string_view("=") || OperatorOf(relation) == std::string_view("<>");
    if (a.kind == SqlColumnKind::Integer && b.kind == SqlColumnKind::Integer)
      return Fragment{Quoted(a.name) + " " + OperatorOf(relation) + " " + Quoted(b.name), {}};
    if (!IsText(a.kind) || !IsText(b.kind) || !equality) return std::nullopt;
    return Fragment{TextOf(a) + " " + OperatorOf(relation) + " " + TextOf(b), {}};
  }

  static std::optional<Fragment> IntegerAgainstLiteral(const SqlColumn& column, const Node& literal, const Relation& relation) {
    Decimal value;
    if (literal.op == Op::Number) {
      value = literal.number;
    } else if (literal.op == Op::Text && IsNumeric(literal.text)) {  // compared numerically, as the text is a number
      value = Decimal::FromText(literal.text);
    } else {
      return std::nullopt;
    }
    const std::optional<Floor> floor = value.IsValid() ? FloorOf(value) : std::nullopt;
    if (!floor) return std::nullopt;
    if (floor->whole) return Fragment{Quoted(column.name) + " " + OperatorOf(relation) + " ?", {floor->value}};
    // A whole number never equals a fraction: below it means at most its floor.
    if (relation.less == relation.greater) return std::nullopt;  // always or never
    return Fragment{Quoted(column.name) + (relation.less ? " <= ?" : " > ?"), {floor->value}};
  }

  static std::optional<Fragment> TextAgainstLiteral(const SqlColumn& column, const Node& literal, const Relation& relation) {
    if (literal.op != Op::Text) return std::nullopt;
    const std::string_view op = OperatorOf(relation);
    if (op != "=" && op != "<>") return std::nullopt;  // ordering: blank padding differs from BINARY
    const std::string clipped(Clip(literal.text));
    if (!Carries(column, clipped)) return std::nullopt;
    return Fragment{TextOf(column) + " " + std::string(op) + " ?", {clipped}};
  }

  // ---- Functions of a text column ----
  // Bytes, not characters: the evaluator's functions count bytes, so SQLite is given BLOBs,
  // whose instr and substr do too, and PostgreSQL the text's bytes (textsend, in the
  // connection's UTF-8). Both engines' upper() map ASCII letters only here, as UPPER does
  // (SQLite's always, PostgreSQL's under the "C" collation).

  static bool IsLong(const Node& node, Long value) { return node.op == Op::Number && node.isLong && node.integer == value; }

  struct TextSql {
    std::string sql;  // the (unpadded) text, or UPPER of it
    SqlColumn column;
  };

  // A text column or UPPER of one, as SQL over its text without trailing blanks.
  std::optional<TextSql> TextOperand(const Node& node) const {
    const bool upper = node.op == Op::Call && node.function == expr::Function::Upper && node.children.size() == 1;
    const std::optional<SqlColumn> column = ColumnOf(upper ? *node.children[0] : node);
    if (!column || !IsText(column->kind)) return std::nullopt;
    if (!upper) return TextSql{TextOf(*column), *column};
    const bool postgres = column->dialect == SqlDialect::Postgres;
    return TextSql{"upper(" + TextOf(*column) + (postgres ? " COLLATE \"C\")" : ")"), *column};
  }

  std::optional<Fragment> FunctionComparison(const Node& node) const {
    const Node* call = node.children[0].get();
    const Node* other = node.children[1].get();
    Relation relation = node.relation;
    if (call->op != Op::Call) {
      std::swap(call, other);
      relation = Mirrored(relation);
    }
    if (call->op != Op::Call || other->op == Op::Call) return std::nullopt;
    switch (call->function) {
      case expr::Function::InString: return InStringAgainst(*call, *other, relation);
      case expr::Function::Sub: return SubAgainst(*call, *other, relation);
      case expr::Function::Upper: return UpperAgainst(*call, *other, relation);
      default: return std::nullopt;
    }
  }

  // INSTRING('text', column [, 1 [, 1]]) against 0: found or not. A text ending in a blank could
  // be found in the padding that the stored text lacks, so it is left to the evaluator.
  std::optional<Fragment> InStringAgainst(const Node& call, const Node& zero, const Relation& relation) const {
    const auto& args = call.children;
    if (args.size() < 2 || args[0]->op != Op::Text || !IsLong(zero, 0)) return std::nullopt;
    for (std::size_t i = 2; i < args.size(); ++i)
      if (!IsLong(*args[i], 1)) return std::nullopt;
    const std::string& needle = args[0]->text;
    if (needle.empty() || needle.back() == ' ' || needle.find('\0') != std::string::npos) return std::nullopt;
    const std::optional<TextSql> haystack = TextOperand(*args[1]);
    // The position is never negative: against 0, "greater" is found and "equal" is not found.
    if (!haystack || relation.greater == relation.equal || !Carries(haystack->column, needle)) return std::nullopt;
    const char* found = relation.greater ? " > 0" : " = 0";
    // Valid UTF-8 holds a text only where its bytes are: PostgreSQL's strpos finds the same.
    if (haystack->column.dialect == SqlDialect::Postgres) return Fragment{"strpos(" + haystack->sql + ", ?)" + found, {needle}};
    return Fragment{"instr(CAST(" + haystack->sql + " AS BLOB), CAST(? AS BLOB))" + found, {needle}};
  }

  // SUB(column, 1, n) = or <> a text: the first n bytes, compared without trailing blanks as the
  // runtime compares text (the padding past the stored text is blanks).
  std::optional<Fragment> SubAgainst(const Node& call, const Node& literal, const Relation& relation) const {
    const auto& args = call.children;
    if (args.size() != 3 || !IsLong(*args[1], 1) || args[2]->op != Op::Number || !args[2]->isLong || args[2]->integer < 1 ||
        literal.op != Op::Text)
      return std::nullopt;
    const std::optional<TextSql> text = TextOperand(*args[0]);
    const std::string_view op = OperatorOf(relation) ? OperatorOf(relation) : "";
    const std::string clipped(Clip(literal.text));
    if (!text || (op != "=" && op != "<>") || !Carries(text->column, clipped)) return std::nullopt;
    const std::int64_t length = args[2]->integer;
    // A text as long as the prefix that does not end in a blank equals it byte for byte (the
    // common "begins with"), which spares the engine the trimming.
    const bool whole = !clipped.empty() && static_cast<std::int64_t>(clipped.size()) == length;
    if (text->column.dialect == SqlDialect::Postgres) {
      const std::string prefix = "substring(textsend(" + text->sql + ") from 1 for CAST(? AS integer))";
      return Fragment{(whole ? prefix : "rtrim(" + prefix + ", '\\x20'::bytea)") + " " + std::string(op) + " textsend(?)",
                      {length, clipped}};
    }
    // substr of an empty BLOB is NULL, which would compare as neither equal nor different.
    const std::string prefix = "ifnull(substr(CAST(" + text->sql + " AS BLOB), 1, ?), x'')";
    if (whole) return Fragment{prefix + " " + std::string(op) + " CAST(? AS BLOB)", {length, clipped}};
    return Fragment{"rtrim(CAST(" + prefix + " AS TEXT)) " + std::string(op) + " ?", {length, clipped}};
  }

  // UPPER(column) = or <> a text.
  std::optional<Fragment> UpperAgainst(const Node& call, const Node& literal, const Relation& relation) const {
    const std::optional<TextSql> text = TextOperand(call);
    const std::string_view op = OperatorOf(relation) ? OperatorOf(relation) : "";
    if (!text || literal.op != Op::Text || (op != "=" && op != "<>")) return std::nullopt;
    const std::string clipped(Clip(literal.text));
    if (!Carries(text->column, clipped)) return std::nullopt;
    return Fragment{text->sql + " " + std::string(op) + " ?", {clipped}};
  }

  const SqlColumnOf& columnOf_;
};

}  // namespace

SqlFilter TranslateToSql(const Expression& expression, const SqlColumnOf& columnOf) {
  Translator translator(columnOf);
  Fragment pushed;
  SqlFilter filter;
  filter.complete = translator.Conjuncts(expression.Root(), pushed);
  filter.where = std::move(pushed.sql);
  filter.parameters = std::move(pushed.parameters);
  return filter;
}

}  // namespace rt
