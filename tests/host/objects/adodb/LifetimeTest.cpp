#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "host/objects/adodb/ConnectionPool.h"
#include "host/objects/adodb/DatabaseSite.h"

namespace kelvane::host::adodb::testing {
namespace {

using LifetimeTest = DatabaseSite;
using std::chrono::milliseconds;

constexpr const char* kOpen =
    "Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
    "conn.Open \"$DB\"\n";

TEST_F(LifetimeTest, AQueryRunningPastTheDeadlineIsCancelled) {
  ASSERT_EQ(Asp(std::string(kOpen) + "conn.Execute \"CREATE TABLE t(n INTEGER)\""), "");
  // Counting to 1e9 takes the driver minutes.
  const char* counting = "WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < 1000000000) "
                         "SELECT count(*) FROM c";
  for (const char* how : {"Set rs = conn.Execute(\"%s\")", "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
                                                            "rs.Open \"%s\", conn, 3"}) {
    std::string code = std::string(kOpen) + "On Error Resume Next\n" + how + "\nResponse.Write \"ran on\"";
    code.replace(code.find("%s"), 2, counting);
    const auto start = std::chrono::steady_clock::now();
    const PageReply reply = Run("<%\n" + code + "\n%>", "page.asp", {milliseconds(300), 64 << 20});
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(reply.status, 500) << reply.body;
    EXPECT_LT(took, milliseconds(3000)) << how;
    EXPECT_EQ(Asp(std::string(kOpen) + "conn.Execute \"INSERT INTO t VALUES(1)\"\n"
                  "Response.Write conn.Execute(\"SELECT count(*) FROM t\")(0)"),
              "1")
        << "the connection the cancelled page used still serves";
    ASSERT_EQ(Asp(std::string(kOpen) + "conn.Execute \"DELETE FROM t\""), "");
  }
}

TEST_F(LifetimeTest, APageEndingInATransactionRollsItBackAndFreesTheTable) {
  ASSERT_EQ(Asp(std::string(kOpen) + "conn.Execute \"CREATE TABLE t(n INTEGER)\""), "");
  const char* endings[] = {
      "",                                       // the page just ends
      "Err.Raise 5",                            // it fails
      "Set rs = conn.Execute(\"SELECT n FROM t\")",  // with a recordset still open
  };
  for (const char* ending : endings) {
    const PageReply left = Run("<%\n" + std::string(kOpen) +
                               "conn.BeginTrans\n"
                               "conn.Execute \"INSERT INTO t VALUES(1)\"\n" + ending + "\n%>");
    EXPECT_EQ(left.status, *ending == 'E' ? 500 : 200) << ending;
    // Another connection, made anew (a pooled one would be the first
    // page's), writes the table at once and sees no row of the first.
    EXPECT_EQ(Asp("Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                  "conn.Open \"$DB;Timeout=100\"\n"
                  "conn.Execute \"INSERT INTO t VALUES(2)\"\n"
                  "Response.Write conn.Execute(\"SELECT sum(n) FROM t\")(0)\n"
                  "conn.Execute \"DELETE FROM t\""),
              "2")
        << ending;
  }
}

TEST_F(LifetimeTest, CommittedWorkStays) {
  EXPECT_EQ(Asp(std::string(kOpen) +
                "conn.Execute \"CREATE TABLE t(n INTEGER)\"\n"
                "conn.BeginTrans : conn.Execute \"INSERT INTO t VALUES(1)\" : conn.CommitTrans\n"
                "conn.BeginTrans : conn.Execute \"INSERT INTO t VALUES(2)\" : conn.RollbackTrans\n"
                "conn.Close : conn.Open\n"
                "Response.Write conn.Execute(\"SELECT sum(n) FROM t\")(0)"),
            "1");
}

TEST_F(LifetimeTest, PagesThatOpenAndCloseReuseOnePooledConnection) {
  ASSERT_EQ(Asp(std::string(kOpen) + "conn.Execute \"CREATE TABLE t(n INTEGER)\" : conn.Close"), "");
  const std::uint64_t before = DriverLogins();
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Asp(std::string(kOpen) +
                  "conn.Execute \"INSERT INTO t VALUES(1)\"\n"
                  "Response.Write conn.Execute(\"SELECT count(*) FROM t\")(0)\n"
                  "conn.Close"),
              std::to_string(i + 1));
  }
  EXPECT_EQ(DriverLogins(), before);
}

TEST_F(LifetimeTest, AReplacedDatabaseFileIsNeverReachedThroughThePool) {
  ASSERT_EQ(Asp(std::string(kOpen) + "conn.Execute \"CREATE TABLE t(n INTEGER)\" : conn.Close"), "");
  std::filesystem::remove(database);
  // The file at that name now is a new one: its table is made afresh, and
  // what is written lands in it.
  EXPECT_EQ(Asp(std::string(kOpen) +
                "conn.Execute \"CREATE TABLE t(n INTEGER)\" : conn.Execute \"INSERT INTO t VALUES(7)\"\n"
                "Response.Write conn.Execute(\"SELECT n FROM t\")(0) : conn.Close"),
            "7");
}

TEST_F(LifetimeTest, PagesOnSeveralThreadsShareThePool) {
  ASSERT_EQ(Asp(std::string(kOpen) + "conn.Execute \"CREATE TABLE t(n INTEGER)\" : conn.Close"), "");
  const std::uint64_t before = DriverLogins();
  constexpr int kThreads = 4;
  constexpr int kPages = 15;
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, page = "page" + std::to_string(t) + ".asp"] {
      for (int i = 0; i < kPages; ++i) {
        const std::string written = Asp(std::string(kOpen) +
                                        "conn.Execute \"INSERT INTO t VALUES(1)\"\n"
                                        "Set rs = conn.Execute(\"SELECT count(*) FROM t\")\n"
                                        "Response.Write rs(0) > 0\n"
                                        "conn.Close",
                                        page);
        if (written != "True") ++wrong;
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_LE(DriverLogins(), before + kThreads) << "a connection for each thread at the most";
  EXPECT_EQ(Asp(std::string(kOpen) + "Response.Write conn.Execute(\"SELECT count(*) FROM t\")(0)"),
            std::to_string(kThreads * kPages));
}

TEST_F(LifetimeTest, ThePoolKeepsTheLatestIdleConnectionsOnly) {
  // Forty connection strings, each opened and closed once: the pool keeps
  // the last 32.
  const std::string cycle = "Set conn = Server.CreateObject(\"ADODB.Connection\")\n"
                            "conn.Open \"$DB;Timeout=\" & n\n"
                            "conn.Close\n";
  ASSERT_EQ(Asp("For n = 1 To 40\n" + cycle + "Next"), "");
  const std::uint64_t before = DriverLogins();
  ASSERT_EQ(Asp("n = 40\n" + cycle), "");
  EXPECT_EQ(DriverLogins(), before) << "the latest is kept";
  ASSERT_EQ(Asp("n = 1\n" + cycle), "");
  EXPECT_EQ(DriverLogins(), before + 1) << "the longest idle was closed";
}

TEST_F(LifetimeTest, RowsHeldInMemoryCountAgainstThePagesLimit) {
  const std::string code = std::string(kOpen) +
                           "Set rs = Server.CreateObject(\"ADODB.Recordset\")\n"
                           "rs.Open \"WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < "
                           "2000000) SELECT x, 'row ' || x || ' of text that takes room' FROM c\", conn, 3\n"
                           "Response.Write rs.RecordCount";
  const PageReply reply = Run("<%\n" + code + "\n%>", "page.asp", {std::chrono::seconds(20), 16 << 20});
  EXPECT_EQ(reply.status, 500);
  EXPECT_NE(reply.body.find("Out of memory"), std::string::npos) << reply.body;
  EXPECT_EQ(Asp(std::string(kOpen) + "Response.Write conn.Execute(\"SELECT 6 * 7\")(0)"), "42");
}

}  // namespace
}  // namespace kelvane::host::adodb::testing
