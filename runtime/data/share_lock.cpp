#include "runtime/data/share_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "runtime/core/last_error.h"
#include "runtime/data/access_mode.h"

namespace rt {

namespace {

// One byte per fact: byte 0 serialises openers while they check and take their bytes.
enum : off_t { kGate = 0, kReaders = 1, kWriters = 2, kReadDeniers = 3, kWriteDeniers = 4 };
// Record holds start here; a pointer too large to add is folded back (a far-fetched false 43 at
// worst, never a hold missed).
constexpr off_t kFirstRecord = 16;
off_t RecordByte(std::int64_t pointer) {
  constexpr std::int64_t span = INT64_MAX - kFirstRecord;
  if (pointer < 0) pointer = -(pointer + 1);
  return kFirstRecord + pointer % span;
}

int Lock(int fd, off_t byte, short type, bool wait) {
  struct flock lock {};
  lock.l_type = type;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  return ::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock);
}

// The type of another description's lock that `wanted` would clash with, or F_UNLCK.
short Blocker(int fd, off_t byte, short wanted) {
  struct flock lock {};
  lock.l_type = wanted;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return F_WRLCK;  // unknown: assume the worst
  return lock.l_type;
}

bool Taken(int fd, off_t byte) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = byte;
  lock.l_len = 1;
  if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) return true;
  return lock.l_type != F_UNLCK;
}

}  // namespace

Long ShareLock::Acquire(const std::string& lockPath, Long mode, int& error) {
  Release();
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    error = errno;
    return error == EACCES || error == EROFS ? NoAccessErr : FileSystemErr;
  }
  if (Lock(fd, kGate, F_WRLCK, true) != 0) {
    error = errno;
    ::close(fd);
    return FileSystemErr;
  }
  const bool clash = (ModeReads(mode) && Taken(fd, kReadDeniers)) || (ModeWrites(mode) && Taken(fd, kWriteDeniers)) ||
                     (ModeDeniesRead(mode) && Taken(fd, kReaders)) || (ModeDeniesWrite(mode) && Taken(fd, kWriters));
  bool taken = !clash;
  if (taken && ModeReads(mode)) taken = Lock(fd, kReaders, F_RDLCK, false) == 0;
  if (taken && ModeWrites(mode)) taken = Lock(fd, kWriters, F_RDLCK, false) == 0;
  if (taken && ModeDeniesRead(mode)) taken = Lock(fd, kReadDeniers, F_RDLCK, false) == 0;
  if (taken && ModeDeniesWrite(mode)) taken = Lock(fd, kWriteDeniers, F_RDLCK, false) == 0;
  Lock(fd, kGate, F_UNLCK, false);
  if (!taken) {
    ::close(fd);
    return NoAccessErr;
  }
  fd_ = fd;
  return NoError;
}

bool ShareLock::TryHoldRecord(std::int64_t pointer) {
  return fd_ >= 0 && Lock(fd_, RecordByte(pointer), F_WRLCK, false) == 0;
}

bool ShareLock::TryWriteRecord(std::int64_t pointer) {
  return fd_ >= 0 && Lock(fd_, RecordByte(pointer), F_RDLCK, false) == 0;
}

void ShareLock::UnlockRecord(std::int64_t pointer) {
  if (fd_ >= 0) Lock(fd_, RecordByte(pointer), F_UNLCK, false);
}

bool ShareLock::IsHeldElsewhere(std::int64_t pointer) const {
  return fd_ >= 0 && Blocker(fd_, RecordByte(pointer), F_RDLCK) != F_UNLCK;
}

bool ShareLock::IsBeingWritten(std::int64_t pointer) const {
  return fd_ >= 0 && Blocker(fd_, RecordByte(pointer), F_WRLCK) == F_RDLCK;
}

void ShareLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

}  // namespace rt
