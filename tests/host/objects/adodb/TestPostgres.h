#pragma once
// The PostgreSQL server the suite starts for tests named "*Postgres*"
// (tests/support/postgres-fixture, wired in tests/CMakeLists.txt): where it
// is, as a connection string for the PostgreSQL Unicode ODBC driver.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace kelvane::testing {

struct TestPostgres {
  std::string connectionString;  // empty when there is no server
  std::string skipReason;        // why not, for GTEST_SKIP
};

// The server of this run. A test skips with `skipReason` when the connection
// string is empty: outside ctest, or where no server is installed; anywhere
// else the server is there and a failure to reach it is the test's failure.
inline TestPostgres FindTestPostgres() {
  const char* host = std::getenv("KELVANE_TEST_PGHOST");
  const char* database = std::getenv("KELVANE_TEST_PGDATABASE");
  const char* user = std::getenv("KELVANE_TEST_PGUSER");
  if (host == nullptr || database == nullptr || user == nullptr) {
    return {{}, "no PostgreSQL server for this run: run the test through ctest"};
  }
  std::ifstream absent(std::filesystem::path(host) / "absent");
  if (absent) {
    return {{}, std::string(std::istreambuf_iterator<char>(absent), {})};
  }
  return {std::string("Driver={PostgreSQL Unicode};Servername=") + host +
              ";Port=5432;Database=" + database + ";Username=" + user + ";",
          {}};
}

}  // namespace kelvane::testing
