#pragma once
// The log server's side of the central copy: the message_log table, an entry's row as the
// spool's record makes it, storing a batch of rows in one statement (a resent entry is stored
// once, by its id) and reading the rows back as log entries. Owns one libpq connection through
// the data driver's connection class; every value travels as a bound parameter. Knows no spool
// file, thread or window.

#include <cstdint>
#include <functional>
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
  LogEntry entry;  // as a reader of the log file sees the same entry
};

// The row for a spool record: its entry read the way the file's reader reads it, so the two
// copies agree field by field. False for a record that holds no entry.
bool RowFromRecord(const SpoolRecord& record, CentralRow& row);

// Text the server accepts: invalid UTF-8 and NUL bytes become U+FFFD, so that one odd entry
// can never hold up the entries spooled after it.
std::string ServerText(std::string_view text);

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
  // Calls `take` for each row in order of arrival, a page at a time.
  rt::DriverStatus Read(const std::function<void(const CentralRow&)>& take);

 private:
  rt::pg::Connection connection_;
};

}  // namespace msglog
