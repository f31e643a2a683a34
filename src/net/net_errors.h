// NetError: the result of every socket operation, a signed 32-bit integer.
// OK (0) is success; for reads and writes a non-negative value is a byte
// count. ERR_IO_PENDING (-1) means the operation goes on and completes later
// through its callback on the event loop's thread. Every other negative value
// is an error, printed as "ERR_" followed by its name.
//
//   int rv = net::MapSystemError(ECONNRESET);   // net::ERR_CONNECTION_RESET
//   net::ErrorToString(rv);                      // "ERR_CONNECTION_RESET"
//   net::ErrorToString(net::OK);                 // "OK"
//
// System error numbers are translated here and nowhere else.

#ifndef VORN_NET_NET_ERRORS_H_
#define VORN_NET_NET_ERRORS_H_

#include <cstdint>
#include <string>

namespace net {

enum Error : int32_t {
  OK = 0,
  ERR_IO_PENDING = -1,
  ERR_FAILED = -2,
  ERR_ABORTED = -3,
  ERR_INVALID_ARGUMENT = -4,
  ERR_INVALID_HANDLE = -5,
  ERR_FILE_NOT_FOUND = -6,
  ERR_TIMED_OUT = -7,
  ERR_FILE_TOO_BIG = -8,
  ERR_UNEXPECTED = -9,
  ERR_ACCESS_DENIED = -10,
  ERR_NOT_IMPLEMENTED = -11,
  ERR_INSUFFICIENT_RESOURCES = -12,
  ERR_OUT_OF_MEMORY = -13,
  ERR_SOCKET_NOT_CONNECTED = -15,
  ERR_FILE_EXISTS = -16,
  ERR_FILE_PATH_TOO_LONG = -17,
  ERR_FILE_NO_SPACE = -18,
  ERR_SOCKET_IS_CONNECTED = -23,
  ERR_CONNECTION_CLOSED = -100,
  ERR_CONNECTION_RESET = -101,
  ERR_CONNECTION_REFUSED = -102,
  ERR_CONNECTION_ABORTED = -103,
  ERR_CONNECTION_FAILED = -104,
  ERR_INTERNET_DISCONNECTED = -106,
  ERR_ADDRESS_INVALID = -108,
  ERR_ADDRESS_UNREACHABLE = -109,
  ERR_CONNECTION_TIMED_OUT = -118,
  ERR_NETWORK_ACCESS_DENIED = -138,
  ERR_MSG_TOO_BIG = -142,
  ERR_ADDRESS_IN_USE = -147,
  ERR_NO_BUFFER_SPACE = -176,
};

// "OK" for 0, "ERR_" + the name for a code of the table above, and
// "ERR_UNKNOWN(" + the number + ")" for any other value.
std::string ErrorToString(int error);

// The NetError of a system error number `os_error` (an errno value) after
// any operation other than connect. 0 gives OK and EAGAIN (= EWOULDBLOCK)
// ERR_IO_PENDING. A number outside the table gives ERR_FAILED after the
// WARNING "Unknown error <system text> (<number>) mapped to net::ERR_FAILED".
Error MapSystemError(int os_error);

// The NetError of a failed connect(), or of the SO_ERROR value read after a
// non-blocking connect. Differs from MapSystemError in: EINPROGRESS gives
// ERR_IO_PENDING, ETIMEDOUT ERR_CONNECTION_TIMED_OUT, EACCES
// ERR_NETWORK_ACCESS_DENIED, EAGAIN ERR_INSUFFICIENT_RESOURCES, and a result
// of ERR_FAILED becomes ERR_CONNECTION_FAILED.
//
// EAGAIN is no pending connect: a Unix-domain listener whose backlog is full
// refuses a non-blocking connect with it, and the connect never started, so
// waiting for writability would report a connection that does not exist.
// Callers see an ordinary error and may try again.
Error MapConnectError(int os_error);

}  // namespace net

#endif  // VORN_NET_NET_ERRORS_H_
