// The lexer and the recursive-descent parser of expression.h. Every rule that recurses counts
// its depth, so no input can run the stack out; the first fault found ends the parse.

#include <cctype>
#include <cstdio>
#include <optional>

#include "runtime/core/last_error.h"
#include "runtime/data/expression.h"
#include "runtime/data/expression_tree.h"

namespace rt {

namespace {

using expr::Function;
using expr::Node;
using expr::Op;

struct FunctionInfo {
  const char* name;
  Function function;
  std::size_t minArgs, maxArgs;
};
constexpr FunctionInfo kFunctions[] = {
    {"UPPER", Function::Upper, 1, 1},   {"LOWER", Function::Lower, 1, 1}, {"INSTRING", Function::InString, 2, 4},
    {"SUB", Function::Sub, 2, 3},       {"LEFT", Function::Left, 1, 2},   {"CLIP", Function::Clip, 1, 1},
    {"FORMAT", Function::Format, 2, 2},
};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameWord(std::string_view a, std::string_view upperB) {
  if (a.size() != upperB.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != upperB[i]) return false;
  return true;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_' || c == ':'; }
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsRelationChar(char c) { return c == '<' || c == '>' || c == '=' || c == '~'; }

enum class Tok { End, Number, String, Picture, Name, LParen, RParen, Comma, Relation, Bad };

struct Token {
  Tok kind = Tok::End;
  std::size_t position = 0;  // 0-based
  std::string text;          // Number, Picture, Name, Relation: as written; String: the value
};

class Parser {
 public:
  Parser(std::string_view text, const BindScopes& scopes) : text_(text), scopes_(scopes) {}

  std::unique_ptr<Node> Run() {
    if (text_.size() > Expression::kMaxTextBytes) {
      Fail(ExpressionProblem::TooLong, 0, "text longer than " + std::to_string(Expression::kMaxTextBytes) + " bytes");
      return nullptr;
    }
    Advance();
    if (token_.kind == Tok::End && !failed()) {
      Fail(ExpressionProblem::Syntax, token_.position, "empty expression");
      return nullptr;
    }
    std::unique_ptr<Node> root = ParseOr();
    if (!failed() && token_.kind != Tok::End) Unexpected();
    return failed() ? nullptr : std::move(root);
  }

  const ExpressionError& Error() const { return error_; }

 private:
  bool failed() const { return error_.problem != ExpressionProblem::None; }

  void Fail(ExpressionProblem problem, std::size_t position, std::string detail) {
    if (failed()) return;
    error_.problem = problem;
    error_.code = BadExpressionErr;
    error_.position = position + 1;
    error_.message = "Bad Expression: " + detail + " at " + std::to_string(position + 1);
  }

  void Unexpected() {
    switch (token_.kind) {
      case Tok::End: Fail(ExpressionProblem::Syntax, token_.position, "expected a value, found the end"); break;
      case Tok::RParen: Fail(ExpressionProblem::Syntax, token_.position, "unexpected ')'"); break;
      case Tok::String: Fail(ExpressionProblem::Syntax, token_.position, "unexpected string"); break;
      default: Fail(ExpressionProblem::Syntax, token_.position, "unexpected '" + token_.text + "'"); break;
    }
  }

  // ---- Lexer ----

  void SkipBlanks() {
    while (pos_ < text_.size() && IsBlank(text_[pos_])) ++pos_;
  }

  bool StartsNumber(std::size_t at) const {
    if (at >= text_.size()) return false;
    if (IsDigit(text_[at])) return true;
    return text_[at] == '.' && at + 1 < text_.size() && IsDigit(text_[at + 1]);
  }

  bool CheckLiteralSize(std::size_t start, std::size_t size) {
    if (size <= Expression::kMaxLiteralBytes) return true;
    Fail(ExpressionProblem::TooLong, start, "literal longer than " + std::to_string(Expression::kMaxLiteralBytes) + " bytes");
    token_.kind = Tok::Bad;
    return false;
  }

  void Advance() {
    SkipBlanks();
    token_ = Token{};
    token_.position = pos_;
    if (pos_ >= text_.size()) return;
    const std::size_t start = pos_;
    const char c = text_[pos_];
    if (StartsNumber(pos_) || ((c == '-' || c == '+') && StartsNumber(pos_ + 1))) {
      LexNumber(start);
    } else if (c == '\'') {
      LexString(start);
    } else if (c == '@') {
      LexPicture(start);
    } else if (IsLetter(c) || c == '_') {
      while (pos_ < text_.size() && IsNameChar(text_[pos_])) ++pos_;
      token_.kind = Tok::Name;
      token_.text = std::string(text_.substr(start, pos_ - start));
      CheckLiteralSize(start, token_.text.size());
    } else if (c == '(' || c == ')' || c == ',') {
      ++pos_;
      token_.kind = c == '(' ? Tok::LParen : (c == ')' ? Tok::RParen : Tok::Comma);
      token_.text = std::string(1, c);
    } else if (IsRelationChar(c)) {
      while (pos_ < text_.size() && IsRelationChar(text_[pos_])) ++pos_;
      token_.kind = Tok::Relation;
      token_.text = std::string(text_.substr(start, pos_ - start));
    } else {
      token_.kind = Tok::Bad;
      char shown[32];
      if (std::isprint(static_cast<unsigned char>(c))) {
        std::snprintf(shown, sizeof shown, "'%c'", c);
      } else {
        std::snprintf(shown, sizeof shown, "byte 0x%02X", static_cast<unsigned char>(c));
      }
      Fail(ExpressionProblem::Syntax, start, std::string("unexpected character ") + shown);
    }
  }

  void LexNumber(std::size_t start) {
    if (text_[pos_] == '-' || text_[pos_] == '+') ++pos_;
    while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      while (pos_ < text_.size() && IsDigit(text_[pos_])) ++pos_;
    }
    token_.kind = Tok::Number;
    token_.text = std::string(text_.substr(start, pos_ - start));
    if (!CheckLiteralSize(start, token_.text.size())) return;
    if (pos_ < text_.size() && (IsNameChar(text_[pos_]) || text_[pos_] == '.' || text_[pos_] == '\'')) {
      token_.kind = Tok::Bad;
      Fail(ExpressionProblem::BadNumber, start, "malformed number");
    }
  }

  void LexString(std::size_t start) {
    ++pos_;
    std::string value;
    while (true) {
      const std::size_t quote = text_.find('\'', pos_);
      if (quote == std::string_view::npos) {
        token_.kind = Tok::Bad;
        Fail(ExpressionProblem::Unterminated, start, "unterminated string");
        return;
      }
      value.append(text_.substr(pos_, quote - pos_));
      pos_ = quote + 1;
      if (!CheckLiteralSize(start, value.size())) return;
      if (pos_ < text_.size() && text_[pos_] == '\'') {  // a doubled quote stands for one
        value += '\'';
        ++pos_;
        continue;
      }
      break;
    }
    token_.kind = Tok::String;
    token_.text = std::move(value);
  }

  // A picture runs to a blank, a comma or a ')' that closes nothing inside it: "@n(10.2)".
  void LexPicture(std::size_t start) {
    int open = 0;
    while (pos_ < text_.size() && !IsBlank(text_[pos_]) && text_[pos_] != ',') {
      if (text_[pos_] == '(') ++open;
      if (text_[pos_] == ')' && open-- == 0) break;
      ++pos_;
    }
    token_.kind = Tok::Picture;
    token_.text = std::string(text_.substr(start, pos_ - start));
    CheckLiteralSize(start, token_.text.size());
  }

  // SQL( ... ): the raw text up to the ')' that closes it, quotes respected; nothing is parsed.
  std::optional<std::string> RawTerm(std::size_t start) {
    int open = 1;
    bool quoted = false;
    const std::size_t first = pos_;
    for (; pos_ < text_.size(); ++pos_) {
      const char c = text_[pos_];
      if (c == '\'') quoted = !quoted;
      if (quoted) continue;
      if (c == '(') ++open;
      if (c == ')' && --open == 0) break;
    }
    if (pos_ >= text_.size()) {
      Fail(quoted ? ExpressionProblem::Unterminated : ExpressionProblem::Syntax, start,
           quoted ? "unterminated string" : "missing ')'");
      return std::nullopt;
    }
    std::string raw(text_.substr(first, pos_ - first));
    ++pos_;
    return raw;
  }

  // ---- Parser ----

  bool IsKeyword(std::string_view upper) const { return token_.kind == Tok::Name && SameWord(token_.text, upper); }

  bool Enter(std::size_t position) {
    if (++depth_ <= Expression::kMaxDepth) return true;
    Fail(ExpressionProblem::TooDeep, position, "nested deeper than " + std::to_string(Expression::kMaxDepth) + " levels");
    return false;
  }
  void Leave() { --depth_; }

  static std::unique_ptr<Node> MakeNode(Op op, std::size_t position) {
    auto node = std::make_unique<Node>();
    node->op = op;
    node->position = position + 1;
    return node;
  }

  std::unique_ptr<Node> ParseList(Op op, std::string_view keyword, std::unique_ptr<Node> (Parser::*operand)()) {
    const std::size_t position = token_.position;
    std::unique_ptr<Node> first = (this->*operand)();
    if (failed() || !IsKeyword(keyword)) return first;
    std::unique_ptr<Node> list = MakeNode(op, position);
    list->children.push_back(std::move(first));
    while (!failed() && IsKeyword(keyword)) {
      Advance();
      list->children.push_back((this->*operand)());
    }
    return failed() ? nullptr : std::move(list);
  }

  std::unique_ptr<Node> ParseOr() { return ParseList(Op::Or, "OR", &Parser::ParseAnd); }
  std::unique_ptr<Node> ParseAnd() { return ParseList(Op::And, "AND", &Parser::ParseNot); }

  std::unique_ptr<Node> ParseNot() {
    if (!IsKeyword("NOT") && !(token_.kind == Tok::Relation && token_.text == "~")) return ParseComparison();
    const std::size_t position = token_.position;
    if (!Enter(position)) return nullptr;
    Advance();
    std::unique_ptr<Node> node = MakeNode(Op::Not, position);
    node->children.push_back(ParseNot());
    Leave();
    return failed() ? nullptr : std::move(node);
  }

  // The outcomes a relation's characters name, or nullopt for a run that is no relation.
  static std::optional<expr::Relation> RelationOf(std::string_view run) {
    expr::Relation relation;
    bool invert = false;
    for (const char c : run) {
      bool& seen = c == '<' ? relation.less : (c == '>' ? relation.greater : (c == '=' ? relation.equal : invert));
      if (seen) return std::nullopt;
      seen = true;
    }
    if (!relation.less && !relation.greater && !relation.equal) return std::nullopt;
    if (invert) relation = {!relation.less, !relation.equal, !relation.greater};
    return relation;
  }

  // A relation at the current token ("NOT =" included); nullopt when none starts here.
  std::optional<expr::Relation> TakeRelation() {
    bool invert = false;
    if (IsKeyword("NOT")) {
      invert = true;
      Advance();
      if (failed()) return std::nullopt;
      if (token_.kind != Tok::Relation) {
        Fail(ExpressionProblem::Syntax, token_.position, "expected a comparison after NOT");
        return std::nullopt;
      }
    }
    if (token_.kind != Tok::Relation) return std::nullopt;
    std::optional<expr::Relation> relation = RelationOf(token_.text);
    if (!relation) {
      Fail(ExpressionProblem::Syntax, token_.position, "bad comparison '" + token_.text + "'");
      return std::nullopt;
    }
    if (invert) *relation = {!relation->less, !relation->equal, !relation->greater};
    Advance();
    return relation;
  }

  std::unique_ptr<Node> ParseComparison() {
    const std::size_t position = token_.position;
    std::unique_ptr<Node> left = ParseOperand();
    if (failed()) return nullptr;
    if (token_.kind != Tok::Relation && !IsKeyword("NOT")) return left;
    const std::optional<expr::Relation> relation = TakeRelation();
    if (!relation) return nullptr;
    std::unique_ptr<Node> right = ParseOperand();
    if (failed()) return nullptr;
    if (token_.kind == Tok::Relation) {
      Fail(ExpressionProblem::Syntax, token_.position, "comparisons do not chain; use parentheses");
      return nullptr;
    }
    std::unique_ptr<Node> node = MakeNode(Op::Compare, position);
    node->relation = *relation;
    node->children.push_back(std::move(left));
    node->children.push_back(std::move(right));
    return node;
  }

  std::unique_ptr<Node> ParseOperand() {
    if (failed()) return nullptr;
    const std::size_t position = token_.position;
    switch (token_.kind) {
      case Tok::Number: return ParseNumber();
      case Tok::String:
      case Tok::Picture: {
        std::unique_ptr<Node> node = MakeNode(Op::Text, position);
        node->text = std::move(token_.text);
        Advance();
        return node;
      }
      case Tok::LParen: {
        if (!Enter(position)) return nullptr;
        Advance();
        std::unique_ptr<Node> inner = ParseOr();
        Leave();
        if (failed()) return nullptr;
        if (token_.kind != Tok::RParen) {
          Fail(ExpressionProblem::Syntax, token_.position, token_.kind == Tok::End ? "missing ')'" : "expected ')'");
          return nullptr;
        }
        Advance();
        return inner;
      }
      case Tok::Name:
        if (IsKeyword("AND") || IsKeyword("OR") || IsKeyword("NOT")) break;
        return ParseName();
      default: break;
    }
    if (token_.kind == Tok::End) {
      Fail(ExpressionProblem::Syntax, position, "expected a value, found the end");
    } else {
      Fail(ExpressionProblem::Syntax, position, "expected a value, found '" + token_.text + "'");
    }
    return nullptr;
  }

  std::unique_ptr<Node> ParseNumber() {
    std::unique_ptr<Node> node = MakeNode(Op::Number, token_.position);
    std::string digits = token_.text;
    if (!digits.empty() && digits.back() == '.') digits.pop_back();  // "12." is 12
    node->number = Decimal::FromText(digits);
    if (!node->number.IsValid() ||
        !StorePackedDecimal(node->number, Decimal::kMaxDigits, node->number.Places(), node->packed)) {
      Fail(ExpressionProblem::BadNumber, token_.position, "number out of range '" + token_.text + "'");
      return nullptr;
    }
    const Decimal whole = node->number.Normalized();
    if (whole.Places() == 0 && whole.ToLong()) {
      node->isLong = true;
      node->integer = *whole.ToLong();
    }
    Advance();
    return node;
  }

  std::unique_ptr<Node> ParseName() {
    const std::size_t position = token_.position;
    std::string name = std::move(token_.text);
    std::size_t after = pos_;
    while (after < text_.size() && IsBlank(text_[after])) ++after;
    if (after < text_.size() && text_[after] == '(') {  // "SQL (" is a call too
      pos_ = after;
      return ParseCall(position, name);
    }
    FieldRef field = scopes_.Find(name);
    if (field.IsNull()) {
      Fail(ExpressionProblem::UnknownName, position, "unknown name '" + name + "'");
      return nullptr;
    }
    std::unique_ptr<Node> node = MakeNode(Op::Field, position);
    node->name = std::move(name);
    node->field = field;
    Advance();
    return node;
  }

  std::unique_ptr<Node> ParseCall(std::size_t position, const std::string& name) {
    ++pos_;  // the '('
    if (SameWord(name, "SQL")) {
      std::optional<std::string> raw = RawTerm(position);
      if (!raw) return nullptr;
      std::unique_ptr<Node> node = MakeNode(Op::Sql, position);
      node->text = std::move(*raw);
      Advance();
      return node;
    }
    const FunctionInfo* info = nullptr;
    for (const FunctionInfo& candidate : kFunctions)
      if (SameWord(name, candidate.name)) info = &candidate;
    if (info == nullptr) {
      Fail(ExpressionProblem::UnknownFunction, position, "unknown function '" + name + "'");
      return nullptr;
    }
    if (!Enter(position)) return nullptr;
    std::unique_ptr<Node> node = MakeNode(Op::Call, position);
    node->function = info->function;
    Advance();
    if (token_.kind != Tok::RParen) {
      while (!failed()) {
        node->children.push_back(ParseOr());
        if (failed() || token_.kind != Tok::Comma) break;
        Advance();
      }
    }
    Leave();
    if (failed()) return nullptr;
    if (token_.kind != Tok::RParen) {
      Fail(ExpressionProblem::Syntax, token_.position, token_.kind == Tok::End ? "missing ')'" : "expected ',' or ')'");
      return nullptr;
    }
    const std::size_t count = node->children.size();
    if (count < info->minArgs || count > info->maxArgs) {
      std::string takes = info->minArgs == info->maxArgs
                              ? std::to_string(info->minArgs)
                              : std::to_string(info->minArgs) + " to " + std::to_string(info->maxArgs);
      Fail(ExpressionProblem::ArgumentCount, position,
           std::string(info->name) + " takes " + takes + (info->maxArgs == 1 ? " argument" : " arguments") + ", not " +
               std::to_string(count));
      return nullptr;
    }
    Advance();
    return node;
  }

  std::string_view text_;
  const BindScopes& scopes_;
  std::size_t pos_ = 0;
  Token token_;
  int depth_ = 0;
  ExpressionError error_;
};

}  // namespace

ParsedExpression Expression::Parse(std::string_view text, const BindScopes& scopes) {
  ParsedExpression result;
  Parser parser(text, scopes);
  std::unique_ptr<expr::Node> root = parser.Run();
  if (!root) {
    result.error_ = parser.Error();
    SetError(result.error_.code, result.error_.message);
    return result;
  }
  result.expression_.reset(new Expression(std::string(text), std::move(root)));
  ClearError();
  return result;
}

ParsedExpression Expression::Parse(std::string_view text) { return Parse(text, ThreadBinds()); }

}  // namespace rt
