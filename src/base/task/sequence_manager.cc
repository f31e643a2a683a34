#include "base/task/sequence_manager.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "base/logging/logging.h"

namespace base {

SequenceManager::SequenceManager(MessagePump* pump)
    : pump_(pump),
      queue_(std::make_shared<TaskQueue>(kDefaultQueueName)),
      task_runner_(std::make_shared<SingleThreadTaskRunner>(queue_)) {
  CHECK(pump_ != nullptr);
  queue_->SetPumpToWake(pump_);
}

SequenceManager::~SequenceManager() { queue_->Shutdown(); }

MessagePump::Delegate::NextWorkInfo SequenceManager::DoWork() {
  NextWorkInfo info;
  if (!application_tasks_allowed_) return info;  // wait for I/O only

  std::optional<PendingTask> task = queue_->TakeReadyTask(TimeTicks::Now());
  if (task) {
    std::move(task->task).Run();
    info.did_work = true;
  }
  info.delayed_run_time = queue_->NextRunTime(TimeTicks::Now());
  return info;
}

bool SequenceManager::DoIdleWork() {
  if (ShouldQuitWhenIdle()) QuitInnermostLoop();
  return false;
}

void SequenceManager::Run(bool application_tasks_allowed) {
  const bool outer_allowed = application_tasks_allowed_;
  application_tasks_allowed_ = application_tasks_allowed;
  pump_->Run(this);
  application_tasks_allowed_ = outer_allowed;
}

void SequenceManager::Quit() { pump_->Quit(); }

}  // namespace base
