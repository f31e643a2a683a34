// MessagePump: the part of an event loop that waits. It repeatedly asks its
// Delegate (the task scheduler) to do work, and between rounds waits for
// whatever the pump watches (descriptors, a timer, a wake-up) until quit.
//
//   class Scheduler : public base::MessagePump::Delegate { ... };
//   pump->Run(&scheduler);   // returns after pump->Quit() from inside
//
// The one implementation in vorn is MessagePumpLibevent (I/O pump type).

#ifndef VORN_BASE_TASK_MESSAGE_PUMP_H_
#define VORN_BASE_TASK_MESSAGE_PUMP_H_

#include "base/logging/time.h"

namespace base {

class MessagePump {
 public:
  class Delegate {
   public:
    struct NextWorkInfo {
      // True when DoWork ran a task.
      bool did_work = false;
      // When DoWork wants to be called next: null for "at once" (more work is
      // ready), TimeTicks::Max() for "only after an outside event", else the
      // desired run time of the earliest delayed task.
      TimeTicks delayed_run_time = TimeTicks::Max();
    };

    // Runs at most one due task. Called on the pump's thread, once per round.
    virtual NextWorkInfo DoWork() = 0;
    // Called when a round did nothing; returns true if that produced work
    // (so the pump goes round again instead of waiting).
    virtual bool DoIdleWork() = 0;

   protected:
    virtual ~Delegate() = default;
  };

  virtual ~MessagePump() = default;

  // Runs rounds until Quit is called from within. Re-entrant: a task may call
  // Run again (a nested loop); each Quit ends the innermost Run.
  virtual void Run(Delegate* delegate) = 0;
  // Ends the innermost Run after the task or notification in progress. Only
  // on the pump's thread, only while running.
  virtual void Quit() = 0;
  // Wakes the pump if it is waiting, so that it calls DoWork soon. The one
  // call that is safe from any thread.
  virtual void ScheduleWork() = 0;
};

}  // namespace base

#endif  // VORN_BASE_TASK_MESSAGE_PUMP_H_
