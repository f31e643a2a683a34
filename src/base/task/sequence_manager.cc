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

void SequenceManager::AddTaskObserver(TaskObserver* observer) {
  CHECK(observer != nullptr);
  observers_.push_back(observer);
}

void SequenceManager::RemoveTaskObserver(TaskObserver* observer) {
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer),
                   observers_.end());
}

MessagePump::Delegate::NextWorkInfo SequenceManager::DoWork() {
  NextWorkInfo info;
  if (!application_tasks_allowed_) return info;  // wait for I/O only

  std::optional<PendingTask> task = queue_->TakeReadyTask(TimeTicks::Now());
  if (task) {
    // Copies: an observer may remove itself while the task runs.
    const std::vector<TaskObserver*> observers = observers_;
    for (TaskObserver* observer : observers) observer->WillProcessTask(*task);
    std::move(task->task).Run();
    for (TaskObserver* observer : observers) {
      if (std::find(observers_.begin(), observers_.end(), observer) !=
          observers_.end()) {
        observer->DidProcessTask(*task);
      }
    }
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
