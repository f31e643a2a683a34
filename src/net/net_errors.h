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

// Every error code, once: X(name without "ERR_", value). The enum and the
// name table below are both made from it, so they cannot disagree.
#define VORN_NET_ERRORS(X)       \
  X(IO_PENDING, -1)              \
  X(FAILED, -2)                  \
  X(ABORTED, -3)                 \
  X(INVALID_ARGUMENT, -4)        \
  X(INVALID_HANDLE, -5)          \
  X(FILE_NOT_FOUND, -6)          \
  X(TIMED_OUT, -7)               \
  X(FILE_TOO_BIG, -8)            \
  X(UNEXPECTED, -9)              \
  X(ACCESS_DENIED, -10)          \
  X(NOT_IMPLEMENTED, -11)        \
  X(INSUFFICIENT_RESOURCES, -12) \
  X(OUT_OF_MEMORY, -13)          \
  X(SOCKET_NOT_CONNECTED, -15)   \
  X(FILE_EXISTS, -16)            \
  X(FILE_PATH_TOO_LONG, -17)     \
  X(FILE_NO_SPACE, -18)          \
  X(SOCKET_IS_CONNECTED, -23)    \
  X(CONNECTION_CLOSED, -100)     \
  X(CONNECTION_RESET, -101)      \
  X(CONNECTION_REFUSED, -102)    \
  X(CONNECTION_ABORTED, -103)    \
  X(CONNECTION_FAILED, -104)     \
  X(INTERNET_DISCONNECTED, -106) \
  X(ADDRESS_INVALID, -108)       \
  X(ADDRESS_UNREACHABLE, -109)   \
  X(CONNECTION_TIMED_OUT, -118)  \
  X(NETWORK_ACCESS_DENIED, -138) \
  X(MSG_TOO_BIG, -142)           \
  X(ADDRESS_IN_USE, -147)        \
  X(NO_BUFFER_SPACE, -176)

enum Error : int32_t {
  OK = 0,
#define VORN_NET_ERROR_ENUMERATOR(name, value) ERR_##name = value,
  VORN_NET_ERRORS(VORN_NET_ERROR_ENUMERATOR)
#undef VORN_NET_ERROR_ENUMERATOR
};

struct ErrorName {
  Error code;
  const char* name;  // as ErrorToString prints it
};

// Every code with its name, OK first.
// clang-format off
inline constexpr ErrorName kErrorNames[] = {
    {OK, "OK"},
#define VORN_NET_ERROR_NAME(name, value) {ERR_##name, "ERR_" #name},
    VORN_NET_ERRORS(VORN_NET_ERROR_NAME)
#undef VORN_NET_ERROR_NAME
};
// clang-format on

// "OK" for 0, "ERR_" + the name for a code of kErrorNames, and
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
