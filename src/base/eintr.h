// RetryOnEintr: calls a system-call wrapper again for as long as it fails
// with EINTR, and returns the first other result.
//
//   ssize_t n = base::RetryOnEintr([&] { return ::read(fd, buf, len); });
//   if (n < 0) PLOG(ERROR) << "read";   // errno is the call's own
//
// `call` returns an integer where -1 means failure with errno set, as system
// calls do. A signal that interrupts the call is not a failure of the call,
// so every system call in vorn goes through this one helper.

#ifndef VORN_BASE_EINTR_H_
#define VORN_BASE_EINTR_H_

#include <cerrno>

namespace base {

template <typename Call>
auto RetryOnEintr(Call&& call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

}  // namespace base

#endif  // VORN_BASE_EINTR_H_
