// TimeDelta: a signed span of time in microseconds, as the monotonic clock
// counts it.
//
//   base::TimeDelta poll = base::TimeDelta::FromMilliseconds(50);
//   poll.InMicroseconds();  // 50000
//
// Arithmetic is in 64 bits on every platform, so spans far beyond the 32-bit
// range of a millisecond count are exact.

#ifndef VORN_BASE_TIME_H_
#define VORN_BASE_TIME_H_

#include <cstdint>

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

  constexpr int64_t InMicroseconds() const { return us_; }
  constexpr int64_t InMilliseconds() const { return us_ / 1000; }
  constexpr bool is_zero() const { return us_ == 0; }

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

}  // namespace base

#endif  // VORN_BASE_TIME_H_
