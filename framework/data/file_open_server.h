#pragma once
// The open servers: who physically opens and closes a data file for its file managers. A
// per-thread file gets one ThreadedFileOpenServer per manager; a file shared by all threads gets
// one UnthreadedFileOpenServer for the whole process, which opens the file once and closes it
// when its last user closes it, counting under its own critical section. Owns the servers (the
// process-wide map owns the shared ones); calls the runtime's file open and close.

#include <cstdint>
#include <memory>

#include "framework/util/critical_section.h"
#include "runtime/core/types.h"
#include "runtime/data/file.h"

// ---- The interface a file manager holds ----

class IFileOpenServer {
 public:
  // Both return the runtime's error code; 0 (52, already open, counts as 0) on success.
  virtual rt::Long OpenFile(rt::Long mode) = 0;
  virtual rt::Long CloseFile() = 0;
  virtual void Link() = 0;     // one more user
  virtual void Release() = 0;  // one user fewer; the last one disposes of the server

 protected:
  ~IFileOpenServer() = default;  // servers end through Release, never through this interface
};

// A server reference that gives its link back when it goes.
struct ReleaseFileOpenServer {
  void operator()(IFileOpenServer* server) const {
    if (server) server->Release();
  }
};
using FileOpenServerRef = std::unique_ptr<IFileOpenServer, ReleaseFileOpenServer>;

// ---- The servers ----

class FileOpenServer : public IFileOpenServer {
 public:
  FileOpenServer() = default;
  virtual ~FileOpenServer() = default;
  FileOpenServer(const FileOpenServer&) = delete;
  FileOpenServer& operator=(const FileOpenServer&) = delete;

  virtual void Init(rt::File& file);
  rt::Long OpenFile(rt::Long mode) override;
  rt::Long CloseFile() override;
  void Link() override;
  void Release() override;  // Usage 0: the server deletes itself

 protected:
  rt::File* MyFile = nullptr;
  rt::Long Usage = 0;  // extra links
};

class ThreadedFileOpenServer : public FileOpenServer {};

class UnthreadedFileOpenServer : public FileOpenServer {
 public:
  void Init(rt::File& file) override;
  rt::Long OpenFile(rt::Long mode) override;
  rt::Long CloseFile() override;
  void Link() override;
  // Usage 0: leaves UnthreadedFileOpenerMap, which disposes of the server.
  void Release() override;

  rt::Long PhysicalOpens() const { return FileUsageCount; }

 private:
  CriticalSection CSect;
  rt::Long FileUsageCount = 0;  // physical opens outstanding
};

// ---- Making servers ----

// By the file's per-thread property: threaded when it is per-thread, else the process's shared one.
FileOpenServerRef CreateFileOpenServer(rt::File& file);
FileOpenServerRef CreateFileOpenServer(rt::File& file, rt::Long threaded);
FileOpenServerRef CreateThreadedFileOpenServer(rt::File& file);
// The shared server of this file: made on first call, linked on every later one.
FileOpenServerRef CreateUnthreadedFileOpenServer(rt::File& file);

// The shared server now serving `file`, or null (for tests and diagnostics).
UnthreadedFileOpenServer* FindUnthreadedFileOpenServer(const rt::File& file);
