#include <gtest/gtest.h>

#include "host/objects/adodb/DatabaseSite.h"

namespace kelvane::host::adodb::testing {
namespace {

using RecordsetTest = DatabaseSite;

// Opens $DB as conn with a table t of five rows (n = 1 .. 5, s = "r1" ..).
constexpr const char* kFiveRows =
    "Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
    "conn.Open \"$DB\"\n"
    "conn.Execute \"DROP TABLE IF EXISTS t\"\n"
    "conn.Execute \"CREATE TABLE t(n INTEGER, s VARCHAR(10))\"\n"
    "For i = 1 To 5 : conn.Execute \"INSERT INTO t VALUES(\" & i & \", 'r\" & i & \"')\" : Next\n";

TEST_F(RecordsetTest, ColumnsBecomeTheVariantsPagesExpect) {
  const struct {
    const char* column;  // its declaration
    const char* value;   // SQL literal stored
    const char* seen;    // TypeName & "=" & value as the page writes it
  } cases[] = {
      {"SMALLINT", "-32768", "Integer=-32768"},
      {"INTEGER", "2147483647", "Long=2147483647"},
      {"INTEGER", "4294967296", "Double=4294967296"},
      {"BIGINT", "-7", "Long=-7"},
      {"DOUBLE", "2.5", "Double=2.5"},
      {"VARCHAR(10)", "'h\xC3\xA9llo'", "String=h\xC3\xA9llo"},
      {"TEXT", "''", "String="},
      {"INTEGER", "NULL", "Null="},
      {"DATE", "'2024-02-29'", "Date=2/29/2024"},
      {"TIMESTAMP", "'2024-02-29 13:04:05'", "Date=2/29/2024 1:04:05 PM"},
      {"TIME", "'13:04:05'", "Date=1:04:05 PM"},
      {"BIT", "1", "Boolean=True"},
      {"BLOB", "x'00ff41'", "Byte()=3"},
  };
  for (const auto& c : cases) {
    const std::string code = std::string("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                                         "conn.Open \"$DB\"\n"
                                         "conn.Execute \"DROP TABLE IF EXISTS v\"\n"
                                         "conn.Execute \"CREATE TABLE v(x ") + c.column + ")\"\n" +
                             "conn.Execute \"INSERT INTO v VALUES(" + c.value + ")\"\n" +
                             "Set rs = conn.Execute(\"SELECT x FROM v\")\n"
                             "x = rs(\"x\").Value\n"
                             "If IsArray(x) Then x = UBound(x) + 1\n"
                             "Response.Write TypeName(rs(\"x\").Value) & \"=\" & x";
    EXPECT_EQ(Asp(code), c.seen) << c.column << " " << c.value;
  }
}

TEST_F(RecordsetTest, AForwardOnlyRecordsetStreamsForward) {
  EXPECT_EQ(Asp(std::string(kFiveRows) +
                "Set rs = conn.Execute(\"SELECT n, s FROM t ORDER BY n\")\n"
                "Response.Write rs.RecordCount & \":\" & rs.BOF & \":\"\n"
                "Do Until rs.EOF : Response.Write rs(0) & rs(\"S\") & \",\" : rs.MoveNext : Loop\n"
                "Response.Write rs.EOF & rs.Fields.Count & rs.Fields(1).Name & rs(0).Type & rs.State\n"
                "conn.Close : Response.Write rs.State"),
            "-1:False:1r1,2r2,3r3,4r4,5r5,True2s310");
}

TEST_F(RecordsetTest, AStaticRecordsetHoldsCountsAndPagesItsRows) {
  EXPECT_EQ(Asp(std::string(kFiveRows) +
                "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
                "rs.PageSize = 2\n"
                "rs.Open \"SELECT n FROM t ORDER BY n\", conn, 3\n"
                "Response.Write rs.RecordCount & rs.PageCount & \"|\"\n"
                "rs.MoveLast : Response.Write rs(0) & rs.AbsolutePosition & rs.AbsolutePage & \"|\"\n"
                "rs.MovePrevious : rs.MovePrevious : Response.Write rs(0) & \"|\"\n"
                "rs.AbsolutePage = 2 : Response.Write rs(0) & \"|\"\n"
                "rs.Move -5 : Response.Write rs.BOF & rs.AbsolutePosition & \"|\"\n"
                "rs.MoveFirst : rs.Move 2, 2 : Response.Write rs.EOF & \"|\"\n"
                "rs.AbsolutePosition = 4 : Response.Write rs(0) & rs.Supports(&H200) & \"|\"\n"
                "rs.Close : Response.Write rs.State"),
            "53|553|3|3|True-2|True|4True|0");
}

TEST_F(RecordsetTest, MovesStopAtBofAndEofAsAdoMoves) {
  // Each line runs on a fresh static recordset of n = 1 .. 5 at its first
  // record; the page writes where it ends (the record's n, BOF or EOF) or
  // the error number.
  const struct {
    const char* moves;
    const char* where;
  } cases[] = {
      {"rs.Move 4", "5"},
      {"rs.Move 5", "EOF"},
      {"rs.Move 9", "EOF"},
      {"rs.Move 5 : rs.Move 1", "3021"},
      {"rs.Move 5 : rs.Move -1", "5"},
      {"rs.Move -1", "BOF"},
      {"rs.Move -1 : rs.MoveNext", "1"},
      {"rs.Move -1 : rs.MovePrevious", "3021"},
      {"rs.MoveLast : rs.MoveNext : rs.MovePrevious", "5"},
      {"rs.MoveLast : rs.Move -2, 0", "3"},
      {"rs.Move 1, 2", "EOF"},  // from the last record
      {"rs.Move 0, 1", "1"},
      {"rs.Move 2 : rs.Move 0", "3"},
      {"rs.AbsolutePosition = 5", "5"},
      {"rs.AbsolutePosition = 6", "3001"},
      {"rs.PageSize = 2 : rs.AbsolutePage = 3", "5"},
      {"rs.Move 0, 7", "3001"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Asp(std::string(kFiveRows) +
                  "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
                  "rs.Open \"SELECT n FROM t ORDER BY n\", conn, 3\n"
                  "On Error Resume Next\n" +
                  c.moves +
                  "\nIf Err.Number <> 0 Then\n"
                  "  Response.Write Err.Number\n"
                  "ElseIf rs.BOF Then\n"
                  "  Response.Write \"BOF\"\n"
                  "ElseIf rs.EOF Then\n"
                  "  Response.Write \"EOF\"\n"
                  "Else\n"
                  "  Response.Write rs(0)\n"
                  "End If"),
              c.where)
        << c.moves;
  }
}

TEST_F(RecordsetTest, LongTextAndBytesArriveWhole) {
  // 20,000 characters of two and three bytes each, read in parts by the
  // driver, and 20,000 zero bytes.
  EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                "conn.Open \"$DB\"\n"
                "Set rs = conn.Execute(\"SELECT replace(hex(zeroblob(10000)), '00', 'h\xC3\xA9\xE2\x82\xAC'), "
                "zeroblob(20000)\")\n"
                "t = rs(0).Value : b = rs(1).Value\n"
                "Response.Write Len(t) & Mid(t, 29995) & rs(0).ActualSize & \"|\" & UBound(b) & rs(1).ActualSize"),
            "30000h\xC3\xA9\xE2\x82\xAC" "h\xC3\xA9\xE2\x82\xAC" "30000|1999920000");
}

TEST_F(RecordsetTest, FieldsDescribeTheirColumns) {
  EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                "conn.Open \"$DB\"\n"
                "conn.Execute \"CREATE TABLE f(v VARCHAR(20), n INTEGER)\"\n"
                "conn.Execute \"INSERT INTO f VALUES('abc', NULL)\"\n"
                "Set rs = conn.Execute(\"SELECT v, n FROM f\")\n"
                "For Each f In rs.Fields\n"
                "  Response.Write f.Name & \" \" & f.Type & \" \" & f.DefinedSize & \" \" & f.ActualSize & \";\"\n"
                "Next"),
            "v 200 20 3;n 3 10 0;");
}

TEST_F(RecordsetTest, OptionsChooseWhatRunsAndWhatComesBack) {
  EXPECT_EQ(Asp(std::string(kFiveRows) +
                "Set rs = conn.Execute(\"t\", , 2)\n"  // a table's name
                "Response.Write rs.Fields.Count & \"|\"\n"
                "Response.Write TypeName(conn.Execute(\"DELETE FROM t WHERE n = 5\", , &H80)) & \"|\"\n"
                "Set rs = conn.Execute(\"DELETE FROM t WHERE n = 4\")\n"
                "Response.Write rs.State & \"|\"\n"  // no rows: closed
                "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
                "rs.MaxRecords = 2\n"
                "rs.Open \"SELECT n FROM t ORDER BY n\", conn, 3\n"
                "Response.Write rs.RecordCount & \"|\" : rs.Close\n"
                "rs.Open \"SELECT n FROM t ORDER BY n\", conn\n"
                "Do Until rs.EOF : Response.Write rs(0) : rs.MoveNext : Loop\n"
                "conn.CursorLocation = 3\n"
                "Response.Write \"|\" & conn.Execute(\"SELECT n FROM t\").RecordCount"),
            "2|Nothing|0|2|12|3");
}

TEST_F(RecordsetTest, GetRowsAndGetStringReadFromTheCurrentRecord) {
  EXPECT_EQ(Asp(std::string(kFiveRows) +
                "Set rs = conn.Execute(\"SELECT n, s FROM t ORDER BY n\")\n"
                "rs.MoveNext\n"
                "a = rs.GetRows(2)\n"
                "Response.Write UBound(a, 1) & UBound(a, 2) & a(0, 0) & a(1, 1) & \"|\"\n"
                "a = rs.GetRows(, , \"s\")\n"
                "Response.Write UBound(a, 1) & UBound(a, 2) & a(0, 1) & rs.EOF & \"|\"\n"
                "Set rs = conn.Execute(\"SELECT n, NULL FROM t WHERE n < 3 ORDER BY n\")\n"
                "Response.Write rs.GetString(, , \";\", \"/\", \"-\")"),
            "11" "2r3|01r5True|1;-/2;-/");
}

TEST_F(RecordsetTest, MisuseRaisesAdosErrors) {
  const struct {
    const char* code;
    long number;
  } cases[] = {
      {"rs.MoveNext : rs.MoveNext : rs.MoveNext", 3021},
      {"rs.MovePrevious", -2147217884},
      {"rs.MoveNext : rs.MoveFirst", -2147217896},
      {"x = rs(\"nosuch\")", 3265},
      {"x = rs(7)", 3265},
      {"rs.Close : x = rs.EOF", 3704},
      {"rs.Close : rs.Close", 3704},
      {"rs.Open \"SELECT 1\", conn", 3705},
      {"conn.Open \"$DB\"", 3705},
      {"conn.Close : x = rs.EOF", 3704},
      {"conn.Close : conn.Execute \"SELECT 1\"", 3709},
      {"conn.CommitTrans", -2147168242},
      {"conn.BeginTrans : conn.BeginTrans", -2147168237},
      {"x = rs.AbsolutePosition : rs.AbsolutePosition = 1", 3251},
      {"rs(0).Value = 5", 3251},
      {"rs.PageSize = 0", 3001},
      {"rs.CursorLocation = 3", 3705},
      {"conn.CursorLocation = 1", 3001},
      {"conn.ConnectionTimeout = 5", 3705},
      {"conn.ConnectionString = \"x\"", 3705},
      {"x = conn.Errors(0)", 3265},
      {"a = rs.GetRows(, 5)", 3001},
      {"a = rs.GetString(3)", 3001},
      {"rs.MoveNext : rs.MoveNext : a = rs.GetRows()", 3021},
      {"Set rs.ActiveConnection = Server.CreateObject(\"ADODB.Recordset\")", 3705},
      {"rs.Close : Set rs.ActiveConnection = Server.CreateObject(\"ADODB.Recordset\")", 3001},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                  "conn.Open \"$DB\"\n"
                  "Set rs = conn.Execute(\"SELECT 1 UNION ALL SELECT 2\")\n"
                  "On Error Resume Next\n" +
                  std::string(c.code) + "\nResponse.Write Err.Number"),
              std::to_string(c.number))
        << c.code;
  }
}

TEST_F(RecordsetTest, DriverErrorsFillTheConnectionsErrors) {
  EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                "conn.Open \"$DB\"\n"
                "On Error Resume Next\n"
                "conn.Execute \"SELEC 1\"\n"
                "n = Err.Number : d = Err.Description : Err.Clear\n"
                "Response.Write n & \"|\" & (InStr(d, \"syntax error\") > 0) & \"|\" & conn.Errors.Count & \"|\"\n"
                "For Each e In conn.Errors\n"
                "  Response.Write e.Number & \" \" & e.SQLState & \" \" & e.NativeError & \" \" & e.Source\n"
                "Next\n"
                "conn.Errors.Clear : Response.Write \"|\" & conn.Errors.Count"),
            "-2147217900|True|1|-2147217900 HY000 1 ADODB.Connection|0");
  EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                "On Error Resume Next\n"
                "conn.Open \"Driver=No Such Driver\"\n"
                "Response.Write Err.Number & \" \" & conn.State & \" \" & conn.Errors.Count"),
            "3706 0 0");
  // A database in the site, outside the data folders, opens read-only: a
  // missing one is not made, and one there is read and never written.
  EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                "On Error Resume Next\n"
                "conn.Open \"Driver=SQLite3;Database=\" & Server.MapPath(\"made.db\")\n"
                "Response.Write Err.Number & \" \" & conn.State"),
            "-2147467259 0");
  EXPECT_FALSE(std::filesystem::exists(folder / "site" / "made.db"));
  Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
      "conn.Open \"$DB\" : conn.Execute \"CREATE TABLE t (n)\" : conn.Execute \"INSERT INTO t VALUES (1)\"");
  std::filesystem::copy_file(database, folder / "site" / "shipped.db");
  EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                "conn.Open \"Driver=SQLite3;Database=\" & Server.MapPath(\"shipped.db\")\n"
                "Response.Write conn.Execute(\"SELECT COUNT(*) FROM t\")(0) & \" \"\n"
                "On Error Resume Next\n"
                "conn.Execute \"DELETE FROM t\"\n"
                "Response.Write (InStr(Err.Description, \"readonly\") > 0) & \" \"\n"
                "On Error GoTo 0\n"
                "Response.Write conn.Execute(\"SELECT COUNT(*) FROM t\")(0)"),
            "1 True 1");
}

TEST_F(RecordsetTest, ARecordsetOpensItsOwnConnectionFromAString) {
  EXPECT_EQ(Asp(std::string(kFiveRows) +
                "conn.Close\n"
                "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
                "rs.CursorLocation = 3\n"
                "rs.Open \"t\", \"$DB\", , , 2\n"
                "Response.Write rs.RecordCount & rs.ActiveConnection.State & rs.CursorType\n"
                "Set c = rs.ActiveConnection : rs.Close\n"
                "Response.Write c.State"),
            "5130");
}

TEST_F(RecordsetTest, KspPagesUseTheSameObjects) {
  const PageReply reply = Run(
      "<% local conn = Server.CreateObject('ADODB.Connection')\n"
      "conn:Open('$DB')\n"
      "conn:Execute('CREATE TABLE t(n INTEGER, s TEXT)')\n"
      "conn:Execute(\"INSERT INTO t VALUES(1, 'one'), (2, 'two')\")\n"
      "local rs = conn:Execute('SELECT n, s FROM t ORDER BY n')\n"
      "while not rs.EOF do %><%= rs('n').Value %>=<%= rs.Fields:Item('s').Value .. rs.Fields('s').Value %>;<% rs:MoveNext() end\n"
      "conn:Close() %>",
      "page.ksp");
  EXPECT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(reply.body, "1=oneone;2=twotwo;");
}

}  // namespace
}  // namespace kelvane::host::adodb::testing
