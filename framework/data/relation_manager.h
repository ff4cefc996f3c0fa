#pragma once
// RelationManager: stands beside one file's FileManager and knows that file's relations to other
// files. It opens and closes the file with its related files (walking a graph with cycles once
// per walk), and keeps referential integrity when a record is changed or deleted — clearing,
// restricting or cascading to the related records — inside one transaction frame over every
// file it touches when framing is on. Owns its relation list and the linking field pairs; never
// the managers it refers to. Calls FileManager, FilesManager and the runtime's frames.
//
// Subclass contract (the dictionary): Init with the file's manager; declare relations in
// DeferedAddRelations with AddRelation and the pairs' AddPair (left: this file's field, right:
// the related file's field). Kill before the file manager goes. Per thread, like the managers.

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "framework/error/levels.h"
#include "framework/util/field_pairs.h"
#include "runtime/core/thread.h"
#include "runtime/core/types.h"

class FileManager;

// Referential actions.
namespace RI {
inline constexpr rt::Byte None = 0;
inline constexpr rt::Byte Clear = 1;
inline constexpr rt::Byte Restrict = 2;
inline constexpr rt::Byte Cascade = 3;
inline bool LocalAction(rt::Byte mode) { return mode >= Clear && mode <= Cascade; }
}  // namespace RI

class RelationManager {
 public:
  struct Relation {
    RelationManager* File = nullptr;
    std::unique_ptr<BufferedPairsClass> Fields;
    std::size_t HisKey = 0;  // the related file's key that finds the related records; 0 none
    rt::Byte UpdateMode = RI::None;
    rt::Byte DeleteMode = RI::None;
    rt::Byte Opened = 0;
  };

  RelationManager() = default;
  virtual ~RelationManager();
  RelationManager(const RelationManager&) = delete;
  RelationManager& operator=(const RelationManager&) = delete;

  // ---- Virtual operations, in slot order ----
  virtual rt::Byte CancelAutoInc();
  virtual rt::Byte Close(rt::Byte cascading = 0);
  virtual rt::Byte Delete(rt::Byte query = 1);
  virtual rt::Byte DeleteSecondary(std::size_t hisKey, BufferedPairsClass& pairs, rt::Byte mode, rt::Byte childQuery);
  virtual void Kill();
  virtual rt::Byte Open(rt::Byte cascading = 0);
  virtual void Save();
  virtual void SetQuickScan(rt::Byte on, rt::Byte propagate = 0);
  virtual rt::Byte Insert();
  virtual rt::Byte Update(rt::Byte fromForm = 0);
  virtual rt::Byte UpdateSecondary(std::size_t hisKey, BufferedPairsClass& pairs, rt::Byte mode);
  virtual void DeferedAddRelations();

  // ---- Not virtual ----
  void Init(FileManager& fileManager, rt::Byte useLogout);
  rt::Byte ForceOpen(rt::Byte cascading = 0);
  rt::Byte OpenCloseServer(rt::Byte cascading, rt::Byte opening);
  void DeferedRelations();
  rt::Byte CascadeUpdates();
  rt::Byte LogoutPrime();
  rt::Byte LogoutInsert();
  rt::Byte LogoutUpdate();
  rt::Byte LogoutDelete();

  // ---- Fields, in declaration order ----
  FileManager* Me = nullptr;
  std::unique_ptr<std::vector<Relation>> Relations;
  void* AliasFile = nullptr;
  rt::Byte PrevUseLogout = 0;
  rt::Byte UseLogout = 0;
  rt::Byte UseLogoutOnInsert = 0;
  rt::Byte LogoutTimeout = 2;
  rt::Long LastTouched = 0;
  rt::Byte ForcingOpen = 0;
  rt::Byte DeferedRelationsDone = 0;

 protected:
  // Adds a relation to `related`; the caller adds the linking field pairs to the result.
  BufferedPairsClass& AddRelation(RelationManager& related, rt::Byte updateMode, rt::Byte deleteMode,
                                  std::size_t hisKey);

 private:
  rt::Byte StartFrame();
  void RollbackFrame();
  void CommitFrame();
  // Saves the related file, clears its record, sets the linking values (from pairs' buffer or
  // left side) and positions its key after them. Returns the saved state's handle.
  rt::UShort PositionRelated(std::size_t hisKey, BufferedPairsClass& pairs, bool fromBuffer);
  // Hands each related record that still carries the linking values to `act` (nullopt: go on;
  // a level: stop with it), then gives the related file its state back.
  rt::Byte WalkRelated(std::size_t hisKey, BufferedPairsClass& pairs, bool fromBuffer,
                       const std::function<std::optional<rt::Byte>()>& act);
  rt::Byte Refuse();
  void ClearLogoutMarks();
  // Marks this file for the frame and passes on to the relations `next` picks, entering each
  // manager once per walk however the graph cycles.
  rt::Byte MarkFiles(const std::function<rt::Byte(Relation&)>& next);
  // Opens the file with every related file and, with framing, marks the files (`mark`) and
  // starts the frame. Not Ok: all is closed again and no file stays marked.
  rt::Byte BeginChange(rt::Byte (RelationManager::*mark)());
  // UpdateSecondary for each relation whose linking values changed since Save.
  rt::Byte UpdateChangedRelations();  // rolls the frame back, reports Me's error: Level::Notify
  bool inLogoutWalk_ = false;  // cyclic relation graphs are marked once per walk
};

// The per-thread counter of cascading walks.
