#pragma once
// The runtime's data file: one instance of a declared file (file_decl.h) over the caller's record
// buffer, with the operations programs call (open, add, put, delete, get, set, next, previous,
// reget, watch, hold, properties, states, callbacks) and transaction frames over several files.
// Owns the instance's driver (driver.h), its cursor and read-ahead page, its saved states and
// its null flags and a copy of the declaration; never owns the record buffer or the layout. Every operation sets the
// calling thread's last error (last_error.h) and runs the registered callbacks around itself.
// A File belongs to the thread that opened it.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/core/types.h"
#include "runtime/data/access_mode.h"
#include "runtime/data/driver.h"
#include "runtime/data/file_decl.h"
#include "runtime/data/row_page.h"

namespace rt {

// ---- Callbacks ----

struct FileCall {
  FileOp op = FileOp::Open;
  bool viaView = false;       // the operation comes through a view
  bool finalRelease = false;  // Release_Instance: the instance goes away for good
  Long property = 0;          // SetProperty/GetProperty: the property number
};

// Called before and after every operation on the file. Returning false from FunctionCalled stops
// the operation with the error that errCode/errMsg hold (a number and a text); returning false
// from FunctionDone turns the outcome into that error. Not owned by the file.
class FileCallback {
 public:
  virtual ~FileCallback() = default;
  virtual bool FunctionCalled(const FileCall& call, std::string& errCode, std::string& errMsg) = 0;
  virtual bool FunctionDone(const FileCall& call, std::string& errCode, std::string& errMsg) = 0;
};

class View;

class File {
 public:
  // `record` is the caller's buffer of the layout's size; it and the layout outlive the file.
  File(const FileDecl& decl, std::span<std::byte> record);
  template <class Record>
  File(const FileDecl& decl, Record& record) : File(decl, std::as_writable_bytes(std::span(&record, 1))) {}
  // Over a driver the caller made (a test's wrapper around the real one).
  File(const FileDecl& decl, std::span<std::byte> record, std::unique_ptr<Driver> driver);
  ~File();
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  // ---- Open and close ----
  void Open(Long mode = ReadWrite | DenyNone);  // 2, 5, 36, 46, 47, 52
  void Create();                                // the file must be closed; leaves it closed
  void CreateIfMissing();                       // as Create, but a file that exists is kept whole
  void Close();
  void Build();                                 // rebuilds the keys (after 46)
  void Send(std::string_view command);          // driver strings: "Recover=10", "QUICKSCAN=on"
  bool IsOpen() const { return open_; }

  // ---- Write ----
  void Add();     // 40 when a unique key would repeat (FileError() names the key)
  void Append();  // as Add
  void Put();     // the record last read; 89 when watched and changed meanwhile, 43 held elsewhere
  void Delete();  // the record last read

  // ---- Read ----
  void Get(std::size_t key);  // the first record whose key `key` has the buffer's key value; 33
  void GetByPointer(std::int64_t pointer);  // 33
  void Reget(std::string_view position);    // by a Position() string; 33
  void Set();                                       // file order, from the start
  void SetPointer(std::int64_t pointer);            // file order, from this record
  void SetKey(std::size_t key);                     // key order, from the start
  // Key order from the buffer's values of the first `components` components.
  void SetKeyValue(std::size_t key, std::size_t components = static_cast<std::size_t>(-1));
  void Next();      // 33 at the end, 43 when another station holds the record (skipped next time)
  void Previous();  // 33 at the start, 43 as Next

  // ---- Watch and hold ----
  void Watch();    // the next read is watched: a later Put fails with 89 if the record changed
  void Hold();     // the next read holds its record for this instance (43 when another holds it)
  void Release();  // gives back this instance's held record

  // ---- Records and keys ----
  std::int64_t Pointer() const { return current_.pointer; }
  // The opaque position of the current record, by key (0: by the file); at most 1024 bytes
  // (a key too wide for that gives the position by the file, which finds the same record).
  static constexpr std::size_t kMaxPosition = 1024;
  std::string Position(std::size_t key = 0) const;
  bool Duplicate(std::size_t key);  // another record has the buffer's value of this key
  // Clears the record buffer: 0 blanks and zeros, 1 each field's highest value, -1 its lowest.
  void ClearRecord(int end = 0);
  // Components low..high (1-based) to the end of their range that comes first (or last, with
  // highEnd) in the key's order.
  void ClearKey(std::size_t key, std::size_t low, std::size_t high, bool highEnd);
  std::int64_t Records();

  // ---- Null flags and memos ----
  bool IsNull(std::size_t field) const;
  void SetNull(std::size_t field, bool null);
  std::string Nulls() const;  // one byte per field, '1' for null
  void SetNulls(std::string_view flags);
  std::string Memo(std::size_t number) const;
  void SetMemo(std::size_t number, std::string_view text);

  // ---- Properties by number (file_decl.h) ----
  std::string Property(Long number, Long index = 0);
  void SetProperty(Long number, std::string_view value, Long index = 0);

  // ---- States ----
  Long GetState();  // a handle to the position, buffer, flags and open state, never 0
  void RestoreState(Long handle);
  void FreeState(Long handle);

  // ---- Callbacks ----
  void AddCallback(FileCallback* callback);  // not owned
  void RemoveCallback(FileCallback* callback);

  // ---- Query ----
  const FileDecl& Decl() const { return decl_; }
  const RecordLayout& Layout() const { return *decl_.layout; }
  std::span<std::byte> Record() const { return record_; }
  std::string FullName() const;

 private:
  friend class View;  // reads the driver a page at a time and loads rows into the buffer
  friend void Logout(Long timeoutSeconds, std::span<File* const> files);
  friend void Commit();
  void CreateFile(bool replace);
  friend void Rollback();

  struct Cursor {
    ReadRequest order;   // key or file order; its `from` is unused
    OrderBound forward;  // where Next continues
    OrderBound backward; // where Previous continues
  };
  struct Current {
    std::int64_t pointer = 0;
    std::int64_t version = 0;
    bool valid = false;
    bool watched = false;
  };
  struct State;

  // Runs the callbacks around `work` and turns its status into the last error.
  void Run(FileCall call, const std::function<DriverStatus()>& work);
  bool Report(const DriverStatus& status);
  void AddAs(FileOp op);
  DriverStatus RequireOpen() const;
  RowImage ImageOfBuffer() const;
  void Load(const RowImage& row);
  DriverStatus ReadStep(bool backward, bool viaView);
  DriverStatus TakeRow(RowImage& row);
  void ResetCursor(ReadRequest order);
  void DropPage() { page_.Drop(); }
  std::size_t PageSize() const;
  bool KeyValid(std::size_t key) const { return key >= 1 && key <= decl_.keys.size(); }

  const FileDecl decl_;  // a copy: callers may build declarations on the fly
  std::span<std::byte> record_;
  std::unique_ptr<Driver> driver_;
  bool open_ = false;
  Long mode_ = 0;
  Cursor cursor_;
  RowPage page_;
  // The page a closed view over this file left: the next view starts with its rows' storage, so
  // a browse opened again does not allocate its rows afresh.
  std::vector<RowImage> spareViewRows_;
  Current current_;
  bool watchNext_ = false;
  bool holdNext_ = false;
  std::vector<Byte> nulls_;
  std::vector<std::string> memos_;
  bool blobChanged_ = false;
  Long mrp_ = 0;
  bool quickScan_ = false;
  bool logout_ = false;
  bool inFrame_ = false;
  std::map<Long, std::string> storedProps_;
  std::map<Long, std::unique_ptr<State>> states_;
  Long nextState_ = 1;
  std::vector<FileCallback*> callbacks_;
};

// ---- Transaction frames ----
// Logout starts one frame over `files` and every file of this thread whose PropLogout is 1,
// waiting up to timeoutSeconds for other writers; 80 when a file's driver cannot frame, 37 when
// one is closed, 5 when the wait runs out. Commit and Rollback end the thread's frame.
void Logout(Long timeoutSeconds, std::span<File* const> files = {});
void Commit();
void Rollback();

}  // namespace rt
