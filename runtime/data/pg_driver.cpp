// The POSTGRES driver: data files as tables on a PostgreSQL server (table layout and locks in
// pg_driver_internal.h, values in pg_values.cpp, the connection in pg_connection.cpp). Sections:
//   Driver        the class
//   Connection    open (share modes, layout check), close, create, build, driver strings
//   Rows          add, put (version and hold checked in the statement), delete, get
//   Orders        reads in key order, file order or an encoded field order; duplicates
//   Holds         session advisory locks that never wait
//   Frames        BEGIN … COMMIT/ROLLBACK; each statement in a frame under a savepoint
#include "runtime/data/pg_driver.h"

#include <cstdlib>
#include <cstring>

#include "runtime/core/last_error.h"
#include "runtime/data/access_mode.h"
#include "runtime/data/ini_store.h"
#include "runtime/data/keyed_driver_internal.h"
#include "runtime/data/pg_connection.h"
#include "runtime/data/pg_driver_internal.h"

namespace rt {

namespace {

using keyed::Quote;
using pg::Params;
using pg::Result;

constexpr char kLayoutTable[] = "_quibbet_layout";
enum ShareFact : std::int64_t { kGate = 0, kReaders = 1, kWriters = 2, kReadDeniers = 3, kWriteDeniers = 4 };

// ---- Driver ----

class PgDriver final : public Driver {
 public:
  explicit PgDriver(const DriverSetup& setup)
      : setup_(setup), decl_(*setup.decl), layout_(*setup.decl->layout), table_(Quote(pg::TableName(decl_))) {}
  ~PgDriver() override {
    ReleaseHolds();
    conn_.Disconnect();
  }
  PgDriver(const PgDriver&) = delete;
  PgDriver& operator=(const PgDriver&) = delete;

  DriverStatus Open(Long mode) override;
  DriverStatus Create() override { return CreateTable(true); }
  DriverStatus CreateIfMissing() override { return CreateTable(false); }
  DriverStatus Close() override;
  DriverStatus Build() override;
  DriverStatus Send(std::string_view command) override;
  DriverStatus Add(RowImage& row) override;
  DriverStatus Put(RowImage& row, bool checkVersion) override;
  DriverStatus Delete(std::int64_t pointer) override;
  DriverStatus Get(std::int64_t pointer, RowImage& row) override;
  DriverStatus GetByKey(std::size_t key, const std::string& keyValue, RowImage& row) override;
  DriverStatus Read(const ReadRequest& request, std::vector<RowImage>& rows) override;
  DriverStatus HasDuplicate(std::size_t key, const std::string& keyValue, std::int64_t except, bool& found) override;
  DriverStatus Records(std::int64_t& count) override;
  DriverStatus Hold(std::int64_t pointer) override;
  DriverStatus ReleaseHolds() override;
  bool CanFrame() const override { return true; }
  DriverStatus BeginFrame(Long timeoutSeconds) override;
  DriverStatus Commit() override;
  DriverStatus Rollback() override;
  std::string FullName() const override;
  std::string ShownName(const std::string& name) const override { return pg::RedactConnection(name); }
  bool KeepsVersions() const override { return true; }
  std::optional<StoredColumn> ColumnOf(std::size_t field) const override;

 private:
  DriverStatus CreateTable(bool replace);
  // ---- Connection ----
  DriverStatus Connect();
  DriverStatus TableExists(bool& exists);
  DriverStatus IsTaken(std::int64_t fact, bool& taken);
  DriverStatus TakeShare(Long mode);
  DriverStatus OthersHaveItOpen();
  DriverStatus CheckLayout();
  DriverStatus CheckColumns();
  DriverStatus WriteLayout();
  DriverStatus FillKeys();
  std::string CreateIndexSql(const KeyDecl& key) const;
  DriverStatus Statement(const std::string& sql, const Params& params, Result& result);
  DriverStatus Statement(const std::string& sql, const Params& params) {
    Result ignored;
    return Statement(sql, params, ignored);
  }
  DriverStatus SetTimeout(Long milliseconds, bool local);
  // Share facts: the two-int lock (table hash, fact), a space of its own beside the holds'.
  static void ShareKey(Params& params, std::uint32_t hash, std::int64_t fact) {
    params.Integer(static_cast<std::int32_t>(hash));
    params.Integer(fact);
  }
  void ShareKey(Params& params, std::int64_t fact) const { ShareKey(params, hash_, fact); }
  // Holds: the one-int8 lock (table hash << 32) XOR record pointer, which SQL writes as
  // HoldBase() # _record. Different records of a table never share a key.
  std::int64_t HoldBase() const { return static_cast<std::int64_t>(std::uint64_t{hash_} << 32); }
  std::int64_t HoldKey(std::int64_t pointer) const { return HoldBase() ^ pointer; }

  // ---- Rows ----
  const std::string& SelectList();
  std::string HeldSql(Params& params) const;
  void ReadRow(const Result& result, int r, RowImage& row) const;
  void BindRow(Params& params, const RowImage& row) const;
  DriverStatus Unstorable(const RowImage& row) const;
  DriverStatus DuplicateKeyError(DriverStatus status) const;
  DriverStatus WhyNotWritten(std::int64_t pointer, bool checkVersion);
  std::string SortSql(const ReadRequest& request) const;

  DriverSetup setup_;
  const FileDecl& decl_;
  const RecordLayout& layout_;
  const std::string table_;  // quoted
  pg::Connection conn_;
  std::uint32_t hash_ = 0;
  std::uint32_t layoutHash_ = 0;  // of the schema's _quibbet_layout table
  std::int64_t holding_ = 0;
  bool inFrame_ = false;
  Long timeoutMilliseconds_ = 10000;
  std::string selectList_, insertSql_, updateSql_;
};

std::string PgDriver::FullName() const { return pg::RedactConnection(setup_.name()) + " (" + pg::TableName(decl_) + ")"; }

std::optional<StoredColumn> PgDriver::ColumnOf(std::size_t field) const {
  const FieldLayout* f = layout_.Field(field);
  if (!f) return std::nullopt;
  StoredColumn column{pg::ColumnName(layout_, field), StoredColumn::Kind::Integer, StoredColumn::Engine::Postgres};
  switch (f->shape.type) {
    case FieldType::Real: column.kind = StoredColumn::Kind::Real; break;
    case FieldType::String: column.kind = StoredColumn::Kind::Text; break;
    case FieldType::CString: column.kind = StoredColumn::Kind::PaddedText; break;  // kept as written
    case FieldType::Decimal:
    case FieldType::Date:
    case FieldType::Time: return std::nullopt;  // their columns do not compare as the runtime's numbers
    default: break;
  }
  return column;
}

// ---- Connection ----

DriverStatus PgDriver::Connect() {
  if (DriverStatus status = conn_.Connect(setup_.name()); !status.Ok()) return status;
  Result schema;
  if (DriverStatus status = conn_.Run("SELECT current_schema()", {}, schema); !status.Ok()) return status;
  if (schema.Rows() != 1 || schema.IsNull(0, 0)) {
    conn_.Disconnect();
    return DriverStatus::Error(NoPathErr, "No schema to hold the table (search_path is empty)");
  }
  hash_ = pg::TableHash(std::string(schema.Value(0, 0)) + "." + pg::TableName(decl_));
  layoutHash_ = pg::TableHash(std::string(schema.Value(0, 0)) + "." + kLayoutTable);
  return SetTimeout(timeoutMilliseconds_, false);
}

DriverStatus PgDriver::SetTimeout(Long milliseconds, bool local) {
  Params params;
  params.Text(std::to_string(milliseconds) + "ms");
  params.Text(local ? "true" : "false");
  return conn_.Run("SELECT set_config('lock_timeout', $1::text, $2::boolean)", params);
}

DriverStatus PgDriver::TableExists(bool& exists) {
  Params params;
  params.Text(table_);
  Result result;
  DriverStatus status = conn_.Run("SELECT to_regclass($1::text) IS NOT NULL", params, result);
  exists = status.Ok() && result.Value(0, 0) == "t";
  return status;
}

// Whether another connection has a share fact: an exclusive try that fails.
DriverStatus PgDriver::IsTaken(std::int64_t fact, bool& taken) {
  Params params;
  ShareKey(params, fact);
  Result result;
  DriverStatus status = conn_.Run(
      "SELECT CASE WHEN pg_try_advisory_lock($1::int4, $2::int4) THEN NOT pg_advisory_unlock($1::int4, $2::int4) ELSE true END",
      params, result);
  taken = !status.Ok() || result.Value(0, 0) == "t";
  return status;
}

DriverStatus PgDriver::TakeShare(Long mode) {
  Params gate;
  ShareKey(gate, kGate);
  if (DriverStatus status = conn_.Run("SELECT pg_advisory_lock($1::int4, $2::int4)", gate); !status.Ok()) return status;
  struct Check {
    bool applies;
    std::int64_t fact;
  };
  const Check checks[] = {{ModeReads(mode), kReadDeniers}, {ModeWrites(mode), kWriteDeniers},
                          {ModeDeniesRead(mode), kReaders}, {ModeDeniesWrite(mode), kWriters}};
  DriverStatus status;
  bool clash = false;
  for (const Check& check : checks) {
    if (!check.applies || clash || !status.Ok()) continue;
    status = IsTaken(check.fact, clash);
  }
  const Check takes[] = {{ModeReads(mode), kReaders}, {ModeWrites(mode), kWriters},
                         {ModeDeniesRead(mode), kReadDeniers}, {ModeDeniesWrite(mode), kWriteDeniers}};
  for (const Check& take : takes) {
    if (!take.applies || clash || !status.Ok()) continue;
    Params params;
    ShareKey(params, take.fact);
    status = conn_.Run("SELECT pg_advisory_lock_shared($1::int4, $2::int4)", params);
  }
  conn_.Run("SELECT pg_advisory_unlock($1::int4, $2::int4)", gate);
  if (!status.Ok()) return status;
  return clash ? DriverStatus::Error(NoAccessErr) : DriverStatus{};
}

// Create and Build need the table to themselves: 5 while anyone has it open.
DriverStatus PgDriver::OthersHaveItOpen() {
  for (const std::int64_t fact : {kReaders, kWriters}) {
    bool taken = false;
    if (DriverStatus status = IsTaken(fact, taken); !status.Ok()) return status;
    if (taken) return DriverStatus::Error(NoAccessErr);
  }
  return {};
}

DriverStatus PgDriver::Open(Long mode) {
  if (conn_.IsConnected()) return DriverStatus::Error(IsOpenErr);
  DriverStatus status = Connect();
  bool exists = false;
  if (status.Ok()) status = TableExists(exists);
  if (status.Ok() && !exists) status = DriverStatus::Error(NoFileErr);
  if (status.Ok()) status = TakeShare(mode);
  if (status.Ok()) status = CheckLayout();
  if (status.Ok() && !ModeWrites(mode)) {
    Params params;
    status = conn_.Run("SELECT set_config('default_transaction_read_only', 'on', false)", params);
  }
  if (!status.Ok()) conn_.Disconnect();
  return status;
}

// The fields, memos and bookkeeping columns in order, without the key columns (46, not 47).
DriverStatus PgDriver::CheckColumns() {
  std::vector<std::pair<std::string, std::string>> wanted;
  for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) wanted.emplace_back(pg::ColumnName(layout_, i), pg::ColumnType(layout_.Field(i)->shape));
  for (const std::string& memo : decl_.memos) wanted.emplace_back(pg::Lower(memo), "text");
  wanted.emplace_back("_record", "bigint");
  wanted.emplace_back("_version", "bigint");
  wanted.emplace_back("_nulls", "text");
  Params params;
  params.Text(table_);
  Result result;
  if (DriverStatus status = conn_.Run(
          "SELECT a.attname, format_type(a.atttypid, a.atttypmod) FROM pg_attribute a WHERE a.attrelid = to_regclass($1::text) "
          "AND a.attnum > 0 AND NOT a.attisdropped AND a.attname NOT LIKE '\\_key\\_%' ORDER BY a.attnum",
          params, result);
      !status.Ok()) {
    return status;
  }
  const std::string table = pg::TableName(decl_);
  auto mismatch = [&](const std::string& what) {
    DriverStatus status = DriverStatus::Error(47);
    status.driverText = "Table " + table + " does not match the record: " + what;
    return status;
  };
  const std::size_t have = static_cast<std::size_t>(result.Rows());
  for (std::size_t i = 0; i < wanted.size() || i < have; ++i) {
    const int r = static_cast<int>(i);
    if (i >= have) return mismatch("it has no column " + wanted[i].first + " " + wanted[i].second);
    const std::string name(result.Value(r, 0)), type(result.Value(r, 1));
    if (i >= wanted.size()) return mismatch("it has a column " + name + " that the record has not");
    if (name != wanted[i].first || type != wanted[i].second)
      return mismatch("column " + std::to_string(i + 1) + " is " + name + " " + type + ", the record needs " + wanted[i].first +
                      " " + wanted[i].second);
  }
  return {};
}

DriverStatus PgDriver::CheckLayout() {
  if (DriverStatus status = CheckColumns(); !status.Ok()) return status;
  Params params;
  params.Text(pg::TableName(decl_));
  Result result;
  DriverStatus status = conn_.Run(std::string("SELECT format, fields, keys FROM ") + kLayoutTable + " WHERE name = $1::text", params, result);
  if (!status.Ok() || result.Rows() != 1) {
    DriverStatus bad = DriverStatus::Error(InvalidFileErr);
    bad.driverText = "Table " + pg::TableName(decl_) + " was not made by this program";
    return bad;
  }
  if (result.Integer(0, 0) != pg::kFormat) {
    DriverStatus bad = DriverStatus::Error(InvalidFileErr);
    bad.driverText = "unknown format " + std::string(result.Value(0, 0));
    return bad;
  }
  if (result.Value(0, 1) != keyed::FieldsDescriptor(layout_)) {
    DriverStatus bad = DriverStatus::Error(47);
    bad.driverText = "the table holds fields " + std::string(result.Value(0, 1));
    return bad;
  }
  if (result.Value(0, 2) != keyed::KeysDescriptor(decl_)) {
    DriverStatus bad = DriverStatus::Error(BadKeyErr);
    bad.driverText = "the table holds keys " + std::string(result.Value(0, 2));
    return bad;
  }
  return {};
}

DriverStatus PgDriver::WriteLayout() {
  Params params;
  params.Text(pg::TableName(decl_));
  params.Integer(pg::kFormat);
  params.Text(keyed::FieldsDescriptor(layout_));
  params.Text(keyed::KeysDescriptor(decl_));
  return conn_.Run(std::string("INSERT INTO ") + kLayoutTable +
                       "(name, format, fields, keys) VALUES ($1::text, $2::integer, $3::text, $4::text) "
                       "ON CONFLICT (name) DO UPDATE SET format = EXCLUDED.format, fields = EXCLUDED.fields, keys = EXCLUDED.keys",
                   params);
}

std::string PgDriver::CreateIndexSql(const KeyDecl& key) const {
  const std::string column = Quote(pg::KeyColumnName(key));
  return std::string(key.unique ? "CREATE UNIQUE INDEX " : "CREATE INDEX ") + Quote(pg::IndexName(decl_, key)) + " ON " + table_ +
         (key.unique ? " (" + column + ")" : " (" + column + ", _record)");
}

DriverStatus PgDriver::Close() {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  ReleaseHolds();
  if (inFrame_) Rollback();
  conn_.Disconnect();  // the share modes and holds go with the session
  return {};
}

DriverStatus PgDriver::CreateTable(bool replace) {
  if (conn_.IsConnected()) return DriverStatus::Error(IsOpenErr);
  DriverStatus status = Connect();
  bool exists = false;
  if (status.Ok()) status = conn_.Exec("BEGIN");
  if (status.Ok()) {
    Params gate;
    ShareKey(gate, kGate);
    status = conn_.Run("SELECT pg_advisory_xact_lock($1::int4, $2::int4)", gate);
  }
  if (status.Ok()) status = TableExists(exists);
  if (status.Ok() && exists && !replace) {
    status = conn_.Exec("COMMIT");
    conn_.Disconnect();
    return status;
  }
  if (status.Ok() && exists) status = OthersHaveItOpen();
  if (status.Ok()) status = conn_.Exec("DROP TABLE IF EXISTS " + table_);
  if (status.Ok()) {
    std::string columns;
    for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) {
      const FieldShape& shape = layout_.Field(i)->shape;
      const bool text = shape.IsText();
      const bool nullable = shape.type == FieldType::Date || shape.type == FieldType::Time;
      columns += Quote(pg::ColumnName(layout_, i)) + " " + pg::ColumnType(shape) + (text ? " COLLATE \"C\"" : "") +
                 (nullable ? "" : " NOT NULL") + ", ";
    }
    for (const std::string& memo : decl_.memos) columns += Quote(pg::Lower(memo)) + " text NOT NULL, ";
    columns += "_record bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY, _version bigint NOT NULL, _nulls text";
    for (const KeyDecl& key : decl_.keys) columns += ", " + Quote(pg::KeyColumnName(key)) + " bytea";
    status = conn_.Exec("CREATE TABLE " + table_ + " (" + columns + ")");
  }
  for (const KeyDecl& key : decl_.keys)
    if (status.Ok()) status = conn_.Exec(CreateIndexSql(key));
  if (status.Ok()) {  // creators of other tables in the schema may make it at the same moment
    Params gate;
    ShareKey(gate, layoutHash_, kGate);
    status = conn_.Run("SELECT pg_advisory_xact_lock($1::int4, $2::int4)", gate);
  }
  if (status.Ok())
    status = conn_.Exec(std::string("CREATE TABLE IF NOT EXISTS ") + kLayoutTable +
                        " (name text PRIMARY KEY, format integer NOT NULL, fields text NOT NULL, keys text NOT NULL)");
  if (status.Ok()) status = WriteLayout();
  if (status.Ok()) status = conn_.Exec("COMMIT");
  conn_.Disconnect();
  return status;
}

// Makes every key again from the records: key columns dropped (their indexes with them), added,
// filled and indexed in one transaction (a unique key that the records repeat fails with 40).
DriverStatus PgDriver::Build() {
  if (conn_.IsConnected()) return DriverStatus::Error(IsOpenErr);
  DriverStatus status = Connect();
  bool exists = false;
  if (status.Ok()) status = TableExists(exists);
  if (status.Ok() && !exists) status = DriverStatus::Error(NoFileErr);
  if (status.Ok()) status = conn_.Exec("BEGIN");
  if (status.Ok()) {
    Params gate;
    ShareKey(gate, kGate);
    status = conn_.Run("SELECT pg_advisory_xact_lock($1::int4, $2::int4)", gate);
  }
  if (status.Ok()) status = OthersHaveItOpen();
  if (status.Ok()) status = CheckColumns();
  Result columns;
  if (status.Ok()) {
    Params params;
    params.Text(table_);
    status = conn_.Run("SELECT attname FROM pg_attribute WHERE attrelid = to_regclass($1::text) AND attnum > 0 "
                       "AND NOT attisdropped AND attname LIKE '\\_key\\_%'",
                       params, columns);
  }
  for (int r = 0; status.Ok() && r < columns.Rows(); ++r)
    status = conn_.Exec("ALTER TABLE " + table_ + " DROP COLUMN " + Quote(columns.Value(r, 0)));
  for (const KeyDecl& key : decl_.keys)
    if (status.Ok()) status = conn_.Exec("ALTER TABLE " + table_ + " ADD COLUMN " + Quote(pg::KeyColumnName(key)) + " bytea");
  if (status.Ok()) status = FillKeys();
  for (const KeyDecl& key : decl_.keys)
    if (status.Ok()) status = conn_.Exec(CreateIndexSql(key));
  if (status.Ok()) status = WriteLayout();
  if (status.Ok()) status = conn_.Exec("COMMIT");
  if (!status.Ok() && status.code == DupKeyErr) status = DuplicateKeyError(status);
  conn_.Disconnect();  // a failure rolls everything back with the session
  return status;
}

DriverStatus PgDriver::FillKeys() {
  if (decl_.keys.empty()) return {};
  Result rows;
  if (DriverStatus status = conn_.Run("SELECT " + SelectList() + " FROM " + table_ + " AS t", {}, rows); !status.Ok()) return status;
  std::string update = "UPDATE " + table_ + " SET ";
  for (std::size_t k = 0; k < decl_.keys.size(); ++k)
    update += (k ? ", " : "") + Quote(pg::KeyColumnName(decl_.keys[k])) + " = $" + std::to_string(k + 2) + "::bytea";
  update += " WHERE _record = $1::int8";
  RowImage row;
  for (int r = 0; r < rows.Rows(); ++r) {
    ReadRow(rows, r, row);
    Params params;
    params.Integer(row.pointer);
    for (const KeyDecl& key : decl_.keys) {
      if (key.optional && KeyIsEmpty(key, layout_, row.record.data())) params.Null();
      else params.Bytes(EncodeOrder(OrderOf(key), layout_, row.record.data()));
    }
    if (DriverStatus status = conn_.Run(update, params); !status.Ok()) return status;
  }
  return {};
}

DriverStatus PgDriver::Send(std::string_view command) {
  std::string upper(command);
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (upper.rfind("RECOVER=", 0) == 0) {
    const int seconds = std::atoi(upper.c_str() + 8);
    timeoutMilliseconds_ = seconds > 0 ? seconds * 1000 : 1;  // 0 would mean "wait for ever"
    if (conn_.IsConnected()) return SetTimeout(timeoutMilliseconds_, false);
  }
  return {};
}

// In a frame a failed statement must not end the frame: each runs under a savepoint.
DriverStatus PgDriver::Statement(const std::string& sql, const Params& params, Result& result) {
  if (!inFrame_) return conn_.Run(sql, params, result);
  if (DriverStatus status = conn_.Exec("SAVEPOINT statement"); !status.Ok()) return status;
  DriverStatus status = conn_.Run(sql, params, result);
  if (!status.Ok()) conn_.Exec("ROLLBACK TO SAVEPOINT statement");
  DriverStatus released = conn_.Exec("RELEASE SAVEPOINT statement");
  return status.Ok() ? released : status;
}

// ---- Rows ----

const std::string& PgDriver::SelectList() {
  if (!selectList_.empty()) return selectList_;
  for (std::size_t i = 1; i <= layout_.FieldCount(); ++i)
    selectList_ += pg::SelectSql(layout_.Field(i)->shape, "t." + Quote(pg::ColumnName(layout_, i))) + ", ";
  for (const std::string& memo : decl_.memos) selectList_ += "t." + Quote(pg::Lower(memo)) + ", ";
  selectList_ += "t._record, t._version, t._nulls";
  return selectList_;
}

// True for a row that another session holds. Outside a frame a shared lock of the statement
// asks the lock manager row by row (cheap, gone when the statement ends); in a frame it would
// last until the commit and keep others from holding what was merely read, so there the lock
// list is read once per statement instead.
std::string PgDriver::HeldSql(Params& params) const {
  params.Integer(HoldBase());
  const std::string key = "(" + ("$" + std::to_string(params.Count())) + "::int8 # t._record)";
  if (!inFrame_) return "NOT pg_try_advisory_xact_lock_shared(" + key + ")";
  return key + " = ANY (ARRAY(SELECT (classid::int8 << 32) | objid::int8 FROM pg_locks WHERE locktype = 'advisory' "
         "AND objsubid = 1 AND pid <> pg_backend_pid() AND granted "
         "AND database = (SELECT oid FROM pg_database WHERE datname = current_database())))";
}

// Reads SelectList() from column 0, then (when present) the held flag.
void PgDriver::ReadRow(const Result& result, int r, RowImage& row) const {
  const int fields = static_cast<int>(layout_.FieldCount());
  row.record.assign(layout_.RecordSize(), std::byte{0});
  for (int i = 0; i < fields; ++i) pg::ReadField(result, r, i, *layout_.Field(static_cast<std::size_t>(i) + 1), row.record.data());
  int column = fields;
  row.memos.clear();
  for (std::size_t m = 0; m < decl_.memos.size(); ++m, ++column) row.memos.emplace_back(result.Value(r, column));
  row.pointer = result.Integer(r, column++);
  row.version = result.Integer(r, column++);
  row.nulls.clear();
  if (!result.IsNull(r, column)) {
    const std::string_view nulls = result.Value(r, column);
    for (int i = 0; i < fields; ++i) row.nulls.push_back(static_cast<std::size_t>(i) < nulls.size() && nulls[static_cast<std::size_t>(i)] == '1');
  }
  row.heldElsewhere = false;
}

// Fields, memos, _nulls, then the keys, from the next parameter on.
void PgDriver::BindRow(Params& params, const RowImage& row) const {
  for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) pg::BindField(params, *layout_.Field(i), row.record.data());
  for (std::size_t m = 0; m < decl_.memos.size(); ++m) params.Text(m < row.memos.size() ? row.memos[m] : std::string());
  if (row.nulls.empty()) {
    params.Null();
  } else {
    std::string flags;
    for (const Byte b : row.nulls) flags.push_back(b ? '1' : '0');
    params.Text(flags);
  }
  for (const KeyDecl& key : decl_.keys) {
    if (key.optional && KeyIsEmpty(key, layout_, row.record.data())) params.Null();
    else params.Bytes(EncodeOrder(OrderOf(key), layout_, row.record.data()));
  }
}

// A text column cannot hold a zero byte (a text parameter would end there while the key column
// holds the whole field): such a record is refused before anything is sent. KEYED stores it.
DriverStatus PgDriver::Unstorable(const RowImage& row) const {
  auto refuse = [&](const std::string& what) {
    DriverStatus status = DriverStatus::Error(FileSystemErr);
    status.driverCode = "22021";
    status.driverText = what + " holds a zero byte, which the server cannot store in text";
    return status;
  };
  for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) {
    const FieldLayout& field = *layout_.Field(i);
    if (field.shape.type != FieldType::String || field.offset + field.shape.size > row.record.size()) continue;
    const auto* text = reinterpret_cast<const char*>(row.record.data() + field.offset);
    if (std::memchr(text, 0, field.shape.size)) return refuse("Field " + field.name);
  }
  for (std::size_t m = 0; m < row.memos.size() && m < decl_.memos.size(); ++m)
    if (row.memos[m].find('\0') != std::string::npos) return refuse("Memo " + decl_.memos[m]);
  return {};
}

// The server names the index; the caller wants the key.
DriverStatus PgDriver::DuplicateKeyError(DriverStatus status) const {
  for (const KeyDecl& key : decl_.keys)
    if (status.driverText == pg::IndexName(decl_, key)) status.driverText = key.name;
  return status;
}

DriverStatus PgDriver::Add(RowImage& row) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  if (DriverStatus refused = Unstorable(row); !refused.Ok()) return refused;
  if (insertSql_.empty()) {
    std::string columns, values;
    int index = 1;
    auto add = [&](const std::string& column, const std::string& value) {
      columns += (columns.empty() ? "" : ", ") + Quote(column);
      values += (values.empty() ? "" : ", ") + value;
      ++index;
    };
    for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) add(pg::ColumnName(layout_, i), pg::ValueSql(layout_.Field(i)->shape, index));
    for (const std::string& memo : decl_.memos) add(pg::Lower(memo), "$" + std::to_string(index) + "::text");
    add("_nulls", "$" + std::to_string(index) + "::text");
    for (const KeyDecl& key : decl_.keys) add(pg::KeyColumnName(key), "$" + std::to_string(index) + "::bytea");
    insertSql_ = "INSERT INTO " + table_ + " (" + columns + ", _version) VALUES (" + values + ", 1) RETURNING _record";
  }
  Params params;
  BindRow(params, row);
  Result result;
  DriverStatus status = Statement(insertSql_, params, result);
  if (!status.Ok()) return status.code == DupKeyErr ? DuplicateKeyError(status) : status;
  row.pointer = result.Integer(0, 0);
  row.version = 1;
  return {};
}

// Why a put or delete changed no row: gone (33), held by another station (43) or changed (89).
DriverStatus PgDriver::WhyNotWritten(std::int64_t pointer, bool checkVersion) {
  Params params;
  params.Integer(pointer);
  const std::string held = HeldSql(params);
  Result result;
  if (DriverStatus status = Statement("SELECT " + held + " FROM " + table_ + " AS t WHERE t._record = $1::int8", params, result);
      !status.Ok()) {
    return status;
  }
  if (result.Rows() == 0) return DriverStatus::Error(NoRecErr);
  if (result.Value(0, 0) == "t") return DriverStatus::Error(IsHeldErr);
  return DriverStatus::Error(checkVersion ? RecordChangedErr : IsHeldErr);  // a hold that has just gone
}

DriverStatus PgDriver::Put(RowImage& row, bool checkVersion) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  if (DriverStatus refused = Unstorable(row); !refused.Ok()) return refused;
  if (updateSql_.empty()) {
    std::string sets;
    int index = 1;
    auto add = [&](const std::string& column, const std::string& value) {
      sets += Quote(column) + " = " + value + ", ";
      ++index;
    };
    for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) add(pg::ColumnName(layout_, i), pg::ValueSql(layout_.Field(i)->shape, index));
    for (const std::string& memo : decl_.memos) add(pg::Lower(memo), "$" + std::to_string(index) + "::text");
    add("_nulls", "$" + std::to_string(index) + "::text");
    for (const KeyDecl& key : decl_.keys) add(pg::KeyColumnName(key), "$" + std::to_string(index) + "::bytea");
    const std::string p = std::to_string(index), v = std::to_string(index + 1), h = std::to_string(index + 2);
    // The shared lock of the transaction conflicts only with another session's hold.
    updateSql_ = "UPDATE " + table_ + " AS t SET " + sets + "_version = t._version + 1 WHERE t._record = $" + p + "::int8 AND ($" + v +
                 "::int8 IS NULL OR t._version = $" + v + "::int8) AND pg_try_advisory_xact_lock_shared($" + h +
                 "::int8 # t._record) RETURNING t._version";
  }
  Params params;
  BindRow(params, row);
  params.Integer(row.pointer);
  if (checkVersion) params.Integer(row.version);
  else params.Null();
  params.Integer(HoldBase());
  Result result;
  DriverStatus status = Statement(updateSql_, params, result);
  if (!status.Ok()) return status.code == DupKeyErr ? DuplicateKeyError(status) : status;
  if (result.Rows() == 0) return WhyNotWritten(row.pointer, checkVersion);
  row.version = result.Integer(0, 0);
  if (holding_ == row.pointer) ReleaseHolds();
  return {};
}

DriverStatus PgDriver::Delete(std::int64_t pointer) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  Params params;
  params.Integer(pointer);
  params.Integer(HoldBase());
  Result result;
  DriverStatus status = Statement("DELETE FROM " + table_ + " AS t WHERE t._record = $1::int8 AND "
                                  "pg_try_advisory_xact_lock_shared($2::int8 # t._record) RETURNING 1",
                                  params, result);
  if (!status.Ok()) return status;
  if (result.Rows() == 0) return WhyNotWritten(pointer, false);
  if (holding_ == pointer) ReleaseHolds();
  return {};
}

DriverStatus PgDriver::Get(std::int64_t pointer, RowImage& row) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  Params params;
  params.Integer(pointer);
  Result result;
  if (DriverStatus status = Statement("SELECT " + SelectList() + " FROM " + table_ + " AS t WHERE t._record = $1::int8", params, result);
      !status.Ok()) {
    return status;
  }
  if (result.Rows() == 0) return DriverStatus::Error(NoRecErr);
  ReadRow(result, 0, row);
  row.sortKey.clear();
  return {};
}

DriverStatus PgDriver::GetByKey(std::size_t key, const std::string& keyValue, RowImage& row) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  if (key < 1 || key > decl_.keys.size()) return DriverStatus::Error(NoRecErr);
  Params params;
  params.Bytes(keyValue);
  Result result;
  const std::string column = "t." + Quote(pg::KeyColumnName(decl_.keys[key - 1]));
  if (DriverStatus status = Statement("SELECT " + SelectList() + " FROM " + table_ + " AS t WHERE " + column +
                                          " = $1::bytea ORDER BY t._record LIMIT 1",
                                      params, result);
      !status.Ok()) {
    return status;
  }
  if (result.Rows() == 0) return DriverStatus::Error(NoRecErr);
  ReadRow(result, 0, row);
  row.sortKey = keyValue;
  return {};
}

// ---- Orders ----

std::string PgDriver::SortSql(const ReadRequest& request) const {
  if (request.key >= 1 && request.key <= decl_.keys.size()) return "t." + Quote(pg::KeyColumnName(decl_.keys[request.key - 1]));
  std::string sort;
  for (const OrderPart& part : request.parts) {
    const FieldLayout* field = layout_.Field(part.field);
    if (!field) continue;
    sort += (sort.empty() ? "" : " || ") + pg::OrderSql(part, field->shape, "t." + Quote(pg::ColumnName(layout_, part.field)));
  }
  return sort.empty() ? sort : "(" + sort + ")";
}

// A pushed-down filter's `?` become typed parameters from `first` on; quoted text stays.
std::string NumberedWhere(const SqlWhere& where, Params& params) {
  std::string out;
  char quote = 0;
  std::size_t next = 0;
  for (const char c : where.text) {
    if (quote) {
      if (c == quote) quote = 0;
      out.push_back(c);
    } else if (c == '\'' || c == '"') {
      quote = c;
      out.push_back(c);
    } else if (c == '?' && next < where.params.size()) {
      const SqlValue& value = where.params[next++];
      const char* type = "::text";
      if (const auto* integer = std::get_if<std::int64_t>(&value)) {
        params.Integer(*integer);
        type = "::int8";
      } else if (const auto* real = std::get_if<double>(&value)) {
        params.Real(*real);
        type = "::float8";
      } else {
        params.Text(std::get<std::string>(value));
      }
      out += "$" + std::to_string(params.Count()) + type;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

DriverStatus PgDriver::Read(const ReadRequest& request, std::vector<RowImage>& rows) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  Params params;
  const std::string sort = SortSql(request);
  const char* less = request.backward ? " < " : " > ";
  const char* direction = request.backward ? " DESC" : "";
  auto next = [&] { return "$" + std::to_string(params.Count()); };
  std::string sql = "SELECT " + SelectList() + ", " + HeldSql(params) + (sort.empty() ? ", NULL" : ", " + sort) + " FROM " + table_ +
                    " AS t WHERE true";
  if (!sort.empty() && request.key >= 1 && decl_.keys[request.key - 1].optional) sql += " AND " + sort + " IS NOT NULL";
  if (!request.from.unbounded) {
    if (sort.empty()) {
      params.Integer(request.from.pointer);
      sql += std::string(" AND t._record") + less + next() + "::int8";
    } else {
      params.Bytes(request.from.sortKey);
      const std::string key = next();
      params.Integer(request.from.pointer);
      sql += " AND (" + sort + ", t._record)" + less + "(" + key + "::bytea, " + next() + "::int8)";
    }
  }
  if (!request.high.empty() && !sort.empty()) {
    params.Bytes(request.high);
    sql += " AND " + sort + " <= " + next() + "::bytea";
  }
  if (!request.low.empty() && !sort.empty()) {
    params.Bytes(request.low);
    sql += " AND " + sort + " >= " + next() + "::bytea";
  }
  if (request.where) sql += " AND (" + NumberedWhere(*request.where, params) + ")";
  params.Integer(static_cast<std::int64_t>(request.limit));
  sql += " ORDER BY " + (sort.empty() ? std::string() : sort + direction + ", ") + "t._record" + direction + " LIMIT " + next() + "::int8";
  Result result;
  if (DriverStatus status = Statement(sql, params, result); !status.Ok()) {
    rows.clear();
    return status;
  }
  const int count = result.Rows();
  const int heldColumn = static_cast<int>(layout_.FieldCount() + decl_.memos.size()) + 3;
  rows.resize(static_cast<std::size_t>(count));
  for (int r = 0; r < count; ++r) {
    RowImage& row = rows[static_cast<std::size_t>(r)];
    ReadRow(result, r, row);
    row.heldElsewhere = result.Value(r, heldColumn) == "t";
    row.sortKey = sort.empty() ? std::string() : result.Bytes(r, heldColumn + 1);
  }
  return {};
}

DriverStatus PgDriver::HasDuplicate(std::size_t key, const std::string& keyValue, std::int64_t except, bool& found) {
  found = false;
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  if (key < 1 || key > decl_.keys.size()) return {};
  Params params;
  params.Bytes(keyValue);
  params.Integer(except);
  Result result;
  DriverStatus status = Statement("SELECT 1 FROM " + table_ + " WHERE " + Quote(pg::KeyColumnName(decl_.keys[key - 1])) +
                                      " = $1::bytea AND _record <> $2::int8 LIMIT 1",
                                  params, result);
  found = status.Ok() && result.Rows() > 0;
  return status;
}

DriverStatus PgDriver::Records(std::int64_t& count) {
  count = 0;
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  Result result;
  DriverStatus status = Statement("SELECT count(*) FROM " + table_, {}, result);
  if (status.Ok()) count = result.Integer(0, 0);
  return status;
}

// ---- Holds ----

DriverStatus PgDriver::Hold(std::int64_t pointer) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  if (holding_ == pointer) return {};  // advisory locks count: never take one twice
  if (holding_ != 0) {
    if (DriverStatus status = ReleaseHolds(); !status.Ok()) return status;
  }
  Params params;
  params.Integer(HoldKey(pointer));
  Result result;
  if (DriverStatus status = Statement("SELECT pg_try_advisory_lock($1::int8)", params, result); !status.Ok()) return status;
  if (result.Value(0, 0) != "t") return DriverStatus::Error(IsHeldErr);
  holding_ = pointer;
  return {};
}

DriverStatus PgDriver::ReleaseHolds() {
  if (!conn_.IsConnected() || holding_ == 0) return {};
  Params params;
  params.Integer(HoldKey(holding_));
  holding_ = 0;
  return Statement("SELECT pg_advisory_unlock($1::int8)", params);
}

// ---- Frames ----

DriverStatus PgDriver::BeginFrame(Long timeoutSeconds) {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  if (DriverStatus status = conn_.Exec("BEGIN"); !status.Ok()) return status;
  if (DriverStatus status = SetTimeout(timeoutSeconds > 0 ? timeoutSeconds * 1000 : timeoutMilliseconds_, true); !status.Ok()) {
    conn_.Exec("ROLLBACK");
    return status;
  }
  inFrame_ = true;
  return {};
}

DriverStatus PgDriver::Commit() {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  inFrame_ = false;
  return conn_.Exec("COMMIT");
}

DriverStatus PgDriver::Rollback() {
  if (!conn_.IsConnected()) return DriverStatus::Error(NotOpenErr);
  if (!inFrame_) return {};
  inFrame_ = false;
  return conn_.Exec("ROLLBACK");
}

}  // namespace

std::unique_ptr<Driver> MakePgDriver(const DriverSetup& setup) {
  if (!setup.decl || !setup.decl->layout) return nullptr;
  return std::make_unique<PgDriver>(setup);
}

void ApplyServerSetting(FileDecl& decl, const std::string& iniPath) {
  const std::string server = GetIni("Data", decl.label + "Server", "", iniPath);
  if (server.find_first_not_of(' ') == std::string::npos) return;
  decl.driver = kServerDriver;
  decl.name = server;
}

}  // namespace rt
