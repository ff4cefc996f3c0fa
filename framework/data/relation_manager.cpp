// RelationManager: opening and closing with related files, referential integrity on update and
// delete, and the transaction frames around them.

#include "framework/data/relation_manager.h"

#include <functional>
#include <optional>

#include "framework/data/file_manager.h"
#include "framework/data/files_manager.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/data/file.h"

namespace {

// Raised by every top-level walk; a manager stamped with the current value was visited already.
rt::PerThread<rt::Long> Epoc{"RelationEpoc"};

// A relation's related records are found through its key only; without one it serves opening.
bool WalksRecords(const RelationManager::Relation& relation) { return relation.HisKey != 0; }

}  // namespace

RelationManager::~RelationManager() { RelationManager::Kill(); }

// ---- Life cycle ----

void RelationManager::Init(FileManager& fileManager, rt::Byte useLogout) {
  Me = &fileManager;
  Relations = std::make_unique<std::vector<Relation>>();
  UseLogout = useLogout;
  LogoutTimeout = 2;
  FileRegistry->AddFileMapping(*this);
}

void RelationManager::Kill() {
  if (!Relations) return;
  FileRegistry->RemoveRelationFileMapping(*this);
  for (Relation& relation : *Relations) relation.Fields.reset();
  Relations.reset();
}

void RelationManager::DeferedAddRelations() {}

void RelationManager::DeferedRelations() {
  if (DeferedRelationsDone) return;
  DeferedRelationsDone = 1;
  DeferedAddRelations();
}

BufferedPairsClass& RelationManager::AddRelation(RelationManager& related, rt::Byte updateMode, rt::Byte deleteMode,
                                                 std::size_t hisKey) {
  RT_ASSERT(Relations != nullptr, "Relation manager incorrectly initialized.");
  if (!Relations) Relations = std::make_unique<std::vector<Relation>>();
  Relation relation;
  relation.File = &related;
  relation.Fields = std::make_unique<BufferedPairsClass>();
  relation.Fields->Init();
  relation.HisKey = hisKey;
  relation.UpdateMode = updateMode;
  relation.DeleteMode = deleteMode;
  Relations->push_back(std::move(relation));
  return *Relations->back().Fields;
}

// ---- Open and close ----

rt::Byte RelationManager::OpenCloseServer(rt::Byte cascading, rt::Byte opening) {
  if (cascading && LastTouched == *Epoc) return Level::Ok;
  if (!cascading) ++*Epoc;
  const bool forcing = ForcingOpen;
  LastTouched = *Epoc;
  if (!Relations) {
    rt::AssertReport("Relation manager incorrectly initialized.", __FILE__, __LINE__);
    return Level::Fatal;
  }
  rt::Byte result;
  if (opening) {
    result = Me->Open();
    // The file a caller opens is opened for real even when it opens lazily.
    if (result == Level::Ok && !cascading) result = Me->UseFile(UseType::Uses);
  } else {
    result = Me->Close();
  }
  if (!cascading || forcing) DeferedRelations();
  for (Relation& relation : *Relations) {
    if (result != Level::Ok) break;
    FileManager& theirs = *relation.File->Me;
    const rt::Long before = theirs.GetOpened();
    if (opening) {
      result = forcing ? relation.File->ForceOpen(1) : relation.File->Open(1);
      if (theirs.GetOpened() > before) ++relation.Opened;
    } else if (relation.Opened) {
      result = relation.File->Close(1);
      if (theirs.GetOpened() < before) --relation.Opened;
    }
  }
  return result;
}

rt::Byte RelationManager::Open(rt::Byte cascading) {
  if (!Me->LazyOpen) ForcingOpen = 1;
  const rt::Byte result = OpenCloseServer(cascading, 1);
  ForcingOpen = 0;
  return result;
}

rt::Byte RelationManager::ForceOpen(rt::Byte cascading) {
  ForcingOpen = 1;
  return Open(cascading);
}

rt::Byte RelationManager::Close(rt::Byte cascading) { return OpenCloseServer(cascading, 0); }

void RelationManager::SetQuickScan(rt::Byte on, rt::Byte propagate) {
  if (Me->IsOpened() && Me->Used) Me->File->Send(on == 1 ? "QUICKSCAN=on" : "QUICKSCAN=off");
  if (propagate == 0) return;
  if (propagate & 128) {
    if (LastTouched == *Epoc) return;
  } else {
    ++*Epoc;
    propagate = static_cast<rt::Byte>(propagate | 128);
  }
  LastTouched = *Epoc;
  DeferedRelations();
  if (!Relations) return;
  const rt::Byte which = propagate & 127;
  for (Relation& relation : *Relations) {
    if ((which == 1 && WalksRecords(relation)) || (which == 2 && !WalksRecords(relation))) continue;
    relation.File->SetQuickScan(on, propagate);
  }
}

void RelationManager::Save() {
  DeferedRelations();
  if (!Relations) return;
  for (Relation& relation : *Relations) relation.Fields->AssignLeftToBuffer();
}

rt::Byte RelationManager::CancelAutoInc() { return Me->CancelAutoInc(this); }

// ---- Transaction frames ----

rt::Byte RelationManager::StartFrame() {
  rt::Logout(LogoutTimeout);
  if (rt::ErrorCode() == 0) return Level::Ok;
  Me->Throw(24);
  return Level::Notify;
}

void RelationManager::RollbackFrame() {
  if (UseLogout) rt::Rollback();
}

void RelationManager::CommitFrame() {
  if (!UseLogout) return;
  rt::Commit();
  // The runtime's text says whether some of the frame's files kept their part.
  if (rt::ErrorCode() != 0) rt::AssertReport("Unable to commit transaction: " + rt::Error(), __FILE__, __LINE__);
}

rt::Byte RelationManager::LogoutPrime() {
  Me->UseFile(UseType::Uses);
  if (!UseLogout) return Level::Ok;
  rt::File* file = Me->File;
  if (Me->AliasedFile && Me->File->Property(rt::PropAliasShared) == "0") file = Me->AliasedFile->File;
  if (file->Property(rt::PropLogout) == "1") return Level::Ok;
  file->SetProperty(rt::PropLogout, "1");
  const rt::Long code = rt::ErrorCode();
  if (code == rt::NoLogoutErr) {
    UseLogout = 0;
    rt::AssertReport("Driver does not support transaction framing.", __FILE__, __LINE__);
    return Level::Ok;
  }
  if (code != 0) {
    Me->Throw(24);
    return Level::Notify;
  }
  return Level::Ok;
}

namespace {
// Marks a walk over a manager so that a cyclic graph is entered once.
struct WalkGuard {
  bool& flag;
  const bool entered;
  explicit WalkGuard(bool& f) : flag(f), entered(!f) { flag = true; }
  ~WalkGuard() {
    if (entered) flag = false;
  }
};
}  // namespace

rt::Byte RelationManager::MarkFiles(const std::function<rt::Byte(Relation&)>& next) {
  WalkGuard guard(inLogoutWalk_);
  if (!guard.entered) return Level::Ok;
  rt::Byte result = LogoutPrime();
  DeferedRelations();
  for (Relation& relation : *Relations) {
    if (result != Level::Ok) break;
    result = next(relation);
  }
  return result;
}

rt::Byte RelationManager::LogoutDelete() {
  return MarkFiles([](Relation& relation) {
    if (relation.DeleteMode == RI::Cascade) return relation.File->LogoutDelete();
    if (relation.DeleteMode == RI::Clear) return relation.File->LogoutUpdate();
    return Level::Ok;
  });
}

rt::Byte RelationManager::LogoutUpdate() {
  return MarkFiles([](Relation& relation) {
    if (relation.UpdateMode == RI::Cascade || relation.UpdateMode == RI::Clear) return relation.File->LogoutUpdate();
    return Level::Ok;
  });
}

rt::Byte RelationManager::LogoutInsert() {
  if (Me->File->Property(rt::PropLogout) == "1") return Level::Ok;
  return MarkFiles([](Relation& relation) { return relation.File->LogoutInsert(); });
}

// A frame that did not start leaves no file marked for the next one.
void RelationManager::ClearLogoutMarks() {
  WalkGuard guard(inLogoutWalk_);
  if (!guard.entered) return;
  if (Me->File->Property(rt::PropLogout) == "1") Me->File->SetProperty(rt::PropLogout, "0");
  DeferedRelations();
  for (Relation& relation : *Relations) relation.File->ClearLogoutMarks();
}

rt::Byte RelationManager::BeginChange(rt::Byte (RelationManager::*mark)()) {
  if (const rt::Byte opened = ForceOpen(0); opened != Level::Ok) {
    Close(0);
    return opened;
  }
  if (UseLogout && ((this->*mark)() != Level::Ok || (UseLogout && StartFrame() != Level::Ok))) {
    ClearLogoutMarks();
    Close(0);
    return Level::Notify;
  }
  return Level::Ok;
}

// ---- Insert ----

rt::Byte RelationManager::Insert() {
  if (!UseLogoutOnInsert || !UseLogout) return Me->Insert();
  if (const rt::Byte begun = BeginChange(&RelationManager::LogoutInsert); begun != Level::Ok) return begun;
  rt::Byte result = Me->Insert();
  if (result != Level::Ok) {
    RollbackFrame();
    result = Me->LastError == 7 || Me->LastError == 8 ? Level::Notify : Level::Ask;
    Close(0);
    return result;
  }
  CommitFrame();
  Close(0);
  return result;
}

// ---- Update ----

rt::Byte RelationManager::Update(rt::Byte fromForm) {
  if (const rt::Byte begun = BeginChange(&RelationManager::LogoutUpdate); begun != Level::Ok) return begun;
  rt::Byte result = Me->TryUpdate();
  if (result != Level::Ok) {
    RollbackFrame();
    if (fromForm && Me->LastError == 7) Me->LastError = 8;
    if (result == Level::Notify) Me->Throw();
    result = Me->LastError == 7 || Me->LastError == 8 ? Level::Notify : Level::Ask;
    Close(0);
    return result;
  }
  result = UpdateChangedRelations();
  if (result != Level::Ok) {
    Close(0);
    return result;
  }
  CommitFrame();
  Close(0);
  return result;
}

rt::UShort RelationManager::PositionRelated(std::size_t hisKey, BufferedPairsClass& pairs, bool fromBuffer) {
  Me->UseFile(UseType::Uses);
  const rt::UShort saved = Me->SaveFile();
  Me->File->ClearRecord();
  if (fromBuffer) {
    pairs.AssignBufferToRight();
  } else {
    pairs.AssignLeftToRight();
  }
  Me->File->ClearKey(hisKey, pairs.PairCount() + 1, 22, false);
  Me->File->SetKeyValue(hisKey);
  return saved;
}

rt::Byte RelationManager::Refuse() {
  RollbackFrame();
  Me->Throw();
  return Level::Notify;
}

rt::Byte RelationManager::WalkRelated(std::size_t hisKey, BufferedPairsClass& pairs, bool fromBuffer,
                                      const std::function<std::optional<rt::Byte>()>& act) {
  rt::UShort saved = PositionRelated(hisKey, pairs, fromBuffer);
  rt::Byte result = Level::Ok;
  if (rt::ErrorCode() != 0) {  // not positioned: walking on would miss the related records
    Me->SetError(1);
    result = Refuse();
  }
  while (result == Level::Ok) {
    const rt::Byte read = Me->TryNext();
    if (read == Level::Fatal) {
      result = Refuse();
      break;
    }
    if (read != Level::Ok || !(fromBuffer ? pairs.EqualRightBuffer() : pairs.EqualLeftRight())) break;
    if (const std::optional<rt::Byte> stop = act()) {
      result = *stop;
      break;
    }
  }
  Me->RestoreFile(saved, 1);
  return result;
}

rt::Byte RelationManager::UpdateSecondary(std::size_t hisKey, BufferedPairsClass& pairs, rt::Byte mode) {
  return WalkRelated(hisKey, pairs, true, [&]() -> std::optional<rt::Byte> {
    Save();
    switch (mode) {
      case RI::Restrict:
        Me->SetError(34);
        Refuse();
        pairs.AssignBufferToLeft();
        return Level::Notify;
      case RI::Clear: pairs.ClearRight(); break;
      case RI::Cascade: pairs.AssignLeftToRight(); break;
      default: rt::AssertReport("Invalid RI mode specified", __FILE__, __LINE__); return Level::Ok;
    }
    if (CascadeUpdates() != Level::Ok) return Level::Notify;
    return std::nullopt;
  });
}

rt::Byte RelationManager::UpdateChangedRelations() {
  DeferedRelations();
  for (Relation& relation : *Relations) {
    if (!RI::LocalAction(relation.UpdateMode) || !WalksRecords(relation) || relation.Fields->EqualLeftBuffer()) continue;
    const rt::Byte result = relation.File->UpdateSecondary(relation.HisKey, *relation.Fields, relation.UpdateMode);
    if (result != Level::Ok) {
      // The buffer keeps the old linking values (the related file's own were given back).
      relation.Fields->AssignBufferToLeft();
      return result;
    }
  }
  return Level::Ok;
}

rt::Byte RelationManager::CascadeUpdates() {
  if (UpdateChangedRelations() != Level::Ok) return Level::Notify;
  if (Me->TryUpdate() != Level::Ok) return Refuse();
  return Level::Ok;
}

// ---- Delete ----

rt::Byte RelationManager::Delete(rt::Byte query) {
  if (query && Me->Throw(11) != Level::Ok) return Level::Cancel;
  for (;;) {
    const std::string position = Me->Position();
    if (const rt::Byte begun = BeginChange(&RelationManager::LogoutDelete); begun != Level::Ok) return begun;
    Me->TryReget(position);
    DeferedRelations();
    for (Relation& relation : *Relations) {
      if (!RI::LocalAction(relation.DeleteMode) || !WalksRecords(relation)) continue;
      const rt::Byte r = relation.File->DeleteSecondary(relation.HisKey, *relation.Fields, relation.DeleteMode, 0);
      if (r != Level::Ok) {
        Close(0);
        return r;
      }
    }
    rt::Byte result = Me->DeleteRecord(0);
    if (result != Level::Ok) {
      result = Refuse();
    } else {
      CommitFrame();
    }
    Close(0);
    if (result == Level::Ok || Me->Throw(36) != Level::Ok) return result;
  }
}

rt::Byte RelationManager::DeleteSecondary(std::size_t hisKey, BufferedPairsClass& pairs, rt::Byte mode,
                                          rt::Byte childQuery) {
  return WalkRelated(hisKey, pairs, false, [&]() -> std::optional<rt::Byte> {
    if (Me->Deleted()) return std::nullopt;
    switch (mode) {
      case RI::Restrict:
        Me->SetError(33);
        return Refuse();
      case RI::Clear:
        Save();
        pairs.ClearRight();
        if (CascadeUpdates() != Level::Ok) return Level::Notify;
        return std::nullopt;
      case RI::Cascade:
        DeferedRelations();
        for (Relation& relation : *Relations) {
          if (!RI::LocalAction(relation.DeleteMode) || !WalksRecords(relation)) continue;
          const rt::Byte r = relation.File->DeleteSecondary(relation.HisKey, *relation.Fields, relation.DeleteMode, childQuery);
          if (r != Level::Ok) return r;
        }
        if (Me->DeleteRecord(childQuery) != Level::Ok) return Refuse();
        return std::nullopt;
      default: rt::AssertReport("Invalid RI mode", __FILE__, __LINE__); return Level::Ok;
    }
  });
}
