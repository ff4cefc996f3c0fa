// The message_log table on the log server (central_store.h).
#include "msglog/central_store.h"

#include <cmath>
#include <cstdio>
#include <ctime>

#include "msglog/log_moments.h"
#include "msglog/log_reader.h"

namespace msglog {

const char kCentralTableSql[] = R"(CREATE TABLE IF NOT EXISTS message_log (
  seq            bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
  id             uuid NOT NULL UNIQUE,
  moment         timestamptz NOT NULL,
  user_name      text NOT NULL,
  computer       text NOT NULL,
  program        text NOT NULL,
  process        bigint NOT NULL,
  kind           text NOT NULL CHECK (kind IN ('message', 'stop', 'declined')),
  window_title   text NOT NULL,
  title          text NOT NULL,
  message_text   text NOT NULL,
  shown_buttons  text NOT NULL,
  pressed_button text NOT NULL,
  clipped        boolean NOT NULL,
  entry          text NOT NULL,
  stored_at      timestamptz NOT NULL DEFAULT now()
);
CREATE INDEX IF NOT EXISTS message_log_moment ON message_log (moment, seq))";

namespace {

// A batch is one statement over arrays, one element per row: one round trip and one plan
// however many rows, and atomic without a transaction of its own.
constexpr char kInsertSql[] =
    "INSERT INTO message_log (id, moment, user_name, computer, program, process, kind, window_title, title,"
    " message_text, shown_buttons, pressed_button, clipped, entry)"
    " SELECT id, to_timestamp(epoch), user_name, computer, program, process, kind, window_title, title,"
    " message_text, shown_buttons, pressed_button, clipped, entry"
    " FROM unnest($1::uuid[], $2::double precision[], $3::text[], $4::text[], $5::text[], $6::bigint[],"
    " $7::text[], $8::text[], $9::text[], $10::text[], $11::text[], $12::text[], $13::boolean[], $14::text[])"
    " AS batch(id, epoch, user_name, computer, program, process, kind, window_title, title, message_text,"
    " shown_buttons, pressed_button, clipped, entry)"
    " ON CONFLICT (id) DO NOTHING";

#define QUIBBET_READ_COLUMNS \
  "SELECT seq, id::text, extract(epoch from moment)::bigint, user_name, computer, program, process, kind," \
  " window_title, title, message_text, shown_buttons, pressed_button, clipped, entry FROM message_log "
constexpr char kReadSql[] = QUIBBET_READ_COLUMNS "WHERE seq > $1::bigint ORDER BY seq LIMIT $2::bigint";
// Newest first; moments are whole seconds, so the key's epoch compares exactly.
constexpr char kReadNewestSql[] = QUIBBET_READ_COLUMNS
    "WHERE seq <= $1::bigint AND (moment, seq) < (to_timestamp($2::double precision), $3::bigint)"
    " ORDER BY moment DESC, seq DESC LIMIT $4::bigint";
#undef QUIBBET_READ_COLUMNS
constexpr char kLastSeqSql[] = "SELECT coalesce(max(seq), 0) FROM message_log";
constexpr std::int64_t kReadPage = 2000;

// The entry's local date and time as seconds since the epoch, by this computer's zone.
std::int64_t EpochOf(const LogMoment& moment) {
  std::tm tm = BrokenDownTime(moment);
  return static_cast<std::int64_t>(std::mktime(&tm));
}

LogMoment MomentOf(std::int64_t epoch) {
  const std::time_t time = static_cast<std::time_t>(epoch);
  std::tm tm{};
  localtime_r(&time, &tm);
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

EntryKind KindFrom(std::string_view name) {
  if (name == "message") return EntryKind::Message;
  if (name == "stop") return EntryKind::Stop;
  if (name == "declined") return EntryKind::DeclinedStop;
  return EntryKind::Damaged;
}

// Bytes of the UTF-8 sequence starting at `text[at]`, or 0 when none starts there.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
  const unsigned char lead = static_cast<unsigned char>(text[at]);
  if (lead == 0) return 0;
  if (lead < 0x80) return 1;
  std::size_t size = 0;
  unsigned min = 0;
  if (lead >= 0xC2 && lead <= 0xDF) size = 2, min = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) size = 3, min = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) size = 4, min = 0x10000;
  else return 0;
  if (text.size() - at < size) return 0;
  unsigned value = lead & (0x7F >> size);
  for (std::size_t i = 1; i < size; ++i) {
    const unsigned char next = static_cast<unsigned char>(text[at + i]);
    if ((next & 0xC0) != 0x80) return 0;
    value = (value << 6) | (next & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  return size;
}

}  // namespace

std::string ServerText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t size = Utf8Length(text, at);
    if (size == 0) {
      out.append("\xEF\xBF\xBD");
      ++at;
    } else {
      out.append(text.substr(at, size));
      at += size;
    }
  }
  return out;
}

bool RowFromRecord(const SpoolRecord& record, CentralRow& row) {
  const std::string text = ServerText(record.entry) + "\r\n";
  EntryView view;
  const std::size_t used = ScanEntry(text.data(), text.size(), SpanEnd::FinalEnd, 0, 1, view);
  if (used == 0 || view.kind == EntryKind::Damaged || !view.moment.IsSet()) return false;
  row.seq = 0;
  row.id = record.id;
  row.program = ServerText(record.program);
  row.process = record.process;
  row.entry = LogEntry::From(view);
  return true;
}

rt::DriverStatus CentralStore::Connect(const std::string& conninfo) { return connection_.Connect(conninfo); }

namespace {

// An array literal's elements: every one quoted, so no value (braces, commas, "NULL") is read
// as syntax; the text is the server's already (no NUL).
class ArrayLiteral {
 public:
  void Add(std::string_view value) {
    text_.push_back(text_.empty() ? '{' : ',');
    text_.push_back('"');
    for (const char c : value) {
      if (c == '"' || c == '\\') text_.push_back('\\');
      text_.push_back(c);
    }
    text_.push_back('"');
  }
  std::string Text() const { return text_.empty() ? "{}" : text_ + "}"; }

 private:
  std::string text_;
};

}  // namespace

rt::DriverStatus CentralStore::Store(const std::vector<CentralRow>& rows) {
  if (rows.empty()) return {};
  constexpr int kColumns = 14;
  ArrayLiteral columns[kColumns];
  for (const CentralRow& row : rows) {
    const LogEntry& e = row.entry;
    std::string_view entry = e.raw;  // stored without its line end
    while (!entry.empty() && (entry.back() == '\n' || entry.back() == '\r')) entry.remove_suffix(1);
    const std::string values[kColumns] = {
        row.id,     std::to_string(EpochOf(e.moment)), e.user,  e.computer,       row.program,
        std::to_string(row.process), std::string(KindName(e.kind)), e.windowTitle, e.title, e.text,
        e.shownButtons, e.pressedButton, e.clipped ? "true" : "false", std::string(entry)};
    for (int c = 0; c < kColumns; ++c) columns[c].Add(values[c]);
  }
  rt::pg::Params params;
  for (const ArrayLiteral& column : columns) params.Text(column.Text());
  return connection_.Run(kInsertSql, params);
}

namespace {

CentralRow RowAt(const rt::pg::Result& result, int r) {
  CentralRow row;
  row.seq = result.Integer(r, 0);
  row.id = result.Value(r, 1);
  row.epoch = result.Integer(r, 2);
  row.entry.moment = MomentOf(row.epoch);
  row.entry.user = result.Value(r, 3);
  row.entry.computer = result.Value(r, 4);
  row.program = result.Value(r, 5);
  row.process = result.Integer(r, 6);
  row.entry.kind = KindFrom(result.Value(r, 7));
  row.entry.windowTitle = result.Value(r, 8);
  row.entry.title = result.Value(r, 9);
  row.entry.text = result.Value(r, 10);
  row.entry.shownButtons = result.Value(r, 11);
  row.entry.pressedButton = result.Value(r, 12);
  row.entry.clipped = result.Value(r, 13) == "t";
  row.entry.raw = std::string(result.Value(r, 14)) + "\r\n";
  for (const char c : row.entry.raw) row.entry.lines += c == '\n' ? 1 : 0;
  return row;
}

}  // namespace

rt::DriverStatus CentralStore::Read(const Take& take, std::int64_t after) {
  rt::pg::Params params;
  for (;;) {
    params.Clear();
    params.Integer(after);
    params.Integer(kReadPage);
    rt::pg::Result result;
    if (rt::DriverStatus status = connection_.Run(kReadSql, params, result); !status.Ok()) return status;
    for (int r = 0; r < result.Rows(); ++r) {
      const CentralRow row = RowAt(result, r);
      after = row.seq;
      take(row);
    }
    if (result.Rows() < kReadPage) return {};
  }
}

rt::DriverStatus CentralStore::ReadNewest(std::int64_t upTo, const CentralKey& before, std::int64_t limit,
                                          const Take& take, std::int64_t& count) {
  count = 0;
  rt::pg::Params params;
  params.Integer(upTo);
  char epoch[32];
  std::snprintf(epoch, sizeof epoch, "%.17g", before.epoch);
  params.Text(std::isinf(before.epoch) ? "Infinity" : epoch);
  params.Integer(before.seq);
  params.Integer(limit);
  rt::pg::Result result;
  if (rt::DriverStatus status = connection_.Run(kReadNewestSql, params, result); !status.Ok()) return status;
  for (int r = 0; r < result.Rows(); ++r) take(RowAt(result, r));
  count = result.Rows();
  return {};
}

rt::DriverStatus CentralStore::LastSeq(std::int64_t& seq) {
  rt::pg::Result result;
  if (rt::DriverStatus status = connection_.Run(kLastSeqSql, rt::pg::Params(), result); !status.Ok()) return status;
  seq = result.Rows() > 0 ? result.Integer(0, 0) : 0;
  return {};
}

std::string WithTimeouts(std::string conninfo) {
  const bool uri = conninfo.rfind("postgresql://", 0) == 0 || conninfo.rfind("postgres://", 0) == 0;
  static constexpr const char* kTimeouts[][2] = {
      {"connect_timeout", "10"},  {"keepalives", "1"},       {"keepalives_idle", "10"},
      {"keepalives_interval", "5"}, {"keepalives_count", "3"}, {"tcp_user_timeout", "30000"},
  };
  for (const auto& [name, value] : kTimeouts) {
    // "keepalives" is also the start of the other keep-alive names: match the whole word.
    const std::string key = std::string(name) + "=";
    const std::size_t at = conninfo.find(key);
    const bool set = at != std::string::npos && (at == 0 || conninfo[at - 1] == ' ' || conninfo[at - 1] == '?' ||
                                                 conninfo[at - 1] == '&');
    if (set) continue;
    if (uri) conninfo += (conninfo.find('?') == std::string::npos ? "?" : "&") + key + value;
    else conninfo += " " + key + value;
  }
  return conninfo;
}

}  // namespace msglog
