#include "tests/runtime/data/pg_server.h"

#include <libpq-fe.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <thread>

namespace test_pg {

namespace {

constexpr char kBin[] = "/usr/lib/postgresql/15/bin";

std::string& Reason() {
  static std::string reason;
  return reason;
}

}  // namespace

const std::string& Server::SkipReason() { return Reason(); }

Server* Server::Shared() {
  static std::unique_ptr<Server> server = [] {
    std::unique_ptr<Server> made(new Server());
    if (!made->Init()) made.reset();
    return made;
  }();
  return server.get();
}

bool Server::Run(const std::string& command, std::string& output) const {
  // initdb and the server refuse root: they run as nobody, who owns the directory.
  const std::string line = (::geteuid() == 0 ? "runuser -u nobody -- " : "") + command + " 2>&1";
  output.clear();
  FILE* pipe = ::popen(line.c_str(), "r");
  if (!pipe) return false;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  return ::pclose(pipe) == 0;
}

bool Server::Init() {
  owner_ = static_cast<int>(::getpid());
  for (const char* tool : {"initdb", "pg_ctl", "postgres"}) {
    if (::access((std::string(kBin) + "/" + tool).c_str(), X_OK) != 0) {
      Reason() = std::string("PostgreSQL 15 is not installed (no ") + kBin + "/" + tool + "): scripts/install-deps.sh installs it";
      return false;
    }
  }
  char pattern[] = "/tmp/quibbet-pg-XXXXXX";
  if (!::mkdtemp(pattern)) {
    Reason() = "no temporary directory";
    return false;
  }
  dir_ = pattern;
  if (::geteuid() == 0) {
    const passwd* nobody = ::getpwnam("nobody");
    if (!nobody || ::chown(dir_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
      Reason() = "running as root, and the user nobody cannot own " + dir_;
      return false;
    }
  }
  std::string output;
  if (!Run(std::string(kBin) + "/initdb -D " + dir_ + "/data -U quibbet -A trust -E UTF8 --locale=C --no-sync", output)) {
    Reason() = "initdb failed: " + output;
    return false;
  }
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);  // a free port: the one the system gives
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
    port_ = ntohs(address.sin_port);
  ::close(fd);
  if (!Start()) {
    Reason() = "the server did not start on port " + std::to_string(port_);
    return false;
  }
  return true;
}

bool Server::Start() {
  // fsync off keeps the tests quick; a killed server still finds every acknowledged commit in
  // the WAL the kernel holds, which is what the kill test checks.
  const std::string options = "-p " + std::to_string(port_) + " -k " + dir_ +
                              " -c listen_addresses=127.0.0.1 -c fsync=off -c max_connections=60";
  std::string output;
  for (int attempt = 0; attempt < 50; ++attempt) {  // after a kill, the old backends take a moment to go
    if (Run(std::string(kBin) + "/pg_ctl -D " + dir_ + "/data -l " + dir_ + "/log -w -t 30 -o '" + options + "' start", output))
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  return false;
}

bool Server::Kill() {
  std::ifstream pidFile(dir_ + "/data/postmaster.pid");
  long pid = 0;
  if (!(pidFile >> pid) || pid <= 0) return false;
  ::kill(static_cast<pid_t>(pid), SIGKILL);
  for (int i = 0; i < 100 && ::kill(static_cast<pid_t>(pid), 0) == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  return true;
}

Server::~Server() {
  if (static_cast<int>(::getpid()) != owner_ || dir_.empty()) return;
  std::string output;
  Run(std::string(kBin) + "/pg_ctl -D " + dir_ + "/data -m immediate -w stop", output);
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

std::string Server::ConnInfo(const std::string& schema) const {
  std::string conninfo = "host=127.0.0.1 port=" + std::to_string(port_) + " user=quibbet dbname=postgres connect_timeout=10";
  if (!schema.empty()) conninfo += " options='-csearch_path=" + schema + "'";
  return conninfo;
}

std::string Server::FreshSchema() {
  const std::string schema = "t" + std::to_string(::getpid()) + "_" + std::to_string(++schemas_);
  PGconn* conn = PQconnectdb(ConnInfo("").c_str());
  PGresult* result = PQstatus(conn) == CONNECTION_OK ? PQexec(conn, ("CREATE SCHEMA " + schema).c_str()) : nullptr;
  const bool made = PQresultStatus(result) == PGRES_COMMAND_OK;
  PQclear(result);
  PQfinish(conn);
  return made ? ConnInfo(schema) : std::string();
}

}  // namespace test_pg
