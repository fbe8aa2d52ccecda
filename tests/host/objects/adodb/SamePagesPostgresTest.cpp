// The same pages against SQLite and PostgreSQL, the connection string the
// only difference: each must write the same, save where the databases
// themselves differ, which the tables say.

#include <gtest/gtest.h>

#include "host/objects/adodb/DatabaseSite.h"
#include "host/objects/adodb/TestPostgres.h"

namespace kelvane::host::adodb::testing {
namespace {

class SqliteAndPostgres : public DatabaseSite {
 protected:
  void SetUp() override {
    DatabaseSite::SetUp();
    const kelvane::testing::TestPostgres server = kelvane::testing::FindTestPostgres();
    if (server.connectionString.empty()) GTEST_SKIP() << server.skipReason;
    sqlite = connect;
    postgres = server.connectionString;
  }

  // Expects `code`, run as one script block, to write `written` on
  // SQLite and on PostgreSQL.
  void ExpectOnBoth(const std::string& code, const std::string& written, const std::string& what) {
    connect = sqlite;
    EXPECT_EQ(Asp(code), written) << "SQLite: " << what;
    connect = postgres;
    EXPECT_EQ(Asp(code), written) << "PostgreSQL: " << what;
  }

  std::string sqlite;
  std::string postgres;
};

// `code` with its table `from` named `to`: tests run side by side on the
// one PostgreSQL database.
std::string Renamed(std::string code, std::string_view from, std::string_view to) {
  for (std::size_t at = 0; (at = code.find(from, at)) != std::string::npos; at += to.size())
    code.replace(at, from.size(), to);
  return code;
}

// Opens $DB as conn.
constexpr const char* kOpen =
    "Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
    "conn.Open \"$DB\"\n";

TEST_F(SqliteAndPostgres, ColumnsBecomeTheSameVariants) {
  const struct {
    const char* sqliteColumn;
    const char* postgresColumn;
    const char* sqliteValue;
    const char* postgresValue;
    const char* seen;        // TypeName VarType=value as the page writes it
    const char* sqliteSeen;  // where SQLite differs; nullptr the same
  } cases[] = {
      {"SMALLINT", "SMALLINT", "-32768", "-32768", "Integer 2=-32768", nullptr},
      {"INTEGER", "INTEGER", "2147483647", "2147483647", "Long 3=2147483647", nullptr},
      {"BIGINT", "BIGINT", "-7", "-7", "Long 3=-7", nullptr},
      {"BIGINT", "BIGINT", "4294967296", "4294967296", "Double 5=4294967296", nullptr},
      // SQLite keeps no exact decimals
      {"NUMERIC(10,2)", "NUMERIC(10,2)", "12.25", "12.25", "Currency 6=12.25", "Double 5=12.25"},
      {"NUMERIC(30,2)", "NUMERIC(30,2)", "123456789012345678901234.5", "123456789012345678901234.5",
       "Double 5=1.23456789012346E+23", nullptr},
      {"DOUBLE PRECISION", "DOUBLE PRECISION", "2.5", "2.5", "Double 5=2.5", nullptr},
      // SQLite's REAL is 8 bytes
      {"REAL", "REAL", "2.5", "2.5", "Single 4=2.5", "Double 5=2.5"},
      {"TEXT", "TEXT", "'gr\xC3\xBC\xC3\x9F" "e'", "'gr\xC3\xBC\xC3\x9F" "e'", "String 8=gr\xC3\xBC\xC3\x9F" "e",
       nullptr},
      {"VARCHAR(10)", "VARCHAR(10)", "''", "''", "String 8=", nullptr},
      {"INTEGER", "INTEGER", "NULL", "NULL", "Null 1=", nullptr},
      {"DATE", "DATE", "'2024-02-29'", "'2024-02-29'", "Date 7=2/29/2024", nullptr},
      {"TIMESTAMP", "TIMESTAMP", "'2024-02-29 13:04:05'", "'2024-02-29 13:04:05'",
       "Date 7=2/29/2024 1:04:05 PM", nullptr},
      {"BLOB", "BYTEA", "x'00ff41'", "decode('00ff41', 'hex')", "Byte() 8209=3", nullptr},
      {"BIT", "BOOLEAN", "1", "TRUE", "Boolean 11=True", nullptr},
  };
  for (const auto& c : cases) {
    const auto page = [](const char* column, const char* value) {
      return std::string(kOpen) + "conn.Execute \"DROP TABLE IF EXISTS e_values\"\n" +
             "conn.Execute \"CREATE TABLE e_values(x " + column + ")\"\n" +
             "conn.Execute \"INSERT INTO e_values VALUES(" + value + ")\"\n" +
             "x = conn.Execute(\"SELECT x FROM e_values\")(0).Value\n"
             "shown = x : If IsArray(x) Then shown = UBound(x) + 1\n"
             "Response.Write TypeName(x) & \" \" & VarType(x) & \"=\" & shown";
    };
    connect = sqlite;
    EXPECT_EQ(Asp(page(c.sqliteColumn, c.sqliteValue)), c.sqliteSeen != nullptr ? c.sqliteSeen : c.seen)
        << "SQLite " << c.sqliteColumn << " " << c.sqliteValue;
    connect = postgres;
    EXPECT_EQ(Asp(page(c.postgresColumn, c.postgresValue)), c.seen)
        << "PostgreSQL " << c.postgresColumn << " " << c.postgresValue;
  }
}

TEST_F(SqliteAndPostgres, PagesWriteTheSame) {
  const struct {
    const char* what;
    const char* code;  // after kOpen
    const char* written;
  } cases[] = {
      {"a round trip",
       "conn.Execute \"DROP TABLE IF EXISTS e_trip\"\n"
       "conn.Execute \"CREATE TABLE e_trip(id INTEGER PRIMARY KEY, name VARCHAR(40))\"\n"
       "conn.Execute \"INSERT INTO e_trip VALUES(1, 'gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93'), (2, 'O''Brien')\"\n"
       "Set rs = conn.Execute(\"SELECT id, name FROM e_trip ORDER BY id\")\n"
       "Do Until rs.EOF : Response.Write rs(\"ID\") & \"=\" & rs(\"name\") & \";\" : rs.MoveNext : Loop\n"
       "conn.Close",
       "1=gr\xC3\xBC\xC3\x9F" "e \xE2\x9C\x93;2=O'Brien;"},
      {"paging and counts",
       "conn.Execute \"DROP TABLE IF EXISTS e_pages\"\n"
       "conn.Execute \"CREATE TABLE e_pages(n INTEGER)\"\n"
       "For i = 1 To 7 : conn.Execute \"INSERT INTO e_pages VALUES(\" & i & \")\" : Next\n"
       "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
       "rs.PageSize = 3\n"
       "rs.Open \"SELECT n FROM e_pages ORDER BY n\", conn, 3\n"
       "Response.Write rs.RecordCount & \",\" & rs.PageCount & \"|\"\n"
       "rs.AbsolutePage = 3 : Response.Write rs.AbsolutePage & \":\" & rs(0) & \"|\"\n"
       "rs.AbsolutePage = 2 : Response.Write rs.AbsolutePosition & \":\" & rs(0) & \"|\"\n"
       "Response.Write conn.Execute(\"SELECT n FROM e_pages\").RecordCount",
       "7,3|3:7|4:4|-1"},
      {"parameters stay data",
       "conn.Execute \"DROP TABLE IF EXISTS e_params\"\n"
       "conn.Execute \"CREATE TABLE e_params(s VARCHAR(40), n INTEGER, d TIMESTAMP, m NUMERIC(10,2))\"\n"
       "Set cmd = Server.CreateObject(\"ADODB.Command\")\n"
       "Set cmd.ActiveConnection = conn\n"
       "cmd.CommandText = \"INSERT INTO e_params(s, n, d, m) VALUES(?, ?, ?, ?)\"\n"
       "cmd.Execute , Array(\"x'); DROP TABLE e_params; --\", 42, DateSerial(2024, 2, 29) + TimeSerial(13, 4, 5), "
       "CCur(\"12.25\"))\n"
       "cmd.Execute , Array(Null, Null, Null, Null)\n"
       "cmd.CommandText = \"SELECT s, n, d, m FROM e_params WHERE n = ?\"\n"
       "Set rs = cmd.Execute(, Array(42))\n"
       "Response.Write rs(0) & \"|\" & rs(1) & \"|\" & rs(2) & \"|\" & rs(3) & \"|\"\n"
       "Response.Write conn.Execute(\"SELECT COUNT(*) FROM e_params WHERE s IS NULL AND n IS NULL AND d IS NULL"
       " AND m IS NULL\")(0)",
       "x'); DROP TABLE e_params; --|42|2/29/2024 1:04:05 PM|12.25|1"},
      {"a rolled back transaction leaves nothing",
       "conn.Execute \"DROP TABLE IF EXISTS e_trans\"\n"
       "conn.Execute \"CREATE TABLE e_trans(n INTEGER)\"\n"
       "conn.BeginTrans : conn.Execute \"INSERT INTO e_trans VALUES(1)\" : conn.RollbackTrans\n"
       "conn.BeginTrans : conn.Execute \"INSERT INTO e_trans VALUES(2)\" : conn.CommitTrans\n"
       "Set rs = conn.Execute(\"SELECT COUNT(*), MAX(n) FROM e_trans\")\n"
       "Response.Write rs(0) & \",\" & rs(1)",
       "1,2"},
      {"errors carry ADO's numbers and the driver's message",
       "On Error Resume Next\n"
       "conn.Execute \"SELEC 1\"\n"
       "Response.Write Err.Number & \":\" & (InStr(Err.Description, \"SELEC\") > 0) & \"|\" : Err.Clear\n"
       "conn.Execute \"SELECT n FROM e_nosuch\"\n"
       "Response.Write Err.Number & \":\" & (InStr(Err.Description, \"e_nosuch\") > 0) & \"|\" : Err.Clear\n"
       "Set rs = conn.Execute(\"SELECT 1 AS n\")\n"
       "rs.MoveNext : Response.Write rs.EOF & \":\" & Err.Number & \"|\"\n"
       "rs.MoveNext : Response.Write Err.Number",
       "-2147217900:True|-2147217865:True|True:0|3021"},
  };
  for (const auto& c : cases) ExpectOnBoth(std::string(kOpen) + c.code, c.written, c.what);
}

// Opens a client recordset rs of five rows on $DB; the page then writes
// RecordCount & ":" and the ids shown, each followed by ",".
constexpr const char* kFiveRows =
    "conn.Execute \"DROP TABLE IF EXISTS e_arrange\"\n"
    "conn.Execute \"CREATE TABLE e_arrange(id INTEGER, name VARCHAR(20), price DOUBLE PRECISION, born DATE)\"\n"
    "conn.Execute \"INSERT INTO e_arrange VALUES(1, 'Apple', 3.5, '2024-01-10'), (2, 'banana', 1.25, '2023-06-01'), "
    "(3, 'Cherry', NULL, '2024-03-05'), (4, 'apricot', 10, NULL), (5, NULL, 7, '2022-12-31')\"\n"
    "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
    "rs.CursorLocation = 3\n"
    "rs.Open \"SELECT id, name, price, born FROM e_arrange ORDER BY id\", conn, 3\n";

constexpr const char* kShown =
    "\nResponse.Write rs.RecordCount & \":\"\n"
    "Do Until rs.EOF : Response.Write rs(\"id\") & \",\" : rs.MoveNext : Loop";

TEST_F(SqliteAndPostgres, FilterAndSortShowTheRowsAsked) {
  const struct {
    const char* code;
    const char* shown;
  } cases[] = {
      {"rs.Filter = \"name = 'apple'\"", "1:1,"},
      {"rs.Filter = \"name LIKE 'a*'\"", "2:1,4,"},
      {"rs.Filter = \"name like '%AN%'\"", "1:2,"},
      {"rs.Filter = \"name LIKE '*y'\"", "1:3,"},
      {"rs.Filter = \"price > 3\"", "3:1,4,5,"},
      {"rs.Filter = \"price >= 3.5 AND price < 10\"", "2:1,5,"},
      {"rs.Filter = \"(name = 'banana' OR name = 'Cherry') AND id <> 3\"", "1:2,"},
      {"rs.Filter = \"id = 1 OR id = 2 AND price > 5\"", "1:1,"},
      {"rs.Filter = \"born < #2024-01-01#\"", "2:2,5,"},
      {"rs.Filter = \"born >= '1/1/2024'\"", "2:1,3,"},
      {"rs.Filter = \"name = NULL\"", "1:5,"},
      {"rs.Filter = \"price <> Null\"", "4:1,2,4,5,"},
      {"rs.Filter = \"[name] <> 'x''y'\"", "4:1,2,3,4,"},
      {"rs.Filter = \"id = 9\"", "0:"},
      {"rs.Filter = \"id > 2\" : rs.Filter = 0", "5:1,2,3,4,5,"},
      {"rs.Filter = \"id > 2\" : rs.Filter = \"\"", "5:1,2,3,4,5,"},
      {"rs.Sort = \"name\"", "5:5,1,4,2,3,"},
      {"rs.Sort = \"price DESC\"", "5:4,5,1,2,3,"},
      {"rs.Sort = \"born ASC, id desc\"", "5:4,5,2,1,3,"},
      {"rs.Sort = \"price\" : rs.Filter = \"price > 1\"", "4:2,1,5,4,"},
      {"rs.Filter = \"price > 1\" : rs.Sort = \"price\" : rs.Sort = \"\"", "4:1,2,4,5,"},
  };
  for (const auto& c : cases) ExpectOnBoth(std::string(kOpen) + kFiveRows + c.code + kShown, c.shown, c.code);
}

TEST_F(SqliteAndPostgres, FilterAndSortRefuseWhatTheyCannotRead) {
  const struct {
    const char* code;
    long number;
  } cases[] = {
      {"rs.Filter = \"name = \"", 3001},
      {"rs.Filter = \"name = 'x\"", 3001},
      {"rs.Filter = \"name LIKE 'a*b'\"", 3001},
      {"rs.Filter = \"name < NULL\"", 3001},
      {"rs.Filter = \"price > 'cheap'\"", 3001},
      {"rs.Filter = \"id = 1 id = 2\"", 3001},
      {"rs.Filter = \"(id = 1\"", 3001},
      {"rs.Filter = String(40, \"(\") & \"id = 1\" & String(40, \")\")", 3001},
      {"rs.Filter = 2", 3001},
      {"rs.Filter = \"nosuch = 1\"", 3265},
      {"rs.Sort = \"nosuch\"", 3265},
      {"rs.Sort = \"id sideways\"", 3001},
      {"Set rs = conn.Execute(\"SELECT id FROM e_arrange\") : rs.Filter = \"id = 1\"", 3251},
      {"Set rs = conn.Execute(\"SELECT id FROM e_arrange\") : rs.Sort = \"id\"", 3251},
  };
  for (const auto& c : cases) {
    ExpectOnBoth(Renamed(std::string(kOpen) + kFiveRows + "On Error Resume Next\n" + c.code +
                             "\nResponse.Write Err.Number",
                         "e_arrange", "e_unread"),
                 std::to_string(c.number), c.code);
  }
}

// A table e_edit of three rows with a key the database numbers (its
// declaration is each database's own), and rs, an editable recordset of
// them; the page then writes what the table holds after "|".
constexpr const char* kEditable =
    "If InStr(conn.ConnectionString, \"SQLite\") > 0 Then key = \"INTEGER PRIMARY KEY\" Else key = \"SERIAL PRIMARY KEY\"\n"
    "conn.Execute \"DROP TABLE IF EXISTS e_edit\"\n"
    "conn.Execute \"CREATE TABLE e_edit(id \" & key & \", name VARCHAR(20), qty INTEGER)\"\n"
    "conn.Execute \"INSERT INTO e_edit(name, qty) VALUES('one', 10), ('two', 20), ('three', 30)\"\n"
    "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
    "rs.Open \"SELECT id, name, qty FROM e_edit ORDER BY id\", conn, 1, 3\n";

constexpr const char* kTable =
    "\nResponse.Write \"|\" & conn.Execute(\"SELECT id, name, qty FROM e_edit ORDER BY id\").GetString(2, , \",\", \";\")";

TEST_F(SqliteAndPostgres, EditsAreWrittenBackToTheTable) {
  const struct {
    const char* code;
    const char* written;
  } cases[] = {
      {"rs(\"name\") = \"uno\" : rs.Fields(\"qty\").Value = 11 : Response.Write rs.EditMode\n"
       "rs.Update : Response.Write rs.EditMode & rs(\"name\")",
       "10uno|1,uno,11;2,two,20;3,three,30;"},
      {"rs.MoveNext : rs.Fields(\"qty\") = 21 : rs.MoveNext : Response.Write rs(\"qty\")",
       "30|1,one,10;2,two,21;3,three,30;"},
      {"rs(\"name\") = \"x\" : rs.CancelUpdate : Response.Write rs(\"name\") & rs.EditMode", "one0|1,one,10;2,two,20;3,three,30;"},
      {"rs(\"name\") = \"x'; DROP TABLE e\" : rs.Update", "|1,x'; DROP TABLE e,10;2,two,20;3,three,30;"},
      {"rs.AddNew : rs(\"name\") = \"four\" : rs(\"qty\") = 40 : Response.Write rs.EditMode\n"
       "rs.Update : Response.Write rs(\"id\") & rs.RecordCount & rs.AbsolutePosition",
       "2444|1,one,10;2,two,20;3,three,30;4,four,40;"},
      {"rs.AddNew Array(\"name\", \"qty\"), Array(\"five\", 50) : Response.Write rs(\"name\") & rs.EditMode",
       "five0|1,one,10;2,two,20;3,three,30;4,five,50;"},
      {"rs.AddNew \"name\", \"o'x\" : Response.Write rs(\"id\") & IsNull(rs(\"qty\"))",
       "4True|1,one,10;2,two,20;3,three,30;4,o'x,;"},
      {"rs.AddNew : rs(\"qty\") = 1 : rs.MoveFirst : Response.Write rs(\"id\")",
       "1|1,one,10;2,two,20;3,three,30;4,,1;"},
      {"rs.MoveNext : rs.Delete : Response.Write rs.RecordCount : rs.MoveNext : Response.Write rs(\"id\")",
       "23|1,one,10;3,three,30;"},
      {"rs.MoveLast : rs.Delete : rs.MoveNext : Response.Write rs.EOF", "True|1,one,10;2,two,20;"},
      {"rs.AddNew : rs.Delete : Response.Write rs.EditMode & rs.RecordCount", "03|1,one,10;2,two,20;3,three,30;"},
      {"Response.Write rs.Supports(&H1000400) & rs.Supports(&H1008000) & rs.Supports(&H1000800)",
       "TrueTrueTrue|1,one,10;2,two,20;3,three,30;"},
      {"rs.Filter = \"qty > 10\" : rs(\"qty\") = 5 : rs.Update : Response.Write rs.RecordCount",
       "2|1,one,10;2,two,5;3,three,30;"},
  };
  for (const auto& c : cases)
    ExpectOnBoth(std::string(kOpen) + kEditable + c.code + kTable, c.written, c.code);
}

TEST_F(SqliteAndPostgres, EditsAreRefusedWhereTheRowsCannotBeWritten) {
  const struct {
    const char* code;
    const char* written;
  } cases[] = {
      // read-only, or streamed
      {"rs.Close : rs.Open \"SELECT id, name FROM e_edit\", conn, 3, 1 : rs(\"name\") = \"x\"", "3251"},
      {"rs.Close : rs.LockType = 1 : rs.Open \"SELECT id, name FROM e_edit\", conn, 3 : Response.Write rs.Supports(&H1000400) & \" \"\n"
       "rs.AddNew",
       "False 3251"},
      {"Set rs = conn.Execute(\"SELECT id FROM e_edit\") : rs.AddNew", "3251"},
      {"Set rs = conn.Execute(\"SELECT id FROM e_edit\") : rs(\"id\") = 1", "3251"},
      // more than one table, or no key to find a row by
      {"rs.Close : rs.Open \"SELECT a.id FROM e_edit a, e_edit b\", conn, 1, 3 : rs.AddNew", "3251"},
      {"conn.Execute \"DROP TABLE IF EXISTS e_nokey\" : conn.Execute \"CREATE TABLE e_nokey(n INTEGER)\"\n"
       "conn.Execute \"INSERT INTO e_nokey VALUES(1)\"\n"
       "rs.Close : rs.Open \"SELECT n FROM e_nokey\", conn, 1, 3\n"
       "Response.Write rs.Supports(&H1000400) & rs.Supports(&H1008000) & \" \"\n"
       "rs.AddNew \"n\", 2 : Response.Write rs.RecordCount & \" \"\n"
       "rs.MoveFirst : rs(\"n\") = 5 : rs.Update",
       "TrueFalse 2 3251"},
      // no current record; a row another statement took away
      {"rs.MoveLast : rs.MoveNext : rs(\"name\") = \"x\"", "3021"},
      {"rs.MoveLast : rs.Delete : rs(\"name\") = \"x\"", "3021"},
      {"conn.Execute \"DELETE FROM e_edit WHERE id = 1\" : rs(\"name\") = \"x\" : rs.Update", "-2147217864"},
      {"rs.Delete 2", "3001"},
      {"rs.AddNew Array(\"name\"), Array(\"a\", \"b\")", "3001"},
  };
  for (const auto& c : cases) {
    ExpectOnBoth(Renamed(std::string(kOpen) + kEditable + "On Error Resume Next\n" + c.code + "\nResponse.Write Err.Number",
                         "e_edit", "e_refuse"),
                 c.written, c.code);
  }
}

TEST_F(SqliteAndPostgres, KspPagesToo) {
  const std::string page =
      "<% local conn = Server.CreateObject('ADODB.Connection')\n"
      "conn:Open('$DB')\n"
      "conn:Execute('DROP TABLE IF EXISTS e_ksp')\n"
      "conn:Execute('CREATE TABLE e_ksp(n INTEGER, s TEXT, b DATE)')\n"
      "conn:Execute(\"INSERT INTO e_ksp VALUES(1, 'one', '2024-02-29'), (2, NULL, NULL)\")\n"
      "local rs = conn:Execute('SELECT n, s, b FROM e_ksp ORDER BY n')\n"
      "while not rs.EOF do %><%= rs('n').Value %>=<%= tostring(rs('s').Value) %>,<%= type(rs('b').Value) %>;<% "
      "rs:MoveNext() end\n"
      "conn:Close() %>";
  connect = sqlite;
  const PageReply onSqlite = Run(page, "page.ksp");
  connect = postgres;
  const PageReply onPostgres = Run(page, "page.ksp");
  EXPECT_EQ(onSqlite.status, 200) << onSqlite.body;
  EXPECT_EQ(onPostgres.status, 200) << onPostgres.body;
  EXPECT_EQ(onSqlite.body, "1=one,string;2=Null,userdata;");
  EXPECT_EQ(onSqlite.body, onPostgres.body);
}

}  // namespace
}  // namespace kelvane::host::adodb::testing
