#include "net/unix_domain_client_socket.h"

#include <sys/socket.h>

#include <utility>

#include "base/logging/logging.h"
#include "net/net_errors.h"
#include "net/unix_address.h"

namespace net {

UnixDomainClientSocket::UnixDomainClientSocket(const std::string& socket_path,
                                               bool use_abstract_namespace)
    : socket_path_(socket_path),
      use_abstract_namespace_(use_abstract_namespace) {}

UnixDomainClientSocket::UnixDomainClientSocket(
    std::unique_ptr<SocketPosix> socket)
    : use_abstract_namespace_(false), socket_(std::move(socket)) {
  CHECK(socket_ != nullptr && socket_->socket_fd() != -1);
}

UnixDomainClientSocket::~UnixDomainClientSocket() = default;

int UnixDomainClientSocket::Connect(CompletionOnceCallback callback) {
  UnixAddress address;
  if (!FillUnixAddress(socket_path_, use_abstract_namespace_, &address)) {
    return ERR_ADDRESS_INVALID;
  }
  socket_ = std::make_unique<SocketPosix>();
  int rv = socket_->Open(AF_UNIX);
  if (rv != OK) return rv;
  return socket_->Connect(address, std::move(callback));
}

int UnixDomainClientSocket::Read(char* buf, int buf_len,
                                 CompletionOnceCallback callback) {
  if (!socket_ || socket_->socket_fd() == -1) return ERR_SOCKET_NOT_CONNECTED;
  return socket_->Read(buf, buf_len, std::move(callback));
}

int UnixDomainClientSocket::Write(const char* buf, int buf_len,
                                  CompletionOnceCallback callback) {
  if (!socket_ || socket_->socket_fd() == -1) return ERR_SOCKET_NOT_CONNECTED;
  return socket_->Write(buf, buf_len, std::move(callback));
}

}  // namespace net
