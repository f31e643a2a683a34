// RetryOnEintr: runs a system call again for as long as it fails with EINTR,
// so a signal that arrives while the call blocks never turns into an error.
//
//   ssize_t n = base::RetryOnEintr([&] { return ::read(fd, buffer, size); });
//   int fd = base::RetryOnEintr([&] { return ::open(path, O_RDONLY); });
//
// Every system call of the base library and above goes through this one
// helper. `call` must return the system call's result unchanged: -1 with
// errno set on failure. The result of the last attempt is returned, with errno
// as that attempt left it. close() is the exception: on Linux a close that
// reports EINTR has already released the descriptor, so it is never retried.

#ifndef VORN_BASE_LOGGING_EINTR_H_
#define VORN_BASE_LOGGING_EINTR_H_

#include <cerrno>

namespace base {

template <typename Call>
auto RetryOnEintr(Call call) -> decltype(call()) {
  decltype(call()) result;
  do {
    result = call();
  } while (result == -1 && errno == EINTR);
  return result;
}

}  // namespace base

#endif  // VORN_BASE_LOGGING_EINTR_H_
