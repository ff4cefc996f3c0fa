#include "runtime/data/ini_file.h"

#include <cstddef>
#include <vector>

// Every line is classified the same way for reading and for editing, so an edit can never touch
// a line that a read would not have seen as the key (and the other way round):
//   blank, or first non-blank ';' / '#'          comment, kept as it is
//   first non-blank '[' with a later ']'           section header; the name runs to the last ']'
//   anything else with '=' and a non-empty name    key line; the name ends at the first '='
//   anything else                                  kept as it is, means nothing
// Key lines before the first header belong to no section and never match.

namespace rt::detail {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t\r\f\v";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

char FoldAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
  return true;
}

enum class LineKind { Other, Section, Key };

struct Line {
  std::size_t begin = 0;       // first byte of the line in the text
  std::size_t contentEnd = 0;  // one past the content, before CR LF or LF
  std::size_t end = 0;         // one past the line end
  LineKind kind = LineKind::Other;
  std::string_view name;       // section or key name, trimmed
  std::size_t valueBegin = 0;  // key lines: first byte of the value, after '=' and blanks
  bool blank = true;
};

class LineScanner {
 public:
  explicit LineScanner(std::string_view text)
      : text_(text), pos_(text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0) {}

  bool Next(Line& line) {
    if (pos_ >= text_.size()) return false;
    line = Line{};
    line.begin = pos_;
    const std::size_t newline = text_.find('\n', pos_);
    line.end = newline == std::string_view::npos ? text_.size() : newline + 1;
    line.contentEnd = newline == std::string_view::npos ? text_.size() : newline;
    if (line.contentEnd > line.begin && text_[line.contentEnd - 1] == '\r') --line.contentEnd;
    pos_ = line.end;
    Classify(line);
    return true;
  }

 private:
  void Classify(Line& line) const {
    const std::string_view content = text_.substr(line.begin, line.contentEnd - line.begin);
    const std::size_t first = content.find_first_not_of(kBlanks);
    if (first == std::string_view::npos) return;
    line.blank = false;
    const char lead = content[first];
    if (lead == ';' || lead == '#') return;
    if (lead == '[') {
      const std::size_t close = content.rfind(']');
      if (close != std::string_view::npos && close > first) {
        line.kind = LineKind::Section;
        line.name = Trim(content.substr(first + 1, close - first - 1));
      }
      return;
    }
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view name = Trim(content.substr(0, equals));
    if (name.empty()) return;
    line.kind = LineKind::Key;
    line.name = name;
    const std::size_t valueOffset = content.find_first_not_of(kBlanks, equals + 1);
    line.valueBegin = line.begin + (valueOffset == std::string_view::npos ? content.size() : valueOffset);
  }

  std::string_view text_;
  std::size_t pos_;
};

std::string_view LineEndOf(std::string_view text) {
  const std::size_t newline = text.find('\n');
  if (newline != std::string_view::npos && (newline == 0 || text[newline - 1] != '\r')) return "\n";
  return "\r\n";
}

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// Where a key of one section is found, or where a new one goes.
struct SectionSurvey {
  std::optional<Line> firstMatch;
  std::vector<Line> matches;
  bool sectionSeen = false;
  std::size_t insertAt = 0;  // after the last key line (or the header) of the section's first occurrence
  bool lastLineBlank = true;
};

SectionSurvey Survey(std::string_view text, std::string_view section, std::string_view key) {
  SectionSurvey survey;
  LineScanner scanner(text);
  bool inSection = false;
  int occurrence = 0;
  for (Line line; scanner.Next(line);) {
    survey.lastLineBlank = line.blank;
    if (line.kind == LineKind::Section) {
      inSection = EqualNoCase(line.name, section);
      if (inSection && ++occurrence == 1) {
        survey.sectionSeen = true;
        survey.insertAt = line.end;
      }
      continue;
    }
    if (!inSection || line.kind != LineKind::Key) continue;
    if (occurrence == 1) survey.insertAt = line.end;
    if (!EqualNoCase(line.name, key)) continue;
    if (!survey.firstMatch) survey.firstMatch = line;
    survey.matches.push_back(line);
  }
  return survey;
}

std::string Inserted(std::string_view text, std::size_t at, std::string_view lines, std::string_view lineEnd) {
  std::string result;
  result.reserve(text.size() + lines.size() + 2 * lineEnd.size());
  result.append(text.substr(0, at));
  if (at > 0 && text[at - 1] != '\n') result.append(lineEnd);  // the file's last line had no line end
  result.append(lines).append(text.substr(at));
  return result;
}

}  // namespace

std::optional<std::string_view> FindIniValue(std::string_view text, std::string_view section,
                                             std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  LineScanner scanner(text);
  bool inSection = false;
  for (Line line; scanner.Next(line);) {
    if (line.kind == LineKind::Section) {
      inSection = EqualNoCase(line.name, section);
    } else if (inSection && line.kind == LineKind::Key && EqualNoCase(line.name, key)) {
      return Trim(text.substr(line.valueBegin, line.contentEnd - line.valueBegin));
    }
  }
  return std::nullopt;
}

std::string_view IniRejection(std::string_view section, std::string_view key, std::optional<std::string_view> value) {
  section = Trim(section);
  key = Trim(key);
  if (section.empty()) return "an INI section name cannot be empty";
  if (key.empty()) return "an INI key name cannot be empty";
  if (HasLineBreak(section) || HasLineBreak(key)) return "an INI name cannot hold a line break";
  if (value && HasLineBreak(*value)) return "an INI value cannot hold a line break";
  if (key.find('=') != std::string_view::npos) return "an INI key name cannot hold '='";
  if (key.front() == '[' || key.front() == ';' || key.front() == '#')
    return "an INI key name cannot start with '[', ';' or '#'";
  return "";
}

std::string EditIni(std::string_view text, std::string_view section, std::string_view key,
                    std::optional<std::string_view> value) {
  section = Trim(section);
  key = Trim(key);
  const SectionSurvey survey = Survey(text, section, key);
  const std::string_view lineEnd = LineEndOf(text);

  if (!value) {
    if (survey.matches.empty()) return std::string(text);
    std::string result;
    result.reserve(text.size());
    std::size_t kept = 0;
    for (const Line& line : survey.matches) {
      result.append(text.substr(kept, line.begin - kept));
      kept = line.end;
    }
    result.append(text.substr(kept));
    return result;
  }

  if (survey.firstMatch) {
    // Only the value changes: the name keeps its case and the blanks around '=' stay.
    const Line& line = *survey.firstMatch;
    std::string result;
    result.reserve(text.size() + value->size());
    result.append(text.substr(0, line.valueBegin)).append(*value).append(text.substr(line.contentEnd));
    return result;
  }

  std::string keyLine;
  keyLine.append(key).append("=").append(*value).append(lineEnd);
  if (survey.sectionSeen) return Inserted(text, survey.insertAt, keyLine, lineEnd);

  std::string newSection;
  const bool hasContent = text.size() > (text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0);
  if (hasContent && !survey.lastLineBlank) newSection.append(lineEnd);  // a blank line between sections
  newSection.append("[").append(section).append("]").append(lineEnd).append(keyLine);
  return Inserted(text, text.size(), newSection, lineEnd);
}

}  // namespace rt::detail
