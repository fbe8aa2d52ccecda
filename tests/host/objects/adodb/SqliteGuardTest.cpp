// The SQLite guard, through the real ODBC driver as ADODB reaches it: the
// database opens and works, and no SQL opens another file or loads code.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <filesystem>
#include <string>

#include "host/objects/adodb/SqliteGuard.h"
#include "support/TempFolder.h"

namespace kelvane::host::adodb {
namespace {

// One ODBC connection, straight through unixODBC.
class OdbcConnection {
 public:
  OdbcConnection() {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment_);
    SQLSetEnvAttr(environment_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, environment_, &connection_);
  }
  ~OdbcConnection() {
    if (connected_) SQLDisconnect(connection_);
    SQLFreeHandle(SQL_HANDLE_DBC, connection_);
    SQLFreeHandle(SQL_HANDLE_ENV, environment_);
  }
  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  bool Connect(const std::string& text) {
    std::string copy = text;
    connected_ = SQL_SUCCEEDED(SQLDriverConnect(connection_, nullptr, reinterpret_cast<SQLCHAR*>(copy.data()), SQL_NTS,
                                                nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
    return connected_;
  }

  // Runs `sql`: "" when it succeeds, else the driver's message.
  std::string Execute(const std::string& sql) {
    SQLHSTMT statement = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, connection_, &statement);
    std::string copy = sql;
    std::string message;
    if (!SQL_SUCCEEDED(SQLExecDirect(statement, reinterpret_cast<SQLCHAR*>(copy.data()), SQL_NTS))) {
      SQLCHAR state[6];
      SQLCHAR text[512];
      SQLINTEGER native = 0;
      SQLSMALLINT length = 0;
      SQLGetDiagRec(SQL_HANDLE_STMT, statement, 1, state, &native, text, sizeof text, &length);
      message = length > 0 ? std::string(reinterpret_cast<const char*>(text)) : "failed";
    }
    SQLFreeHandle(SQL_HANDLE_STMT, statement);
    return message;
  }

 private:
  SQLHENV environment_ = SQL_NULL_HENV;
  SQLHDBC connection_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

TEST(SqliteGuardTest, SqlReachesNoFileButItsDatabase) {
  GuardSqlite();
  const TempFolder folder("sqlite-guard");
  const std::string main = (folder.Path() / "main.db").string();
  const std::string other = (folder.Path() / "other.db").string();
  const std::string copy = (folder.Path() / "copy.db").string();
  OdbcConnection odbc;
  ASSERT_TRUE(odbc.Connect("Driver={SQLite3};Database=" + main));
  ASSERT_EQ(odbc.Execute("CREATE TABLE t(x)"), "");
  ASSERT_EQ(odbc.Execute("INSERT INTO t VALUES (1)"), "");
  EXPECT_EQ(odbc.Execute("VACUUM"), "");

  for (const std::string& sql :
       {"ATTACH DATABASE '" + other + "' AS o", "ATTACH 'file:" + other + "' AS o", "VACUUM INTO '" + copy + "'",
        "SELECT load_extension('" + other + "')", "PRAGMA temp_store_directory = '" + folder.Path().string() + "'"}) {
    EXPECT_THAT(odbc.Execute(sql), testing::HasSubstr("authoriz")) << sql;  // "not authorized", "authorization denied"
  }
  EXPECT_FALSE(std::filesystem::exists(other));
  EXPECT_FALSE(std::filesystem::exists(copy));
  EXPECT_EQ(odbc.Execute("SELECT x FROM t"), "");
}

}  // namespace
}  // namespace kelvane::host::adodb
