// Hostile data files: the input is the whole of a KEYED data file (seeded with files the tests
// write: set QUIBBET_FUZZ_SEEDS to a folder and run test_rt_keyed). The file is opened, read
// through a view in a key order and in an order no key serves (every field through the order
// function) with a filter, and built. Besides the sanitizers' own checks it traps when a
// documented property breaks: a refused open or build (36, 46, 47, …) leaves every byte of the
// file as it was, and every failure carries a code with its text. A hang shows as libFuzzer's
// time-out.

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "app/afile_record.h"
#include "runtime/core/last_error.h"
#include "runtime/data/bind.h"
#include "runtime/data/file.h"
#include "runtime/data/view.h"

namespace {

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

// One folder per process, made once; the file is written afresh for every input.
const std::string& Folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/quibbet_fuzz_keyed_XXXXXX";
    const char* made = ::mkdtemp(pattern);
    return std::string(made ? made : "/tmp");
  }();
  return folder;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

rt::FileDecl Declaration(const std::string& name) {
  rt::FileDecl decl;
  decl.label = "AFile";
  decl.driver = "KEYED";
  decl.name = name;
  decl.layout = &AFileLayout();
  decl.keys = {
      {"AFI:IDKey", {{1, true}}, true, false, false, true},
      {"AFI:StrKey", {{2, true}, {1, false}}, false, true, false, false},
      {"AFI:DateKey", {{4, true}}, false, false, true, false},
  };
  return decl;
}

void ReadThrough(rt::File& file, const char* order, const char* filter) {
  rt::View view(file);
  view.SetProperty(rt::PropViewOrder, order);
  view.SetProperty(rt::PropViewFilter, filter);
  view.Open();
  if (rt::ErrorCode() != 0) return;
  for (int row = 0; row < 10000; ++row) {
    view.Next();
    if (rt::ErrorCode() == rt::NoRecErr) break;
    if (rt::ErrorCode() != 0 && rt::ErrorCode() != rt::IsHeldErr) {
      Check(!rt::Error().empty());
      break;
    }
    const std::string position = view.Position();
    view.Reget(position);  // a position the view gave must lead back
  }
  view.Close();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string base = Folder() + "/AFILE";
  const std::string path = base + ".db";
  for (const char* suffix : {".db", ".db-wal", ".db-shm", ".db-journal", ".db-lock"}) std::remove((base + suffix).c_str());
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::ofstream(path, std::ios::binary) << input;

  const rt::FileDecl decl = Declaration(base);
  AFI_Record record;
  rt::File file(decl, record);
  rt::PushBind();
  rt::BindG(AFileLayout(), &record);
  file.Open(rt::ReadWrite | rt::DenyNone);
  if (rt::ErrorCode() != 0) {
    Check(!rt::Error().empty());
    Check(Bytes(path) == input);  // refused: not a byte changed
  } else {
    ReadThrough(file, "+AFI:ID", "AFI:ID > 0");
    ReadThrough(file, "+AFI:ASTRING,-AFI:ADECIMAL,+AFI:ADATE", "AFI:ASTRING <> 'x'");
    file.Close();
  }
  const std::string beforeBuild = Bytes(path);
  file.Build();
  if (rt::ErrorCode() == rt::InvalidFileErr) Check(Bytes(path) == beforeBuild);
  rt::PopBind();
  return 0;
}
