// The update form's scenarios with another station over a PostgreSQL server: the INI switch
// written before the program starts puts the program's AFile, and the other station's (which
// reads the same INI file in the same directory), in a table on the server this binary starts.
// The local file's "changed meanwhile" scenario (update_form_steps.h), with no local data file
// beside it. Without the server binaries the test skips with the reason.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "tests/app/update_form_steps.h"
#include "tests/runtime/data/pg_server.h"

namespace {

using namespace updateform;

constexpr char kPassword[] = "Sesame-4711";

class ServerStationForm : public OtherStationForm {
 protected:
  void SetUp() override {
    test_pg::Server* server = test_pg::Server::Shared();
    if (!server) GTEST_SKIP() << test_pg::Server::SkipReason();
    conninfo_ = server->FreshSchema();
    ASSERT_FALSE(conninfo_.empty()) << "no schema on the server";
    OtherStationForm::SetUp();
  }

  // A password in the connection string (the server trusts loopback, so it is never asked
  // for) must stay out of every message and the log.
  void Prepare() override {
    std::ofstream ini("Quibbet_demo.INI");
    ini << "[Data]\r\nAFileServer=" << conninfo_ << " password=" << kPassword << "\r\n";
  }

  std::string conninfo_;
};

TEST_F(ServerStationForm, ChangedMeanwhileShowsTheirsAndRecallsEachTypedValue) {
  ChangedWhileTheFormIsOpen();  // what the program then reads of AFile is on the server:
  EXPECT_FALSE(std::filesystem::exists(run_->Dir().Path() / "AFILE.db")) << "AFile stayed local";
  EXPECT_EQ(ReadFile(run_->Log()).find(kPassword), std::string::npos);
}

}  // namespace
