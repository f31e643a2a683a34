#include "base/task/single_thread_task_executor.h"

#include <utility>

#include "base/logging/logging.h"

namespace base {

namespace {

// The I/O pump of the current thread's executor, or null.
thread_local MessagePumpLibevent* g_io_pump = nullptr;

std::unique_ptr<MessagePumpLibevent> CreatePump(MessagePumpType type) {
  switch (type) {
    case MessagePumpType::IO:
      return MessagePumpLibevent::Create();
  }
  return nullptr;
}

}  // namespace

std::unique_ptr<SingleThreadTaskExecutor> SingleThreadTaskExecutor::Create(
    MessagePumpType type) {
  CHECK(g_io_pump == nullptr && !ThreadTaskRunnerHandle::IsSet());
  std::unique_ptr<MessagePumpLibevent> pump = CreatePump(type);
  if (pump == nullptr) return nullptr;
  return std::unique_ptr<SingleThreadTaskExecutor>(
      new SingleThreadTaskExecutor(type, std::move(pump)));
}

SingleThreadTaskExecutor::SingleThreadTaskExecutor(MessagePumpType type)
    : SingleThreadTaskExecutor(type, CreatePump(type)) {}

SingleThreadTaskExecutor::SingleThreadTaskExecutor(
    MessagePumpType type, std::unique_ptr<MessagePumpLibevent> pump)
    : type_(type), pump_(std::move(pump)) {
  if (pump_ == nullptr) {
    LOG(FATAL) << "Cannot create the event loop";
  }
  CHECK(pump_ != nullptr);
  sequence_manager_ = std::make_unique<SequenceManager>(pump_.get());
  RunLoop::RegisterDelegateForCurrentThread(sequence_manager_.get());
  runner_handle_ = std::make_unique<ThreadTaskRunnerHandle>(
      sequence_manager_->task_runner());
  CHECK(g_io_pump == nullptr);
  g_io_pump = pump_.get();
}

SingleThreadTaskExecutor::~SingleThreadTaskExecutor() {
  // Queued tasks are destroyed first, while the pump and the thread's runner
  // still exist: their destructors may stop watches or post (which fails).
  sequence_manager_->default_task_queue()->Shutdown();
  runner_handle_.reset();
  sequence_manager_.reset();
  g_io_pump = nullptr;
  pump_.reset();
}

bool CurrentIOThread::IsSet() { return g_io_pump != nullptr; }

CurrentIOThread CurrentIOThread::Get() {
  CHECK(g_io_pump != nullptr);
  return CurrentIOThread(g_io_pump);
}

bool CurrentIOThread::WatchFileDescriptor(
    int fd, bool persistent, MessagePumpLibevent::Mode mode,
    MessagePumpLibevent::FdWatchController* controller,
    MessagePumpLibevent::FdWatcher* watcher) {
  return pump_->WatchFileDescriptor(fd, persistent, mode, controller, watcher);
}

}  // namespace base
