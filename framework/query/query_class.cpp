// QueryClass: the fields, the bounds of each field and the filter text built from them. Saved
// queries and the quick popup are query_saved.cpp's.
//
// Every typed value reaches the filter as a quoted literal or as a plain number, never as
// expression text: a non-string field whose value is not a plain number gets it quoted, so
// "1 OR 1=1" is compared as that text and selects nothing. The view binds literals as SQL
// parameters when it pushes the filter down.

#include "framework/query/query_class.h"

#include <algorithm>
#include <cctype>

#include "runtime/core/assert.h"
#include "runtime/core/picture.h"
#include "runtime/core/text.h"

namespace {

constexpr std::string_view kOperatorChars = "=<>~";
constexpr std::size_t kMaxNumberDigits = 31;  // what the expression language reads as a number

std::string Upper(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

bool Contains(std::string_view text, std::string_view part) { return Upper(text).find(Upper(part)) != std::string::npos; }

// The picture without '@'; its kind is the first letter, upper-cased.
std::string_view Bare(std::string_view picture) { return !picture.empty() && picture.front() == '@' ? picture.substr(1) : picture; }
char KindOf(std::string_view picture) {
  const std::string_view bare = Bare(picture);
  return bare.empty() ? '\0' : static_cast<char>(std::toupper(static_cast<unsigned char>(bare.front())));
}
bool IsNumberKind(char kind) { return kind == 'N' || kind == 'E'; }
// Date pictures whose text holds month names or the locale's form keep the case rule.
bool IsWordyDate(std::string_view picture) {
  const std::string bare = Upper(Bare(picture));
  auto is = [&](std::string_view p) { return bare == p || (bare.rfind(p, 0) == 0 && !std::isdigit(static_cast<unsigned char>(bare[p.size()]))); };
  return is("D4") || is("D04") || is("D17") || is("D18");
}

// A number as the expression language reads one: [sign] digits [. digits], within 31 digits.
bool IsPlainNumber(std::string_view text) {
  std::size_t i = (!text.empty() && (text[0] == '-' || text[0] == '+')) ? 1 : 0;
  std::size_t digits = 0, before = 0;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !point && digits > 0) {
      point = true;
      before = digits;
    } else if (std::isdigit(static_cast<unsigned char>(text[i]))) {
      ++digits;
    } else {
      return false;
    }
  }
  return digits > 0 && digits <= kMaxNumberDigits && (!point || digits > before);
}

std::string Cut(std::string_view text, std::size_t size) { return std::string(rt::Utf8Prefix(text, size)); }

// A leading '^' asks for a caseless comparison of the rest, upper-cased.
void TakeCaret(QueryLimit& limit) {
  if (limit.value.empty() || limit.value.front() != '^') return;
  limit.caseless = 1;
  limit.value = Upper(std::string_view(limit.value).substr(1));
}

}  // namespace

// ---- Text ----

std::string QueryClass::Upper(std::string_view text) { return ::Upper(text); }

std::string_view QueryClass::Unwrapped(std::string_view name) {
  if (name.size() > 7 && Upper(name.substr(0, 6)) == "UPPER(" && name.back() == ')') return name.substr(6, name.size() - 7);
  return name;
}

// ---- Life cycle and fields ----

void QueryClass::Init(std::string_view family, INIClass* ini, ErrorClass* errors) {
  Kill();
  family_ = std::string(family);
  ini_ = ini;
  errors_ = errors;
}

void QueryClass::Kill() {
  fields_.clear();
  quickList_.clear();
  quickPopup_ = 0;
  lastSelection_.clear();
}

void QueryClass::AddItem(std::string_view name, std::string_view title, std::string_view picture,
                         rt::Byte forceEditPicture) {
  FieldQueueEntry entry;
  entry.Name = name;
  entry.Title = title;
  entry.Picture = picture;
  entry.ForceEditPicture = forceEditPicture;
  fields_.push_back(entry);
}

FieldQueueEntry* QueryClass::Find(std::string_view name) {
  const std::string wanted = Upper(name);
  for (FieldQueueEntry& entry : fields_)
    if (Upper(entry.Name.View()) == wanted) return &entry;
  return nullptr;
}

bool QueryClass::SetValues(std::string_view name, std::string_view middle, std::string_view low, std::string_view high) {
  FieldQueueEntry* entry = Find(name);
  if (!entry) return false;
  entry->Middle = middle;
  entry->Low = low;
  entry->High = high;
  return true;
}

void QueryClass::ClearQuery() {
  for (FieldQueueEntry& entry : fields_) {
    entry.Low.Clear();
    entry.Middle.Clear();
    entry.High.Clear();
  }
}

// ---- Operators and quoting ----

void QueryClass::MakeOperator(std::string_view value, std::string_view operatorName, std::string& operators,
                              std::string& rest) {
  std::size_t lead = 0;
  while (lead < value.size() && lead < kMaxOperator && kOperatorChars.find(value[lead]) != std::string_view::npos) ++lead;
  std::string typed(value.substr(0, lead));
  rest = std::string(value.substr(lead));
  if (operatorName == "Contains") rest = "*" + rest;
  else if (operatorName == "Begins") rest += "*";
  else if (operatorName == "NOT =") typed += "<>";
  else typed += operatorName;
  operators.clear();
  for (const char c : typed)
    if ((c == '<' || c == '>' || c == '~') && operators.find(c) == std::string::npos) operators += c;
  const bool both = typed.find('<') != std::string::npos && typed.find('>') != std::string::npos;
  if (typed.find('=') != std::string::npos && !both) operators += '=';
}

std::string QueryClass::MakeOperator(std::string_view value, std::string_view operatorName) {
  std::string operators, rest;
  MakeOperator(value, operatorName, operators, rest);
  return operators + rest;
}

std::string QueryClass::Quote(std::string_view text) {
  std::string out = "'";
  for (std::size_t i = 0; i < text.size();) {
    // Whole UTF-8 characters only, and a quote only together with its double.
    std::size_t step = 1;
    if (text[i] != '\'')
      while (i + step < text.size() && (static_cast<unsigned char>(text[i + step]) & 0xC0) == 0x80) ++step;
    const std::string_view piece = text[i] == '\'' ? std::string_view("''") : text.substr(i, step);
    if (out.size() + piece.size() + 1 > kMaxQuoted) break;
    out += piece;
    i += step;
  }
  return out + "'";
}

// ---- Bounds ----

void QueryClass::ParseBound(const FieldQueueEntry& entry, QueryLimit& limit) const {
  if (!entry.Middle.View().empty()) {
    RT_ASSERT(limit.value == entry.Middle.View(),
              "QueryClass: Field:" + entry.Name.Str() + "-Value:" + limit.value);
    // A bound beside a single value takes it in; the single value itself is an equality
    // unless the user typed the relation (">5" means greater, not greater or equal).
    const bool single = limit.op.empty();
    const std::size_t typed = limit.value.find_first_not_of(kOperatorChars);
    const std::string_view ops = std::string_view(limit.value).substr(0, std::min(typed, limit.value.size()));
    if (!single || ops.find_first_of("<>=") == std::string_view::npos) limit.op += "=";
  }
  std::string operators, rest;
  MakeOperator(limit.value, limit.op, operators, rest);
  limit.op = operators;
  limit.value = rest;
  TakeCaret(limit);
  if (Contains(entry.Name.View(), "UPPER(")) {
    limit.caseless = 1;
    limit.value = Upper(limit.value);
  }
  if (entry.ForceEditPicture && KindOf(limit.picture) != 'S') {
    limit.caseless = 0;
    limit.picture.clear();
  }
}

void QueryClass::Unformat(QueryLimit& limit) {
  const char kind = KindOf(limit.picture);
  if (kind == '\0' || kind == 'S' || (IsNumberKind(kind) && IsPlainNumber(limit.value))) return;
  // A text the picture cannot read stays as typed; it is then compared as quoted text.
  if (const std::optional<std::string> stored = rt::Deformat(limit.value, limit.picture)) limit.value = *stored;
  limit.caseless = 0;
  limit.picture.clear();
}

rt::Byte QueryClass::GetLimit(std::size_t position, QueryLimit& limit, rt::Byte continuation) {
  limit = QueryLimit{};
  RT_ASSERT(position >= 1 && position <= fields_.size(), "QueryClass: GetLimit of a field it does not have");
  if (position < 1 || position > fields_.size()) return 0;
  FieldQueueEntry& entry = fields_[position - 1];
  if (entry.Low.View().empty() && entry.Middle.View().empty() && entry.High.View().empty()) return 0;
  const rt::Byte kind = Kind();
  RT_ASSERT(kind == QueryKind::OneValue || kind == QueryKind::Range,
            "QueryClass: a query form of kind " + std::to_string(kind));
  limit.picture = entry.Picture.Str();

  if (!entry.Low.View().empty() && continuation == 0) {
    if (kind != QueryKind::Range) {
      if (entry.Middle.View().empty()) entry.Middle = entry.Low.View();
      entry.Low.Clear();
      entry.High.Clear();
      return kMoreBounds;
    }
    limit.op = ">";
    limit.value = entry.Low.Str();
    ParseBound(entry, limit);
    Unformat(limit);
    return entry.High.View().empty() ? 0 : kMoreBounds;
  }
  if (!entry.High.View().empty() && kind == QueryKind::Range) {
    limit.op = "<";
    limit.value = entry.High.Str();
    ParseBound(entry, limit);
    Unformat(limit);
    return 0;
  }
  limit.value = entry.Middle.Str();
  if (limit.value.empty()) return 0;
  ParseBound(entry, limit);
  // "*abc" contains, "abc*" begins with; "*abc*" contains too. An inner '*' is a character.
  if (!limit.value.empty() && limit.value.front() == '*') {
    limit.op = "Contains";
    limit.value.erase(0, 1);
    if (!limit.value.empty() && limit.value.back() == '*') limit.value.pop_back();
  } else if (!limit.value.empty() && limit.value.back() == '*') {
    limit.op = "Begins";
    limit.value.pop_back();
  }
  TakeCaret(limit);
  if (!entry.ForceEditPicture && limit.op != "Contains" && limit.op != "Begins") Unformat(limit);
  limit.value = Cut(limit.value, kMaxValue);
  return 0;
}

// ---- The filter ----

std::string QueryClass::Condition(const FieldQueueEntry& entry, QueryLimit limit) const {
  std::string name = entry.Name.Str();
  const char kind = KindOf(limit.picture);
  const bool contains = limit.op == "Contains", begins = limit.op == "Begins";
  if ((contains || begins) && kind != '\0' && kind != 'S') {
    name = "FORMAT(" + name + ",@" + std::string(Bare(limit.picture)) + ")";
    limit.caseless = 1;
  }
  if (limit.op == "<>" && limit.value.empty() && kind != 'S') limit.value = "0";
  if ((IsNumberKind(kind) || kind == 'T' || kind == 'D') && !IsWordyDate(limit.picture)) {
    limit.caseless = 0;
    limit.value = Upper(limit.value);
  }
  // The case rule changes only the text built, never the entry: a caret typed once does not
  // make the field caseless for the queries after it.
  if (limit.caseless) {
    limit.value = Upper(limit.value);
    if (!limit.value.empty() && limit.value.front() == '^') limit.value.erase(0, 1);
    if (!Contains(name, "UPPER(")) name = "UPPER(" + name + ")";
  } else {
    name = std::string(Unwrapped(name));
  }
  if (contains || begins) {
    if (limit.value.empty()) return {};  // "*" alone: anything
    if (contains) return "INSTRING(" + Quote(limit.value) + "," + name + ",1,1) <> 0";
    const std::string length = std::to_string(limit.value.size());
    return (IsNumberKind(kind) ? "SUB(LEFT(" + name + "),1," : "SUB(" + name + ",1,") + length + ") = " + Quote(limit.value);
  }
  std::string value;
  if (kind == 'S') value = Quote(limit.value);
  else if (limit.value.empty()) value = "0";
  else if (IsPlainNumber(limit.value)) value = limit.value;
  else value = Quote(limit.value);
  return "(" + name + " " + MakeOperator("", limit.op) + " " + value + ")";
}

std::string QueryClass::GetFilter() {
  std::string filter;
  for (std::size_t position = 1; position <= fields_.size(); ++position) {
    rt::Byte more = 0;
    do {
      QueryLimit limit;
      more = GetLimit(position, limit, more);
      if (limit.value.empty() && limit.op.empty()) continue;
      const std::string condition = Condition(fields_[position - 1], limit);
      if (condition.empty()) continue;
      const std::size_t joined = filter.size() + (filter.empty() ? 0 : 5) + condition.size();
      if (joined > kMaxFilter) return filter;
      if (!filter.empty()) filter += " AND ";
      filter += condition;
    } while (more == kMoreBounds);
  }
  return filter;
}
