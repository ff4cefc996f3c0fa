// The evaluator of expression.h. Every value is looked at as a FieldRef (a bound field, a literal,
// or a function's result held for the moment), so that comparisons are FieldRef::Compare itself
// and cannot drift from the runtime's own rules.

#include "runtime/data/expression.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "runtime/core/picture.h"
#include "runtime/core/text.h"
#include "runtime/data/expression_tree.h"

namespace rt {

namespace expr {

FieldRef NumberField(const Node& number) {
  if (number.isLong) return FieldRef(FieldShape::Of(FieldType::Long), const_cast<Long*>(&number.integer));
  return FieldRef(FieldShape::Decimal(Decimal::kMaxDigits, number.number.Places()), const_cast<Byte*>(number.packed.data()));
}

}  // namespace expr

namespace {

using expr::Function;
using expr::Node;
using expr::Op;

// One value during evaluation. Refers to a field or a literal node, or holds a computed text or
// number. Ref() is valid while the value lives (it points into the value, so it is made afresh).
class Scalar {
 public:
  static Scalar OfField(const FieldRef& field) {
    Scalar s(Kind::Field);
    s.field_ = field;
    return s;
  }
  static Scalar OfLiteral(const std::string& text) {
    Scalar s(Kind::Literal);
    s.literal_ = &text;
    return s;
  }
  static Scalar OfText(std::string text) {
    Scalar s(Kind::Text);
    s.text_ = std::move(text);
    return s;
  }
  static Scalar OfLong(Long value) {
    Scalar s(Kind::Long);
    s.long_ = value;
    return s;
  }

  FieldRef Ref() const {
    switch (kind_) {
      case Kind::Field: return field_;
      case Kind::Long: return FieldRef(FieldShape::Of(FieldType::Long), &long_);
      case Kind::Literal:
      case Kind::Text: return TextRef(TextView());
    }
    return {};
  }

  // The text a function works on: a fixed string field with its padding, as it lies in the record.
  std::string Text() const {
    if (kind_ == Kind::Literal || kind_ == Kind::Text) return std::string(TextView());
    if (kind_ == Kind::Field && field_.Type() == FieldType::String) {
      return std::string(reinterpret_cast<const char*>(field_.Address()), field_.Shape().size);
    }
    return Ref().Text();
  }

  // The value as the runtime shows it: clipped text, plain numbers.
  std::string ValueText() const {
    if (kind_ == Kind::Literal || kind_ == Kind::Text) return std::string(TextView());
    return Ref().Text();
  }

  bool IsTrue() const {
    if (kind_ == Kind::Long) return long_ != 0;
    if (kind_ != Kind::Field) return !Clip(TextView()).empty();
    if (field_.Shape().IsText()) return !Clip(field_.Text()).empty();
    Long zero = 0;
    return field_.Compare(FieldRef(zero)) != 0;
  }

  // The value converted to a Long as an assignment would (text by its leading number, fractions
  // truncated); `fallback` when it does not fit.
  Long ToLong(Long fallback) const {
    if (kind_ == Kind::Long) return long_;
    Long value = 0;
    return FieldRef(value).Assign(Ref()) ? value : fallback;
  }

 private:
  enum class Kind { Field, Literal, Text, Long };
  explicit Scalar(Kind kind) : kind_(kind) {}

  std::string_view TextView() const { return kind_ == Kind::Literal ? std::string_view(*literal_) : std::string_view(text_); }

  // A text as a fixed string field of its own length; an empty text as one blank, which
  // compares the same.
  static FieldRef TextRef(std::string_view text) {
    static char blank = ' ';
    if (text.empty()) return FieldRef(FieldShape::String(1), &blank);
    return FieldRef(FieldShape::String(text.size()), const_cast<char*>(text.data()));
  }

  Kind kind_;
  FieldRef field_;
  const std::string* literal_ = nullptr;
  std::string text_;
  mutable Long long_ = 0;  // mutable: FieldRef takes a writable address, though we only read
};

// Lengths a function may pad to; beyond this they are cut, so no input allocates without bound.
constexpr std::int64_t kMaxResultBytes = static_cast<std::int64_t>(Expression::kMaxTextBytes);

std::string CaseMapped(std::string text, bool upper) {
  for (char& c : text) {
    if (upper && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (!upper && c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// 1-based position of `sub` in `text`, trying start, start + step, ...; 0 when absent.
Long InStringStep(const std::string& sub, const std::string& text, std::int64_t step, std::int64_t start) {
  const auto size = static_cast<std::int64_t>(text.size()), subSize = static_cast<std::int64_t>(sub.size());
  if (step == 0 || subSize == 0 || subSize > size) return 0;
  const std::int64_t last = size - subSize + 1;  // the last position where sub can begin
  std::int64_t p = start;
  if (step > 0 && p < 1) p += ((1 - p + step - 1) / step) * step;          // first candidate >= 1
  if (step < 0 && p > last) p -= ((p - last + (-step) - 1) / (-step)) * (-step);  // first <= last
  for (; p >= 1 && p <= last; p += step) {
    if (text.compare(static_cast<std::size_t>(p - 1), sub.size(), sub) == 0) return static_cast<Long>(p);
  }
  return 0;
}

std::string SubText(const std::string& text, std::int64_t start, std::int64_t length) {
  const auto size = static_cast<std::int64_t>(text.size());
  if (start < 0) start = size + start + 1;
  std::int64_t first = std::max<std::int64_t>(start, 1);
  const std::int64_t end = length <= 0 ? first : std::min(size + 1, start + std::min(length, size + 1));
  if (first > size || end <= first) return {};
  return text.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(end - first));
}

std::string LeftText(const std::string& text, std::int64_t length) {
  const std::size_t lead = std::min(text.find_first_not_of(' '), text.size());
  std::string out = text.substr(lead);
  length = std::clamp<std::int64_t>(length, 0, std::max<std::int64_t>(kMaxResultBytes, static_cast<std::int64_t>(text.size())));
  out.resize(static_cast<std::size_t>(length), ' ');
  return out;
}

std::string Formatted(const Scalar& value, std::string_view picture) {
  const FieldRef ref = value.Ref();
  switch (ref.Type()) {
    case FieldType::String:
    case FieldType::CString: return FormatText(Clip(ref.Text()), picture);
    case FieldType::Real: {
      double real = 0;
      std::memcpy(&real, ref.Address(), sizeof real);
      return Format(real, picture);
    }
    case FieldType::Decimal: return Format(Decimal::FromText(ref.Text()), picture);
    default: return Format(value.ToLong(0), picture);
  }
}

Scalar Evaluate(const Node& node);

Scalar Call(const Node& node) {
  const auto& args = node.children;
  auto arg = [&](std::size_t i) { return Evaluate(*args[i]); };
  auto number = [&](std::size_t i, Long absent) { return i < args.size() ? arg(i).ToLong(absent) : absent; };
  switch (node.function) {
    case Function::Upper: return Scalar::OfText(CaseMapped(arg(0).Text(), true));
    case Function::Lower: return Scalar::OfText(CaseMapped(arg(0).Text(), false));
    case Function::Clip: return Scalar::OfText(std::string(Clip(arg(0).Text())));
    case Function::InString: return Scalar::OfLong(InStringStep(arg(0).Text(), arg(1).Text(), number(2, 1), number(3, 1)));
    case Function::Sub: {
      const std::string text = arg(0).Text();
      return Scalar::OfText(SubText(text, number(1, 1), number(2, static_cast<Long>(std::min<std::size_t>(text.size(), 0x7fffffff)))));
    }
    case Function::Left: {
      const std::string text = arg(0).Text();
      return Scalar::OfText(LeftText(text, args.size() > 1 ? number(1, 0) : static_cast<std::int64_t>(text.size())));
    }
    case Function::Format: return Scalar::OfText(Formatted(arg(0), Clip(arg(1).Text())));
  }
  return Scalar::OfText({});
}

Scalar Evaluate(const Node& node) {
  switch (node.op) {
    case Op::Field: return Scalar::OfField(node.field);
    case Op::Number: return Scalar::OfField(expr::NumberField(node));
    case Op::Text: return Scalar::OfLiteral(node.text);
    case Op::Sql: return Scalar::OfText({});
    case Op::Compare: {
      const Scalar left = Evaluate(*node.children[0]), right = Evaluate(*node.children[1]);
      return Scalar::OfLong(node.relation.Holds(left.Ref().Compare(right.Ref())) ? 1 : 0);
    }
    case Op::Not: return Scalar::OfLong(Evaluate(*node.children[0]).IsTrue() ? 0 : 1);
    case Op::And:
      for (const auto& child : node.children)
        if (!Evaluate(*child).IsTrue()) return Scalar::OfLong(0);
      return Scalar::OfLong(1);
    case Op::Or:
      for (const auto& child : node.children)
        if (Evaluate(*child).IsTrue()) return Scalar::OfLong(1);
      return Scalar::OfLong(0);
    case Op::Call: return Call(node);
  }
  return Scalar::OfLong(0);
}

}  // namespace

ParsedExpression::ParsedExpression(ParsedExpression&&) noexcept = default;
ParsedExpression& ParsedExpression::operator=(ParsedExpression&&) noexcept = default;
ParsedExpression::~ParsedExpression() = default;

Expression::Expression(std::string text, std::unique_ptr<expr::Node> root) : text_(std::move(text)), root_(std::move(root)) {}
Expression::~Expression() = default;

bool Expression::IsTrue() const { return Evaluate(*root_).IsTrue(); }
std::string Expression::ValueText() const { return Evaluate(*root_).ValueText(); }

}  // namespace rt
