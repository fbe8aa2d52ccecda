#include "host/pages/RedisSessionStore.h"

#include <hiredis/hiredis.h>

#include <algorithm>
#include <cstdio>
#include <thread>

#include "host/pages/SessionForm.h"
#include "host/pages/TurnLock.h"
#include "platform/oleaut/AutomationError.h"

namespace kelvane::host {

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long one talk with the store may take, connecting included.
constexpr auto kTalkTime = 1s;
// The wait before trying an unreachable store again: doubled at each
// failure, from the least to the most.
constexpr auto kLeastBackoff = 50ms;
constexpr auto kMostBackoff = 5s;
// Connections kept open while idle.
constexpr std::size_t kMostIdle = 64;
// How often a page waiting for its session asks for it again, at most.
constexpr auto kMostPoll = 50ms;
// How long a lock lives unless renewed; it is renewed every third of that.
constexpr auto kLockTime = 3s;

// Sets the session's value and lets its lock go, in one step, only while
// the page's token holds the lock; a timeout of "0" deletes the session
// (abandoned). 1 when done, 0 when the lock was lost.
constexpr std::string_view kSaveScript =
    "if redis.call('GET', KEYS[2]) ~= ARGV[1] then return 0 end "
    "if ARGV[3] == '0' then redis.call('DEL', KEYS[1]) "
    "else redis.call('SET', KEYS[1], ARGV[2], 'PX', ARGV[3]) end "
    "redis.call('DEL', KEYS[2]) return 1";
// Sets a lock's life anew only while the page's token holds it.
constexpr std::string_view kRenewScript =
    "if redis.call('GET', KEYS[1]) == ARGV[1] then return redis.call('PEXPIRE', KEYS[1], ARGV[2]) end return 0";
// Lets the lock go only while the page's token holds it.
constexpr std::string_view kReleaseScript =
    "if redis.call('GET', KEYS[1]) == ARGV[1] then return redis.call('DEL', KEYS[1]) end return 0";

timeval TimeOf(std::chrono::microseconds time) {
  return {static_cast<time_t>(time.count() / 1'000'000), static_cast<suseconds_t>(time.count() % 1'000'000)};
}

std::string Milliseconds(Clock::duration time) {
  return std::to_string(std::max<std::int64_t>(1, std::chrono::ceil<std::chrono::milliseconds>(time).count()));
}

// A session as a page holds it from the store: with its lock's token.
struct StoredSession : SessionState, std::enable_shared_from_this<StoredSession> {
  StoredSession(std::string id, ValueBudget* budget, std::string token, bool made)
      : SessionState(std::move(id), budget), token(std::move(token)), made(made) {}

  const std::string token;  // the lock's; empty for a session made by this page
  const bool made;          // made by this page: no other page knows it yet
  bool saved = false;       // saved, its lock let go with it
};

[[noreturn]] void RaiseTimedOut() {
  throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                "the page ran past its time limit waiting for its session");
}

}  // namespace

struct RedisSessionStore::Reply {
  struct Free {
    void operator()(redisReply* reply) const noexcept { freeReplyObject(reply); }
  };
  std::unique_ptr<redisReply, Free> reply;

  bool IsNil() const { return reply->type == REDIS_REPLY_NIL; }
  bool IsOk() const { return reply->type == REDIS_REPLY_STATUS; }
  long long Integer() const { return reply->type == REDIS_REPLY_INTEGER ? reply->integer : 0; }
  std::string_view Text() const { return {reply->str, reply->len}; }
};

void RedisSessionStore::ContextFree::operator()(redisContext* context) const noexcept { redisFree(context); }

RedisSessionStore::RedisSessionStore(StoreAddress address, const SessionLimits& limits)
    : address_(std::move(address)), mostBytes_(limits.memoryBytes), budget_(limits.memoryBytes) {}

RedisSessionStore::~RedisSessionStore() {
  {
    const std::lock_guard lock(heldMutex_);
    stopping_ = true;
  }
  renewWake_.notify_all();
  if (renewer_.joinable()) renewer_.join();
}

std::string RedisSessionStore::DataKey(std::string_view id) {
  // The braces put both keys of a session in one slot of a cluster.
  return "kelvane:session:{" + std::string(id) + "}";
}

std::string RedisSessionStore::LockKey(std::string_view id) { return DataKey(id) + ":lock"; }

std::shared_ptr<SessionState> RedisSessionStore::EnterSession(std::string_view id, const void*,
                                                              Clock::time_point deadline) {
  if (!IsSessionId(id)) return nullptr;
  const std::string data = DataKey(id), lock = LockKey(id), token = NewSessionId();
  std::vector<Reply> replies;
  // The lock is held up to as long past the page's deadline as a stuck
  // page keeps its turn.
  const auto until = deadline + TurnLock::kStuckAfter;
  for (auto poll = 1ms;; poll = std::min<std::chrono::milliseconds>(poll * 2, kMostPoll)) {
    const std::string lockTime = Milliseconds(std::min<Clock::duration>(kLockTime, until - Clock::now()));
    replies = Talk({{"SET", lock, token, "NX", "PX", lockTime}, {"GET", data}});
    if (replies[0].IsOk()) break;
    if (Clock::now() + poll >= deadline) RaiseTimedOut();
    std::this_thread::sleep_for(poll);
  }
  if (replies[1].IsNil()) {
    Release(std::string(id), token);
    return nullptr;
  }
  Hold(lock, token, until);
  auto session = std::make_shared<StoredSession>(std::string(id), &budget_, token, false);
  if (ReadStoredForm(replies[1].Text(), *session)) return session;
  std::fputs("kelvane: a session in the store cannot be read (another version's, or damaged): "
             "the visitor gets a fresh one\n", stderr);
  Release(std::string(id), token);
  return nullptr;
}

std::shared_ptr<SessionState> RedisSessionStore::NewSession(std::string_view, const void*, Clock::time_point) {
  // Its id reaches no one before the page ends: it needs no lock until then.
  return std::make_shared<StoredSession>(NewSessionId(), &budget_, std::string(), true);
}

void RedisSessionStore::SaveSession(SessionState& session, const void*) {
  auto& stored = static_cast<StoredSession&>(session);
  const bool abandoned = stored.Abandoned();
  const std::string data = DataKey(stored.Id());
  if (stored.made) {
    if (!abandoned) {
      const std::string form = StoredForm(stored, mostBytes_);
      Talk({{"SET", data, form, "PX", Milliseconds(std::chrono::minutes(stored.TimeoutMinutes()))}});
    }
  } else {
    const std::string form = abandoned ? std::string() : StoredForm(stored, mostBytes_);
    const std::string time = abandoned ? "0" : Milliseconds(std::chrono::minutes(stored.TimeoutMinutes()));
    const auto replies =
        Talk({{"EVAL", kSaveScript, "2", data, LockKey(stored.Id()), stored.token, form, time}});
    if (replies[0].Integer() != 1)
      throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                    "the page held its session past its time limit: its changes are not kept");
  }
  stored.saved = true;
  if (abandoned) Ended(stored.shared_from_this());
}

void RedisSessionStore::LeaveSession(SessionState& session, const void*) noexcept {
  const auto& stored = static_cast<const StoredSession&>(session);
  if (stored.made) return;
  if (stored.saved)
    Unhold(LockKey(stored.Id()));
  else
    Release(stored.Id(), stored.token);
}

void RedisSessionStore::Release(const std::string& id, const std::string& token) noexcept {
  try {
    Unhold(LockKey(id));
    Talk({{"EVAL", kReleaseScript, "1", LockKey(id), token}});
  } catch (...) {
    // The lock expires by itself a second past the page's deadline.
  }
}

void RedisSessionStore::Hold(const std::string& lock, const std::string& token, Clock::time_point until) {
  const std::lock_guard guard(heldMutex_);
  held_.insert_or_assign(lock, Held{token, until});
  if (!renewer_.joinable()) renewer_ = std::thread([this] { Renew(); });
}

void RedisSessionStore::Unhold(const std::string& lock) noexcept {
  const std::lock_guard guard(heldMutex_);
  held_.erase(lock);
}

void RedisSessionStore::Renew() {
  std::unique_lock guard(heldMutex_);
  while (!renewWake_.wait_for(guard, kLockTime / 3, [this] { return stopping_; })) {
    const auto now = Clock::now();
    std::vector<std::string> words;  // key, token and life of each lock, in turn
    for (auto it = held_.begin(); it != held_.end();) {
      if (it->second.until <= now) {
        it = held_.erase(it);
        continue;
      }
      words.insert(words.end(), {it->first, it->second.token,
                                 Milliseconds(std::min<Clock::duration>(kLockTime, it->second.until - now))});
      ++it;
    }
    if (words.empty()) continue;
    guard.unlock();
    std::vector<Command> commands;
    for (std::size_t i = 0; i < words.size(); i += 3)
      commands.push_back({"EVAL", kRenewScript, "1", words[i], words[i + 1], words[i + 2]});
    try {
      Talk(commands);
    } catch (...) {
      // Counted by Talk; a lock not renewed lapses, as if its process had died.
    }
    guard.lock();
  }
}

StoreStatus RedisSessionStore::Status() {
  bool retry;
  {
    const std::lock_guard lock(mutex_);
    retry = !reachable_ && Clock::now() >= retryAt_;
  }
  if (retry) {
    try {
      Talk({{"PING"}});
    } catch (const oleaut::AutomationError&) {
      // Counted and noted by Talk.
    }
  }
  const std::lock_guard lock(mutex_);
  return {true, reachable_, errors_.load(std::memory_order_relaxed), microseconds_.load(std::memory_order_relaxed)};
}

std::vector<RedisSessionStore::Reply> RedisSessionStore::Talk(const std::vector<Command>& commands) {
  const auto start = Clock::now();
  const struct Timed {
    std::atomic<std::uint64_t>& total;
    Clock::time_point start;
    ~Timed() {
      total.fetch_add(std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start).count(),
                      std::memory_order_relaxed);
    }
  } timed{microseconds_, start};

  Connection connection = Take();
  std::vector<const char*> words;
  std::vector<std::size_t> sizes;
  for (const Command& command : commands) {
    words.clear();
    sizes.clear();
    for (const std::string_view word : command) {
      words.push_back(word.data());
      sizes.push_back(word.size());
    }
    if (redisAppendCommandArgv(connection.get(), static_cast<int>(words.size()), words.data(), sizes.data()) !=
        REDIS_OK)
      Fail(connection->errstr);
  }
  std::vector<Reply> replies;
  replies.reserve(commands.size());
  for (std::size_t i = 0; i < commands.size(); ++i) {
    void* reply = nullptr;
    if (redisGetReply(connection.get(), &reply) != REDIS_OK || reply == nullptr) Fail(connection->errstr);
    replies.push_back({std::unique_ptr<redisReply, Reply::Free>(static_cast<redisReply*>(reply))});
  }
  Give(std::move(connection));
  for (const Reply& reply : replies)
    if (reply.reply->type == REDIS_REPLY_ERROR) {
      errors_.fetch_add(1, std::memory_order_relaxed);
      throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                    "the session store at " + address_.Text() + " refused: " +
                                        std::string(reply.Text()));
    }
  return replies;
}

RedisSessionStore::Connection RedisSessionStore::Take() {
  {
    const std::lock_guard lock(mutex_);
    if (!idle_.empty()) {
      Connection connection = std::move(idle_.back());
      idle_.pop_back();
      return connection;
    }
    if (!reachable_ && Clock::now() < retryAt_) {
      errors_.fetch_add(1, std::memory_order_relaxed);
      throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                    "the session store at " + address_.Text() + " cannot be reached");
    }
  }
  const timeval time = TimeOf(kTalkTime);
  Connection connection(address_.host.empty() ? redisConnectUnixWithTimeout(address_.path.c_str(), time)
                                              : redisConnectWithTimeout(address_.host.c_str(), address_.port, time));
  if (!connection) throw std::bad_alloc();
  if (connection->err) Fail(connection->errstr);
  if (redisSetTimeout(connection.get(), time) != REDIS_OK) Fail(connection->errstr);
  if (address_.database != 0) {
    const std::string database = std::to_string(address_.database);
    const char* words[] = {"SELECT", database.c_str()};
    const std::unique_ptr<redisReply, Reply::Free> reply(
        static_cast<redisReply*>(redisCommandArgv(connection.get(), 2, words, nullptr)));
    if (!reply) Fail(connection->errstr);
    if (reply->type == REDIS_REPLY_ERROR) Fail(reply->str);
  }
  return connection;
}

void RedisSessionStore::Give(Connection connection) noexcept {
  const std::lock_guard lock(mutex_);
  reachable_ = true;
  backoff_ = {};
  if (idle_.size() < kMostIdle) {
    try {
      idle_.push_back(std::move(connection));
    } catch (...) {
      // Closed instead of kept.
    }
  }
}

void RedisSessionStore::Fail(const std::string& what) {
  errors_.fetch_add(1, std::memory_order_relaxed);
  {
    const std::lock_guard lock(mutex_);
    reachable_ = false;
    backoff_ = std::clamp<Clock::duration>(backoff_ * 2, kLeastBackoff, kMostBackoff);
    retryAt_ = Clock::now() + backoff_;
    // The others were opened before the failure and are likely broken too.
    idle_.clear();
  }
  throw oleaut::AutomationError(oleaut::kInvalidProcedureCall, "Kelvane",
                                "the session store at " + address_.Text() + " cannot be reached: " + what);
}

}  // namespace kelvane::host
