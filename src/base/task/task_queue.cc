#include "base/task/task_queue.h"

#include <algorithm>
#include <utility>

#include "base/logging/logging.h"

namespace base {

TaskQueue::TaskQueue(std::string name)
    : name_(std::move(name)), owner_(std::this_thread::get_id()) {}

TaskQueue::~TaskQueue() { Shutdown(); }

bool TaskQueue::PostTask(const Location& from, OnceClosure task,
                         TimeDelta delay) {
  if (!task) return false;
  const TimeTicks now = TimeTicks::Now();
  const bool delayed = delay > TimeDelta();
  PendingTask pending(from, std::move(task), now,
                      delayed ? now + delay : TimeTicks());
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (accepting_) {
      pending.sequence_num = next_sequence_num_++;
      if (delayed) {
        delayed_.push_back(std::move(pending));
        std::push_heap(delayed_.begin(), delayed_.end(), LaterRunTime());
      } else {
        immediate_.push_back(std::move(pending));
      }
      // The owner thread never waits while it posts, and checks the queue
      // before it waits again; only other threads need to wake it.
      if (pump_ != nullptr && std::this_thread::get_id() != owner_) {
        pump_->ScheduleWork();
      }
      return true;
    }
  }
  // Refused: `pending` is destroyed on return, with the lock released.
  return false;
}

void TaskQueue::SetPumpToWake(MessagePump* pump) {
  std::lock_guard<std::mutex> hold(lock_);
  pump_ = pump;
}

std::optional<PendingTask> TaskQueue::PopReadyLocked(TimeTicks now) {
  const bool delayed_due =
      !delayed_.empty() && delayed_.front().delayed_run_time <= now;
  bool take_delayed = delayed_due;
  if (delayed_due && !immediate_.empty()) {
    const PendingTask& d = delayed_.front();
    const PendingTask& i = immediate_.front();
    take_delayed = d.runnable_time() < i.runnable_time() ||
                   (d.runnable_time() == i.runnable_time() &&
                    d.sequence_num < i.sequence_num);
  }
  if (take_delayed) {
    std::pop_heap(delayed_.begin(), delayed_.end(), LaterRunTime());
    PendingTask task = std::move(delayed_.back());
    delayed_.pop_back();
    return task;
  }
  if (!immediate_.empty()) {
    PendingTask task = std::move(immediate_.front());
    immediate_.pop_front();
    return task;
  }
  return std::nullopt;
}

std::optional<PendingTask> TaskQueue::TakeReadyTask(TimeTicks now) {
  for (;;) {
    std::optional<PendingTask> task;
    {
      std::lock_guard<std::mutex> hold(lock_);
      task = PopReadyLocked(now);
    }
    // The cancellation check and a dropped task's destruction run unlocked:
    // either may run code that posts.
    if (!task || !task->task.IsCancelled()) return task;
  }
}

TimeTicks TaskQueue::NextRunTime(TimeTicks now) {
  std::vector<PendingTask> dropped;
  TimeTicks next = TimeTicks::Max();
  {
    std::lock_guard<std::mutex> hold(lock_);
    if (!immediate_.empty()) return TimeTicks();
    // A cancelled callback's guard only reads its weak reference, so checking
    // it under the lock cannot post; destroying it could, hence `dropped`.
    while (!delayed_.empty() && delayed_.front().task.IsCancelled()) {
      std::pop_heap(delayed_.begin(), delayed_.end(), LaterRunTime());
      dropped.push_back(std::move(delayed_.back()));
      delayed_.pop_back();
    }
    if (!delayed_.empty()) {
      next = delayed_.front().delayed_run_time;
      if (next <= now) next = TimeTicks();
    }
  }
  return next;
}

void TaskQueue::Shutdown() {
  std::deque<PendingTask> immediate;
  std::vector<PendingTask> delayed;
  {
    std::lock_guard<std::mutex> hold(lock_);
    accepting_ = false;
    pump_ = nullptr;
    immediate.swap(immediate_);
    delayed.swap(delayed_);
  }
  // Destroyed here, in posting order for the immediate ones; posts made by
  // their destructors are refused.
  immediate.clear();
  delayed.clear();
}

}  // namespace base
