#include "host/http/WorkerPool.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
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
  std::string Name() const override { return name_; }

 private:
  Journal& journal_;
  std::string name_;
  bool held_;
};

TEST(WorkerPool, CloseAbandonsWhatWaitsOrRunsOnceAndDropsLateResults) {
  Journal journal;
  WorkerPool pool(1, 1, 10s, 1);
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
  WorkerPool pool(1, 0, 200ms, 1);
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

TEST(WorkerPool, HeldWorkersAreReplacedUpToTheCapThenThePoolShrinksUntilTheyReturn) {
  Journal journal;
  WorkerPool pool(1, 0, 200ms, 2);
  std::size_t events = 0;
  for (const char* name : {"a", "b", "c"}) {
    ASSERT_TRUE(pool.Submit(std::make_shared<NotedTask>(journal, name, true))) << name;
    journal.AwaitEvents(events += 2);  // it runs, and is abandoned
  }
  EXPECT_FALSE(pool.Submit(std::make_shared<NotedTask>(journal, "d", false)))
      << "three held, two replaced: no worker left";
  journal.LetGo();
  for (int tries = 0; tries < 100 && !pool.Submit(std::make_shared<NotedTask>(journal, "e", false));
       ++tries)
    std::this_thread::sleep_for(10ms);
  journal.AwaitEvents(8);
  pool.Close();
  pool.Join();
  EXPECT_EQ(journal.events,
            (std::vector<std::string>{"a runs", "a abandoned running", "b runs",
                                      "b abandoned running", "c runs", "c abandoned running",
                                      "e runs", "e finished"}));
}

TEST(WorkerPool, JoinInTimeWaitsForEachWorkerUntilItsTaskIsDueAndNamesThoseStillRunning) {
  struct Case {
    std::chrono::milliseconds letGoAfter;
    std::vector<std::string> running;
  };
  const Case cases[] = {{50ms, {}}, {1s, {"a"}}};
  for (const Case& c : cases) {
    Journal journal;
    WorkerPool pool(2, 0, 300ms, 1);
    ASSERT_TRUE(pool.Submit(std::make_shared<NotedTask>(journal, "a", true)));
    journal.AwaitEvents(1);
    pool.Close();
    std::thread letter([&] {
      std::this_thread::sleep_for(c.letGoAfter);
      journal.LetGo();
    });
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::string> running;
    for (const auto& task : pool.JoinInTime()) running.push_back(task->Name());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(running, c.running) << c.letGoAfter.count();
    EXPECT_LT(waited, std::min<std::chrono::milliseconds>(c.letGoAfter, 300ms) + 200ms);
    letter.join();
    pool.Join();
  }
}

}  // namespace
}  // namespace kelvane::host
