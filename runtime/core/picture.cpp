#include "runtime/core/picture.h"

#include <array>
#include <cmath>
#include <cstdio>

#include "runtime/core/date_time.h"
#include "runtime/core/text.h"

// Sections: picture grammar | numbers | text | dates and times | public entry points.

namespace rt {

namespace {

// ---------------------------------------------------------------- picture grammar

enum class Kind { Invalid, Number, Text, Date, Time };
enum class SignStyle { Leading, Trailing, Parentheses };

struct NumberSpec {
  int width = 0;  // 0: as wide as needed
  int decimals = 0;
  bool grouping = true;
  SignStyle sign = SignStyle::Leading;
  bool zeroPad = false;
  bool blankWhenZero = false;
};

struct CalendarSpec {
  int style = 0;
  bool zeroPad = false;
  char separator = 0;  // 0: the pattern's own
};

struct Picture {
  Kind kind = Kind::Invalid;
  NumberSpec number;
  int textWidth = 0;
  CalendarSpec calendar;
};

constexpr int kMaxNumberWidth = 255;
constexpr int kMaxTextWidth = 65535;

class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek(std::size_t ahead = 0) const { return pos_ + ahead < text_.size() ? text_[pos_ + ahead] : '\0'; }
  bool Take(char c) {
    if (AtEnd() || text_[pos_] != c) return false;
    ++pos_;
    return true;
  }
  char Next() { return AtEnd() ? '\0' : text_[pos_++]; }
  bool PeekDigit(std::size_t ahead = 0) const { return Peek(ahead) >= '0' && Peek(ahead) <= '9'; }
  // Up to `maxCount` digits; nullopt when none. Values above `limit` are capped at limit + 1.
  std::optional<int> Digits(int maxCount, int limit) {
    int value = 0;
    int count = 0;
    while (count < maxCount && PeekDigit()) {
      value = std::min(value * 10 + (Next() - '0'), limit + 1);
      ++count;
    }
    if (count == 0) return std::nullopt;
    return value;
  }
  int DigitsAhead() const {
    int n = 0;
    while (PeekDigit(static_cast<std::size_t>(n))) ++n;
    return n;
  }
  std::size_t Position() const { return pos_; }
  std::string_view Rest() const { return text_.substr(std::min(pos_, text_.size())); }
  void Skip(std::size_t n) { pos_ = std::min(pos_ + n, text_.size()); }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

constexpr int kUnlimited = 1 << 20;

bool ParseNumberPicture(Reader& r, NumberSpec& spec) {
  bool explicitLeading = false;
  if (r.Take('-')) {
    explicitLeading = true;
  } else if (r.Take('(')) {
    spec.sign = SignStyle::Parentheses;
  }
  // A '0' is the zero fill when a grouping mark or the width follows it ("@n0_8", "@n08").
  if (r.Peek() == '0' && (r.PeekDigit(1) || r.Peek(1) == '_' || r.Peek(1) == ',')) {
    r.Next();
    spec.zeroPad = true;
  }
  if (r.Take('_')) {
    spec.grouping = false;
  } else {
    r.Take(',');
  }
  if (r.PeekDigit()) {
    spec.width = *r.Digits(kUnlimited, kMaxNumberWidth);
    if (spec.width > kMaxNumberWidth) return false;
  }
  if (r.Take('.')) {
    const auto decimals = r.Digits(kUnlimited, Decimal::kMaxDigits);
    if (!decimals || *decimals > Decimal::kMaxDigits) return false;
    spec.decimals = *decimals;
  }
  if (r.Take('-')) {
    if (explicitLeading || spec.sign == SignStyle::Parentheses) return false;
    spec.sign = SignStyle::Trailing;
  } else if (r.Take(')')) {
    if (spec.sign != SignStyle::Parentheses) return false;
  } else if (spec.sign == SignStyle::Parentheses) {
    return false;
  }
  spec.blankWhenZero = r.Take('b') || r.Take('B');
  if (spec.zeroPad) spec.grouping = false;
  return r.AtEnd();
}

bool ParseCalendarPicture(Reader& r, CalendarSpec& spec, int maxStyle, std::string_view separators) {
  const auto style = r.Digits(kUnlimited, maxStyle);
  if (!style || *style < 1 || *style > maxStyle) return false;
  spec.style = *style;
  if (!r.AtEnd() && separators.find(r.Peek()) != std::string_view::npos) {
    const char c = r.Next();
    spec.separator = c == '_' ? ' ' : c;
  }
  if (!r.Take('b')) r.Take('B');  // a zero value is empty anyway
  return r.AtEnd();
}

constexpr int kDateStyles = 18;
constexpr int kTimeStyles = 8;

Picture ParsePicture(std::string_view text) {
  Reader r(text);
  r.Take('@');
  Picture p;
  bool ok = false;
  switch (const char kind = r.Next()) {
    case 'n':
    case 'N':
      p.kind = Kind::Number;
      ok = ParseNumberPicture(r, p.number);
      break;
    case 's':
    case 'S': {
      p.kind = Kind::Text;
      const auto width = r.Digits(kUnlimited, kMaxTextWidth);
      ok = width && *width >= 1 && *width <= kMaxTextWidth && r.AtEnd();
      if (ok) p.textWidth = *width;
      break;
    }
    case 'd':
    case 'D':
      p.kind = Kind::Date;
      p.calendar.zeroPad = kind == 'D';
      ok = ParseCalendarPicture(r, p.calendar, kDateStyles, "/.-_");
      break;
    case 't':
    case 'T':
      p.kind = Kind::Time;
      p.calendar.zeroPad = kind == 'T';
      ok = ParseCalendarPicture(r, p.calendar, kTimeStyles, ":.-_");
      break;
    default:
      break;
  }
  if (!ok) p.kind = Kind::Invalid;
  return p;
}

std::string Hashes(std::size_t width) { return std::string(std::max<std::size_t>(width, 1), '#'); }

std::string_view TrimBlanks(std::string_view t) {
  while (!t.empty() && (t.front() == ' ' || t.front() == '\t')) t.remove_prefix(1);
  while (!t.empty() && (t.back() == ' ' || t.back() == '\t')) t.remove_suffix(1);
  return t;
}

// ---------------------------------------------------------------- numbers

std::string Grouped(std::string_view integerDigits) {
  std::string out;
  const std::size_t n = integerDigits.size();
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0 && (n - i) % 3 == 0) out.push_back(',');
    out.push_back(integerDigits[i]);
  }
  return out;
}

std::string FormatNumber(const Decimal& value, const NumberSpec& spec) {
  const auto width = static_cast<std::size_t>(spec.width);
  const Decimal rounded = value.Round(spec.decimals);
  if (!rounded.IsValid() || rounded.Places() != spec.decimals) return Hashes(width);
  if (spec.blankWhenZero && rounded.IsZero()) return std::string(width, ' ');
  const bool negative = rounded.IsNegative();
  const std::string plain = (negative ? -rounded : rounded).ToString();
  const std::size_t point = plain.find('.');
  std::string body = spec.grouping ? Grouped(std::string_view(plain).substr(0, point)) : plain.substr(0, point);
  if (point != std::string::npos) body.append(plain, point, std::string::npos);

  std::string lead;
  std::string trail;
  switch (spec.sign) {
    case SignStyle::Leading:
      if (negative) lead.push_back('-');
      break;
    case SignStyle::Trailing:
      trail.push_back(negative ? '-' : ' ');
      break;
    case SignStyle::Parentheses:
      if (negative) lead.push_back('(');
      trail.push_back(negative ? ')' : ' ');
      break;
  }
  if (width == 0) {
    if (!negative) trail.clear();  // the alignment blank only matters in a column
    return lead + body + trail;
  }
  if (!negative && lead.size() + body.size() + trail.size() > width) trail.clear();
  if (spec.zeroPad) {
    const std::size_t used = lead.size() + body.size() + trail.size();
    if (used < width) body.insert(0, width - used, '0');
  }
  std::string out = lead + body + trail;
  if (out.size() > width) return Hashes(width);
  out.insert(0, width - out.size(), ' ');
  return out;
}

// Digits with optional comma grouping (first group 1-3 digits, then groups of 3) and one point.
std::optional<std::string> UngroupedDigits(std::string_view t, bool grouping) {
  const std::size_t point = t.find('.');
  const std::string_view integer = t.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view() : t.substr(point + 1);
  std::string out;
  if (grouping && integer.find(',') != std::string_view::npos) {
    std::size_t groupStart = 0;
    bool first = true;
    while (true) {
      const std::size_t comma = integer.find(',', groupStart);
      const std::size_t len = (comma == std::string_view::npos ? integer.size() : comma) - groupStart;
      if (first ? (len < 1 || len > 3) : len != 3) return std::nullopt;
      out.append(integer.substr(groupStart, len));
      if (comma == std::string_view::npos) break;
      groupStart = comma + 1;
      first = false;
    }
  } else {
    out.append(integer);
  }
  if (point != std::string_view::npos) {
    out.push_back('.');
    out.append(fraction);
  }
  for (const char c : out)
    if ((c < '0' || c > '9') && c != '.') return std::nullopt;
  return out;
}

std::optional<std::string> DeformatNumber(std::string_view text, const NumberSpec& spec) {
  std::string_view t = TrimBlanks(text);
  if (t.empty()) return "0";
  bool negative = false;
  if (t.size() >= 2 && t.front() == '(' && t.back() == ')') {
    negative = true;
    t = t.substr(1, t.size() - 2);
  } else if (t.front() == '-' || t.front() == '+') {
    negative = t.front() == '-';
    t.remove_prefix(1);
  } else if (t.back() == '-') {
    negative = true;
    t.remove_suffix(1);
  }
  t = TrimBlanks(t);
  const auto digits = UngroupedDigits(t, spec.grouping || spec.zeroPad);
  if (!digits) return std::nullopt;
  Decimal value = Decimal::FromText(*digits);
  if (!value.IsValid()) return std::nullopt;
  value = value.Round(spec.decimals);
  if (!value.IsValid() || value.Places() != spec.decimals) return std::nullopt;
  if (negative) value = -value;
  return value.Normalized().ToString();
}

// ---------------------------------------------------------------- text

std::string FitText(std::string_view text, int width) {
  const auto w = static_cast<std::size_t>(width);
  std::string out(Utf8Prefix(text, w));
  out.append(w - out.size(), ' ');
  return out;
}

// A Real as plain text: its 15 significant digits without an exponent when they fit a Decimal.
std::string RealText(Real value) {
  const Decimal d = Decimal::FromReal(value);
  if (d.IsValid()) return d.ToString();
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  return buf;
}

// ---------------------------------------------------------------- dates and times
// Pattern letters: m month, d day, y two-digit year, Y four-digit year, A month abbreviation,
// F month name, / the separator; h hour, n minute, s second, X AM/PM, : the separator.
// Anything else is literal.

constexpr std::array<std::string_view, kDateStyles + 1> kDatePatterns = {
    "",      "m/d/y", "m/d/Y", "A d, Y", "F d, Y", "d/m/y", "d/m/Y", "d A y",  "d A Y", "y/m/d",
    "Y/m/d", "ymd",   "Ymd",   "m/y",    "m/Y",    "y/m",   "Y/m",   "m/d/Y", "F d, Y"};
constexpr std::array<std::string_view, kTimeStyles + 1> kTimePatterns = {
    "", "h:n", "hn", "h:nX", "h:n:s", "hns", "h:n:sX", "h:n", "h:n:s"};
constexpr std::array<std::string_view, 12> kMonthNames = {"January", "February", "March",     "April",
                                                          "May",     "June",     "July",      "August",
                                                          "September", "October", "November", "December"};

// Not a namespace-scope constant: its value depends on date_time.cpp's own initialisation.
Long LastDate() {
  static const Long last = DateFromCivil(9999, 12, 31);
  return last;
}
constexpr Long kLastTime = 24 * 360000;  // 23:59:59.99

bool IsNumericField(char c) { return c == 'm' || c == 'd' || c == 'y' || c == 'Y' || c == 'h' || c == 'n' || c == 's'; }

void AppendTwo(std::string& out, int value, char pad) {
  out.push_back(value < 10 ? pad : static_cast<char>('0' + value / 10));
  out.push_back(static_cast<char>('0' + value % 10));
}

std::string FormatDateValue(Long date, const CalendarSpec& spec) {
  const std::string_view pattern = kDatePatterns[static_cast<std::size_t>(spec.style)];
  const CivilDate c = CivilFromDate(date);
  std::string out;
  out.reserve(pattern.size() + 8);  // month names are longer than their letter
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char pad = (i == 0 && !spec.zeroPad) ? ' ' : '0';
    switch (pattern[i]) {
      case 'm': AppendTwo(out, c.month, pad); break;
      case 'd': AppendTwo(out, c.day, pad); break;
      case 'y': AppendTwo(out, c.year % 100, '0'); break;
      case 'Y':
        AppendTwo(out, c.year % 10000 / 100, '0');
        AppendTwo(out, c.year % 100, '0');
        break;
      case 'A': out += kMonthNames[static_cast<std::size_t>(c.month - 1)].substr(0, 3); break;
      case 'F': out += kMonthNames[static_cast<std::size_t>(c.month - 1)]; break;
      case '/': out.push_back(spec.separator ? spec.separator : '/'); break;
      default: out.push_back(pattern[i]); break;
    }
  }
  return out;
}

std::string FormatDate(Long date, const CalendarSpec& spec) {
  if (date == 0) return "";
  if (date < 1 || date > LastDate()) return Hashes(FormatDateValue(DateFromCivil(2000, 9, 28), spec).size());
  return FormatDateValue(date, spec);
}

std::string FormatTimeValue(Long time, const CalendarSpec& spec) {
  const std::string_view pattern = kTimePatterns[static_cast<std::size_t>(spec.style)];
  const bool twelveHour = pattern.find('X') != std::string_view::npos;
  const bool compact = pattern.find(':') == std::string_view::npos;
  const TimeOfDay t = PartsFromTime(time);
  std::string out;
  out.reserve(pattern.size() + 2);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    switch (pattern[i]) {
      case 'h': {
        int hour = t.hour;
        if (twelveHour) hour = hour % 12 == 0 ? 12 : hour % 12;
        AppendTwo(out, hour, (i == 0 && !spec.zeroPad && !compact) ? ' ' : '0');
        break;
      }
      case 'n': AppendTwo(out, t.minute, '0'); break;
      case 's': AppendTwo(out, t.second, '0'); break;
      case 'X': out += t.hour < 12 ? "AM" : "PM"; break;
      case ':': out.push_back(spec.separator ? spec.separator : ':'); break;
      default: out.push_back(pattern[i]); break;
    }
  }
  return out;
}

std::string FormatTime(Long time, const CalendarSpec& spec) {
  if (time == 0) return "";
  if (time < 1 || time > kLastTime) return Hashes(FormatTimeValue(TimeFromParts(12, 0, 0), spec).size());
  return FormatTimeValue(time, spec);
}

bool IsFieldSeparator(char c) { return c == ' ' || c == '/' || c == '-' || c == '.' || c == ',' || c == ':'; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The month a word names: its first three letters at least, a prefix of the English name.
std::optional<int> MonthFromWord(std::string_view word) {
  if (word.size() < 3) return std::nullopt;
  for (std::size_t m = 0; m < kMonthNames.size(); ++m) {
    const std::string_view name = kMonthNames[m];
    if (word.size() > name.size()) continue;
    bool match = true;
    for (std::size_t i = 0; i < word.size() && match; ++i) match = Lower(word[i]) == Lower(name[i]);
    if (match) return static_cast<int>(m) + 1;
  }
  return std::nullopt;
}

// Reads the numeric fields of `pattern` from `text`; separators and literals match any run of
// separator characters. Fields next to another numeric field (yymmdd) take their full width.
struct ReadFields {
  int month = 1, day = 1, year = 0, yearDigits = 0;
  int hour = 0, minute = 0, second = 0;
  char meridiem = 0;  // 'A', 'P' or 0
};

std::optional<ReadFields> ReadByPattern(std::string_view text, std::string_view pattern) {
  ReadFields f;
  Reader r(text);
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char token = pattern[i];
    if (IsNumericField(token)) {
      const bool compact = (i > 0 && IsNumericField(pattern[i - 1])) ||
                           (i + 1 < pattern.size() && IsNumericField(pattern[i + 1]));
      const int fieldWidth = token == 'Y' ? 4 : 2;
      const int maxDigits = (token == 'y' || token == 'Y') && !compact ? 4 : fieldWidth;
      if (compact && r.DigitsAhead() < fieldWidth) return std::nullopt;
      const std::size_t start = r.Position();
      const auto value = r.Digits(maxDigits, 9999);
      if (!value) return std::nullopt;
      switch (token) {
        case 'm': f.month = *value; break;
        case 'd': f.day = *value; break;
        case 'y':
        case 'Y':
          f.year = *value;
          f.yearDigits = static_cast<int>(r.Position() - start);
          break;
        case 'h': f.hour = *value; break;
        case 'n': f.minute = *value; break;
        case 's': f.second = *value; break;
        default: break;
      }
    } else if (token == 'A' || token == 'F') {
      std::size_t len = 0;
      while (len < r.Rest().size() && Lower(r.Rest()[len]) >= 'a' && Lower(r.Rest()[len]) <= 'z') ++len;
      const auto month = MonthFromWord(r.Rest().substr(0, len));
      if (!month) return std::nullopt;
      f.month = *month;
      r.Skip(len);
    } else if (token == 'X') {
      while (r.Peek() == ' ') r.Next();
      const char c = Lower(r.Peek());
      if (c == 'a' || c == 'p') {
        f.meridiem = c == 'a' ? 'A' : 'P';
        r.Next();
        if (Lower(r.Peek()) == 'm') r.Next();
      }
    } else {
      while (!r.AtEnd() && IsFieldSeparator(r.Peek())) r.Next();
    }
  }
  return r.AtEnd() ? std::optional<ReadFields>(f) : std::nullopt;
}

int WindowedYear(int year, int digitsTyped) {
  if (digitsTyped > 2) return year;
  return year < 50 ? 2000 + year : 1900 + year;
}

std::optional<std::string> DeformatDate(std::string_view text, const CalendarSpec& spec) {
  const std::string_view t = TrimBlanks(text);
  if (t.empty()) return "0";
  const auto f = ReadByPattern(t, kDatePatterns[static_cast<std::size_t>(spec.style)]);
  if (!f) return std::nullopt;
  const CivilDate c{WindowedYear(f->year, f->yearDigits), f->month, f->day};
  if (c.year < 1800 || c.year > 9999 || !IsValidCivilDate(c)) return std::nullopt;
  const Long date = DateFromCivil(c.year, c.month, c.day);
  if (date < 1 || date > LastDate()) return std::nullopt;
  return std::to_string(date);
}

std::optional<std::string> DeformatTime(std::string_view text, const CalendarSpec& spec) {
  const std::string_view t = TrimBlanks(text);
  if (t.empty()) return "0";
  const auto f = ReadByPattern(t, kTimePatterns[static_cast<std::size_t>(spec.style)]);
  if (!f) return std::nullopt;
  int hour = f->hour;
  if (f->meridiem) {
    if (hour < 1 || hour > 12) return std::nullopt;
    hour = hour % 12 + (f->meridiem == 'P' ? 12 : 0);
  }
  if (hour > 23 || f->minute > 59 || f->second > 59) return std::nullopt;
  return std::to_string(TimeFromParts(hour, f->minute, f->second));
}

// A Real read as a standard date or time: truncated, or nullopt when it is no Long.
std::optional<Long> LongFromReal(Real value) {
  if (!std::isfinite(value) || value <= -2147483649.0 || value >= 2147483648.0) return std::nullopt;
  return static_cast<Long>(value);
}

std::string FormatCalendar(std::optional<Long> value, const Picture& p) {
  if (!value) {  // no Long at all: too large for any date or time
    const Long tooLarge = p.kind == Kind::Date ? LastDate() + 1 : kLastTime + 1;
    return p.kind == Kind::Date ? FormatDate(tooLarge, p.calendar) : FormatTime(tooLarge, p.calendar);
  }
  return p.kind == Kind::Date ? FormatDate(*value, p.calendar) : FormatTime(*value, p.calendar);
}

}  // namespace

// ---------------------------------------------------------------- public entry points

std::string Format(Real value, std::string_view picture) {
  const Picture p = ParsePicture(picture);
  switch (p.kind) {
    case Kind::Number: return FormatNumber(Decimal::FromReal(value, p.number.decimals), p.number);
    case Kind::Text: return FitText(RealText(value), p.textWidth);
    case Kind::Date:
    case Kind::Time: return FormatCalendar(LongFromReal(value), p);
    case Kind::Invalid: break;
  }
  return RealText(value);
}

std::string Format(Long value, std::string_view picture) {
  const Picture p = ParsePicture(picture);
  switch (p.kind) {
    case Kind::Number: return FormatNumber(Decimal::FromLong(value), p.number);
    case Kind::Text: return FitText(std::to_string(value), p.textWidth);
    case Kind::Date:
    case Kind::Time: return FormatCalendar(value, p);
    case Kind::Invalid: break;
  }
  return std::to_string(value);
}

std::string Format(const Decimal& value, std::string_view picture) {
  const Picture p = ParsePicture(picture);
  switch (p.kind) {
    case Kind::Number: return FormatNumber(value, p.number);
    case Kind::Text: return FitText(value.ToString(), p.textWidth);
    case Kind::Date:
    case Kind::Time: return FormatCalendar(value.ToLong(), p);
    case Kind::Invalid: break;
  }
  return value.ToString();
}

std::string FormatText(std::string_view text, std::string_view picture) {
  const Picture p = ParsePicture(picture);
  if (p.kind == Kind::Text) return FitText(text, p.textWidth);
  if (p.kind == Kind::Invalid) return std::string(text);
  Decimal number = Decimal::FromText(text);
  if (!number.IsValid()) number = Decimal();
  return Format(number, picture);
}

std::optional<std::string> Deformat(std::string_view text, std::string_view picture) {
  const Picture p = ParsePicture(picture);
  switch (p.kind) {
    case Kind::Number: return DeformatNumber(text, p.number);
    case Kind::Text: return std::string(Utf8Prefix(text, static_cast<std::size_t>(p.textWidth)));
    case Kind::Date: return DeformatDate(text, p.calendar);
    case Kind::Time: return DeformatTime(text, p.calendar);
    case Kind::Invalid: break;
  }
  return std::string(text);
}

bool IsValidPicture(std::string_view picture) { return ParsePicture(picture).kind != Kind::Invalid; }

}  // namespace rt
