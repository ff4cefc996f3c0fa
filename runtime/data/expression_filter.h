#pragma once
// The filter language of views: a FilterParser (view_filter.h) that parses a view's filter text
// with the expression evaluator (expression.h) over BIND scopes (bind.h), and offers the driver
// what expression_sql.h translates (the view still checks every row, so a partial push-down only
// saves reading). Owns each filter's parsed expression; the bound fields must outlive it.

#include "runtime/data/bind.h"
#include "runtime/data/view_filter.h"

namespace rt {

// Names resolve against the calling thread's BIND scopes when the filter is set.
FilterParser ExpressionFilterParser();
// Names resolve against `scopes`, which must outlive the parser and its filters.
FilterParser ExpressionFilterParser(const BindScopes& scopes);

}  // namespace rt
