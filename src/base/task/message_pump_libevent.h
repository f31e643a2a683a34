// MessagePumpLibevent: the I/O message pump. It waits in libevent (epoll
// back end) for watched file descriptors, for the next delayed task's timer
// and for wake-ups from other threads, and between waits lets its delegate
// run tasks.
//
//   class Reader : public base::MessagePumpLibevent::FdWatcher {
//    public:
//     void OnFileCanReadWithoutBlocking(int fd) override { /* read(fd) */ }
//     void OnFileCanWriteWithoutBlocking(int fd) override {}
//   };
//
//   Reader reader;
//   base::MessagePumpLibevent::FdWatchController controller(FROM_HERE);
//   base::CurrentIOThread::Get().WatchFileDescriptor(
//       fd, /*persistent=*/true, base::MessagePumpLibevent::WATCH_READ,
//       &controller, &reader);
//   ...                          // callbacks arrive while the loop runs
//   controller.StopWatchingFileDescriptor();   // or destroy the controller
//
// One round of Run (repeated until Quit):
//   1. the delegate runs the next due task, if any, and says when the next
//      one is due (now, at a time, or never);
//   2. if quit, leave;
//   3. poll libevent without blocking and dispatch a ready descriptor;
//   4. if a task ran or a descriptor was dispatched, go round again;
//   5. the delegate's idle work (RunLoop::QuitWhenIdle takes effect here);
//      if that produced work, go round again;
//   6. if a delayed task is pending, arm a one-shot timer for its remaining
//      delay;
//   7. block in libevent until a descriptor is ready, the timer fires or
//      ScheduleWork wakes the pump;
//   8. disarm the timer, dispatch what became ready; if quit, leave.
//
// Descriptor callbacks are dispatched outside libevent's own loop, one
// notification at a time, so a callback may start a nested run loop. For a
// descriptor reported readable and writable at once, the write callback runs
// first and the read callback then runs only if the write callback neither
// destroyed the controller nor stopped its watch.
//
// Threads: everything but ScheduleWork runs on the pump's thread (the thread
// that created it); callbacks run on that thread, between tasks.

#ifndef VORN_BASE_TASK_MESSAGE_PUMP_LIBEVENT_H_
#define VORN_BASE_TASK_MESSAGE_PUMP_LIBEVENT_H_

#include <atomic>
#include <memory>
#include <unordered_set>

#include "base/task/location.h"
#include "base/task/message_pump.h"

struct event;
struct event_base;

namespace base {

class MessagePumpLibevent final : public MessagePump {
 public:
  // What a watch waits for.
  enum Mode {
    WATCH_READ = 1 << 0,
    WATCH_WRITE = 1 << 1,
    WATCH_READ_WRITE = WATCH_READ | WATCH_WRITE,
  };

  // Receives readiness of a watched descriptor. Implemented by the owner of
  // the descriptor; the pump and the controller never own a watcher, which
  // must outlive its watch (or stop it first).
  //
  // Each call happens on the pump's thread, between tasks, when the
  // descriptor is ready for that direction (level-triggered: a persistent
  // watch keeps reporting while the condition holds). A persistent watch
  // stays armed after each call; a one-shot watch is disarmed before its call
  // and fires no more until armed again. A callback may stop the watch,
  // re-arm it, destroy the controller, or close the descriptor (after
  // stopping the watch).
  class FdWatcher {
   public:
    virtual void OnFileCanReadWithoutBlocking(int fd) = 0;
    virtual void OnFileCanWriteWithoutBlocking(int fd) = 0;

   protected:
    virtual ~FdWatcher() = default;
  };

  // One watched descriptor: holds the libevent event, the pump, the watcher
  // and the descriptor. Owned by whoever arms it (typically the watcher's
  // owner, next to the descriptor). Destroying it stops the watch, also from
  // inside one of its own callbacks. A controller may outlive its pump; the
  // pump releases it when destroyed.
  class FdWatchController final {
   public:
    explicit FdWatchController(const Location& from_here);
    ~FdWatchController();

    FdWatchController(const FdWatchController&) = delete;
    FdWatchController& operator=(const FdWatchController&) = delete;

    // Stops the watch; no callback arrives afterwards, including one whose
    // readiness libevent had already reported. Returns false only if libevent
    // refused to remove the event; true when nothing was watched.
    bool StopWatchingFileDescriptor();

    // True while a watch is armed (a one-shot watch is no longer armed once
    // it has fired).
    bool is_watching() const;
    // The watched descriptor, or -1 when none was ever armed.
    int fd() const { return fd_; }
    const Location& created_from_location() const { return created_from_; }

   private:
    friend class MessagePumpLibevent;

    // Frees the event. Safe to call with no event.
    void ReleaseEvent();

    const Location created_from_;
    struct event* event_ = nullptr;        // owned; allocated on pump_'s base
    MessagePumpLibevent* pump_ = nullptr;  // set while event_ is not null
    FdWatcher* watcher_ = nullptr;         // not owned; null when not watching
    int fd_ = -1;
    bool* was_destroyed_ = nullptr;  // set during a dispatch, see .cc
  };

  // Creates the libevent base (epoll), the wake-up pipe and the timer. On
  // failure (for instance no descriptors left) logs an ERROR line and
  // returns null.
  static std::unique_ptr<MessagePumpLibevent> Create();
  ~MessagePumpLibevent() override;

  MessagePumpLibevent(const MessagePumpLibevent&) = delete;
  MessagePumpLibevent& operator=(const MessagePumpLibevent&) = delete;

  // Arms `controller` to call `watcher` when `fd` becomes ready for `mode`;
  // persistent watches stay armed, others fire once. If the controller
  // already watches `fd`, the new mode, persistence and watcher are merged
  // into the watch (read and write flags are added; the new watcher
  // replaces the old). Returns false when `fd` is negative or `mode` empty,
  // when the controller watches another descriptor or belongs to another
  // pump (its watch then stays as it was), or when libevent cannot register
  // the event, a regular file under epoll say (the controller then watches
  // nothing). Pump thread only; `controller` and `watcher` are not owned and
  // must stay alive until the watch stops.
  bool WatchFileDescriptor(int fd, bool persistent, Mode mode,
                           FdWatchController* controller, FdWatcher* watcher);

  // MessagePump:
  void Run(Delegate* delegate) override;
  void Quit() override;
  void ScheduleWork() override;

  // The name of libevent's back end in use ("epoll").
  const char* backend_method() const;

 private:
  MessagePumpLibevent() = default;
  bool Init();

  // libevent callbacks (C linkage-compatible static functions).
  static void OnLibeventNotification(int fd, short flags, void* context);
  static void OnWakeup(int fd, short flags, void* context);
  static void OnTimer(int fd, short flags, void* context);

  // Runs libevent once (non-blocking or until something happens), then the
  // watcher callbacks of the notification it recorded. True if a watcher was
  // called.
  bool PollAndDispatch(bool block);
  // Calls the watcher for the recorded notification.
  void DispatchNotification(FdWatchController* controller, short flags);
  // Arms the timer to fire at `when` (not null, not max, in the future).
  void ArmTimer(TimeTicks when);

  struct event_base* base_ = nullptr;     // owned
  struct event* wakeup_event_ = nullptr;  // owned; persistent read on
                                          // wakeup_read_fd_
  struct event* timer_event_ = nullptr;   // owned; one-shot, armed only in
                                          // a blocking wait
  int wakeup_read_fd_ = -1;   // owned; non-blocking pipe end, drained on wake
  int wakeup_write_fd_ = -1;  // owned; one byte written per ScheduleWork
                              // that finds wakeup_pending_ clear
  std::atomic<bool> wakeup_pending_{false};  // a wake-up byte is (about to
                                             // be) in the pipe, not drained
  bool keep_running_ = false;  // of the innermost Run; false after Quit
  int run_depth_ = 0;          // Run calls in progress (nesting)
  // The notification libevent reported in the current poll, held until the
  // poll returns; controller null when none.
  FdWatchController* pending_controller_ = nullptr;
  short pending_flags_ = 0;
  std::unordered_set<FdWatchController*> controllers_;  // with an event on
                                                        // base_
};

}  // namespace base

#endif  // VORN_BASE_TASK_MESSAGE_PUMP_LIBEVENT_H_
