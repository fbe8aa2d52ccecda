#include "host/objects/adodb/InstalledDrivers.h"

#include <sql.h>
#include <sqlext.h>

namespace kelvane::host::adodb {

namespace {

std::vector<std::string> ListDrivers() {
  std::vector<std::string> names;
  SQLHENV environment = SQL_NULL_HENV;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &environment))) return names;
  if (SQL_SUCCEEDED(SQLSetEnvAttr(environment, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0))) {
    SQLCHAR name[256];
    SQLCHAR attributes[1024];
    SQLSMALLINT nameLength = 0;
    SQLSMALLINT attributesLength = 0;
    SQLUSMALLINT direction = SQL_FETCH_FIRST;
    while (SQL_SUCCEEDED(SQLDrivers(environment, direction, name, sizeof name, &nameLength, attributes,
                                    sizeof attributes, &attributesLength))) {
      names.emplace_back(reinterpret_cast<const char*>(name));
      direction = SQL_FETCH_NEXT;
    }
  }
  SQLFreeHandle(SQL_HANDLE_ENV, environment);
  return names;
}

}  // namespace

const std::vector<std::string>& InstalledDrivers() {
  static const std::vector<std::string> drivers = ListDrivers();
  return drivers;
}

}  // namespace kelvane::host::adodb
