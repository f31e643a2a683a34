// SequenceManager: schedules the tasks of one thread. It owns the thread's
// task queue ("default_tq"), picks the next task for the message pump to run
// (MessagePump::Delegate), and runs the thread's RunLoops (RunLoop::Delegate).
//
//   auto pump = base::MessagePumpLibevent::Create();
//   base::SequenceManager manager(pump.get());
//   manager.task_runner()->PostTask(FROM_HERE, [] { ... });
//   base::RunLoop().RunUntilIdle();   // once the executor bound it
//
// Normally created and bound by SingleThreadTaskExecutor, not directly.
// Tasks run one at a time on the thread that created the manager. Observers
// see every task before and after it runs (tracing hooks).

#ifndef VORN_BASE_TASK_SEQUENCE_MANAGER_H_
#define VORN_BASE_TASK_SEQUENCE_MANAGER_H_

#include <memory>
#include <vector>

#include "base/task/message_pump.h"
#include "base/task/pending_task.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_runner.h"
#include "base/task/task_queue.h"

namespace base {

class SequenceManager final : public MessagePump::Delegate,
                              public RunLoop::Delegate {
 public:
  // The name of the thread's one task queue.
  static constexpr const char kDefaultQueueName[] = "default_tq";

  // `pump` is not owned and must outlive the manager; posts from other
  // threads wake it.
  explicit SequenceManager(MessagePump* pump);
  // Shuts the queue down: queued tasks are destroyed without running (the
  // pump is still alive then, so their destructors may stop watches), and
  // later posts through any runner fail.
  ~SequenceManager() override;

  SequenceManager(const SequenceManager&) = delete;
  SequenceManager& operator=(const SequenceManager&) = delete;

  TaskQueue* default_task_queue() { return queue_.get(); }
  // The runner that posts to "default_tq"; shareable with other threads.
  const std::shared_ptr<SingleThreadTaskRunner>& task_runner() const {
    return task_runner_;
  }

 private:
  // MessagePump::Delegate:
  NextWorkInfo DoWork() override;
  bool DoIdleWork() override;

  // RunLoop::Delegate:
  void Run(bool application_tasks_allowed) override;
  void Quit() override;

  MessagePump* const pump_;                 // not owned
  const std::shared_ptr<TaskQueue> queue_;  // "default_tq"; shared with
                                            // task_runner_ and its copies
  const std::shared_ptr<SingleThreadTaskRunner> task_runner_;
  bool application_tasks_allowed_ = true;  // of the innermost Run
};

}  // namespace base

#endif  // VORN_BASE_TASK_SEQUENCE_MANAGER_H_
