// UnixDomainClientSocket: the client end of a Unix-domain stream socket,
// connected without blocking and then read and written as a StreamSocket.
//
//   auto socket = std::make_unique<net::UnixDomainClientSocket>(
//       "/tmp/receiver.sock", /*use_abstract_namespace=*/false);
//   int rv = socket->Connect([](int result) { ... });
//   // rv: OK, ERR_IO_PENDING, ERR_ADDRESS_INVALID (empty or > 125 bytes,
//   // no system call made), ERR_FILE_NOT_FOUND (no file at the path),
//   // ERR_CONNECTION_REFUSED (a socket file nobody listens on), ...
//
// Runs on the thread of the current I/O event loop; callbacks arrive there.

#ifndef VORN_NET_UNIX_DOMAIN_CLIENT_SOCKET_H_
#define VORN_NET_UNIX_DOMAIN_CLIENT_SOCKET_H_

#include <memory>
#include <string>

#include "net/socket_posix.h"
#include "net/stream_socket.h"

namespace net {

class UnixDomainClientSocket final : public StreamSocket {
 public:
  // `socket_path` is used as given (not trimmed or resolved).
  UnixDomainClientSocket(const std::string& socket_path,
                         bool use_abstract_namespace);
  // Wraps an already connected socket (not null, open); Connect must not be
  // called on it.
  explicit UnixDomainClientSocket(std::unique_ptr<SocketPosix> socket);
  // Closes the descriptor; pending callbacks are dropped.
  ~UnixDomainClientSocket() override;

  UnixDomainClientSocket(const UnixDomainClientSocket&) = delete;
  UnixDomainClientSocket& operator=(const UnixDomainClientSocket&) = delete;

  // Creates a new socket (closing an earlier one) and connects it. Returns
  // OK, ERR_IO_PENDING (then `callback` runs once with the outcome), or an
  // error: ERR_ADDRESS_INVALID for an empty path or one over 125 bytes,
  // else the mapped error of socket(), fcntl() or connect().
  int Connect(CompletionOnceCallback callback);

  // StreamSocket. ERR_SOCKET_NOT_CONNECTED before Connect.
  int Read(char* buf, int buf_len, CompletionOnceCallback callback) override;
  int Write(const char* buf, int buf_len,
            CompletionOnceCallback callback) override;

  const std::string& socket_path() const { return socket_path_; }

 private:
  const std::string socket_path_;
  const bool use_abstract_namespace_;
  std::unique_ptr<SocketPosix> socket_;  // null before Connect; replaced by
                                         // each Connect
};

}  // namespace net

#endif  // VORN_NET_UNIX_DOMAIN_CLIENT_SOCKET_H_
