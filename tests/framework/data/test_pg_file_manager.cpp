// A file manager over a POSTGRES file whose server goes away: the user is told through the
// error manager (so the message hook logs it) with a clear text, the program goes on, and the
// next open of the file reconnects.

#include <gtest/gtest.h>

#include "runtime/data/pg_driver.h"
#include "tests/framework/data/data_fixture.h"
#include "tests/runtime/data/pg_server.h"

namespace testdict {
namespace {

class PgFileManager : public DataTest {
 protected:
  PgFileManager() {
    server_ = test_pg::Server::Shared();
    if (!server_) return;
    parentDecl_.driver = rt::kServerDriver;
    parentDecl_.name = server_->FreshSchema();
    parentFile_ = std::make_unique<rt::File>(parentDecl_, PAR);
    parent_ = std::make_unique<TestAccess>(*parentFile_, errors_,
                                           std::vector<TestAccess::KeySpec>{{1, "", true}, {2, "Parent name", false}}, 1);
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << test_pg::Server::SkipReason();
    DataTest::SetUp();
  }

  test_pg::Server* server_ = nullptr;
};

TEST_F(PgFileManager, ALostServerIsToldToTheUserAndTheNextOpenReconnects) {
  ASSERT_EQ(parent_->Open(), Level::Ok);  // creates the missing table
  parent_->PrimeRecord();
  PAR.NAME = "before";
  ASSERT_EQ(parent_->Insert(), Level::Ok);

  ASSERT_TRUE(server_->Kill());
  parent_->PrimeRecord();
  PAR.NAME = "while gone";
  EXPECT_NE(parent_->Insert(), Level::Ok);
  ASSERT_FALSE(dialogs_.Shown().empty()) << "the user is told";
  const std::string told = dialogs_.Shown().back().text;  // one clear line, not the library's advice
  EXPECT_TRUE(told.find("The connection to the database server was lost (terminating connection") != std::string::npos &&
              told.find('\n') == std::string::npos) << told;

  ASSERT_TRUE(server_->Start());
  parent_->Close();
  ASSERT_EQ(parent_->Open(), Level::Ok) << "the next open reconnects";
  parent_->PrimeRecord();
  PAR.NAME = "after";
  EXPECT_EQ(parent_->Insert(), Level::Ok);
  parent_->Close();
  EXPECT_EQ(Parents().size(), 2u) << "before and after, not the insert while the server was gone";
}

}  // namespace
}  // namespace testdict
