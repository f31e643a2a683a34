// SingleThreadTaskRunner: posts tasks to one thread's task queue, from any
// thread. Obtained for the current thread through ThreadTaskRunnerHandle.
//
//   std::shared_ptr<base::SingleThreadTaskRunner> runner =
//       base::ThreadTaskRunnerHandle::Get();
//   runner->PostTask(FROM_HERE, [] { LOG(INFO) << "soon"; });
//   runner->PostDelayedTask(FROM_HERE, std::move(on_timeout),
//                           base::TimeDelta::FromSeconds(5));
//   runner->DeleteSoon(FROM_HERE, std::move(finished_socket));
//
// Ownership: the runner shares the queue with its owner (the thread's
// SequenceManager). Once that owner shuts the queue down, every post returns
// false and the rejected task is destroyed at once on the posting thread.
// Tasks run on the queue's thread, one at a time, in the order task_queue.h
// describes.

#ifndef VORN_BASE_TASK_SINGLE_THREAD_TASK_RUNNER_H_
#define VORN_BASE_TASK_SINGLE_THREAD_TASK_RUNNER_H_

#include <memory>
#include <utility>

#include "base/logging/time.h"
#include "base/task/callback.h"
#include "base/task/location.h"
#include "base/task/task_queue.h"

namespace base {

class SingleThreadTaskRunner final {
 public:
  // `queue` must not be null.
  explicit SingleThreadTaskRunner(std::shared_ptr<TaskQueue> queue);

  SingleThreadTaskRunner(const SingleThreadTaskRunner&) = delete;
  SingleThreadTaskRunner& operator=(const SingleThreadTaskRunner&) = delete;

  // Appends an immediate task. False (task destroyed) once the queue is shut
  // down or when `task` is null.
  bool PostTask(const Location& from_here, OnceClosure task);

  // Queues `task` to run no earlier than `delay` after this call, measured on
  // the monotonic clock; a zero or negative delay posts an immediate task.
  // False as for PostTask.
  bool PostDelayedTask(const Location& from_here, OnceClosure task,
                       TimeDelta delay);

  // Destroys `object` in a later task on this runner's thread, for an object
  // that cannot be destroyed in the middle of its own callback. If the post
  // is refused (the loop is gone), the object is destroyed at once.
  template <typename T>
  bool DeleteSoon(const Location& from_here, std::unique_ptr<T> object) {
    return PostTask(from_here,
                    [doomed = std::move(object)]() mutable { doomed.reset(); });
  }

  // True on the thread whose loop runs this runner's tasks.
  bool BelongsToCurrentThread() const;

 private:
  const std::shared_ptr<TaskQueue> queue_;  // shared with the owner; not null
};

// The current thread's task runner, installed by the thread's task executor
// (SingleThreadTaskExecutor) for its lifetime.
class ThreadTaskRunnerHandle final {
 public:
  // Installs `runner` as the current thread's runner until destruction.
  // Installing while another handle is installed is a check failure.
  explicit ThreadTaskRunnerHandle(
      std::shared_ptr<SingleThreadTaskRunner> runner);
  ~ThreadTaskRunnerHandle();

  ThreadTaskRunnerHandle(const ThreadTaskRunnerHandle&) = delete;
  ThreadTaskRunnerHandle& operator=(const ThreadTaskRunnerHandle&) = delete;

  // The current thread's runner. Calling it on a thread without an executor
  // is a check failure; see IsSet.
  static const std::shared_ptr<SingleThreadTaskRunner>& Get();
  static bool IsSet();

 private:
  std::shared_ptr<SingleThreadTaskRunner> runner_;  // not null
};

}  // namespace base

#endif  // VORN_BASE_TASK_SINGLE_THREAD_TASK_RUNNER_H_
