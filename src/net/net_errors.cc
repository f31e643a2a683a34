#include "net/net_errors.h"

#include <cerrno>
#include <cstring>

#include "base/logging/logging.h"

namespace net {

std::string ErrorToString(int error) {
  for (const ErrorName& entry : kErrorNames) {
    if (entry.code == error) return entry.name;
  }
  return "ERR_UNKNOWN(" + std::to_string(error) + ")";
}

Error MapSystemError(int os_error) {
  switch (os_error) {
    case 0:
      return OK;
    case EPERM:
    case EACCES:
    case EISDIR:
    case ETXTBSY:
    case EROFS:
      return ERR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
      return ERR_FILE_NOT_FOUND;
    case E2BIG:
    case EFAULT:
    case ENODEV:
    case EINVAL:
      return ERR_INVALID_ARGUMENT;
    case EBADF:
      return ERR_INVALID_HANDLE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      return ERR_IO_PENDING;
    case ENOMEM:
      return ERR_OUT_OF_MEMORY;
    case EBUSY:
    case ENFILE:
    case EMFILE:
    case EDEADLK:
    case ENOLCK:
    case EUSERS:
      return ERR_INSUFFICIENT_RESOURCES;
    case EEXIST:
      return ERR_FILE_EXISTS;
    case EFBIG:
      return ERR_FILE_TOO_BIG;
    case ENOSPC:
    case EDQUOT:
      return ERR_FILE_NO_SPACE;
    case EPIPE:
    case ENETRESET:
    case ECONNRESET:
      return ERR_CONNECTION_RESET;
    case ENAMETOOLONG:
      return ERR_FILE_PATH_TOO_LONG;
    case ENOSYS:
    case ENOPROTOOPT:
    case EOPNOTSUPP:
      return ERR_NOT_IMPLEMENTED;
    case EMSGSIZE:
      return ERR_MSG_TOO_BIG;
    case EAFNOSUPPORT:
    case ENETUNREACH:
    case EHOSTDOWN:
    case EHOSTUNREACH:
      return ERR_ADDRESS_UNREACHABLE;
    case EADDRINUSE:
      return ERR_ADDRESS_IN_USE;
    case EADDRNOTAVAIL:
      return ERR_ADDRESS_INVALID;
    case ENETDOWN:
      return ERR_INTERNET_DISCONNECTED;
    case ECONNABORTED:
      return ERR_CONNECTION_ABORTED;
    case ENOBUFS:
      return ERR_NO_BUFFER_SPACE;
    case EISCONN:
      return ERR_SOCKET_IS_CONNECTED;
    case ENOTCONN:
      return ERR_SOCKET_NOT_CONNECTED;
    case ETIMEDOUT:
      return ERR_TIMED_OUT;
    case ECONNREFUSED:
      return ERR_CONNECTION_REFUSED;
    case ECANCELED:
      return ERR_ABORTED;
    default:
      LOG(WARNING) << "Unknown error " << std::strerror(os_error) << " ("
                   << os_error << ") mapped to net::ERR_FAILED";
      return ERR_FAILED;
  }
}

Error MapConnectError(int os_error) {
  switch (os_error) {
    case EINPROGRESS:
      return ERR_IO_PENDING;
    case ETIMEDOUT:
      return ERR_CONNECTION_TIMED_OUT;
    case EACCES:
      return ERR_NETWORK_ACCESS_DENIED;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
      // The listener's backlog is full: nothing is in progress.
      return ERR_INSUFFICIENT_RESOURCES;
    default: {
      Error error = MapSystemError(os_error);
      return error == ERR_FAILED ? ERR_CONNECTION_FAILED : error;
    }
  }
}

}  // namespace net
