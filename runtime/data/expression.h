#pragma once
// Expressions over bound fields: the filter language of views. Owns parsing a filter text into a
// tree (names resolved against BIND scopes once, at parse time) and evaluating that tree as often
// as wanted against the fields' current contents. Does not own the fields or the scopes, and does
// not talk to any file or SQL (expression_sql.h translates a parsed tree). Calls bind.h,
// field_ref.h, runtime/core pictures and the per-thread last error.
//
// The language (keywords and function names without regard to case):
//   expr        := or
//   or          := and { OR and }
//   and         := not { AND not }
//   not         := { NOT | ~ } comparison
//   comparison  := operand [ relation operand ]           (comparisons do not chain)
//   relation    := a run of the characters < > = ~, each at most once, with at least one of
//                  < > = ; its outcomes are those it names, all of them inverted by ~:
//                  =   <   >   <= =<   >= =>   <> ><   ~= (not equal)   ~< (>=)   ~> (<=)   ~<= (>)
//                | NOT relation                          ("A NOT = 1" is "A ~= 1")
//   operand     := number | string | picture | name | function ( args ) | ( expr )
//   number      := [ + | - ] digits [ . digits ]          exact (rt::Decimal, at most 31 digits)
//   string      := ' chars '                              a quote inside is written twice
//   picture     := @ chars                                up to a blank, a comma or an unmatched )
//   name        := letter { letter | digit | _ | : }      a name bound when the text is parsed
// Functions: UPPER(t), LOWER(t) (ASCII letters); INSTRING(sub, t [, step [, start]]) the 1-based
// position of sub in t, trying start, start+step, ... (a negative step searches backwards), 0
// when absent; SUB(t, start [, length]) (a negative start counts from the end); LEFT(t [, length])
// t without leading blanks, blank-padded to its length; CLIP(t) t without trailing blanks;
// FORMAT(value, picture) the value shown by the picture; SQL(...) a term meant for a server,
// whose raw text is kept and which evaluates to blank here.
// Values: a fixed string field is its whole padded text to a function; comparisons follow
// FieldRef::Compare (numbers numerically, text blank-padded byte-wise, a number against text
// numerically when the text is numeric). A comparison, AND, OR and NOT give 1 or 0. A value is
// true when it is a non-zero number or a non-blank text.
//
// A blank text is refused too: an empty filter means "no filter" and is not parsed.
// Errors: a text that does not parse gives no expression; the parse sets the thread's last error
// to BadExpressionErr (800) with a message naming the fault and its position, e.g.
// "Bad Expression: unknown name 'AFI:NOPE' at 1". Successful parses clear the last error.

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

#include "runtime/core/types.h"
#include "runtime/data/bind.h"

namespace rt {

namespace expr {
struct Node;  // expression_tree.h: the tree, for this layer's own translators
}

// The runtime error code of a malformed expression.
constexpr Long BadExpressionErr = 800;

// What was wrong with a text that did not parse.
enum class ExpressionProblem {
  None,
  Syntax,           // unexpected character or token, unbalanced parenthesis, dangling operator
  Unterminated,     // a string literal without its closing quote
  UnknownName,      // a name that no BIND scope holds
  UnknownFunction,  // name( with a name that is no function
  ArgumentCount,    // a function called with too few or too many arguments
  TooLong,          // the text or one literal is longer than the limits below
  TooDeep,          // nesting deeper than kMaxDepth
  BadNumber,        // a number that does not fit 31 digits
};

struct ExpressionError {
  ExpressionProblem problem = ExpressionProblem::None;
  Long code = 0;              // BadExpressionErr when problem is not None
  std::string message;        // also the thread's last error text
  std::size_t position = 0;   // 1-based byte position of the fault in the text
};

class Expression;

// The outcome of Expression::Parse: an expression or an error. Movable, not copyable.
class ParsedExpression {
 public:
  ParsedExpression() = default;  // empty: no expression and no error (a member not yet parsed)
  ParsedExpression(ParsedExpression&&) noexcept;
  ParsedExpression& operator=(ParsedExpression&&) noexcept;
  ~ParsedExpression();

  bool IsOk() const { return expression_ != nullptr; }
  explicit operator bool() const { return IsOk(); }
  // Only when IsOk().
  const Expression* operator->() const { return expression_.get(); }
  const Expression& operator*() const { return *expression_; }
  // The error; problem None when IsOk().
  const ExpressionError& Error() const { return error_; }
  // Takes the expression out (null when the parse failed).
  std::unique_ptr<Expression> Release() { return std::move(expression_); }

 private:
  friend class Expression;
  std::unique_ptr<Expression> expression_;
  ExpressionError error_;
};

class Expression {
 public:
  // ---- Limits (beyond them a text is refused, never a crash) ----
  static constexpr std::size_t kMaxTextBytes = 64 * 1024;
  static constexpr std::size_t kMaxLiteralBytes = 16 * 1024;
  static constexpr int kMaxDepth = 64;  // parentheses, NOT and function calls, nested

  // ---- Parse ----
  // Names are looked up in `scopes` now; the fields they name must outlive the expression.
  static ParsedExpression Parse(std::string_view text, const BindScopes& scopes);
  // The same, with the calling thread's BIND scopes.
  static ParsedExpression Parse(std::string_view text);

  ~Expression();
  Expression(const Expression&) = delete;
  Expression& operator=(const Expression&) = delete;

  // ---- Evaluate against the bound fields' current contents ----
  bool IsTrue() const;
  // The value as text (numbers as plain decimal text: "12", "-0.5").
  std::string ValueText() const;

  // ---- Query ----
  // The text it was parsed from, as given.
  const std::string& Text() const { return text_; }
  // The tree (expression_tree.h); for translators in this layer.
  const expr::Node& Root() const { return *root_; }

 private:
  Expression(std::string text, std::unique_ptr<expr::Node> root);
  std::string text_;
  std::unique_ptr<expr::Node> root_;
};

}  // namespace rt
