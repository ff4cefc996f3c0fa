#pragma once
// The POSTGRES driver: data files as tables on a PostgreSQL server, for offices where many
// desktops share one database. A file whose declaration names the driver "POSTGRES" takes its
// name as a libpq connection string ("host=db dbname=office user=clerk"; the password belongs
// in ~/.pgpass, and is left out of every name this driver shows); the table is the file's label.
// Owns nothing shared; each driver instance owns its own connection (pg_connection.h).

#include <memory>
#include <string>
#include <string_view>

#include "runtime/data/driver.h"

namespace rt {

inline constexpr char kServerDriver[] = "POSTGRES";

std::unique_ptr<Driver> MakePgDriver(const DriverSetup& setup);

// Points a declaration at a server when the INI file says so: section [Data], key
// "<label>Server" holding a connection string. Nothing changes when the key is absent or blank.
void ApplyServerSetting(FileDecl& decl, const std::string& iniPath);

}  // namespace rt
