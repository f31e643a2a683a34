// The socket address of a Unix-domain stream socket path, built in a
// 128-byte storage: the 2-byte family AF_UNIX, then the path (for the
// abstract namespace after one extra zero byte), zeros for the rest. The
// address length is the path length + 3. A path must be 1 to 125 bytes, so
// that the length never exceeds the storage; the kernel's own limit (a
// 108-byte path field on Linux) is left to connect() to enforce.
//
//   net::UnixAddress address;
//   if (net::FillUnixAddress("/tmp/receiver.sock", false, &address)) {
//     ::connect(fd, address.sockaddr(), address.length);
//   }

#ifndef VORN_NET_UNIX_ADDRESS_H_
#define VORN_NET_UNIX_ADDRESS_H_

#include <sys/socket.h>

#include <cstddef>
#include <string>

namespace net {

// Longest socket path FillUnixAddress accepts, in bytes.
inline constexpr size_t kMaxUnixSocketPathLength = 125;

struct UnixAddress {
  sockaddr_storage storage;  // 128 bytes; [length, 128) is zero
  socklen_t length = 0;      // bytes of `storage` that form the address

  const struct sockaddr* sockaddr() const {
    return reinterpret_cast<const struct sockaddr*>(&storage);
  }
};

// Fills *address for `path`; `abstract` puts the path in Linux's abstract
// namespace (a leading zero byte, no file). Returns false, leaving *address
// untouched, when the path is empty or longer than kMaxUnixSocketPathLength.
// Makes no system call.
bool FillUnixAddress(const std::string& path, bool abstract,
                     UnixAddress* address);

}  // namespace net

#endif  // VORN_NET_UNIX_ADDRESS_H_
