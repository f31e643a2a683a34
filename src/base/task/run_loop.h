// RunLoop: runs the current thread's event loop until told to quit. The way
// a blocking call waits for an asynchronous answer:
//
//   base::RunLoop run_loop;
//   request->quit = run_loop.QuitClosure();   // called by the answer handler
//   runner->PostDelayedTask(FROM_HERE, std::move(on_timeout),
//                           base::TimeDelta::FromSeconds(5));
//   run_loop.Run();                           // tasks, timers, I/O run here
//
// Each RunLoop runs once. Quit before Run makes Run return at once without
// running anything. Run inside a task nests: only the outermost loop, or a
// nested loop of type kNestableTasksAllowed, runs posted tasks; a nested
// kDefault loop serves only descriptor callbacks. Quit ends this loop once it
// is the innermost running one; quitting an outer loop from inside a nested
// one takes effect when the nested one returns.
//
// Threads: a RunLoop belongs to the thread that created it, which must have a
// task executor (SingleThreadTaskExecutor). Only its quit closures may be
// called from other threads.

#ifndef VORN_BASE_TASK_RUN_LOOP_H_
#define VORN_BASE_TASK_RUN_LOOP_H_

#include <memory>
#include <vector>

#include "base/task/callback.h"
#include "base/task/single_thread_task_runner.h"
#include "base/task/weak_ptr.h"

namespace base {

class RunLoop final {
 public:
  enum class Type {
    kDefault,               // nested, runs no posted tasks
    kNestableTasksAllowed,  // nested, runs posted tasks too
  };

  // What runs a thread's loop: the thread's SequenceManager. Bound to one
  // thread between RegisterDelegateForCurrentThread and its destruction.
  class Delegate {
   public:
    Delegate();
    virtual ~Delegate();

    Delegate(const Delegate&) = delete;
    Delegate& operator=(const Delegate&) = delete;

   protected:
    // True when the innermost running loop asked to quit when idle; the
    // delegate then quits it from its idle work.
    bool ShouldQuitWhenIdle() const;
    // Quits the innermost running loop (as its Quit would).
    void QuitInnermostLoop();

   private:
    friend class RunLoop;

    // Runs the loop until Quit; posted tasks run only if allowed.
    virtual void Run(bool application_tasks_allowed) = 0;
    // Ends the innermost Run after the task or notification in progress.
    virtual void Quit() = 0;

    std::vector<RunLoop*> active_run_loops_;  // innermost last; not owned
    bool bound_ = false;  // registered as some thread's delegate
  };

  // Makes `delegate` the current thread's. One per thread; `delegate` must
  // outlive the registration (its destructor ends it).
  static void RegisterDelegateForCurrentThread(Delegate* delegate);

  // The current thread must have a delegate (a task executor).
  explicit RunLoop(Type type = Type::kDefault);
  // Destroying a running loop is a check failure; a loop that is not running
  // simply releases its state, and its quit closures become no-ops.
  ~RunLoop();

  RunLoop(const RunLoop&) = delete;
  RunLoop& operator=(const RunLoop&) = delete;

  // Runs until Quit (or idle after QuitWhenIdle). Returns at once if Quit
  // came first. Running a loop twice at the same time is a check failure.
  void Run();
  // Runs until no immediate task is left (delayed tasks not yet due are left
  // queued), then returns.
  void RunUntilIdle();

  // Requests the end of Run: immediately if this is the innermost running
  // loop, after the task or notification in progress; otherwise when the
  // loops nested inside it have returned; before Run, Run returns at once.
  // Own thread only.
  void Quit();
  // Requests the end of Run the next time the loop has no immediate task.
  // Own thread only.
  void QuitWhenIdle();

  // A closure that calls Quit on this loop. Called on the
  // loop's thread, it quits at once; on another thread it posts the quit to
  // the loop's thread (task named "ProxyToTaskRunner"). It holds only a weak
  // reference: once the loop is destroyed, calling it does nothing. It may be
  // copied and called any number of times.
  RepeatingClosure QuitClosure();

  bool running() const { return running_; }

 private:
  // Calls `quit` (Quit or QuitWhenIdle) on the loop `weak` refers to, from
  // any thread, as QuitClosure describes.
  static void ProxyToTaskRunner(
      const std::shared_ptr<SingleThreadTaskRunner>& runner,
      const WeakPtr<RunLoop>& weak, void (RunLoop::*quit)());

  Delegate* const delegate_;  // the thread's; outlives this loop
  const Type type_;
  // The thread's runner, for quit closures called elsewhere; may be null
  // when the thread has a delegate but no runner (then such calls fail).
  const std::shared_ptr<SingleThreadTaskRunner> origin_task_runner_;
  bool running_ = false;                        // inside Run
  bool quit_called_ = false;                    // Quit was requested
  bool quit_when_idle_ = false;                 // QuitWhenIdle was requested
  WeakPtrFactory<RunLoop> weak_factory_{this};  // last: invalidated first
};

}  // namespace base

#endif  // VORN_BASE_TASK_RUN_LOOP_H_
