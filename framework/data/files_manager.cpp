#include "framework/data/files_manager.h"

#include <algorithm>

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/error_class.h"
#include "runtime/core/assert.h"

rt::PerThread<FilesManager> FileRegistry{"FileRegistry"};

// ---- Mappings ----

void FilesManager::AddFileMapping(FileManager& fm) {
  const FileLabel label = LabelOf(fm);
  if (fileMapping_.count(label)) {
    rt::AssertReport("Mapping for file already exists for the FM", __FILE__, __LINE__);
    return;
  }
  fileMapping_[label] = &fm;
}

void FilesManager::AddFileMapping(RelationManager& rm) {
  RT_ASSERT(rm.Me != nullptr, "Relation manager without its file manager");
  if (!rm.Me) return;
  const FileLabel label = LabelOf(*rm.Me);
  if (relationMapping_.count(label)) {
    rt::AssertReport("Mapping for file already exists for the RM", __FILE__, __LINE__);
    return;
  }
  relationMapping_[label] = &rm;
}

FileManager* FilesManager::GetFileMapping(FileLabel label) const {
  const auto found = fileMapping_.find(label);
  return found == fileMapping_.end() ? nullptr : found->second;
}

RelationManager* FilesManager::GetRelationFileMapping(FileLabel label) const {
  const auto found = relationMapping_.find(label);
  return found == relationMapping_.end() ? nullptr : found->second;
}

void FilesManager::RemoveFileMapping(FileManager& fm) {
  // Only this manager's own mapping: another manager of the same file keeps its place.
  const auto found = fileMapping_.find(LabelOf(fm));
  if (found != fileMapping_.end() && found->second == &fm) fileMapping_.erase(found);
}

void FilesManager::RemoveFileMapping(FileLabel label) { fileMapping_.erase(label); }

void FilesManager::RemoveRelationFileMapping(RelationManager& rm) {
  for (auto it = relationMapping_.begin(); it != relationMapping_.end(); ++it) {
    if (it->second == &rm) {
      relationMapping_.erase(it);
      return;
    }
  }
}

void FilesManager::RemoveRelationFileMapping(FileLabel label) { relationMapping_.erase(label); }

FileLabel FilesManager::LabelOf(const FileManager& fm) { return GetFileId(fm.File); }

// ---- Usage status ----

std::string FilesManager::ProcedureOf(FileManager& fm) { return fm.Errors ? fm.Errors->GetProcedureName() : std::string(); }

rt::Byte FilesManager::FindRecord(FileManager& fm) {
  std::stable_sort(statusQ_.begin(), statusQ_.end(), [](const Status& a, const Status& b) {
    if (a.Thread != b.Thread) return a.Thread < b.Thread;
    if (a.Id != b.Id) return a.Id < b.Id;
    return a.ScopeLevel < b.ScopeLevel;
  });
  const rt::Long thread = rt::Thread();
  const FileLabel label = LabelOf(fm);
  bool found = false;
  for (std::size_t i = 0; i < statusQ_.size(); ++i) {
    if (statusQ_[i].Thread == thread && statusQ_[i].Id == label) {
      current_ = i;  // the last one is the innermost level
      found = true;
    }
  }
  return found ? 0 : 5;
}

bool FilesManager::InnermostIsCurrent(FileManager& fm) {
  return FindRecord(fm) == 0 && statusQ_[current_].Proc == ProcedureOf(fm);
}

void FilesManager::NoteUsage(FileManager& fm, rt::Byte level) {
  const bool found = FindRecord(fm) == 0;
  const std::string proc = ProcedureOf(fm);
  if (found && statusQ_[current_].Proc == proc) {
    statusQ_[current_].UStat = std::max(statusQ_[current_].UStat, level);
    return;
  }
  Status entry;
  entry.Thread = rt::Thread();
  entry.Proc = proc;
  entry.Id = LabelOf(fm);
  entry.UStat = level;
  entry.ScopeLevel = found ? static_cast<rt::UShort>(statusQ_[current_].ScopeLevel + 1) : 1;
  const rt::UShort scope = entry.ScopeLevel;
  statusQ_.push_back(entry);
  if (found && level < 3) {
    // SaveFile uses the file again, which finds the entry just added: add first, then save.
    const rt::UShort hold = fm.SaveFile();
    for (Status& status : statusQ_) {
      if (status.Id == entry.Id && status.Thread == entry.Thread && status.ScopeLevel == scope) status.Hold = hold;
    }
  }
}

void FilesManager::NoteOpen(FileManager& fm) {
  if (InnermostIsCurrent(fm)) ++statusQ_[current_].NestedOpen;
}

void FilesManager::NoteClose(FileManager& fm) {
  if (!InnermostIsCurrent(fm)) return;
  if (statusQ_[current_].NestedOpen > 0) {
    --statusQ_[current_].NestedOpen;
    return;
  }
  const Status entry = statusQ_[current_];
  if (entry.Hold != 0) {
    rt::UShort hold = entry.Hold;
    fm.RestoreFile(hold, entry.UStat < 3 ? 1 : 0);
  }
  // RestoreFile may have noted usage again: find the entry afresh before deleting it.
  for (auto it = statusQ_.begin(); it != statusQ_.end(); ++it) {
    if (it->Thread == entry.Thread && it->Id == entry.Id && it->ScopeLevel == entry.ScopeLevel) {
      statusQ_.erase(it);
      break;
    }
  }
}
