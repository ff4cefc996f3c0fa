#pragma once
// quibbet_log's writers: the entries as they stand, as CSV (RFC 4180) or as JSON Lines, and the
// summary counts. Each writes to a stdio stream it does not own. CSV and JSON are written by
// these few functions rather than a library: the records are flat rows of strings, and both
// formats need the same care for bytes that are not UTF-8, which a library would not take.

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

#include "msglog/log_entry.h"
#include "msglog/log_moments.h"
#include "tools/quibbet_log/options.h"

namespace quibbet_log {

// `text` as valid UTF-8: each byte that starts no valid sequence becomes U+FFFD.
void AppendUtf8(std::string& out, std::string_view text);
// A CSV field, quoted when it holds a comma, a quote, a line end or edge blanks.
void AppendCsvField(std::string& out, std::string_view value);
// A JSON string with its quotes.
void AppendJsonString(std::string& out, std::string_view value);

class EntryWriter {
 public:
  EntryWriter(Format format, std::FILE* out) : format_(format), out_(out) {}
  EntryWriter(const EntryWriter&) = delete;
  EntryWriter& operator=(const EntryWriter&) = delete;

  void Begin();  // the CSV header row
  void Write(const msglog::EntryView& entry);

 private:
  Format format_;
  std::FILE* out_;
  msglog::IsoMoments moments_;
  std::string row_;
};

// Entries per kind, per user and per day.
class Summary {
 public:
  void Add(const msglog::EntryView& entry);
  void AddDamaged() { ++damaged_; }
  void Print(std::FILE* out) const;

 private:
  std::uint64_t messages_ = 0, stops_ = 0, declined_ = 0, damaged_ = 0;
  std::map<std::string, std::uint64_t> users_;
  std::map<std::int64_t, std::uint64_t> days_;  // yyyymmdd
};

}  // namespace quibbet_log
