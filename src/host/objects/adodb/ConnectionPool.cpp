#include "host/objects/adodb/ConnectionPool.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace kelvane::host::adodb {

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kIdleLimit = std::chrono::seconds(60);
// Idle connections kept in all; beyond, the longest idle are closed.
constexpr std::size_t kIdleMost = 32;

struct Idle {
  std::unique_ptr<DriverConnection> connection;
  Clock::time_point since;
};

class Pool {
 public:
  // The environment outlives the pool: it is made first, so destroyed last.
  Pool() { Environment(); }

  std::unique_ptr<DriverConnection> Take(const std::string& key) {
    std::vector<Idle> taken;
    bool expired = false;
    {
      const std::lock_guard lock(mutex_);
      const auto it = idle_.find(key);
      if (it == idle_.end()) return nullptr;
      // The most recently used is the likeliest to be alive; when it has
      // idled too long, so have the others.
      expired = Clock::now() - it->second.back().since >= kIdleLimit;
      if (expired) {
        taken.swap(it->second);
      } else {
        taken.push_back(std::move(it->second.back()));
        it->second.pop_back();
      }
      count_ -= taken.size();
      if (it->second.empty()) idle_.erase(it);
    }
    if (expired || taken.back().connection->IsDead()) return nullptr;
    return std::move(taken.back().connection);
  }

  void Give(const std::string& key, std::unique_ptr<DriverConnection> connection) {
    std::vector<Idle> closing;  // disconnected outside the lock
    const std::lock_guard lock(mutex_);
    const auto now = Clock::now();
    idle_[key].push_back({std::move(connection), now});
    ++count_;
    // Each list runs from the longest idle to the latest.
    for (auto it = idle_.begin(); it != idle_.end();) {
      auto& list = it->second;
      while (!list.empty() && now - list.front().since >= kIdleLimit) Drop(list, closing);
      it = list.empty() ? idle_.erase(it) : std::next(it);
    }
    while (count_ > kIdleMost) {
      auto oldest = idle_.begin();
      for (auto it = idle_.begin(); it != idle_.end(); ++it)
        if (it->second.front().since < oldest->second.front().since) oldest = it;
      Drop(oldest->second, closing);
      if (oldest->second.empty()) idle_.erase(oldest);
    }
  }

 private:
  void Drop(std::vector<Idle>& list, std::vector<Idle>& closing) {
    closing.push_back(std::move(list.front()));
    list.erase(list.begin());
    --count_;
  }

  std::mutex mutex_;
  std::map<std::string, std::vector<Idle>, std::less<>> idle_;  // no list is empty
  std::size_t count_ = 0;
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
    connection_->Reset();
    ThePool().Give(key_, std::move(connection_));
  } catch (...) {
    // A connection that cannot be reset is closed, not pooled.
  }
}

std::unique_ptr<PooledConnection> TakeConnection(const std::string& odbcConnectionString,
                                                 const std::filesystem::path& databaseFile,
                                                 std::chrono::seconds loginTimeout) {
  // The string, and the identity of the file it names as it is now: its
  // device, inode and birth time, for a file made anew may take the inode
  // of the one it replaced.
  const auto keyNow = [&] {
    std::string key = odbcConnectionString;
    struct statx status {};
    if (!databaseFile.empty() && ::statx(AT_FDCWD, databaseFile.c_str(), 0, STATX_INO | STATX_BTIME, &status) == 0)
      key += "\n" + std::to_string(status.stx_dev_major) + ":" + std::to_string(status.stx_dev_minor) + ":" +
             std::to_string(status.stx_ino) + ":" + std::to_string(status.stx_btime.tv_sec) + "." +
             std::to_string(status.stx_btime.tv_nsec);
    return key;
  };
  if (std::string key = keyNow(); auto connection = ThePool().Take(key))
    return std::make_unique<PooledConnection>(std::move(key), std::move(connection));
  auto connection = ConnectDriver(odbcConnectionString, loginTimeout);
  logins.fetch_add(1, std::memory_order_relaxed);
  // Connecting may have made the file.
  return std::make_unique<PooledConnection>(keyNow(), std::move(connection));
}

std::uint64_t DriverLogins() { return logins.load(std::memory_order_relaxed); }

}  // namespace kelvane::host::adodb
