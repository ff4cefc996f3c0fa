// The central copy's spool file: its record format and its locking protocol (central_spool.h).
#include "msglog/central_spool.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace msglog {

namespace {

// A record: magic, payload length and CRC-32 of the payload (little-endian), then the payload:
// each field as a 4-byte length and its bytes. The magic lets a reader find the next record
// after a torn one.
constexpr char kMagic[4] = {'Q', 'S', 'R', '1'};
constexpr std::size_t kHeaderSize = 12;
constexpr std::uint32_t kMaxPayload = 1u << 20;

}  // namespace

std::uint32_t Crc32(std::string_view bytes) {
  static const std::array<std::uint32_t, 256> table = [] {
    std::array<std::uint32_t, 256> t{};
    for (std::uint32_t i = 0; i < 256; ++i) {
      std::uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char ch : bytes) crc = table[(crc ^ static_cast<unsigned char>(ch)) & 0xFF] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFu;
}

namespace {

void PutU32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

std::uint32_t GetU32(std::string_view bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 0; i < 4; ++i) value |= std::uint32_t{static_cast<unsigned char>(bytes[at + i])} << (8 * i);
  return value;
}

void PutField(std::string& out, std::string_view field) {
  PutU32(out, static_cast<std::uint32_t>(field.size()));
  out.append(field);
}

bool GetField(std::string_view payload, std::size_t& at, std::string& field) {
  if (payload.size() - at < 4) return false;
  const std::uint32_t size = GetU32(payload, at);
  at += 4;
  if (payload.size() - at < size) return false;
  field.assign(payload.substr(at, size));
  at += size;
  return true;
}

bool DecodePayload(std::string_view payload, SpoolRecord& record) {
  std::size_t at = 0;
  std::string process;
  if (!GetField(payload, at, record.id) || !GetField(payload, at, record.program) ||
      !GetField(payload, at, process) || !GetField(payload, at, record.entry) || at != payload.size())
    return false;
  char* end = nullptr;
  record.process = std::strtoll(process.c_str(), &end, 10);
  return !process.empty() && *end == '\0';
}

bool SameFile(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// Whether `fd` is still the file named `path` (a sender has not renamed it away).
bool IsNamed(int fd, const std::string& path) {
  struct stat open {}, named {};
  return ::fstat(fd, &open) == 0 && ::stat(path.c_str(), &named) == 0 && SameFile(open, named);
}

int Errno() { return errno != 0 ? errno : EIO; }

}  // namespace

std::string EncodeSpoolRecord(const SpoolRecord& record) {
  std::string payload;
  payload.reserve(32 + record.id.size() + record.program.size() + record.entry.size());
  PutField(payload, record.id);
  PutField(payload, record.program);
  PutField(payload, std::to_string(record.process));
  PutField(payload, record.entry);
  std::string out(kMagic, sizeof kMagic);
  PutU32(out, static_cast<std::uint32_t>(payload.size()));
  PutU32(out, Crc32(payload));
  return out + payload;
}

SpoolContents DecodeSpool(std::string_view bytes) {
  SpoolContents contents;
  std::size_t at = 0;
  const std::string_view magic(kMagic, sizeof kMagic);
  while (at < bytes.size()) {
    if (bytes.size() - at >= kHeaderSize && bytes.substr(at, 4) == magic) {
      const std::uint32_t size = GetU32(bytes, at + 4);
      if (size <= kMaxPayload && bytes.size() - at - kHeaderSize >= size) {
        const std::string_view payload = bytes.substr(at + kHeaderSize, size);
        SpoolRecord record;
        if (Crc32(payload) == GetU32(bytes, at + 8) && DecodePayload(payload, record)) {
          contents.records.push_back(std::move(record));
          at += kHeaderSize + size;
          continue;
        }
      }
    }
    // Torn or garbled: skip to the next place a record may start.
    std::size_t next = bytes.find(magic, at + 1);
    if (next == std::string_view::npos) next = bytes.size();
    contents.damagedBytes += next - at;
    at = next;
  }
  return contents;
}

namespace {

bool RandomBytes(unsigned char* bytes, std::size_t size) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::getrandom(bytes + got, size - got, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::string UuidText(unsigned char (&bytes)[16]) {
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string id;
  id.reserve(36);
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id.push_back('-');
    id.push_back(kHex[bytes[i] >> 4]);
    id.push_back(kHex[bytes[i] & 0x0F]);
  }
  return id;
}

std::string NewEntryId() {
  unsigned char bytes[16];
  return RandomBytes(bytes, sizeof bytes) ? UuidText(bytes) : "";
}

EntryIds::EntryIds() : valid_(RandomBytes(prefix_, sizeof prefix_)) {}

std::string EntryIds::Next() {
  if (!valid_) return "";
  // The count fills the low bytes, past the UUID's version and variant bits.
  const std::uint64_t count = count_.fetch_add(1, std::memory_order_relaxed);
  unsigned char bytes[16];
  std::memcpy(bytes, prefix_, sizeof prefix_);
  for (int i = 0; i < 8; ++i) bytes[8 + i] = static_cast<unsigned char>(count >> (8 * (7 - i)));
  return UuidText(bytes);
}

int SyncSpool(const std::string& spoolPath) {
  const int fd = ::open(spoolPath.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? 0 : Errno();
  const int error = ::fdatasync(fd) == 0 ? 0 : Errno();
  ::close(fd);
  return error;
}

// ---- SpoolWriter ----

SpoolWriter::~SpoolWriter() {
  if (fd_ >= 0) ::close(fd_);
}

int SpoolWriter::OpenLocked() {
  for (;;) {
    if (fd_ < 0) {
      fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
      if (fd_ < 0) return Errno();
    }
    if (::flock(fd_, LOCK_SH | LOCK_NB) == 0) {
      // Locked, the file is the spool or a sending file no live sender holds; either is sent
      // whole by the next sender that takes it. Only a removed one (sent) is no place to write.
      struct stat open {};
      if (::fstat(fd_, &open) == 0 && open.st_nlink > 0) return 0;
      ::flock(fd_, LOCK_UN);
    } else if (errno != EWOULDBLOCK) {
      return Errno();
    } else if (IsNamed(fd_, path_)) {
      // A sender holds the named spool for the instant of its rename; never wait on a lock,
      // since the renamed file stays locked while it is sent.
      std::this_thread::sleep_for(std::chrono::microseconds(100));
      continue;
    }
    ::close(fd_);  // taken away: a new spool under the name
    fd_ = -1;
  }
}

int SpoolWriter::Append(std::string_view record) {
  const std::lock_guard lock(mutex_);
  if (const int error = OpenLocked()) return error;
  int error = 0;
  const ssize_t written = ::write(fd_, record.data(), record.size());
  if (written != static_cast<ssize_t>(record.size())) error = written < 0 ? Errno() : ENOSPC;
  ::flock(fd_, LOCK_UN);
  return error;
}

// ---- HeldSpool ----

HeldSpool::~HeldSpool() {
  if (fd_ >= 0) ::close(fd_);
}

int HeldSpool::Read(std::string& bytes) const {
  bytes.clear();
  // What appenders wrote reaches the disk before the server is asked to keep it.
  if (::fdatasync(fd_) != 0) return Errno();
  char buffer[1 << 16];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = ::pread(fd_, buffer, sizeof buffer, offset);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Errno();
    if (n == 0) return 0;
    bytes.append(buffer, static_cast<std::size_t>(n));
    offset += n;
  }
}

int HeldSpool::Remove() {
  const int error = ::unlink(path_.c_str()) == 0 || errno == ENOENT ? 0 : Errno();
  if (error == 0) {
    ::close(fd_);
    fd_ = -1;
  }
  return error;
}

// ---- Taking ----

int TakeSpool(const std::string& spoolPath, std::unique_ptr<HeldSpool>& held) {
  held.reset();
  for (;;) {
    const int fd = ::open(spoolPath.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return errno == ENOENT ? 0 : Errno();
    // Appenders hold it shared for one write, other senders exclusively for one rename.
    if (::flock(fd, LOCK_EX) != 0) {
      const int error = Errno();
      ::close(fd);
      return error;
    }
    struct stat open {}, named {};
    if (::fstat(fd, &open) != 0 || ::stat(spoolPath.c_str(), &named) != 0 || !SameFile(open, named)) {
      ::close(fd);  // another sender took it first
      continue;
    }
    if (open.st_size == 0) {
      ::close(fd);
      return 0;
    }
    const std::string id = NewEntryId();
    const std::string sending = spoolPath + ".sending." + std::to_string(::getpid()) + "." + id;
    if (id.empty() || ::rename(spoolPath.c_str(), sending.c_str()) != 0) {
      const int error = id.empty() ? EIO : Errno();
      ::close(fd);
      return error;
    }
    held = std::make_unique<HeldSpool>(fd, sending);
    return 0;
  }
}

int TakeOrphans(const std::string& spoolPath, std::vector<std::unique_ptr<HeldSpool>>& held) {
  const std::size_t slash = spoolPath.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : spoolPath.substr(0, slash == 0 ? 1 : slash);
  const std::string prefix = (slash == std::string::npos ? spoolPath : spoolPath.substr(slash + 1)) + ".sending.";
  DIR* listing = ::opendir(dir.c_str());
  if (!listing) return Errno();
  std::vector<std::string> names;
  while (const dirent* item = ::readdir(listing)) {
    const std::string_view name(item->d_name);
    if (name.substr(0, prefix.size()) == prefix) names.emplace_back(name);
  }
  ::closedir(listing);
  std::sort(names.begin(), names.end());
  for (const std::string& name : names) {
    const std::string path = dir + "/" + name;
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) continue;  // sent and removed meanwhile
    // Liveness by the kernel's lock: a live sender holds it; a dead one's went with it.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && IsNamed(fd, path)) held.push_back(std::make_unique<HeldSpool>(fd, path));
    else ::close(fd);
  }
  return 0;
}

}  // namespace msglog
