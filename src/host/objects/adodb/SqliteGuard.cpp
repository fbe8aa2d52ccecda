#include "host/objects/adodb/SqliteGuard.h"

#include <sqlite3.h>

namespace kelvane::host::adodb {

namespace {

// For SQLITE_ATTACH `first` is the file, for SQLITE_PRAGMA the pragma's
// name; for SQLITE_FUNCTION `second` is the function's.
int Authorize(void*, int action, const char* first, const char* second, const char*, const char*) {
  switch (action) {
    case SQLITE_ATTACH:
      // "" is a private temporary database, what VACUUM attaches to rebuild
      // the main one; VACUUM INTO attaches its target by name.
      return first != nullptr && *first == '\0' ? SQLITE_OK : SQLITE_DENY;
    case SQLITE_FUNCTION:
      return sqlite3_stricmp(second, "load_extension") == 0 ? SQLITE_DENY : SQLITE_OK;
    case SQLITE_PRAGMA:
      return sqlite3_stricmp(first, "temp_store_directory") == 0 || sqlite3_stricmp(first, "data_store_directory") == 0
                 ? SQLITE_DENY
                 : SQLITE_OK;
    default:
      return SQLITE_OK;
  }
}

// Runs inside sqlite3_open for every new connection, before the driver
// sees it.
int Guard(sqlite3* db, const char**, const sqlite3_api_routines*) {
  sqlite3_limit(db, SQLITE_LIMIT_ATTACHED, 1);
  sqlite3_db_config(db, SQLITE_DBCONFIG_ENABLE_LOAD_EXTENSION, 0, nullptr);
  sqlite3_db_config(db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
  sqlite3_set_authorizer(db, Authorize, nullptr);
  return SQLITE_OK;
}

}  // namespace

void GuardSqlite() {
  // sqlite3_auto_extension takes the entry point as a plain function
  // pointer and calls it with the entry point's own type.
  static const int installed = sqlite3_auto_extension(reinterpret_cast<void (*)()>(Guard));
  (void)installed;
}

}  // namespace kelvane::host::adodb
