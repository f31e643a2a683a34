// ScopedFd: owns one file descriptor and closes it when it goes out of scope.
//
//   base::ScopedFd fd(base::RetryOnEintr([&] { return open(path, O_RDONLY);
//   })); if (!fd.valid()) return false;
//   ...
//   return fd.Close();  // reports a failed close (a lost write-back)

#ifndef VORN_BASE_FILES_SCOPED_FD_H_
#define VORN_BASE_FILES_SCOPED_FD_H_

#include <unistd.h>

#include <cerrno>

namespace base {

class ScopedFd final {
 public:
  explicit ScopedFd(int fd = -1) : fd_(fd) {}
  ~ScopedFd() { Close(); }
  ScopedFd(const ScopedFd&) = delete;
  ScopedFd& operator=(const ScopedFd&) = delete;

  int get() const { return fd_; }
  bool valid() const { return fd_ >= 0; }
  // Closes the descriptor held, then holds `fd`.
  void reset(int fd = -1) {
    Close();
    fd_ = fd;
  }
  // Closes now; true when the close succeeded or nothing was open. On Linux a
  // close interrupted by a signal has released the descriptor all the same,
  // so EINTR counts as success (and is never retried).
  bool Close() {
    if (fd_ < 0) return true;
    const int fd = fd_;
    fd_ = -1;
    return close(fd) == 0 || errno == EINTR;
  }

 private:
  int fd_;  // -1 when none
};

}  // namespace base

#endif  // VORN_BASE_FILES_SCOPED_FD_H_
