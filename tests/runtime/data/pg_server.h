#pragma once
// A real PostgreSQL 15 server for the POSTGRES driver's tests: initdb into a temporary directory,
// started on a free loopback port once per test binary and stopped (directory removed) when the
// binary ends. As root the server runs as the unprivileged user "nobody" (initdb refuses root).
// Tests that need it call Shared() and GTEST_SKIP with SkipReason() when it is null.

#include <string>

namespace test_pg {

class Server {
 public:
  // The binary's server, started on first use; null when it cannot run (see SkipReason).
  static Server* Shared();
  static const std::string& SkipReason();

  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;

  // A connection string to a new empty schema of its own (tests stay apart).
  std::string FreshSchema();
  std::string ConnInfo(const std::string& schema) const;
  int Port() const { return port_; }

  // Kills the server with SIGKILL (no shutdown at all) and waits until it has gone; Start
  // starts it again on the same directory and port.
  bool Kill();
  bool Start();

 private:
  Server() = default;
  bool Init();
  bool Run(const std::string& command, std::string& output) const;

  std::string dir_;
  int port_ = 0;
  int owner_ = 0;  // the process that started it stops it (children of fork() do not)
  int schemas_ = 0;
};

}  // namespace test_pg
