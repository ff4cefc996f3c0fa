#include "msglog/log_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>
#include <string_view>

namespace msglog {

namespace {

// ---- Lines ----

struct Line {
  const char* begin = nullptr;
  std::size_t length = 0;  // without its line end (CR LF or LF)
  std::size_t full = 0;    // with it
  bool complete = false;   // ends in LF
  std::string_view Text() const { return {begin, length}; }
};

bool NextLine(const char* p, const char* limit, Line& line) {
  if (p >= limit) return false;
  line.begin = p;
  const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(limit - p)));
  line.complete = lf != nullptr;
  line.full = lf ? static_cast<std::size_t>(lf + 1 - p) : static_cast<std::size_t>(limit - p);
  line.length = lf ? static_cast<std::size_t>(lf - p) : line.full;
  if (line.length > 0 && p[line.length - 1] == '\r') --line.length;
  return true;
}

// ---- The header: "Dec 06, 2026 09:04:05 USER:<user>  ComputerName:<computer> " ----

constexpr std::size_t kHeaderFixed = 27;  // up to and including "USER:"
constexpr char kMonths[] = "JanFebMarAprMayJunJulAugSepOctNovDec";
constexpr std::string_view kComputerTag = "  ComputerName:";

bool Digits(const char* p, int count, int& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    const unsigned digit = static_cast<unsigned char>(p[i]) - '0';
    if (digit > 9) return false;
    value = value * 10 + static_cast<int>(digit);
  }
  return true;
}

int MonthOf(const char* p) {
  for (int m = 0; m < 12; ++m)
    if (std::memcmp(p, kMonths + 3 * m, 3) == 0) return m + 1;
  return 0;
}

bool ParseMoment(const char* p, LogMoment& moment) {
  if (p[3] != ' ' || p[6] != ',' || p[7] != ' ' || p[12] != ' ' || p[15] != ':' || p[18] != ':') return false;
  LogMoment m;
  m.month = MonthOf(p);
  if (m.month == 0 || !Digits(p + 4, 2, m.day) || !Digits(p + 8, 4, m.year) || !Digits(p + 13, 2, m.hour) ||
      !Digits(p + 16, 2, m.minute) || !Digits(p + 19, 2, m.second))
    return false;
  if (m.day < 1 || m.day > 31 || m.year < 1 || m.hour > 23 || m.minute > 59 || m.second > 59) return false;
  moment = m;
  return true;
}

std::string_view ClipBlanks(std::string_view text) {
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

// ---- The body: a kind line, then "  Name=value" fields in a fixed order ----

struct Field {
  std::string_view prefix;
  std::string_view EntryView::*target;
  const char* missing;
  bool manyLines;  // the value may hold line ends: the lines after it belong to it
};

constexpr Field kMessageFields[] = {
    {"  WindowTitle=", &EntryView::windowTitle, "message without WindowTitle", true},
    {"  MessageTitle=", &EntryView::title, "message without MessageTitle", true},
    {"  MessageText=", &EntryView::text, "message without MessageText", true},
    {"  ShownButtons=", &EntryView::shownButtons, "message without ShownButtons", false},
    {"  PressedButton=", &EntryView::pressedButton, "message without PressedButton", false},
};
constexpr Field kStopFields[] = {
    {"  WindowTitle=", &EntryView::windowTitle, "stop without WindowTitle", true},
    {"  StopText=", &EntryView::text, "stop without StopText", true},
};

// The writer cuts an entry at 2000 bytes, then drops trailing blanks and any UTF-8 character
// the cut split; an entry that long whose last fields are missing was cut by it, not damaged.
constexpr std::size_t kWriterCut = 2000;
constexpr std::size_t kWriterCutSlack = 16;

bool IsWriterCut(std::size_t length) { return length + kWriterCutSlack >= kWriterCut && length <= kWriterCut; }

class BodyParser {
 public:
  explicit BodyParser(EntryView& entry) : entry_(entry) {}

  // False when the line cannot belong to this entry: the entry ends before it.
  bool Take(const Line& line) {
    if (damage_) return true;
    const std::string_view text = line.Text();
    if (!kindSeen_) {
      kindSeen_ = true;
      if (text == "  MESSAGE:") Expect(EntryKind::Message, kMessageFields);
      else if (text == "  STOP:") Expect(EntryKind::Stop, kStopFields);
      else if (text == "  Previous STOP Ignored.") entry_.kind = EntryKind::DeclinedStop;
      else damage_ = "unknown entry kind";
      return true;
    }
    if (next_ < fieldCount_ && text.starts_with(fields_[next_].prefix)) {
      Close();
      valueBegin_ = line.begin + fields_[next_].prefix.size();
      valueEnd_ = line.begin + line.length;
      ++next_;
      return true;
    }
    if (next_ > 0 && fields_[next_ - 1].manyLines) {
      valueEnd_ = line.begin + line.length;
      return true;
    }
    // A stray line after a value that holds no line ends, or after a declined stop, is the
    // start of damage that is not this entry's; one before the first field is this entry's.
    if (entry_.kind == EntryKind::DeclinedStop || next_ > 0) return false;
    damage_ = "line before the first field";
    return true;
  }

  bool HasAllFields() const { return kindSeen_ && !damage_ && next_ == fieldCount_; }

  // Sets the fields found and says what is wrong, if anything; `length` is the entry's size
  // without its final line end.
  void Finish(std::size_t length) {
    Close();
    if (!damage_ && !kindSeen_) damage_ = "entry without a body";
    if (!damage_ && next_ < fieldCount_) {
      if (IsWriterCut(length)) entry_.clipped = true;
      else damage_ = fields_[next_].missing;
    }
    if (damage_) {
      entry_.kind = EntryKind::Damaged;
      entry_.damage = damage_;
    }
  }

 private:
  template <std::size_t N>
  void Expect(EntryKind kind, const Field (&fields)[N]) {
    entry_.kind = kind;
    fields_ = fields;
    fieldCount_ = N;
  }
  void Close() {
    if (next_ > 0) entry_.*(fields_[next_ - 1].target) = {valueBegin_, static_cast<std::size_t>(valueEnd_ - valueBegin_)};
  }

  EntryView& entry_;
  const Field* fields_ = nullptr;
  std::size_t fieldCount_ = 0, next_ = 0;
  const char* valueBegin_ = nullptr;
  const char* valueEnd_ = nullptr;
  bool kindSeen_ = false;
  const char* damage_ = nullptr;
};

std::size_t LineEndSize(const char* begin, const char* end) {
  if (end == begin || end[-1] != '\n') return 0;
  return end - begin >= 2 && end[-2] == '\r' ? 2 : 1;
}

}  // namespace

bool IsEntryHeader(const char* line, std::size_t size) {
  if (size < kHeaderFixed || std::memcmp(line + 21, " USER:", 6) != 0) return false;
  LogMoment moment;
  return ParseMoment(line, moment);
}

std::size_t ScanEntry(const char* data, std::size_t size, SpanEnd end, std::uint64_t offset, std::uint64_t line,
                      EntryView& entry) {
  entry = EntryView{};
  entry.offset = offset;
  entry.line = line;
  const char* const limit = data + size;
  Line first;
  if (!NextLine(data, limit, first)) return 0;
  if (!first.complete && end != SpanEnd::FinalEnd) return 0;
  const char* p = data + first.full;
  std::uint32_t lines = 1;

  if (!IsEntryHeader(first.begin, first.length)) {
    // Lines that belong to no entry, up to the next header.
    for (Line next; NextLine(p, limit, next); p += next.full, ++lines) {
      // A cut line may still be completed: the stretch waits for it, so that a file read while it
      // grows and one read whole cut the same stretches.
      if (!next.complete && end != SpanEnd::FinalEnd) return 0;
      if (IsEntryHeader(next.begin, next.length)) break;
    }
    if (p == limit && end == SpanEnd::MoreFollows) return 0;
    entry.kind = EntryKind::Damaged;
    entry.damage = "lines outside any entry";
    entry.lines = lines;
    entry.raw = {data, static_cast<std::size_t>(p - data)};
    return entry.raw.size();
  }

  ParseMoment(first.begin, entry.moment);
  const std::string_view rest = first.Text().substr(kHeaderFixed);
  const std::size_t tag = rest.find(kComputerTag);
  const char* headerDamage = nullptr;
  if (tag == std::string_view::npos) {
    headerDamage = "header without ComputerName";
    entry.user = rest;
  } else {
    entry.user = rest.substr(0, tag);
    entry.computer = ClipBlanks(rest.substr(tag + kComputerTag.size()));
  }

  BodyParser body(entry);
  bool cut = !first.complete;  // the last line has no line end
  for (Line next; NextLine(p, limit, next);) {
    if (!next.complete) {
      if (end != SpanEnd::FinalEnd) return 0;  // still being written
      cut = true;
    } else if (IsEntryHeader(next.begin, next.length)) {
      break;
    }
    if (!body.Take(next)) break;
    p += next.full;
    ++lines;
  }
  const std::size_t length = static_cast<std::size_t>(p - data) - LineEndSize(data, p);
  if (p == limit) {
    // Nothing after it yet: the entry may still grow, unless it is whole or as long as the
    // writer's cut makes an entry.
    if (end == SpanEnd::MoreFollows) return 0;
    if (end == SpanEnd::LiveEnd && !body.HasAllFields() && !IsWriterCut(length)) return 0;
  }
  body.Finish(length);
  if (!headerDamage && cut && entry.kind != EntryKind::Damaged && !body.HasAllFields()) headerDamage = "entry cut short";
  if (headerDamage && entry.kind != EntryKind::Damaged) {
    entry.kind = EntryKind::Damaged;
    entry.damage = headerDamage;
  } else if (cut && entry.kind == EntryKind::Damaged) {
    entry.damage = "entry cut short";
  }
  if (entry.kind == EntryKind::Damaged) entry.clipped = false;
  entry.lines = lines;
  entry.raw = {data, static_cast<std::size_t>(p - data)};
  return entry.raw.size();
}

// ---- LogReader ----

LogReader::LogReader() = default;
LogReader::~LogReader() { Close(); }

int LogReader::Open(const std::string& path, std::uint64_t offset, std::uint64_t line) {
  Close();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return error_ = errno;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    error_ = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    return error_;
  }
  if (offset > 0 && ::lseek(fd, static_cast<off_t>(offset), SEEK_SET) < 0) {
    error_ = errno;
    ::close(fd);
    return error_;
  }
  fd_ = fd;
  buffer_.resize(kBufferSize);
  begin_ = end_ = 0;
  bufferOffset_ = offset;
  line_ = line;
  error_ = 0;
  return 0;
}

void LogReader::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  begin_ = end_ = 0;
}

bool LogReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    bufferOffset_ += begin_;
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    const ssize_t got = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error_ = errno;
    if (got <= 0) return false;
    end_ += static_cast<std::size_t>(got);
    return true;
  }
}

void LogReader::Advance(const EntryView& entry, std::size_t bytes) {
  begin_ += bytes;
  line_ += entry.lines - (entry.raw.empty() || entry.raw.back() != '\n' ? 1 : 0);
}

LogReader::Result LogReader::Next(EntryView& entry) {
  if (fd_ < 0) {
    error_ = EBADF;
    return Result::Error;
  }
  for (;;) {
    std::size_t bytes = 0;
    if (begin_ < end_) bytes = ScanEntry(buffer_.data() + begin_, end_ - begin_, SpanEnd::MoreFollows, Offset(), line_, entry);
    if (bytes == 0 && end_ - begin_ == buffer_.size()) {
      // An entry longer than the buffer: give it back in damaged pieces that end at a line end.
      const char* data = buffer_.data() + begin_;
      const void* lastLf = memrchr(data, '\n', end_ - begin_);
      const std::size_t piece = lastLf ? static_cast<const char*>(lastLf) + 1 - data : end_ - begin_;
      bytes = ScanEntry(data, piece, SpanEnd::FinalEnd, Offset(), line_, entry);
      // An entry that ends where the piece does may be whole (a stop followed by a huge stray
      // line); one longer than the writer ever writes is not.
      if (entry.raw.size() > kWriterCut + 2) {
        entry.kind = EntryKind::Damaged;
        entry.damage = "entry longer than the reader holds";
      }
    }
    if (bytes > 0) {
      Advance(entry, bytes);
      return Result::Entry;
    }
    if (Fill()) continue;
    if (error_ != 0) return Result::Error;
    if (begin_ < end_) bytes = ScanEntry(buffer_.data() + begin_, end_ - begin_, SpanEnd::LiveEnd, Offset(), line_, entry);
    if (bytes == 0) return Result::End;
    Advance(entry, bytes);
    return Result::Entry;
  }
}

bool LogReader::TakeTail(EntryView& entry) {
  if (fd_ < 0 || begin_ == end_) return false;
  const std::size_t bytes = ScanEntry(buffer_.data() + begin_, end_ - begin_, SpanEnd::FinalEnd, Offset(), line_, entry);
  if (bytes == 0) return false;
  Advance(entry, bytes);
  return true;
}

// ---- The last entries ----

namespace {

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int Get() const { return fd_; }

 private:
  int fd_;
};

int ReadAt(int fd, char* data, std::size_t size, std::uint64_t offset) {
  while (size > 0) {
    const ssize_t got = ::pread(fd, data, size, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    if (got == 0) return EIO;  // the file shrank under us
    data += got;
    size -= static_cast<std::size_t>(got);
    offset += static_cast<std::uint64_t>(got);
  }
  return 0;
}

}  // namespace

int ReadLastEntries(const std::string& path, std::size_t count, std::vector<LogEntry>& entries) {
  entries.clear();
  const Descriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) return errno;
  struct stat st {};
  if (::fstat(fd.Get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  const auto size = static_cast<std::uint64_t>(st.st_size);
  if (count == 0 || size == 0) return 0;

  // Widen a window back from the end until it holds one entry start more than asked for (the
  // last may still be in writing), reaches the file's start or its cap: a file of stray bytes
  // must not be read into memory whole for a page.
  constexpr std::uint64_t kMaxWindow = std::uint64_t{16} << 20;
  std::vector<char> window;
  std::uint64_t start = size;
  std::size_t from = 0;  // where, inside the window, the first entry to parse starts
  for (std::uint64_t want = 64 * 1024;; want *= 4) {
    start = size > want ? size - want : 0;
    window.resize(static_cast<std::size_t>(size - start));
    if (const int error = ReadAt(fd.Get(), window.data(), window.size(), start)) return error;
    std::vector<std::size_t> starts;
    const char* const data = window.data();
    const char* const limit = data + window.size();
    for (const char* p = data; p < limit;) {
      const auto* lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(limit - p)));
      const char* lineEnd = lf ? lf : limit;
      const bool atLineStart = p != data || start == 0;
      std::size_t length = static_cast<std::size_t>(lineEnd - p);
      if (length > 0 && p[length - 1] == '\r') --length;
      if (atLineStart && IsEntryHeader(p, length)) starts.push_back(static_cast<std::size_t>(p - data));
      if (!lf) break;
      p = lf + 1;
    }
    if (starts.size() > count || start == 0 || want >= kMaxWindow) {
      from = starts.size() > count ? starts[starts.size() - count - 1] : starts.empty() ? 0 : starts.front();
      break;
    }
  }

  std::deque<LogEntry> kept;
  EntryView view;
  for (std::size_t at = from; at < window.size();) {
    const std::size_t bytes =
        ScanEntry(window.data() + at, window.size() - at, SpanEnd::LiveEnd, start + at, 0, view);
    if (bytes == 0) break;
    // A window that starts mid-line gives a stray piece first; it is not one of the last entries.
    if (!(at == 0 && start > 0 && view.kind == EntryKind::Damaged)) {
      view.line = 0;
      kept.push_back(LogEntry::From(view));
      if (kept.size() > count) kept.pop_front();
    }
    at += bytes;
  }
  entries.assign(kept.begin(), kept.end());
  return 0;
}

}  // namespace msglog
