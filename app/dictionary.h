#pragma once
// The data dictionary: the declaration of the demo's data file AFile (its 36-byte record AFI,
// KEYED driver, name "AFILE", per thread, no keys) and, for every thread, its file manager
// (Access_AFile) and relation manager (Relate_AFile). DctInit builds the calling thread's two
// manager objects and DctKill tears them down; the thread's file instance and record are
// per-thread objects the runtime builds and destroys. Owns those per-thread objects; calls the
// data framework and refers to the program's error manager GlobalErrors.

#include <memory>

#include "app/afile_record.h"
#include "app/globals.h"
#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "runtime/core/thread.h"
#include "runtime/core/types.h"
#include "runtime/data/file.h"

// ---- AFile ----

const rt::FileDecl& AFileDecl();

// One thread's AFile: the record buffer AFI (AFile->AFI.ID is AFI:ID) and the file over it.
class AFileInstance {
 public:
  AFileInstance();
  AFileInstance(const AFileInstance&) = delete;
  AFileInstance& operator=(const AFileInstance&) = delete;
  AFI_Record AFI;
  rt::File File;
};

// ---- The managers' classes ----

class HideAccessAFile : public FileManager {
 public:
  using FileManager::Init;
  void Init() override;
  void Kill() override;
  rt::Byte UseFile(rt::Byte useType = UseType::Uses) override;
};

// Owns the access object from DctInit on and disposes of it in Kill.
class HideRelateAFile : public RelationManager {
 public:
  explicit HideRelateAFile(std::unique_ptr<HideAccessAFile> access) : access_(std::move(access)) {}
  ~HideRelateAFile() override { HideRelateAFile::Kill(); }
  using RelationManager::Init;
  virtual void Init();
  void Kill() override;

 private:
  std::unique_ptr<HideAccessAFile> access_;
};

// ---- Per-thread objects ----

// Their build and destroy orders are the program's thread order table (app/globals.cpp): the file
// instance is built before and destroyed after the managers.
extern rt::PerThread<AFileInstance> AFile;
extern rt::PerThread<FileManager*> Access_AFile;      // set by HideAccessAFile::Init, cleared by Kill
extern rt::PerThread<RelationManager*> Relate_AFile;  // set by DctInit, cleared by HideRelateAFile::Kill

// ---- Building and tearing down the calling thread's dictionary ----

void DctInit();
void DctKill();
