#include "base/task/single_thread_task_runner.h"

#include "base/logging/logging.h"

namespace base {

namespace {

// The installed handle of this thread, or null.
thread_local ThreadTaskRunnerHandle* g_current_handle = nullptr;

}  // namespace

SingleThreadTaskRunner::SingleThreadTaskRunner(std::shared_ptr<TaskQueue> queue)
    : queue_(std::move(queue)) {
  CHECK(queue_ != nullptr);
}

bool SingleThreadTaskRunner::PostTask(const Location& from_here,
                                      OnceClosure task) {
  return queue_->PostTask(from_here, std::move(task), TimeDelta());
}

bool SingleThreadTaskRunner::PostDelayedTask(const Location& from_here,
                                             OnceClosure task,
                                             TimeDelta delay) {
  return queue_->PostTask(from_here, std::move(task), delay);
}

bool SingleThreadTaskRunner::BelongsToCurrentThread() const {
  return queue_->BelongsToCurrentThread();
}

ThreadTaskRunnerHandle::ThreadTaskRunnerHandle(
    std::shared_ptr<SingleThreadTaskRunner> runner)
    : runner_(std::move(runner)) {
  CHECK(runner_ != nullptr);
  CHECK(runner_->BelongsToCurrentThread());
  CHECK(g_current_handle == nullptr);
  g_current_handle = this;
}

ThreadTaskRunnerHandle::~ThreadTaskRunnerHandle() {
  CHECK(g_current_handle == this);
  g_current_handle = nullptr;
}

const std::shared_ptr<SingleThreadTaskRunner>& ThreadTaskRunnerHandle::Get() {
  CHECK(g_current_handle != nullptr);
  return g_current_handle->runner_;
}

bool ThreadTaskRunnerHandle::IsSet() { return g_current_handle != nullptr; }

}  // namespace base
