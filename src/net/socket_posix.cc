#include "net/socket_posix.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "base/logging/eintr.h"
#include "base/logging/logging.h"
#include "base/task/location.h"
#include "base/task/single_thread_task_executor.h"
#include "net/net_errors.h"

namespace net {

namespace {

// The error to report after a failed descriptor watch. libevent does not
// always leave errno set; a watch failure must never read as success or as
// a pending operation, which nothing would complete.
int WatchFailureError(int os_error, bool connecting) {
  int rv = connecting ? MapConnectError(os_error) : MapSystemError(os_error);
  return (rv == OK || rv == ERR_IO_PENDING) ? ERR_FAILED : rv;
}

bool Watch(int fd, base::MessagePumpLibevent::Mode mode,
           base::MessagePumpLibevent::FdWatchController* controller,
           base::MessagePumpLibevent::FdWatcher* watcher) {
  errno = 0;
  return base::CurrentIOThread::Get().WatchFileDescriptor(
      fd, /*persistent=*/true, mode, controller, watcher);
}

}  // namespace

SocketPosix::SocketPosix()
    : read_socket_watcher_(FROM_HERE), write_socket_watcher_(FROM_HERE) {}

SocketPosix::~SocketPosix() { Close(); }

int SocketPosix::Open(int address_family) {
  CHECK(socket_fd_ == -1);
  int fd = base::RetryOnEintr(
      [&] { return ::socket(address_family, SOCK_STREAM, 0); });
  if (fd < 0) {
    int os_error = errno;
    PLOG(ERROR) << "CreatePlatformSocket() failed";
    return MapSystemError(os_error);
  }
  return AdoptConnectedSocket(fd);
}

int SocketPosix::AdoptConnectedSocket(int socket_fd) {
  CHECK(socket_fd_ == -1);
  int flags = base::RetryOnEintr([&] { return ::fcntl(socket_fd, F_GETFL); });
  if (flags == -1 || base::RetryOnEintr([&] {
                       return ::fcntl(socket_fd, F_SETFL, flags | O_NONBLOCK);
                     }) == -1) {
    int os_error = errno;
    ::close(socket_fd);
    return MapSystemError(os_error);
  }
  socket_fd_ = socket_fd;
  return OK;
}

int SocketPosix::Connect(const UnixAddress& address,
                         CompletionOnceCallback callback) {
  CHECK(socket_fd_ != -1);
  CHECK(!waiting_connect_);
  peer_address_ = address;
  int rv = base::RetryOnEintr([&] {
    return ::connect(socket_fd_, peer_address_.sockaddr(),
                     peer_address_.length);
  });
  if (rv == 0) return OK;
  int os_error = errno;
  rv = MapConnectError(os_error);
  if (rv != ERR_IO_PENDING) return rv;

  if (!Watch(socket_fd_, base::MessagePumpLibevent::WATCH_WRITE,
             &write_socket_watcher_, this)) {
    int watch_error = errno;
    PLOG(ERROR) << "WatchFileDescriptor failed on connect";
    return WatchFailureError(watch_error, /*connecting=*/true);
  }
  // A connect may have failed already; SO_ERROR says so. 0 means it is
  // still in progress (or done), which writability will tell.
  rv = PendingConnectResult();
  if (rv != OK && rv != ERR_IO_PENDING) {
    write_socket_watcher_.StopWatchingFileDescriptor();
    return rv;
  }
  write_callback_ = std::move(callback);
  waiting_connect_ = true;
  return ERR_IO_PENDING;
}

int SocketPosix::PendingConnectResult() const {
  int os_error = 0;
  socklen_t length = sizeof(os_error);
  if (::getsockopt(socket_fd_, SOL_SOCKET, SO_ERROR, &os_error, &length) < 0) {
    os_error = errno;
  }
  return MapConnectError(os_error);
}

void SocketPosix::ConnectCompleted() {
  int rv = PendingConnectResult();
  if (rv == ERR_IO_PENDING) return;
  write_socket_watcher_.StopWatchingFileDescriptor();
  waiting_connect_ = false;
  std::move(write_callback_).Run(rv);
}

int SocketPosix::Read(char* buf, int buf_len, CompletionOnceCallback callback) {
  CHECK(socket_fd_ != -1);
  CHECK(!waiting_connect_);
  CHECK(read_callback_.is_null());
  CHECK(buf_len > 0);
  int rv = DoRead(buf, buf_len);
  if (rv != ERR_IO_PENDING) return rv;
  if (!Watch(socket_fd_, base::MessagePumpLibevent::WATCH_READ,
             &read_socket_watcher_, this)) {
    int watch_error = errno;
    PLOG(ERROR) << "WatchFileDescriptor failed on read";
    return WatchFailureError(watch_error, /*connecting=*/false);
  }
  read_buf_ = buf;
  read_buf_len_ = buf_len;
  read_callback_ = std::move(callback);
  return ERR_IO_PENDING;
}

int SocketPosix::DoRead(char* buf, int buf_len) {
  ssize_t rv = base::RetryOnEintr(
      [&] { return ::read(socket_fd_, buf, static_cast<size_t>(buf_len)); });
  return rv >= 0 ? static_cast<int>(rv) : MapSystemError(errno);
}

int SocketPosix::Write(const char* buf, int buf_len,
                       CompletionOnceCallback callback) {
  CHECK(socket_fd_ != -1);
  CHECK(!waiting_connect_);
  CHECK(write_callback_.is_null());
  CHECK(buf_len > 0);
  int rv = DoWrite(buf, buf_len);
  if (rv != ERR_IO_PENDING) return rv;
  if (!Watch(socket_fd_, base::MessagePumpLibevent::WATCH_WRITE,
             &write_socket_watcher_, this)) {
    int watch_error = errno;
    PLOG(ERROR) << "WatchFileDescriptor failed on write";
    return WatchFailureError(watch_error, /*connecting=*/false);
  }
  write_buf_ = buf;
  write_buf_len_ = buf_len;
  write_callback_ = std::move(callback);
  return ERR_IO_PENDING;
}

int SocketPosix::DoWrite(const char* buf, int buf_len) {
  ssize_t rv = base::RetryOnEintr([&] {
    return ::send(socket_fd_, buf, static_cast<size_t>(buf_len), MSG_NOSIGNAL);
  });
  return rv >= 0 ? static_cast<int>(rv) : MapSystemError(errno);
}

void SocketPosix::OnFileCanReadWithoutBlocking(int fd) {
  if (read_callback_.is_null()) return;
  int rv = DoRead(read_buf_, read_buf_len_);
  if (rv == ERR_IO_PENDING) return;
  read_socket_watcher_.StopWatchingFileDescriptor();
  read_buf_ = nullptr;
  read_buf_len_ = 0;
  // Last: the callback may destroy this socket.
  std::move(read_callback_).Run(rv);
}

void SocketPosix::OnFileCanWriteWithoutBlocking(int fd) {
  if (write_callback_.is_null()) return;
  if (waiting_connect_) {
    ConnectCompleted();
    return;
  }
  int rv = DoWrite(write_buf_, write_buf_len_);
  if (rv == ERR_IO_PENDING) return;
  write_socket_watcher_.StopWatchingFileDescriptor();
  write_buf_ = nullptr;
  write_buf_len_ = 0;
  // Last: the callback may destroy this socket.
  std::move(write_callback_).Run(rv);
}

void SocketPosix::Close() {
  read_socket_watcher_.StopWatchingFileDescriptor();
  write_socket_watcher_.StopWatchingFileDescriptor();
  read_buf_ = nullptr;
  read_buf_len_ = 0;
  read_callback_.Reset();
  write_buf_ = nullptr;
  write_buf_len_ = 0;
  write_callback_.Reset();
  waiting_connect_ = false;
  if (socket_fd_ == -1) return;
  // Not retried: on Linux the descriptor is released even when close()
  // reports EINTR, and a second close() could hit a descriptor that another
  // part of the program opened meanwhile.
  if (::close(socket_fd_) < 0 && errno != EINTR) {
    PLOG(ERROR) << "close() failed";
  }
  socket_fd_ = -1;
}

}  // namespace net
