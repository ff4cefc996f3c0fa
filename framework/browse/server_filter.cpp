// The rewrite of server-side SQL(...) terms in a view filter, so that a changed record can be
// tested against the rest of the filter here.

#include <cctype>
#include <string>
#include <string_view>

#include "framework/browse/browse_class.h"

namespace {

constexpr std::string_view kLocalTerm = " ''=SQL(";

// The position of the "(" that ends a term head "SQL *(" starting at `at`; npos when none.
// Function names are matched without regard to case, as the expression language reads them.
std::size_t HeadEnd(const std::string& text, std::size_t at) {
  if (text.size() < at + 4) return std::string::npos;
  for (std::size_t i = 0; i < 3; ++i)
    if (std::toupper(static_cast<unsigned char>(text[at + i])) != "SQL"[i]) return std::string::npos;
  std::size_t i = at + 3;
  while (i < text.size() && text[i] == ' ') ++i;
  return i < text.size() && text[i] == '(' ? i : std::string::npos;
}

bool StartsTerm(char before) { return before == ' ' || before == '|' || before == '(' || before == '~'; }

}  // namespace

bool RewriteServerFilter(std::string& filter) {
  std::size_t pos = 0;
  while (filter.size() >= pos + 4) {
    std::size_t replaceFrom = std::string::npos;
    std::size_t paren = std::string::npos;
    for (std::size_t at = pos; at + 4 <= filter.size(); ++at) {
      if (at != 0 && !StartsTerm(filter[at - 1])) continue;
      if ((paren = HeadEnd(filter, at)) == std::string::npos) continue;
      // The character before the term goes with it, except an opening parenthesis, whose
      // loss would unbalance the filter.
      replaceFrom = at == 0 || filter[at - 1] == '(' ? at : at - 1;
      break;
    }
    if (replaceFrom == std::string::npos) break;
    filter.replace(replaceFrom, paren + 1 - replaceFrom, kLocalTerm);
    pos = replaceFrom + kLocalTerm.size();
  }
  return false;
}
