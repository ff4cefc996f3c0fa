#pragma once
// FilesManager: one thread's registry of its file and relation managers (by file label, the
// address of the thread's instance of the file), and the usage status per procedure and file that
// lets a nested procedure save the file's state when it starts using a file its caller uses and
// give it back when it closes the file. One instance per program thread (FileRegistry), built
// when the thread starts and destroyed when it ends; not locked. Owns only its tables; calls
// FileManager's SaveFile/RestoreFile and ErrorClass's procedure name.

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "runtime/core/thread.h"
#include "runtime/core/types.h"

namespace rt {
class File;
}
class FileManager;
class RelationManager;

using FileLabel = std::uintptr_t;

class FilesManager {
 public:
  // One entry per (thread, file, nesting level).
  struct Status {
    rt::Long Thread = 0;
    std::string Proc;        // the procedure that used the file
    FileLabel Id = 0;
    rt::Byte UStat = 0;      // highest use type seen
    rt::UShort Hold = 0;     // saved file state, 0 = none
    rt::UShort ScopeLevel = 0;
    rt::UShort NestedOpen = 0;
  };

  FilesManager() = default;
  FilesManager(const FilesManager&) = delete;
  FilesManager& operator=(const FilesManager&) = delete;

  // ---- Mappings ----
  void AddFileMapping(FileManager& fm);
  void AddFileMapping(RelationManager& rm);  // under the label of its own file manager's file
  FileManager* GetFileMapping(FileLabel label) const;
  RelationManager* GetRelationFileMapping(FileLabel label) const;
  void RemoveFileMapping(FileManager& fm);
  void RemoveFileMapping(FileLabel label);
  void RemoveRelationFileMapping(RelationManager& rm);
  void RemoveRelationFileMapping(FileLabel label);
  static FileLabel GetFileId(const rt::File* file) { return reinterpret_cast<FileLabel>(file); }

  // ---- Usage status ----
  void NoteUsage(FileManager& fm, rt::Byte level);
  void NoteOpen(FileManager& fm);
  void NoteClose(FileManager& fm);
  // 0 when the thread has an entry for fm's file (the innermost is then current), 5 when not.
  rt::Byte FindRecord(FileManager& fm);

  const std::vector<Status>& StatusQ() const { return statusQ_; }

 private:
  static FileLabel LabelOf(const FileManager& fm);
  static std::string ProcedureOf(FileManager& fm);
  bool InnermostIsCurrent(FileManager& fm);

  std::map<FileLabel, FileManager*> fileMapping_;
  std::map<FileLabel, RelationManager*> relationMapping_;
  std::vector<Status> statusQ_;
  std::size_t current_ = 0;  // index FindRecord stopped on
};

// Built after the thread's runtime state and before its files; destroyed after its dictionary
// (the program's thread order table says so).
extern rt::PerThread<FilesManager> FileRegistry;
