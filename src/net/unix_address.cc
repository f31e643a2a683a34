#include "net/unix_address.h"

#include <sys/un.h>

#include <cstring>

namespace net {

static_assert(sizeof(sockaddr_storage) == 128,
              "the address rule assumes a 128-byte storage");
static_assert(offsetof(sockaddr_un, sun_path) == 2,
              "the path follows the 2-byte family field");

bool FillUnixAddress(const std::string& path, bool abstract,
                     UnixAddress* address) {
  if (path.empty() || path.size() > kMaxUnixSocketPathLength) return false;
  std::memset(&address->storage, 0, sizeof(address->storage));
  auto* bytes = reinterpret_cast<char*>(&address->storage);
  sa_family_t family = AF_UNIX;
  std::memcpy(bytes, &family, sizeof(family));
  // After the family: the path, ended by the zero that follows it in the
  // cleared storage; in the abstract namespace a zero byte comes first.
  size_t path_offset = offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0);
  std::memcpy(bytes + path_offset, path.data(), path.size());
  address->length = static_cast<socklen_t>(path.size() + 3);
  return true;
}

}  // namespace net
