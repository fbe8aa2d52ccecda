#pragma once
// What a page's connection string becomes before any database code sees
// it. The text is parsed as pages write it; Windows driver and provider
// names become the drivers installed here; options that would load code or
// write files are refused; a database file the string names is held to
// where pages may reach; and the string handed to unixODBC is built anew,
// so that no value can smuggle in an option of its own.

#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "host/pages/FileReach.h"

namespace kelvane::host::adodb {

// One `key=value` piece of a connection string: the key as written without
// the spaces around it, the value unbraced or unquoted.
struct ConnectionOption {
  std::string key;
  std::string value;
};

// The pieces of `text`, in order. Pieces are separated by ';', empty ones
// are skipped. A value is braced ({a;b}, "}}" inside for '}'), quoted with
// " or ' (the quote doubled inside), or runs to the next ';' without the
// spaces around it. Raises 3001 for a piece without '=' or without a key,
// an unclosed brace or quote, text after the closing one, a NUL character
// or text over 8 KiB; the description never quotes the text.
std::vector<ConnectionOption> ParseConnectionString(std::string_view text);

// What SQLDriverConnect is given for a page's connection string.
struct OdbcTarget {
  std::string connect;                 // the connection string for SQLDriverConnect
  std::string masked;                  // the same with passwords as "****": what logs and errors show
  std::filesystem::path databaseFile;  // the database file it opens (SQLite); empty for a server
};

// Where a file that a connection string names may be reached: ReachPath
// for pages, a stand-in in tests.
using FileReach = std::function<std::filesystem::path(std::string_view path, FileUse use)>;

// The ODBC connection `pageText` asks for: Driver=... and DSN=... strings,
// Provider=MSDASQL with either, and the SQL Server OLE DB providers
// (SQLOLEDB, SQLNCLI*, MSOLEDBSQL*), which become FreeTDS. The driver must
// be one of `installedDrivers` (as SQLDrivers names them) after the
// Windows names are mapped; a SQLite database must lie where `reach`
// allows reading, and opens read-only where it does not allow writing
// (the site, outside the data folders). Raises 3706 for a provider or driver not available here
// (Access among them, with the way to move its data into SQLite), 3001 for
// a malformed string or a refused option, and what `reach` raises. No
// description holds a password.
OdbcTarget ToOdbc(std::string_view pageText, std::span<const std::string> installedDrivers,
                  const FileReach& reach);

}  // namespace kelvane::host::adodb
