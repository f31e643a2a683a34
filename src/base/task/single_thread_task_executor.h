// SingleThreadTaskExecutor: gives the current thread an event loop. Creates
// the message pump, the SequenceManager with its "default_tq" queue, and
// installs the thread's task runner (ThreadTaskRunnerHandle), its RunLoop
// delegate and, for the I/O pump type, CurrentIOThread.
//
//   int main() {
//     auto executor = base::SingleThreadTaskExecutor::Create(
//         base::MessagePumpType::IO);
//     if (!executor) return 1;
//     base::RunLoop run_loop;
//     base::ThreadTaskRunnerHandle::Get()->PostTask(FROM_HERE,
//                                                   run_loop.QuitClosure());
//     run_loop.Run();
//   }
//
// Ownership: the executor owns the pump and the manager, and lives on its
// thread's stack (in vorn_cli: main's, on the status path only). Destroying
// it destroys the queued tasks unrun (the pump still exists then), then the
// pump; task runners held elsewhere then refuse posts. One executor per
// thread at a time.

#ifndef VORN_BASE_TASK_SINGLE_THREAD_TASK_EXECUTOR_H_
#define VORN_BASE_TASK_SINGLE_THREAD_TASK_EXECUTOR_H_

#include <memory>

#include "base/task/message_pump_libevent.h"
#include "base/task/sequence_manager.h"
#include "base/task/single_thread_task_runner.h"

namespace base {

enum class MessagePumpType {
  IO,  // MessagePumpLibevent: tasks, timers and file-descriptor watches
};

class SingleThreadTaskExecutor final {
 public:
  // Null, with an ERROR log line, when the pump cannot be created (no file
  // descriptors left, say). A thread that already has an executor is a check
  // failure.
  static std::unique_ptr<SingleThreadTaskExecutor> Create(
      MessagePumpType type = MessagePumpType::IO);

  // The same, for callers that cannot go on without a loop: a pump that
  // cannot be created is logged and ends the process (FATAL).
  explicit SingleThreadTaskExecutor(MessagePumpType type = MessagePumpType::IO);
  ~SingleThreadTaskExecutor();

  SingleThreadTaskExecutor(const SingleThreadTaskExecutor&) = delete;
  SingleThreadTaskExecutor& operator=(const SingleThreadTaskExecutor&) = delete;

  MessagePumpType type() const { return type_; }
  const std::shared_ptr<SingleThreadTaskRunner>& task_runner() const {
    return sequence_manager_->task_runner();
  }
  SequenceManager* sequence_manager() { return sequence_manager_.get(); }
  MessagePumpLibevent* pump() { return pump_.get(); }

 private:
  SingleThreadTaskExecutor(MessagePumpType type,
                           std::unique_ptr<MessagePumpLibevent> pump);

  const MessagePumpType type_;
  // Declared in construction order; destroyed in reverse: the handle first,
  // then the manager (queued tasks), then the pump.
  std::unique_ptr<MessagePumpLibevent> pump_;          // not null
  std::unique_ptr<SequenceManager> sequence_manager_;  // not null
  std::unique_ptr<ThreadTaskRunnerHandle> runner_handle_;
};

// The I/O side of the current thread's loop: file-descriptor watches. Exists
// while the thread has an executor of the I/O type.
//
//   base::CurrentIOThread::Get().WatchFileDescriptor(
//       fd, true, base::MessagePumpLibevent::WATCH_READ, &controller, this);
class CurrentIOThread final {
 public:
  // True on a thread whose executor has the I/O pump type.
  static bool IsSet();
  // The current thread's; calling it without IsSet is a check failure. The
  // result is valid until the executor is destroyed.
  static CurrentIOThread Get();

  // See MessagePumpLibevent::WatchFileDescriptor.
  bool WatchFileDescriptor(int fd, bool persistent,
                           MessagePumpLibevent::Mode mode,
                           MessagePumpLibevent::FdWatchController* controller,
                           MessagePumpLibevent::FdWatcher* watcher);

 private:
  explicit CurrentIOThread(MessagePumpLibevent* pump) : pump_(pump) {}

  MessagePumpLibevent* pump_;  // the executor's; not null
};

}  // namespace base

#endif  // VORN_BASE_TASK_SINGLE_THREAD_TASK_EXECUTOR_H_
