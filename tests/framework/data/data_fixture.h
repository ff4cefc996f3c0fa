#pragma once
// A test dictionary of its own: a parent file (auto-numbered ID key, unique name key), a child
// file (a key of parent id and a number within the parent, auto-numbered), a grandchild file
// keyed by its child, relations parent -> child in the mode a test chooses, child -> grandchild
// cascading, and child -> parent with no action (so the graph has a cycle). Plus a fixture that
// gives each test its own program thread, temporary directory, error manager and scripted user.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "framework/data/file_manager.h"
#include "framework/data/relation_manager.h"
#include "framework/error/error_class.h"
#include "runtime/core/fixed_string.h"
#include "runtime/core/last_error.h"
#include "runtime/core/thread.h"
#include "runtime/data/file.h"
#include "tests/support/files.h"
#include "tests/support/scripted_dialogs.h"

namespace testdict {

struct PAR_Record { rt::Long ID = 0; rt::FixedString<20> NAME; };
struct CHI_Record { rt::Long PARENTID = 0; rt::Long SEQ = 0; rt::FixedString<20> TEXT; };
struct GRA_Record { rt::Long PARENTID = 0; rt::Long CHILDSEQ = 0; rt::FixedString<20> NOTE; };

// A keyed file, created when missing.
rt::FileDecl Decl(const std::string& label, const std::string& path, const rt::RecordLayout& layout,
                  std::vector<rt::KeyDecl> keys);
rt::FileDecl ParentDecl(const std::string& directory);
rt::FileDecl ChildDecl(const std::string& directory);
rt::FileDecl GrandDecl(const std::string& directory);

// A file manager over one test file, initialised the way the dictionary does it: light Init at
// once, the full Init on the first use.
class TestAccess : public FileManager {
 public:
  struct KeySpec { std::size_t key; std::string description; bool autoInc; };
  TestAccess(rt::File& file, ErrorClass& errors, std::vector<KeySpec> keys, rt::Byte primaryKey)
      : file_(file), errors_(errors), keySpecs_(std::move(keys)), primaryKey_(primaryKey) {}
  using FileManager::Init;
  using FileManager::FunctionCalled;
  using FileManager::FunctionDone;

  void Init() override;
  void Init(rt::File& file, ErrorClass& errors) override;
  rt::Byte UseFile(rt::Byte useType = UseType::Uses) override;
  rt::Byte PreDelete(std::string& errCode, std::string& errMsg) override;
  rt::Byte ValidateFieldServer(rt::Long id, rt::Byte handleErrors) override;

  int fullInits = 0;
  int deleteFailuresLeft = 0;  // PreDelete refuses this many deletes
  int deletesTried = 0;
  rt::Long requiredField = 0;  // ValidateFieldServer refuses this field when it is blank

 private:
  rt::File& file_;
  ErrorClass& errors_;
  std::vector<KeySpec> keySpecs_;
  rt::Byte primaryKey_;
};

class TestRelate : public RelationManager {
 public:
  using RelationManager::AddRelation;
  std::function<void(TestRelate&)> addRelations;
  int deferredCalls = 0;
  void DeferedAddRelations() override {
    ++deferredCalls;
    if (addRelations) addRelations(*this);
  }
};

// Fails the Nth of these operations on the files it watches (once), as a driver error would.
class FaultInjector : public rt::FileCallback {
 public:
  explicit FaultInjector(int failAt, std::vector<rt::FileOp> ops = {rt::FileOp::Add, rt::FileOp::Put, rt::FileOp::Delete,
                                                                   rt::FileOp::Next, rt::FileOp::GetByKey, rt::FileOp::Reget,
                                                                   rt::FileOp::SetKeyValue, rt::FileOp::Previous})
      : failAt_(failAt), ops_(std::move(ops)) {}
  bool FunctionCalled(const rt::FileCall& call, std::string& errCode, std::string& errMsg) override;
  bool FunctionDone(const rt::FileCall&, std::string&, std::string&) override { return true; }
  int calls = 0;

 private:
  int failAt_;
  std::vector<rt::FileOp> ops_;
};

// Each test on a program thread of its own: every per-thread object is built for the test and
// destroyed after it.
class DataTest : public ::testing::Test {
 protected:
  DataTest();
  ~DataTest() override;
  void SetUp() override;
  void TearDown() override;

  // Relations parent -> child in these modes; call before anything opens the parent.
  void RelateParentToChild(rt::Byte updateMode, rt::Byte deleteMode);
  // Adds records straight through the runtime (no manager), closing the file again.
  template <class Record>
  static void Add(const rt::FileDecl& decl, const std::vector<Record>& rows) {
    Record record;
    rt::File file(decl, record);
    file.CreateIfMissing();
    file.Open();
    ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
    for (const Record& row : rows) {
      record = row;
      file.Add();
      ASSERT_EQ(rt::ErrorCode(), 0) << rt::Error();
    }
    file.Close();
  }
  template <class Record, class Row>
  static void Add(const rt::FileDecl& decl, const std::vector<Row>& rows) {
    std::vector<Record> records;
    for (const Row& row : rows) records.push_back(std::apply([](auto... field) { return Record{field...}; }, row));
    Add(decl, records);
  }
  void AddParents(const std::vector<std::pair<rt::Long, std::string_view>>& rows) { Add<PAR_Record>(parentDecl_, rows); }
  void AddChildren(const std::vector<std::tuple<rt::Long, rt::Long, std::string_view>>& rows) { Add<CHI_Record>(childDecl_, rows); }
  void AddGrands(const std::vector<std::tuple<rt::Long, rt::Long, std::string_view>>& rows) { Add<GRA_Record>(grandDecl_, rows); }
  // All records of a file in key order (key 1), read by a file instance of its own.
  template <class Record>
  static std::vector<Record> All(const rt::FileDecl& decl) {
    Record record;
    rt::File file(decl, record);
    std::vector<Record> rows;
    file.Open();
    if (rt::ErrorCode() != 0) return rows;
    file.SetKey(1);
    for (file.Next(); rt::ErrorCode() == 0; file.Next()) rows.push_back(record);
    file.Close();
    return rows;
  }
  std::vector<PAR_Record> Parents() { return All<PAR_Record>(parentDecl_); }
  std::vector<CHI_Record> Children() { return All<CHI_Record>(childDecl_); }
  std::vector<GRA_Record> Grands() { return All<GRA_Record>(grandDecl_); }
  std::vector<std::string> ShownTitles() const;

  rt::ThreadScope scope_;
  TempDir temp_;
  ScriptedDialogs dialogs_;
  ErrorClass errors_;
  rt::FileDecl parentDecl_, childDecl_, grandDecl_;
  PAR_Record PAR;
  CHI_Record CHI;
  GRA_Record GRA;
  std::unique_ptr<rt::File> parentFile_, childFile_, grandFile_;
  std::unique_ptr<TestAccess> parent_, child_, grand_;
  std::unique_ptr<TestRelate> relParent_ = std::make_unique<TestRelate>(), relChild_ = std::make_unique<TestRelate>(),
                              relGrand_ = std::make_unique<TestRelate>();
};

}  // namespace testdict
