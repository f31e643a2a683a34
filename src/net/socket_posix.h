// SocketPosix: one non-blocking Unix-domain stream socket descriptor with
// connect, read, write and close, completing through the current thread's
// I/O event loop (MessagePumpLibevent watches) when the descriptor is not
// ready.
//
//   net::SocketPosix socket;
//   int rv = socket.Open(AF_UNIX);
//   if (rv == net::OK) rv = socket.Connect(address, on_connected);
//   // rv: OK, an error, or ERR_IO_PENDING (on_connected runs later)
//
// Every operation returns a result at once or ERR_IO_PENDING; a pending
// operation's callback runs later, once, on the loop's thread, and never
// with ERR_IO_PENDING. At most one read and one write (or the connect) may be
// pending. Destroying the socket or Close drops pending callbacks unrun.
// System calls retry on EINTR; errno values are mapped to NetError
// (net_errors.h).

#ifndef VORN_NET_SOCKET_POSIX_H_
#define VORN_NET_SOCKET_POSIX_H_

#include "base/task/message_pump_libevent.h"
#include "net/stream_socket.h"
#include "net/unix_address.h"

namespace net {

class SocketPosix final : public base::MessagePumpLibevent::FdWatcher {
 public:
  SocketPosix();
  // Closes the descriptor.
  ~SocketPosix() override;

  SocketPosix(const SocketPosix&) = delete;
  SocketPosix& operator=(const SocketPosix&) = delete;

  // Creates a stream socket of `address_family` and makes it non-blocking.
  // Returns OK, or the mapped error after the ERROR line
  // "CreatePlatformSocket() failed" (with the system's text) when socket()
  // fails; a failure to set non-blocking mode closes the descriptor and
  // returns the mapped error. Must not already be open.
  int Open(int address_family);

  // Takes ownership of `socket_fd`, an already connected stream socket (one
  // end of a socketpair, say), and makes it non-blocking. Returns OK, or the
  // mapped fcntl() error (the descriptor is then closed). Must not already
  // be open.
  int AdoptConnectedSocket(int socket_fd);

  // Connects the open socket to `address` (copied). Returns OK, a connect
  // error (MapConnectError), or ERR_IO_PENDING: then `callback` runs with
  // the outcome once the descriptor becomes writable.
  int Connect(const UnixAddress& address, CompletionOnceCallback callback);

  // Reads up to `buf_len` bytes: the count (0 at the end of the stream), an
  // error, or ERR_IO_PENDING: then `buf` must stay valid until `callback`
  // ran or the socket closed.
  int Read(char* buf, int buf_len, CompletionOnceCallback callback);

  // Sends up to `buf_len` bytes with MSG_NOSIGNAL, so a vanished peer gives
  // an error (ERR_CONNECTION_RESET), never SIGPIPE. Results as for Read.
  int Write(const char* buf, int buf_len, CompletionOnceCallback callback);

  // Stops both watches, drops pending callbacks and closes the descriptor
  // (an EINTR from close() counts as closed; another failure logs the ERROR
  // "close() failed"). Safe to call when not open.
  void Close();

  int socket_fd() const { return socket_fd_; }

 private:
  // base::MessagePumpLibevent::FdWatcher:
  void OnFileCanReadWithoutBlocking(int fd) override;
  void OnFileCanWriteWithoutBlocking(int fd) override;

  // The SO_ERROR of the socket, mapped the connect way.
  int PendingConnectResult() const;
  // The descriptor became writable while connecting.
  void ConnectCompleted();
  int DoRead(char* buf, int buf_len);
  int DoWrite(const char* buf, int buf_len);

  int socket_fd_ = -1;  // owned; -1 when closed
  UnixAddress peer_address_;
  base::MessagePumpLibevent::FdWatchController read_socket_watcher_;
  base::MessagePumpLibevent::FdWatchController write_socket_watcher_;

  // The pending read: all set, or all null.
  char* read_buf_ = nullptr;
  int read_buf_len_ = 0;
  CompletionOnceCallback read_callback_;

  // The pending write (or connect, with waiting_connect_): all set, or all
  // null.
  const char* write_buf_ = nullptr;
  int write_buf_len_ = 0;
  CompletionOnceCallback write_callback_;
  bool waiting_connect_ = false;  // write_callback_ completes a connect
};

}  // namespace net

#endif  // VORN_NET_SOCKET_POSIX_H_
