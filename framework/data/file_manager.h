#pragma once
// FileManager: the framework's manager of one data file on one thread. It opens the file lazily
// through an open server (file_open_server.h) and counts logical opens; records every use in
// the thread's FilesManager so nested procedures get their caller's state back; watches every
// runtime operation on the file through the file callback; and does the record operations
// (insert, update, delete, fetch, read in sequence, priming with auto-numbering, validation,
// saving and restoring buffers and file states). Errors are raised by id through its ErrorClass;
// every operation returns a level (levels.h). Owns its queues, saved copies and its link to the
// open server; never the file, the record buffer or the error manager.
//
// Subclass contract (the dictionary): before Init() set Buffer, FileNameValue, SetErrors and
// File; override Init(), Kill() and UseFile() so that UseFile(5) runs Init(file, errors) once;
// fill Keys (AddKey), HasAutoInc and PrimaryKey after Init(file, errors); put field rules in
// ValidateFieldServer. A subclass overriding one FunctionCalled/FunctionDone overload adds
// `using FileManager::FunctionCalled;` (and FunctionDone) to keep the other visible.

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "framework/data/file_open_server.h"
#include "framework/error/levels.h"
#include "runtime/core/types.h"
#include "runtime/data/field_ref.h"
#include "runtime/data/file.h"

class ErrorClass;
class RelationManager;

// Use types of UseFile.
namespace UseType {
inline constexpr rt::Byte Uses = 2;         // a record operation
inline constexpr rt::Byte Updates = 3;      // a window or browse that inserts or changes
inline constexpr rt::Byte Benign = 4;       // not noted in the usage status
inline constexpr rt::Byte Initialize = 5;   // complete the initialisation; make a lazy open real
}  // namespace UseType

// One component of a key.
struct KeyFieldEntry {
  rt::FieldRef Field;
  std::string FieldName;
  rt::Byte Ascend = 1;
};
using KeyFieldQueue = std::vector<KeyFieldEntry>;
// The values of the first howMany components, each followed by "|".
std::string ConcatGetComponents(const KeyFieldQueue& fields, std::size_t howMany);

struct KeyEntry {
  std::size_t Key = 0;        // the key's number in the file's declaration
  std::string Description;    // up to 80 characters; may be empty
  KeyFieldQueue Fields;
  rt::Byte AutoInc = 0;       // the last component is numbered automatically
  rt::Byte Dups = 0;
  rt::Byte NoCase = 0;
};

struct SavedBuffer {
  rt::Long Id = 0;
  std::string Buffer;
};

struct SavedFileState {
  rt::UShort Buffer = 0;
  rt::UShort Id = 0;
  rt::Byte AutoIncDone = 0;
  rt::Long State = 0;
  std::string Pos;
};

struct BoundField {
  std::string Tag;
  rt::FieldRef Fld;
  std::string FType;
  std::string FPicture;
};

class FileManager : public rt::FileCallback {
 public:
  FileManager() = default;
  ~FileManager() override;
  FileManager(const FileManager&) = delete;
  FileManager& operator=(const FileManager&) = delete;

  // ---- Virtual operations, in slot order ----
  bool FunctionCalled(const rt::FileCall& call, std::string& errCode, std::string& errMsg) override;
  bool FunctionDone(const rt::FileCall& call, std::string& errCode, std::string& errMsg) override;
  virtual void Destruct();
  virtual void BindFields();
  virtual rt::Byte CancelAutoInc(RelationManager* relationManager = nullptr);
  virtual rt::Byte Close();
  virtual rt::Byte EqualBuffer(rt::UShort handle);
  virtual rt::Byte Fetch(std::size_t key);
  virtual void Init();
  virtual void Init(rt::File& file, ErrorClass& errors);
  virtual rt::Byte Insert();
  virtual void Kill();
  virtual rt::Byte Next();
  virtual rt::Byte Open();
  virtual rt::Byte Previous();
  virtual rt::Byte PrimeAutoInc();
  virtual void PrimeFields();
  virtual rt::Byte PrimeRecord(rt::Byte suppressClear = 0);
  virtual void RestoreBuffer(rt::UShort& handle, rt::Byte doRestore = 1);
  virtual rt::UShort SaveBuffer();
  virtual rt::Byte Throw(rt::UShort id);
  virtual rt::Byte Throw();
  virtual rt::Byte ThrowMessage(rt::UShort id, std::string_view text);
  virtual rt::Byte TryFetch(std::size_t key);
  virtual rt::Byte TryInsert();
  virtual rt::Byte TryNext();
  virtual rt::Byte TryOpen();
  virtual rt::Byte TryPrevious();
  virtual rt::Byte TryPrimeAutoInc();
  virtual rt::Byte TryUpdate();
  virtual rt::Byte Update();
  virtual rt::Byte UseFile(rt::Byte useType = UseType::Uses);
  virtual rt::Byte ValidateField(rt::Long id);
  virtual rt::Byte TryValidateField(rt::Long id);
  virtual rt::Byte ValidateFieldServer(rt::Long id, rt::Byte handleErrors);
  virtual rt::Byte ValidateFields(rt::Long low, rt::Long high, rt::Long* failField = nullptr);
  virtual rt::Byte ValidateRecord(rt::Long* failField = nullptr);
  virtual rt::Byte DeleteRecord(rt::Byte query = 1);
  virtual rt::Byte Deleted();
  virtual void SetUseMRP(rt::Byte on);
  virtual rt::Byte GetUseMRP();
  virtual void SetMRPSize(rt::Byte size);
  virtual rt::Byte GetMRPSize();
  virtual rt::Byte GetAutoIncDone();
  virtual rt::Byte FunctionCalled(rt::Long opCode, const rt::FileCall& params, std::string& errCode, std::string& errMsg);
  virtual rt::Byte FunctionDone(rt::Long opCode, const rt::FileCall& params, std::string& errCode, std::string& errMsg);
  virtual rt::Byte PreDelete(std::string& errCode, std::string& errMsg);
  virtual rt::Byte PostDelete(std::string& errCode, std::string& errMsg);
  virtual rt::Byte PreInsert(rt::Long opCode, rt::Long addLen, std::string& errCode, std::string& errMsg);
  virtual rt::Byte PostInsert(std::string& errCode, std::string& errMsg);
  virtual rt::Byte PreUpdate(const void* pntr, rt::Long putLen, std::string& errCode, std::string& errMsg);
  virtual rt::Byte PostUpdate(std::string& errCode, std::string& errMsg);

  // ---- Open and close ----
  rt::Byte OpenServer(rt::Byte handleError, rt::Byte forceOpen);
  rt::Byte OpenFile(rt::Byte handleError);
  rt::Long IsOpened() const { return Initialized && Opened > 0 ? 1 : 0; }
  rt::Long GetOpened() const { return Opened; }
  rt::Byte GetEOF() const { return AtEOF; }
  void Cleanup();

  // ---- Errors ----
  std::string GetName() const;
  void SetErrors(ErrorClass& errors) { Errors = &errors; }
  void SetError(rt::UShort id);

  // ---- File states ----
  rt::UShort SaveFile();
  void RestoreFile(rt::UShort& handle, rt::Byte doRestore);
  void RestoreFile(rt::UShort& handle, FileManager& from, rt::Byte doRestore);
  void RestoreBuffer(rt::UShort& handle, FileManager& from, rt::Byte doRestore);

  // ---- Records ----
  rt::Byte TryReget(std::string_view position);
  std::string Position();

  // ---- Keys ----
  void SetKey(std::size_t key);
  std::size_t GetComponents(std::size_t key);
  rt::FieldRef GetField(std::size_t key, std::size_t n);
  std::string GetFieldName(std::size_t key, std::size_t n);
  rt::Byte GetFieldAscending(std::size_t key, std::size_t n);
  std::string KeyToOrder(std::size_t key, std::size_t start = 1);
  void ClearKey(std::size_t key, std::size_t lowComp = 1, std::size_t highComp = 255, rt::Byte high = 0);

  // ---- Fields, in declaration order ----
  FileManager* AliasedFile = nullptr;
  std::span<std::byte> Buffer;
  std::vector<SavedBuffer> Buffers;
  rt::Byte Create = 0;
  ErrorClass* Errors = nullptr;
  std::vector<BoundField> Fields;
  rt::File* File = nullptr;
  const std::string* FileName = nullptr;  // a run-time file name, when used
  std::string FileNameValue;
  rt::Byte HasAutoInc = 0;
  rt::Byte InUseFile = 0;
  rt::Byte InCallBack = 0;
  rt::Byte InClose = 0;
  rt::Byte InRestore = 0;
  rt::Byte InView = 0;
  rt::Byte Used = 0;
  rt::Long Opened = 0;
  rt::Byte AtEOF = 0;
  rt::Byte AutoIncDone = 0;
  rt::Long LastError = 0;
  rt::Byte LazyOpen = 0;
  rt::Short LockRecover = 10;
  rt::Byte OpenMode = 66;
  rt::Byte OpenModeOverridden = 0;
  rt::Byte PrimaryKey = 0;
  std::vector<SavedFileState> Saved;
  rt::Byte SkipHeldRecords = 0;
  rt::Byte CleanedUp = 0;
  std::vector<KeyEntry> Keys;
  rt::Byte BlobChanged = 0;
  std::optional<std::string> PreviousBuffer;
  rt::Byte SavePreviousBuffer = 0;
  rt::Byte Initialized = 0;
  rt::Byte Killed = 0;
  FileOpenServerRef Opener;
  rt::Byte UseMRP = 0;
  rt::Byte MRPSize = 10;

 protected:
  // Adds the declaration's key `key` (1-based) to Keys, its components bound to Buffer.
  void AddKey(std::size_t key, std::string_view description = {}, bool autoInc = false);
  // The Keys entry of a key of the file, or null (after the assertion) when it is not there.
  KeyEntry* FindKey(std::size_t key);

 private:
  rt::Byte InsertServer(rt::Byte handleError);
  rt::Byte UpdateServer(rt::Byte handleError);
  rt::Byte NextServer(rt::Byte handleError, rt::Byte previous);
  rt::Byte PrimeAutoIncServer(rt::Byte handleError);
  bool NumberKey(const KeyEntry& key, rt::Real& value);
  void NameDuplicateKey();
  std::string KeyName(const KeyEntry& key);
  rt::Byte DelegateValidation(rt::Long low, rt::Long high, rt::Long* failField, rt::Byte handleErrors, bool record);
  void Diagnose(const std::string& message, const char* file, int line);
  bool PerThreadFile();

  bool keyCurrent_ = false;
  std::size_t currentKey_ = 0;
  bool fileReleased_ = false;  // the runtime released the file instance: it is gone
  bool inOpenFile_ = false;
};
