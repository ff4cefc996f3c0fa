#include "runtime/data/expression_filter.h"

#include <utility>

#include "runtime/data/expression.h"
#include "runtime/data/expression_sql.h"

namespace rt {

namespace {

SqlColumnKind KindOf(StoredColumn::Kind kind) {
  switch (kind) {
    case StoredColumn::Kind::Integer: return SqlColumnKind::Integer;
    case StoredColumn::Kind::Real: return SqlColumnKind::Real;
    case StoredColumn::Kind::PaddedText: return SqlColumnKind::PaddedText;
    case StoredColumn::Kind::Text: break;
  }
  return SqlColumnKind::Text;
}

class ExpressionFilter final : public ViewFilter {
 public:
  explicit ExpressionFilter(std::unique_ptr<Expression> expression) : expression_(std::move(expression)) {}

  bool Matches() override { return expression_->IsTrue(); }
  std::string Text() const override { return expression_->Text(); }

  std::optional<SqlWhere> PushDown(const ColumnOf& columns) const override {
    const SqlFilter sql = TranslateToSql(*expression_, [&](const FieldRef& field) -> std::optional<SqlColumn> {
      const std::optional<StoredColumn> stored = columns(field);
      if (!stored) return std::nullopt;
      const bool postgres = stored->engine == StoredColumn::Engine::Postgres;
      return SqlColumn{stored->name, KindOf(stored->kind), postgres ? SqlDialect::Postgres : SqlDialect::SQLite};
    });
    if (sql.where.empty()) return std::nullopt;
    return SqlWhere{sql.where, sql.parameters, sql.complete};
  }

 private:
  std::unique_ptr<Expression> expression_;
};

ParsedFilter Wrap(ParsedExpression parsed) {
  if (!parsed) return {nullptr, parsed.Error().code, parsed.Error().message};
  return {std::make_unique<ExpressionFilter>(parsed.Release()), 0, {}};
}

}  // namespace

FilterParser ExpressionFilterParser() {
  return [](std::string_view text) { return Wrap(Expression::Parse(text)); };
}

FilterParser ExpressionFilterParser(const BindScopes& scopes) {
  return [&scopes](std::string_view text) { return Wrap(Expression::Parse(text, scopes)); };
}

}  // namespace rt
