#pragma once
// The driver interface beneath every data file: what a file driver ("KEYED" on SQLite, "ASCII"
// text lines, a server-backed one later) must do, in whole rows. file.h keeps the record
// buffer, the cursor, watches, states and callbacks above it, so a driver knows nothing of them.
// Every operation runs on the thread that owns the file instance and returns a DriverStatus:
// code 0, or a runtime error code with the driver's own code and text (90 carries them).
// Operations a driver cannot do return 80 ("Function Not Supported") by default.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "runtime/core/types.h"
#include "runtime/data/file_decl.h"
#include "runtime/data/key_encoding.h"

namespace rt {

struct DriverStatus {
  Long code = 0;
  std::string text;  // empty: the runtime's standard text for the code
  std::string driverCode;
  std::string driverText;
  bool Ok() const { return code == 0; }
  static DriverStatus Error(Long code, std::string text = {}) { return {code, std::move(text), {}, {}}; }
};

// One record as it travels between a driver and a file.
struct RowImage {
  std::int64_t pointer = 0;  // record pointer: rowid, byte offset, …
  std::int64_t version = 0;  // changes whenever the record is written (0: the driver keeps none)
  std::string sortKey;       // the row's encoding in the order it was read in ("" in file order)
  std::vector<std::byte> record;
  std::vector<Byte> nulls;   // one flag per field; empty: none null
  std::vector<std::string> memos;
  bool heldElsewhere = false;  // another station holds it (reads report 43)
};

// Where a read continues: after (forward) or before (backward) this row of the order.
struct OrderBound {
  bool unbounded = true;  // from the start (forward) or the end (backward)
  std::string sortKey;
  std::int64_t pointer = 0;
};

// SQL a filter pushed down to the driver, with `?` parameters. Unless it is exact, the view
// keeps checking the rows it returns.
using SqlValue = std::variant<std::int64_t, double, std::string>;
struct SqlWhere {
  std::string text;
  std::vector<SqlValue> params;
  bool exact = false;  // selects exactly the rows the filter accepts
};

// How a field is stored where a pushed-down filter can compare it. Such a column never holds
// NULL: it has the record's value, whatever the null flags say.
struct StoredColumn {
  // Text: without trailing blanks, in byte order; PaddedText: as written, which may end in blanks.
  enum class Kind { Integer, Real, Text, PaddedText };
  enum class Engine { SQLite, Postgres };  // whose SQL compares it
  std::string name;                          // the column's name, unquoted
  Kind kind = Kind::Text;
  Engine engine = Engine::SQLite;
};

struct ReadRequest {
  std::size_t key = 0;          // 1-based key; 0: file order, or `parts` when not empty
  std::vector<OrderPart> parts;  // an order of fields not served by a key (views)
  OrderBound from;
  bool backward = false;
  std::size_t limit = 1;
  std::string low, high;         // only rows whose sort key lies within (either "": no limit)
  const SqlWhere* where = nullptr;
};

class Driver {
 public:
  virtual ~Driver() = default;

  // ---- Open and close ----
  // 2 missing, 5 denied by another opener's mode, 36 not a data file, 47 a layout that does not
  // match the file's, 46 keys that must be built before the file can be used.
  virtual DriverStatus Open(Long mode) = 0;
  virtual DriverStatus Create() = 0;  // an empty file; an existing one is emptied
  // An empty file only where none is yet: one that another creator made meanwhile is kept whole.
  virtual DriverStatus CreateIfMissing() { return DriverStatus::Error(80); }
  virtual DriverStatus Close() = 0;
  virtual DriverStatus Build() { return DriverStatus::Error(80); }  // rebuild every key
  // Driver strings ("Recover=10", "QUICKSCAN=on"). Unknown ones are accepted and ignored.
  virtual DriverStatus Send(std::string_view /*command*/) { return {}; }

  // ---- Write ----
  // Add fills row.pointer and row.version; 40 names the key in the status text.
  virtual DriverStatus Add(RowImage& row) = 0;
  // With checkVersion, 89 when the stored version is no longer row.version; fills the new one.
  virtual DriverStatus Put(RowImage& /*row*/, bool /*checkVersion*/) { return DriverStatus::Error(80); }
  virtual DriverStatus Delete(std::int64_t /*pointer*/) { return DriverStatus::Error(80); }

  // ---- Read ----
  virtual DriverStatus Get(std::int64_t pointer, RowImage& row) = 0;  // 33 when there is none
  // The first row (in record order) whose key `key` equals keyValue; 33 when none.
  virtual DriverStatus GetByKey(std::size_t /*key*/, const std::string& /*keyValue*/, RowImage& /*row*/) {
    return DriverStatus::Error(80);
  }
  // Up to request.limit rows in order after request.from; fewer (or none) at the end. Fills
  // `rows` from the start, reusing the storage of the rows it holds, and resizes it to the rows read.
  virtual DriverStatus Read(const ReadRequest& request, std::vector<RowImage>& rows) = 0;
  // Whether a row other than `except` has this key value.
  virtual DriverStatus HasDuplicate(std::size_t /*key*/, const std::string& /*keyValue*/, std::int64_t /*except*/,
                                    bool& /*found*/) {
    return DriverStatus::Error(80);
  }
  virtual DriverStatus Records(std::int64_t& count) = 0;

  // ---- Holds: visible to every process; 43 when another station holds the record ----
  virtual DriverStatus Hold(std::int64_t /*pointer*/) { return DriverStatus::Error(80); }
  virtual DriverStatus ReleaseHolds() { return {}; }

  // ---- Transaction frames ----
  virtual bool CanFrame() const { return false; }
  virtual DriverStatus BeginFrame(Long /*timeoutSeconds*/) { return DriverStatus::Error(80); }
  virtual DriverStatus Commit() { return DriverStatus::Error(80); }
  virtual DriverStatus Rollback() { return DriverStatus::Error(80); }

  // ---- Query ----
  virtual std::string FullName() const = 0;  // the name on disk, with the default extension
  // The file's name as it may be shown and logged (a server driver leaves out a password).
  virtual std::string ShownName(const std::string& name) const { return name; }
  virtual bool KeepsVersions() const { return false; }  // watch (89) works
  // Where filters may compare field `field` (1-based) in Read's `where`; none: not pushed down.
  virtual std::optional<StoredColumn> ColumnOf(std::size_t /*field*/) const { return std::nullopt; }
};

// What a driver is made from: the declaration (outlives the driver) and the name on disk, asked
// for at each open and create.
struct DriverSetup {
  const FileDecl* decl = nullptr;
  std::function<std::string()> name;
};

// The driver that the declaration names; null when no driver has that name.
std::unique_ptr<Driver> MakeDriver(const DriverSetup& setup);

// Each driver's factory (keyed_driver.cpp, ascii_driver.cpp).
std::unique_ptr<Driver> MakeKeyedDriver(const DriverSetup& setup);
std::unique_ptr<Driver> MakeAsciiDriver(const DriverSetup& setup);

}  // namespace rt
