// The update form's scenarios with another station over a PostgreSQL server: the INI switch
// written before the program starts puts the program's AFile, and the other station's (which
// reads the same INI file in the same directory), in a table on the server this binary starts.
// The local file's "changed meanwhile" scenario (update_form_steps.h); here the table on the
// server is also read with libpq directly, so a stray local file cannot pass for it. Without the
// server binaries the test skips with the reason.

#include <gtest/gtest.h>
#include <libpq-fe.h>

#include <filesystem>
#include <fstream>
#include <memory>
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

  void ExpectNoPasswordInTheLog() {
    EXPECT_EQ(ReadFile(run_->Log()).find(kPassword), std::string::npos);
  }

  // The table's rows as "id|astring|adecimal", in the order they were stored, read over a
  // connection of the test's own; the local directory must hold no data file.
  Strings OnTheServer() {
    EXPECT_FALSE(std::filesystem::exists(run_->Dir().Path() / "AFILE.db")) << "AFile stayed local";
    const std::unique_ptr<PGconn, decltype(&PQfinish)> conn(PQconnectdb(conninfo_.c_str()), &PQfinish);
    if (PQstatus(conn.get()) != CONNECTION_OK) return {std::string("no connection: ") + PQerrorMessage(conn.get())};
    const std::unique_ptr<PGresult, decltype(&PQclear)> rows(
        PQexec(conn.get(), "SELECT id, astring, adecimal FROM afile ORDER BY _record"), &PQclear);
    if (PQresultStatus(rows.get()) != PGRES_TUPLES_OK) return {std::string("no table: ") + PQerrorMessage(conn.get())};
    Strings stored;
    for (int r = 0; r < PQntuples(rows.get()); ++r)
      stored.push_back(std::string(PQgetvalue(rows.get(), r, 0)) + "|" + Trimmed(PQgetvalue(rows.get(), r, 1)) + "|" +
                       PQgetvalue(rows.get(), r, 2));
    return stored;
  }

  std::string conninfo_;
};

TEST_F(ServerStationForm, ChangedMeanwhileShowsTheirsAndRecallsEachTypedValue) {
  ChangedWhileTheFormIsOpen();
  EXPECT_EQ(OnTheServer(), Strings{"1|mine|2.25"});
  ExpectNoPasswordInTheLog();
}

}  // namespace
