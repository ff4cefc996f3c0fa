#include "framework/data/file_open_server.h"

#include <map>
#include <string>

#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"

namespace {

// The process-wide shared servers by file address, and the lock for making and finding them.
// Lock order: CreateOpenerCrit before any server's CSect.
std::map<std::uintptr_t, std::unique_ptr<UnthreadedFileOpenServer>>& UnthreadedFileOpenerMap() {
  static std::map<std::uintptr_t, std::unique_ptr<UnthreadedFileOpenServer>> map;
  return map;
}

CriticalSection& CreateOpenerCrit() {
  static CriticalSection crit;
  return crit;
}

std::uintptr_t FileId(const rt::File& file) { return reinterpret_cast<std::uintptr_t>(&file); }

// The runtime's code after an open: "already open" is as good as opened.
rt::Long OpenedCode() {
  const rt::Long code = rt::ErrorCode();
  return code == rt::IsOpenErr ? 0 : code;
}

}  // namespace

// ---- FileOpenServer ----

void FileOpenServer::Init(rt::File& file) {
  MyFile = &file;
  Usage = 0;
}

rt::Long FileOpenServer::OpenFile(rt::Long mode) {
  MyFile->Open(mode);
  return OpenedCode();
}

rt::Long FileOpenServer::CloseFile() {
  MyFile->Close();
  return rt::ErrorCode();
}

void FileOpenServer::Link() { ++Usage; }

void FileOpenServer::Release() {
  if (Usage == 0) {
    delete this;  // made by CreateThreadedFileOpenServer and owned by its links since
    return;
  }
  --Usage;
}

// ---- UnthreadedFileOpenServer ----

void UnthreadedFileOpenServer::Init(rt::File& file) {
  CriticalProcedure hold;
  hold.Init(CSect.GetIFace());
  FileOpenServer::Init(file);
  FileUsageCount = 0;
}

rt::Long UnthreadedFileOpenServer::OpenFile(rt::Long mode) {
  CriticalProcedure hold;
  hold.Init(CSect.GetIFace());
  if (FileUsageCount == 0) {
    const rt::Long code = FileOpenServer::OpenFile(mode);
    if (code != 0) return code;
  }
  ++FileUsageCount;
  return 0;
}

rt::Long UnthreadedFileOpenServer::CloseFile() {
  CriticalProcedure hold;
  hold.Init(CSect.GetIFace());
  if (FileUsageCount == 0) return 0;
  if (FileUsageCount == 1) {
    const rt::Long code = FileOpenServer::CloseFile();
    if (code != 0) return code;  // the count stays: a later close tries again
  }
  --FileUsageCount;
  return 0;
}

void UnthreadedFileOpenServer::Link() {
  CriticalProcedure hold;
  hold.Init(CSect.GetIFace());
  FileOpenServer::Link();
}

void UnthreadedFileOpenServer::Release() {
  CriticalProcedure mapHold;
  mapHold.Init(CreateOpenerCrit().GetIFace());
  CriticalProcedure hold;
  hold.Init(CSect.GetIFace());
  if (Usage > 0) {
    --Usage;
    return;
  }
  hold.Kill();  // let go of CSect before the map disposes of it with the server
  auto& map = UnthreadedFileOpenerMap();
  const auto found = map.find(FileId(*MyFile));
  RT_ASSERT(found != map.end() && found->second.get() == this, "Shared file open server missing from its map");
  if (found != map.end() && found->second.get() == this) map.erase(found);
}

// ---- Making servers ----

FileOpenServerRef CreateFileOpenServer(rt::File& file) {
  CriticalProcedure hold;
  hold.Init(CreateOpenerCrit().GetIFace());
  return CreateFileOpenServer(file, file.Property(rt::PropPerThread) == "1" ? 1 : 0);
}

FileOpenServerRef CreateFileOpenServer(rt::File& file, rt::Long threaded) {
  CriticalProcedure hold;
  hold.Init(CreateOpenerCrit().GetIFace());
  return threaded != 0 ? CreateThreadedFileOpenServer(file) : CreateUnthreadedFileOpenServer(file);
}

FileOpenServerRef CreateThreadedFileOpenServer(rt::File& file) {
  auto server = std::make_unique<ThreadedFileOpenServer>();
  server->Init(file);
  return FileOpenServerRef(server.release());  // from here on it ends through Release
}

FileOpenServerRef CreateUnthreadedFileOpenServer(rt::File& file) {
  CriticalProcedure hold;
  hold.Init(CreateOpenerCrit().GetIFace());
  auto& map = UnthreadedFileOpenerMap();
  auto& slot = map[FileId(file)];
  if (!slot) {
    slot = std::make_unique<UnthreadedFileOpenServer>();
    slot->Init(file);
  } else {
    slot->Link();
  }
  return FileOpenServerRef(slot.get());
}

UnthreadedFileOpenServer* FindUnthreadedFileOpenServer(const rt::File& file) {
  CriticalProcedure hold;
  hold.Init(CreateOpenerCrit().GetIFace());
  const auto& map = UnthreadedFileOpenerMap();
  const auto found = map.find(FileId(file));
  return found == map.end() ? nullptr : found->second.get();
}
