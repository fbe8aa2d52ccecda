#include "host/objects/adodb/ConnectionPool.h"

#include <atomic>
#include <map>
#include <mutex>
#include <utility>
#include <vector>

namespace kelvane::host::adodb {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kIdleLimit = std::chrono::seconds(60);
// Idle connections kept for one connection string; the rest are closed.
constexpr std::size_t kIdlePerKey = 16;

struct Idle {
  std::unique_ptr<DriverConnection> connection;
  Clock::time_point since;
};

class Pool {
 public:
  // The environment outlives the pool: it is made first, so destroyed last.
  Pool() { Environment(); }

  std::unique_ptr<DriverConnection> Take(const std::string& key) {
    std::vector<Idle> stale;
    std::unique_ptr<DriverConnection> found;
    {
      const std::lock_guard lock(mutex_);
      const auto it = idle_.find(key);
      if (it == idle_.end()) return nullptr;
      auto& list = it->second;
      const auto now = Clock::now();
      // The most recently used is the likeliest to be alive.
      while (!list.empty() && found == nullptr) {
        Idle idle = std::move(list.back());
        list.pop_back();
        if (now - idle.since < kIdleLimit)
          found = std::move(idle.connection);
        else
          stale.push_back(std::move(idle));
      }
    }
    // Disconnects, outside the lock.
    stale.clear();
    if (found != nullptr && found->IsDead()) return nullptr;
    return found;
  }

  void Give(const std::string& key, std::unique_ptr<DriverConnection> connection) {
    std::vector<Idle> stale;
    {
      const std::lock_guard lock(mutex_);
      auto& list = idle_[key];
      list.push_back({std::move(connection), Clock::now()});
      if (list.size() > kIdlePerKey) {
        stale.push_back(std::move(list.front()));
        list.erase(list.begin());
      }
    }
  }

 private:
  std::mutex mutex_;
  std::map<std::string, std::vector<Idle>, std::less<>> idle_;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

std::atomic<std::uint64_t> logins{0};

}  // namespace

PooledConnection::PooledConnection(std::string key, std::unique_ptr<DriverConnection> connection)
    : key_(std::move(key)), connection_(std::move(connection)) {}

PooledConnection::~PooledConnection() {
  try {
    connection_->EndTransaction(false);
    connection_->SetAutoCommit(true);
    ThePool().Give(key_, std::move(connection_));
  } catch (...) {
    // A connection that cannot be reset is closed, not pooled.
  }
}

std::unique_ptr<PooledConnection> TakeConnection(const std::string& odbcConnectionString,
                                                 std::chrono::seconds loginTimeout) {
  auto connection = ThePool().Take(odbcConnectionString);
  if (connection == nullptr) {
    connection = ConnectDriver(odbcConnectionString, loginTimeout);
    logins.fetch_add(1, std::memory_order_relaxed);
  }
  return std::make_unique<PooledConnection>(odbcConnectionString, std::move(connection));
}

std::uint64_t DriverLogins() { return logins.load(std::memory_order_relaxed); }

}  // namespace kelvane::host::adodb
