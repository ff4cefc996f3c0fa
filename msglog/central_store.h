#pragma once
// The log server's side of the central copy: the message_log table, an entry's row as the
// spool's record makes it, storing a batch of rows in one statement (a resent entry is stored
// once, by its id) and reading the rows back as log entries. Owns one libpq connection through
// the data driver's connection class; every value travels as a bound parameter. Knows no spool
// file, thread or window.

#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "msglog/central_spool.h"
#include "msglog/log_entry.h"
#include "runtime/data/driver.h"
#include "runtime/data/pg_connection.h"

namespace msglog {

// The table an administrator creates (docs/ARCHITECTURE.md gives the role to go with it).
extern const char kCentralTableSql[];

// One row of the table.
struct CentralRow {
  std::int64_t seq = 0;  // the server's order of arrival (0 before it is stored)
  std::string id;
  std::string program;
  std::int64_t process = 0;
  std::int64_t epoch = 0;  // the moment in seconds since the epoch (rows read back)
  LogEntry entry;  // as a reader of the log file sees the same entry
};

// The row for a spool record: its entry read the way the file's reader reads it, so the two
// copies agree field by field. False for a record that holds no entry.
bool RowFromRecord(const SpoolRecord& record, CentralRow& row);

// Text the server accepts: invalid UTF-8 and NUL bytes become U+FFFD, so that one odd entry
// can never hold up the entries spooled after it.
std::string ServerText(std::string_view text);

// The administrator's connection string with the time-outs it leaves out added (connect,
// keep-alives, TCP user time-out), so that a server that stops answering fails a call instead of
// holding it for the system's minutes or hours. The administrator's own values win.
std::string WithTimeouts(std::string conninfo);

// A place in the table's newest-first order: rows before it are older by (moment, seq).
struct CentralKey {
  double epoch = std::numeric_limits<double>::infinity();  // the first page: before every row
  std::int64_t seq = std::numeric_limits<std::int64_t>::max();
};

class CentralStore {
 public:
  // ---- Open and close ----
  // The status's driverText never holds the password.
  rt::DriverStatus Connect(const std::string& conninfo);
  void Disconnect() { connection_.Disconnect(); }
  bool IsConnected() const { return connection_.IsConnected() && !connection_.IsLost(); }
  int Socket() const { return connection_.Socket(); }

  // Creates the table when it is missing (an administrator's first set-up, and tests).
  rt::DriverStatus CreateTable() { return connection_.Exec(kCentralTableSql); }

  // ---- Write ----
  // Stores every row in one statement (all or none); a row whose id is stored already, or
  // repeated in `rows`, is stored once.
  rt::DriverStatus Store(const std::vector<CentralRow>& rows);

  // ---- Read ----
  using Take = std::function<void(const CentralRow&)>;
  // Calls `take` for each row stored after row `after`, in order of arrival, a page at a time.
  rt::DriverStatus Read(const Take& take, std::int64_t after = 0);
  // Up to `limit` rows older than `before` and stored up to row `upTo`, newest first by
  // (moment, seq); `count` is how many came.
  rt::DriverStatus ReadNewest(std::int64_t upTo, const CentralKey& before, std::int64_t limit, const Take& take,
                              std::int64_t& count);
  // The number of the last row stored (0 for an empty table).
  rt::DriverStatus LastSeq(std::int64_t& seq);

 private:
  rt::pg::Connection connection_;
};

}  // namespace msglog
