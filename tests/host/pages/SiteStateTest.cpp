// Sessions and the values pages keep: the memory budget, the turns pages
// take at one session, and which sessions go when room is made.

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "host/pages/SiteState.h"
#include "support/Automation.h"

namespace kelvane::host {
namespace {

using namespace std::chrono_literals;
using oleaut::ErrorOf;
using oleaut::Variant;
using Clock = std::chrono::steady_clock;

constexpr std::size_t kMegabyte = std::size_t{1} << 20;

Variant ArrayOf(std::vector<Variant> elements) {
  auto array = std::make_shared<oleaut::SafeArray>();
  array->elements = std::move(elements);
  return oleaut::ArrayRef(std::move(array));
}

// An array of `value` alone, `depth` arrays deep.
Variant Nested(Variant value, int depth) {
  for (int i = 0; i < depth; ++i) value = ArrayOf({value});
  return value;
}

// Arrays whose paths, each counted once, are `segments` times 60 arrays
// long, while no array is further than 61 from the top.
Variant Segmented(int segments) {
  std::vector<Variant> parts;
  Variant below;
  for (int i = 0; i < segments; ++i) parts.push_back(below = Nested(below, 60));
  return ArrayOf(std::move(parts));
}

TEST(SharedValuesTest, PlainDataIsKeptAndAnythingElseIsRefused) {
  Variant wide = Variant("leaf");
  for (int i = 0; i < 60; ++i)  // 2^60 paths to the leaf, 61 arrays
    wide = ArrayOf({wide, wide});
  const struct {
    const char* what;
    Variant value;
    int error;
  } cases[] = {
      {"text", Variant("text"), 0},
      {"an object", Variant::Nothing(), oleaut::kTypeMismatch},
      {"an object in an array", Nested(Variant::Nothing(), 3), oleaut::kTypeMismatch},
      {"arrays as deep as allowed", Nested(1.0, SharedValues::kDeepestArrays), 0},
      {"arrays one deeper", Nested(1.0, SharedValues::kDeepestArrays + 1), oleaut::kOutOfStackSpace},
      {"arrays deep through arrays met before", Segmented(3), oleaut::kOutOfStackSpace},
      {"an array shared on 2^60 paths", wide, 0},
  };
  SharedValues values;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(ErrorOf([&] { values.Set(c.what, c.value); }), c.error);
    EXPECT_EQ(values.Get(c.what).IsEmpty(), c.error != 0);
  }
}

TEST(SharedValuesTest, ABudgetHoldsWhatValuesKeepAndTakesBackWhatTheyLetGo) {
  ValueBudget budget(3 * kMegabyte + 4096);
  const Variant megabyte = std::string(kMegabyte, 'x');
  {
    SharedValues first(&budget), second(&budget);
    first.Set("a", megabyte);
    first.Set("b", megabyte);
    second.Set("c", megabyte);
    EXPECT_EQ(ErrorOf([&] { second.Set("d", megabyte); }), oleaut::kOutOfMemory);
    EXPECT_EQ(second.Count(), 1u) << "a refused value is not kept";
    EXPECT_EQ(ErrorOf([&] { second.Set("c", std::string(2 * kMegabyte, 'y')); }), oleaut::kOutOfMemory);
    EXPECT_EQ(second.Get("c"), megabyte) << "the value before stays";

    second.Set("c", "small");
    second.Set("d", megabyte);
    first.Remove("A");
    second.Set("e", megabyte);
    first.Clear();
    second.Set("f", megabyte);
    EXPECT_EQ(ErrorOf([&] { first.Set("g", megabyte); }), oleaut::kOutOfMemory);
  }
  SharedValues after(&budget);
  for (const char* name : {"a", "b", "c"}) after.Set(name, megabyte);  // what the gone values held is free
}

TEST(TurnLockTest, PagesTakeTurnsInOrderOfArrivalEachWithinItsOwnDeadline) {
  TurnLock turn;
  int pages[4];
  ASSERT_TRUE(turn.Take(&pages[0], Clock::now() + 10s));
  std::mutex mutex;
  std::vector<int> turns;  // each page's number once it has its turn, negated when it gave up
  std::vector<std::thread> waiting;
  for (int i = 1; i <= 3; ++i) {
    waiting.emplace_back([&, i] {
      const bool took = turn.Take(&pages[i], Clock::now() + (i == 2 ? 500ms : 10s));
      std::lock_guard lock(mutex);
      turns.push_back(took ? i : -i);
      if (took) turn.Give(&pages[i]);
    });
    while (turn.Waiting() < static_cast<std::size_t>(i)) std::this_thread::yield();
  }
  while (turn.Waiting() > 2) std::this_thread::sleep_for(10ms);  // the second gives up
  turn.Give(&pages[0]);
  for (auto& page : waiting) page.join();
  EXPECT_EQ(turns, (std::vector<int>{-2, 1, 3}));
}

TEST(TurnLockTest, AHolderStuckPastItsDeadlineLosesTheLock) {
  TurnLock turn;
  int stuck, next;
  const auto start = Clock::now();
  ASSERT_TRUE(turn.Take(&stuck, start));
  EXPECT_FALSE(turn.Take(&next, start + 200ms)) << "a holder just past its deadline is stopping";
  EXPECT_TRUE(turn.Take(&next, start + 10s));
  EXPECT_GE(Clock::now() - start, TurnLock::kStuckAfter);
  turn.Give(&stuck);  // the stuck page ends at last: the lock is not its own to give
  EXPECT_FALSE(turn.Take(&stuck, Clock::now() + 50ms));
}

class SiteStateTest : public testing::Test {
 protected:
  // A session made at `site` for a page at `address` that has since ended.
  std::string Visit(const std::string& address, SiteState& at) {
    const auto session = at.NewSession(address, this, Clock::now() + 10s);
    at.LeaveSession(*session, this);
    return session->Id();
  }
  std::string Visit(const std::string& address) { return Visit(address, site); }
  bool Live(const std::string& id) { return site.FindSession(id) != nullptr; }

  SiteState site{{kMegabyte * 3 / 2, 3}};
};

TEST_F(SiteStateTest, AnAddressMakesRoomFromItsOwnLeastRecentlyUsedSessions) {
  const std::string other = Visit("10.0.0.9");
  const std::string a = Visit("10.0.0.1"), b = Visit("10.0.0.1"), c = Visit("10.0.0.1");
  EXPECT_TRUE(Live(a)) << "a is used again, so b is the least recently used";
  const std::string d = Visit("10.0.0.1");
  EXPECT_FALSE(Live(b));
  for (const std::string& id : {other, a, c, d}) EXPECT_TRUE(Live(id));

  const std::string first = Visit("2001:db8::1");
  for (const char* address : {"2001:db8::2", "2001:db8::3", "2001:db8::4"}) Visit(address);
  EXPECT_FALSE(Live(first)) << "one IPv6 network of 64 bits counts as one address";
  EXPECT_TRUE(Live(Visit("2001:db8:0:1::1")));
}

TEST_F(SiteStateTest, EndedSessionsAreKeptForTheirHandlerOnlyWhileTheSiteHasOne) {
  const std::string unkept = Visit("10.0.0.1");
  EXPECT_EQ(site.FindSession(unkept, Clock::now() + 21min), nullptr);
  EXPECT_EQ(site.TakeEnded(), nullptr) << "no handler: an ended session just goes";

  site.KeepEnded(true);
  const std::string expired = Visit("10.0.0.1");
  const auto abandoned = site.NewSession("10.0.0.2", this, Clock::now() + 10s);
  abandoned->Abandon();
  site.LeaveSession(*abandoned, this);
  EXPECT_EQ(site.FindSession(expired, Clock::now() + 21min), nullptr);
  const auto first = site.TakeEnded();
  const auto second = site.TakeEnded();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first, abandoned) << "in the order they ended";
  EXPECT_EQ(second->Id(), expired);
  EXPECT_EQ(site.TakeEnded(), nullptr);
}

TEST_F(SiteStateTest, AFloodOfNewSessionsLeavesThoseInUse) {
  SiteState busy;
  const std::string visitor = Visit("10.0.0.9", busy);
  for (int i = 0; i < 10000; ++i) Visit("10.0.0.1", busy);
  EXPECT_NE(busy.FindSession(visitor), nullptr) << "one address makes room from its own";

  const std::string idle = Visit("10.0.0.8", busy);
  for (std::size_t i = 0; i < SiteState::kMostSessions; ++i) {
    Visit("10.1." + std::to_string(i / 256) + "." + std::to_string(i % 256), busy);
    if (i % 1000 == 0) busy.FindSession(visitor);
  }
  EXPECT_NE(busy.FindSession(visitor), nullptr) << "the least recently used go at the site's cap";
  EXPECT_EQ(busy.FindSession(idle), nullptr);
}

TEST_F(SiteStateTest, GoneSessionsGiveTheirMemoryBack) {
  const Variant megabyte = std::string(kMegabyte, 'x');
  const auto fill = [&](const std::string& id) {
    const auto session = site.EnterSession(id, this, Clock::now() + 10s);
    const int error = ErrorOf([&] { session->Values().Set("note", megabyte); });
    site.LeaveSession(*session, this);
    return error;
  };
  const std::string a = Visit("10.0.0.1");
  EXPECT_EQ(fill(a), 0);
  const std::string b = Visit("10.0.0.1");
  EXPECT_EQ(fill(b), oleaut::kOutOfMemory);
  Visit("10.0.0.1");
  Visit("10.0.0.1");
  EXPECT_FALSE(Live(a));
  EXPECT_EQ(fill(b), 0) << "made room for";
  {
    const auto session = site.EnterSession(b, this, Clock::now() + 10s);
    session->Abandon();
    site.LeaveSession(*session, this);
  }
  const std::string c = Visit("10.0.0.2");
  EXPECT_EQ(fill(c), 0) << "abandoned";
  EXPECT_EQ(site.FindSession(c, Clock::now() + 21min), nullptr);
  EXPECT_EQ(fill(Visit("10.0.0.3")), 0) << "expired";
}

}  // namespace
}  // namespace kelvane::host
