#pragma once
// The data dictionary: the declaration of the demo's data file AFile (its 36-byte record AFI,
// KEYED driver, name "AFILE", per thread, no keys) and, for every thread, its file manager
// (Access_AFile) and relation manager (Relate_AFile). DctInit builds the calling thread's two
// manager objects and DctKill tears them down; the thread's file instance and record are
// per-thread objects the runtime builds and destroys. Owns those per-thread objects; calls the
// data framework and refers to the program's error manager GlobalErrors.

#include <cstddef>
#include <memory>

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "runtime/core/decimal.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/thread.h"
#include "runtime/core/types.h"
#include "runtime/data/file.h"

#include "app/globals.h"

// ---- AFile ----

struct AFI_Record {
  rt::Long ID = 0;
  rt::FixedString<20> ASTRING;
  rt::PackedDecimal<7, 2> ADECIMAL;
  rt::Long ADATE = 0;  // standard date
  rt::Long ATIME = 0;  // standard time
};
static_assert(sizeof(AFI_Record) == 36);
static_assert(offsetof(AFI_Record, ID) == 0);
static_assert(offsetof(AFI_Record, ASTRING) == 4);
static_assert(offsetof(AFI_Record, ADECIMAL) == 24);
static_assert(offsetof(AFI_Record, ADATE) == 28);
static_assert(offsetof(AFI_Record, ATIME) == 32);

const rt::RecordLayout& AFileLayout();
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
