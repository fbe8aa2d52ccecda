#pragma once
// Holds what SQL run on a SQLite database can open to the database itself.

namespace kelvane::host::adodb {

// Makes every SQLite connection this process opens from now on, through
// any driver (they share the process's libsqlite3), refuse to attach a
// database file (and so VACUUM INTO, which attaches its target; a plain
// VACUUM still works), the load_extension() function, and the pragmas
// that move SQLite's temporary files; it also turns on SQLite's defensive
// mode. The main database opens as before. Once per process is enough,
// more is harmless.
void GuardSqlite();

}  // namespace kelvane::host::adodb
