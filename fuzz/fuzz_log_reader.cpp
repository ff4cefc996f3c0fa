// The log reader under arbitrary bytes. What must hold for any file: every scan covers at least
// one byte and stays inside the input, the entries of a file known complete tile it exactly and
// count its lines, a file read in windows of any size gives the same entries, and a page read
// from the end is the stream's last entries.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "msglog/log_reader.h"

namespace {

void Require(bool condition) {
  if (!condition) std::abort();
}

struct Seen {
  std::uint64_t offset, line;
  msglog::EntryKind kind;
  std::size_t size;
  bool operator==(const Seen&) const = default;
};

// Scans `data` whole, as a file that will not grow.
std::vector<Seen> ScanComplete(const char* data, std::size_t size) {
  std::vector<Seen> seen;
  std::uint64_t line = 1;
  msglog::EntryView entry;
  for (std::size_t at = 0; at < size;) {
    const std::size_t bytes = msglog::ScanEntry(data + at, size - at, msglog::SpanEnd::FinalEnd, at, line, entry);
    Require(bytes > 0 && bytes <= size - at);
    Require(entry.raw.data() == data + at && entry.raw.size() == bytes);
    for (std::string_view field : {entry.user, entry.computer, entry.windowTitle, entry.title, entry.text,
                                   entry.shownButtons, entry.pressedButton})
      Require(field.empty() || (field.data() >= data + at && field.data() + field.size() <= data + at + bytes));
    Require((entry.kind == msglog::EntryKind::Damaged) == (entry.damage[0] != '\0'));
    seen.push_back({at, line, entry.kind, bytes});
    line += entry.lines - (entry.raw.back() == '\n' ? 0 : 1);
    at += bytes;
  }
  std::uint64_t lines = 1;
  for (std::size_t i = 0; i < size; ++i) lines += data[i] == '\n';
  Require(line == lines);
  return seen;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  const auto* data = reinterpret_cast<const char*>(bytes);
  const std::vector<Seen> whole = ScanComplete(data, size);

  // Through the streaming reader: the same entries, whatever the file's size against its buffer.
  static const std::string path =
      (std::filesystem::temp_directory_path() / ("quibbet_fuzz_log_" + std::to_string(getpid()) + ".txt")).string();
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(data, static_cast<std::streamsize>(size));
  static msglog::LogReader reader;  // one buffer for all runs: its megabyte is not poisoned anew each time
  Require(reader.Open(path) == 0);
  std::vector<Seen> streamed;
  msglog::EntryView entry;
  while (reader.Next(entry) == msglog::LogReader::Result::Entry)
    streamed.push_back({entry.offset, entry.line, entry.kind, entry.raw.size()});
  Require(reader.Offset() + reader.PendingBytes() == size);
  while (reader.TakeTail(entry)) streamed.push_back({entry.offset, entry.line, entry.kind, entry.raw.size()});
  Require(streamed == whole);

  // The last page: entries the stream has, at the same offsets, in order.
  std::vector<msglog::LogEntry> page;
  Require(msglog::ReadLastEntries(path, 5, page) == 0);
  std::size_t from = 0;
  for (const msglog::LogEntry& last : page) {
    while (from < whole.size() && whole[from].offset != last.offset) ++from;
    Require(from < whole.size());
  }
  return 0;
}
