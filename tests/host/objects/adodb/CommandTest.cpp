#include <gtest/gtest.h>

#include "host/objects/adodb/DatabaseSite.h"

namespace kelvane::host::adodb::testing {
namespace {

using CommandTest = DatabaseSite;

constexpr const char* kSetUp =
    "Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
    "conn.Open \"$DB\"\n"
    "conn.Execute \"CREATE TABLE IF NOT EXISTS p(n INTEGER, s TEXT, d TIMESTAMP, m NUMERIC)\"\n"
    "conn.Execute \"DELETE FROM p\"\n"
    "Set cmd = Server.CreateObject(\"ADODB.Command\")\n"
    "Set cmd.ActiveConnection = conn\n";

TEST_F(CommandTest, ParametersAreBoundNeverSpliced) {
  EXPECT_EQ(Asp(std::string(kSetUp) +
                "cmd.CommandText = \"INSERT INTO p(n, s) VALUES(?, ?)\"\n"
                "cmd.Parameters.Append cmd.CreateParameter(\"n\", 3, 1, , 7)\n"
                // Text that would end the statement if it were pasted into it.
                "cmd.Parameters.Append cmd.CreateParameter(\"s\", 200, 1, 50, \"x'); DROP TABLE p; --\")\n"
                "cmd.Execute\n"
                "cmd.Parameters(\"N\").Value = \"8\"\n"
                "cmd.Execute\n"
                "cmd.Execute , Array(\"9\", \"two\")\n"
                "Set rs = conn.Execute(\"SELECT n, typeof(n), s FROM p ORDER BY n\")\n"
                "Response.Write rs.GetString(, , \" \", \"|\")"),
            "7 integer x'); DROP TABLE p; --|8 integer x'); DROP TABLE p; --|9 integer two|");
}

// The rows a statement changed come back through a variable passed as the
// records-affected argument, of the connection and of a command; a value
// that is no variable takes nothing back.
TEST_F(CommandTest, TheRowsChangedComeBackThroughAVariable) {
  EXPECT_EQ(Asp(std::string(kSetUp) +
                "conn.Execute \"INSERT INTO p(n) VALUES (1), (2), (3)\", added\n"
                "conn.Execute \"UPDATE p SET s = 'x' WHERE n > 1\", changed, 1\n"
                "cmd.CommandText = \"DELETE FROM p WHERE n < ?\"\n"
                "cmd.Execute deleted, Array(3)\n"
                "conn.Execute \"DELETE FROM p\", 5\n"
                "Set rs = conn.Execute(\"SELECT count(*) FROM p\", found)\n"
                "Response.Write added & \" \" & changed & \" \" & deleted & \" \" & TypeName(deleted) & \" \" & rs(0)"),
            "3 2 2 Long 0");
}

TEST_F(CommandTest, VariantsBindAsTheirTypes) {
  const struct {
    const char* column;
    const char* value;  // a VBScript expression
    const char* seen;   // TypeName & "=" & value read back
  } cases[] = {
      {"d", "DateSerial(2024, 2, 29) + TimeSerial(13, 4, 5)", "Date=2/29/2024 1:04:05 PM"},
      {"m", "CCur(\"12.3456\")", "Double=12.3456"},
      {"m", "CCur(\"-922337203685477.5808\")", "Double=-922337203685478"},
      {"s", "\"h\xC3\xA9llo \" & ChrW(8364)", "String=h\xC3\xA9llo \xE2\x82\xAC"},
      {"s", "\"\"", "String="},
      {"n", "True", "Long=1"},
      {"n", "CByte(200)", "Long=200"},
      {"n", "Null", "Null="},
      {"n", "Empty", "Null="},
      {"m", "2.5", "Double=2.5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Asp(std::string(kSetUp) + "cmd.CommandText = \"INSERT INTO p(" + c.column + ") VALUES(?)\"\n" +
                  "cmd.Execute , Array(" + c.value + ")\n" +
                  "x = conn.Execute(\"SELECT " + c.column + " FROM p\")(0).Value\n"
                  "Response.Write TypeName(x) & \"=\" & x"),
              c.seen)
        << c.value;
  }
}

TEST_F(CommandTest, ARecordsetOpensACommandAndRefreshCountsMarkers) {
  EXPECT_EQ(Asp(std::string(kSetUp) +
                "conn.Execute \"INSERT INTO p(n) VALUES(1), (2), (3)\"\n"
                "cmd.CommandText = \"SELECT n FROM p WHERE n > ? ORDER BY n\"\n"
                "cmd.Parameters.Refresh\n"
                "Response.Write cmd.Parameters.Count & \"|\"\n"
                "cmd.Parameters(0).Value = 1\n"
                "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
                "rs.Open cmd, , 3\n"
                "Response.Write rs.RecordCount & rs(0) & \"|\"\n"
                "Set rs = cmd.Execute(, Array(2))\n"
                "Response.Write rs(0) & rs.RecordCount"),
            "1|22|3-1");
}

TEST_F(CommandTest, MisuseRaisesAdosErrors) {
  const struct {
    const char* code;
    long number;
  } cases[] = {
      {"cmd.Execute", 3001},  // no text
      {"cmd.CommandText = \"SELECT ?\" : cmd.Parameters.Append cmd.CreateParameter(\"o\", 3, 2) : cmd.Execute",
       3251},  // output parameters are not had
      {"x = cmd.Parameters(\"none\")", 3265},
      {"cmd.Parameters.Append conn", 3001},
      {"cmd.CommandText = \"SELECT 1\" : Set cmd.ActiveConnection = Nothing : cmd.Execute", 3709},
      {"cmd.CommandText = \"SELECT 1\" : cmd.Execute , 5", 3001},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Asp(std::string(kSetUp) + "On Error Resume Next\n" + c.code + "\nResponse.Write Err.Number"),
              std::to_string(c.number))
        << c.code;
  }
}

}  // namespace
}  // namespace kelvane::host::adodb::testing
