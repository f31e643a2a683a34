// Result codes, their names, the errno mappings and the Unix address rule.

#include "net/net_errors.h"

#include <sys/un.h>

#include <cerrno>
#include <cstring>
#include <set>
#include <string>

#include "base/logging/logging.h"
#include "gtest/gtest.h"
#include "net/unix_address.h"
#include "tests/support/log_capture.h"

namespace net {
namespace {

TEST(NetErrorTest, Names) {
  std::set<int> codes;
  for (const ErrorName& entry : kErrorNames) {
    EXPECT_EQ(ErrorToString(entry.code), entry.name);
    EXPECT_TRUE(codes.insert(entry.code).second) << entry.name;
  }
  EXPECT_EQ(ErrorToString(ERR_ADDRESS_INVALID), "ERR_ADDRESS_INVALID");
  EXPECT_EQ(ErrorToString(-14), "ERR_UNKNOWN(-14)");
}

TEST(NetErrorTest, CodesKeepTheirNumbers) {
  EXPECT_EQ(ERR_UNEXPECTED, -9);
  EXPECT_EQ(ERR_INSUFFICIENT_RESOURCES, -12);
  EXPECT_EQ(ERR_CONNECTION_CLOSED, -100);
  EXPECT_EQ(ERR_CONNECTION_TIMED_OUT, -118);
  EXPECT_EQ(ERR_MSG_TOO_BIG, -142);
  EXPECT_EQ(ERR_NO_BUFFER_SPACE, -176);
}

TEST(NetErrorTest, SystemErrorTable) {
  struct {
    int os_error;
    Error expected;
  } const kCases[] = {
      {0, OK},
      {EPERM, ERR_ACCESS_DENIED},
      {EACCES, ERR_ACCESS_DENIED},
      {EROFS, ERR_ACCESS_DENIED},
      {ENOENT, ERR_FILE_NOT_FOUND},
      {ENOTDIR, ERR_FILE_NOT_FOUND},
      {EINVAL, ERR_INVALID_ARGUMENT},
      {EFAULT, ERR_INVALID_ARGUMENT},
      {EBADF, ERR_INVALID_HANDLE},
      {EAGAIN, ERR_IO_PENDING},
      {EWOULDBLOCK, ERR_IO_PENDING},
      {ENOMEM, ERR_OUT_OF_MEMORY},
      {EMFILE, ERR_INSUFFICIENT_RESOURCES},
      {EUSERS, ERR_INSUFFICIENT_RESOURCES},
      {EEXIST, ERR_FILE_EXISTS},
      {EFBIG, ERR_FILE_TOO_BIG},
      {EDQUOT, ERR_FILE_NO_SPACE},
      {EPIPE, ERR_CONNECTION_RESET},
      {ECONNRESET, ERR_CONNECTION_RESET},
      {ENAMETOOLONG, ERR_FILE_PATH_TOO_LONG},
      {EOPNOTSUPP, ERR_NOT_IMPLEMENTED},
      {EMSGSIZE, ERR_MSG_TOO_BIG},
      {EHOSTUNREACH, ERR_ADDRESS_UNREACHABLE},
      {EADDRINUSE, ERR_ADDRESS_IN_USE},
      {EADDRNOTAVAIL, ERR_ADDRESS_INVALID},
      {ENETDOWN, ERR_INTERNET_DISCONNECTED},
      {ECONNABORTED, ERR_CONNECTION_ABORTED},
      {ENOBUFS, ERR_NO_BUFFER_SPACE},
      {EISCONN, ERR_SOCKET_IS_CONNECTED},
      {ENOTCONN, ERR_SOCKET_NOT_CONNECTED},
      {ETIMEDOUT, ERR_TIMED_OUT},
      {ECONNREFUSED, ERR_CONNECTION_REFUSED},
      {ECANCELED, ERR_ABORTED},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(MapSystemError(c.os_error), c.expected)
        << "errno " << c.os_error << " (" << std::strerror(c.os_error) << ")";
  }
}

TEST(NetErrorTest, UnknownErrorIsFailedWithAWarning) {
  vorn::test::ScopedLogCapture log;
  EXPECT_EQ(MapSystemError(EXDEV), ERR_FAILED);
  EXPECT_TRUE(log.Has(logging::LOG_WARNING, std::string("Unknown error ") +
                                                std::strerror(EXDEV) + " (" +
                                                std::to_string(EXDEV) +
                                                ") mapped to net::ERR_FAILED"))
      << log.Texts();
}

TEST(NetErrorTest, ConnectMapping) {
  EXPECT_EQ(MapConnectError(0), OK);
  EXPECT_EQ(MapConnectError(EINPROGRESS), ERR_IO_PENDING);
  EXPECT_EQ(MapConnectError(ETIMEDOUT), ERR_CONNECTION_TIMED_OUT);
  EXPECT_EQ(MapConnectError(EACCES), ERR_NETWORK_ACCESS_DENIED);
  EXPECT_EQ(MapConnectError(ECONNREFUSED), ERR_CONNECTION_REFUSED);
  EXPECT_EQ(MapConnectError(ENOENT), ERR_FILE_NOT_FOUND);
  EXPECT_EQ(MapConnectError(EPERM), ERR_ACCESS_DENIED);
  vorn::test::ScopedLogCapture log;
  EXPECT_EQ(MapConnectError(EXDEV), ERR_CONNECTION_FAILED);
  EXPECT_EQ(log.Count(logging::LOG_WARNING, "mapped to net::ERR_FAILED"), 1);
}

// A full listen backlog makes a non-blocking connect fail with EAGAIN; no
// connect is in progress, so it must not look pending.
TEST(NetErrorTest, ConnectEagainIsAnOrdinaryError) {
  EXPECT_EQ(MapConnectError(EAGAIN), ERR_INSUFFICIENT_RESOURCES);
  EXPECT_EQ(MapSystemError(EAGAIN), ERR_IO_PENDING);
}

// --- Unix addresses ----------------------------------------------------------

TEST(UnixAddressTest, PathFollowsTheFamily) {
  UnixAddress address;
  ASSERT_TRUE(FillUnixAddress("/tmp/s", false, &address));
  EXPECT_EQ(address.length, 9u);  // 2 + 6 + 1
  const auto* un = reinterpret_cast<const sockaddr_un*>(&address.storage);
  EXPECT_EQ(un->sun_family, AF_UNIX);
  EXPECT_STREQ(un->sun_path, "/tmp/s");
  // The rest of the storage is zero.
  const auto* bytes = reinterpret_cast<const unsigned char*>(&address.storage);
  for (size_t i = 8; i < sizeof(address.storage); ++i) {
    ASSERT_EQ(bytes[i], 0) << "byte " << i;
  }
}

TEST(UnixAddressTest, AbstractNamespaceStartsWithZero) {
  UnixAddress address;
  ASSERT_TRUE(FillUnixAddress("vorn", true, &address));
  EXPECT_EQ(address.length, 7u);
  const auto* un = reinterpret_cast<const sockaddr_un*>(&address.storage);
  EXPECT_EQ(un->sun_path[0], '\0');
  EXPECT_EQ(std::string(un->sun_path + 1, 4), "vorn");
}

TEST(UnixAddressTest, LengthLimits) {
  UnixAddress address;
  EXPECT_FALSE(FillUnixAddress("", false, &address));
  EXPECT_FALSE(FillUnixAddress(std::string(126, 'a'), false, &address));
  EXPECT_FALSE(FillUnixAddress(std::string(126, 'a'), true, &address));
  ASSERT_TRUE(FillUnixAddress(std::string(125, 'a'), false, &address));
  EXPECT_EQ(address.length, 128u);
  ASSERT_TRUE(FillUnixAddress(std::string(125, 'a'), true, &address));
  EXPECT_EQ(address.length, 128u);
}

}  // namespace
}  // namespace net
