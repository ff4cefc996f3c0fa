#include "tests/framework/data/data_fixture.h"

#include <algorithm>

#include "runtime/core/assert.h"
#include "runtime/core/dialogs.h"

namespace testdict {

namespace {

rt::PerThread<ErrorStatusClass> gStatus{"ErrorStatusForTests"};

}  // namespace

rt::FileDecl Decl(const std::string& label, const std::string& path, const rt::RecordLayout& layout,
                  std::vector<rt::KeyDecl> keys) {
  rt::FileDecl decl;
  decl.label = label;
  decl.driver = rt::kKeyedDriver;
  decl.name = path;
  decl.layout = &layout;
  decl.keys = std::move(keys);
  decl.create = true;
  return decl;
}

rt::FileDecl ParentDecl(const std::string& directory) {
  static const rt::RecordLayout layout(sizeof(PAR_Record), {rt::LayoutField("PAR:ID", &PAR_Record::ID),
                                                            rt::LayoutField("PAR:NAME", &PAR_Record::NAME)});
  return Decl("Parent", directory + "/parent", layout,
              {{"PAR:IDKey", {{1, true}}, true, false, false, true}, {"PAR:NameKey", {{2, true}}, true, true, false, false}});
}
rt::FileDecl ChildDecl(const std::string& directory) {
  static const rt::RecordLayout layout(sizeof(CHI_Record), {rt::LayoutField("CHI:PARENTID", &CHI_Record::PARENTID),
                                                           rt::LayoutField("CHI:SEQ", &CHI_Record::SEQ),
                                                           rt::LayoutField("CHI:TEXT", &CHI_Record::TEXT)});
  return Decl("Child", directory + "/child", layout, {{"CHI:ParentKey", {{1, true}, {2, true}}, true, false, false, true}});
}
rt::FileDecl GrandDecl(const std::string& directory) {
  static const rt::RecordLayout layout(sizeof(GRA_Record), {rt::LayoutField("GRA:PARENTID", &GRA_Record::PARENTID),
                                                           rt::LayoutField("GRA:CHILDSEQ", &GRA_Record::CHILDSEQ),
                                                           rt::LayoutField("GRA:NOTE", &GRA_Record::NOTE)});
  return Decl("Grand", directory + "/grand", layout, {{"GRA:ChildKey", {{1, true}, {2, true}}, false, false, false, false}});
}

// ---- TestAccess ----

void TestAccess::Init() {
  Initialized = 0;
  Buffer = file_.Record();
  FileNameValue = file_.Decl().label;
  SetErrors(errors_);
  File = &file_;
  FileManager::Init();
}

void TestAccess::Init(rt::File& file, ErrorClass& errors) {
  ++fullInits;
  FileManager::Init(file, errors);
  for (const KeySpec& spec : keySpecs_) AddKey(spec.key, spec.description, spec.autoInc);
  PrimaryKey = primaryKey_;
}

rt::Byte TestAccess::UseFile(rt::Byte useType) {
  if (useType != UseType::Initialize) {
    UseFile(UseType::Initialize);
  } else if (!Initialized) {
    InUseFile = 1;
    Init(file_, errors_);
    Create = 1;
    LockRecover = 10;
  }
  return FileManager::UseFile(useType);
}

rt::Byte TestAccess::PreDelete(std::string& errCode, std::string& errMsg) {
  ++deletesTried;
  if (deleteFailuresLeft <= 0) return 1;
  --deleteFailuresLeft;
  errCode = "90";
  errMsg = "refused by the test";
  return 0;
}

rt::Byte TestAccess::ValidateFieldServer(rt::Long id, rt::Byte handleErrors) {
  if (id != requiredField) return FileManager::ValidateFieldServer(id, handleErrors);
  const rt::FieldLayout* field = file_.Layout().Field(static_cast<std::size_t>(id));
  if (!rt::FieldRef(*field, Buffer.data()).Text().empty()) return Level::Ok;
  if (handleErrors) errors_.Throw(25);
  return Level::Notify;
}

bool FaultInjector::FunctionCalled(const rt::FileCall& call, std::string& errCode, std::string& errMsg) {
  if (std::find(ops_.begin(), ops_.end(), call.op) == ops_.end()) return true;
  if (++calls != failAt_) return true;
  errCode = "90";
  errMsg = "injected fault";
  return false;
}

// ---- DataTest ----

DataTest::DataTest()
    : parentDecl_(ParentDecl(temp_.Path().string())),
      childDecl_(ChildDecl(temp_.Path().string())),
      grandDecl_(GrandDecl(temp_.Path().string())) {
  parentFile_ = std::make_unique<rt::File>(parentDecl_, PAR);
  childFile_ = std::make_unique<rt::File>(childDecl_, CHI);
  grandFile_ = std::make_unique<rt::File>(grandDecl_, GRA);
  parent_ = std::make_unique<TestAccess>(*parentFile_, errors_,
                                         std::vector<TestAccess::KeySpec>{{1, "", true}, {2, "Parent name", false}}, 1);
  child_ = std::make_unique<TestAccess>(*childFile_, errors_, std::vector<TestAccess::KeySpec>{{1, "", true}}, 1);
  grand_ = std::make_unique<TestAccess>(*grandFile_, errors_, std::vector<TestAccess::KeySpec>{{1, "", false}}, 0);
}

DataTest::~DataTest() {
  for (TestRelate* relate : {relParent_.get(), relChild_.get(), relGrand_.get()}) relate->Kill();
  for (TestAccess* access : {parent_.get(), child_.get(), grand_.get()}) access->Kill();
}

void DataTest::SetUp() {
  rt::SetDialogHost(&dialogs_);
  rt::testing::ClearAssertionMessages();
  rt::ClearError();
  errors_.Init(gStatus);
  for (TestAccess* access : {parent_.get(), child_.get(), grand_.get()}) access->Init();
  relParent_->Init(*parent_, 1);
  relChild_->Init(*child_, 1);
  relGrand_->Init(*grand_, 1);
  relChild_->addRelations = [this](TestRelate& self) {
    BufferedPairsClass& toGrand = self.AddRelation(*relGrand_, RI::Cascade, RI::Cascade, 1);
    toGrand.AddPair(CHI.PARENTID, GRA.PARENTID);
    toGrand.AddPair(CHI.SEQ, GRA.CHILDSEQ);
    BufferedPairsClass& toParent = self.AddRelation(*relParent_, RI::None, RI::None, 1);
    toParent.AddPair(CHI.PARENTID, PAR.ID);
  };
  RelateParentToChild(RI::Cascade, RI::Cascade);
}

void DataTest::TearDown() { rt::SetDialogHost(nullptr); }

void DataTest::RelateParentToChild(rt::Byte updateMode, rt::Byte deleteMode) {
  relParent_->addRelations = [this, updateMode, deleteMode](TestRelate& self) {
    self.AddRelation(*relChild_, updateMode, deleteMode, 1).AddPair(PAR.ID, CHI.PARENTID);
  };
}

std::vector<std::string> DataTest::ShownTitles() const {
  std::vector<std::string> titles;
  for (const rt::MessageBoxRequest& shown : dialogs_.Shown()) titles.push_back(shown.caption);
  return titles;
}

}  // namespace testdict
