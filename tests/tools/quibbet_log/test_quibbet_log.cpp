// quibbet_log run as a process over the two users' log the hooks wrote: a table of command lines
// and what they print and return; what only a table cannot hold (Python reading the csv and json
// back, damaged copies, a full disk, following, the log beside the program) after it.

#include <algorithm>
#include <chrono>
#include <fstream>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "msglog/message_log.h"
#include "tests/msglog/message_log_fixture.h"

namespace {

class QuibbetLogTest : public MessageLogTest {
 protected:
  // Anna's message, stop and declined stop on lines 1, 9, 13; Bob's a day later on 15, 22, 26.
  void SetUp() override {
    MessageLogTest::SetUp();
    WriteTwoUsers();
  }
  Outcome Tool(std::vector<std::string> args, const char* tz = "UTC") {
    args.insert(args.begin(), QUIBBET_LOG_TOOL);
    return Process(args, dir_, tz).Wait();
  }
  // What Python reads from `text`, opened as `f` for `script`.
  Outcome Python(const std::string& text, const std::string& script) {
    WriteBytes(dir_ / "out", text);
    return Process({"/usr/bin/python3", "-c", "import csv,json,sys\nf = open(sys.argv[1], newline='', encoding='utf-8')\n" + script,
                    (dir_ / "out").string()},
                   dir_)
        .Wait();
  }
  static void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
  }
};

// The line numbers of the entries a csv listing holds.
std::string Lines(const std::string& csv) {
  static const std::regex entry(R"((^|\n)(\d+),(message|stop|declined),)");
  std::string lines;
  for (std::sregex_iterator it(csv.begin(), csv.end(), entry), end; it != end; ++it)
    lines += (lines.empty() ? "" : " ") + (*it)[2].str();
  return lines;
}

// Lines: the csv listing's entries (CSV stands for "--format csv LOG"); Out: the whole output;
// Has: a part of the output; Err: a part of the error output.
enum Check { kLines, kOut, kHas, kErr };

struct Case {
  std::vector<std::string> args;  // "LOG" is the log, "DIR" the test's directory
  int status;
  Check check;
  std::string expected;
};

const Case kCases[] = {
    {{"--user", "anna", "CSV"}, 0, kLines, "1 9 13"},
    {{"--computer", "testp", "CSV"}, 0, kLines, ""},  // whole names only
    {{"--since", "Dec 7, 2026 17:30", "CSV"}, 0, kLines, "15 22 26"},
    {{"--until", "2026-12-06", "CSV"}, 0, kLines, "1 9 13"},  // to the day's end
    {{"--until", "2026-12-07 17:29:59", "CSV"}, 0, kLines, "1 9 13"},
    {{"--window", "ORDERS", "CSV"}, 0, kLines, "1 9"},
    {{"--text", "the\r\norder", "CSV"}, 0, kLines, "1"},
    {{"--text", "GR\xC3\x9C\xC3\x9F", "CSV"}, 0, kLines, "15"},
    {{"--kind", "stop,declined", "CSV"}, 0, kLines, "9 13 22 26"},
    {{"--pressed", "drop", "CSV"}, 0, kLines, "15"},
    {{"--kind", "message", "--user", "bob", "--pressed", "keep", "CSV"}, 0, kLines, ""},
    {{"--kind", "stop", "--user", "bob", "LOG"}, 0, kOut,
     "Dec 07, 2026 17:30:00 USER:Bob  ComputerName:TESTPC \r\n  STOP:\r\n  WindowTitle=Customers, \"big\"\r\n  StopText=Bye, \"all\"\r\n"},
    {{"--summary", "--kind", "message,stop", "LOG"}, 0, kOut,
     "4 entries: messages 2, stops 2, declined stops 0\n\nPer user:\n  Anna               2\n  Bob                2\n\n"
     "Per day:\n  2026-12-06          2\n  2026-12-07          2\n"},
    {{"--check", "LOG"}, 0, kHas, "6 entries"},
    {{"--help"}, 0, kHas, "Usage: quibbet_log [OPTION]... [FILE]"},
    {{"--version"}, 0, kHas, "quibbet_log 1.0"},
    {{"DIR/none.txt"}, 3, kErr, "none.txt: no such log file"},
    {{"DIR"}, 4, kErr, "cannot be read: Is a directory"},
    {{"--since", "2026-02-30", "LOG"}, 2, kErr, "--since: \"2026-02-30\" is not a date"},
    {{"--colour", "LOG"}, 2, kErr, "unknown option --colour"},
    {{"LOG", "--user"}, 2, kErr, "--user needs a value"},
    {{"--kind", "warning", "LOG"}, 2, kErr, "\"warning\" is not message, stop or declined"},
    {{"--format", "xml", "LOG"}, 2, kErr, "is not text, csv or json"},
    {{"LOG", "LOG"}, 2, kErr, "one log file only"},
    {{"--follow", "--check", "LOG"}, 2, kErr, "goes with neither"},
    {{"--since", "2026-12-07", "--until", "2026-12-06", "LOG"}, 2, kErr, "--since is after --until"},
};

TEST_F(QuibbetLogTest, EachCommandLinePrintsAndReturnsItsOwn) {
  for (const Case& c : kCases) {
    std::vector<std::string> args;
    for (const std::string& arg : c.args) {
      if (arg == "CSV") args.insert(args.end(), {"--format", "csv", "LOG"});
      else args.push_back(arg);
    }
    for (std::string& arg : args) {
      if (arg == "LOG") arg = log_.string();
      if (arg.starts_with("DIR")) arg = dir_.string() + arg.substr(3);
    }
    SCOPED_TRACE(::testing::PrintToString(args));
    const Outcome run = Tool(args);
    EXPECT_EQ(run.status, c.status) << run.err;
    const std::string& stream = c.check == kErr ? run.err : run.out;
    const bool has = stream.find(c.expected) != std::string::npos;
    EXPECT_EQ(c.check == kLines ? Lines(run.out) : c.check == kOut || !has ? stream : c.expected, c.expected);
  }
}

TEST_F(QuibbetLogTest, CsvAndJsonReadBackInPython) {
  const Outcome rows = Python(Tool({"--format", "csv", log_.string()}).out,
                              "for row in csv.reader(f):\n  print('|'.join(v.replace('\\r\\n', '\\\\n') for v in row))");
  ASSERT_EQ(rows.status, 0) << rows.err;
  EXPECT_EQ(rows.out,
            "line|kind|date|time|user|computer|window_title|title|text|shown_buttons|pressed_button|clipped\n"
            "1|message|2026-12-06|09:04:05|Anna|TESTPC|Orders|Attention!|Save the\\norder?|YES|NO|NO|\n"
            "9|stop|2026-12-06|09:04:05|Anna|TESTPC|Orders||Leaving|||\n"
            "13|declined|2026-12-06|09:04:05|Anna|TESTPC||||||\n"
            "15|message|2026-12-07|17:30:00|Bob|TESTPC|Customers, \"big\"|Hello|Gr\xC3\xBC\xC3\x9F" "e caf\xEF\xBF\xBD \xF0\x9F\x98\x80|Keep|Drop|Drop|\n"
            "22|stop|2026-12-07|17:30:00|Bob|TESTPC|Customers, \"big\"||Bye, \"all\"|||\n"
            "26|declined|2026-12-07|17:30:00|Bob|TESTPC||||||\n");

  // JSON lines with the local offset (the offsets of each zone and season: the moments' own test).
  const std::string readJson =
      "for line in f:\n  e = json.loads(line)\n  print(e['kind'], e['time'], e['user'], ascii(e.get('text')), e.get('pressed_button'))";
  const Outcome berlin = Python(Tool({"--format", "json", log_.string()}, "Europe/Berlin").out, readJson);
  EXPECT_EQ(berlin.out.substr(0, berlin.out.find('\n')), "message 2026-12-06T09:04:05+01:00 Anna 'Save the\\r\\norder?' NO");
  EXPECT_EQ(Python(Tool({"--format", "json", "--user", "bob", log_.string()}).out, readJson).out,
            "message 2026-12-07T17:30:00+00:00 Bob 'Gr\\xfc\\xdfe caf\\ufffd \\U0001f600' Drop\n"
            "stop 2026-12-07T17:30:00+00:00 Bob 'Bye, \"all\"' None\n"
            "declined 2026-12-07T17:30:00+00:00 Bob None None\n");
}

TEST_F(QuibbetLogTest, DamagedEntriesAreListedByCheckAndSkippedByTheListing) {
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
  EXPECT_EQ(Lines(list.out), "8 12 15 22");
  EXPECT_NE(list.err.find("3 damaged entries left out"), std::string::npos) << list.err;
}

TEST_F(QuibbetLogTest, OutputThatCannotBeWrittenIsNotReportedAsDone) {
  const Outcome run = Process({QUIBBET_LOG_TOOL, "--format", "csv", log_.string()}, dir_, "UTC", "/dev/full").Wait();
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.err.find("cannot write the output: No space left on device"), std::string::npos) << run.err;
}

TEST_F(QuibbetLogTest, FollowPrintsNewEntriesAndKeepsUpWhenTheFileIsReplaced) {
  Process follow({QUIBBET_LOG_TOOL, "--follow", "--format", "json", log_.string()}, dir_);
  EXPECT_NE(follow.OutputWith("Bye").find("Bye"), std::string::npos);

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
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 8) << out;  // the six, the first, the second
}

TEST_F(QuibbetLogTest, WithoutAFileItReadsTheLogBesideItself) {
  const std::filesystem::path tool = dir_ / "bin" / "quibbet_log";
  std::filesystem::create_directory(dir_ / "bin");
  std::filesystem::copy_file(QUIBBET_LOG_TOOL, tool);
  std::filesystem::copy_file(log_, dir_ / "bin" / "Quibbet_.txt");
  const Outcome run = Process({tool.string(), "--summary"}, dir_).Wait();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(0, run.out.find('\n')), "6 entries: messages 2, stops 2, declined stops 2");
}

}  // namespace
