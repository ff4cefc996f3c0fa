#include "runtime/platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include "runtime/core/last_error.h"

namespace rt::platform {

namespace {

class UniqueFd {
 public:
  explicit UniqueFd(int fd = -1) : fd_(fd) {}
  ~UniqueFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int Get() const { return fd_; }
  bool IsValid() const { return fd_ >= 0; }
  // Closes now so that the caller sees the error (a delayed write error shows up here).
  bool Close() { return ::close(std::exchange(fd_, -1)) == 0; }

 private:
  int fd_;
};

// A temporary file that is removed unless it was renamed into place.
class TemporaryFile {
 public:
  explicit TemporaryFile(std::string path) : path_(std::move(path)) {}
  ~TemporaryFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  TemporaryFile(const TemporaryFile&) = delete;
  TemporaryFile& operator=(const TemporaryFile&) = delete;
  const std::string& Path() const { return path_; }
  void Release() { path_.clear(); }

 private:
  std::string path_;
};

// The errno of the step that failed.
struct Failure {
  int error = 0;
  bool creating = false;  // ENOENT while creating can only mean a missing directory
};

void ReportFailure(const Failure& failure) {
  Long code = FileSystemErr;
  switch (failure.error) {
    case ENOENT: code = failure.creating ? NoPathErr : NoFileErr; break;
    case ENOTDIR: code = NoPathErr; break;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: code = NoAccessErr; break;
    default: break;
  }
  SetError(code);
  SetFileError(std::to_string(failure.error), std::strerror(failure.error));
}

// flock excludes other open file descriptions, which covers our own threads too; the mutex also
// covers file systems where flock falls back to per-process locks. One mutex for all files:
// settings writes are rare and short.
std::mutex& ProcessWriteMutex() {
  static std::mutex mutex;
  return mutex;
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(path, flags | O_CLOEXEC, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

// Reads all of `fd`; false with errno set on failure.
bool ReadAll(int fd, std::string& text) {
  char chunk[65536];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (got == 0) return true;
    text.append(chunk, static_cast<std::size_t>(got));
  }
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t written = ::write(fd, text.data(), text.size());
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Through a symbolic link we replace the target, so the link survives.
std::filesystem::path WrittenPath(const std::filesystem::path& path) {
  std::error_code error;
  if (!std::filesystem::is_symlink(path, error)) return path;
  std::filesystem::path target = std::filesystem::canonical(path, error);
  return error ? path : target;
}

std::string UniqueTemporaryName(const std::filesystem::path& path) {
  static std::atomic<unsigned> counter{0};
  return path.string() + "." + std::to_string(::getpid()) + "." + std::to_string(++counter) + ".tmp";
}

// The new text in a temporary next to `path`, flushed to disk, then renamed over it.
std::optional<Failure> Replace(const std::filesystem::path& path, std::string_view text,
                               std::optional<mode_t> mode) {
  std::string name;
  int raw;
  do {
    name = UniqueTemporaryName(path);
    raw = OpenRetrying(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0666);
  } while (raw < 0 && errno == EEXIST);
  if (raw < 0) return Failure{errno, true};
  UniqueFd fd(raw);
  TemporaryFile temporary(std::move(name));
  if (mode && ::fchmod(fd.Get(), *mode) != 0) return Failure{errno};
  if (!WriteAll(fd.Get(), text)) return Failure{errno};
  if (::fsync(fd.Get()) != 0) return Failure{errno};
  if (!fd.Close()) return Failure{errno};
  if (::rename(temporary.Path().c_str(), path.c_str()) != 0) return Failure{errno};
  temporary.Release();
  // Make the rename itself durable; a file system that cannot sync a directory still renamed.
  std::filesystem::path directory = path.parent_path();
  if (directory.empty()) directory = ".";
  const UniqueFd dir(OpenRetrying(directory.c_str(), O_RDONLY | O_DIRECTORY));
  if (dir.IsValid()) ::fsync(dir.Get());
  return std::nullopt;
}

std::optional<Failure> RewriteLocked(const std::filesystem::path& path,
                                     const std::function<std::string(std::string_view)>& edit) {
  std::string current;
  std::optional<mode_t> mode;
  const UniqueFd in(OpenRetrying(path.c_str(), O_RDONLY));
  if (in.IsValid()) {
    struct stat status {};
    if (::fstat(in.Get(), &status) != 0) return Failure{errno};
    if (S_ISDIR(status.st_mode)) return Failure{EISDIR};
    if (!ReadAll(in.Get(), current)) return Failure{errno};
    mode = status.st_mode & 07777;
  } else if (errno != ENOENT) {
    return Failure{errno};
  }
  const std::string next = edit(current);
  if (next == current) return std::nullopt;  // nothing to write; a missing file stays missing
  return Replace(path, next, mode);
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::filesystem::path& path) {
  const UniqueFd fd(OpenRetrying(path.c_str(), O_RDONLY));
  if (!fd.IsValid()) return std::nullopt;
  struct stat status {};
  if (::fstat(fd.Get(), &status) != 0 || S_ISDIR(status.st_mode)) return std::nullopt;
  std::string text;
  if (!ReadAll(fd.Get(), text)) return std::nullopt;
  return text;
}

bool RewriteFile(const std::filesystem::path& requested, const std::function<std::string(std::string_view)>& edit) {
  const std::filesystem::path path = WrittenPath(requested);
  const std::lock_guard<std::mutex> processLock(ProcessWriteMutex());
  const std::string lockName = path.string() + ".lock";
  const UniqueFd lock(OpenRetrying(lockName.c_str(), O_RDWR | O_CREAT, 0666));
  if (!lock.IsValid()) {
    ReportFailure(Failure{errno, true});
    return false;
  }
  int locked;
  do locked = ::flock(lock.Get(), LOCK_EX);
  while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    ReportFailure(Failure{errno});
    return false;
  }
  // The lock file is never removed: removing it would let a waiter lock a file nobody else sees.
  if (const std::optional<Failure> failure = RewriteLocked(path, edit)) {
    ReportFailure(*failure);
    return false;
  }
  ClearError();
  return true;
}

}  // namespace rt::platform
