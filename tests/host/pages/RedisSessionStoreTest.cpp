// Sessions in a shared store, with a real Redis server on the Unix socket
// KELVANE_TEST_REDIS (the suite starts one): page engines standing for
// processes share a visitor's session, run its pages one at a time, and
// keep it across a restart; the store's key expires with the session; what
// cannot be read gives a fresh session; a store that cannot be reached
// fails the pages that use Session and no others.

#include <gtest/gtest.h>
#include <hiredis/hiredis.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "host/pages/PageEngine.h"
#include "host/pages/RedisSessionStore.h"
#include "support/TempFolder.h"

namespace kelvane::host {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string Header(const PageReply& reply, std::string_view name) {
  for (const auto& [key, value] : reply.headers)
    if (key == name) return value;
  return "";
}

// The session id a reply's cookie gives, or "".
std::string SessionIdOf(const PageReply& reply) {
  const std::string cookie = Header(reply, "Set-Cookie");
  const auto start = cookie.find('=') + 1;
  return cookie.starts_with("KELVANESESSION=") ? cookie.substr(start, cookie.find(';') - start) : "";
}

class Site {
 public:
  explicit Site(std::optional<StoreAddress> store) : store_(std::move(store)) {
    Page("set.asp", R"(<% Session("basket") = Array(CStr(Request("item")), 3) : Session.Timeout = 7 %>ok)");
    Page("get.asp", R"(<%= Join(Session("basket"), ",") %>|<%= Session.Timeout %>)");
    Page("count.asp", R"(<% n = Session("n") : For i = 1 To 20000 : Next : Session("n") = n + 1 %><%= Session("n") %>)");
    Page("plain.asp", "<%= 6 * 7 %>");
    Page("long.asp", R"(<% x = Session("basket") : t = Timer : Do While Timer < t + 4 And Timer >= t : Loop %>done)");
    Page("resume.asp", R"(<% On Error Resume Next : Session("x") = 1 %>went on)");
    Page("abandon.asp", R"(<% Session("x") = "gone" : Session.Abandon %>)");
    Page("ended.asp", R"(<%= Application("ended") %>)");
    Page("global.asa", R"(<script language="VBScript" runat="Server">
Sub Session_OnEnd
  Application("ended") = Session("x")
End Sub
</script>)");
  }

  void Page(const std::string& name, const std::string& text) { std::ofstream(folder_.Path() / name) << text; }

  // A process serving the site with the store; its pages may take `time`.
  std::unique_ptr<PageEngine> Process(std::chrono::milliseconds time = 5s) const {
    return std::make_unique<PageEngine>(folder_.Path(), PageLimits{time, std::size_t{64} << 20}, SessionLimits{},
                                        store_);
  }

  static PageReply Visit(const PageEngine& engine, const std::string& target, const std::string& session = "") {
    PageRequest request;
    request.method = "GET";
    const auto query = target.find('?');
    request.path = "/" + target.substr(0, query);
    if (query != std::string::npos) request.queryString = target.substr(query + 1);
    if (!session.empty()) request.headers = {{"Cookie", "KELVANESESSION=" + session}};
    return engine.Run(engine.Root() / request.path.substr(1), request);
  }

 private:
  TempFolder folder_{"shared-sessions"};
  std::optional<StoreAddress> store_;
};

// Talks to the test's Redis server directly.
class Redis {
 public:
  Redis() : context_(redisConnectUnix(Socket().c_str())) {}
  ~Redis() { redisFree(context_); }

  static std::string Socket() {
    const char* socket = std::getenv("KELVANE_TEST_REDIS");
    return socket ? socket : "";
  }
  static StoreAddress Address() { return *ParseStoreAddress("unix:" + Socket()); }

  long long Integer(std::vector<std::string> words) {
    const auto reply = Run(std::move(words));
    return reply->integer;
  }
  void Do(std::vector<std::string> words) { Run(std::move(words)); }

 private:
  std::unique_ptr<redisReply, void (*)(void*)> Run(std::vector<std::string> words) {
    std::vector<const char*> argv;
    std::vector<std::size_t> sizes;
    for (const auto& word : words) {
      argv.push_back(word.data());
      sizes.push_back(word.size());
    }
    return {static_cast<redisReply*>(redisCommandArgv(context_, static_cast<int>(argv.size()), argv.data(), sizes.data())),
            freeReplyObject};
  }

  redisContext* context_;
};

class RedisSessionStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    if (Redis::Socket().empty()) GTEST_SKIP() << "KELVANE_TEST_REDIS names no Redis server's socket";
  }

  Site site{Redis::Address()};
  Redis redis;
};

TEST_F(RedisSessionStoreTest, AVisitorsValuesFollowThemAcrossProcessesAndRestarts) {
  auto a = site.Process();
  const auto b = site.Process();
  const PageReply made = Site::Visit(*a, "set.asp?item=apple");
  ASSERT_EQ(made.status, 200) << made.body;
  const std::string id = SessionIdOf(made);
  ASSERT_FALSE(id.empty());

  const PageReply other = Site::Visit(*b, "get.asp", id);
  EXPECT_EQ(other.body, "apple,3|7");
  EXPECT_EQ(Header(other, "Set-Cookie"), "") << "the visitor keeps their session";

  a.reset();  // a restart
  a = site.Process();
  EXPECT_EQ(Site::Visit(*a, "get.asp", id).body, "apple,3|7");
  EXPECT_EQ(redis.Integer({"EXISTS", RedisSessionStore::LockKey(id)}), 0) << "no page holds it";
}

TEST_F(RedisSessionStoreTest, FourPagesOfOneSessionAcrossTwoProcessesRunOneAtATime) {
  const auto a = site.Process(), b = site.Process();
  const std::string id = SessionIdOf(Site::Visit(*a, "set.asp?item=x"));
  std::vector<std::thread> pages;
  std::vector<int> statuses(4);
  for (int i = 0; i < 4; ++i)
    pages.emplace_back([&, i] { statuses[i] = Site::Visit(i % 2 ? *a : *b, "count.asp", id).status; });
  for (auto& page : pages) page.join();
  EXPECT_EQ(statuses, (std::vector<int>{200, 200, 200, 200}));
  EXPECT_EQ(Site::Visit(*b, "get.asp", id).status, 200);
  EXPECT_EQ(Site::Visit(*a, "count.asp", id).body, "5");
}

TEST_F(RedisSessionStoreTest, TheKeyExpiresAtTheTimeoutRenewedByEachPage) {
  const auto a = site.Process();
  const std::string id = SessionIdOf(Site::Visit(*a, "set.asp?item=pear"));
  const std::string key = RedisSessionStore::DataKey(id);
  EXPECT_GT(redis.Integer({"PTTL", key}), 7 * 60'000 - 5'000);
  EXPECT_LE(redis.Integer({"PTTL", key}), 7 * 60'000);

  redis.Do({"PEXPIRE", key, "60000"});
  EXPECT_EQ(Site::Visit(*a, "get.asp", id).body, "pear,3|7");
  EXPECT_GT(redis.Integer({"PTTL", key}), 7 * 60'000 - 5'000) << "a page renews it";

  redis.Do({"PEXPIRE", key, "1"});
  std::this_thread::sleep_for(20ms);
  const std::string fresh = SessionIdOf(Site::Visit(*a, "set.asp?item=fig", id));
  EXPECT_FALSE(fresh.empty()) << "the session ended with its key";
  EXPECT_NE(fresh, id);
}

TEST_F(RedisSessionStoreTest, ADamagedOrForeignStoredValueGivesAFreshSession) {
  const auto a = site.Process();
  for (const std::string damaged : {"KS\x02 from a later version", "KS\x01\x14", ""}) {
    const std::string id = NewSessionId();
    redis.Do({"SET", RedisSessionStore::DataKey(id), damaged, "PX", "60000"});
    const PageReply reply = Site::Visit(*a, "set.asp?item=fig", id);
    EXPECT_EQ(reply.status, 200) << reply.body;
    const std::string fresh = SessionIdOf(reply);
    EXPECT_FALSE(fresh.empty());
    EXPECT_NE(fresh, id);
    EXPECT_EQ(Site::Visit(*a, "get.asp", fresh).body, "fig,3|7");
    EXPECT_EQ(redis.Integer({"EXISTS", RedisSessionStore::LockKey(id)}), 0);
  }
}

TEST_F(RedisSessionStoreTest, AnAbandonedSessionLeavesTheStoreAndEndsWithItsHandler) {
  const auto a = site.Process();
  const std::string id = SessionIdOf(Site::Visit(*a, "set.asp?item=kiwi"));
  EXPECT_EQ(Site::Visit(*a, "abandon.asp", id).status, 200);
  EXPECT_EQ(redis.Integer({"EXISTS", RedisSessionStore::DataKey(id), RedisSessionStore::LockKey(id)}), 0);
  EXPECT_EQ(Site::Visit(*a, "ended.asp").body, "gone");
}

TEST_F(RedisSessionStoreTest, ALockIsWaitedForUntilItsExpiryOrThePagesDeadline) {
  const auto a = site.Process(400ms);
  const std::string id = SessionIdOf(Site::Visit(*a, "set.asp?item=plum"));
  // A process that died holding the session.
  redis.Do({"SET", RedisSessionStore::LockKey(id), "dead", "PX", "150"});
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Site::Visit(*a, "get.asp", id).body, "plum,3|7");
  EXPECT_GE(std::chrono::steady_clock::now() - start, 100ms);

  redis.Do({"SET", RedisSessionStore::LockKey(id), "busy", "PX", "60000"});
  const PageReply late = Site::Visit(*a, "get.asp", id);
  EXPECT_EQ(late.status, 500);
  EXPECT_NE(late.body.find("time limit waiting for its session"), std::string::npos) << late.body;
  EXPECT_EQ(Site::Visit(*a, "plain.asp", id).body, "42") << "pages without Session do not wait";
  redis.Do({"DEL", RedisSessionStore::LockKey(id)});
}

TEST_F(RedisSessionStoreTest, ALockIsRenewedWhileItsPageRuns) {
  const auto a = site.Process(8s);
  const std::string id = SessionIdOf(Site::Visit(*a, "set.asp?item=fig"));
  std::thread page([&] { EXPECT_EQ(Site::Visit(*a, "long.asp", id).body, "done"); });
  std::this_thread::sleep_for(3500ms);  // past a lock's first life
  EXPECT_EQ(redis.Integer({"EXISTS", RedisSessionStore::LockKey(id)}), 1);
  EXPECT_LE(redis.Integer({"PTTL", RedisSessionStore::LockKey(id)}), 3000);
  page.join();
  EXPECT_EQ(redis.Integer({"EXISTS", RedisSessionStore::LockKey(id)}), 0);
}

TEST(SharedSessionStore, AnUnreachableStoreFailsOnlyThePagesThatUseSession) {
  const Site site(*ParseStoreAddress("unix:/nonexistent/kelvane.sock"));
  const auto a = site.Process();
  for (int i = 0; i < 2; ++i) {
    const PageReply reply = Site::Visit(*a, "set.asp?item=x");
    EXPECT_EQ(reply.status, 500);
    EXPECT_NE(reply.body.find("the session store at unix:/nonexistent/kelvane.sock cannot be reached"),
              std::string::npos)
        << reply.body;
    EXPECT_EQ(Header(reply, "Set-Cookie"), "") << "no cookie for a session that was never kept";
    EXPECT_EQ(Site::Visit(*a, "plain.asp").body, "42");
    const PageReply resumed = Site::Visit(*a, "resume.asp");
    EXPECT_EQ(resumed.status, 500) << "a page that goes on after errors fails all the same";
    EXPECT_NE(resumed.body.find("cannot be reached"), std::string::npos) << resumed.body;
  }
  const StoreStatus status = a->SessionStoreStatus();
  EXPECT_TRUE(status.shared);
  EXPECT_FALSE(status.reachable);
  EXPECT_GE(status.errors, 4u);
}

}  // namespace
}  // namespace kelvane::host
