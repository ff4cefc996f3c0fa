#include "runtime/data/ascii_driver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <string>

#include "runtime/core/last_error.h"
#include "runtime/core/text.h"
#include "runtime/data/access_mode.h"
#include "runtime/platform/platform.h"

namespace rt {

namespace {

Long CodeForErrno(int error) {
  switch (error) {
    case ENOENT: return NoFileErr;
    case ENOTDIR: return NoPathErr;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case EWOULDBLOCK: return NoAccessErr;
    default: return FileSystemErr;
  }
}

DriverStatus SystemError(int error, Long codeForMissing = NoFileErr) {
  DriverStatus status = DriverStatus::Error(error == ENOENT ? codeForMissing : CodeForErrno(error));
  status.driverCode = std::to_string(error);
  status.driverText = std::strerror(error);
  return status;
}

int OpenFlags(Long mode) {
  switch (mode & 0x0F) {
    case WriteOnly: return O_WRONLY;
    case ReadWrite: return O_RDWR;
    default: return O_RDONLY;
  }
}

// Deny modes become advisory locks, so that our own openers in other processes honour them.
int LockFor(Long mode) {
  const Long share = mode & 0xF0;
  return share == DenyAll || share == DenyWrite ? LOCK_EX : LOCK_SH;
}

// How often a writer tries for the exclusive lock it needs to take back a partial record (1 ms apart).
constexpr int kTakeBackAttempts = 50;

}  // namespace

std::unique_ptr<Driver> MakeAsciiDriver(const DriverSetup& setup) {
  const std::size_t size = setup.decl && setup.decl->layout ? setup.decl->layout->RecordSize() : 0;
  return std::make_unique<AsciiDriver>(setup.name, size);
}

AsciiDriver::AsciiDriver(std::function<std::string()> name, std::size_t recordSize)
    : name_(std::move(name)), recordSize_(recordSize) {}

AsciiDriver::~AsciiDriver() {
  if (fd_ >= 0) ::close(fd_);
}

DriverStatus AsciiDriver::Open(Long mode) {
  if (fd_ >= 0) return DriverStatus::Error(IsOpenErr);
  const std::string path = platform::NativePathText(name_());
  const int fd = ::open(path.c_str(), OpenFlags(mode) | O_APPEND | O_CLOEXEC);
  if (fd < 0) return SystemError(errno);
  if (::flock(fd, LockFor(mode) | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return SystemError(error);
  }
  fd_ = fd;
  mode_ = mode;
  return {};
}

DriverStatus AsciiDriver::Create() { return CreateWith(O_TRUNC); }

DriverStatus AsciiDriver::CreateIfMissing() { return CreateWith(O_EXCL); }

DriverStatus AsciiDriver::CreateWith(int extraFlags) {
  if (fd_ >= 0) return DriverStatus::Error(IsOpenErr);
  const std::string path = platform::NativePathText(name_());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | extraFlags | O_CLOEXEC, 0666);
  if (fd < 0 && !(errno == EEXIST && (extraFlags & O_EXCL))) {
    return SystemError(errno, NoPathErr);  // creating: a missing name can only be a missing directory
  }
  if (fd >= 0) ::close(fd);
  return {};
}

DriverStatus AsciiDriver::Close() {
  if (fd_ < 0) return DriverStatus::Error(NotOpenErr);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) return SystemError(errno);
  return {};
}

DriverStatus AsciiDriver::Add(RowImage& row) {
  const DriverStatus status =
      AppendLine(std::string_view(reinterpret_cast<const char*>(row.record.data()), row.record.size()));
  if (!status.Ok()) return status;
  // With O_APPEND the descriptor's offset now ends our own line, whoever else appended.
  row.pointer = static_cast<std::int64_t>(::lseek(fd_, 0, SEEK_CUR)) - static_cast<std::int64_t>(lineBuffer_.size());
  return {};
}

DriverStatus AsciiDriver::AppendLine(std::string_view record) {
  if (fd_ < 0) return DriverStatus::Error(NotOpenErr);
  if (!ModeWrites(mode_)) return DriverStatus::Error(NoAccessErr);
  const std::string_view text = Clip(record);
  std::string& line = lineBuffer_;  // kept: a log entry is written on every message
  line.assign(text).append("\r\n");
  ssize_t written;
  do {
    written = ::write(fd_, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) return SystemError(errno);
  if (static_cast<std::size_t>(written) != line.size()) {
    // A full disk or a size limit cut the record short. The rest is not written after it: another
    // writer may have appended in between. Take the piece back, so the next record starts a line.
    TakeBackPartialRecord(static_cast<std::size_t>(written));
    return SystemError(ENOSPC);
  }
  return {};
}

void AsciiDriver::TakeBackPartialRecord(std::size_t written) {
  const off_t end = ::lseek(fd_, 0, SEEK_CUR);  // O_APPEND left the offset after our piece
  if (end < 0 || static_cast<std::size_t>(end) < written) return;
  const off_t start = end - static_cast<off_t>(written);
  // Other writers append under a shared lock; an exclusive one means none is in the middle of a
  // write, and an unchanged size that nobody appended after our piece, so cutting it loses nothing.
  // Linux changes a flock by dropping the old lock first, also when the new one is refused: the
  // opener's own lock is taken again after every attempt, or a deny-all opener would get in.
  bool cut = false;
  for (int attempt = 0; attempt < kTakeBackAttempts && !cut; ++attempt) {
    const bool exclusive = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    if (exclusive) {
      struct stat status;
      cut = ::fstat(fd_, &status) == 0 && status.st_size == end && ::ftruncate(fd_, start) == 0;
    }
    RestoreShareLock();
    if (exclusive && !cut) break;  // somebody appended after the piece: end its line instead
    if (!exclusive) ::usleep(1000);
  }
  if (!cut) {
    // Best effort: with the piece's line ended, the next record at least starts a line of its own.
    [[maybe_unused]] const ssize_t ended = ::write(fd_, "\r\n", 2);
  }
}

void AsciiDriver::RestoreShareLock() {
  // Between the drop and now only another writer's brief exclusive lock should be in the way:
  // wait it out, but never for ever (a log entry must not hang its program).
  for (int attempt = 0; attempt < kTakeBackAttempts; ++attempt) {
    if (::flock(fd_, LockFor(mode_) | LOCK_NB) == 0) return;
    ::usleep(1000);
  }
}

DriverStatus AsciiDriver::ReadLine(std::int64_t offset, RowImage& row, std::int64_t& next) {
  if (fd_ < 0) return DriverStatus::Error(NotOpenErr);
  if (!ModeReads(mode_)) return DriverStatus::Error(NoAccessErr);
  // Only what the record can hold is kept (and the two bytes that may end the line); a longer
  // line is passed over, so a line of any length costs no more memory than a record.
  const std::size_t keep = recordSize_ + 2;
  std::string line;
  std::int64_t length = 0;
  char chunk[4096];
  bool ended = false;
  while (!ended) {
    const ssize_t got = ::pread(fd_, chunk, sizeof chunk, offset + length);
    if (got < 0) return SystemError(errno);
    if (got == 0) break;
    const char* newline = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<std::size_t>(got)));
    const std::size_t take = newline ? static_cast<std::size_t>(newline - chunk) + 1 : static_cast<std::size_t>(got);
    if (line.size() < keep) line.append(chunk, std::min(take, keep - line.size()));
    length += static_cast<std::int64_t>(take);
    ended = newline != nullptr;
  }
  if (length == 0) return DriverStatus::Error(NoRecErr);
  next = offset + length;
  if (static_cast<std::size_t>(length) <= keep) {  // the whole line is here: drop its end
    if (!line.empty() && line.back() == '\n') line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
  }
  const std::string_view fit = Utf8Prefix(line, recordSize_);
  row = RowImage{};
  row.pointer = offset;
  row.record.assign(recordSize_, std::byte{' '});
  std::memcpy(row.record.data(), fit.data(), fit.size());
  return {};
}

DriverStatus AsciiDriver::Get(std::int64_t pointer, RowImage& row) {
  std::int64_t next = 0;
  if (pointer < 0) return DriverStatus::Error(NoRecErr);
  return ReadLine(pointer, row, next);
}

DriverStatus AsciiDriver::Read(const ReadRequest& request, std::vector<RowImage>& rows) {
  if (request.backward || request.key != 0 || !request.parts.empty() || request.where) return DriverStatus::Error(80);
  rows.clear();
  std::int64_t offset = 0;
  RowImage row;
  // Continue after the line holding the bound; a bound before the first line (a view reset to
  // the first row's position) reads from the start.
  if (!request.from.unbounded && request.from.pointer >= 0) {
    const DriverStatus skipped = ReadLine(request.from.pointer, row, offset);
    if (skipped.code == NoRecErr) return {};
    if (!skipped.Ok()) return skipped;
  }
  while (rows.size() < request.limit) {
    std::int64_t next = 0;
    const DriverStatus status = ReadLine(offset, row, next);
    if (status.code == NoRecErr) break;
    if (!status.Ok()) return status;
    rows.push_back(std::move(row));
    offset = next;
  }
  return {};
}

DriverStatus AsciiDriver::Records(std::int64_t& count) {
  count = 0;
  std::int64_t offset = 0, next = 0;
  RowImage row;
  for (;;) {
    const DriverStatus status = ReadLine(offset, row, next);
    if (status.code == NoRecErr) return {};
    if (!status.Ok()) return status;
    ++count;
    offset = next;
  }
}

}  // namespace rt
