// The log reader over logs the hooks wrote: fields, damage costing only its own entry, a file
// growing while read, buffer boundaries, and the last page and the index agreeing with the stream.

#include <cstdlib>
#include <fstream>
#include <thread>
#include <string>
#include <vector>

#include "message_log_fixture.h"
#include "msglog/globals.h"
#include "msglog/log_index.h"
#include "msglog/log_reader.h"
#include "msglog/message_log.h"
#include "runtime/core/dialogs.h"
#include "runtime/ui/target.h"

namespace {

using msglog::EntryKind;
using msglog::LogEntry;
using msglog::LogReader;

// Every entry of the file; `final` takes a cut-short tail as the last entry.
std::vector<LogEntry> ReadAll(const std::filesystem::path& path, bool final = true) {
  LogReader reader;
  EXPECT_EQ(reader.Open(path.string()), 0);
  std::vector<LogEntry> entries;
  msglog::EntryView view;
  while (reader.Next(view) == LogReader::Result::Entry) entries.push_back(LogEntry::From(view));
  if (final && reader.TakeTail(view)) entries.push_back(LogEntry::From(view));
  return entries;
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

void AppendFile(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

using LogReaderTest = MessageLogTest;

TEST_F(LogReaderTest, EntriesTheHooksWroteComeBackFieldByField) {
  WriteTwoUsers(false);
  const std::vector<LogEntry> entries = ReadAll(log_);
  ASSERT_EQ(entries.size(), 3u);
  const std::vector<std::string> expected = {
      "message|20261206090405|Anna|TESTPC|Orders|Attention!|Save the\r\norder?|YES|NO|NO",
      "stop|20261206090405|Anna|TESTPC|Orders||Leaving||", "declined|20261206090405|Anna|TESTPC|||||"};
  for (std::size_t i = 0; i < 3; ++i) EXPECT_EQ(Fields(entries[i]), expected[i]);
  EXPECT_EQ(entries[0].lines, 8u);
}

TEST_F(LogReaderTest, EntryTheWriterCutAt2000CharactersIsWholeAndMarkedClipped) {
  dialogs_.Answer(rt::BUTTON_OK);
  rt::MessageBox(std::string(3000, 'x'), "Long");
  rt::MessageBox("short", "After");
  // Last in a file still being written, it is taken as it is: the writer wrote it whole.
  {
    const std::string whole = LogText();
    WriteFile(log_, whole.substr(0, whole.find("Dec", 10)));
    ASSERT_EQ(ReadAll(log_, false).size(), 1u);
    WriteFile(log_, whole);
  }
  const std::vector<LogEntry> entries = ReadAll(log_);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(Fields(entries[0]).substr(0, 44), "message|20261206090405||TESTPC||Long|xxxxxxx");
  EXPECT_TRUE(Fields(entries[0]).ends_with("x|||clipped"));
  EXPECT_EQ(Fields(entries[1]), "message|20261206090405||TESTPC||After|short|OK|OK");
}

// One damage per row, made on a copy of the three entries; the entries around it must survive.
struct DamageCase {
  const char* name;
  std::string (*damage)(const std::string& log);
  std::vector<EntryKind> kinds;
  std::vector<std::uint64_t> lines;  // where each entry starts
  const char* why;                   // the damaged entry's reason
};

constexpr EntryKind M = EntryKind::Message, S = EntryKind::Stop, D = EntryKind::DeclinedStop, X = EntryKind::Damaged;

const DamageCase kDamageCases[] = {
    {"1.1 bare LF instead of CR LF", [](const std::string& log) { std::string out = log; std::erase(out, '\r'); return out; },
     {M, S, D}, {1, 9, 13}, ""},
    {"1.2 bytes that are not UTF-8 in a value", [](const std::string& log) { return Replace(log, "order?", "ord\xFF\xFE?"); },
     {M, S, D}, {1, 9, 13}, ""},
    {"2.1 message cut short by a killed writer, next entry follows",
     [](const std::string& log) { return log.substr(0, log.find("  MessageText=")) + log.substr(log.find("Dec", 10)); },
     {X, S, D}, {1, 5, 9}, "message without MessageText"},
    {"2.2 a field missing", [](const std::string& log) { return Replace(log, "  ShownButtons=YES|NO\r\n", ""); },
     {X, S, D}, {1, 8, 12}, "message without ShownButtons"},
    {"2.3 a stray line between entries", [](const std::string& log) { return std::string(log).insert(log.find("Dec", 10), "noise\r\n"); },
     {M, X, S, D}, {1, 9, 10, 14}, "lines outside any entry"},
    {"2.4 garbage before the first entry", [](const std::string& log) { return std::string("\xFF\x00garbage\r\n\r\n", 13) + log; },
     {X, M, S, D}, {1, 3, 11, 15}, "lines outside any entry"},
    {"2.5 unknown kind line", [](const std::string& log) { return Replace(log, "  STOP:", "  HALT:"); },
     {M, X, D}, {1, 9, 13}, "unknown entry kind"},
    {"2.6 header without its computer", [](const std::string& log) { return Replace(log, "  ComputerName:TESTPC", ""); },
     {X, S, D}, {1, 9, 13}, "header without ComputerName"},
    {"2.7 a line after a declined stop", [](const std::string& log) { return log + "  extra\r\n"; },
     {M, S, D, X}, {1, 9, 13, 15}, "lines outside any entry"},
    {"2.8 a month that is no month is no header", [](const std::string& log) { return std::string(log).replace(log.find("Dec", 10), 3, "Xyz"); },
     {M, X, D}, {1, 9, 13}, "lines outside any entry"},
    {"3.1 the file ends inside the last line (taken as the tail)",
     [](const std::string& log) { return log.substr(0, log.size() - 5); }, {M, S, X}, {1, 9, 13}, "entry cut short"},
    {"3.2 an empty file", [](const std::string&) { return std::string(); }, {}, {}, ""},
};

class DamagedLogTest : public LogReaderTest, public ::testing::WithParamInterface<DamageCase> {};

TEST_P(DamagedLogTest, DamageCostsOnlyItsOwnEntry) {
  const DamageCase& c = GetParam();
  WriteTwoUsers(false);
  WriteFile(log_, c.damage(LogText()));
  // Real logs, damaged, are the fuzzer's seeds.
  if (const char* seeds = std::getenv("QUIBBET_FUZZ_SEEDS"))
    std::filesystem::copy_file(log_, std::filesystem::path(seeds) / ("log_reader_" + std::string(c.name).substr(0, 3)),
                               std::filesystem::copy_options::overwrite_existing);
  const std::vector<LogEntry> entries = ReadAll(log_);
  std::vector<EntryKind> kinds;
  std::vector<std::uint64_t> lines;
  std::size_t bytes = 0;
  for (const LogEntry& entry : entries) {
    kinds.push_back(entry.kind);
    lines.push_back(entry.line);
    EXPECT_EQ(entry.offset, bytes) << "entries must tile the file";
    bytes += entry.raw.size();
    if (entry.kind == EntryKind::Damaged) {
      EXPECT_EQ(entry.damage, c.why);
    }
  }
  EXPECT_EQ(kinds, c.kinds);
  EXPECT_EQ(lines, c.lines);
  EXPECT_EQ(bytes, LogText().size()) << "no byte is lost";
}

INSTANTIATE_TEST_SUITE_P(Cases, DamagedLogTest, ::testing::ValuesIn(kDamageCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(LogReaderTest, EntryInWritingIsLeftForTheNextReadNotReportedDamaged) {
  WriteTwoUsers(false);
  const std::string whole = LogText();
  const std::size_t stopAt = whole.find("Dec", 10);
  WriteFile(log_, whole.substr(0, stopAt + 70));  // the stop entry half written
  LogReader reader;
  ASSERT_EQ(reader.Open(log_.string()), 0);
  msglog::EntryView view;
  ASSERT_EQ(reader.Next(view), LogReader::Result::Entry);
  EXPECT_EQ(view.kind, EntryKind::Message);
  EXPECT_EQ(reader.Next(view), LogReader::Result::End);
  EXPECT_EQ(reader.PendingBytes(), 70u);

  AppendFile(log_, whole.substr(stopAt + 70));
  ASSERT_EQ(reader.Next(view), LogReader::Result::Entry);
  EXPECT_EQ(view.text, "Leaving");
  ASSERT_EQ(reader.Next(view), LogReader::Result::Entry);
  EXPECT_EQ(reader.Next(view), LogReader::Result::End);
  EXPECT_EQ(reader.PendingBytes(), 0u);
  EXPECT_FALSE(reader.TakeTail(view));
}

TEST_F(LogReaderTest, EntriesAcrossBufferRefillsAndAnOversizedStretchAreAllRead) {
  std::string log;
  const std::string entry = Header() + "\r\n  STOP:\r\n  WindowTitle=w\r\n  StopText=" + std::string(1500, 's') + "\r\n";
  const int perMiB = static_cast<int>(LogReader::kBufferSize / entry.size()) + 1;
  for (int i = 0; i < perMiB; ++i) log += entry;
  log += std::string(LogReader::kBufferSize + 1000, 'g') + "\r\n";  // one line longer than the buffer
  for (int i = 0; i < perMiB; ++i) log += entry;
  WriteFile(log_, log);

  int stops = 0, damaged = 0;
  std::uint64_t lastLine = 0;
  for (const LogEntry& e : ReadAll(log_)) {
    if (e.kind == EntryKind::Stop) {
      ++stops;
      EXPECT_EQ(e.text.size(), 1500u);
      EXPECT_EQ(log.compare(e.offset, entry.size(), entry), 0) << "offset " << e.offset;
    } else {
      ++damaged;
    }
    EXPECT_GE(e.line, lastLine);
    lastLine = e.line;
  }
  EXPECT_EQ(stops, 2 * perMiB);
  EXPECT_EQ(damaged, 2);  // the long line in two pieces
  EXPECT_EQ(lastLine, 8u * perMiB - 2);
}

TEST_F(LogReaderTest, LastPageAndIndexAgreeWithTheStream) {
  for (int i = 0; i < 300; ++i) {
    dialogs_.Answer(rt::BUTTON_OK);
    rt::MessageBox("text " + std::to_string(i), "c");
  }
  AppendFile(log_, "garbage\r\n");
  rt::Stop("s");
  AppendFile(log_, Header() + "\r\n  MESSAGE:\r\n  Window");  // in writing: not on the page
  const std::vector<LogEntry> all = ReadAll(log_, false);
  ASSERT_EQ(all.size(), 303u);

  for (std::size_t count : {20u, 1000u}) {
    std::vector<LogEntry> page;
    ASSERT_EQ(msglog::ReadLastEntries(log_.string(), count, page), 0);
    ASSERT_EQ(page.size(), std::min<std::size_t>(count, all.size())) << count;
    for (std::size_t i = 0; i < page.size(); ++i) {
      const LogEntry& expected = all[all.size() - page.size() + i];
      EXPECT_EQ(page[i].offset, expected.offset);
      EXPECT_EQ(page[i].raw, expected.raw);
    }
  }
  std::vector<LogEntry> none;
  EXPECT_NE(msglog::ReadLastEntries((dir_ / "missing.txt").string(), 20, none), 0);

  msglog::LogIndex index;
  index.Start(log_.string());
  index.Stop();  // may stop early: what it found must still be right
  index.Start(log_.string());
  while (!index.IsDone()) std::this_thread::yield();
  EXPECT_EQ(index.Error(), 0);
  ASSERT_EQ(index.EntryCount(), all.size());
  for (std::size_t i : {std::size_t{0}, std::size_t{150}, all.size() - 1}) {
    msglog::EntryPosition position;
    ASSERT_TRUE(index.PositionOf(i, position));
    LogEntry entry;
    ASSERT_EQ(msglog::ReadEntryAt(log_.string(), position, entry), 0);
    EXPECT_EQ(entry.raw, all[i].raw);
    EXPECT_EQ(entry.line, all[i].line);
  }
  EXPECT_EQ(index.BytesDone(), all.back().offset + all.back().raw.size());
}

}  // namespace
