#pragma once
// The ODBC drivers installed on this machine, as unixODBC lists them.

#include <string>
#include <vector>

namespace kelvane::host::adodb {

// The names of the drivers in odbcinst.ini ("FreeTDS", "SQLite3", ...),
// read through SQLDrivers on the first call; a driver installed later is
// seen after a restart. Empty when unixODBC cannot be asked.
const std::vector<std::string>& InstalledDrivers();

}  // namespace kelvane::host::adodb
