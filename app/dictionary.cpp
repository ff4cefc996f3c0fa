#include "app/dictionary.h"

#include <memory>

#include "framework/error/error_class.h"
#include "runtime/core/assert.h"
#include "runtime/data/pg_driver.h"

namespace {

// The thread's relation object, which owns the access object. DctInit makes it and DctKill
// disposes of it; a thread that ends without DctKill has it torn down the same way.
rt::PerThread<std::unique_ptr<HideRelateAFile>> tRelateAFile{"HideRelateAFile"};

}  // namespace

rt::PerThread<AFileInstance> AFile{"AFile"};
rt::PerThread<FileManager*> Access_AFile{"Access_AFile"};
rt::PerThread<RelationManager*> Relate_AFile{"Relate_AFile"};

// ---- The declaration ----

const rt::FileDecl& AFileDecl() {
  static const rt::FileDecl decl = [] {
    rt::FileDecl d;
    d.label = "AFile";
    d.driver = rt::kKeyedDriver;
    d.name = "AFILE";
    d.layout = &AFileLayout();
    d.create = true;
    d.perThread = true;
    rt::ApplyServerSetting(d, ".\\Quibbet_demo.INI");  // [Data] AFileServer=<connection string>
    return d;
  }();
  return decl;
}

AFileInstance::AFileInstance() : File(AFileDecl(), AFI) {}

// ---- HideAccessAFile ----

void HideAccessAFile::Init() {
  Initialized = 0;
  Buffer = AFile->File.Record();
  FileNameValue = "AFile";
  SetErrors(GlobalErrors);
  File = &AFile->File;
  FileManager::Init();
  *Access_AFile = this;
}

rt::Byte HideAccessAFile::UseFile(rt::Byte useType) {
  if (useType != UseType::Initialize) {
    UseFile(UseType::Initialize);
  } else if (!Initialized) {
    InUseFile = 1;
    Init(AFile->File, GlobalErrors);
    Create = 1;
    LockRecover = 10;
  }
  return FileManager::UseFile(useType);
}

void HideAccessAFile::Kill() {
  FileManager::Kill();
  *Access_AFile = nullptr;
}

// ---- HideRelateAFile ----

void HideRelateAFile::Init() {
  RT_ASSERT(access_ != nullptr, "HideRelateAFile::Init without its access object");
  if (!access_) return;
  access_->Init();
  RelationManager::Init(*access_, 1);
}

void HideRelateAFile::Kill() {
  if (access_) access_->Kill();
  RelationManager::Kill();
  *Relate_AFile = nullptr;
  access_.reset();
}

// ---- The dictionary ----

void DctInit() {
  std::unique_ptr<HideRelateAFile>& relate = *tRelateAFile;
  RT_ASSERT(!relate, "DctInit called twice on one thread");
  if (relate) return;
  // The file module's DctInit, then its FilesInit.
  auto access = std::make_unique<HideAccessAFile>();
  relate = std::make_unique<HideRelateAFile>(std::move(access));
  *Relate_AFile = relate.get();
  relate->Init();
}

void DctKill() {
  std::unique_ptr<HideRelateAFile>& relate = *tRelateAFile;
  if (!relate) return;
  relate->Kill();
  relate.reset();
}
