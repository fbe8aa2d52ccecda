#include "host/http/WorkerPool.h"

#include <algorithm>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

namespace kelvane::host {

WorkerPool::WorkerPool(unsigned workers, std::size_t queueDepth, Clock::duration time,
                       unsigned maxHeld)
    : target_(std::max(1u, workers)), queueDepth_(queueDepth), time_(time), maxHeld_(maxHeld) {
  try {
    std::unique_lock lock(mutex_);
    for (unsigned i = 0; i < target_; ++i) Spawn();
    lock.unlock();
    watchdog_ = std::thread([this] { Supervise(); });
  } catch (...) {
    Close();
    Join();
    throw;
  }
}

WorkerPool::~WorkerPool() {
  Close();
  Join();
}

bool WorkerPool::Submit(std::shared_ptr<Task> task) noexcept {
  std::lock_guard lock(mutex_);
  if (closed_ || queue_.size() >= live_ - busy_ + queueDepth_) return false;
  const Clock::time_point due = Clock::now() + time_;
  try {
    queue_.push_back({std::move(task), due});
  } catch (const std::bad_alloc&) {
    return false;
  }
  work_.notify_one();
  WakeFor(due);
  return true;
}

void WorkerPool::Close() {
  std::unique_lock lock(mutex_);
  if (!closed_) {
    closed_ = true;
    std::vector<Outcome> outcomes;
    for (Waiting& waiting : queue_) outcomes.push_back({std::move(waiting.task), false, false});
    queue_.clear();
    for (Worker& worker : workers_) {
      if (!worker.task || worker.abandoned) continue;
      worker.abandoned = true;
      --busy_;
      ++held_;
      outcomes.push_back({worker.task, false, true});
    }
    work_.notify_all();
    watch_.notify_all();
    Deliver(lock, outcomes);
  }
  answered_.wait(lock, [&] { return answering_ == 0; });
}

std::vector<std::shared_ptr<WorkerPool::Task>> WorkerPool::JoinInTime() {
  if (watchdog_.joinable()) watchdog_.join();
  std::vector<std::shared_ptr<Task>> running;
  std::unique_lock lock(mutex_);
  for (auto worker = workers_.begin(); worker != workers_.end();) {
    const auto left = [&] { return worker->done; };
    // A worker without a task is leaving.
    if (worker->task) {
      if (!watch_.wait_until(lock, worker->due, left)) {
        running.push_back(worker->task);
        ++worker;
        continue;
      }
    } else {
      watch_.wait(lock, left);
    }
    std::thread leaving = std::move(worker->thread);
    worker = workers_.erase(worker);
    lock.unlock();
    leaving.join();
    lock.lock();
  }
  return running;
}

void WorkerPool::Join() {
  if (watchdog_.joinable()) watchdog_.join();
  // Closed, with the watchdog gone: no thread starts any more.
  std::unique_lock lock(mutex_);
  std::vector<std::thread*> threads;
  for (Worker& worker : workers_) threads.push_back(&worker.thread);
  lock.unlock();
  for (std::thread* thread : threads)
    if (thread->joinable()) thread->join();
  lock.lock();
  workers_.clear();
}

void WorkerPool::Spawn() {
  Worker& worker = workers_.emplace_back();
  try {
    worker.thread = std::thread([this, &worker] { Work(worker); });
  } catch (...) {
    workers_.pop_back();
    throw;
  }
  ++live_;
}

void WorkerPool::Work(Worker& self) {
  std::unique_lock lock(mutex_);
  for (;;) {
    work_.wait(lock, [&] { return closed_ || !queue_.empty(); });
    if (closed_) break;
    std::shared_ptr<Task> task = std::move(queue_.front().task);
    queue_.pop_front();
    self.task = task;
    ++busy_;
    self.due = Clock::now() + time_;
    WakeFor(self.due);
    lock.unlock();
    task->Run();
    lock.lock();
    self.task.reset();
    if (!self.abandoned) {
      --busy_;
      Outcome finished{std::move(task), true, true};
      Deliver(lock, {&finished, 1});
      continue;
    }
    // Its task was answered for meanwhile, and another worker may have
    // taken this one's place.
    self.abandoned = false;
    --held_;
    if (closed_ || live_ >= target_) break;
    ++live_;
  }
  self.done = true;
  watch_.notify_one();
}

void WorkerPool::Supervise() {
  std::unique_lock lock(mutex_);
  while (!closed_) {
    Reap(lock);
    // Reap lets go of the lock: Close may have come and notified meanwhile.
    if (closed_) break;
    wake_ = queue_.empty() ? Clock::time_point::max() : queue_.front().due;
    for (const Worker& worker : workers_)
      if (worker.task && !worker.abandoned) wake_ = std::min(wake_, worker.due);
    if (wake_ == Clock::time_point::max())
      watch_.wait(lock);
    else
      watch_.wait_until(lock, wake_);
    wake_ = Clock::time_point::min();  // awake: nobody need wake it
    if (closed_) break;

    const auto now = Clock::now();
    std::vector<Outcome> late;
    while (!queue_.empty() && queue_.front().due <= now) {
      late.push_back({std::move(queue_.front().task), false, false});
      queue_.pop_front();
    }
    for (Worker& worker : workers_) {
      if (!worker.task || worker.abandoned || worker.due > now) continue;
      worker.abandoned = true;
      late.push_back({worker.task, false, true});
      --busy_;
      --live_;
      ++held_;
    }
    Replace();
    Deliver(lock, late);
  }
}

void WorkerPool::Replace() {
  try {
    while (live_ < target_ && held_ <= maxHeld_) Spawn();
  } catch (const std::system_error&) {
    // No thread to be had: the pool is short until the watchdog looks again
    // or a held worker returns.
  }
}

void WorkerPool::Reap(std::unique_lock<std::mutex>& lock) {
  for (auto worker = workers_.begin(); worker != workers_.end();) {
    if (!worker->done) {
      ++worker;
      continue;
    }
    std::thread leaving = std::move(worker->thread);
    worker = workers_.erase(worker);
    lock.unlock();
    leaving.join();
    lock.lock();
  }
}

void WorkerPool::WakeFor(Clock::time_point due) {
  if (due < wake_) watch_.notify_one();
}

void WorkerPool::Deliver(std::unique_lock<std::mutex>& lock, std::span<Outcome> outcomes) {
  if (outcomes.empty()) return;
  answering_ += static_cast<unsigned>(outcomes.size());
  lock.unlock();
  for (Outcome& outcome : outcomes) {
    if (outcome.finished)
      outcome.task->Finish();
    else
      outcome.task->Abandon(outcome.started);
    outcome.task.reset();
  }
  lock.lock();
  answering_ -= static_cast<unsigned>(outcomes.size());
  if (answering_ == 0) answered_.notify_all();
}

}  // namespace kelvane::host
