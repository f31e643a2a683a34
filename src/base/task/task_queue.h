// TaskQueue: the queue of posted tasks of one thread's loop, immediate and
// delayed, safe to post to from any thread. The main thread has exactly one,
// named "default_tq", owned by its SequenceManager; task runners hold shared
// references so that a post after the loop is gone fails instead of crashing.
//
//   auto queue = std::make_shared<base::TaskQueue>("default_tq");
//   queue->PostTask(FROM_HERE, [] { ... }, base::TimeDelta());
//   std::optional<base::PendingTask> next =
//       queue->TakeReadyTask(base::TimeTicks::Now());   // on the loop thread
//
// Order: immediate tasks in posting order; delayed tasks once due, earliest
// desired run time first, ties in posting order (see pending_task.h for how
// the two kinds interleave). A delay of zero or less makes a task immediate.
// Tasks whose weak receiver is gone are dropped without running when they
// come due (and earlier, when they are the next delayed task to wait for).

#ifndef VORN_BASE_TASK_TASK_QUEUE_H_
#define VORN_BASE_TASK_TASK_QUEUE_H_

#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/logging/time.h"
#include "base/task/callback.h"
#include "base/task/location.h"
#include "base/task/message_pump.h"
#include "base/task/pending_task.h"

namespace base {

class TaskQueue final {
 public:
  // The queue belongs to the calling thread: its tasks run there, and posts
  // from other threads wake that thread's pump.
  explicit TaskQueue(std::string name);
  ~TaskQueue();

  TaskQueue(const TaskQueue&) = delete;
  TaskQueue& operator=(const TaskQueue&) = delete;

  const std::string& name() const { return name_; }

  // Any thread. Queues `task` to run after at least `delay` (immediately when
  // the delay is zero or negative). Returns false, and destroys the task on
  // the calling thread, when the queue has been shut down or `task` is null.
  bool PostTask(const Location& from, OnceClosure task, TimeDelta delay);

  // Owner thread. The pump to wake for posts from other threads, or null.
  // The pump must stay alive until it is replaced or the queue shut down.
  void SetPumpToWake(MessagePump* pump);

  // Owner thread. Removes and returns the next task to run at `now`, or
  // nothing. Cancelled tasks met on the way are destroyed, unrun.
  std::optional<PendingTask> TakeReadyTask(TimeTicks now);

  // Owner thread. When the next task becomes runnable: null if one is ready
  // now, TimeTicks::Max() if the queue is empty, else the earliest delayed
  // run time. Cancelled delayed tasks at the front are dropped first.
  TimeTicks NextRunTime(TimeTicks now);

  // Owner thread. Refuses further posts and destroys every queued task
  // without running it (outside the lock: a task's destruction may post).
  void Shutdown();

  // Any thread.
  bool BelongsToCurrentThread() const {
    return std::this_thread::get_id() == owner_;
  }

 private:
  // Orders the delayed heap: the top is the earliest run time, then the
  // lowest sequence number.
  struct LaterRunTime {
    bool operator()(const PendingTask& a, const PendingTask& b) const {
      if (a.delayed_run_time != b.delayed_run_time) {
        return a.delayed_run_time > b.delayed_run_time;
      }
      return a.sequence_num > b.sequence_num;
    }
  };

  // With lock_ held: pops the next task runnable at `now`, if any.
  std::optional<PendingTask> PopReadyLocked(TimeTicks now);

  const std::string name_;
  const std::thread::id owner_;  // the thread that runs the tasks

  mutable std::mutex lock_;            // guards everything below
  std::deque<PendingTask> immediate_;  // posting order
  std::vector<PendingTask> delayed_;   // heap ordered by LaterRunTime
  uint64_t next_sequence_num_ = 1;     // > every sequence_num handed out
  bool accepting_ = true;              // false after Shutdown
  MessagePump* pump_ = nullptr;        // woken on posts from other threads
};

}  // namespace base

#endif  // VORN_BASE_TASK_TASK_QUEUE_H_
