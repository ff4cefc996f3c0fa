#pragma once
// The spool of the log's central copy: entries the log file could not take, not yet acknowledged
// by the log server, kept in one file beside the log that every program of the folder shares.
// Owns the record format (length-prefixed, checksummed, so any bytes survive and a torn record
// is found) and the file protocol: appenders hold a shared flock for one write; a sender takes
// the spool away by renaming it to a private "<spool>.sending.<unique>" file it keeps under an
// exclusive flock until the server has committed it. A sending file whose lock can be taken
// belongs to a sender that died. Plain POSIX; no runtime, framework or database calls.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace msglog {

// ---- Records ----

struct SpoolRecord {
  std::string id;             // made on the desk: a resent entry keeps it
  std::string program;        // the executable's path
  std::int64_t process = 0;   // its process id
  std::string entry;          // the entry's text as the log file holds it, line end excluded
};

std::string EncodeSpoolRecord(const SpoolRecord& record);

struct SpoolContents {
  std::vector<SpoolRecord> records;
  std::size_t damagedBytes = 0;  // bytes of torn or garbled records, skipped
};
// Every whole record of `bytes`; a torn or garbled stretch is skipped up to the next whole record.
SpoolContents DecodeSpool(std::string_view bytes);

// CRC-32 (the zlib polynomial) of `bytes`; the cursor file's slots use it too.
std::uint32_t Crc32(std::string_view bytes);
// `bytes` as a UUID's text, its version (4) and variant bits set.
std::string UuidText(unsigned char (&bytes)[16]);

// A new entry id: 128 random bits as a UUID (version 4). "" when no random bytes can be had.
std::string NewEntryId();

// Ids for one process's entries without a system call each: 64 random bits drawn once, then a
// count, in the form of a UUID. Thread-safe.
class EntryIds {
 public:
  EntryIds();
  std::string Next();
  bool IsValid() const { return valid_; }

 private:
  unsigned char prefix_[8] = {};
  bool valid_ = false;
  std::atomic<std::uint64_t> count_{0};
};

// ---- Appending (the dialog threads) ----

// One per process; threads share it. Keeps a descriptor open between entries and opens the
// named spool again when a sender has taken the old one away.
class SpoolWriter {
 public:
  explicit SpoolWriter(std::string path) : path_(std::move(path)) {}
  ~SpoolWriter();
  SpoolWriter(const SpoolWriter&) = delete;
  SpoolWriter& operator=(const SpoolWriter&) = delete;

  // Appends one encoded record with one write. Returns 0 or the errno that failed.
  int Append(std::string_view record);
  const std::string& Path() const { return path_; }

 private:
  int OpenLocked();  // fd_ locked shared and still the named file; 0 or errno

  const std::string path_;
  std::mutex mutex_;
  int fd_ = -1;
};

// ---- Sending (the sender thread) ----

// A spool taken for sending, under an exclusive lock for as long as it lives. Closing it
// without Remove leaves the file for the next sender.
class HeldSpool {
 public:
  HeldSpool(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~HeldSpool();
  HeldSpool(const HeldSpool&) = delete;
  HeldSpool& operator=(const HeldSpool&) = delete;

  const std::string& Path() const { return path_; }
  int Read(std::string& bytes) const;  // the whole file; 0 or errno
  int Remove();                        // after the server's commit; 0 or errno

 private:
  int fd_;
  std::string path_;
};

// Puts what was appended to the named spool on the disk, through a descriptor of its own, so no
// appender waits for the disk. 0 (also when there is no spool) or errno.
int SyncSpool(const std::string& spoolPath);
// Takes the named spool when it holds anything (null when it is missing or empty). 0 or errno.
int TakeSpool(const std::string& spoolPath, std::unique_ptr<HeldSpool>& held);
// Takes the sending files of senders that died (their locks are free), oldest name first.
int TakeOrphans(const std::string& spoolPath, std::vector<std::unique_ptr<HeldSpool>>& held);

}  // namespace msglog
