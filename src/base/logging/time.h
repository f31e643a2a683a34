// TimeDelta: a signed span of time in microseconds, as the monotonic clock
// counts it. TimeTicks: a point on the monotonic clock, in microseconds.
//
//   base::TimeDelta poll = base::TimeDelta::FromMilliseconds(50);
//   poll.InMicroseconds();  // 50000
//   base::TimeTicks deadline = base::TimeTicks::Now() + poll;
//   if (base::TimeTicks::Now() >= deadline) { ... }
//
// Arithmetic is in 64 bits on every platform, so spans far beyond the 32-bit
// range of a millisecond count are exact. Adding a span to a TimeTicks
// saturates at TimeTicks::Max() ("never") instead of overflowing.

#ifndef VORN_BASE_LOGGING_TIME_H_
#define VORN_BASE_LOGGING_TIME_H_

#include <time.h>

#include <cstdint>
#include <limits>

namespace base {

class TimeDelta {
 public:
  constexpr TimeDelta() = default;

  static constexpr TimeDelta FromMicroseconds(int64_t us) {
    return TimeDelta(us);
  }
  static constexpr TimeDelta FromMilliseconds(int64_t ms) {
    return TimeDelta(ms * 1000);
  }
  static constexpr TimeDelta FromSeconds(int64_t s) {
    return TimeDelta(s * 1000000);
  }
  // The largest span; stands for "forever".
  static constexpr TimeDelta Max() {
    return TimeDelta(std::numeric_limits<int64_t>::max());
  }

  constexpr int64_t InMicroseconds() const { return us_; }
  constexpr int64_t InMilliseconds() const { return us_ / 1000; }
  constexpr bool is_max() const {
    return us_ == std::numeric_limits<int64_t>::max();
  }

  constexpr TimeDelta operator+(TimeDelta other) const {
    return TimeDelta(us_ + other.us_);
  }
  constexpr TimeDelta operator-(TimeDelta other) const {
    return TimeDelta(us_ - other.us_);
  }
  constexpr bool operator==(TimeDelta other) const { return us_ == other.us_; }
  constexpr bool operator!=(TimeDelta other) const { return us_ != other.us_; }
  constexpr bool operator<(TimeDelta other) const { return us_ < other.us_; }
  constexpr bool operator<=(TimeDelta other) const { return us_ <= other.us_; }
  constexpr bool operator>(TimeDelta other) const { return us_ > other.us_; }
  constexpr bool operator>=(TimeDelta other) const { return us_ >= other.us_; }

 private:
  constexpr explicit TimeDelta(int64_t us) : us_(us) {}

  int64_t us_ = 0;
};

class TimeTicks {
 public:
  // The null point (zero), earlier than every reading of Now().
  constexpr TimeTicks() = default;

  // The system's monotonic clock (CLOCK_MONOTONIC), microsecond resolution.
  // Never goes backwards; unaffected by changes of the wall clock.
  static TimeTicks Now() {
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    // time_t and long are 32 bits on the target: widen before multiplying.
    return TimeTicks(static_cast<int64_t>(ts.tv_sec) * 1000000 +
                     static_cast<int64_t>(ts.tv_nsec) / 1000);
  }
  // A point later than every other: "never".
  static constexpr TimeTicks Max() {
    return TimeTicks(std::numeric_limits<int64_t>::max());
  }
  // For tests and arithmetic on stored values: `us` microseconds after the
  // clock's origin.
  static constexpr TimeTicks FromMicroseconds(int64_t us) {
    return TimeTicks(us);
  }

  constexpr bool is_null() const { return us_ == 0; }
  constexpr bool is_max() const {
    return us_ == std::numeric_limits<int64_t>::max();
  }

  // Saturates at Max() (and at the smallest value); Max() plus anything
  // non-negative stays Max().
  constexpr TimeTicks operator+(TimeDelta delta) const {
    const int64_t d = delta.InMicroseconds();
    if (d > 0 && us_ > std::numeric_limits<int64_t>::max() - d) return Max();
    if (d < 0 && us_ < std::numeric_limits<int64_t>::min() - d) {
      return TimeTicks(std::numeric_limits<int64_t>::min());
    }
    return TimeTicks(us_ + d);
  }
  constexpr TimeTicks operator-(TimeDelta delta) const {
    if (delta.InMicroseconds() == std::numeric_limits<int64_t>::min()) {
      return Max();
    }
    return *this + TimeDelta::FromMicroseconds(-delta.InMicroseconds());
  }
  // The span between two readings of the clock.
  constexpr TimeDelta operator-(TimeTicks other) const {
    return TimeDelta::FromMicroseconds(us_ - other.us_);
  }

  constexpr bool operator==(TimeTicks other) const { return us_ == other.us_; }
  constexpr bool operator!=(TimeTicks other) const { return us_ != other.us_; }
  constexpr bool operator<(TimeTicks other) const { return us_ < other.us_; }
  constexpr bool operator<=(TimeTicks other) const { return us_ <= other.us_; }
  constexpr bool operator>(TimeTicks other) const { return us_ > other.us_; }
  constexpr bool operator>=(TimeTicks other) const { return us_ >= other.us_; }

 private:
  constexpr explicit TimeTicks(int64_t us) : us_(us) {}

  int64_t us_ = 0;  // microseconds since the monotonic clock's origin
};

}  // namespace base

#endif  // VORN_BASE_LOGGING_TIME_H_
