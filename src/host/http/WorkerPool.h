#pragma once
// Worker threads fed by a bounded queue, each an apartment: a task runs on
// one worker from start to end, and what it leaves in thread-local state
// stays on that thread for the tasks after it. A task has a time: one that
// waits in the queue or runs past it is abandoned, which answers for it at
// once. A worker held by an abandoned task is left to return in its own
// time and is replaced, so that the pool keeps its capacity, as long as no
// more than a set number of workers are held; beyond that the pool shrinks
// until they return, and the queue fills.

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace kelvane::host {

class WorkerPool {
 public:
  using Clock = std::chrono::steady_clock;

  // Exactly one of Finish and Abandon is called for each task accepted.
  class Task {
   public:
    virtual ~Task() = default;
    // The work; on a worker thread, as long as it takes.
    virtual void Run() noexcept = 0;
    // On the same worker, straight after Run, unless the task was abandoned.
    virtual void Finish() noexcept = 0;
    // In place of Finish, from another thread: the task ran past its time
    // (`started`), or waited past it, or the pool closed.
    virtual void Abandon(bool started) noexcept = 0;
    // What the task does, for a log line.
    virtual std::string Name() const = 0;
  };

  // Starts `workers` threads (at least one). A task may wait for a worker
  // while fewer than `queueDepth` others wait, and has `time` to wait and
  // `time` to run. A worker held by an abandoned task is replaced while no
  // more than `maxHeld` are held.
  WorkerPool(unsigned workers, std::size_t queueDepth, Clock::duration time, unsigned maxHeld);
  ~WorkerPool();  // Close, then Join.
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  // Takes `task`; false, without calling it, when the queue is full, the
  // pool is closed or memory is short.
  bool Submit(std::shared_ptr<Task> task) noexcept;

  // Takes no more tasks and abandons those waiting or running. Returns once
  // every task taken has been finished or abandoned.
  void Close();

  // Waits for every thread, those still in an abandoned task included, but
  // for each at most until its task's time is up. Returns the tasks whose
  // threads are still running then, which Join waits for. Only after Close.
  std::vector<std::shared_ptr<Task>> JoinInTime();

  // Waits for every thread, those still in an abandoned task included. Only
  // after Close.
  void Join();

 private:
  struct Worker {
    std::thread thread;
    std::shared_ptr<Task> task;  // the one it runs
    Clock::time_point due;
    bool abandoned = false;  // its task was abandoned while running
    bool done = false;       // the thread has left its loop
  };
  struct Waiting {
    std::shared_ptr<Task> task;
    Clock::time_point due;
  };

  struct Outcome {
    std::shared_ptr<Task> task;
    bool finished;  // Finish, or else Abandon
    bool started;
  };

  void Spawn();
  void Work(Worker& self);
  // The watchdog: abandons what is due, replaces held workers, joins those
  // that left.
  void Supervise();
  // Starts workers while fewer than target_ are live and no more than
  // maxHeld_ are held.
  void Replace();
  void Reap(std::unique_lock<std::mutex>& lock);
  // Wakes the watchdog when `due` comes before the time it waits for.
  void WakeFor(Clock::time_point due);
  // Calls each task's Finish or Abandon outside the lock; Close waits for
  // these calls.
  void Deliver(std::unique_lock<std::mutex>& lock, std::span<Outcome> outcomes);

  const unsigned target_;
  const std::size_t queueDepth_;
  const Clock::duration time_;
  const unsigned maxHeld_;
  std::mutex mutex_;
  std::condition_variable work_;      // workers wait for tasks
  std::condition_variable watch_;     // the watchdog waits for the next time due,
                                      // and JoinInTime for workers to leave
  std::condition_variable answered_;  // Close waits for answers in progress
  std::deque<Waiting> queue_;
  std::list<Worker> workers_;
  unsigned live_ = 0;  // workers neither held by an abandoned task nor leaving
  unsigned held_ = 0;  // workers still running an abandoned task
  unsigned busy_ = 0;  // live workers running a task
  unsigned answering_ = 0;
  Clock::time_point wake_ = Clock::time_point::max();  // when the watchdog next looks
  bool closed_ = false;
  std::thread watchdog_;
};

}  // namespace kelvane::host
