// A libpq connection for the POSTGRES driver: prepared statements, bound parameters, and the
// server's errors as runtime codes (pg_connection.h).
#include "runtime/data/pg_connection.h"

#include <dlfcn.h>
#include <libpq-fe.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "runtime/core/last_error.h"
#include "runtime/data/key_encoding.h"

namespace rt::pg {

namespace {

// libpq is opened on first use, not linked: a program that names no server never loads it
// nor the TLS, Kerberos and LDAP libraries it brings (a fifth of the start-up's libraries).
// The table is made once per process and never changes afterwards.
#define QB_LIBPQ_FUNCTIONS(X) \
  X(PQclear) \
  X(PQcmdStatus) \
  X(PQconnectdb) \
  X(PQconninfoFree) \
  X(PQconninfoParse) \
  X(PQerrorMessage) \
  X(PQexec) \
  X(PQexecPrepared) \
  X(PQfinish) \
  X(PQfreemem) \
  X(PQgetisnull) \
  X(PQgetlength) \
  X(PQgetvalue) \
  X(PQntuples) \
  X(PQprepare) \
  X(PQresultErrorField) \
  X(PQresultStatus) \
  X(PQsocket) \
  X(PQstatus)

struct Libpq {
#define QB_LIBPQ_POINTER(name) decltype(&::name) name = nullptr;
  QB_LIBPQ_FUNCTIONS(QB_LIBPQ_POINTER)
#undef QB_LIBPQ_POINTER
  std::string error;  // why it could not be loaded ("" when it was)
};

Libpq Load() {
  Libpq lib;
  void* handle = ::dlopen("libpq.so.5", RTLD_NOW | RTLD_LOCAL);  // kept open for the process
  if (!handle) {
    const char* why = ::dlerror();
    lib.error = "The PostgreSQL client library (libpq.so.5) could not be loaded: " + std::string(why ? why : "not found");
    return lib;
  }
#define QB_LIBPQ_LOOKUP(name)                                                  \
  lib.name = reinterpret_cast<decltype(&::name)>(::dlsym(handle, #name));      \
  if (!lib.name && lib.error.empty()) lib.error = "libpq.so.5 lacks " #name;
  QB_LIBPQ_FUNCTIONS(QB_LIBPQ_LOOKUP)
#undef QB_LIBPQ_LOOKUP
  return lib;
}

// The library, or null (with the reason in `error`) when it cannot be loaded.
const Libpq* Pq(std::string* error = nullptr) {
  static const Libpq lib = Load();
  if (lib.error.empty()) return &lib;
  if (error) *error = lib.error;
  return nullptr;
}

constexpr char kLostText[] = "Database Server Connection Lost";

bool Lost(std::string_view state) {
  return state.substr(0, 2) == "08" || state == "57P01" || state == "57P02" || state == "57P03";
}

Long CodeOf(std::string_view state) {
  if (state == "23505") return DupKeyErr;
  if (state == "42P01") return NoFileErr;
  // Another station's lock outlasted the wait, a deadlock, a read-only open or no privilege.
  if (state == "55P03" || state == "40P01" || state == "40001" || state == "25006" || state == "42501") return NoAccessErr;
  return FileSystemErr;
}

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

std::string QuoteValue(std::string_view value) {
  const bool plain = !value.empty() && value.find_first_of(" '\\") == std::string_view::npos;
  if (plain) return std::string(value);
  std::string out = "'";
  for (const char c : value) {
    if (c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "'";
}

}  // namespace

std::string RedactConnection(std::string_view conninfo) {
  const Libpq* pq = Pq();
  if (!pq) return "(unreadable connection string)";  // without libpq no password can be found in it
  char* error = nullptr;
  PQconninfoOption* options = pq->PQconninfoParse(std::string(conninfo).c_str(), &error);
  if (!options) {
    pq->PQfreemem(error);
    return "(unreadable connection string)";  // it may hold a password that we cannot find
  }
  std::string out;
  bool password = false;
  for (const PQconninfoOption* o = options; o->keyword; ++o) {
    if (o->val && std::string_view(o->keyword) == "password") password = true;
    if (!o->val || std::string_view(o->keyword) == "password") continue;
    out += (out.empty() ? "" : " ") + std::string(o->keyword) + "=" + QuoteValue(o->val);
  }
  pq->PQconninfoFree(options);
  return password ? out : std::string(conninfo);  // without one, the name as it was written
}

// ---- Params ----

void Params::Text(std::string value) {
  values_.push_back(std::move(value));
  formats_.push_back(0);
  nulls_.push_back(false);
}

void Params::Bytes(std::string value) {
  values_.push_back(std::move(value));
  formats_.push_back(1);
  nulls_.push_back(false);
}

void Params::Null() {
  values_.emplace_back();
  formats_.push_back(0);
  nulls_.push_back(true);
}

void Params::Real(double value) {
  if (std::isnan(value)) return Text("NaN");
  if (std::isinf(value)) return Text(value > 0 ? "Infinity" : "-Infinity");
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  Text(text);
}

void Params::Clear() {
  values_.clear();
  formats_.clear();
  nulls_.clear();
}

// ---- Result ----

void Result::Clear::operator()(pg_result* result) const { Pq()->PQclear(result); }

Result::Result(pg_result* result) : result_(result) {}

int Result::Rows() const { return result_ ? Pq()->PQntuples(result_.get()) : 0; }

bool Result::IsNull(int row, int column) const { return !result_ || Pq()->PQgetisnull(result_.get(), row, column); }

std::string_view Result::Value(int row, int column) const {
  if (!result_) return {};
  return {Pq()->PQgetvalue(result_.get(), row, column), static_cast<std::size_t>(Pq()->PQgetlength(result_.get(), row, column))};
}

std::int64_t Result::Integer(int row, int column) const {
  return result_ ? std::strtoll(Pq()->PQgetvalue(result_.get(), row, column), nullptr, 10) : 0;
}

std::string Result::Bytes(int row, int column) const {
  const std::string_view text = Value(row, column);  // "\x" and two hex digits a byte
  if (text.size() < 2) return {};
  return FromHex(text.substr(2)).value_or(std::string());
}

std::string Result::Command() const { return result_ ? Pq()->PQcmdStatus(result_.get()) : ""; }

// ---- Connection ----

DriverStatus Connection::Connect(const std::string& conninfo) {
  Disconnect();
  std::string missing;
  if (!Pq(&missing)) {
    DriverStatus status = DriverStatus::Error(FileSystemErr);
    status.driverText = missing;
    return status;
  }
  char* error = nullptr;
  if (PQconninfoOption* options = Pq()->PQconninfoParse(conninfo.c_str(), &error)) {
    for (const PQconninfoOption* o = options; o->keyword; ++o)
      if (o->val && std::string_view(o->keyword) == "password") password_ = o->val;
    Pq()->PQconninfoFree(options);
  } else {
    DriverStatus status = DriverStatus::Error(FileSystemErr);
    status.driverText = "Not a connection string: " + Scrub(Trimmed(error ? error : ""));
    Pq()->PQfreemem(error);
    return status;
  }
  conn_ = Pq()->PQconnectdb(conninfo.c_str());
  if (!conn_ || Pq()->PQstatus(conn_) != CONNECTION_OK) {
    DriverStatus status = DriverStatus::Error(FileSystemErr);
    status.driverCode = "08001";
    status.driverText = "Could not connect to the database server: " + Scrub(Trimmed(conn_ ? Pq()->PQerrorMessage(conn_) : "out of memory"));
    Disconnect();
    return status;
  }
  lost_ = false;
  // Messages of the server stay out of the program's output; the record's text is UTF-8.
  // Every statement is shaped for an index and takes its page size as a parameter, so a plan
  // made once serves every call (custom plans would be made anew each time: a page's limit
  // unknown to the generic plan makes it look dearer than it is).
  return Exec("SET client_min_messages = error; SET client_encoding = 'UTF8'; SET plan_cache_mode = force_generic_plan");
}

int Connection::Socket() const { return conn_ ? Pq()->PQsocket(conn_) : -1; }

void Connection::Disconnect() {
  if (conn_) Pq()->PQfinish(conn_);
  conn_ = nullptr;
  prepared_.clear();
}

std::string Connection::Scrub(std::string text) const {
  if (password_.empty()) return text;
  for (std::size_t at; (at = text.find(password_)) != std::string::npos;) text.replace(at, password_.size(), "***");
  return text;
}

DriverStatus Connection::Failure(pg_result* result) {
  const char* stateField = result ? Pq()->PQresultErrorField(result, PG_DIAG_SQLSTATE) : nullptr;
  const std::string state = stateField ? stateField : "";
  const char* primary = result ? Pq()->PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
  std::string message = Trimmed(primary ? primary : Pq()->PQerrorMessage(conn_));
  const char* constraint = result ? Pq()->PQresultErrorField(result, PG_DIAG_CONSTRAINT_NAME) : nullptr;
  if (state == "23505" && constraint) message = constraint;  // the index: the driver names its key
  if (result) Pq()->PQclear(result);
  if (lost_ || Pq()->PQstatus(conn_) != CONNECTION_OK || Lost(state)) {
    lost_ = true;
    DriverStatus status = DriverStatus::Error(FileSystemErr, kLostText);
    status.driverCode = state.empty() ? "08006" : state;
    // libpq's text runs over several lines with advice for developers: the first says it.
    message = message.substr(0, message.find('\n'));
    for (const char* prefix : {"FATAL:", "ERROR:"})
      if (message.rfind(prefix, 0) == 0) message = message.substr(message.find_first_not_of(' ', std::strlen(prefix)));
    status.driverText = "The connection to the database server was lost (" + Scrub(message) + ")";
    return status;
  }
  DriverStatus status = DriverStatus::Error(CodeOf(state));
  status.driverCode = state;
  status.driverText = Scrub(message);
  return status;
}

DriverStatus Connection::Exec(const std::string& sql) {
  if (!conn_) return DriverStatus::Error(NotOpenErr);
  if (lost_) return Failure(nullptr);
  pg_result* result = Pq()->PQexec(conn_, sql.c_str());
  const ExecStatusType status = result ? Pq()->PQresultStatus(result) : PGRES_FATAL_ERROR;
  if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
    Pq()->PQclear(result);
    return {};
  }
  return Failure(result);
}

DriverStatus Connection::Run(const std::string& sql, const Params& params, Result& result) {
  result = Result();
  if (!conn_) return DriverStatus::Error(NotOpenErr);
  if (lost_) return Failure(nullptr);
  auto found = prepared_.find(sql);
  if (found == prepared_.end()) {
    const std::string name = "q" + std::to_string(prepared_.size() + 1);
    pg_result* made = Pq()->PQprepare(conn_, name.c_str(), sql.c_str(), 0, nullptr);
    if (!made || Pq()->PQresultStatus(made) != PGRES_COMMAND_OK) return Failure(made);
    Pq()->PQclear(made);
    found = prepared_.emplace(sql, name).first;
  }
  const std::size_t count = params.values_.size();
  std::vector<const char*> values(count);
  std::vector<int> lengths(count);
  for (std::size_t i = 0; i < count; ++i) {
    values[i] = params.nulls_[i] ? nullptr : params.values_[i].data();
    lengths[i] = static_cast<int>(params.values_[i].size());
  }
  pg_result* done = Pq()->PQexecPrepared(conn_, found->second.c_str(), static_cast<int>(count), values.data(), lengths.data(),
                                   params.formats_.data(), 0);
  const ExecStatusType status = done ? Pq()->PQresultStatus(done) : PGRES_FATAL_ERROR;
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) return Failure(done);
  result = Result(done);
  return {};
}

}  // namespace rt::pg
