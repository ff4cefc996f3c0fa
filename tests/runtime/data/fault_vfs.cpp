#include "tests/runtime/data/fault_vfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstdlib>
#include <iterator>
#include <mutex>

namespace test_vfs {

namespace {

// One shim per process, like the VFS list it joins; the counters are the tests' only state.
std::atomic<int> failAt{0}, calls{0}, failCode{SQLITE_IOERR};
std::atomic<bool> failed{false};
void (*hookFunction)(void*) = nullptr;
void* hookContext = nullptr;
sqlite3_vfs* real = nullptr;
sqlite3_vfs shim;
// Each method table the real VFS gives its files, and the shim's copy of it: the copy replaces
// the faultable calls and forwards the rest, on the real file itself.
struct Methods {
  const sqlite3_io_methods* real = nullptr;
  sqlite3_io_methods copy;
};
Methods tables[4];
std::mutex tablesLock;

const sqlite3_io_methods* Real(sqlite3_file* f) {
  for (const Methods& t : tables)
    if (f->pMethods == &t.copy) return t.real;
  std::abort();  // not opened through the shim
}

// Counts one faultable call; true when this one is to fail.
bool Strike() {
  const int at = failAt.load();
  if (at <= 0) return false;
  if (++calls != at) return false;
  if (hookFunction) {
    failAt = 0;
    hookFunction(hookContext);
    return false;
  }
  failed = true;
  return true;
}

int Fail(int ioError) { return failCode == SQLITE_FULL ? SQLITE_FULL : ioError; }

int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  return Strike() ? Fail(SQLITE_IOERR_WRITE) : Real(f)->xWrite(f, buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  return Strike() ? Fail(SQLITE_IOERR_TRUNCATE) : Real(f)->xTruncate(f, size);
}
int Sync(sqlite3_file* f, int flags) { return Strike() ? Fail(SQLITE_IOERR_FSYNC) : Real(f)->xSync(f, flags); }
int Lock(sqlite3_file* f, int level) { return Strike() ? Fail(SQLITE_IOERR_LOCK) : Real(f)->xLock(f, level); }

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  const int rc = real->xOpen(real, name, file, flags, outFlags);
  if (!file->pMethods) return rc;
  const std::lock_guard<std::mutex> hold(tablesLock);
  Methods* t = tables;
  while (t->real && t->real != file->pMethods)
    if (++t == std::end(tables)) std::abort();  // more tables than the real VFS has
  if (!t->real) {
    t->real = file->pMethods;
    t->copy = *file->pMethods;
    t->copy.iVersion = 2;  // no memory mapping: every page goes through Read and Write
    t->copy.xWrite = Write;
    t->copy.xTruncate = Truncate;
    t->copy.xSync = Sync;
    t->copy.xLock = Lock;
  }
  file->pMethods = &t->copy;
  return rc;
}

}  // namespace

void Install() {
  if (real) return;
  sqlite3_initialize();
  real = sqlite3_vfs_find(nullptr);
  shim = *real;  // the real one's own calls, except for opening a file
  shim.pNext = nullptr;
  shim.zName = "quibbet-faults";
  shim.xOpen = Open;
  sqlite3_vfs_register(&shim, 1);
}

void Arm(int at, int code) {
  hookFunction = nullptr;
  calls = 0;
  failed = false;
  failCode = code;
  failAt = at;
}

void ArmHook(int at, void (*hook)(void*), void* context) {
  Arm(at, 0);
  hookContext = context;
  hookFunction = hook;
}

void Disarm() {
  failAt = 0;
  hookFunction = nullptr;
}
bool Failed() { return failed; }

}  // namespace test_vfs
