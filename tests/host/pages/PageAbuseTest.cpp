// Pages of both languages that misbehave on purpose, from tests/host/pages/abuse/, run by the engine
// on the test's thread and by a server with one worker. After each, the
// probe page runs on the same thread: it must find fresh globals, fresh
// libraries and a fresh white surface.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "host/http/HttpServer.h"
#include "host/pages/PageEngine.h"
#include "support/HttpClient.h"
#include "support/SmallStack.h"
#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;

const fs::path kAbusePages = fs::path(__FILE__).parent_path() / "abuse";

// The blue, green and red bytes of pixel (x, y) of a 24-bit bottom-up BMP.
std::uint32_t BmpPixel(const std::string& bmp, int x, int y) {
  const auto read32 = [&](std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<std::uint8_t>(bmp.at(at + i));
    return value;
  };
  const std::uint32_t width = read32(18), height = read32(22);
  const std::size_t at = read32(10) + (height - 1 - y) * ((width * 3 + 3) & ~3u) + x * 3;
  return static_cast<std::uint8_t>(bmp.at(at)) << 16 | static_cast<std::uint8_t>(bmp.at(at + 1)) << 8 |
         static_cast<std::uint8_t>(bmp.at(at + 2));
}

// A 2 x 2 blue picture.
std::vector<std::uint8_t> BlueDot() {
  std::vector<std::uint8_t> file{'B', 'M', 70, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0,
                                 40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0};
  file.resize(54);
  for (int row = 0; row < 2; ++row) file.insert(file.end(), {255, 0, 0, 255, 0, 0, 0, 0});
  return file;
}

class PageAbuseTest : public testing::Test {
 protected:
  void SetUp() override {
    for (const auto& entry : fs::directory_iterator(kAbusePages))
      fs::copy_file(entry.path(), site.Path() / entry.path().filename());
    site.File("dot.bmp", BlueDot());
    ASSERT_EQ(::mkfifo((site.Path() / "fifo").c_str(), 0600), 0);
    fs::create_directory_symlink("/etc", site.Path() / "outside");
    previous = fs::current_path();
    fs::current_path(work.Path());
  }
  void TearDown() override { fs::current_path(previous); }

  PageReply Run(const std::string& page, const std::string& query = "") { return RunOn(engine, page, query); }
  PageReply RunOn(const PageEngine& on, const std::string& page, const std::string& query = "") {
    PageRequest request;
    request.method = "GET";
    request.path = "/" + page;
    request.queryString = query;
    return on.Run(site.Path() / page, request);
  }

  // Short limits, so that the pages that run into them do so soon, yet time
  // enough for the pages that must not, under sanitizers on a busy machine.
  static constexpr PageLimits kLimits{milliseconds(1000), std::size_t{64} << 20};

  TempFolder site{"abuse-site"};
  TempFolder work{"abuse-work"};
  fs::path previous;
  PageEngine engine{site.Path(), kLimits};
};

struct Abuse {
  const char* page;
  const char* query;
  int status;
  const char* bodyHas;  // a part of the body expected, or ""
};

constexpr Abuse kAbuses[] = {
      {"error_index_raises.ksp", "", 500, "a table value"},
      {"error_fields_are_tables.ksp", "", 500, "description: a table value"},
      {"finalizer_loops.ksp", "", 500, "finalizers"},
      {"finalizer_writes.ksp", "", 500, "finalizers"},
      {"host_metatable_gc_thrice.ksp", "", 500, "boolean"},
      {"host_metatable_gc_removed.ksp", "", 200, "false"},
      {"global_store.ksp", "email=a%40b.example", 200, "a@b.example"},
      {"memory_in_globals.ksp", "", 200, "25165824"},
      {"memory_in_globals.ksp", "", 200, "25165824"},
      {"table_move.ksp", "", 500, "time limit"},
      {"paste_fifo.ksp", "", 200, "pasted"},
      {"status_informational.ksp", "status=100", 500, "200 to 599"},
      {"status_informational.ksp", "status=102", 500, "200 to 599"},
      {"status_informational.ksp", "status=199", 500, "200 to 599"},
      {"status_informational.ksp", "status=204", 204, ""},
      {"body_past_memory.ksp", "", 500, "Out of memory"},
      {"surface_past_memory.ksp", "", 500, "Out of memory"},
      {"mappath_symlink.ksp", "", 500, "leaves the site"},
      {"query_nul.ksp", "a=x%00y", 200, "3|7"},
      {"pattern_backtracking.ksp", "", 500, "time limit"},
      {"pattern_method.ksp", "", 500, "time limit"},
      {"xpcall_handler_loops.ksp", "", 500, "time limit"},
      {"xpcall_handler_after_error.ksp", "", 500, "time limit"},
      {"lock_then_loop.ksp", "", 500, "time limit"},
      {"tostring_counts.ksp", "", 200,
       "table: 1|function: 2|table: 1|Point: 3|table: 1|1|    2|(null)|4|kelvane.object: 5|function: 2"},
      {"global_store.asp", "email=a%40b.example", 200, "a@b.example"},
      {"loop_resume_next.asp", "", 500, "time limit"},
      {"terminate_loops.asp", "", 500, "time limit"},
      {"deep_recursion.asp", "", 500, "number: 28"},
      {"execute_recursion.asp", "", 500, "number: 28"},
      {"recursion_in_deep_expressions.asp", "", 500, "number: 28"},
      {"expression_chain.asp", "", 500, "Expression nested too deeply"},
      {"surface_past_memory.asp", "", 500, "Out of memory"},
      {"copy_at_memory_limit.asp", "", 200, "7|old|2|0"},
      {"append_at_memory_limit.asp", "", 200, "7|True"},
      {"terminate_nests.asp", "", 200, "survived"},
      {"quadratic_searches.asp", "", 200, "0|0|0|2000000|0"},
      {"cycle_keeps_drawing.asp", "", 200, "drawn"},
      {"cycle_keeps_drawing.ksp", "", 200, "drawn"},
      {"redirect_line_break.asp", "to=x%0d%0aSet-Cookie:%20a=b", 500, "number: 5"},
      {"session_off.asp", "u=a", 500, "Object required"},
      {"session_nested_arrays.asp", "", 500, "number: 28"},
      {"lock_then_loop.asp", "", 500, "time limit"},
};

TEST_F(PageAbuseTest, NoPageReachesTheProcessOrTheNextRequest) {
  for (const Abuse& abuse : kAbuses) {
    SCOPED_TRACE(abuse.page + std::string("?") + abuse.query);
    const PageReply reply = Run(abuse.page, abuse.query);
    EXPECT_EQ(reply.status, abuse.status) << reply.body.substr(0, 2000);
    EXPECT_NE(reply.body.find(abuse.bodyHas), std::string::npos) << reply.body.substr(0, 2000);
    EXPECT_LT(reply.body.size(), std::size_t{1} << 20) << "a failure page repeats no huge value";

    for (const char* prober : {"probe.ksp", "probe.asp"}) {
      const PageReply probe = Run(prober);
      ASSERT_EQ(probe.status, 200) << prober << ": " << probe.body;
      EXPECT_EQ(BmpPixel(probe.body, 150, 150), 0xFFFFFFu) << prober << ": the surface is fresh";
    }
  }
}

TEST_F(PageAbuseTest, TheServerLivesAndItsWorkerServesTheNextRequestFresh) {
  ServerOptions options;
  options.port = 0;
  options.threads = 1;
  options.workers = 1;
  HttpServer server(engine, options, [](std::string_view) {});
  ASSERT_TRUE(server.Start(nullptr));
  for (const Abuse& abuse : kAbuses) {
    SCOPED_TRACE(abuse.page + std::string("?") + abuse.query);
    test::Client client(server.Port(), std::chrono::seconds(10));
    client.Send(test::Request("GET", "/" + std::string(abuse.page) + "?" + abuse.query));
    const test::Response reply = client.Read();
    EXPECT_EQ(reply.status, abuse.status);
    EXPECT_NE(reply.body.find(abuse.bodyHas), std::string::npos)
        << "the engine answered, not the pool giving up: " << reply.body.substr(0, 2000);

    for (const char* page : {"/probe.ksp", "/probe.asp"}) {
      test::Client prober(server.Port(), std::chrono::seconds(10));
      prober.Send(test::Request("GET", page));
      const test::Response probe = prober.Read();
      ASSERT_EQ(probe.status, 200) << page << ": " << probe.body;
      EXPECT_EQ(BmpPixel(probe.body, 150, 150), 0xFFFFFFu) << page << ": the worker's surface is fresh";
    }
  }
}

// Structures 20,000 levels deep, released at the page's end on a thread
// whose stack a release one stack frame a level would overflow many times;
// with time to build them under the sanitizers.
TEST_F(PageAbuseTest, DeepStructuresAreReleasedWithinASmallStack) {
  const PageEngine patient(site.Path(), PageLimits{milliseconds(10000), kLimits.memoryBytes});
  for (const char* page : {"deep_arrays.asp", "deep_objects.asp", "deep_dictionaries.asp"}) {
    SCOPED_TRACE(page);
    PageReply reply;
    test::OnSmallStack(std::size_t{1} << 20, [&] { reply = RunOn(patient, page); });
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.body, "built\n");
  }
}

// Calls stop with 28 at what the running thread's stack holds, not at a
// count of calls fitted to one stack size: on a small stack, a recursion
// that the count of calls would let through overflows it.
TEST_F(PageAbuseTest, CallsStopAtWhatTheThreadsStackHolds) {
  for (const std::size_t stack : {std::size_t{512} << 10, std::size_t{2} << 20}) {
    SCOPED_TRACE(stack);
    for (const char* page : {"deep_recursion.asp", "recursion_in_deep_expressions.asp"}) {
      PageReply reply;
      test::OnSmallStack(stack, [&] { reply = Run(page); });
      EXPECT_EQ(reply.status, 500) << page;
      EXPECT_NE(reply.body.find("number: 28"), std::string::npos) << page << ": " << reply.body;
    }
  }
}

TEST_F(PageAbuseTest, PicturesWithRelativeNamesComeFromTheSite) {
  const PageReply reply = Run("paste_relative.ksp");
  ASSERT_EQ(reply.status, 200) << reply.body;
  EXPECT_EQ(BmpPixel(reply.body, 1, 1), 0xFF0000u) << "blue, read from the site";
}

}  // namespace
}  // namespace kelvane::host
