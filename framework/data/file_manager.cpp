// FileManager's life cycle: light and full initialisation, lazy and counted opens, the physical
// open with its retries and fall-backs, closing, killing, saved file states and the file
// callback. Record operations are in file_manager_records.cpp, keys in file_manager_keys.cpp.

#include "framework/data/file_manager.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

#include "framework/data/files_manager.h"
#include "framework/error/error_class.h"
#include "runtime/core/assert.h"
#include "runtime/core/last_error.h"
#include "runtime/core/text.h"

namespace {

bool IsOneOf(rt::FileOp op, std::initializer_list<rt::FileOp> ops) {
  return std::find(ops.begin(), ops.end(), op) != ops.end();
}

constexpr rt::Byte kReadOnlyMask = 0xF0;  // clears the access nibble: read-only, same sharing

}  // namespace

FileManager::~FileManager() { FileManager::Destruct(); }

// ---- Initialisation ----

void FileManager::Init() {
  Opened = 0;
  LazyOpen = 1;
  Killed = 0;
  UseMRP = 0;
  MRPSize = 10;
  RT_ASSERT(File != nullptr, "FileManager::Init() before the derived class set File");
  if (File) FileRegistry->AddFileMapping(*this);
}

void FileManager::Init(rt::File& file, ErrorClass& errors) {
  SetErrors(errors);
  File = &file;
  Opener = CreateFileOpenServer(file);
  Keys.clear();
  Buffers.clear();
  Saved.clear();
  Fields.clear();
  SkipHeldRecords = 0;
  if (!OpenModeOverridden) OpenMode = 66;
  Create = 1;
  LockRecover = 10;
  PrimaryKey = 0;
  FileNameValue = file.Property(rt::PropName).substr(0, 256);
  CleanedUp = 0;
  Initialized = 1;
  Killed = 0;
  UseMRP = 0;
  MRPSize = 20;
  fileReleased_ = false;
  file.AddCallback(this);
}

// ---- Open ----

rt::Byte FileManager::Open() { return OpenServer(1, 0); }
rt::Byte FileManager::TryOpen() { return OpenServer(0, 0); }

rt::Byte FileManager::OpenServer(rt::Byte handleError, rt::Byte forceOpen) {
  FileRegistry->NoteOpen(*this);
  BindFields();
  if (forceOpen || (!LazyOpen && Opened == 0)) {
    const rt::Byte result = OpenFile(handleError);
    if (result != Level::Ok) return result;
  }
  ++Opened;
  return Level::Ok;
}

rt::Byte FileManager::OpenFile(rt::Byte handleError) {
  const auto report = [&]() -> rt::Byte { return handleError ? Throw() : Level::Notify; };
  const auto hardError = [&]() -> rt::Byte {
    SetError(26);
    return report();
  };
  struct Guard {
    bool& flag;
    bool was;
    ~Guard() { flag = was; }
  } guard{inOpenFile_, inOpenFile_};
  inOpenFile_ = true;
  if (UseFile(UseType::Initialize) != Level::Ok) return hardError();
  for (int attempt = 0; attempt < 2; ++attempt) {
    rt::Long code = Opener->OpenFile(OpenMode);
    if (code == rt::NoAccessErr) {
      File->Send("Recover=" + std::to_string(LockRecover));
      code = Opener->OpenFile(OpenMode);
    }
    switch (code) {
      case 0:
        Used = 1;
        AtEOF = 0;
        AutoIncDone = 0;
        return Level::Ok;
      case rt::NoAccessErr:
        if ((OpenMode & 0x03) == 0) return hardError();
        OpenMode = static_cast<rt::Byte>(OpenMode & kReadOnlyMask);
        Throw(2);
        continue;
      case rt::NoFileErr:
        if (!Create) return hardError();
        File->CreateIfMissing();  // another thread or program may create it first: theirs is kept
        if (rt::ErrorCode() != 0) {
          SetError(12);
          return report();
        }
        continue;
      case rt::BadKeyErr:
        SetError(30);
        if (!handleError) return Level::Notify;
        Throw();
        File->Build();
        if (rt::ErrorCode() != 0) return Throw(29);
        continue;
      default:
        return hardError();
    }
  }
  return hardError();
}

rt::Byte FileManager::UseFile(rt::Byte useType) {
  InUseFile = 1;
  rt::Byte result = Level::Ok;
  if (useType == UseType::Initialize) {
    // Makes a counted lazy open real; a file nobody opened stays closed, and the physical open
    // itself (which asks for this) is not entered twice.
    if (LazyOpen && !Used && Opened >= 1 && Initialized && !inOpenFile_) {
      rt::UShort id = SaveBuffer();
      result = OpenFile(1);
      RestoreBuffer(id, 1);
    }
  } else {
    if (useType != UseType::Benign) FileRegistry->NoteUsage(*this, useType);
    if (LazyOpen && !Used) {
      if (Opened < 1) {
        InUseFile = 0;
        return Throw(42);
      }
      rt::UShort id = SaveBuffer();
      result = OpenFile(1);
      RestoreBuffer(id, 1);
    }
  }
  InUseFile = 0;
  return result;
}

// ---- Close and kill ----

rt::Byte FileManager::Close() {
  ++InClose;
  FileRegistry->NoteClose(*this);
  if (UseMRP) {
    UseMRP = 0;
    if (File && !fileReleased_) File->SetProperty(rt::PropMRP, "0");
  }
  if (Opened > 0) {
    --Opened;
    if (Opened == 0) {
      if (Initialized && Opener && Used) Opener->CloseFile();
      Used = 0;
    }
  }
  --InClose;
  return Level::Ok;
}

void FileManager::Kill() {
  if (!Initialized || Killed) return;
  Cleanup();
  if (File && !fileReleased_) File->RemoveCallback(this);
  Killed = 1;
  Initialized = 0;
}

void FileManager::Cleanup() {
  if (CleanedUp) return;
  CleanedUp = 1;
  while (Opened > 0) Close();
  FileRegistry->RemoveFileMapping(*this);
  Keys.clear();
  PreviousBuffer.reset();
  Buffers.clear();
  if (File && !fileReleased_) {
    for (const SavedFileState& state : Saved) File->FreeState(state.State);
  }
  Saved.clear();
  Fields.clear();
  Opener.reset();
  FileName = nullptr;
  OpenModeOverridden = 0;
}

void FileManager::Destruct() {
  if (!Killed) Kill();
  if (Used && File && !fileReleased_ && PerThreadFile()) {
    rt::AssertReport("The file is still open. Open Counter is " + std::to_string(Opened) + " on File:" +
                         File->Property(rt::PropName),
                     __FILE__, __LINE__);
  }
  // A manager that was only lightly initialised is still mapped: unmap it before it goes.
  if (File && !Initialized) FileRegistry->RemoveFileMapping(*this);
  FileName = nullptr;
}

bool FileManager::PerThreadFile() { return File->Property(rt::PropPerThread) == "1"; }

// ---- Errors ----

std::string FileManager::GetName() const { return std::string(rt::Clip(FileName ? *FileName : FileNameValue)); }

void FileManager::SetError(rt::UShort id) {
  RT_ASSERT(Errors != nullptr, "FileManager used before SetErrors");
  if (Errors) Errors->SetErrors();
  LastError = id;
}

rt::Byte FileManager::Throw() {
  if (!Errors) return Level::Notify;
  Errors->SetFile(GetName());
  return Errors->TakeError(LastError);
}

rt::Byte FileManager::Throw(rt::UShort id) {
  SetError(id);
  return Throw();
}

rt::Byte FileManager::ThrowMessage(rt::UShort id, std::string_view text) {
  if (!Errors) return Level::Notify;
  Errors->SetFile(GetName());
  return Errors->ThrowMessage(id, text);
}

// ---- File states ----

rt::UShort FileManager::SaveFile() {
  if (UseFile(UseType::Uses) != Level::Ok) return 0;
  SavedFileState state;
  state.Id = Saved.empty() ? 1 : static_cast<rt::UShort>(Saved.back().Id + 1);
  state.Buffer = SaveBuffer();
  state.State = File->GetState();
  state.Pos = File->Position(PrimaryKey && PrimaryKey <= Keys.size() ? Keys[PrimaryKey - 1].Key : 0);
  state.AutoIncDone = AutoIncDone;
  Saved.push_back(std::move(state));
  return Saved.back().Id;
}

void FileManager::RestoreFile(rt::UShort& handle, rt::Byte doRestore) { RestoreFile(handle, *this, doRestore); }

void FileManager::RestoreFile(rt::UShort& handle, FileManager& from, rt::Byte doRestore) {
  if (UseFile(UseType::Uses) != Level::Ok) return;
  const auto found = std::find_if(from.Saved.begin(), from.Saved.end(), [&](const SavedFileState& s) { return s.Id == handle; });
  if (found == from.Saved.end()) {
    rt::AssertReport("Restore handle is invalid", __FILE__, __LINE__);
    return;
  }
  const SavedFileState state = *found;
  from.Saved.erase(found);
  if (doRestore) {
    if (!AliasedFile) {
      File->RestoreState(state.State);
    } else {
      File->Reget(state.Pos);  // the position names the key it was taken by
    }
  }
  rt::UShort buffer = state.Buffer;
  RestoreBuffer(buffer, from, doRestore);
  if (doRestore) AutoIncDone = state.AutoIncDone;
  from.File->FreeState(state.State);
  handle = 0;
}

// ---- The file callback ----

void FileManager::Diagnose(const std::string& message, const char* file, int line) {
  ++InCallBack;
  rt::AssertReport(message, file, line);
  --InCallBack;
}

bool FileManager::FunctionCalled(const rt::FileCall& call, std::string& errCode, std::string& errMsg) {
  if (call.op == rt::FileOp::Close) {
    if (InRestore && Opened > 0 && !call.viaView) {
      Opened = 0;
      Used = 0;
      Close();
    } else if (!InClose && !InRestore && Opened > 0 && !call.viaView && !InCallBack) {
      ++InCallBack;
      const bool perThread = PerThreadFile();
      --InCallBack;
      if (perThread) Diagnose("You are calling CLOSE(" + GetName() + ") instead of FileManager.Close()", __FILE__, __LINE__);
    }
  } else if (call.op == rt::FileOp::Release_Instance) {
    if (call.finalRelease) {
      Cleanup();
      fileReleased_ = true;  // the instance is going: nothing may touch it from here on
    } else if (Used) {
      Diagnose("You have not called FileManager.Close() for " + GetName(), __FILE__, __LINE__);
    }
  }
  const rt::Byte proceed = FunctionCalled(static_cast<rt::Long>(call.op), call, errCode, errMsg);
  InRestore = call.op == rt::FileOp::RestoreState ? 1 : 0;
  return proceed != 0;
}

bool FileManager::FunctionDone(const rt::FileCall& call, std::string& errCode, std::string& errMsg) {
  using Op = rt::FileOp;
  rt::Long code = 0;  // read at every file call: from_chars, not atol
  const std::size_t digits = std::min(errCode.find_first_not_of(' '), errCode.size());
  std::from_chars(errCode.data() + digits, errCode.data() + errCode.size(), code);
  if (code == rt::NotOpenErr && !IsOneOf(call.op, {Op::Close, Op::Open, Op::Create, Op::Release_Instance}) &&
      LazyOpen && !Used && !InUseFile && !InCallBack && !call.viaView) {
    Diagnose("You have not called FileManager.UseFile() for " + GetName(), __FILE__, __LINE__);
  }
  if (call.op == Op::SetMemo || (call.op == Op::SetProperty && call.property == rt::PropBlobChanged)) BlobChanged = 1;
  if (IsOneOf(call.op, {Op::Delete, Op::Add, Op::Append, Op::Put})) BlobChanged = 0;
  if (call.op == Op::RestoreState) InRestore = 0;
  if (SavePreviousBuffer && code == 0 &&
      IsOneOf(call.op, {Op::GetByKey, Op::GetByPointer, Op::Next, Op::Previous, Op::Reget, Op::RegetByKey, Op::ViewNext,
                        Op::ViewPrevious})) {
    PreviousBuffer = std::string(reinterpret_cast<const char*>(Buffer.data()), Buffer.size());
  }
  return FunctionDone(static_cast<rt::Long>(call.op), call, errCode, errMsg) != 0;
}

rt::Byte FileManager::FunctionCalled(rt::Long opCode, const rt::FileCall& params, std::string& errCode, std::string& errMsg) {
  if (InView) return 1;
  if (params.viaView) InView = 1;
  switch (static_cast<rt::FileOp>(opCode)) {
    case rt::FileOp::Delete: return PreDelete(errCode, errMsg);
    case rt::FileOp::Add:
    case rt::FileOp::Append: return PreInsert(opCode, static_cast<rt::Long>(Buffer.size()), errCode, errMsg);
    case rt::FileOp::Put: return PreUpdate(Buffer.data(), static_cast<rt::Long>(Buffer.size()), errCode, errMsg);
    default: return 1;
  }
}

rt::Byte FileManager::FunctionDone(rt::Long opCode, const rt::FileCall& params, std::string& errCode, std::string& errMsg) {
  if (InView && !params.viaView) return 1;
  if (params.viaView) InView = 0;
  switch (static_cast<rt::FileOp>(opCode)) {
    case rt::FileOp::Add:
    case rt::FileOp::Append: return PostInsert(errCode, errMsg);
    case rt::FileOp::Put: return PostUpdate(errCode, errMsg);
    case rt::FileOp::Delete: return PostDelete(errCode, errMsg);
    default: return 1;
  }
}

rt::Byte FileManager::PreDelete(std::string&, std::string&) { return 1; }
rt::Byte FileManager::PostDelete(std::string&, std::string&) { return 1; }
rt::Byte FileManager::PreInsert(rt::Long, rt::Long, std::string&, std::string&) { return 1; }
rt::Byte FileManager::PostInsert(std::string&, std::string&) { return 1; }
rt::Byte FileManager::PreUpdate(const void*, rt::Long, std::string&, std::string&) { return 1; }
rt::Byte FileManager::PostUpdate(std::string&, std::string&) { return 1; }

// ---- Accessors ----

void FileManager::SetUseMRP(rt::Byte on) { UseMRP = on; }
rt::Byte FileManager::GetUseMRP() { return UseMRP; }
void FileManager::SetMRPSize(rt::Byte size) { MRPSize = size; }
rt::Byte FileManager::GetMRPSize() { return MRPSize; }
rt::Byte FileManager::GetAutoIncDone() { return AutoIncDone; }
