#include "tools/quibbet_log/output.h"

#include <algorithm>

namespace quibbet_log {

namespace {

// Length of the valid UTF-8 sequence at `text[i]`, or 0.
std::size_t SequenceAt(std::string_view text, std::size_t i) {
  const auto c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) return 1;
  std::size_t length = 0;
  unsigned low = 0x80, high = 0xBF;  // bounds of the second byte: no overlong forms, no surrogates
  if (c >= 0xC2 && c <= 0xDF) length = 2;
  else if (c >= 0xE0 && c <= 0xEF) length = 3, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
  else if (c >= 0xF0 && c <= 0xF4) length = 4, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
  if (length == 0 || i + length > text.size()) return 0;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  if (second < low || second > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return 0;
  return length;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

void Date(std::string& out, const msglog::LogMoment& m) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", m.year % 10000, m.month % 100, m.day % 100);
  out += text;
}

void Time(std::string& out, const msglog::LogMoment& m) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d:%02d:%02d", m.hour % 100, m.minute % 100, m.second % 100);
  out += text;
}

}  // namespace

void AppendUtf8(std::string& out, std::string_view text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = SequenceAt(text, i);
    if (length == 0) {
      out += kReplacement;
      ++i;
    } else {
      out.append(text.data() + i, length);
      i += length;
    }
  }
}

void AppendCsvField(std::string& out, std::string_view value) {
  const bool quote = value.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!value.empty() && (value.front() == ' ' || value.back() == ' '));
  if (!quote) return AppendUtf8(out, value);
  out += '"';
  for (std::size_t at = 0;;) {
    const std::size_t q = value.find('"', at);
    AppendUtf8(out, value.substr(at, q == std::string_view::npos ? std::string_view::npos : q - at));
    if (q == std::string_view::npos) break;
    out += "\"\"";
    at = q + 1;
  }
  out += '"';
}

void AppendJsonString(std::string& out, std::string_view value) {
  std::string valid;
  AppendUtf8(valid, value);
  out += '"';
  for (const char ch : valid) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
}

void EntryWriter::Begin() {
  if (format_ == Format::Csv)
    std::fputs("line,kind,date,time,user,computer,window_title,title,text,shown_buttons,pressed_button,clipped\r\n",
               out_);
}

void EntryWriter::Write(const msglog::EntryView& entry) {
  if (format_ == Format::Text) {
    std::fwrite(entry.raw.data(), 1, entry.raw.size(), out_);
    return;
  }
  row_.clear();
  const bool message = entry.kind == msglog::EntryKind::Message;
  const bool declined = entry.kind == msglog::EntryKind::DeclinedStop;
  if (format_ == Format::Csv) {
    row_ += std::to_string(entry.line);
    row_ += ',';
    row_ += msglog::KindName(entry.kind);
    row_ += ',';
    Date(row_, entry.moment);
    row_ += ',';
    Time(row_, entry.moment);
    for (const std::string_view value : {entry.user, entry.computer, entry.windowTitle, entry.title, entry.text,
                                         entry.shownButtons, entry.pressedButton}) {
      row_ += ',';
      AppendCsvField(row_, value);
    }
    row_ += entry.clipped ? ",yes\r\n" : ",\r\n";
  } else {
    row_ += "{\"line\":" + std::to_string(entry.line) + ",\"offset\":" + std::to_string(entry.offset) + ",\"kind\":\"";
    row_ += msglog::KindName(entry.kind);
    row_ += "\",\"time\":\"" + moments_.Format(entry.moment) + "\",\"user\":";
    AppendJsonString(row_, entry.user);
    row_ += ",\"computer\":";
    AppendJsonString(row_, entry.computer);
    if (!declined) {
      row_ += ",\"window_title\":";
      AppendJsonString(row_, entry.windowTitle);
    }
    if (message) {
      row_ += ",\"title\":";
      AppendJsonString(row_, entry.title);
    }
    if (!declined) {
      row_ += ",\"text\":";
      AppendJsonString(row_, entry.text);
    }
    if (message) {
      row_ += ",\"shown_buttons\":";
      AppendJsonString(row_, entry.shownButtons);
      row_ += ",\"pressed_button\":";
      AppendJsonString(row_, entry.pressedButton);
    }
    if (entry.clipped) row_ += ",\"clipped\":true";
    row_ += "}\n";
  }
  std::fwrite(row_.data(), 1, row_.size(), out_);
}

void Summary::Add(const msglog::EntryView& entry) {
  switch (entry.kind) {
    case msglog::EntryKind::Message: ++messages_; break;
    case msglog::EntryKind::Stop: ++stops_; break;
    case msglog::EntryKind::DeclinedStop: ++declined_; break;
    case msglog::EntryKind::Damaged: ++damaged_; return;
  }
  std::string user;
  AppendUtf8(user, entry.user);
  ++users_[user];
  ++days_[entry.moment.Key() / 1000000];
}

void Summary::Print(std::FILE* out) const {
  std::fprintf(out, "%llu entries: messages %llu, stops %llu, declined stops %llu",
               static_cast<unsigned long long>(messages_ + stops_ + declined_), static_cast<unsigned long long>(messages_),
               static_cast<unsigned long long>(stops_), static_cast<unsigned long long>(declined_));
  if (damaged_ > 0) std::fprintf(out, "; %llu damaged", static_cast<unsigned long long>(damaged_));
  std::fputs("\n\nPer user:\n", out);
  std::size_t width = 9;
  for (const auto& [user, count] : users_) width = std::max(width, user.size());
  for (const auto& [user, count] : users_)
    std::fprintf(out, "  %-*s %10llu\n", static_cast<int>(width), user.empty() ? "(no user)" : user.c_str(),
                 static_cast<unsigned long long>(count));
  std::fputs("\nPer day:\n", out);
  for (const auto& [day, count] : days_)
    std::fprintf(out, "  %04lld-%02lld-%02lld %10llu\n", static_cast<long long>(day / 10000),
                 static_cast<long long>(day / 100 % 100), static_cast<long long>(day % 100),
                 static_cast<unsigned long long>(count));
}

}  // namespace quibbet_log
