// Posting and running tasks on the main thread's loop: order, delays, weak
// receivers, quitting and nesting.

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/logging/time.h"
#include "base/task/callback.h"
#include "base/task/location.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"
#include "base/task/weak_ptr.h"

namespace base {
namespace {

class TaskRunnerTest : public testing::Test {
 protected:
  // Posts a task that appends `name` to the run log.
  void PostNamed(const std::string& name) {
    ASSERT_TRUE(runner()->PostTask(FROM_HERE, [this, name] { Record(name); }));
  }
  void PostNamedDelayed(const std::string& name, TimeDelta delay) {
    ASSERT_TRUE(runner()->PostDelayedTask(
        FROM_HERE, [this, name] { Record(name); }, delay));
  }
  void Record(const std::string& name) { log_.push_back(name); }
  // Runs until no immediate task is left.
  void RunUntilIdle() { RunLoop().RunUntilIdle(); }
  // Runs until `delay` has passed (plus any task in progress).
  void RunFor(TimeDelta delay) {
    RunLoop loop;
    runner()->PostDelayedTask(FROM_HERE, loop.QuitClosure(), delay);
    loop.Run();
  }
  const std::shared_ptr<SingleThreadTaskRunner>& runner() {
    return ThreadTaskRunnerHandle::Get();
  }

  SingleThreadTaskExecutor executor_{MessagePumpType::IO};
  std::vector<std::string> log_;
};

TEST_F(TaskRunnerTest, ImmediateTasksRunInPostingOrder) {
  PostNamed("A");
  PostNamed("B");
  PostNamed("C");
  RunUntilIdle();
  EXPECT_EQ(log_, (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(TaskRunnerTest, TaskPostedByATaskRunsAfterThoseAlreadyQueued) {
  runner()->PostTask(FROM_HERE, [this] {
    Record("A");
    PostNamed("C");
  });
  PostNamed("B");
  RunUntilIdle();
  EXPECT_EQ(log_, (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(TaskRunnerTest, DelayedTasksRunByDueTimeThenPostingOrder) {
  PostNamedDelayed("late", TimeDelta::FromMilliseconds(60));
  PostNamedDelayed("tie-1", TimeDelta::FromMilliseconds(30));
  PostNamedDelayed("early", TimeDelta::FromMilliseconds(10));
  PostNamedDelayed("tie-2", TimeDelta::FromMilliseconds(30));
  PostNamed("now");
  RunFor(TimeDelta::FromMilliseconds(150));
  EXPECT_EQ(log_, (std::vector<std::string>{"now", "early", "tie-1", "tie-2",
                                            "late"}));
}

TEST_F(TaskRunnerTest, EqualDesiredRunTimesRunInPostingOrder) {
  // Whatever the clock does between the posts, tasks with the same delay
  // posted in order run in that order.
  for (int i = 0; i < 50; ++i) {
    PostNamedDelayed(std::to_string(i), TimeDelta::FromMilliseconds(5));
  }
  RunFor(TimeDelta::FromMilliseconds(60));
  ASSERT_EQ(log_.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(log_[i], std::to_string(i));
}

TEST_F(TaskRunnerTest, DelayedTaskDoesNotRunBeforeItsDelay) {
  const TimeTicks posted = TimeTicks::Now();
  TimeTicks ran;
  RunLoop loop;
  runner()->PostDelayedTask(
      FROM_HERE,
      [&] {
        ran = TimeTicks::Now();
        loop.Quit();
      },
      TimeDelta::FromMilliseconds(40));
  loop.Run();
  EXPECT_GE((ran - posted).InMicroseconds(), 40000);
}

TEST_F(TaskRunnerTest, ZeroAndNegativeDelaysAreImmediate) {
  PostNamed("A");
  PostNamedDelayed("B", TimeDelta());
  PostNamedDelayed("C", TimeDelta::FromMilliseconds(-5));
  RunUntilIdle();
  EXPECT_EQ(log_, (std::vector<std::string>{"A", "B", "C"}));
}

TEST_F(TaskRunnerTest, NullTaskIsRefused) {
  EXPECT_FALSE(runner()->PostTask(FROM_HERE, OnceClosure()));
}

class Receiver {
 public:
  explicit Receiver(int* calls) : calls_(calls) {}
  void Hit() { ++*calls_; }
  WeakPtr<Receiver> GetWeakPtr() { return weak_factory_.GetWeakPtr(); }

 private:
  int* calls_;
  WeakPtrFactory<Receiver> weak_factory_{this};
};

TEST_F(TaskRunnerTest, TaskBoundToDestroyedObjectIsDropped) {
  int calls = 0;
  auto receiver = std::make_unique<Receiver>(&calls);
  Receiver* raw = receiver.get();
  runner()->PostTask(FROM_HERE,
                     BindWeak(receiver->GetWeakPtr(), [raw] { raw->Hit(); }));
  runner()->PostDelayedTask(
      FROM_HERE, BindWeak(receiver->GetWeakPtr(), [raw] { raw->Hit(); }),
      TimeDelta::FromMilliseconds(5));
  receiver.reset();
  RunFor(TimeDelta::FromMilliseconds(30));
  EXPECT_EQ(calls, 0);
}

TEST_F(TaskRunnerTest, TaskBoundToLiveObjectRuns) {
  int calls = 0;
  Receiver receiver(&calls);
  runner()->PostTask(FROM_HERE, BindWeak(receiver.GetWeakPtr(),
                                         [&receiver] { receiver.Hit(); }));
  RunUntilIdle();
  EXPECT_EQ(calls, 1);
}

TEST_F(TaskRunnerTest, DeleteSoonDestroysInALaterTask) {
  struct Flagged {
    explicit Flagged(bool* destroyed) : destroyed_(destroyed) {}
    ~Flagged() { *destroyed_ = true; }
    bool* destroyed_;
  };
  bool destroyed = false;
  EXPECT_TRUE(
      runner()->DeleteSoon(FROM_HERE, std::make_unique<Flagged>(&destroyed)));
  EXPECT_FALSE(destroyed);
  RunUntilIdle();
  EXPECT_TRUE(destroyed);
}

TEST_F(TaskRunnerTest, QuitBeforeRunReturnsAtOnce) {
  PostNamed("A");
  RunLoop loop;
  loop.QuitClosure()();
  loop.Run();
  EXPECT_TRUE(log_.empty());
  RunUntilIdle();
  EXPECT_EQ(log_, (std::vector<std::string>{"A"}));
}

TEST_F(TaskRunnerTest, QuitStopsAfterTheTaskInProgress) {
  RunLoop loop;
  runner()->PostTask(FROM_HERE, [&] {
    Record("A");
    loop.Quit();
    Record("A-end");
  });
  PostNamed("B");
  loop.Run();
  EXPECT_EQ(log_, (std::vector<std::string>{"A", "A-end"}));
}

TEST_F(TaskRunnerTest, QuitClosureAfterLoopIsGoneDoesNothing) {
  RepeatingClosure quit;
  {
    RunLoop loop;
    quit = loop.QuitClosure();
  }
  quit();  // on the loop's thread: would call Quit directly
  std::thread other([&] { quit(); });  // elsewhere: posts "ProxyToTaskRunner"
  other.join();
  // The posted quit must not stop a later loop.
  PostNamedDelayed("ran", TimeDelta::FromMilliseconds(20));
  RunLoop later;
  runner()->PostDelayedTask(FROM_HERE, later.QuitClosure(),
                            TimeDelta::FromMilliseconds(40));
  later.Run();
  EXPECT_EQ(log_, (std::vector<std::string>{"ran"}));
}

TEST_F(TaskRunnerTest, QuitClosureFromAnotherThreadWakesABlockedLoop) {
  RunLoop loop;
  RepeatingClosure quit = loop.QuitClosure();
  const TimeTicks start = TimeTicks::Now();
  std::thread other([quit] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    quit();
  });
  loop.Run();  // nothing else would end it
  other.join();
  EXPECT_GE((TimeTicks::Now() - start).InMilliseconds(), 50);
}

TEST_F(TaskRunnerTest, TaskPostedFromAnotherThreadWakesABlockedLoop) {
  RunLoop loop;
  std::shared_ptr<SingleThreadTaskRunner> main_runner = runner();
  std::thread other([this, &loop, main_runner] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    main_runner->PostTask(FROM_HERE, [this, &loop] {
      Record("from-thread");
      loop.Quit();
    });
  });
  // A far-away safety net, so a lost wake-up fails instead of hanging.
  runner()->PostDelayedTask(FROM_HERE, loop.QuitClosure(),
                            TimeDelta::FromSeconds(10));
  const TimeTicks start = TimeTicks::Now();
  loop.Run();
  other.join();
  EXPECT_EQ(log_, (std::vector<std::string>{"from-thread"}));
  EXPECT_LT((TimeTicks::Now() - start).InMilliseconds(), 5000);
}

TEST_F(TaskRunnerTest, PostsFromManyThreadsAllRunInEachThreadsOrder) {
  constexpr int kThreads = 4;
  constexpr int kTasksPerThread = 2000;
  std::vector<std::vector<int>> seen(kThreads);
  int finished = 0;
  RunLoop loop;
  std::shared_ptr<SingleThreadTaskRunner> main_runner = runner();
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; i < kTasksPerThread; ++i) {
        main_runner->PostTask(FROM_HERE, [&, t, i] {
          seen[t].push_back(i);
          if (i + 1 == kTasksPerThread && ++finished == kThreads) loop.Quit();
        });
      }
    });
  }
  runner()->PostDelayedTask(FROM_HERE, loop.QuitClosure(),
                            TimeDelta::FromSeconds(20));
  loop.Run();
  for (std::thread& thread : threads) thread.join();
  ASSERT_EQ(finished, kThreads);
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(seen[t].size(), static_cast<size_t>(kTasksPerThread));
    for (int i = 0; i < kTasksPerThread; ++i) ASSERT_EQ(seen[t][i], i);
  }
}

TEST_F(TaskRunnerTest, QuitWhenIdleLeavesDelayedTasksQueued) {
  PostNamed("A");
  PostNamedDelayed("later", TimeDelta::FromMilliseconds(20));
  RunLoop loop;
  loop.QuitWhenIdle();
  loop.Run();
  EXPECT_EQ(log_, (std::vector<std::string>{"A"}));
  RunFor(TimeDelta::FromMilliseconds(50));
  EXPECT_EQ(log_, (std::vector<std::string>{"A", "later"}));
}

TEST_F(TaskRunnerTest, NestableLoopRunsTasksAndReturnsToOuterLoop) {
  RunLoop outer;
  runner()->PostTask(FROM_HERE, [&] {
    Record("outer-task");
    RunLoop nested(RunLoop::Type::kNestableTasksAllowed);
    runner()->PostTask(FROM_HERE, [this] { Record("inside-nested"); });
    runner()->PostTask(FROM_HERE, nested.QuitClosure());
    nested.Run();
    Record("nested-returned");
  });
  PostNamed("queued-before");
  runner()->PostTask(FROM_HERE, outer.QuitClosure());
  outer.Run();
  EXPECT_EQ(log_,
            (std::vector<std::string>{"outer-task", "queued-before",
                                      "inside-nested", "nested-returned"}));
}

TEST_F(TaskRunnerTest, NestedDefaultLoopRunsNoTasks) {
  RunLoop outer;
  runner()->PostTask(FROM_HERE, [&] {
    RunLoop nested;  // kDefault
    PostNamed("queued");
    nested.QuitWhenIdle();
    nested.Run();
    Record("nested-returned");
  });
  outer.QuitWhenIdle();
  outer.Run();
  EXPECT_EQ(log_, (std::vector<std::string>{"nested-returned", "queued"}));
}

TEST_F(TaskRunnerTest, QuittingOuterLoopFromNestedLoopEndsBoth) {
  RunLoop outer;
  runner()->PostTask(FROM_HERE, [&] {
    RunLoop nested(RunLoop::Type::kNestableTasksAllowed);
    runner()->PostTask(FROM_HERE, [&] {
      outer.Quit();  // not the innermost: takes effect later
      nested.Quit();
    });
    nested.Run();
    Record("nested-returned");
    PostNamed("after-outer-quit");
  });
  outer.Run();
  EXPECT_EQ(log_, (std::vector<std::string>{"nested-returned"}));
}

TEST_F(TaskRunnerTest, PostAfterExecutorIsGoneFailsAndDestroysTheTask) {
  auto held = std::make_shared<int>(0);
  std::shared_ptr<SingleThreadTaskRunner> kept;
  {
    // A second executor can only exist on another thread.
    std::thread other([&] {
      SingleThreadTaskExecutor executor(MessagePumpType::IO);
      kept = ThreadTaskRunnerHandle::Get();
      kept->PostTask(FROM_HERE, [held] {});  // queued, never run
    });
    other.join();
  }
  EXPECT_EQ(held.use_count(), 1);  // the queued task was destroyed
  EXPECT_FALSE(kept->PostTask(FROM_HERE, [held] {}));
  EXPECT_EQ(held.use_count(), 1);
}

}  // namespace
}  // namespace base
