#include "base/task/message_pump_libevent.h"

#include <event2/event.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "base/logging/eintr.h"
#include "base/logging/logging.h"

namespace base {

namespace {

// The longest single timer wait. A longer delay is waited for in steps, each
// round re-arming the timer; this keeps the seconds within a 32-bit time_t.
constexpr int64_t kMaxTimerWaitUs = int64_t{24} * 60 * 60 * 1000000;

// libevent's own diagnostics become ordinary log lines (it would otherwise
// print "[warn] ..." lines of its own format to standard error).
void OnLibeventLog(int severity, const char* message) {
  switch (severity) {
    case EVENT_LOG_DEBUG:
      VLOG(1) << "libevent: " << message;
      break;
    case EVENT_LOG_MSG:
      LOG(INFO) << "libevent: " << message;
      break;
    case EVENT_LOG_WARN:
      LOG(WARNING) << "libevent: " << message;
      break;
    default:
      LOG(ERROR) << "libevent: " << message;
      break;
  }
}

short ModeToEvents(MessagePumpLibevent::Mode mode) {
  short events = 0;
  if (mode & MessagePumpLibevent::WATCH_READ) events |= EV_READ;
  if (mode & MessagePumpLibevent::WATCH_WRITE) events |= EV_WRITE;
  return events;
}

}  // namespace

// --- FdWatchController -------------------------------------------------------

MessagePumpLibevent::FdWatchController::FdWatchController(
    const Location& from_here)
    : created_from_(from_here) {}

MessagePumpLibevent::FdWatchController::~FdWatchController() {
  // Tell a dispatch in progress that this controller is gone, so it neither
  // touches it nor calls its watcher again.
  if (was_destroyed_ != nullptr) *was_destroyed_ = true;
  StopWatchingFileDescriptor();
  ReleaseEvent();
}

bool MessagePumpLibevent::FdWatchController::StopWatchingFileDescriptor() {
  watcher_ = nullptr;
  if (event_ == nullptr) return true;
  if (pump_->pending_controller_ == this) pump_->pending_controller_ = nullptr;
  // event_del also drops a readiness libevent reported but did not deliver.
  return event_del(event_) == 0;
}

bool MessagePumpLibevent::FdWatchController::is_watching() const {
  return event_ != nullptr && watcher_ != nullptr &&
         event_pending(event_, EV_READ | EV_WRITE, nullptr) != 0;
}

void MessagePumpLibevent::FdWatchController::ReleaseEvent() {
  if (event_ == nullptr) return;
  if (pump_->pending_controller_ == this) pump_->pending_controller_ = nullptr;
  event_free(event_);  // removes it from the base first
  event_ = nullptr;
  pump_->controllers_.erase(this);
  pump_ = nullptr;
  watcher_ = nullptr;
}

// --- MessagePumpLibevent -----------------------------------------------------

std::unique_ptr<MessagePumpLibevent> MessagePumpLibevent::Create() {
  std::unique_ptr<MessagePumpLibevent> pump(new MessagePumpLibevent());
  if (!pump->Init()) return nullptr;
  return pump;
}

bool MessagePumpLibevent::Init() {
  // Process-wide; setting it again is harmless.
  event_set_log_callback(&OnLibeventLog);
  struct event_config* config = event_config_new();
  if (config == nullptr) {
    LOG(ERROR) << "event_config_new failed";
    return false;
  }
  // epoll only; the environment (EVENT_NOEPOLL and the like) cannot change
  // that. No locks: only this thread touches the base; other threads reach
  // it through the wake-up pipe alone. libevent's default (coarse) timer is
  // enough: epoll rounds waits up to whole milliseconds, and a task that is
  // not yet due when the wait ends simply waits again, so tasks never run
  // early; the precise timer would cost a timerfd call on every poll.
  event_config_avoid_method(config, "select");
  event_config_avoid_method(config, "poll");
  event_config_set_flag(config,
                        EVENT_BASE_FLAG_NOLOCK | EVENT_BASE_FLAG_IGNORE_ENV);
  base_ = event_base_new_with_config(config);
  event_config_free(config);
  if (base_ == nullptr) {
    LOG(ERROR) << "event_base_new_with_config failed";
    return false;
  }

  int fds[2];
  if (RetryOnEintr([&] { return ::pipe2(fds, O_NONBLOCK | O_CLOEXEC); }) != 0) {
    PLOG(ERROR) << "pipe2 failed";
    return false;
  }
  wakeup_read_fd_ = fds[0];
  wakeup_write_fd_ = fds[1];

  wakeup_event_ = event_new(base_, wakeup_read_fd_, EV_READ | EV_PERSIST,
                            &MessagePumpLibevent::OnWakeup, this);
  timer_event_ = evtimer_new(base_, &MessagePumpLibevent::OnTimer, this);
  if (wakeup_event_ == nullptr || timer_event_ == nullptr ||
      event_add(wakeup_event_, nullptr) != 0) {
    LOG(ERROR) << "cannot register the event loop's wake-up event";
    return false;
  }
  return true;
}

MessagePumpLibevent::~MessagePumpLibevent() {
  CHECK(run_depth_ == 0);
  // Controllers that outlive the pump lose their events now, while the base
  // still exists; they are then simply not watching.
  while (!controllers_.empty()) {
    (*controllers_.begin())->ReleaseEvent();
  }
  if (wakeup_event_ != nullptr) event_free(wakeup_event_);
  if (timer_event_ != nullptr) event_free(timer_event_);
  if (base_ != nullptr) event_base_free(base_);
  // A failed close of a pipe end leaves nothing to undo; EINTR still closed
  // the descriptor on Linux, so close() is not repeated.
  if (wakeup_read_fd_ >= 0) ::close(wakeup_read_fd_);
  if (wakeup_write_fd_ >= 0) ::close(wakeup_write_fd_);
}

const char* MessagePumpLibevent::backend_method() const {
  return event_base_get_method(base_);
}

bool MessagePumpLibevent::WatchFileDescriptor(int fd, bool persistent,
                                              Mode mode,
                                              FdWatchController* controller,
                                              FdWatcher* watcher) {
  CHECK(controller != nullptr);
  CHECK(watcher != nullptr);
  short events = ModeToEvents(mode);
  if (fd < 0 || events == 0) return false;
  if (persistent) events |= EV_PERSIST;

  if (controller->event_ != nullptr) {
    if (controller->pump_ != this) return false;
    if (controller->is_watching()) {
      if (controller->fd_ != fd) return false;
      // Re-arming a live watch of the same descriptor adds to it.
      events |= event_get_events(controller->event_) &
                (EV_READ | EV_WRITE | EV_PERSIST);
    }
    // A reused event must be removed before it is assigned again.
    controller->StopWatchingFileDescriptor();
    if (event_assign(controller->event_, base_, fd, events,
                     &MessagePumpLibevent::OnLibeventNotification,
                     controller) != 0) {
      controller->ReleaseEvent();
      return false;
    }
  } else {
    controller->event_ =
        event_new(base_, fd, events,
                  &MessagePumpLibevent::OnLibeventNotification, controller);
    if (controller->event_ == nullptr) return false;
    controller->pump_ = this;
    controllers_.insert(controller);
  }
  controller->fd_ = fd;
  if (event_add(controller->event_, nullptr) != 0) {
    controller->ReleaseEvent();
    return false;
  }
  controller->watcher_ = watcher;
  return true;
}

void MessagePumpLibevent::OnLibeventNotification(int /*fd*/, short flags,
                                                 void* context) {
  // Only record it: the watcher runs once libevent's loop has returned, so
  // that callbacks may start nested loops (libevent's loop is not
  // re-entrant). Breaking the loop keeps any other ready events queued for
  // the next poll.
  auto* controller = static_cast<FdWatchController*>(context);
  MessagePumpLibevent* pump = controller->pump_;
  pump->pending_controller_ = controller;
  pump->pending_flags_ = flags;
  event_base_loopbreak(pump->base_);
}

void MessagePumpLibevent::OnWakeup(int fd, short /*flags*/, void* context) {
  // Cleared before draining: a ScheduleWork that still sees it set queued its
  // work before this point, and the round that follows looks at the queue;
  // one that sees it clear writes a new byte.
  static_cast<MessagePumpLibevent*>(context)->wakeup_pending_.store(false);
  char buffer[64];
  while (RetryOnEintr([&] { return ::read(fd, buffer, sizeof(buffer)); }) > 0) {
  }
}

void MessagePumpLibevent::OnTimer(int /*fd*/, short /*flags*/,
                                  void* /*context*/) {
  // Nothing to do: the wait has ended, and the round that follows runs the
  // task that became due.
}

bool MessagePumpLibevent::PollAndDispatch(bool block) {
  pending_controller_ = nullptr;
  event_base_loop(base_, block ? EVLOOP_ONCE : EVLOOP_NONBLOCK);
  FdWatchController* controller = pending_controller_;
  pending_controller_ = nullptr;
  if (controller == nullptr) return false;
  DispatchNotification(controller, pending_flags_);
  return true;
}

void MessagePumpLibevent::DispatchNotification(FdWatchController* controller,
                                               short flags) {
  FdWatcher* watcher = controller->watcher_;
  if (watcher == nullptr) return;
  const int fd = controller->fd_;
  // A nested loop started by a callback may dispatch this controller again;
  // the outer dispatch's flag is kept and told about a destruction too.
  bool destroyed = false;
  bool* const outer_destroyed = controller->was_destroyed_;
  controller->was_destroyed_ = &destroyed;
  if ((flags & EV_WRITE) != 0) {
    watcher->OnFileCanWriteWithoutBlocking(fd);
  }
  // The write callback may have destroyed the controller or stopped (or
  // replaced) the watch; the read callback goes to whoever watches now.
  if ((flags & EV_READ) != 0 && !destroyed && controller->watcher_ != nullptr) {
    controller->watcher_->OnFileCanReadWithoutBlocking(fd);
  }
  if (!destroyed) {
    controller->was_destroyed_ = outer_destroyed;
  } else if (outer_destroyed != nullptr) {
    *outer_destroyed = true;
  }
}

void MessagePumpLibevent::ArmTimer(TimeTicks when) {
  int64_t wait_us = (when - TimeTicks::Now()).InMicroseconds();
  if (wait_us < 0) wait_us = 0;
  if (wait_us > kMaxTimerWaitUs) wait_us = kMaxTimerWaitUs;
  struct timeval delay;
  delay.tv_sec = static_cast<time_t>(wait_us / 1000000);
  delay.tv_usec = static_cast<suseconds_t>(wait_us % 1000000);
  event_add(timer_event_, &delay);
}

void MessagePumpLibevent::Run(Delegate* delegate) {
  const bool outer_keep_running = keep_running_;
  keep_running_ = true;
  ++run_depth_;
  for (;;) {
    Delegate::NextWorkInfo next = delegate->DoWork();
    if (!keep_running_) break;

    bool did_work = next.did_work;
    did_work |= PollAndDispatch(/*block=*/false);
    if (!keep_running_) break;
    if (did_work) continue;

    if (delegate->DoIdleWork()) continue;
    if (!keep_running_) break;

    if (next.delayed_run_time.is_null()) continue;  // more work is ready now
    const bool timer_armed = !next.delayed_run_time.is_max();
    if (timer_armed) {
      if (next.delayed_run_time <= TimeTicks::Now()) continue;
      ArmTimer(next.delayed_run_time);
    }
    PollAndDispatch(/*block=*/true);
    if (timer_armed) event_del(timer_event_);
    if (!keep_running_) break;
  }
  --run_depth_;
  keep_running_ = outer_keep_running;
}

void MessagePumpLibevent::Quit() {
  CHECK(run_depth_ > 0);
  keep_running_ = false;
}

void MessagePumpLibevent::ScheduleWork() {
  // One byte per wake-up, not per post: a burst of posts from other threads
  // costs one write and one read.
  if (wakeup_pending_.exchange(true)) return;
  // A full pipe already holds a pending wake-up, so EAGAIN is success too.
  const char byte = 0;
  RetryOnEintr([&] { return ::write(wakeup_write_fd_, &byte, 1); });
}

}  // namespace base
