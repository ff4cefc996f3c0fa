// The KEYED driver: data files on SQLite. The table layout is in keyed_driver_internal.h,
// values are converted in keyed_values.cpp. Sections:
//   Statements    SQLite errors to runtime codes, cached statements, the driver class
//   Connection    open (share lock, layout check), close, create, build, driver strings
//   Rows          add, put (version check), delete, get by pointer or key
//   Orders        reads in key order, file order or an encoded field order; duplicates
//   Holds         the _holds table; stale holds of processes that have gone
//   Frames        BEGIN IMMEDIATE, COMMIT, ROLLBACK
#include <sqlite3.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/core/date_time.h"
#include "runtime/core/decimal.h"
#include "runtime/core/last_error.h"
#include "runtime/data/access_mode.h"
#include "runtime/data/driver.h"
#include "runtime/data/keyed_driver_internal.h"
#include "runtime/data/share_lock.h"
#include "runtime/platform/platform.h"

namespace rt {

namespace {

using keyed::BindField;
using keyed::Quote;
using keyed::ReadField;

// ---- Statements ----

// What a failed open or create of a file says, from the system's own error.
Long CodeForErrno(int error, Long codeForMissing) {
  switch (error) {
    case ENOENT: return codeForMissing;
    case ENOTDIR: return NoPathErr;
    case EACCES:
    case EPERM:
    case EROFS: return NoAccessErr;
    default: return FileSystemErr;
  }
}

DriverStatus SystemError(int error, Long codeForMissing) {
  DriverStatus status = DriverStatus::Error(CodeForErrno(error, codeForMissing));
  status.driverCode = std::to_string(error);
  status.driverText = std::strerror(error);
  return status;
}

// A data file starts as every SQLite database does; the rest is for SQLite to judge.
DriverStatus CheckHeader(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return SystemError(errno, NoFileErr);
  static constexpr char kMagic[] = "SQLite format 3";  // with its NUL: the first 16 bytes
  char header[sizeof kMagic] = {};
  const ssize_t got = ::read(fd, header, sizeof header);
  const int error = errno;
  ::close(fd);
  if (got < 0) return SystemError(error, NoFileErr);
  if (got != static_cast<ssize_t>(sizeof header) || std::memcmp(header, kMagic, sizeof kMagic) != 0) {
    DriverStatus status = DriverStatus::Error(InvalidFileErr);
    status.driverText = "not a data file";
    return status;
  }
  return {};
}

// SQLite keeps POSIX locks on an open database, and the system drops all of a process's locks on
// a file when any descriptor of it is closed. Reading the header while another connection of
// this process has the file open would let another program take the file for its own (a last
// closer checkpoints and cuts the WAL) under that connection, and records it had committed were
// lost. So the header is read only while no connection of this process has the file; once one
// has, the file is known to be a database. Claims are counted per file for the whole process.
class FileClaim {
 public:
  FileClaim() = default;
  FileClaim(const FileClaim&) = delete;
  FileClaim& operator=(const FileClaim&) = delete;
  ~FileClaim() { Release(); }

  // Claims the file, reading its header first unless this process already has it open.
  DriverStatus CheckAndClaim(const std::string& path) {
    Release();
    const std::lock_guard lock(Mutex());
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) return SystemError(errno, NoFileErr);
    const Id id{info.st_dev, info.st_ino};
    int& claims = Claims()[id];
    if (claims == 0) {
      if (DriverStatus status = CheckHeader(path); !status.Ok()) {
        Claims().erase(id);
        return status;
      }
    }
    ++claims;
    id_ = id;
    return {};
  }
  void Release() {
    if (!id_) return;
    const std::lock_guard lock(Mutex());
    if (--Claims()[*id_] == 0) Claims().erase(*id_);
    id_.reset();
  }

 private:
  using Id = std::pair<dev_t, ino_t>;
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static std::map<Id, int>& Claims() {
    static std::map<Id, int> claims;
    return claims;
  }
  std::optional<Id> id_;
};

DriverStatus SqlError(sqlite3* db, int rc) {
  const int extended = db ? sqlite3_extended_errcode(db) : rc;
  if ((rc & 0xFF) == SQLITE_CANTOPEN && db && sqlite3_system_errno(db) != 0) {
    // The system says why: a folder the user cannot write is 5, not a missing file.
    DriverStatus status = SystemError(sqlite3_system_errno(db), NoFileErr);
    status.driverText += std::string(" (") + sqlite3_errmsg(db) + ")";
    return status;
  }
  Long code = FileSystemErr;
  switch (rc & 0xFF) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
    case SQLITE_READONLY:
    case SQLITE_PERM:
    case SQLITE_AUTH: code = NoAccessErr; break;
    case SQLITE_NOTADB: code = InvalidFileErr; break;
    case SQLITE_CANTOPEN: code = NoFileErr; break;
    default: break;
  }
  DriverStatus status = DriverStatus::Error(code);
  status.driverCode = std::to_string(extended);
  status.driverText = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
  return status;
}

// A cached statement in use: reset and unbound when the scope ends.
class Use {
 public:
  explicit Use(sqlite3_stmt* statement) : s_(statement) {}
  ~Use() {
    if (s_) {
      sqlite3_reset(s_);
      sqlite3_clear_bindings(s_);
    }
  }
  Use(const Use&) = delete;
  Use& operator=(const Use&) = delete;
  sqlite3_stmt* get() const { return s_; }
  explicit operator bool() const { return s_ != nullptr; }

 private:
  sqlite3_stmt* s_;
};

std::int64_t NewOwner() {
  std::random_device device;
  const std::int64_t high = static_cast<std::int64_t>(device()) << 31;
  return (high ^ static_cast<std::int64_t>(device()) ^ static_cast<std::int64_t>(::getpid())) & INT64_MAX;
}

// A text column that a damaged or foreign file may leave NULL or give any type: never a crash.
std::string_view ColumnText(sqlite3_stmt* statement, int column) {
  const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  return text ? std::string_view(text, static_cast<std::size_t>(sqlite3_column_bytes(statement, column))) : std::string_view();
}

// Steps a statement that returns no rows; SQLITE_DONE, or the first failure.
int StepToDone(sqlite3_stmt* statement) {
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
  }
  return rc;
}

// How long a hold waits out another opener's write of the record (a statement's length).
constexpr int kWriteWaitMilliseconds = 2000;

// Another opener's write of a record takes the record's byte for one statement (share_lock.h);
// a holder's lock there refuses it. Nothing to do for a record this opener holds itself.
class RecordWrite {
 public:
  RecordWrite(ShareLock& lock, std::int64_t pointer, bool holding) : lock_(lock), pointer_(pointer) {
    locked_ = !holding && lock.TryWriteRecord(pointer);
    refused_ = !holding && !locked_;
  }
  ~RecordWrite() {
    if (locked_) lock_.UnlockRecord(pointer_);
  }
  RecordWrite(const RecordWrite&) = delete;
  RecordWrite& operator=(const RecordWrite&) = delete;
  bool Refused() const { return refused_; }

 private:
  ShareLock& lock_;
  std::int64_t pointer_;
  bool locked_ = false, refused_ = false;
};

// Renumbers the plain `?` of a pushed-down filter from `first`, leaving quoted text alone.
std::string NumberParameters(std::string_view text, int first) {
  std::string out;
  char quote = 0;
  for (const char c : text) {
    if (quote) {
      if (c == quote) quote = 0;
      out.push_back(c);
    } else if (c == '\'' || c == '"') {
      quote = c;
      out.push_back(c);
    } else if (c == '?') {
      out += "?" + std::to_string(first++);
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// What decides a read's SQL: reads of the same shape share one prepared statement. Compared
// field by field, so finding it builds no text (a browse reads a page at every scroll).
struct ReadShape {
  std::size_t key = 0;
  bool backward = false, unbounded = false, high = false, low = false;
  std::vector<std::tuple<std::size_t, bool, bool>> parts;  // field, ascending, noCase
  std::string where;

  static ReadShape Of(const ReadRequest& request) {
    ReadShape shape{request.key, request.backward, request.from.unbounded, !request.high.empty(), !request.low.empty(), {},
                    request.where ? request.where->text : std::string()};
    for (const OrderPart& part : request.parts) shape.parts.emplace_back(part.field, part.ascending, part.noCase);
    return shape;
  }
  auto operator<=>(const ReadShape&) const = default;
};

class KeyedDriver final : public Driver {
 public:
  explicit KeyedDriver(const DriverSetup& setup)
      : setup_(setup), decl_(*setup.decl), layout_(*setup.decl->layout), owner_(NewOwner()) {}
  ~KeyedDriver() override {
    ReleaseHolds();  // also when a failed close left the connection open
    Disconnect();
  }
  KeyedDriver(const KeyedDriver&) = delete;
  KeyedDriver& operator=(const KeyedDriver&) = delete;

  DriverStatus Open(Long mode) override;
  DriverStatus Create() override { return CreateFile(true); }
  DriverStatus CreateIfMissing() override { return CreateFile(false); }
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
  bool KeepsVersions() const override { return true; }
  std::optional<StoredColumn> ColumnOf(std::size_t field) const override;

 private:
  DriverStatus CreateFile(bool replace);
  // ---- Connection ----
  DriverStatus Connect(const std::string& path, bool readOnly);
  DriverStatus UseWal();
  void Disconnect();
  DriverStatus Exec(const char* sql);
  sqlite3_stmt* Prepare(const std::string& sql);
  DriverStatus Fail() const { return SqlError(db_, sqlite3_errcode(db_)); }
  DriverStatus CheckLayout(bool keysMayDiffer = false);  // keys differ until Build
  DriverStatus WriteSchema(bool withTable);
  DriverStatus FillKeys();
  void RegisterOrderFunction();

  // ---- Rows ----
  // Fields, memos, rowid, _version, _nulls and the holder of the row (NULL without `holds`).
  const std::string& SelectList(bool holds = false);
  void ReadRow(sqlite3_stmt* statement, RowImage& row) const;
  int BindRow(sqlite3_stmt* statement, const RowImage& row, int first);  // returns the next index
  DriverStatus HeldElsewhere(std::int64_t pointer, bool& held);
  std::string SortExpression(const ReadRequest& request) const;
  // Whether the read's sort key is a unique key's: no two rows share a sort value.
  bool UniqueSort(const ReadRequest& request) const {
    return request.key >= 1 && request.key <= decl_.keys.size() && decl_.keys[request.key - 1].unique;
  }
  std::string ReadSql(const ReadRequest& request, bool holds);
  DriverStatus ReadRows(sqlite3_stmt* statement, const ReadRequest& request, std::vector<RowImage>& rows);
  DriverStatus DuplicateKeyError() const;

  DriverSetup setup_;
  const FileDecl& decl_;
  const RecordLayout& layout_;
  sqlite3* db_ = nullptr;
  std::map<std::string, sqlite3_stmt*> statements_;
  FileClaim claim_;  // while connected, or between the header check and the connection
  ShareLock share_;
  std::int64_t owner_;
  std::int64_t holding_ = 0;
  int busyMilliseconds_ = 10000;
  std::string insertSql_, updateSql_;
  std::string selectList_[2];
  // Statements of statements_ found without building their SQL: cleared with it.
  std::map<ReadShape, sqlite3_stmt*> reads_;
  sqlite3_stmt* get_ = nullptr;
  std::vector<sqlite3_stmt*> getByKey_;
};

std::string KeyedDriver::FullName() const {
  std::string name = setup_.name();
  const std::filesystem::path path = platform::NativePath(name);
  if (!path.has_extension()) name += keyed::kExtension;
  return name;
}

std::optional<StoredColumn> KeyedDriver::ColumnOf(std::size_t field) const {
  const FieldLayout* f = layout_.Field(field);
  if (!f) return std::nullopt;
  StoredColumn column{keyed::ColumnName(layout_, field), StoredColumn::Kind::Integer};
  switch (f->shape.type) {
    case FieldType::Real: column.kind = StoredColumn::Kind::Real; break;
    case FieldType::String: column.kind = StoredColumn::Kind::Text; break;
    case FieldType::CString: column.kind = StoredColumn::Kind::PaddedText; break;  // kept as written
    case FieldType::Decimal:
    case FieldType::Date:
    case FieldType::Time: return std::nullopt;  // stored as text that does not compare as their values
    default: break;
  }
  return column;
}

// ---- Connection ----

DriverStatus KeyedDriver::Connect(const std::string& path, bool readOnly) {
  const int flags = (readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
  const int rc = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
  if (rc != SQLITE_OK) {
    DriverStatus status = SqlError(db_, rc);
    Disconnect();
    return status;
  }
  sqlite3_extended_result_codes(db_, 1);
  sqlite3_busy_timeout(db_, busyMilliseconds_);
  return Exec("PRAGMA synchronous=NORMAL");
}

// Files are made in WAL mode (Create). Switching a file made elsewhere writes to it and takes a
// lock that two openers at once could fight over, so it is done only when needed, and only
// once the layout says the file is ours.
DriverStatus KeyedDriver::UseWal() {
  sqlite3_stmt* mode = nullptr;
  bool wal = false;
  if (sqlite3_prepare_v2(db_, "PRAGMA journal_mode", -1, &mode, nullptr) == SQLITE_OK && sqlite3_step(mode) == SQLITE_ROW)
    wal = ColumnText(mode, 0) == "wal";
  if (const int done = mode ? sqlite3_finalize(mode) : SQLITE_OK; done != SQLITE_OK) return SqlError(db_, done);
  return wal ? DriverStatus{} : Exec("PRAGMA journal_mode=WAL");
}

void KeyedDriver::Disconnect() {
  for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
  statements_.clear();
  reads_.clear();
  get_ = nullptr;
  getByKey_.clear();
  if (db_) sqlite3_close_v2(db_);
  db_ = nullptr;
  claim_.Release();
  share_.Release();
}

DriverStatus KeyedDriver::Exec(const char* sql) {
  char* message = nullptr;
  const int rc = sqlite3_exec(db_, sql, nullptr, nullptr, &message);
  sqlite3_free(message);
  return rc == SQLITE_OK ? DriverStatus{} : SqlError(db_, rc);
}

sqlite3_stmt* KeyedDriver::Prepare(const std::string& sql) {
  const auto found = statements_.find(sql);
  if (found != statements_.end()) return found->second;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v3(db_, sql.c_str(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT, &statement,
                         nullptr) != SQLITE_OK) {
    return nullptr;
  }
  statements_.emplace(sql, statement);
  return statement;
}

DriverStatus KeyedDriver::Open(Long mode) {
  if (db_) return DriverStatus::Error(IsOpenErr);
  const std::string path = platform::NativePath(FullName()).string();
  // Anything but an SQLite database is refused before SQLite or a lock file touches anything.
  if (DriverStatus status = claim_.CheckAndClaim(path); !status.Ok()) return status;
  int error = 0;
  if (const Long code = share_.Acquire(path + "-lock", mode, error); code != NoError) {
    claim_.Release();
    DriverStatus status = DriverStatus::Error(code);
    if (error) status.driverText = std::strerror(error);
    return status;
  }
  const bool readOnly = !ModeWrites(mode);
  DriverStatus status = Connect(path, readOnly);
  if (status.Ok()) status = CheckLayout();
  if (status.Ok() && !readOnly) status = UseWal();
  if (!status.Ok()) {
    Disconnect();
    return status;
  }
  RegisterOrderFunction();
  return {};
}

DriverStatus KeyedDriver::CheckLayout(bool keysMayDiffer) {
  sqlite3_stmt* statement = Prepare("SELECT item, value FROM _layout");
  if (!statement) {
    DriverStatus status = Fail();
    if (status.code == FileSystemErr) status.code = InvalidFileErr;  // a database, but not one of ours
    return status;
  }
  Use use(statement);
  std::map<std::string, std::string> items;
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) items[std::string(ColumnText(statement, 0))] = ColumnText(statement, 1);
  if (rc != SQLITE_DONE) {
    DriverStatus status = Fail();
    if (status.code == FileSystemErr) status.code = InvalidFileErr;  // a damaged file
    return status;
  }
  if (items["format"] != std::to_string(keyed::kFormat)) {
    DriverStatus status = DriverStatus::Error(InvalidFileErr);
    status.driverText = "unknown format " + items["format"];
    return status;
  }
  if (items["fields"] != keyed::FieldsDescriptor(layout_)) {
    DriverStatus status = DriverStatus::Error(47);
    status.driverText = "the file holds fields " + items["fields"];
    return status;
  }
  if (!keysMayDiffer && items["keys"] != keyed::KeysDescriptor(decl_)) {
    DriverStatus status = DriverStatus::Error(BadKeyErr);
    status.driverText = "the file holds keys " + items["keys"];
    return status;
  }
  return {};
}

DriverStatus KeyedDriver::Close() {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  ReleaseHolds();
  Disconnect();
  return {};
}

DriverStatus KeyedDriver::WriteSchema(bool withTable) {
  const std::string table = Quote(decl_.label);
  std::string sql;
  if (withTable) {
    sql = "CREATE TABLE " + table + "(";
    for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) {
      const FieldType type = layout_.Field(i)->shape.type;
      const char* sqlType = type == FieldType::Real ? "REAL"
                            : (type == FieldType::Decimal || type == FieldType::String || type == FieldType::CString ||
                               type == FieldType::Date || type == FieldType::Time)
                                ? "TEXT"
                                : "INTEGER";
      sql += Quote(keyed::ColumnName(layout_, i)) + " " + sqlType + ", ";
    }
    for (const std::string& memo : decl_.memos) sql += Quote(memo) + " TEXT, ";
    sql += "_version INTEGER NOT NULL DEFAULT 1, _nulls TEXT";
    for (const KeyDecl& key : decl_.keys) sql += ", " + Quote(keyed::KeyColumnName(key)) + " BLOB";
    sql += ");"
           "CREATE TABLE _holds(record INTEGER PRIMARY KEY, pid INTEGER NOT NULL, owner INTEGER NOT NULL,"
           " since INTEGER NOT NULL);"
           "CREATE TABLE _layout(item TEXT PRIMARY KEY, value TEXT NOT NULL);";
  }
  for (const KeyDecl& key : decl_.keys) {
    sql += std::string("CREATE ") + (key.unique ? "UNIQUE " : "") + "INDEX " + Quote(decl_.label + "$" + key.name.substr(key.name.rfind(':') + 1)) +
           " ON " + table + "(" + Quote(keyed::KeyColumnName(key)) + ");";
  }
  if (DriverStatus status = Exec(sql.c_str()); !status.Ok()) return status;
  sqlite3_stmt* statement = Prepare("INSERT OR REPLACE INTO _layout(item, value) VALUES (?1, ?2)");
  if (!statement) return Fail();
  const std::pair<std::string, std::string> items[] = {
      {"format", std::to_string(keyed::kFormat)}, {"fields", keyed::FieldsDescriptor(layout_)}, {"keys", keyed::KeysDescriptor(decl_)}};
  for (const auto& [item, value] : items) {
    Use use(statement);
    sqlite3_bind_text(statement, 1, item.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_text(statement, 2, value.c_str(), -1, SQLITE_TRANSIENT);
    if (sqlite3_step(statement) != SQLITE_DONE) return Fail();
  }
  return {};
}

// A new file is built under a temporary name and renamed into place, so no process ever opens
// half a schema; a file that another creator put there meanwhile is kept.
DriverStatus KeyedDriver::CreateFile(bool replace) {
  if (db_) return DriverStatus::Error(IsOpenErr);
  const std::string path = platform::NativePath(FullName()).string();
  const bool existed = ::access(path.c_str(), F_OK) == 0;
  if (existed && !replace) return {};
  // Over an existing file, every other opener stays out until the new file is in place: one let
  // in meanwhile would open the old file and write to a file about to be replaced.
  ShareLock alone;
  if (existed) {
    int error = 0;
    if (const Long code = alone.Acquire(path + "-lock", ReadWrite | DenyAll, error); code != NoError)
      return DriverStatus::Error(code);
  }
  const std::string temporary = path + ".new" + std::to_string(::getpid()) + "-" + std::to_string(owner_ & 0xFFFF);
  std::remove(temporary.c_str());
  // Made here first, so a failure gives the system's reason (a folder we may not write is 5).
  if (const int fd = ::open(temporary.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666); fd >= 0) {
    ::close(fd);
  } else {
    return SystemError(errno, NoPathErr);  // creating: a missing name can only be a missing directory
  }
  const int rc = sqlite3_open_v2(temporary.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
  DriverStatus status = rc == SQLITE_OK ? DriverStatus{} : SqlError(db_, rc);
  if (status.Ok()) status = Exec("PRAGMA journal_mode=WAL");  // kept in the file's header
  if (status.Ok()) status = Exec("BEGIN");
  if (status.Ok()) status = WriteSchema(true);
  if (status.Ok()) status = Exec("COMMIT");
  if (status.Ok()) status = Exec("PRAGMA wal_checkpoint(TRUNCATE)");  // the schema in the file itself
  if (status.Ok()) {
    for (auto& [sql, statement] : statements_) sqlite3_finalize(statement);
    statements_.clear();
    if (sqlite3_close(db_) == SQLITE_OK) db_ = nullptr;
    else status = Fail();
  }
  Disconnect();
  for (const char* suffix : {"-wal", "-shm"}) std::remove((temporary + suffix).c_str());
  if (status.Ok() && existed) {
    // The old file's log must not outlive it (it would be replayed into the new file), yet it
    // comes back should the new file fail to go in: it is set aside, not removed.
    const std::string aside = temporary + "-old-wal";
    const bool setAside = std::rename((path + "-wal").c_str(), aside.c_str()) == 0;
    std::remove((path + "-shm").c_str());
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
      status = SystemError(errno, NoPathErr);
      if (setAside) std::rename(aside.c_str(), (path + "-wal").c_str());
    } else {
      std::remove(aside.c_str());
    }
  } else if (status.Ok() && ::link(temporary.c_str(), path.c_str()) != 0 && errno != EEXIST) {
    status = SystemError(errno, NoPathErr);
  } else if (status.code == NoFileErr) {
    status.code = NoPathErr;
  }
  std::remove(temporary.c_str());
  return status;
}

// Makes every key again from the records: indexes dropped, key columns recomputed, indexes
// made (a unique key that the records repeat fails with 40 and changes nothing).
DriverStatus KeyedDriver::Build() {
  if (db_) return DriverStatus::Error(IsOpenErr);
  const std::string path = platform::NativePath(FullName()).string();
  if (DriverStatus status = claim_.CheckAndClaim(path); !status.Ok()) return status;
  int error = 0;
  if (const Long code = share_.Acquire(path + "-lock", ReadWrite | DenyAll, error); code != NoError) {
    claim_.Release();
    return DriverStatus::Error(code);
  }
  DriverStatus status = Connect(path, false);
  if (status.Ok()) status = Exec("BEGIN IMMEDIATE");
  if (status.Ok()) status = CheckLayout(true);
  std::vector<std::string> drops;
  if (status.Ok()) {  // every index and key column of ours that is there now
    auto list = [&](const std::string& sql, const std::string& before, const std::string& after) {
      sqlite3_stmt* names = Prepare(sql);
      if (!names) return Fail();
      Use use(names);
      sqlite3_bind_text(names, 1, decl_.label.c_str(), -1, SQLITE_TRANSIENT);
      int rc;
      while ((rc = sqlite3_step(names)) == SQLITE_ROW) drops.push_back(before + Quote(ColumnText(names, 0)) + after);
      return rc == SQLITE_DONE ? DriverStatus{} : Fail();
    };
    status = list("SELECT name FROM pragma_index_list(?1) WHERE origin = 'c'", "DROP INDEX ", "");
    if (status.Ok())
      status = list("SELECT name FROM pragma_table_info(?1) WHERE name LIKE '\\_key\\_%' ESCAPE '\\'",
                    "ALTER TABLE " + Quote(decl_.label) + " DROP COLUMN ", "");
  }
  for (const std::string& drop : drops)
    if (status.Ok()) status = Exec(drop.c_str());
  for (const KeyDecl& key : decl_.keys) {
    if (!status.Ok()) break;
    status = Exec(("ALTER TABLE " + Quote(decl_.label) + " ADD COLUMN " + Quote(keyed::KeyColumnName(key)) + " BLOB").c_str());
  }
  if (status.Ok()) status = FillKeys();
  if (status.Ok()) status = WriteSchema(false);
  if (status.Ok()) status = Exec("COMMIT");
  if (!status.Ok() && db_) Exec("ROLLBACK");
  if (status.driverCode == std::to_string(SQLITE_CONSTRAINT_UNIQUE)) {
    status.code = DupKeyErr;
    for (const KeyDecl& key : decl_.keys) {  // the key's name, as an add gives it, not its column's
      if (status.driverText.find(keyed::KeyColumnName(key)) == std::string::npos) continue;
      status.driverText = key.name;
      break;
    }
  }
  Disconnect();
  return status;
}

DriverStatus KeyedDriver::FillKeys() {
  if (decl_.keys.empty()) return {};
  // The pointers first, then each row by its pointer: a table is not updated under a scan of
  // itself, which a damaged file can turn into a scan that never ends.
  std::vector<std::int64_t> pointers;
  sqlite3_stmt* listing = Prepare("SELECT rowid FROM " + Quote(decl_.label) + " ORDER BY rowid");
  if (!listing) return Fail();
  {
    Use use(listing);
    int rc;
    while ((rc = sqlite3_step(listing)) == SQLITE_ROW) pointers.push_back(sqlite3_column_int64(listing, 0));
    if (rc != SQLITE_DONE) return Fail();
  }
  sqlite3_stmt* rows = Prepare("SELECT " + SelectList() + " FROM " + Quote(decl_.label) + " AS t WHERE t.rowid = ?1");
  std::string update = "UPDATE " + Quote(decl_.label) + " SET ";
  for (std::size_t k = 0; k < decl_.keys.size(); ++k)
    update += (k ? ", " : "") + Quote(keyed::KeyColumnName(decl_.keys[k])) + " = ?" + std::to_string(k + 2);
  update += " WHERE rowid = ?1";
  sqlite3_stmt* write = Prepare(update);
  if (!rows || !write) return Fail();
  RowImage row;
  for (const std::int64_t pointer : pointers) {
    Use use(rows);
    sqlite3_bind_int64(rows, 1, pointer);
    const int rc = sqlite3_step(rows);
    if (rc == SQLITE_DONE) continue;
    if (rc != SQLITE_ROW) return Fail();
    row.record.assign(layout_.RecordSize(), std::byte{0});
    for (std::size_t i = 1; i <= layout_.FieldCount(); ++i)
      ReadField(sqlite3_column_value(rows, static_cast<int>(i) - 1), *layout_.Field(i), row.record.data());
    Use useWrite(write);
    sqlite3_bind_int64(write, 1, pointer);
    for (std::size_t k = 0; k < decl_.keys.size(); ++k) {
      const KeyDecl& key = decl_.keys[k];
      if (key.optional && KeyIsEmpty(key, layout_, row.record.data())) continue;  // stays NULL
      const std::string value = EncodeOrder(OrderOf(key), layout_, row.record.data());
      sqlite3_bind_blob(write, static_cast<int>(k + 2), value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    if (StepToDone(write) != SQLITE_DONE) return Fail();
  }
  return {};
}

DriverStatus KeyedDriver::Send(std::string_view command) {
  std::string upper(command);
  for (char& c : upper) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  if (upper.rfind("RECOVER=", 0) == 0) {
    const int seconds = std::atoi(upper.c_str() + 8);
    busyMilliseconds_ = seconds > 0 ? seconds * 1000 : 0;
    if (db_) sqlite3_busy_timeout(db_, busyMilliseconds_);
  }
  return {};
}

// ---- Rows ----

const std::string& KeyedDriver::SelectList(bool holds) {
  std::string& list = selectList_[holds ? 1 : 0];
  if (!list.empty()) return list;
  for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) list += "t." + Quote(keyed::ColumnName(layout_, i)) + ", ";
  for (const std::string& memo : decl_.memos) list += "t." + Quote(memo) + ", ";
  list += "t.rowid, t._version, t._nulls, ";
  // The EXISTS is evaluated once per statement: without holds no row pays for a lookup.
  list += holds ? "CASE WHEN (SELECT EXISTS (SELECT 1 FROM _holds)) THEN (SELECT owner FROM _holds AS h WHERE h.record = t.rowid) END"
                : "NULL";
  return list;
}



// Reads SelectList() from column `first` = 0 (callers put the sort key after it).
void KeyedDriver::ReadRow(sqlite3_stmt* statement, RowImage& row) const {
  const int fields = static_cast<int>(layout_.FieldCount());
  // Every field is written below; only the bytes between fields keep what they had, zero from
  // when the row was first made (pages of rows are reused read after read).
  if (row.record.size() != layout_.RecordSize()) row.record.assign(layout_.RecordSize(), std::byte{0});
  for (int i = 0; i < fields; ++i)
    ReadField(sqlite3_column_value(statement, i), *layout_.Field(static_cast<std::size_t>(i) + 1), row.record.data());
  int column = fields;
  row.memos.clear();
  for (std::size_t m = 0; m < decl_.memos.size(); ++m, ++column) {
    const char* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    row.memos.emplace_back(text ? text : "", static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
  }
  row.pointer = sqlite3_column_int64(statement, column++);
  row.version = sqlite3_column_int64(statement, column++);
  row.nulls.clear();
  const char* nulls = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
  const int flags = sqlite3_column_bytes(statement, column);
  // Most rows have no null field: their flags stay empty, which says none is null.
  if (nulls && std::memchr(nulls, '1', static_cast<std::size_t>(flags)) != nullptr) {
    for (int i = 0; i < fields; ++i) row.nulls.push_back(i < flags && nulls[i] == '1' ? 1 : 0);
  }
  ++column;
  row.heldElsewhere = sqlite3_column_type(statement, column) != SQLITE_NULL && sqlite3_column_int64(statement, column) != owner_;
}

// Binds fields, memos, _nulls and the keys from parameter `first`; returns the next index.
int KeyedDriver::BindRow(sqlite3_stmt* statement, const RowImage& row, int first) {
  int index = first;
  // A null field keeps the record's value in its column (filters pushed down to SQL compare
  // it as the evaluator does); _nulls says it is null.
  for (std::size_t i = 1; i <= layout_.FieldCount(); ++i, ++index) BindField(statement, index, *layout_.Field(i), row.record.data());
  for (std::size_t m = 0; m < decl_.memos.size(); ++m, ++index) {
    const std::string& memo = m < row.memos.size() ? row.memos[m] : std::string();
    sqlite3_bind_text(statement, index, memo.data(), static_cast<int>(memo.size()), SQLITE_TRANSIENT);
  }
  if (!row.nulls.empty()) {
    std::string flags;
    for (const Byte b : row.nulls) flags.push_back(b ? '1' : '0');
    sqlite3_bind_text(statement, index, flags.data(), static_cast<int>(flags.size()), SQLITE_TRANSIENT);
  }
  ++index;
  for (const KeyDecl& key : decl_.keys) {
    if (!(key.optional && KeyIsEmpty(key, layout_, row.record.data()))) {
      const std::string value = EncodeOrder(OrderOf(key), layout_, row.record.data());
      sqlite3_bind_blob(statement, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    ++index;
  }
  return index;
}

DriverStatus KeyedDriver::DuplicateKeyError() const {
  DriverStatus status = DriverStatus::Error(DupKeyErr);
  const std::string message = sqlite3_errmsg(db_);
  status.driverCode = std::to_string(sqlite3_extended_errcode(db_));
  for (const KeyDecl& key : decl_.keys) {
    if (message.find(keyed::KeyColumnName(key)) != std::string::npos) {
      status.driverText = key.name;
      return status;
    }
  }
  status.driverText = message;
  return status;
}

DriverStatus KeyedDriver::Add(RowImage& row) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  if (insertSql_.empty()) {
    std::string columns, values;
    int index = 1;
    auto add = [&](const std::string& column) {
      columns += (columns.empty() ? "" : ", ") + Quote(column);
      values += (values.empty() ? "?" : ", ?") + std::to_string(index++);
    };
    for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) add(keyed::ColumnName(layout_, i));
    for (const std::string& memo : decl_.memos) add(memo);
    add("_nulls");
    for (const KeyDecl& key : decl_.keys) add(keyed::KeyColumnName(key));
    insertSql_ = "INSERT INTO " + Quote(decl_.label) + "(" + columns + ") VALUES (" + values + ")";
  }
  sqlite3_stmt* statement = Prepare(insertSql_);
  if (!statement) return Fail();
  Use use(statement);
  BindRow(statement, row, 1);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_CONSTRAINT_UNIQUE || sqlite3_extended_errcode(db_) == SQLITE_CONSTRAINT_UNIQUE) return DuplicateKeyError();
  if (rc != SQLITE_DONE) return Fail();
  row.pointer = sqlite3_last_insert_rowid(db_);
  row.version = 1;
  return {};
}

// The _holds row tells readers where to look; the holder's lock on the record's byte says
// whether the hold is alive. A row without its lock is stale (its holder has gone) and cleared.
DriverStatus KeyedDriver::HeldElsewhere(std::int64_t pointer, bool& held) {
  held = false;
  if (holding_ == pointer) return {};
  if (share_.IsHeldElsewhere(pointer)) {
    held = true;
    return {};
  }
  sqlite3_stmt* statement = Prepare("SELECT owner FROM _holds WHERE record = ?1");
  if (!statement) return Fail();
  std::int64_t owner = 0;
  {
    Use use(statement);
    sqlite3_bind_int64(statement, 1, pointer);
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_DONE) return {};
    if (rc != SQLITE_ROW) return Fail();
    owner = sqlite3_column_int64(statement, 0);
  }
  if (owner == owner_ || share_.IsHeldElsewhere(pointer)) {  // taken since the first look
    held = owner != owner_;
    return {};
  }
  // Only that holder's row: a new holder's row, written after its lock, stays. Best effort: a
  // reader that cannot write (read-only, busy) still reads the record.
  if (sqlite3_stmt* clear = Prepare("DELETE FROM _holds WHERE record = ?1 AND owner = ?2")) {
    Use use(clear);
    sqlite3_bind_int64(clear, 1, pointer);
    sqlite3_bind_int64(clear, 2, owner);
    StepToDone(clear);
  }
  return {};
}

DriverStatus KeyedDriver::Put(RowImage& row, bool checkVersion) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  const RecordWrite write(share_, row.pointer, holding_ == row.pointer);
  if (write.Refused()) return DriverStatus::Error(IsHeldErr);
  if (updateSql_.empty()) {
    std::string sets;
    int index = 1;
    auto add = [&](const std::string& column) {
      sets += (sets.empty() ? "" : ", ") + Quote(column) + " = ?" + std::to_string(index++);
    };
    for (std::size_t i = 1; i <= layout_.FieldCount(); ++i) add(keyed::ColumnName(layout_, i));
    for (const std::string& memo : decl_.memos) add(memo);
    add("_nulls");
    for (const KeyDecl& key : decl_.keys) add(keyed::KeyColumnName(key));
    const std::string where = " WHERE rowid = ?" + std::to_string(index) + " AND (?" + std::to_string(index + 1) +
                              " IS NULL OR _version = ?" + std::to_string(index + 1) + ")";
    updateSql_ = "UPDATE " + Quote(decl_.label) + " SET " + sets + ", _version = _version + 1" + where + " RETURNING _version";
  }
  sqlite3_stmt* statement = Prepare(updateSql_);
  if (!statement) return Fail();
  Use use(statement);
  const int next = BindRow(statement, row, 1);
  sqlite3_bind_int64(statement, next, row.pointer);
  if (checkVersion) sqlite3_bind_int64(statement, next + 1, row.version);
  int rc = sqlite3_step(statement);
  if (rc == SQLITE_ROW) {
    const std::int64_t version = sqlite3_column_int64(statement, 0);
    // The change is made on the first step and committed (outside a frame) on the last: only
    // that one says the record is on disk.
    if ((rc = StepToDone(statement)) != SQLITE_DONE) return Fail();
    row.version = version;
    if (holding_ == row.pointer) ReleaseHolds();
    return {};
  }
  if (rc == SQLITE_CONSTRAINT_UNIQUE || sqlite3_extended_errcode(db_) == SQLITE_CONSTRAINT_UNIQUE) return DuplicateKeyError();
  if (rc != SQLITE_DONE) return Fail();
  if (!checkVersion) return DriverStatus::Error(NoRecErr);  // deleted meanwhile
  // Changed meanwhile (89) only while the record is still there: a deleted one has no newer
  // version to show, and 89 would send its writer round re-reading it for ever.
  sqlite3_stmt* exists = Prepare("SELECT 1 FROM " + Quote(decl_.label) + " WHERE rowid = ?1");
  if (!exists) return Fail();
  Use useExists(exists);
  sqlite3_bind_int64(exists, 1, row.pointer);
  const int found = sqlite3_step(exists);
  if (found == SQLITE_ROW) return DriverStatus::Error(RecordChangedErr);
  if (found != SQLITE_DONE) return Fail();
  return DriverStatus::Error(NoRecErr);
}

DriverStatus KeyedDriver::Delete(std::int64_t pointer) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  const RecordWrite write(share_, pointer, holding_ == pointer);
  if (write.Refused()) return DriverStatus::Error(IsHeldErr);
  sqlite3_stmt* statement = Prepare("DELETE FROM " + Quote(decl_.label) + " WHERE rowid = ?1");
  if (!statement) return Fail();
  Use use(statement);
  sqlite3_bind_int64(statement, 1, pointer);
  if (StepToDone(statement) != SQLITE_DONE) return Fail();
  if (sqlite3_changes(db_) == 0) return DriverStatus::Error(NoRecErr);
  if (holding_ == pointer) ReleaseHolds();
  return {};
}

DriverStatus KeyedDriver::Get(std::int64_t pointer, RowImage& row) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  if (!get_) get_ = Prepare("SELECT " + SelectList() + " FROM " + Quote(decl_.label) + " AS t WHERE t.rowid = ?1");
  sqlite3_stmt* statement = get_;
  if (!statement) return Fail();
  Use use(statement);
  sqlite3_bind_int64(statement, 1, pointer);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return DriverStatus::Error(NoRecErr);
  if (rc != SQLITE_ROW) return Fail();
  ReadRow(statement, row);
  row.sortKey.clear();
  return {};
}

DriverStatus KeyedDriver::GetByKey(std::size_t key, const std::string& keyValue, RowImage& row) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  if (key < 1 || key > decl_.keys.size()) return DriverStatus::Error(NoRecErr);
  getByKey_.resize(decl_.keys.size(), nullptr);
  sqlite3_stmt*& statement = getByKey_[key - 1];
  if (!statement) {
    const std::string column = Quote(keyed::KeyColumnName(decl_.keys[key - 1]));
    statement = Prepare("SELECT " + SelectList() + " FROM " + Quote(decl_.label) + " AS t WHERE " + column +
                        " = ?1 ORDER BY " + column + ", t.rowid LIMIT 1");
  }
  if (!statement) return Fail();
  Use use(statement);
  sqlite3_bind_blob(statement, 1, keyValue.data(), static_cast<int>(keyValue.size()), SQLITE_STATIC);
  const int rc = sqlite3_step(statement);
  if (rc == SQLITE_DONE) return DriverStatus::Error(NoRecErr);
  if (rc != SQLITE_ROW) return Fail();
  ReadRow(statement, row);
  row.sortKey = keyValue;
  return {};
}

// ---- Orders that no key serves: one SQL function encodes the fields as a key would ----

void OrderFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
  const RecordLayout& layout = *static_cast<const RecordLayout*>(sqlite3_user_data(context));
  // argv[0]: "field,a|d,c|n;…" ; then one value per part.
  const char* spec = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
  std::vector<std::byte> record(layout.RecordSize(), std::byte{0});
  std::vector<OrderPart> parts;
  for (const char* p = spec; p && *p;) {
    OrderPart part;
    part.field = static_cast<std::size_t>(std::strtoul(p, const_cast<char**>(&p), 10));
    part.ascending = *p == 'a';
    if (*p) ++p;
    part.noCase = *p == 'n';
    if (*p) ++p;
    parts.push_back(part);
  }
  for (std::size_t i = 0; i < parts.size() && static_cast<int>(i) + 1 < argc; ++i)
    if (const FieldLayout* field = layout.Field(parts[i].field)) ReadField(argv[i + 1], *field, record.data());
  const std::string key = EncodeOrder(parts, layout, record.data());
  sqlite3_result_blob(context, key.data(), static_cast<int>(key.size()), SQLITE_TRANSIENT);
}

void KeyedDriver::RegisterOrderFunction() {
  sqlite3_create_function(db_, "qb_order", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, const_cast<RecordLayout*>(&layout_),
                          OrderFunction, nullptr, nullptr);
}

std::string KeyedDriver::SortExpression(const ReadRequest& request) const {
  if (request.key >= 1 && request.key <= decl_.keys.size()) return "t." + Quote(keyed::KeyColumnName(decl_.keys[request.key - 1]));
  if (request.parts.empty()) return {};
  std::string spec, columns;
  for (const OrderPart& part : request.parts) {
    spec += std::to_string(part.field) + (part.ascending ? "a" : "d") + (part.noCase ? "n" : "c");
    columns += ", t." + Quote(keyed::ColumnName(layout_, part.field));
  }
  return "qb_order('" + spec + "'" + columns + ")";
}

DriverStatus KeyedDriver::Read(const ReadRequest& request, std::vector<RowImage>& rows) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  const bool holds = true;
  sqlite3_stmt*& statement = reads_[ReadShape::Of(request)];
  if (!statement) statement = Prepare(ReadSql(request, holds));
  if (!statement) return Fail();
  return ReadRows(statement, request, rows);
}

std::string KeyedDriver::ReadSql(const ReadRequest& request, bool holds) {
  const std::string sort = SortExpression(request);
  const char* less = request.backward ? " < " : " > ";
  const char* direction = request.backward ? " DESC" : "";
  std::string sql = "SELECT " + SelectList(holds) + (sort.empty() ? ", NULL" : ", " + sort) + " FROM " + Quote(decl_.label) +
                    " AS t WHERE 1";
  if (!sort.empty() && request.key >= 1 && decl_.keys[request.key - 1].optional) sql += " AND " + sort + " IS NOT NULL";
  if (!request.from.unbounded) {
    // Past the bound row by (sort key, rowid). Under a unique key only the bound's own key can tie,
    // so the index range alone is asked and that one row is dropped in ReadRows: a per-row test of
    // the rowid would cost every row the scan passes, also those the filter then refuses.
    if (sort.empty()) sql += std::string(" AND t.rowid") + less + "?2";
    else if (UniqueSort(request)) sql += " AND " + sort + (request.backward ? " <= ?1" : " >= ?1");
    else sql += " AND (" + sort + ", t.rowid)" + less + "(?1, ?2)";
  }
  if (!request.high.empty() && !sort.empty()) sql += " AND " + sort + " <= ?4";
  if (!request.low.empty() && !sort.empty()) sql += " AND " + sort + " >= ?5";
  if (request.where) sql += " AND (" + NumberParameters(request.where->text, 6) + ")";
  sql += " ORDER BY " + (sort.empty() ? std::string() : sort + direction + ", ") + "t.rowid" + direction + " LIMIT ?3";
  return sql;
}

DriverStatus KeyedDriver::ReadRows(sqlite3_stmt* statement, const ReadRequest& request, std::vector<RowImage>& rows) {
  Use use(statement);
  if (!request.from.unbounded) {
    sqlite3_bind_blob(statement, 1, request.from.sortKey.data(), static_cast<int>(request.from.sortKey.size()), SQLITE_STATIC);
    sqlite3_bind_int64(statement, 2, request.from.pointer);
  }
  if (!request.high.empty()) sqlite3_bind_blob(statement, 4, request.high.data(), static_cast<int>(request.high.size()), SQLITE_STATIC);
  if (!request.low.empty()) sqlite3_bind_blob(statement, 5, request.low.data(), static_cast<int>(request.low.size()), SQLITE_STATIC);
  if (request.where) {
    int index = 6;
    for (const SqlValue& value : request.where->params) {
      if (const auto* integer = std::get_if<std::int64_t>(&value)) sqlite3_bind_int64(statement, index, *integer);
      else if (const auto* real = std::get_if<double>(&value)) sqlite3_bind_double(statement, index, *real);
      else {
        const std::string& text = std::get<std::string>(value);
        sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
      }
      ++index;
    }
  }
  const int sortColumn = static_cast<int>(layout_.FieldCount() + decl_.memos.size()) + 4;
  // The unique key's bound row, when the range returns it, is not past the bound: one row more is asked.
  const bool dropTie = !request.from.unbounded && UniqueSort(request);
  const std::size_t limit = request.limit + (dropTie ? 1 : 0);
  sqlite3_bind_int64(statement, 3, static_cast<sqlite3_int64>(limit));
  int rc;
  std::size_t count = 0;
  rows.reserve(std::min<std::size_t>(limit, 256));  // no regrowing for a page
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
    if (count == rows.size()) rows.emplace_back();
    RowImage& row = rows[count];
    const void* key = sqlite3_column_blob(statement, sortColumn);
    const auto keySize = static_cast<std::size_t>(sqlite3_column_bytes(statement, sortColumn));
    if (dropTie && count == 0 && std::string_view(static_cast<const char*>(key ? key : ""), keySize) == request.from.sortKey) {
      const std::int64_t pointer = sqlite3_column_int64(statement, sortColumn - 4);
      if (request.backward ? pointer >= request.from.pointer : pointer <= request.from.pointer) continue;
    }
    ReadRow(statement, row);
    row.sortKey.assign(static_cast<const char*>(key ? key : ""), keySize);
    ++count;
  }
  rows.resize(std::min(count, request.limit));
  if (rc != SQLITE_DONE) return Fail();
  for (RowImage& row : rows) {  // a hold of a process that is gone does not count
    if (!row.heldElsewhere) continue;
    bool held = false;
    if (DriverStatus status = HeldElsewhere(row.pointer, held); !status.Ok()) return status;
    row.heldElsewhere = held;
  }
  return {};
}

DriverStatus KeyedDriver::HasDuplicate(std::size_t key, const std::string& keyValue, std::int64_t except, bool& found) {
  found = false;
  if (!db_) return DriverStatus::Error(NotOpenErr);
  if (key < 1 || key > decl_.keys.size()) return {};
  sqlite3_stmt* statement = Prepare("SELECT 1 FROM " + Quote(decl_.label) + " WHERE " +
                                    Quote(keyed::KeyColumnName(decl_.keys[key - 1])) + " = ?1 AND rowid <> ?2 LIMIT 1");
  if (!statement) return Fail();
  Use use(statement);
  sqlite3_bind_blob(statement, 1, keyValue.data(), static_cast<int>(keyValue.size()), SQLITE_STATIC);
  sqlite3_bind_int64(statement, 2, except);
  const int rc = sqlite3_step(statement);
  if (rc != SQLITE_ROW && rc != SQLITE_DONE) return Fail();
  found = rc == SQLITE_ROW;
  return {};
}

DriverStatus KeyedDriver::Records(std::int64_t& count) {
  count = 0;
  if (!db_) return DriverStatus::Error(NotOpenErr);
  sqlite3_stmt* statement = Prepare("SELECT count(*) FROM " + Quote(decl_.label));
  if (!statement) return Fail();
  Use use(statement);
  if (sqlite3_step(statement) != SQLITE_ROW) return Fail();
  count = sqlite3_column_int64(statement, 0);
  return {};
}

// ---- Holds ----

// A hold is the lock on the record's byte (share_lock.h), which the kernel drops with its
// opener; the _holds row only points readers at it.
DriverStatus KeyedDriver::Hold(std::int64_t pointer) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  if (holding_ == pointer) return {};
  if (holding_ != 0) {
    if (DriverStatus status = ReleaseHolds(); !status.Ok()) return status;
  }
  bool locked = false;
  for (int waited = 0; !(locked = share_.TryHoldRecord(pointer)) && waited < kWriteWaitMilliseconds; ++waited) {
    if (!share_.IsBeingWritten(pointer)) break;  // held: no waiting for a holder
    ::usleep(1000);                               // another opener's write lasts one statement
  }
  if (!locked) return DriverStatus::Error(IsHeldErr);
  sqlite3_stmt* take = Prepare(
      "INSERT INTO _holds(record, pid, owner, since) VALUES (?1, ?2, ?3, ?4)"
      " ON CONFLICT(record) DO UPDATE SET pid = excluded.pid, owner = excluded.owner, since = excluded.since");
  if (!take) {
    share_.UnlockRecord(pointer);
    return Fail();
  }
  Use use(take);
  sqlite3_bind_int64(take, 1, pointer);
  sqlite3_bind_int64(take, 2, ::getpid());
  sqlite3_bind_int64(take, 3, owner_);
  sqlite3_bind_int64(take, 4, std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
  if (StepToDone(take) != SQLITE_DONE) {
    DriverStatus status = Fail();
    share_.UnlockRecord(pointer);
    return status;
  }
  holding_ = pointer;
  return {};
}

// The lock goes whatever happens to the row: a row left behind is stale and cleared by readers.
DriverStatus KeyedDriver::ReleaseHolds() {
  if (holding_ == 0) return {};
  DriverStatus status;
  if (db_) {
    sqlite3_stmt* statement = Prepare("DELETE FROM _holds WHERE owner = ?1");
    if (!statement) {
      status = Fail();
    } else {
      Use use(statement);
      sqlite3_bind_int64(statement, 1, owner_);
      if (StepToDone(statement) != SQLITE_DONE) status = Fail();
    }
  }
  share_.UnlockRecord(holding_);
  holding_ = 0;
  return status;
}

// ---- Frames ----

DriverStatus KeyedDriver::BeginFrame(Long timeoutSeconds) {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  sqlite3_busy_timeout(db_, timeoutSeconds > 0 ? timeoutSeconds * 1000 : busyMilliseconds_);
  DriverStatus status = Exec("BEGIN IMMEDIATE");
  sqlite3_busy_timeout(db_, busyMilliseconds_);
  return status;
}

DriverStatus KeyedDriver::Commit() {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  return Exec("COMMIT");
}

DriverStatus KeyedDriver::Rollback() {
  if (!db_) return DriverStatus::Error(NotOpenErr);
  if (sqlite3_get_autocommit(db_)) return {};
  return Exec("ROLLBACK");
}

}  // namespace

std::unique_ptr<Driver> MakeKeyedDriver(const DriverSetup& setup) {
  if (!setup.decl || !setup.decl->layout) return nullptr;
  return std::make_unique<KeyedDriver>(setup);
}

}  // namespace rt
