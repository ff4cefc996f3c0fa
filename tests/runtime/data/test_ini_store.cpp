// The INI store and the registry store: reading the format's variants, edits that keep every
// other byte, rejected input, errors and what survives a write, the lock between writers in
// threads and processes, and interop with Python's configparser in both directions.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "runtime/core/last_error.h"
#include "runtime/data/ini_store.h"
#include "runtime/data/registry_store.h"
#include "tests/runtime/data/child_process.h"
#include "tests/support/configparser.h"
#include "tests/support/files.h"
#include "tests/support/param_names.h"

namespace {

namespace fs = std::filesystem;

constexpr char kMissing[] = "<missing>";

void WriteAll(const fs::path& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

// Text with embedded zero bytes, its length taken from the literal.
template <std::size_t N>
std::string Bytes(const char (&literal)[N]) {
  return std::string(literal, N - 1);
}

class IniStoreTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = (dir_ / "settings.ini").string();
};

// ---- Reading: every row names the fault it would catch ----

struct ReadRow {
  const char* reason;
  std::string text;
  const char* section;
  const char* key;
  const char* expected;  // kMissing: the default comes back
};

class IniReadTest : public IniStoreTest, public ::testing::WithParamInterface<ReadRow> {};

TEST_P(IniReadTest, ReadsValueOrDefault) {
  const ReadRow& row = GetParam();
  WriteAll(path_, row.text);
  rt::SetError(rt::NoAccessErr);
  EXPECT_EQ(rt::GetIni(row.section, row.key, kMissing, path_), row.expected);
  EXPECT_EQ(rt::ErrorCode(), rt::NoAccessErr) << "a read must leave the last error alone";
}

const std::string kBom = "\xEF\xBB\xBF";

INSTANTIATE_TEST_SUITE_P(
    Format, IniReadTest,
    ::testing::Values(
        ReadRow{"R04 blanks around names and equals", "[ Sec ]\r\n \t Key \t= \t v\r\n", "Sec", "Key", "v"},
        ReadRow{"R05 trailing blanks of value trimmed", "[Sec]\r\nKey=v w  \t\r\n", "Sec", "Key", "v w"},
        ReadRow{"R09 no line end after last line", "[Sec]\r\nKey=v", "Sec", "Key", "v"},
        ReadRow{"R10 semicolon comment is not a key", "[Sec]\r\n;Key=x\r\n", "Sec", "Key", kMissing},
        ReadRow{"R11 hash comment after blanks is not a key", "[Sec]\r\n  # Key=x\r\nKey=y\r\n", "Sec", "Key", "y"},
        ReadRow{"R12 key of another section", "[Other]\r\nKey=x\r\n[Sec]\r\n", "Sec", "Key", kMissing},
        ReadRow{"R13 key before any header", "Key=x\r\n[Sec]\r\n", "Sec", "Key", kMissing},
        ReadRow{"R15 repeated section header continues it", "[Sec]\r\nA=1\r\n[X]\r\n[sec]\r\nKey=2\r\n", "Sec", "Key", "2"},
        ReadRow{"R17 bracket inside section name", "[a]b]\r\nKey=v\r\n", "a]b", "Key", "v"},
        ReadRow{"R20 unclosed bracket is no header", "[Sec]\r\n[Other\r\nKey=v\r\n", "Sec", "Key", "v"},
        ReadRow{"R21 longer key with same prefix", "[Sec]\r\nKeys=1\r\n", "Sec", "Key", kMissing},
        ReadRow{"R22 longer section with same prefix", "[Section]\r\nKey=1\r\n", "Sec", "Key", kMissing},
        ReadRow{"R23 empty file", "", "Sec", "Key", kMissing},
        ReadRow{"R24 binary junk lines around the key", Bytes("\0\xff\x01\r\n[Sec]\r\n\x80\x81\r\nKey=v\r\n\0\0"), "Sec", "Key", "v"},
        ReadRow{"R24b junk before the bracket: no header", Bytes("\0\xff[Sec]\r\nKey=v\r\n"), "Sec", "Key", kMissing}),
    ByReason());

// ---- Writing: the exact bytes afterwards, and the value read back (which also covers the plain
// reads: names in either case, blanks around '=', LF lines, a byte order mark, duplicates, empty
// values); input that would not read back is refused with an error, the file untouched ----

struct WriteRow {
  const char* reason;
  std::optional<std::string> before;  // nullopt: no file
  const char* section;
  const char* key;
  std::optional<const char*> value;   // nullopt: delete
  std::optional<std::string> after;   // nullopt: still no file
  bool refused = false;
};

class IniWriteTest : public IniStoreTest, public ::testing::WithParamInterface<WriteRow> {};

TEST_P(IniWriteTest, ChangesOnlyTheKeyOrRefusesWhatWouldNotReadBack) {
  const WriteRow& row = GetParam();
  if (row.before) WriteAll(path_, *row.before);
  rt::SetError(rt::NoAccessErr);
  rt::PutIni(row.section, row.key, row.value ? std::optional<std::string_view>(*row.value) : std::nullopt, path_);
  EXPECT_EQ(rt::ErrorCode(), row.refused ? rt::FileSystemErr : 0) << rt::FileError();
  EXPECT_EQ(rt::FileErrorCode(), row.refused ? "22" : "");
  if (!row.after) {
    EXPECT_FALSE(fs::exists(path_));
    return;
  }
  EXPECT_EQ(ReadFile(path_), *row.after);
  EXPECT_EQ(rt::GetIni(row.section, row.key, kMissing, path_), row.value && !row.refused ? *row.value : kMissing);
}

const std::string kAx1 = "[A]\r\nx=1\r\n";

INSTANTIATE_TEST_SUITE_P(
    Edits, IniWriteTest,
    ::testing::Values(
        WriteRow{"W01 missing file is created with CR LF", std::nullopt, "Sec", "Key", "v", "[Sec]\r\nKey=v\r\n"},
        WriteRow{"W02 update keeps name case and blanks", "[sec]\r\nKEY = old\r\n", "Sec", "key", "new", "[sec]\r\nKEY = new\r\n"},
        WriteRow{"W03 new key after the section's last key", "[A]\r\nx=1\r\n\r\n; about B\r\n[B]\r\ny=2\r\n", "A", "z", "3", "[A]\r\nx=1\r\nz=3\r\n\r\n; about B\r\n[B]\r\ny=2\r\n"},
        WriteRow{"W05 new section at end after a blank line", "[A]\r\nx=1\r\n", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
        WriteRow{"W06 no second blank line before new section", "[A]\r\nx=1\r\n\r\n", "B", "y", "2", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n"},
        WriteRow{"W07 LF file gets LF lines", "[A]\nx=1\n", "A", "y", "2", "[A]\nx=1\ny=2\n"},
        WriteRow{"W08 last line without line end", "[A]\r\nx=1", "A", "y", "2", "[A]\r\nx=1\r\ny=2\r\n"},
        WriteRow{"W09 byte order mark kept", kBom + "[A]\r\nx=1\r\n", "a", "X", "9", kBom + "[A]\r\nx=9\r\n"},
        WriteRow{"W11 delete removes every duplicate", "[A]\r\nx=1\r\n[B]\r\n[a]\r\nX=2\r\n", "A", "x", std::nullopt, "[A]\r\n[B]\r\n[a]\r\n"},
        WriteRow{"W12 delete of missing key changes no byte", "junk\r\n[A]\r\ny=1", "A", "x", std::nullopt, "junk\r\n[A]\r\ny=1"},
        WriteRow{"W13 delete on missing file creates none", std::nullopt, "A", "x", std::nullopt, std::nullopt},
        WriteRow{"W14 update of duplicate changes the first", "[A]\r\nx=1\r\nx=2\r\n", "A", "x", "3", "[A]\r\nx=3\r\nx=2\r\n"},
        WriteRow{"W15 key under empty header", "[A]\r\n[B]\r\n", "A", "x", "1", "[A]\r\nx=1\r\n[B]\r\n"},
        WriteRow{"W16 key before first header untouched", "x=0\r\n[A]\r\n", "A", "x", "1", "x=0\r\n[A]\r\nx=1\r\n"},
        WriteRow{"W18 empty value written", "[A]\r\nx=1\r\n", "A", "x", "", "[A]\r\nx=\r\n"},
        WriteRow{"W19 binary junk kept byte for byte", Bytes("\0\xff\r\n[A]\r\n\x01=\x02\r\n"), "A", "k", "v", Bytes("\0\xff\r\n[A]\r\n\x01=\x02\r\nk=v\r\n")},
        WriteRow{"W20 blanks around given names dropped", std::nullopt, " Sec ", " Key ", "v", "[Sec]\r\nKey=v\r\n"},
        WriteRow{"W21 repeated header: key goes to first occurrence", "[A]\r\nx=1\r\n[B]\r\n[A]\r\ny=2\r\n", "A", "z", "3", "[A]\r\nx=1\r\nz=3\r\n[B]\r\n[A]\r\ny=2\r\n"},
        WriteRow{"J01 CR LF in value would inject a section", kAx1, "A", "k", "v\r\n[B]\r\ny=2", kAx1, true},
        WriteRow{"J03 line break in section", kAx1, "A\nB", "k", "v", kAx1, true},
        WriteRow{"J04 lone CR inside key", kAx1, "A", "k\rx", "v", kAx1, true},
        WriteRow{"J05 equals in key", kAx1, "A", "k=x", "v", kAx1, true},
        WriteRow{"J06 key that reads as comment", kAx1, "A", ";k", "v", kAx1, true},
        WriteRow{"J07 key that reads as header", kAx1, "A", "[k]", "v", kAx1, true},
        WriteRow{"J08 blank section", kAx1, "  ", "k", "v", kAx1, true},
        WriteRow{"J09 empty key", kAx1, "A", "", "v", kAx1, true},
        WriteRow{"J10 comment sign later in key is fine", kAx1, "A", "k;1", "v", kAx1 + "k;1=v\r\n"},
        WriteRow{"J11 bracket later in key is fine", kAx1, "A", "k[1]", "v", kAx1 + "k[1]=v\r\n"},
        WriteRow{"J12 brackets in section are fine", kAx1, "[A]", "k", "v", kAx1 + "\r\n[[A]]\r\nk=v\r\n"}),
    ByReason());

// ---- The file system: a failed write is reported, a good one clears the error, what stands at
// the path survives (a folder, a link, its permissions, a reader's old file), and a read of what
// is no INI file (none there, no name, a folder) gives the default ----

TEST_F(IniStoreTest, WriteFailuresAreReportedAndTheFileSurvives) {
  WriteAll(dir_ / "plain", "x");
  fs::create_directories(dir_ / "folder.ini");
  WriteAll(dir_ / "real.ini", "[A]\r\nx=1\r\n");
  fs::permissions(dir_ / "real.ini", fs::perms(0640));
  fs::create_symlink("real.ini", dir_ / "link.ini");
  WriteAll(path_, "[A]\r\nx=1\r\n");
  std::ifstream before(path_, std::ios::binary);  // a reader during the write sees the old file whole
  struct Case {
    std::string path;
    rt::Long code;
  };
  for (const Case& c : {Case{(dir_ / "no_such_dir" / "x.ini").string(), rt::NoPathErr}, Case{(dir_ / "plain" / "x.ini").string(), rt::NoPathErr},
                        Case{(dir_ / "folder.ini").string(), rt::NoAccessErr}, Case{"", rt::NoPathErr}, Case{path_, 0},
                        Case{(dir_ / "link.ini").string(), 0}}) {
    rt::SetError(rt::NoAccessErr);
    EXPECT_EQ(rt::GetIni("A", "y", "dflt", c.path), "dflt") << c.path;
    rt::PutIni("A", "y", "2", c.path);
    EXPECT_EQ(rt::ErrorCode(), c.code) << c.path;
  }
  EXPECT_EQ(rt::FileErrorCode(), "");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(before), {}), "[A]\r\nx=1\r\n") << "the file was written in place";
  EXPECT_EQ(ReadFile(path_), "[A]\r\nx=1\r\ny=2\r\n");
  EXPECT_TRUE(fs::is_directory(dir_ / "folder.ini"));
  EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini")) << "the rename replaced the link by a plain file";
  EXPECT_EQ(ReadFile(dir_ / "real.ini"), "[A]\r\nx=1\r\ny=2\r\n");
  EXPECT_EQ(fs::status(dir_ / "real.ini").permissions() & fs::perms::all, fs::perms(0640));
  // No temporaries pile up next to the settings files after writes and failures.
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_.Path())) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"folder.ini", "folder.ini.lock", "link.ini", "plain", "real.ini", "real.ini.lock",
                                             "settings.ini", "settings.ini.lock"}));
}

// ---- Paths ----

TEST_F(IniStoreTest, WindowsStyleFileNames) {
  // Fault: '\' taken as part of the file name, so ".\x.INI" lands in a file named ".\x.INI".
  fs::create_directories(dir_ / "sub");
  {
    const ScopedCurrentDirectory here(dir_.Path());
    rt::PutIni("Window", "XPos", "10", ".\\Quibbet_demo.INI");
    rt::PutIni("Window", "YPos", "20", ".\\sub\\Quibbet_demo.INI");
    EXPECT_EQ(rt::GetIni("window", "xpos", "", "./Quibbet_demo.INI"), "10");
  }
  EXPECT_EQ(ReadFile(dir_ / "sub" / "Quibbet_demo.INI"), "[Window]\r\nYPos=20\r\n");
  std::string absolute = (dir_ / "sub" / "Quibbet_demo.INI").string();
  std::replace(absolute.begin(), absolute.end(), '/', '\\');
  EXPECT_EQ(rt::GetIni("Window", "YPos", "", absolute), "20");
}

// ---- Content that is not a tidy INI file ----

TEST_F(IniStoreTest, LargeFileWithHugeLineAndNoFinalLineEnd) {
  // Fault: a crash or a cut on long lines, or bytes outside the key lost on rewrite.
  std::string text = "[Big]\r\n";
  text += "Blob=" + std::string(1 << 20, 'x') + "\r\n";
  for (int i = 0; text.size() < 10u << 20; ++i) text += "k" + std::to_string(i) + "=" + std::string(100, 'y') + "\r\n";
  text += "[Tail]\r\nLast=end";  // no line end
  WriteAll(path_, text);
  EXPECT_EQ(rt::GetIni("Tail", "Last", "", path_), "end");
  EXPECT_EQ(rt::GetIni("Big", "Blob", "", path_).size(), 1u << 20);
  rt::PutIni("Tail", "Added", "1", path_);
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(ReadFile(path_), text + "\r\nAdded=1\r\n");
}

// ---- Atomic replace and locking ----

std::string KeyName(int writer, int n) { return "w" + std::to_string(writer) + "_" + std::to_string(n); }
std::string ValueOf(int writer, int n) { return "value," + std::to_string(writer * 1000 + n) + "=end"; }

TEST_F(IniStoreTest, TwoProcessesOfFourThreadsLoseNoKey) {
  // Fault: the lock only inside one process or one thread (or none), so a read-modify-write
  // overwrites keys another just wrote.
  constexpr int kProcesses = 2, kThreads = 4, kKeys = 30;
  std::vector<std::unique_ptr<test_processes::Child>> children;
  for (int p = 0; p < kProcesses; ++p) {
    children.push_back(std::make_unique<test_processes::Child>([&, p](int, int fromParent) {
      test_processes::Hear(fromParent);  // all start together
      std::atomic<int> failures{0};
      std::vector<std::thread> threads;
      for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([&, writer = p * kThreads + t] {
          for (int n = 0; n < kKeys; ++n) {
            rt::PutIni("S", KeyName(writer, n), ValueOf(writer, n), path_);
            if (rt::ErrorCode() != 0) ++failures;
          }
        });
      for (std::thread& thread : threads) thread.join();
      return failures == 0 ? 0 : 1;
    }));
  }
  for (auto& child : children) child->Send(1);
  for (auto& child : children) EXPECT_EQ(child->Wait(), 0) << "a writer process reported errors";
  for (int w = 0; w < kProcesses * kThreads; ++w)
    for (int n = 0; n < kKeys; ++n) EXPECT_EQ(rt::GetIni("S", KeyName(w, n), kMissing, path_), ValueOf(w, n));
}

// ---- Registry store ----

class RegistryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override { rt::testing::SetRegistryDirectory(dir_ / "registry"); }
  void TearDown() override { rt::testing::SetRegistryDirectory({}); }
  TempDir dir_;
};

// Fault: roots sharing one store, a delete that leaves the value, "\Software\Q\" and "software\q"
// naming different keys, the default value name lost, a delete from a store never written
// reported as an error or creating files, a store that cannot be made reported as success.
TEST_F(RegistryStoreTest, PutGetAndDeleteByRootAndKeyPath) {
  const rt::Long user = rt::kRegCurrentUser, classes = rt::kRegClassesRoot;
  rt::SetError(rt::NoAccessErr);
  rt::DeleteReg(user, "Software\\Q", "Name");
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_FALSE(fs::exists(dir_ / "registry" / "80000001.ini"));

  rt::PutReg(user, "\\Software\\\\Q\\", "XPos", "11,a=b");
  ASSERT_EQ(rt::ErrorCode(), 0) << rt::FileError();
  rt::PutReg(classes, "Software\\Q", "XPos", "99");
  rt::PutReg(user, "Software\\Q", "", "default");
  EXPECT_EQ(rt::GetReg(user, "software\\q", "XPOS"), "11,a=b");
  EXPECT_EQ(rt::GetReg(classes, "Software\\Q", "XPos"), "99");
  EXPECT_EQ(rt::GetReg(user, "Software\\Q", ""), "default");
  EXPECT_EQ(rt::GetReg(user, "Software", "XPos"), "") << "a parent key holds no child's values";
  rt::DeleteReg(user, "Software\\Q", "XPos");
  EXPECT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(rt::GetReg(user, "Software\\Q", "XPos"), "");
  EXPECT_EQ(rt::GetReg(classes, "Software\\Q", "XPos"), "99");

  WriteAll(dir_ / "plain", "x");
  rt::testing::SetRegistryDirectory(dir_ / "plain" / "registry");
  rt::PutReg(user, "Software\\Q", "Name", "v");
  EXPECT_EQ(rt::ErrorCode(), rt::NoPathErr);
  EXPECT_EQ(rt::GetReg(user, "Software\\Q", "Name"), "");
}

// ---- Interop with Python's configparser: what one writes the other reads ----

TEST_F(IniStoreTest, ConfigparserAndWeReadWhatTheOtherWrote) {
  if (!HaveConfigparser()) GTEST_SKIP() << "python3 with configparser is not installed";
  // Fault: "key = value" with blanks, LF ends or blank separator lines read wrongly; a line end,
  // header or key form we write that configparser rejects or reads differently.
  struct Trip {
    const char* section;
    const char* key;
    const char* value;
  };
  const Trip trips[] = {{"Window", "XPos", "10"}, {"Other Section", "Mixed Key", "=a,b=c"}, {"Other Section", "Empty", ""},
                        {"Q$a$$$b$$T", "Query", "NAME = 'x%' , A:B ; c"}};
  std::vector<std::string> arguments = {"write", path_};
  std::string dump;
  for (const Trip& t : trips) {
    arguments.insert(arguments.end(), {t.section, t.key, t.value});
    dump += std::string(t.section) + "\t" + t.key + "\t" + t.value + "\n";
  }
  ASSERT_EQ(RunConfigparser(arguments), "wrote 4\n");
  for (const Trip& t : trips) EXPECT_EQ(rt::GetIni(t.section, t.key, kMissing, path_), t.value) << t.key;
  fs::remove(path_);
  for (const Trip& t : trips) rt::PutIni(t.section, t.key, t.value, path_);
  rt::PutIni("window", "XPOS", "10", path_);  // an update keeps the name's first spelling
  ASSERT_EQ(rt::ErrorCode(), 0);
  EXPECT_EQ(RunConfigparser({"dump", path_}), dump + "end 4\n") << ReadFile(path_);
}

}  // namespace
