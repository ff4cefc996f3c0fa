#pragma once
// The text-line driver ("ASCII"): a plain text file of one line per record. A written record is
// its text without trailing blanks followed by CR LF, appended with one write() on an O_APPEND
// descriptor so that writers in other threads and processes never interleave inside a record. A
// write cut short (a full disk, a size limit) is taken back, so a failed record never damages the next.
// The record pointer is the byte offset of the line. It reads forward in file order only;
// keys, puts, deletes, holds and transaction frames are not supported (80).
// Owns its descriptor; calls the platform layer for paths.

#include <string>
#include <string_view>

#include "runtime/data/driver.h"

namespace rt {

class AsciiDriver final : public Driver {
 public:
  // `recordSize` bytes per record; `name` is asked for at each open and create.
  AsciiDriver(std::function<std::string()> name, std::size_t recordSize);
  ~AsciiDriver() override;
  AsciiDriver(const AsciiDriver&) = delete;
  AsciiDriver& operator=(const AsciiDriver&) = delete;

  // ---- Open and close ----
  DriverStatus Open(Long mode) override;
  DriverStatus Create() override;
  // Creates the file empty only when no file has the name yet; one that another writer
  // created meanwhile is kept with everything it holds.
  DriverStatus CreateIfMissing() override;
  DriverStatus Close() override;
  bool IsOpen() const { return fd_ >= 0; }

  // ---- Write and read ----
  DriverStatus Add(RowImage& row) override;
  // Appends a record given as its bytes, without learning where it went (the logs' writer).
  DriverStatus AppendLine(std::string_view record);
  DriverStatus Get(std::int64_t pointer, RowImage& row) override;
  DriverStatus Read(const ReadRequest& request, std::vector<RowImage>& rows) override;
  DriverStatus Records(std::int64_t& count) override;

  std::string FullName() const override { return name_(); }

 private:
  DriverStatus CreateWith(int extraFlags);
  void TakeBackPartialRecord(std::size_t written);
  void RestoreShareLock();
  // The line at `offset` into row (33 at the end); `next` receives the offset after it.
  DriverStatus ReadLine(std::int64_t offset, RowImage& row, std::int64_t& next);

  std::function<std::string()> name_;
  std::size_t recordSize_;
  int fd_ = -1;
  Long mode_ = 0;
  std::string lineBuffer_;
};

}  // namespace rt
