#pragma once
// Connections kept open between pages, one pool for the process keyed by
// the driver connection string: a page that opens and closes a connection
// on every request logs in once. A connection handed back is rolled back
// and reset; one idle for a minute, or lost, is closed, and so are the
// longest idle beyond 32 in all.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "host/objects/adodb/Odbc.h"

namespace kelvane::host::adodb {

// A connection taken from the pool, handed back when destroyed.
class PooledConnection {
 public:
  PooledConnection(std::string key, std::unique_ptr<DriverConnection> connection);
  ~PooledConnection();
  PooledConnection(const PooledConnection&) = delete;
  PooledConnection& operator=(const PooledConnection&) = delete;

  DriverConnection& operator*() const { return *connection_; }
  DriverConnection* operator->() const { return connection_.get(); }

 private:
  std::string key_;
  std::unique_ptr<DriverConnection> connection_;
};

// An idle connection for `odbcConnectionString`, else a new one
// (ConnectDriver's errors). A string that names a database file
// (`databaseFile`, empty for a server) finds only connections to the file
// that has that name now: one replaced or removed since leaves its
// connections to age out, so no page reads or writes a file gone from its
// place.
std::unique_ptr<PooledConnection> TakeConnection(const std::string& odbcConnectionString,
                                                 const std::filesystem::path& databaseFile,
                                                 std::chrono::seconds loginTimeout);

// How many times the process has logged in to a database.
std::uint64_t DriverLogins();

}  // namespace kelvane::host::adodb
