// The cursor file beside the log and the identities the server's ids are made of (log_cursor.h).
#include "msglog/log_cursor.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "msglog/central_spool.h"

namespace msglog {

namespace {

constexpr std::uint64_t kFnvBasis = 0xcbf29ce484222325ull;

std::uint64_t Fnv1a(std::uint64_t hash, std::string_view bytes) {
  for (const char c : bytes) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ull;
  return hash;
}

void PutU64(char* out, std::uint64_t value) {
  for (int i = 0; i < 8; ++i) out[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t GetU64(const char* in) {
  std::uint64_t value = 0;
  for (int i = 0; i < 8; ++i) value |= std::uint64_t{static_cast<unsigned char>(in[i])} << (8 * i);
  return value;
}

// A slot: magic, sequence, identity, offset (little-endian), then the CRC-32 of those 28 bytes.
// The file holds two; the whole one with the higher sequence is the cursor.
constexpr char kMagic[4] = {'Q', 'L', 'C', '1'};
constexpr std::size_t kSlotBody = 28, kSlotSize = 32;

int Errno() { return errno != 0 ? errno : EIO; }

}  // namespace

std::uint64_t LogIdentity(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return 0;
  char head[512];
  ssize_t got = 0;
  do got = ::pread(fd, head, sizeof head, 0);
  while (got < 0 && errno == EINTR);
  if (got <= 0) return 0;
  const auto* lf = static_cast<const char*>(std::memchr(head, '\n', static_cast<std::size_t>(got)));
  // A first line still being written would give another identity once whole.
  if (!lf && static_cast<std::size_t>(got) < sizeof head) return 0;
  const std::size_t line = lf ? static_cast<std::size_t>(lf - head) : sizeof head;
  char inode[8];
  PutU64(inode, static_cast<std::uint64_t>(info.st_ino));
  const std::uint64_t hash = Fnv1a(Fnv1a(kFnvBasis, {inode, sizeof inode}), {head, line});
  return hash == 0 ? 1 : hash;
}

std::string LogEntryId(std::string_view computer, std::uint64_t identity, std::uint64_t offset, std::string_view entry) {
  char file[8];
  PutU64(file, identity);
  const std::uint64_t where = Fnv1a(Fnv1a(Fnv1a(Fnv1a(kFnvBasis, computer), {"", 1}), {file, sizeof file}), entry);
  unsigned char bytes[16];
  for (int i = 0; i < 8; ++i) {
    bytes[i] = static_cast<unsigned char>(where >> (8 * (7 - i)));
    bytes[8 + i] = static_cast<unsigned char>(offset >> (8 * (7 - i)));  // the variant takes bits no log reaches
  }
  return UuidText(bytes);
}

// ---- LogCursor ----

LogCursor::~LogCursor() { Close(); }

int LogCursor::Open(const std::string& path) {
  Close();
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd_ < 0) return Errno();
  path_ = path;
  return 0;
}

void LogCursor::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  held_ = false;
}

bool LogCursor::TryHold() {
  if (!held_ && fd_ >= 0) held_ = ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
  return held_;
}

LogPosition LogCursor::Read() const {
  char slots[2 * kSlotSize] = {};
  ssize_t got = 0;
  do got = fd_ < 0 ? -1 : ::pread(fd_, slots, sizeof slots, 0);
  while (got < 0 && errno == EINTR);
  LogPosition best;
  std::uint64_t bestSequence = 0;
  for (std::size_t at = 0; got > 0 && at + kSlotSize <= static_cast<std::size_t>(got); at += kSlotSize) {
    const char* slot = slots + at;
    if (std::memcmp(slot, kMagic, sizeof kMagic) != 0) continue;
    std::uint32_t crc = 0;
    for (int i = 0; i < 4; ++i) crc |= std::uint32_t{static_cast<unsigned char>(slot[kSlotBody + i])} << (8 * i);
    if (crc != Crc32({slot, kSlotBody})) continue;
    const std::uint64_t sequence = GetU64(slot + 4);
    if (sequence < bestSequence) continue;
    bestSequence = sequence;
    best = {GetU64(slot + 12), GetU64(slot + 20)};
  }
  sequence_ = std::max(sequence_, bestSequence);
  return best;
}

int LogCursor::Write(const LogPosition& position) {
  if (!held_) return EPERM;
  const std::uint64_t sequence = sequence_ + 1;
  char slot[kSlotSize];
  std::memcpy(slot, kMagic, sizeof kMagic);
  PutU64(slot + 4, sequence);
  PutU64(slot + 12, position.identity);
  PutU64(slot + 20, position.offset);
  const std::uint32_t crc = Crc32({slot, kSlotBody});
  for (int i = 0; i < 4; ++i) slot[kSlotBody + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  // Over the older slot: a write cut short spoils only that one.
  const off_t at = static_cast<off_t>((sequence % 2) * kSlotSize);
  if (::pwrite(fd_, slot, sizeof slot, at) != static_cast<ssize_t>(sizeof slot)) return Errno();
  if (::fdatasync(fd_) != 0) return Errno();
  sequence_ = sequence;
  return 0;
}

}  // namespace msglog
