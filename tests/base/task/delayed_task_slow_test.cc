// A 5-second delayed task on an otherwise idle loop, in real time: the loop
// blocks in the pump's timer wait and must neither run the task early nor
// oversleep it by much. (The status service's time-out is such a task.)

#include <gtest/gtest.h>

#include "base/logging/time.h"
#include "base/task/location.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"

namespace base {
namespace {

TEST(DelayedTaskSlowTest, FiveSecondTaskDoesNotRunEarlyOnAnIdleLoop) {
  SingleThreadTaskExecutor executor(MessagePumpType::IO);
  const std::shared_ptr<SingleThreadTaskRunner>& runner =
      ThreadTaskRunnerHandle::Get();
  RunLoop loop;
  const TimeTicks posted = TimeTicks::Now();
  TimeTicks ran;
  bool ran_before_check = true;

  ASSERT_TRUE(runner->PostDelayedTask(
      FROM_HERE,
      [&] {
        ran = TimeTicks::Now();
        loop.Quit();
      },
      TimeDelta::FromMicroseconds(5000000)));
  // Just short of the delay, the task must still be waiting.
  ASSERT_TRUE(runner->PostDelayedTask(
      FROM_HERE, [&] { ran_before_check = !ran.is_null(); },
      TimeDelta::FromMilliseconds(4950)));
  // A safety net, so that a lost timer fails instead of hanging.
  ASSERT_TRUE(runner->PostDelayedTask(FROM_HERE, loop.QuitClosure(),
                                      TimeDelta::FromSeconds(15)));
  loop.Run();

  ASSERT_FALSE(ran.is_null()) << "the delayed task never ran";
  EXPECT_FALSE(ran_before_check);
  const int64_t waited_us = (ran - posted).InMicroseconds();
  EXPECT_GE(waited_us, 5000000);
  EXPECT_LT(waited_us, 6000000) << "overslept by more than a second";
}

}  // namespace
}  // namespace base
