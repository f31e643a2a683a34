// The building blocks of posted work: one-shot callbacks, weak references,
// monotonic time and task locations.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "base/logging/time.h"
#include "base/task/callback.h"
#include "base/task/location.h"
#include "base/task/run_loop.h"
#include "base/task/sequence_manager.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/weak_ptr.h"

namespace base {
namespace {

class Target {
 public:
  int hits = 0;
  WeakPtr<Target> GetWeakPtr() { return weak_factory_.GetWeakPtr(); }
  void Invalidate() { weak_factory_.InvalidateWeakPtrs(); }

 private:
  WeakPtrFactory<Target> weak_factory_{this};
};

class DerivedTarget : public Target {};

TEST(OnceCallbackTest, RunsOnceAndBecomesNull) {
  int runs = 0;
  OnceCallback<void(int)> add = [&runs](int n) { runs += n; };
  ASSERT_FALSE(add.is_null());
  std::move(add).Run(3);
  EXPECT_EQ(runs, 3);
  EXPECT_TRUE(add.is_null());  // NOLINT: a run callback is null
}

TEST(OnceCallbackTest, AcceptsMoveOnlyCaptures) {
  auto owned = std::make_unique<int>(7);
  int seen = 0;
  OnceClosure take = [p = std::move(owned), &seen] { seen = *p; };
  OnceClosure moved = std::move(take);
  std::move(moved).Run();
  EXPECT_EQ(seen, 7);
}

TEST(OnceCallbackTest, MayDestroyItsHolderWhileRunning) {
  struct Holder {
    OnceClosure callback;
  };
  auto holder = std::make_unique<Holder>();
  bool ran = false;
  holder->callback = [&] {
    holder.reset();  // destroys the OnceClosure being run
    ran = true;
  };
  std::move(holder->callback).Run();
  EXPECT_TRUE(ran);
  EXPECT_EQ(holder, nullptr);
}

TEST(WeakPtrTest, BecomesNullWhenObjectIsDestroyed) {
  auto target = std::make_unique<Target>();
  WeakPtr<Target> weak = target->GetWeakPtr();
  WeakPtr<Target> copy = weak;
  EXPECT_EQ(weak.get(), target.get());
  target.reset();
  EXPECT_FALSE(weak);
  EXPECT_EQ(copy.get(), nullptr);
}

TEST(WeakPtrTest, InvalidateKeepsObjectButDropsOldReferences) {
  Target target;
  WeakPtr<Target> old = target.GetWeakPtr();
  target.Invalidate();
  EXPECT_FALSE(old);
  EXPECT_EQ(target.GetWeakPtr().get(), &target);
}

TEST(WeakPtrTest, ConvertsToBase) {
  DerivedTarget derived;
  WeakPtr<Target> base = derived.GetWeakPtr();
  EXPECT_EQ(base.get(), &derived);
}

TEST(BindWeakTest, DoesNothingOnceReceiverIsGone) {
  auto target = std::make_unique<Target>();
  Target* raw = target.get();
  OnceCallback<void(int)> hit =
      BindWeak(target->GetWeakPtr(),
               OnceCallback<void(int)>([raw](int n) { raw->hits += n; }));
  OnceClosure other = BindWeak(target->GetWeakPtr(), [raw] { ++raw->hits; });
  EXPECT_FALSE(hit.IsCancelled());
  std::move(other).Run();
  EXPECT_EQ(target->hits, 1);

  target.reset();
  EXPECT_TRUE(hit.IsCancelled());
  std::move(hit).Run(5);       // must not touch the destroyed target
  EXPECT_TRUE(hit.is_null());  // NOLINT
}

TEST(BindWeakTest, DoubleBindingNeedsBothReceivers) {
  Target first;
  auto second = std::make_unique<Target>();
  OnceClosure both =
      BindWeak(first.GetWeakPtr(),
               BindWeak(second->GetWeakPtr(), [&] { ++first.hits; }));
  second.reset();
  EXPECT_TRUE(both.IsCancelled());
  std::move(both).Run();
  EXPECT_EQ(first.hits, 0);
}

TEST(TimeTicksTest, NowIsMonotonicAndInMicroseconds) {
  const TimeTicks a = TimeTicks::Now();
  const TimeTicks b = TimeTicks::Now();
  EXPECT_FALSE(a.is_null());
  EXPECT_LE(a, b);
  // Far beyond 2^32 microseconds: 64-bit arithmetic on every target.
  const TimeTicks later = a + TimeDelta::FromSeconds(5000);
  EXPECT_EQ((later - a).InMicroseconds(), int64_t{5000} * 1000000);
}

TEST(TimeTicksTest, AddingSaturatesAtMax) {
  const TimeTicks now = TimeTicks::Now();
  EXPECT_TRUE((now + TimeDelta::Max()).is_max());
  EXPECT_TRUE((TimeTicks::Max() + TimeDelta::FromSeconds(1)).is_max());
  EXPECT_EQ(
      now + TimeDelta::FromMicroseconds(1) - TimeDelta::FromMicroseconds(1),
      now);
}

TEST(LocationTest, FromHereNamesFunctionFileAndLine) {
  const int line = __LINE__ + 1;
  const Location here = FROM_HERE;
  EXPECT_STREQ(here.function_name(), "TestBody");
  EXPECT_EQ(here.line(), line);
  EXPECT_EQ(here.ToString(),
            "TestBody@event_primitives_test.cc:" + std::to_string(line));
  EXPECT_EQ(Location().ToString(), "unknown");
}

}  // namespace
}  // namespace base
