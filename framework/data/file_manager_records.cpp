// FileManager's record operations: insert, update, delete, reading in sequence, fetch, reget,
// priming with auto-numbering and cancelling it. Each worker takes handleError: with it the
// error is reported through ErrorClass, without it only the level tells.

#include <string>

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/error_class.h"
#include "runtime/core/last_error.h"

namespace {
std::string MrpOff() { return "0"; }
}  // namespace

// ---- Insert ----

rt::Byte FileManager::Insert() { return InsertServer(1); }
rt::Byte FileManager::TryInsert() { return InsertServer(0); }

rt::Byte FileManager::InsertServer(rt::Byte handleError) {
  if (UseFile(UseType::Uses) != Level::Ok) return Level::Fatal;
  if (ValidateRecord(nullptr) != Level::Ok) return Level::Notify;
  File->SetProperty(rt::PropMRP, MrpOff());
  if (HasAutoInc) {
    if (AutoIncDone) {
      File->Put();  // priming already added the record
    } else {
      if ((handleError ? PrimeAutoInc() : TryPrimeAutoInc()) != Level::Ok) return Level::Notify;
      rt::ClearError();
    }
  } else {
    File->Add();
  }
  const rt::Long code = rt::ErrorCode();
  if (code == 0) {
    AutoIncDone = 0;
    return Level::Ok;
  }
  if (code == rt::DupKeyErr) {
    SetError(15);
    if (!handleError) return Level::Notify;
    bool autoNumbered = false;
    for (const KeyEntry& key : Keys) autoNumbered = autoNumbered || key.AutoInc;
    if (!autoNumbered) File->GetByPointer(0);  // forget the current record: it is no duplicate of itself
    for (KeyEntry& key : Keys) {
      if (File->Duplicate(key.Key)) {
        const std::string name = KeyName(key);
        Errors->SetKey(name);
        ThrowMessage(15, name);
        return Level::Notify;
      }
    }
    return Level::Notify;
  }
  SetError(4);
  return handleError ? Throw() : Level::Notify;
}

// ---- Update ----

rt::Byte FileManager::Update() { return UpdateServer(1); }
rt::Byte FileManager::TryUpdate() { return UpdateServer(0); }

rt::Byte FileManager::UpdateServer(rt::Byte handleError) {
  if (UseFile(UseType::Uses) != Level::Ok) return Level::Fatal;
  if (ValidateRecord(nullptr) != Level::Ok) return Level::Ask;
  const std::string position = Position();
  File->Put();
  const rt::Long code = rt::ErrorCode();
  if (code == 0) return Level::Ok;
  if (code == rt::RecordChangedErr) {
    SetError(7);
    if (handleError) Throw();
    File->Watch();
    TryReget(position);  // the buffer now holds the other station's version
    return Level::Notify;
  }
  SetError(28);
  return handleError ? Throw() : Level::Notify;
}

// ---- Delete ----

rt::Byte FileManager::DeleteRecord(rt::Byte query) {
  if (query && Throw(11) != Level::Ok) return Level::Cancel;
  File->Delete();
  if (rt::ErrorCode() != 0) {
    SetError(13);  // the caller reports it
    return Level::Notify;
  }
  return Level::Ok;
}

rt::Byte FileManager::Deleted() { return 0; }

// ---- Reading in sequence ----

rt::Byte FileManager::Next() { return NextServer(1, 0); }
rt::Byte FileManager::TryNext() { return NextServer(0, 0); }
rt::Byte FileManager::Previous() { return NextServer(1, 1); }
rt::Byte FileManager::TryPrevious() { return NextServer(0, 1); }

rt::Byte FileManager::NextServer(rt::Byte handleError, rt::Byte previous) {
  if (UseFile(UseType::Uses) != Level::Ok) return Level::Fatal;
  for (;;) {
    AtEOF = 0;
    if (UseMRP && File->Property(rt::PropMRP) == "0") File->SetProperty(rt::PropMRP, std::to_string(MRPSize));
    if (previous) {
      File->Previous();
    } else {
      File->Next();
    }
    switch (rt::ErrorCode()) {
      case 0: return Level::Ok;
      case rt::NoRecErr: AtEOF = 1; return Level::Notify;
      case rt::IsHeldErr:
        if (SkipHeldRecords) continue;
        SetError(31);
        return handleError ? Throw() : Level::Notify;
      default:
        SetError(1);
        return handleError ? Throw() : Level::Fatal;
    }
  }
}

// ---- Fetch, reget, position ----

rt::Byte FileManager::TryFetch(std::size_t key) {
  if (UseFile(UseType::Uses) != Level::Ok) return Level::Fatal;
  SetKey(key);
  File->Get(key);
  return rt::ErrorCode() == 0 ? Level::Ok : Level::Notify;
}

rt::Byte FileManager::Fetch(std::size_t key) {
  const rt::Byte result = TryFetch(key);
  if (result != Level::Ok) File->ClearRecord();
  return result;
}

std::string FileManager::Position() {
  if (UseFile(UseType::Uses) != Level::Ok) return {};
  return File->Position(PrimaryKey && PrimaryKey <= Keys.size() ? Keys[PrimaryKey - 1].Key : 0);
}

rt::Byte FileManager::TryReget(std::string_view position) {
  if (UseFile(UseType::Uses) != Level::Ok) return Level::Fatal;
  File->Reget(position);
  return rt::ErrorCode() == 0 ? Level::Ok : Level::Notify;
}

// ---- Priming ----

void FileManager::PrimeFields() {}

rt::Byte FileManager::PrimeRecord(rt::Byte suppressClear) {
  if (UseFile(UseType::Uses) != Level::Ok) return Level::Fatal;
  if (AliasedFile) {
    FileManager& aliased = *AliasedFile;
    aliased.Open();
    rt::UShort saved = aliased.SaveFile();
    if (suppressClear) {
      rt::UShort mine = SaveBuffer();
      aliased.RestoreBuffer(mine, *this, 1);
    }
    const rt::Byte result = aliased.PrimeRecord(suppressClear);
    if (result == Level::Ok) {
      rt::UShort primed = aliased.SaveFile();
      RestoreFile(primed, aliased, 1);
    }
    aliased.RestoreFile(saved, 1);
    aliased.Close();
    return result;
  }
  if (!suppressClear) File->ClearRecord();
  PrimeFields();
  if (HasAutoInc) {
    AutoIncDone = 0;
    return PrimeAutoInc();
  }
  return Level::Ok;
}

rt::Byte FileManager::PrimeAutoInc() { return PrimeAutoIncServer(1); }
rt::Byte FileManager::TryPrimeAutoInc() { return PrimeAutoIncServer(0); }

// The next number of the key's last component for the buffer's group; false on a read error
// (the error is set, the buffer as it was).
bool FileManager::NumberKey(const KeyEntry& key, rt::Real& value) {
  const std::size_t components = key.Fields.size();
  const KeyFieldEntry& numbered = key.Fields.back();
  rt::UShort saved = SaveBuffer();
  std::string group;
  if (components == 1) {
    File->SetKey(key.Key);
  } else {
    group = ConcatGetComponents(key.Fields, components - 1);
    numbered.Field.Clear(1);
    File->SetKeyValue(key.Key);
  }
  // The highest number comes last in an ascending key and first in a descending one.
  if (numbered.Ascend) {
    File->Previous();
  } else {
    File->Next();
  }
  const rt::Long code = rt::ErrorCode();
  bool ok = true;
  if (code == 0) {
    const bool sameGroup = components == 1 || ConcatGetComponents(key.Fields, components - 1) == group;
    value = 1;
    if (sameGroup) {
      rt::Real last = 0;
      rt::FieldRef(last).Assign(numbered.Field);
      value = last + 1;
    }
  } else if (code == rt::NoRecErr) {
    value = 1;
  } else {
    SetError(1);
    ok = false;
  }
  RestoreBuffer(saved, 1);
  if (ok) numbered.Field.Assign(rt::FieldRef(value));
  return ok;
}

rt::Byte FileManager::PrimeAutoIncServer(rt::Byte handleError) {
  if (UseFile(UseType::Uses) != Level::Ok) return Level::Fatal;
  if (!HasAutoInc || AutoIncDone) return Level::Ok;
  File->SetProperty(rt::PropMRP, MrpOff());
  int attempts = 0;
  for (;;) {
    for (const KeyEntry& key : Keys) {
      if (!key.AutoInc || key.Fields.empty()) continue;
      if (Errors) Errors->SetKey(KeyName(key));
      rt::Real value = 0;
      if (!NumberKey(key, value)) return handleError ? Throw() : Level::Notify;
    }
    File->Add();
    if (rt::ErrorCode() == 0) {
      AutoIncDone = 1;
      return Level::Ok;
    }
    if (++attempts < 3) continue;  // numbers are read afresh: another station took this one
    const bool duplicate = rt::ErrorCode() == rt::DupKeyErr;
    SetError(35);
    if (duplicate) NameDuplicateKey();
    if (!handleError) return Level::Notify;
    if (Throw() != Level::Ok) return Level::Notify;
    attempts = 0;  // the user chose to try again
  }
}

void FileManager::NameDuplicateKey() {
  // The record the numbering read last is still the file's current one, and the check skips the
  // current record: forget it, or the key it repeats goes unnamed.
  File->GetByPointer(0);
  for (KeyEntry& key : Keys) {
    if (File->Duplicate(key.Key)) {
      if (Errors) Errors->SetKey(KeyName(key));
      return;
    }
  }
}

rt::Byte FileManager::CancelAutoInc(RelationManager* relationManager) {
  if (UseFile(UseType::Uses) != Level::Ok || !HasAutoInc || !AutoIncDone) return Level::Ok;
  const rt::Byte result = relationManager ? relationManager->Delete(0) : DeleteRecord(0);
  if (result == Level::Ok) AutoIncDone = 0;
  return result;
}
