#include "base/task/run_loop.h"

#include "base/logging/logging.h"
#include "base/task/location.h"

namespace base {

namespace {

// The current thread's delegate, or null.
thread_local RunLoop::Delegate* g_delegate = nullptr;

}  // namespace

RunLoop::Delegate::Delegate() = default;

RunLoop::Delegate::~Delegate() {
  CHECK(active_run_loops_.empty());
  if (bound_ && g_delegate == this) g_delegate = nullptr;
}

bool RunLoop::Delegate::ShouldQuitWhenIdle() const {
  return !active_run_loops_.empty() &&
         active_run_loops_.back()->quit_when_idle_;
}

void RunLoop::Delegate::QuitInnermostLoop() {
  if (!active_run_loops_.empty()) active_run_loops_.back()->Quit();
}

void RunLoop::RegisterDelegateForCurrentThread(Delegate* delegate) {
  CHECK(delegate != nullptr);
  CHECK(!delegate->bound_);
  CHECK(g_delegate == nullptr);
  delegate->bound_ = true;
  g_delegate = delegate;
}

RunLoop::RunLoop(Type type)
    : delegate_(g_delegate),
      type_(type),
      origin_task_runner_(ThreadTaskRunnerHandle::IsSet()
                              ? ThreadTaskRunnerHandle::Get()
                              : nullptr) {
  CHECK(delegate_ != nullptr);
}

RunLoop::~RunLoop() { CHECK(!running_); }

void RunLoop::Run() {
  CHECK(g_delegate == delegate_);
  CHECK(!running_);
  if (quit_called_) return;

  running_ = true;
  delegate_->active_run_loops_.push_back(this);
  const bool nested = delegate_->active_run_loops_.size() > 1;
  delegate_->Run(!nested || type_ == Type::kNestableTasksAllowed);
  CHECK(delegate_->active_run_loops_.back() == this);
  delegate_->active_run_loops_.pop_back();
  running_ = false;

  // An outer loop asked to quit while this one ran: its Quit could not stop
  // the pump then, so it happens now.
  if (!delegate_->active_run_loops_.empty() &&
      delegate_->active_run_loops_.back()->quit_called_) {
    delegate_->Quit();
  }
}

void RunLoop::RunUntilIdle() {
  quit_when_idle_ = true;
  Run();
}

void RunLoop::Quit() {
  CHECK(g_delegate == delegate_);
  quit_called_ = true;
  if (running_ && delegate_->active_run_loops_.back() == this) {
    delegate_->Quit();
  }
}

void RunLoop::QuitWhenIdle() {
  CHECK(g_delegate == delegate_);
  quit_when_idle_ = true;
}

void RunLoop::ProxyToTaskRunner(
    const std::shared_ptr<SingleThreadTaskRunner>& runner,
    const WeakPtr<RunLoop>& weak, void (RunLoop::*quit)()) {
  if (runner != nullptr && !runner->BelongsToCurrentThread()) {
    // The weak reference is checked only on the loop's own thread.
    runner->PostTask(Location("ProxyToTaskRunner", __FILE__, __LINE__),
                     BindWeak(weak, [weak, quit] { (weak.get()->*quit)(); }));
    return;
  }
  if (RunLoop* loop = weak.get()) (loop->*quit)();
}

RepeatingClosure RunLoop::QuitClosure() {
  return [runner = origin_task_runner_, weak = weak_factory_.GetWeakPtr()] {
    ProxyToTaskRunner(runner, weak, &RunLoop::Quit);
  };
}

}  // namespace base
