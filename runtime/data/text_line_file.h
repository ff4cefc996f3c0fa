#pragma once
// The text-line file driver ("ASCII"): a plain text file of one line per record. The record
// buffer is the caller's fixed-size byte area; a written record is its text without trailing
// blanks followed by CR LF, appended with one write() on an O_APPEND descriptor so that writers
// in other threads and processes never interleave inside a record. A write cut short (a full disk,
// a size limit) is taken back, so that a failed record never damages the next one. Every operation sets the
// calling thread's last error (2 not found, 3 path not found, 5 access denied, 33 no record,
// 37 not open, 52 already open, 90 file system error with the driver's errno text).

#include <functional>
#include <span>
#include <string>

#include "runtime/core/types.h"

namespace rt {

// Access modes: the low nibble is what this opener does, the high nibble what it lets others do.
enum AccessMode : Long {
  ReadOnly = 0x0,
  WriteOnly = 0x1,
  ReadWrite = 0x2,
  DenyAll = 0x10,
  DenyWrite = 0x20,
  DenyRead = 0x30,
  DenyNone = 0x40,
};

inline constexpr char kTextLineDriver[] = "ASCII";

class TextLineFile {
 public:
  // `name` is asked for the file's name each time the file is opened or created.
  TextLineFile(std::function<std::string()> name, std::span<char> record);
  ~TextLineFile();
  TextLineFile(const TextLineFile&) = delete;
  TextLineFile& operator=(const TextLineFile&) = delete;

  // ---- Open and close ----
  void Open(Long mode = ReadWrite | DenyNone);
  // Creates the file empty (an existing one is emptied); leaves it closed.
  void Create();
  // Creates the file empty only if no file has the name yet; one that another
  // writer created in the meantime is kept with everything it holds.
  void CreateIfMissing();
  void Close();
  bool IsOpen() const { return fd_ >= 0; }

  // ---- Write ----
  void Add();  // appends the record buffer as one line

  // ---- Read in order ----
  void Set();   // back to the first record
  void Next();  // reads the next line into the record buffer (33 at the end)

 private:
  bool RequireOpen();
  void ReportSystemError(int error, Long codeForMissing = 2);
  void CreateWith(int extraFlags);
  void TakeBackPartialRecord(std::size_t written);

  std::function<std::string()> name_;
  std::span<char> record_;
  int fd_ = -1;
  Long mode_ = 0;
  long long readOffset_ = 0;
  std::string lineBuffer_;
};

}  // namespace rt
