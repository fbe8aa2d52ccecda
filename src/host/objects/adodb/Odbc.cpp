#include "host/objects/adodb/Odbc.h"

#include <algorithm>
#include <new>
#include <utility>

#include "host/objects/adodb/AdoErrors.h"
#include "platform/oleaut/Conversion.h"

namespace kelvane::host::adodb {

namespace {

SQLCHAR* Text(std::string& text) { return reinterpret_cast<SQLCHAR*>(text.data()); }

// The first `length` bytes a driver wrote into `text`, within its room.
void KeepWritten(std::string& text, SQLSMALLINT length) {
  text.resize(std::min<std::size_t>(static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), text.size() - 1));
}

// The driver's records for the last call on `handle`.
std::vector<DriverRecord> ReadRecords(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<DriverRecord> records;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    std::string message(SQL_MAX_MESSAGE_LENGTH, '\0');
    SQLSMALLINT length = 0;
    const SQLRETURN result = SQLGetDiagRec(type, handle, i, state, &native, Text(message),
                                           static_cast<SQLSMALLINT>(message.size()), &length);
    if (!SQL_SUCCEEDED(result)) break;
    KeepWritten(message, length);
    records.push_back({std::string(reinterpret_cast<const char*>(state), 5), native, std::move(message)});
  }
  return records;
}

}  // namespace

SQLHENV Environment() {
  struct Env {
    OdbcHandle handle{SQL_HANDLE_ENV, SQL_NULL_HANDLE};
    Env() {
      Check(SQLSetEnvAttr(handle.get(), SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
            handle, "ADODB.Connection");
    }
  };
  static const Env env;
  return env.handle.get();
}

OdbcHandle::OdbcHandle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  const SQLRETURN result = SQLAllocHandle(type, parent, &handle_);
  if (SQL_SUCCEEDED(result)) return;
  handle_ = SQL_NULL_HANDLE;
  if (parent == SQL_NULL_HANDLE) throw std::bad_alloc();
  // The reason is recorded on the parent.
  const SQLSMALLINT parentType = type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV;
  throw DatabaseError("ADODB.Connection", ReadRecords(parentType, parent));
}

OdbcHandle::~OdbcHandle() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

OdbcHandle::OdbcHandle(OdbcHandle&& other) noexcept
    : type_(other.type_), handle_(std::exchange(other.handle_, SQLHANDLE{})) {}

OdbcHandle& OdbcHandle::operator=(OdbcHandle&& other) noexcept {
  if (this != &other) {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
    type_ = other.type_;
    handle_ = std::exchange(other.handle_, SQLHANDLE{});
  }
  return *this;
}

void Check(SQLRETURN result, const OdbcHandle& handle, const char* source) {
  if (SQL_SUCCEEDED(result) || result == SQL_NO_DATA) return;
  throw DatabaseError(source, ReadRecords(handle.type(), handle.get()));
}

DriverConnection::~DriverConnection() {
  // A driver refuses to disconnect inside a transaction.
  SQLEndTran(SQL_HANDLE_DBC, connection_.get(), SQL_ROLLBACK);
  SQLDisconnect(connection_.get());
}

void DriverConnection::SetAutoCommit(bool on) {
  const auto value = on ? SQL_AUTOCOMMIT_ON : SQL_AUTOCOMMIT_OFF;
  Check(SQLSetConnectAttr(connection_.get(), SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(value), 0),
        connection_, "ADODB.Connection");
}

void DriverConnection::EndTransaction(bool commit) {
  Check(SQLEndTran(SQL_HANDLE_DBC, connection_.get(), commit ? SQL_COMMIT : SQL_ROLLBACK), connection_,
        "ADODB.Connection");
}

void DriverConnection::Reset() {
  EndTransaction(false);
  SetAutoCommit(true);
  // Few drivers can; those that cannot refuse, and what they keep is the
  // same site's.
  SQLSetConnectAttr(connection_.get(), SQL_ATTR_RESET_CONNECTION,
                     reinterpret_cast<SQLPOINTER>(SQL_RESET_CONNECTION_YES), SQL_IS_UINTEGER);
}

bool DriverConnection::IsDead() const {
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN result = SQLGetConnectAttr(connection_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  return SQL_SUCCEEDED(result) && dead == SQL_CD_TRUE;
}

std::string DriverConnection::InfoText(SQLUSMALLINT type) const {
  std::string text(64, '\0');
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetInfo(connection_.get(), type, text.data(), static_cast<SQLSMALLINT>(text.size()), &length)))
    return {};
  KeepWritten(text, length);
  return text;
}

std::unique_ptr<DriverConnection> ConnectDriver(const std::string& odbcConnectionString,
                                                std::chrono::seconds loginTimeout) {
  OdbcHandle connection(SQL_HANDLE_DBC, Environment());
  if (loginTimeout.count() > 0) {
    // A driver that has no login timeout says so; it connects all the same.
    SQLSetConnectAttr(connection.get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(loginTimeout.count())), 0);
  }
  std::string text = odbcConnectionString;
  Check(SQLDriverConnect(connection.get(), nullptr, Text(text), static_cast<SQLSMALLINT>(text.size()), nullptr, 0,
                         nullptr, SQL_DRIVER_NOPROMPT),
        connection, "ADODB.Connection");
  return std::make_unique<DriverConnection>(std::move(connection));
}

Statement::Statement(const DriverConnection& connection, const char* source)
    : statement_(SQL_HANDLE_STMT, connection.handle().get()), source_(source) {
  const auto deadline = CurrentDeadline();
  if (deadline != PageClock::time_point::max()) watch_ = std::make_unique<CancelWatch>(statement_.get(), deadline);
}

Statement::~Statement() {
  // No cancel may reach the handle once it is freed.
  watch_.reset();
}

void Statement::SetQueryTimeout(std::chrono::seconds seconds) {
  // A driver without timeouts refuses; the page's deadline still holds.
  SQLSetStmtAttr(statement_.get(), SQL_ATTR_QUERY_TIMEOUT,
                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(seconds.count())), 0);
}

void Statement::Run(SQLRETURN result) const {
  if (watch_ && watch_->Cancelled()) throw PageTimeout();
  Check(result, statement_, source_);
}

void Statement::Execute(std::string_view sql) {
  CheckDeadline();
  std::string text(sql);
  // After the outcome is read: any call on the statement clears its records.
  struct ParameterRelease {
    SQLHSTMT statement;
    ~ParameterRelease() { SQLFreeStmt(statement, SQL_RESET_PARAMS); }
  } release{statement_.get()};
  Run(SQLExecDirect(statement_.get(), Text(text), static_cast<SQLINTEGER>(text.size())));
}

void Statement::PrimaryKeys(std::string_view table) {
  CheckDeadline();
  std::string name(table);
  Run(SQLPrimaryKeys(statement_.get(), nullptr, 0, nullptr, 0, Text(name), static_cast<SQLSMALLINT>(name.size())));
}

SQLSMALLINT Statement::CountParameters(std::string_view sql) {
  CheckDeadline();
  std::string text(sql);
  Run(SQLPrepare(statement_.get(), Text(text), static_cast<SQLINTEGER>(text.size())));
  SQLSMALLINT count = 0;
  Run(SQLNumParams(statement_.get(), &count));
  return count;
}

SQLSMALLINT Statement::ColumnCount() {
  SQLSMALLINT count = 0;
  Run(SQLNumResultCols(statement_.get(), &count));
  return count;
}

ColumnDescription Statement::DescribeColumn(SQLUSMALLINT column) {
  std::string name(256, '\0');
  SQLSMALLINT nameLength = 0;
  ColumnDescription description;
  Run(SQLDescribeCol(statement_.get(), column, Text(name), static_cast<SQLSMALLINT>(name.size()), &nameLength,
                     &description.sqlType, &description.size, &description.decimalDigits, nullptr));
  KeepWritten(name, nameLength);
  description.name = std::move(name);
  return description;
}

std::int64_t Statement::RowCount() {
  SQLLEN count = -1;
  Run(SQLRowCount(statement_.get(), &count));
  return count;
}

bool Statement::Fetch() {
  const SQLRETURN result = SQLFetch(statement_.get());
  Run(result);
  return result != SQL_NO_DATA;
}

}  // namespace kelvane::host::adodb
