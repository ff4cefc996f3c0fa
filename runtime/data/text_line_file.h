#pragma once
// A text-line file over the caller's own fixed-size character buffer, for the message and error
// logs, which predate record layouts: a thin user of the ASCII driver (ascii_driver.h), which
// owns the file format. Every operation sets the calling thread's last error (2 not found,
// 3 path not found, 5 access denied, 33 no record, 37 not open, 52 already open, 90 file system
// error with the driver's errno text).

#include <functional>
#include <span>
#include <string>

#include "runtime/core/types.h"
#include "runtime/data/access_mode.h"
#include "runtime/data/ascii_driver.h"

namespace rt {

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
  bool IsOpen() const { return driver_.IsOpen(); }

  // ---- Write ----
  void Add();  // appends the record buffer as one line

  // ---- Read in order ----
  void Set();   // back to the first record
  void Next();  // reads the next line into the record buffer (33 at the end)

 private:
  void Report(const DriverStatus& status);

  std::span<char> record_;
  AsciiDriver driver_;
  OrderBound read_;
};

}  // namespace rt
