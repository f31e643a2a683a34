// PendingTask: one posted task as the task queue keeps it: the closure, where
// it was posted from, when, when it should run, and its place in posting
// order.
//
//   PendingTask task(FROM_HERE, std::move(closure), TimeTicks::Now(),
//                    /*delayed_run_time=*/TimeTicks());   // immediate
//
// Ordering: immediate tasks run in posting order (sequence_num). Delayed tasks
// run once the clock reaches delayed_run_time, earliest first, ties in posting
// order. Between a due delayed task and an immediate one, the one that became
// runnable first (queue_time of the immediate task, delayed_run_time of the
// delayed one) runs first, ties again in posting order.

#ifndef VORN_BASE_TASK_PENDING_TASK_H_
#define VORN_BASE_TASK_PENDING_TASK_H_

#include <cstdint>
#include <utility>

#include "base/logging/time.h"
#include "base/task/callback.h"
#include "base/task/location.h"

namespace base {

struct PendingTask final {
  PendingTask(const Location& from, OnceClosure closure, TimeTicks queued_at,
              TimeTicks run_at)
      : task(std::move(closure)),
        posted_from(from),
        queue_time(queued_at),
        delayed_run_time(run_at) {}

  PendingTask(PendingTask&&) noexcept = default;
  PendingTask& operator=(PendingTask&&) noexcept = default;
  PendingTask(const PendingTask&) = delete;
  PendingTask& operator=(const PendingTask&) = delete;

  bool is_delayed() const { return !delayed_run_time.is_null(); }
  // When the task may run first: its desired run time if delayed, else the
  // time it was posted.
  TimeTicks runnable_time() const {
    return is_delayed() ? delayed_run_time : queue_time;
  }

  OnceClosure task;            // the work; null once run
  Location posted_from;        // for tracing only
  TimeTicks queue_time;        // when PostTask accepted it
  TimeTicks delayed_run_time;  // null for an immediate task
  uint64_t sequence_num = 0;   // taken at posting; strictly increasing per
                               // queue
};

}  // namespace base

#endif  // VORN_BASE_TASK_PENDING_TASK_H_
