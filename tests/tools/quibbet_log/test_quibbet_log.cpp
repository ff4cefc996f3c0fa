// quibbet_log run as a process over logs the hooks wrote: filters (a table read back through
// Python's csv module), the exact output of each format (Python's csv and json modules must read
// it), exit codes, damaged copies, following a growing and a replaced file, the default path.

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "msglog/message_log.h"
#include "tests/msglog/message_log_fixture.h"

namespace {

class QuibbetLogTest : public MessageLogTest {
 protected:
  Outcome Tool(std::vector<std::string> args, const char* tz = "UTC") {
    args.insert(args.begin(), QUIBBET_LOG_TOOL);
    return Process(args, dir_, tz).Wait();
  }
  // What Python's csv module reads from `csv`, one row a line, fields joined by '|', line ends
  // inside fields shown as "\n".
  Outcome PythonCsv(const std::string& csv) {
    WriteBytes(dir_ / "out.csv", csv);
    return Process({"/usr/bin/python3", "-c",
                    "import csv,sys\n"
                    "for row in csv.reader(open(sys.argv[1], newline='', encoding='utf-8')):\n"
                    "  print('|'.join(f.replace('\\r\\n', '\\\\n') for f in row))",
                    (dir_ / "out.csv").string()},
                   dir_)
        .Wait();
  }
  // What Python's json module reads from each line of `jsonl`: kind, time, user, text.
  Outcome PythonJson(const std::string& jsonl) {
    WriteBytes(dir_ / "out.jsonl", jsonl);
    return Process({"/usr/bin/python3", "-c",
                    "import json,sys\n"
                    "for line in open(sys.argv[1], encoding='utf-8'):\n"
                    "  e = json.loads(line)\n"
                    "  print(e['kind'], e['time'], e['user'], ascii(e.get('text')), e.get('pressed_button'))",
                    (dir_ / "out.jsonl").string()},
                   dir_)
        .Wait();
  }
  static void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
};

// ---- 1. Filters: which entries each combination keeps (as line numbers, through Python's csv) ----

struct FilterCase {
  const char* name;
  std::vector<std::string> args;
  std::string lines;  // the line column of the rows, joined by ' '
};

const FilterCase kFilterCases[] = {
    {"1.1 user, any case", {"--user", "anna"}, "1 9 13"},
    {"1.2 computer, whole", {"--computer", "testp"}, ""},
    {"1.3 since a date, the log's own form", {"--since", "Dec 7, 2026 17:30"}, "15 22 26"},
    {"1.4 until a date is to its end", {"--until", "2026-12-06"}, "1 9 13"},
    {"1.5 the last second before is out", {"--until", "2026-12-07 17:29:59"}, "1 9 13"},
    {"2.1 window title contains", {"--window", "ORDERS"}, "1 9"},
    {"2.2 text contains, across its line end", {"--text", "the\r\norder"}, "1"},
    {"2.3 text folds non-ASCII case", {"--text", "GR\xC3\x9C\xC3\x9F"}, "15"},
    {"2.4 kinds", {"--kind", "stop,declined"}, "9 13 22 26"},
    {"2.5 pressed button", {"--pressed", "drop"}, "15"},
    {"2.6 filters together", {"--kind", "message", "--user", "bob", "--pressed", "keep"}, ""},
};

class FilterTest : public QuibbetLogTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(FilterTest, KeepsTheEntriesThatPassEveryFilter) {
  WriteTwoUsers();
  std::vector<std::string> args = GetParam().args;
  args.insert(args.end(), {"--format", "csv", log_.string()});
  const Outcome run = Tool(args);
  ASSERT_EQ(run.status, 0) << run.err;
  const Outcome rows = PythonCsv(run.out);
  ASSERT_EQ(rows.status, 0) << rows.err;
  std::string lines;
  std::istringstream in(rows.out);
  std::getline(in, lines);  // the header
  lines.clear();
  for (std::string row; std::getline(in, row);) lines += (lines.empty() ? "" : " ") + row.substr(0, row.find('|'));
  EXPECT_EQ(lines, GetParam().lines);
}

INSTANTIATE_TEST_SUITE_P(Cases, FilterTest, ::testing::ValuesIn(kFilterCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

// ---- 2. Formats ----

TEST_F(QuibbetLogTest, TextIsTheEntriesAsTheyStand) {
  WriteTwoUsers();
  EXPECT_EQ(Tool({log_.string()}).out, LogText());
  const std::string all = LogText();
  const std::string bobsStop = all.substr(all.find("Dec 07, 2026 17:30:00 USER:Bob  ComputerName:TESTPC \r\n  STOP:"));
  EXPECT_EQ(Tool({"--kind", "stop", "--user", "bob", log_.string()}).out,
            bobsStop.substr(0, bobsStop.find("Dec", 10)));
}

TEST_F(QuibbetLogTest, CsvReadsBackInPythonWithEveryColumn) {
  WriteTwoUsers();
  const Outcome run = Tool({"--format", "csv", log_.string()});
  const Outcome rows = PythonCsv(run.out);
  ASSERT_EQ(rows.status, 0) << rows.err;
  EXPECT_EQ(rows.out,
            "line|kind|date|time|user|computer|window_title|title|text|shown_buttons|pressed_button|clipped\n"
            "1|message|2026-12-06|09:04:05|Anna|TESTPC|Orders|Attention!|Save the\\norder?|YES|NO|NO|\n"
            "9|stop|2026-12-06|09:04:05|Anna|TESTPC|Orders||Leaving|||\n"
            "13|declined|2026-12-06|09:04:05|Anna|TESTPC||||||\n"
            "15|message|2026-12-07|17:30:00|Bob|TESTPC|Customers, \"big\"|Hello|Gr\xC3\xBC\xC3\x9F" "e caf\xEF\xBF\xBD \xF0\x9F\x98\x80|Keep|Drop|Drop|\n"
            "22|stop|2026-12-07|17:30:00|Bob|TESTPC|Customers, \"big\"||Bye, \"all\"|||\n"
            "26|declined|2026-12-07|17:30:00|Bob|TESTPC||||||\n");
}

TEST_F(QuibbetLogTest, JsonLinesReadBackInPythonWithTheLocalOffset) {
  WriteTwoUsers();
  struct {
    const char* tz;
    const char* first;
  } zones[] = {{"Europe/Berlin", "message 2026-12-06T09:04:05+01:00 Anna 'Save the\\r\\norder?' NO"},
               {"America/New_York", "message 2026-12-06T09:04:05-05:00 Anna 'Save the\\r\\norder?' NO"}};
  for (const auto& zone : zones) {
    const Outcome run = Tool({"--format", "json", log_.string()}, zone.tz);
    ASSERT_EQ(run.status, 0) << run.err;
    const Outcome read = PythonJson(run.out);
    ASSERT_EQ(read.status, 0) << read.err;
    EXPECT_EQ(read.out.substr(0, read.out.find('\n')), zone.first) << zone.tz;
  }
  const Outcome read = PythonJson(Tool({"--format", "json", "--user", "bob", log_.string()}).out);
  EXPECT_EQ(read.out,
            "message 2026-12-07T17:30:00+00:00 Bob 'Gr\\xfc\\xdfe caf\\ufffd \\U0001f600' Drop\n"
            "stop 2026-12-07T17:30:00+00:00 Bob 'Bye, \"all\"' None\n"
            "declined 2026-12-07T17:30:00+00:00 Bob None None\n");
}

TEST_F(QuibbetLogTest, SummaryCountsPerUserAndDay) {
  WriteTwoUsers();
  const Outcome run = Tool({"--summary", "--kind", "message,stop", log_.string()});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            "4 entries: messages 2, stops 2, declined stops 0\n\nPer user:\n"
            "  Anna               2\n  Bob                2\n\nPer day:\n"
            "  2026-12-06          2\n  2026-12-07          2\n");
}

// ---- 3. Damaged copies: --check names them, a listing goes on past them ----

TEST_F(QuibbetLogTest, DamagedEntriesAreListedByCheckAndSkippedByTheListing) {
  WriteTwoUsers();
  std::string damaged = LogText();
  damaged.erase(damaged.find("  ShownButtons=YES|NO\r\n"), 23);      // Anna's message loses a field
  damaged.insert(damaged.find("Dec 07"), "stray line\r\n");           // a line between entries
  damaged.resize(damaged.size() - 6);                                 // the last entry cut short
  WriteBytes(log_, damaged);

  const Outcome check = Tool({"--check", log_.string()});
  EXPECT_EQ(check.status, 1);
  EXPECT_EQ(check.out, log_.string() + ":1: damaged entry (7 lines): message without ShownButtons\n" +
                           log_.string() + ":14: damaged entry (1 line): lines outside any entry\n" +
                           log_.string() + ":26: damaged entry (2 lines): entry cut short\n" + log_.string() +
                           ": 4 entries, 3 damaged\n");

  const Outcome list = Tool({"--format", "csv", log_.string()});
  EXPECT_EQ(list.status, 0);
  EXPECT_EQ(std::count(list.out.begin(), list.out.end(), '\n'), 1 + 4);  // the header and the four whole entries
  EXPECT_NE(list.err.find("3 damaged entries left out"), std::string::npos) << list.err;

  std::filesystem::remove(log_);
  WriteTwoUsers();  // a whole log: --check passes
  EXPECT_EQ(Tool({"--check", log_.string()}).status, 0);
}

// ---- 4. Exit codes and messages ----

struct ExitCase {
  const char* name;
  std::vector<std::string> args;  // "LOG" is the log, "DIR" the test's directory
  int status;
  const char* says;  // on standard error, or on standard output for status 0
};

const ExitCase kExitCases[] = {
    {"4.1 no such file", {"DIR/none.txt"}, 3, "none.txt: no such log file"},
    {"4.2 a directory", {"DIR"}, 4, "cannot be read: Is a directory"},
    {"4.3 a date that is no date", {"--since", "2026-02-30", "LOG"}, 2, "--since: \"2026-02-30\" is not a date"},
    {"4.4 unknown option", {"--colour", "LOG"}, 2, "unknown option --colour"},
    {"4.5 option without its value", {"LOG", "--user"}, 2, "--user needs a value"},
    {"4.6 unknown kind", {"--kind", "warning", "LOG"}, 2, "\"warning\" is not message, stop or declined"},
    {"4.7 unknown format", {"--format", "xml", "LOG"}, 2, "is not text, csv or json"},
    {"4.8 two files", {"LOG", "LOG"}, 2, "one log file only"},
    {"4.9 follow with check", {"--follow", "--check", "LOG"}, 2, "goes with neither"},
    {"4.10 since after until", {"--since", "2026-12-07", "--until", "2026-12-06", "LOG"}, 2, "--since is after --until"},
    {"4.11 help", {"--help"}, 0, "Usage: quibbet_log [OPTION]... [FILE]"},
    {"4.12 version", {"--version"}, 0, "quibbet_log 1.0"},
};

class ExitTest : public QuibbetLogTest, public ::testing::WithParamInterface<ExitCase> {};

TEST_P(ExitTest, StatusAndMessage) {
  WriteTwoUsers();
  std::vector<std::string> args;
  for (std::string arg : GetParam().args) {
    if (arg.starts_with("LOG")) arg = log_.string();
    if (arg.starts_with("DIR")) arg = dir_.string() + arg.substr(3);
    args.push_back(arg);
  }
  const Outcome run = Tool(args);
  EXPECT_EQ(run.status, GetParam().status) << run.err;
  EXPECT_NE((GetParam().status == 0 ? run.out : run.err).find(GetParam().says), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Cases, ExitTest, ::testing::ValuesIn(kExitCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST_F(QuibbetLogTest, OutputThatCannotBeWrittenIsNotReportedAsDone) {
  WriteTwoUsers();
  const Outcome run = Process({QUIBBET_LOG_TOOL, "--format", "csv", log_.string()}, dir_, "UTC", "/dev/full").Wait();
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("cannot write the output: No space left on device"), std::string::npos) << run.err;
}

TEST_F(QuibbetLogTest, UnreadableFileIsNamedAsSuch) {
  WriteTwoUsers();
  std::filesystem::permissions(log_, std::filesystem::perms::none);
  // Root reads any file: the tool then runs as nobody.
  std::vector<std::string> args = {QUIBBET_LOG_TOOL, log_.string()};
  if (geteuid() == 0) args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  const Outcome run = Process(args, dir_).Wait();
  EXPECT_EQ(run.status, 4);
  EXPECT_NE(run.err.find("cannot be read: Permission denied"), std::string::npos) << run.err;
}

// ---- 5. Following, and the log beside the program ----

TEST_F(QuibbetLogTest, FollowPrintsNewEntriesAndKeepsUpWhenTheFileIsReplaced) {
  KestroSaveMessLog_("\r\n  Previous STOP Ignored.");
  Process follow({QUIBBET_LOG_TOOL, "--follow", "--format", "json", log_.string()}, dir_);
  EXPECT_NE(follow.OutputWith("declined").find("declined"), std::string::npos);

  // An entry written in two parts is printed once, whole.
  const std::string entry = Header("Anna") + "\r\n  STOP:\r\n  WindowTitle=w\r\n  StopText=first\r\n";
  std::ofstream(log_, std::ios::binary | std::ios::app) << entry.substr(0, 60) << std::flush;
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  std::ofstream(log_, std::ios::binary | std::ios::app) << entry.substr(60);
  EXPECT_NE(follow.OutputWith("first").find("\"text\":\"first\""), std::string::npos);

  // Replaced under its name, as a rotation does.
  WriteBytes(dir_ / "new.txt", Header("Bob") + "\r\n  STOP:\r\n  WindowTitle=w\r\n  StopText=second\r\n");
  std::filesystem::rename(dir_ / "new.txt", log_);
  const std::string out = follow.OutputWith("second");
  EXPECT_NE(out.find("\"user\":\"Bob\""), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3) << out;
}

TEST_F(QuibbetLogTest, WithoutAFileItReadsTheLogBesideItself) {
  WriteTwoUsers();
  const std::filesystem::path tool = dir_ / "bin" / "quibbet_log";
  std::filesystem::create_directory(dir_ / "bin");
  std::filesystem::copy_file(QUIBBET_LOG_TOOL, tool);
  std::filesystem::copy_file(log_, dir_ / "bin" / "Quibbet_.txt");
  const Outcome run = Process({tool.string(), "--summary"}, dir_).Wait();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "6 entries: messages 2, stops 2, declined stops 2");
}

}  // namespace
