// Connection strings: parsed as pages write them, turned into the string
// unixODBC is given, and refused where they would load code, write files,
// reach outside the site or name what is not here.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/objects/adodb/ConnectionString.h"
#include "platform/oleaut/AutomationError.h"
#include "support/TempFolder.h"

namespace kelvane::host::adodb {
namespace {

const std::vector<std::string> kInstalled = {
    "PostgreSQL ANSI", "PostgreSQL Unicode", "SQLite", "SQLite3", "MariaDB Unicode", "FreeTDS", "Firebird"};

// Relative paths lie in the site /site; only /site/data may be written.
std::filesystem::path Reach(std::string_view path, FileUse use) {
  const std::filesystem::path full =
      path.starts_with('/') ? std::filesystem::path(path) : "/site" / std::filesystem::path(path);
  const std::string text = full.lexically_normal().string();
  if (!text.starts_with(use == FileUse::Write ? "/site/data/" : "/site/"))
    throw oleaut::AutomationError(70, "Kelvane", "Permission denied");
  return text;
}

// The pieces as key|value, joined by ","; or "error N" with the description.
std::string Parsed(std::string_view text) {
  try {
    std::string out;
    for (const auto& [key, value] : ParseConnectionString(text)) out += (out.empty() ? "" : ",") + key + "|" + value;
    return out;
  } catch (const oleaut::AutomationError& e) {
    return "error " + std::to_string(e.Number());
  }
}

TEST(ConnectionStringTest, ParsesPiecesAsPagesWriteThem) {
  const struct {
    std::string text, expected;
  } cases[] = {
      {"a=1;b=2", "a|1,b|2"},
      {"  Data Source = srv ; Initial Catalog=shop ;", "Data Source|srv,Initial Catalog|shop"},
      {";;a=1;;;b=;", "a|1,b|"},
      {"", ""},
      {"PWD={a;b}}c};UID=x", "PWD|a;b}c,UID|x"},
      {"PWD= {x} ;u=1", "PWD|x,u|1"},
      {"Password=\"it\"\"s;\";u=1", "Password|it\"s;,u|1"},
      {"Password='it''s';u=1", "Password|it's,u|1"},
      {"Driver={SQL Server}", "Driver|SQL Server"},
      {"a=x=y", "a|x=y"},
      {"a=b c", "a|b c"},
      // what no page could mean
      {"a", "error 3001"},
      {"a=1;b", "error 3001"},
      {"=1", "error 3001"},
      {"a={1;b=2", "error 3001"},
      {"a='1", "error 3001"},
      {"a={1}x;b=2", "error 3001"},
      {"a{b=1", "error 3001"},
      {std::string("a=1\0;b=2", 9), "error 3001"},
      {"a=" + std::string(9000, 'x'), "error 3001"},
  };
  for (const auto& c : cases) EXPECT_EQ(Parsed(c.text), c.expected) << c.text;
}

struct Built {
  std::string connect, masked, file;
};

Built Build(std::string_view text) {
  const OdbcTarget target = ToOdbc(text, kInstalled, Reach);
  return {target.connect, target.masked, target.databaseFile.string()};
}

TEST(ConnectionStringTest, BuildsTheStringForTheInstalledDriver) {
  const struct {
    std::string text;
    Built expected;
  } cases[] = {
      // SQL Server, by its Windows driver names and its OLE DB providers, goes to FreeTDS
      {"Driver={SQL Server};Server=db1;Database=shop;UID=web;PWD=s3cret",
       {"Driver={FreeTDS};Server=db1;Database=shop;UID=web;PWD=s3cret",
        "Driver={FreeTDS};Server=db1;Database=shop;UID=web;PWD=****", ""}},
      {"DRIVER={ODBC Driver 17 for SQL Server};SERVER=tcp:db1,1433;Trusted_Connection=no;Encrypt=yes",
       {"Driver={FreeTDS};Server=db1,1433;Encryption=require", "Driver={FreeTDS};Server=db1,1433;Encryption=require",
        ""}},
      {"Driver={SQL Server Native Client 11.0};Server=(local)\\SQLEXPRESS;Uid=sa;Pwd={p;w}",
       {"Driver={FreeTDS};Server=localhost\\SQLEXPRESS;UID=sa;PWD={p;w}",
        "Driver={FreeTDS};Server=localhost\\SQLEXPRESS;UID=sa;PWD=****", ""}},
      {"Provider=SQLOLEDB.1;Data Source=db1;Initial Catalog=shop;User ID=web;Password=s3cret;"
       "Persist Security Info=False;Network Library=DBMSSOCN",
       {"Driver={FreeTDS};Server=db1;Database=shop;UID=web;PWD=s3cret",
        "Driver={FreeTDS};Server=db1;Database=shop;UID=web;PWD=****", ""}},
      {"Provider=MSOLEDBSQL;Server=.;Application Name=shop;Integrated Security=False",
       {"Driver={FreeTDS};Server=localhost;APP=shop", "Driver={FreeTDS};Server=localhost;APP=shop", ""}},
      // MySQL's names go to MariaDB's driver
      {"Driver={MySQL ODBC 8.0 Unicode Driver};Server=localhost;Database=shop;User=web;Password=x;Option=3",
       {"Driver={MariaDB Unicode};SERVER=localhost;DATABASE=shop;UID=web;PWD=x;OPTION=3",
        "Driver={MariaDB Unicode};SERVER=localhost;DATABASE=shop;UID=web;PWD=****;OPTION=3", ""}},
      {"Driver={MySQL ODBC 5.1 Driver};Stmt=SET NAMES utf8",
       {"Driver={MariaDB Unicode};INITSTMT=SET NAMES utf8", "Driver={MariaDB Unicode};INITSTMT=SET NAMES utf8", ""}},
      {"Driver={MySQL ODBC 8.0 ANSI Driver};SSLCA=certs/ca.pem",
       {"Driver={MariaDB Unicode};SSLCA=/site/certs/ca.pem", "Driver={MariaDB Unicode};SSLCA=/site/certs/ca.pem", ""}},
      // PostgreSQL keeps its names, in the letter case installed; booleans
      // come as booleans unless the page says otherwise
      {"Driver={postgresql ansi};Server=pg;Port=5432;Database=shop;Uid=web;Pwd=x;Debug=0",
       {"Driver={PostgreSQL ANSI};Servername=pg;Port=5432;Database=shop;UID=web;PWD=x;BoolsAsChar=0",
        "Driver={PostgreSQL ANSI};Servername=pg;Port=5432;Database=shop;UID=web;PWD=****;BoolsAsChar=0", ""}},
      {"Provider=MSDASQL;Driver={PostgreSQL Unicode(x64)};Server=pg",
       {"Driver={PostgreSQL Unicode};Servername=pg;BoolsAsChar=0",
        "Driver={PostgreSQL Unicode};Servername=pg;BoolsAsChar=0", ""}},
      {"Driver={PostgreSQL Unicode};Server=pg;boolsaschar=1",
       {"Driver={PostgreSQL Unicode};Servername=pg;BoolsAsChar=1",
        "Driver={PostgreSQL Unicode};Servername=pg;BoolsAsChar=1", ""}},
      // every SQLite name goes to the SQLite 3 driver, its file resolved in a data folder
      {"Driver={SQLite3 ODBC Driver};Database=data/shop.db;Timeout=2000;JournalMode=WAL",
       {"Driver={SQLite3};Database=/site/data/shop.db;Timeout=2000;JournalMode=wal",
        "Driver={SQLite3};Database=/site/data/shop.db;Timeout=2000;JournalMode=wal", "/site/data/shop.db"}},
      // a database where pages only read opens read-only, by a URI of ours
      {"Driver={SQLite3};Database=shop #1?.db",
       {"Driver={SQLite3};Database=file:/site/shop%20%231%3F.db?mode=ro",
        "Driver={SQLite3};Database=file:/site/shop%20%231%3F.db?mode=ro", "/site/shop #1?.db"}},
      {"Driver=SQLite;Database=:memory:",
       {"Driver={SQLite3};Database=:memory:", "Driver={SQLite3};Database=:memory:", ""}},
      // a DSN says the rest itself
      {"DSN=shop;UID=web;Password=x", {"DSN=shop;UID=web;PWD=x", "DSN=shop;UID=web;PWD=****", ""}},
      // an installed driver no table knows takes its options as written
      {"Driver=firebird;Dbname=x;Pwd=p",
       {"Driver={Firebird};Dbname=x;Pwd=p", "Driver={Firebird};Dbname=x;Pwd=****", ""}},
  };
  for (const auto& c : cases) {
    const Built built = Build(c.text);
    EXPECT_EQ(built.connect, c.expected.connect) << c.text;
    EXPECT_EQ(built.masked, c.expected.masked) << c.text;
    EXPECT_EQ(built.file, c.expected.file) << c.text;
  }
}

TEST(ConnectionStringTest, RefusesWhatCannotOrMustNotBeDone) {
  const struct {
    std::string text;
    int number;
    std::string said;  // a part of the description
  } cases[] = {
      // drivers and providers not here
      {"Driver=/tmp/evil.so;Database=x", 3706, "not installed"},
      {"Driver={Oracle in OraClient11g};Pwd=s3cret", 3706, "'Oracle in OraClient11g' is not installed"},
      {"Provider=Microsoft.Jet.OLEDB.4.0;Data Source=shop.mdb;Jet OLEDB:Database Password=s3cret", 3706, "mdb-export"},
      {"Provider=Microsoft.ACE.OLEDB.12.0;Data Source=shop.accdb", 3706, "mdb-schema"},
      {"Driver={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=shop.mdb", 3706, "SQLite"},
      {"Provider=OraOLEDB.Oracle;Data Source=x", 3706, "'OraOLEDB.Oracle' is not available"},
      {"Provider=MSDASQL", 3001, "no ODBC driver or DSN"},
      {"UID=web;PWD=s3cret", 3001, "no ODBC driver or DSN"},
      // ambiguity
      {"Driver={SQLite3};DSN=x", 3001, "both a driver and a DSN"},
      {"Provider=SQLOLEDB;Driver={SQL Server}", 3001, "both an OLE DB provider"},
      {"Driver={SQLite3};Driver={FreeTDS}", 3001, "twice"},
      {"Driver={SQLite3};Database=data/a.db;database=/etc/passwd", 3001, "'Database' twice"},
      {"Provider=SQLOLEDB;Data Source=a;Server=b", 3001, "'Server' twice"},
      // code loading, log files, files on the server's disk
      {"Driver={SQLite3};Database=data/a.db;LoadExt=/tmp/evil.so", 3001, "'LoadExt' is refused: it would load code"},
      {"Driver={SQLite3};Database=data/a.db;TraceFile=/tmp/t", 3001, "write files"},
      {"Driver={SQLite3};Database={data/a.db;LoadExt=/tmp/evil.so}", 3001, "no ';' or braces"},
      {"Driver={SQLite3};Database=data/a.db;SyncPragma=OFF ATTACH x", 3001, "'SyncPragma' takes a single word"},
      {"Driver={SQLite3};Database=file:/etc/passwd?mode=ro", 3001, "file: URI"},
      {"Driver={SQLite3};Database=", 3001, "no database file"},
      {"Driver={SQLite3};Database=/elsewhere/shop.db", 70, "Permission denied"},
      {"Driver={MariaDB Unicode};PLUGIN_DIR=/tmp", 3001, "load code"},
      {"Driver={MySQL ODBC 8.0 Unicode Driver};DefaultAuth=evil", 3001, "load code"},
      {"Driver={MariaDB};USE_MYCNF=1", 3001, "option files"},
      {"Driver={PostgreSQL Unicode};pqopt={sslkey=engine:x:y}", 3001, "load code"},
      {"Driver={PostgreSQL Unicode};CommLog=1", 3001, "log files"},
      {"Driver={SQL Server};DumpFile=/tmp/d", 3001, "log files"},
      {"Driver={SQL Server};AttachDbFilename=c:\\x.mdf", 3001, "database file"},
      {"Driver={FreeTDS};FILEDSN=/etc/x.dsn", 3001, "file DSN"},
      {"DSN=shop;SAVEFILE=/tmp/x", 3001, "write files"},
      {"DSN={shop;Driver=/tmp/evil.so}", 3001, "no DSN's name holds"},
      {"DSN=", 3001, "names no DSN"},
      {"Driver={SQL Server};Server=np:\\\\db1\\pipe\\sql\\query", 3001, "named pipe"},
      {"Provider=SQLNCLI11;Data Source=db1;Integrated Security=SSPI", 3001, "Windows authentication"},
      {"Driver={SQL Server};Trusted_Connection=Yes", 3001, "Windows authentication"},
      // options a family does not know
      {"Driver={SQL Server};Server=db1;Bogus=1", 3001, "option 'Bogus' is not accepted for the driver FreeTDS"},
      {"DSN=shop;Database=/etc/passwd", 3001, "not accepted with a DSN"},
      // files outside where pages reach
      {"Driver={SQLite3};Database=/etc/shadow", 70, "Permission denied"},
      {"Driver={SQLite3};Database=../outside.db", 70, "Permission denied"},
      {"Driver={MariaDB};SSLKEY=/root/key.pem", 70, "Permission denied"},
  };
  for (const auto& c : cases) {
    try {
      Build(c.text);
      ADD_FAILURE() << "accepted: " << c.text;
    } catch (const oleaut::AutomationError& e) {
      EXPECT_EQ(e.Number(), c.number) << c.text;
      EXPECT_NE(e.Description().find(c.said), std::string::npos) << c.text << ": " << e.Description();
      EXPECT_EQ(e.Description().find("s3cret"), std::string::npos) << e.Description();
    }
  }
}

// With the pages' own reach: a SQLite file in a data folder, one in the
// site read-only, and none beyond.
TEST(ConnectionStringTest, HoldsSqliteFilesToTheDataFolders) {
  const TempFolder folder("connection-reach");
  std::filesystem::create_directories(folder.Path() / "site");
  std::filesystem::create_directories(folder.Path() / "data");
  const std::filesystem::path base = std::filesystem::canonical(folder.Path());
  const std::vector<std::filesystem::path> data = {base / "data"};
  const FileReachScope scope(base / "site", data);
  EXPECT_EQ(
      ToOdbc("Driver={SQLite3};Database=" + (base / "data" / "shop.db").string(), kInstalled, ReachPath).databaseFile,
      base / "data" / "shop.db");
  EXPECT_EQ(ToOdbc("Driver={SQLite3};Database=shop.db", kInstalled, ReachPath).connect,
            "Driver={SQLite3};Database=file:" + (base / "site" / "shop.db").string() + "?mode=ro");
  const std::vector<std::string> outside = {"Driver={SQLite3};Database=../data/../x.db",
                                            "Driver={SQLite3};Database=" + (base / "x.db").string()};
  for (const std::string& text : outside) {
    try {
      ToOdbc(text, kInstalled, ReachPath);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const oleaut::AutomationError& e) {
      EXPECT_EQ(e.Number(), 70) << text;
    }
  }
  EXPECT_TRUE(std::filesystem::is_empty(base / "data"));
}

// A password with an unbraced ';' splits into a piece no driver knows; the
// error names that piece by its place, never by its text.
TEST(ConnectionStringTest, ErrorsNeverQuoteWhatFollowsAPassword) {
  for (const std::string_view text : {"Driver={SQL Server};PWD=s3c;ret=x", "Driver={SQL Server};PWD=x;s3cret",
                                      "Provider=SQLOLEDB;Password=a;s3cret=1"}) {
    try {
      Build(text);
      ADD_FAILURE() << "accepted: " << text;
    } catch (const oleaut::AutomationError& e) {
      EXPECT_EQ(e.Description().find("ret"), std::string::npos) << e.Description();
    }
  }
}

}  // namespace
}  // namespace kelvane::host::adodb
