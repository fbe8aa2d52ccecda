#pragma once
// The ODBC calls the database objects are built on, over unixODBC: one
// ODBC 3 environment a process, connections and statements as owning
// handles. Text crosses the driver as UTF-8 through the narrow calls,
// which drivers take as it is: the driver manager's conversion of the wide
// calls for a driver without them would depend on the process's locale.
// A failed call raises DatabaseError with the driver's records.

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/objects/adodb/QueryCanceller.h"

namespace kelvane::host::adodb {

// A handle of one ODBC type, freed with it.
class OdbcHandle {
 public:
  OdbcHandle() = default;
  // A new handle of `type` under `parent`; raises on failure.
  OdbcHandle(SQLSMALLINT type, SQLHANDLE parent);
  ~OdbcHandle();
  OdbcHandle(OdbcHandle&& other) noexcept;
  OdbcHandle& operator=(OdbcHandle&& other) noexcept;

  SQLHANDLE get() const { return handle_; }
  SQLSMALLINT type() const { return type_; }

 private:
  SQLSMALLINT type_ = 0;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The process's ODBC 3 environment, made on first use and kept until exit.
SQLHENV Environment();

// Raises DatabaseError for the call on `handle` that returned `result`,
// unless it succeeded (with or without information). `source` names the
// object the page called.
void Check(SQLRETURN result, const OdbcHandle& handle, const char* source);

// One connection to a database through its driver.
class DriverConnection {
 public:
  explicit DriverConnection(OdbcHandle connection) : connection_(std::move(connection)) {}
  ~DriverConnection();
  DriverConnection(const DriverConnection&) = delete;
  DriverConnection& operator=(const DriverConnection&) = delete;

  const OdbcHandle& handle() const { return connection_; }

  // Turns auto-commit off (a transaction is open until EndTransaction) or on.
  void SetAutoCommit(bool on);
  // Commits or rolls back the open transaction.
  void EndTransaction(bool commit);
  // Makes the connection as new for its next user: rolls back, turns
  // auto-commit on, and asks the driver to reset the rest of its state.
  void Reset();
  // Whether the driver knows the connection to be lost.
  bool IsDead() const;
  // The text SQLGetInfo gives for `type`; empty when the driver has none.
  std::string InfoText(SQLUSMALLINT type) const;

 private:
  OdbcHandle connection_;
};

// Connects with `odbcConnectionString` as SQLDriverConnect reads it, never
// prompting, waiting at most `loginTimeout` (0: the driver's own) for the
// login. Raises DatabaseError with the driver's records when it fails.
std::unique_ptr<DriverConnection> ConnectDriver(const std::string& odbcConnectionString,
                                                std::chrono::seconds loginTimeout = std::chrono::seconds(15));

// How a result column is described by the driver.
struct ColumnDescription {
  std::string name;
  SQLSMALLINT sqlType = SQL_UNKNOWN_TYPE;
  SQLULEN size = 0;  // characters, digits or bytes
  SQLSMALLINT decimalDigits = 0;
};

// A statement on a connection: executed once, its rows then fetched
// forward. The page's deadline holds over every call: when it passes, the
// running call is cancelled and PageTimeout raised.
class Statement {
 public:
  Statement(const DriverConnection& connection, const char* source);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  SQLHSTMT get() const { return statement_.get(); }

  // Stops after `seconds` (0: no limit of its own).
  void SetQueryTimeout(std::chrono::seconds seconds);
  // Executes `sql` with the parameters bound before, then lets go of them:
  // their buffers need not outlive the call.
  void Execute(std::string_view sql);
  // Asks for the columns of `table`'s primary key: rows of TABLE_CAT,
  // TABLE_SCHEM, TABLE_NAME, COLUMN_NAME, KEY_SEQ.
  void PrimaryKeys(std::string_view table);
  // Prepares `sql` without running it, and counts its parameter markers.
  SQLSMALLINT CountParameters(std::string_view sql);
  // Whether the statement gives rows, and their columns.
  SQLSMALLINT ColumnCount();
  ColumnDescription DescribeColumn(SQLUSMALLINT column);
  // The rows a statement that gives none changed; -1 when unknown.
  std::int64_t RowCount();
  // Moves to the next row; false after the last.
  bool Fetch();
  // Checks the result of a driver call on this statement: PageTimeout when
  // the deadline cancelled it, else DatabaseError when it failed.
  void Run(SQLRETURN result) const;

 private:
  OdbcHandle statement_;
  const char* source_;
  std::unique_ptr<CancelWatch> watch_;
};

}  // namespace kelvane::host::adodb
