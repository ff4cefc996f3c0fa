#include "runtime/data/text_line_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "runtime/core/last_error.h"
#include "runtime/core/text.h"
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

TextLineFile::TextLineFile(std::function<std::string()> name, std::span<char> record)
    : name_(std::move(name)), record_(record) {}

TextLineFile::~TextLineFile() {
  if (fd_ >= 0) ::close(fd_);
}

void TextLineFile::ReportSystemError(int error, Long codeForMissing) {
  const Long code = error == ENOENT ? codeForMissing : CodeForErrno(error);
  SetError(code);
  SetFileError(std::to_string(error), std::strerror(error));
}

void TextLineFile::Open(Long mode) {
  if (fd_ >= 0) {
    SetError(IsOpenErr);
    return;
  }
  const std::string path = platform::NativePathText(name_());
  const int fd = ::open(path.c_str(), OpenFlags(mode) | O_APPEND | O_CLOEXEC);
  if (fd < 0) {
    ReportSystemError(errno);
    return;
  }
  if (::flock(fd, LockFor(mode) | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    ReportSystemError(error);
    return;
  }
  fd_ = fd;
  mode_ = mode;
  readOffset_ = 0;
  ClearError();
}

void TextLineFile::Create() { CreateWith(O_TRUNC); }

void TextLineFile::CreateIfMissing() { CreateWith(O_EXCL); }

void TextLineFile::CreateWith(int extraFlags) {
  if (fd_ >= 0) {
    SetError(IsOpenErr);
    return;
  }
  const std::string path = platform::NativePathText(name_());
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | extraFlags | O_CLOEXEC, 0666);
  if (fd < 0 && !(errno == EEXIST && (extraFlags & O_EXCL))) {
    ReportSystemError(errno, NoPathErr);  // creating: a missing name can only be a missing directory
    return;
  }
  if (fd >= 0) ::close(fd);
  ClearError();
}

void TextLineFile::Close() {
  if (!RequireOpen()) return;
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    ReportSystemError(errno);
    return;
  }
  ClearError();
}

bool TextLineFile::RequireOpen() {
  if (fd_ >= 0) return true;
  SetError(NotOpenErr);
  return false;
}

void TextLineFile::Add() {
  if (!RequireOpen()) return;
  if ((mode_ & 0x0F) == ReadOnly) {
    SetError(NoAccessErr);
    return;
  }
  const std::string_view text = Clip(std::string_view(record_.data(), record_.size()));
  std::string& line = lineBuffer_;  // kept: a log entry is written on every message
  line.assign(text).append("\r\n");
  ssize_t written;
  do {
    written = ::write(fd_, line.data(), line.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) {
    ReportSystemError(errno);
    return;
  }
  if (static_cast<std::size_t>(written) != line.size()) {
    // A full disk or a size limit cut the record short. The rest is not written after it: another
    // writer may have appended in between. Take the piece back, so the next record starts a line.
    TakeBackPartialRecord(static_cast<std::size_t>(written));
    ReportSystemError(ENOSPC);
    return;
  }
  ClearError();
}

void TextLineFile::TakeBackPartialRecord(std::size_t written) {
  const off_t end = ::lseek(fd_, 0, SEEK_CUR);  // O_APPEND left the offset after our piece
  if (end < 0 || static_cast<std::size_t>(end) < written) return;
  const off_t start = end - static_cast<off_t>(written);
  // Other writers append under a shared lock; an exclusive one means none is in the middle of a
  // write, and an unchanged size that nobody appended after our piece, so cutting it loses nothing.
  bool cut = false;
  for (int attempt = 0; attempt < kTakeBackAttempts && !cut; ++attempt) {
    if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) {
      struct stat status;
      cut = ::fstat(fd_, &status) == 0 && status.st_size == end && ::ftruncate(fd_, start) == 0;
      ::flock(fd_, LockFor(mode_) | LOCK_NB);
      if (!cut) break;  // somebody appended after the piece: end its line instead
    } else {
      ::usleep(1000);
    }
  }
  if (!cut) {
    // Best effort: with the piece's line ended, the next record at least starts a line of its own.
    [[maybe_unused]] const ssize_t ended = ::write(fd_, "\r\n", 2);
  }
}

void TextLineFile::Set() {
  if (!RequireOpen()) return;
  readOffset_ = 0;
  ClearError();
}

void TextLineFile::Next() {
  if (!RequireOpen()) return;
  if ((mode_ & 0x0F) == WriteOnly) {
    SetError(NoAccessErr);
    return;
  }
  std::string line;
  char chunk[4096];
  bool ended = false;
  while (!ended) {
    const ssize_t got = ::pread(fd_, chunk, sizeof chunk, readOffset_ + static_cast<long long>(line.size()));
    if (got < 0) {
      ReportSystemError(errno);
      return;
    }
    if (got == 0) break;
    const char* newline = static_cast<const char*>(std::memchr(chunk, '\n', static_cast<std::size_t>(got)));
    const std::size_t take = newline ? static_cast<std::size_t>(newline - chunk) + 1 : static_cast<std::size_t>(got);
    line.append(chunk, take);
    ended = newline != nullptr;
  }
  if (line.empty()) {
    SetError(NoRecErr);
    return;
  }
  readOffset_ += static_cast<long long>(line.size());
  if (!line.empty() && line.back() == '\n') line.pop_back();
  if (!line.empty() && line.back() == '\r') line.pop_back();
  const std::string_view fit = Utf8Prefix(line, record_.size());
  std::memcpy(record_.data(), fit.data(), fit.size());
  std::memset(record_.data() + fit.size(), ' ', record_.size() - fit.size());
  ClearError();
}

}  // namespace rt
