// The suite's PostgreSQL server, reached the way the database objects reach
// it: unixODBC's driver manager and the PostgreSQL Unicode driver.

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <memory>
#include <string>

#include "host/objects/adodb/TestPostgres.h"

namespace kelvane::testing {
namespace {

struct HandleFree {
  SQLSMALLINT type;
  void operator()(SQLHANDLE handle) const { SQLFreeHandle(type, handle); }
};
using Handle = std::unique_ptr<void, HandleFree>;

Handle Allocate(SQLSMALLINT type, SQLHANDLE parent) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle)));
  return Handle(handle, HandleFree{type});
}

std::string Diagnostic(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {}, message[512] = {};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length);
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message);
}

// The text of column `column` of the current row; "NULL" for a null.
std::string Text(SQLHSTMT statement, SQLUSMALLINT column) {
  char value[256] = {};
  SQLLEN length = 0;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLGetData(statement, column, SQL_C_CHAR, value, sizeof value, &length)));
  return length == SQL_NULL_DATA ? "NULL" : value;
}

TEST(PostgresServer, AnswersThroughItsSocketAsTheRunsRoleInTheRunsDatabase) {
  TestPostgres server = FindTestPostgres();
  if (server.connectionString.empty()) GTEST_SKIP() << server.skipReason;

  Handle environment = Allocate(SQL_HANDLE_ENV, SQL_NULL_HANDLE);
  SQLSetEnvAttr(environment.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  Handle connection = Allocate(SQL_HANDLE_DBC, environment.get());
  std::string in = server.connectionString;
  SQLRETURN connected = SQLDriverConnect(connection.get(), nullptr, reinterpret_cast<SQLCHAR*>(in.data()),
                                         SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT);
  ASSERT_TRUE(SQL_SUCCEEDED(connected)) << Diagnostic(SQL_HANDLE_DBC, connection.get()) << " with " << in;

  Handle statement = Allocate(SQL_HANDLE_STMT, connection.get());
  std::string sql =
      "SELECT current_user, current_database(), inet_server_addr(), 6 * 7, 'grüße ✓'::text";
  ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(statement.get(), reinterpret_cast<SQLCHAR*>(sql.data()), SQL_NTS)))
      << Diagnostic(SQL_HANDLE_STMT, statement.get());
  ASSERT_TRUE(SQL_SUCCEEDED(SQLFetch(statement.get())));
  EXPECT_EQ(Text(statement.get(), 1), "kelvane");
  EXPECT_EQ(Text(statement.get(), 2), "kelvane");
  EXPECT_EQ(Text(statement.get(), 3), "NULL") << "reached over TCP, not the socket";
  EXPECT_EQ(Text(statement.get(), 4), "42");
  EXPECT_EQ(Text(statement.get(), 5), "grüße ✓");
  SQLDisconnect(connection.get());
}

}  // namespace
}  // namespace kelvane::testing
