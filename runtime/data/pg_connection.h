#pragma once
// Internal to the POSTGRES driver (pg_*.cpp), its tests and the message log's central copy
// (msglog/central_store.cpp): not for use elsewhere.
// One libpq connection: statements prepared once and kept, parameters always bound (never
// pasted into SQL), results owned until the next call, and the server's errors turned into the
// runtime's codes with the server's SQLSTATE and message (password stripped). A connection that
// breaks stays broken: every later call reports the loss until the owner connects anew.
// Owns its PGconn and its results; calls libpq only.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/data/driver.h"

struct pg_conn;
struct pg_result;

namespace rt::pg {

// The connection string with any password left out, for anything shown or logged.
std::string RedactConnection(std::string_view conninfo);

// Parameters of one statement, in $1, $2, … order. Text values travel as text and are typed by
// the statement ($n::bigint …); bytes travel in binary (bytea); a null is SQL NULL.
class Params {
 public:
  void Text(std::string value);
  void Bytes(std::string value);
  void Null();
  void Integer(std::int64_t value) { Text(std::to_string(value)); }
  void Real(double value);
  std::size_t Count() const { return values_.size(); }
  void Clear();

 private:
  friend class Connection;
  std::vector<std::string> values_;
  std::vector<int> formats_;
  std::vector<bool> nulls_;
};

// A result: rows of text values (bytea as "\x…" hex). Empty after a failed statement.
class Result {
 public:
  Result() = default;
  explicit Result(pg_result* result);
  int Rows() const;
  bool IsNull(int row, int column) const;
  std::string_view Value(int row, int column) const;
  std::int64_t Integer(int row, int column) const;
  std::string Bytes(int row, int column) const;  // a bytea column's bytes
  std::string Command() const;                   // "UPDATE 1", "ROLLBACK", …

 private:
  struct Clear {
    void operator()(pg_result* result) const;
  };
  std::unique_ptr<pg_result, Clear> result_;
};

class Connection {
 public:
  Connection() = default;
  ~Connection() { Disconnect(); }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // ---- Open and close ----
  DriverStatus Connect(const std::string& conninfo);
  void Disconnect();
  bool IsConnected() const { return conn_ != nullptr; }
  bool IsLost() const { return lost_; }
  // The connection's socket (-1 when none), for a caller that must cut a statement short from
  // another thread: shutting it down makes the waiting statement fail as a lost connection.
  int Socket() const;

  // ---- Statements ----
  // Runs `sql` prepared once per connection; fills `result` with its rows.
  DriverStatus Run(const std::string& sql, const Params& params, Result& result);
  DriverStatus Run(const std::string& sql, const Params& params) {
    Result ignored;
    return Run(sql, params, ignored);
  }
  // A statement without parameters, not prepared (BEGIN, SET …).
  DriverStatus Exec(const std::string& sql);

 private:
  DriverStatus Failure(pg_result* result);
  std::string Scrub(std::string text) const;

  pg_conn* conn_ = nullptr;
  std::string password_;
  bool lost_ = false;
  std::map<std::string, std::string> prepared_;  // SQL → statement name
};

}  // namespace rt::pg
