#include "tests/runtime/data/fault_vfs.h"

#include <sqlite3.h>

#include <atomic>
#include <cstring>

namespace test_vfs {

namespace {

// One shim per process, like the VFS list it joins; the counters are the tests' only state.
std::atomic<int> failAt{0}, calls{0}, failCode{SQLITE_IOERR};
std::atomic<bool> failed{false};
void (*hookFunction)(void*) = nullptr;
void* hookContext = nullptr;
sqlite3_vfs* real = nullptr;
sqlite3_vfs shim;

struct File {
  sqlite3_file base;
  sqlite3_file* real;  // allocated right behind this struct
};

sqlite3_file* Real(sqlite3_file* file) { return reinterpret_cast<File*>(file)->real; }

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

int Close(sqlite3_file* f) { return Real(f)->pMethods ? Real(f)->pMethods->xClose(Real(f)) : SQLITE_OK; }
int Read(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
  return Real(f)->pMethods->xRead(Real(f), buffer, amount, offset);
}
int Write(sqlite3_file* f, const void* buffer, int amount, sqlite3_int64 offset) {
  if (Strike()) return failCode == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_WRITE;
  return Real(f)->pMethods->xWrite(Real(f), buffer, amount, offset);
}
int Truncate(sqlite3_file* f, sqlite3_int64 size) {
  if (Strike()) return failCode == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_TRUNCATE;
  return Real(f)->pMethods->xTruncate(Real(f), size);
}
int Sync(sqlite3_file* f, int flags) {
  if (Strike()) return failCode == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_FSYNC;
  return Real(f)->pMethods->xSync(Real(f), flags);
}
int FileSize(sqlite3_file* f, sqlite3_int64* size) { return Real(f)->pMethods->xFileSize(Real(f), size); }
int Lock(sqlite3_file* f, int level) {
  if (Strike()) return failCode == SQLITE_FULL ? SQLITE_FULL : SQLITE_IOERR_LOCK;
  return Real(f)->pMethods->xLock(Real(f), level);
}
int Unlock(sqlite3_file* f, int level) { return Real(f)->pMethods->xUnlock(Real(f), level); }
int CheckReservedLock(sqlite3_file* f, int* out) { return Real(f)->pMethods->xCheckReservedLock(Real(f), out); }
int FileControl(sqlite3_file* f, int op, void* arg) { return Real(f)->pMethods->xFileControl(Real(f), op, arg); }
int SectorSize(sqlite3_file* f) { return Real(f)->pMethods->xSectorSize(Real(f)); }
int DeviceCharacteristics(sqlite3_file* f) { return Real(f)->pMethods->xDeviceCharacteristics(Real(f)); }
int ShmMap(sqlite3_file* f, int page, int size, int extend, void volatile** out) {
  return Real(f)->pMethods->xShmMap(Real(f), page, size, extend, out);
}
int ShmLock(sqlite3_file* f, int offset, int n, int flags) { return Real(f)->pMethods->xShmLock(Real(f), offset, n, flags); }
void ShmBarrier(sqlite3_file* f) { Real(f)->pMethods->xShmBarrier(Real(f)); }
int ShmUnmap(sqlite3_file* f, int remove) { return Real(f)->pMethods->xShmUnmap(Real(f), remove); }

// Memory mapping is left out (iVersion 2), so every page goes through Read and Write.
const sqlite3_io_methods kMethods = {2,         Close,       Read,      Write,      Truncate,
                                     Sync,      FileSize,    Lock,      Unlock,     CheckReservedLock,
                                     FileControl, SectorSize, DeviceCharacteristics, ShmMap, ShmLock,
                                     ShmBarrier, ShmUnmap,   nullptr,   nullptr};

int Open(sqlite3_vfs*, sqlite3_filename name, sqlite3_file* file, int flags, int* outFlags) {
  File* wrapped = reinterpret_cast<File*>(file);
  wrapped->real = reinterpret_cast<sqlite3_file*>(wrapped + 1);
  std::memset(wrapped->real, 0, static_cast<std::size_t>(real->szOsFile));
  const int rc = real->xOpen(real, name, wrapped->real, flags, outFlags);
  // SQLite calls xClose only when pMethods is set: set it even on failure when the real file has
  // methods to close.
  wrapped->base.pMethods = wrapped->real->pMethods ? &kMethods : nullptr;
  return rc;
}

}  // namespace

void Install() {
  if (real) return;
  sqlite3_initialize();
  real = sqlite3_vfs_find(nullptr);
  shim = *real;  // the real one's own calls, except for opening a file
  shim.pNext = nullptr;
  shim.szOsFile = static_cast<int>(sizeof(File)) + real->szOsFile;
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
