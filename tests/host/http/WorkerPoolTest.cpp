#include "host/http/WorkerPool.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace kelvane::host {
namespace {

using namespace std::chrono_literals;

// What happened to the tasks, in order; a held task stays in Run until let go.
struct Journal {
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<std::string> events;
  bool letGo = false;

  void Note(std::string event) {
    std::lock_guard lock(mutex);
    events.push_back(std::move(event));
    changed.notify_all();
  }
  void AwaitEvents(std::size_t count) {
    std::unique_lock lock(mutex);
    changed.wait_for(lock, 5s, [&] { return events.size() >= count; });
  }
  void LetGo() {
    std::lock_guard lock(mutex);
    letGo = true;
    changed.notify_all();
  }
};

class NotedTask final : public WorkerPool::Task {
 public:
  NotedTask(Journal& journal, std::string name, bool held)
      : journal_(journal), name_(std::move(name)), held_(held) {}
  void Run() noexcept override {
    journal_.Note(name_ + " runs");
    std::unique_lock lock(journal_.mutex);
    if (held_) journal_.changed.wait(lock, [&] { return journal_.letGo; });
  }
  void Finish() noexcept override { journal_.Note(name_ + " finished"); }
  void Abandon(bool started) noexcept override {
    journal_.Note(name_ + (started ? " abandoned running" : " abandoned waiting"));
  }

 private:
  Journal& journal_;
  std::string name_;
  bool held_;
};

TEST(WorkerPool, CloseAbandonsWhatWaitsOrRunsOnceAndDropsLateResults) {
  Journal journal;
  WorkerPool pool(1, 1, 10s);
  EXPECT_TRUE(pool.Submit(std::make_shared<NotedTask>(journal, "a", true)));
  journal.AwaitEvents(1);
  EXPECT_TRUE(pool.Submit(std::make_shared<NotedTask>(journal, "b", false)));
  EXPECT_FALSE(pool.Submit(std::make_shared<NotedTask>(journal, "c", false))) << "queue full";
  pool.Close();
  EXPECT_FALSE(pool.Submit(std::make_shared<NotedTask>(journal, "d", false))) << "closed";
  journal.LetGo();
  pool.Join();
  EXPECT_EQ(journal.events,
            (std::vector<std::string>{"a runs", "b abandoned waiting", "a abandoned running"}));
}

TEST(WorkerPool, ATaskPastItsTimeIsAbandonedAndItsWorkerReplaced) {
  Journal journal;
  WorkerPool pool(1, 0, 50ms);
  EXPECT_TRUE(pool.Submit(std::make_shared<NotedTask>(journal, "a", true)));
  journal.AwaitEvents(2);
  EXPECT_TRUE(pool.Submit(std::make_shared<NotedTask>(journal, "b", false)));
  journal.AwaitEvents(4);
  journal.LetGo();
  pool.Close();
  pool.Join();
  EXPECT_EQ(journal.events, (std::vector<std::string>{"a runs", "a abandoned running", "b runs",
                                                      "b finished"}));
}

}  // namespace
}  // namespace kelvane::host
