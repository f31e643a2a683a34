// UnixDomainClientSocket and SocketPosix against listeners and peers made in
// the test, on a real I/O event loop.

#include "net/unix_domain_client_socket.h"

#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/files/scoped_fd.h"
#include "base/logging/logging.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "gtest/gtest.h"
#include "net/net_errors.h"
#include "tests/support/files.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

// This program's own socket() and connect() take the place of the C
// library's (the socket layer is linked statically into it), count the
// calls and pass them on to the kernel.
namespace {
int g_socket_calls = 0;
int g_connect_calls = 0;
int g_socket_error = 0;  // when not 0, socket() fails with this errno
}  // namespace

extern "C" int socket(int domain, int type, int protocol) {
  ++g_socket_calls;
  if (g_socket_error != 0) {
    errno = g_socket_error;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_socket, domain, type, protocol));
}

extern "C" int connect(int fd, const struct sockaddr* address,
                       socklen_t length) {
  ++g_connect_calls;
  return static_cast<int>(::syscall(SYS_connect, fd, address, length));
}

namespace net {
namespace {

sockaddr_un AddressOf(const std::string& path) {
  sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
  return address;
}

// A socket bound at `path`; listening with `backlog` unless it is negative.
int BoundSocket(const std::string& path, int backlog) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address = AddressOf(path);
  if (fd < 0 ||
      ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      (backlog >= 0 && ::listen(fd, backlog) != 0)) {
    ADD_FAILURE() << "listener at " << path << ": " << std::strerror(errno);
  }
  return fd;
}

class UnixDomainClientSocketTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.valid()); }

  // Connects `socket`, running the loop while the connect is pending.
  int Connect(UnixDomainClientSocket* socket) {
    int result = ERR_IO_PENDING;
    base::RunLoop run_loop;
    int rv = socket->Connect([&](int r) {
      result = r;
      run_loop.Quit();
    });
    if (rv != ERR_IO_PENDING) return rv;
    run_loop.Run();
    return result;
  }

  int ConnectTo(const std::string& path) {
    UnixDomainClientSocket socket(path, false);
    return Connect(&socket);
  }

  // A client connected to a fresh listener, and the accepted peer.
  void ConnectPair(std::unique_ptr<UnixDomainClientSocket>* client,
                   base::ScopedFd* peer) {
    std::string path = dir_.Path("pair.sock");
    listener_.reset(BoundSocket(path, 4));
    *client = std::make_unique<UnixDomainClientSocket>(path, false);
    ASSERT_EQ(Connect(client->get()), OK);
    peer->reset(::accept(listener_.get(), nullptr, nullptr));
    ASSERT_GE(peer->get(), 0);
  }

  base::SingleThreadTaskExecutor executor_{base::MessagePumpType::IO};
  vorn::test::ScopedTempDir dir_;
  base::ScopedFd listener_;
};

// --- Connect -----------------------------------------------------------------

// The address is checked before any system call: neither socket() nor
// connect() runs for a bad path, while a path that passes the check reaches
// both.
TEST_F(UnixDomainClientSocketTest, InvalidPathFailsWithoutASystemCall) {
  int sockets = g_socket_calls, connects = g_connect_calls;
  EXPECT_EQ(ConnectTo(""), ERR_ADDRESS_INVALID);
  EXPECT_EQ(ConnectTo(std::string(126, 'a')), ERR_ADDRESS_INVALID);
  EXPECT_EQ(g_socket_calls, sockets);
  EXPECT_EQ(g_connect_calls, connects);
  EXPECT_EQ(ConnectTo(std::string(125, 'b')), ERR_INVALID_ARGUMENT);
  EXPECT_EQ(g_socket_calls, sockets + 1);
  EXPECT_EQ(g_connect_calls, connects + 1);
}

TEST_F(UnixDomainClientSocketTest, SocketFailureIsLoggedAndMapped) {
  vorn::test::ScopedLogCapture log;
  g_socket_error = EMFILE;
  int rv = ConnectTo(dir_.Path("any.sock"));
  g_socket_error = 0;
  EXPECT_EQ(rv, ERR_INSUFFICIENT_RESOURCES);
  EXPECT_TRUE(log.Has(logging::LOG_ERROR,
                      std::string("CreatePlatformSocket() failed: ") +
                          std::strerror(EMFILE) + " (" +
                          std::to_string(EMFILE) + ")"))
      << log.Texts();
}

// 125 bytes pass the address check; the kernel's shorter path field then
// refuses the address in connect().
TEST_F(UnixDomainClientSocketTest, PathOf125BytesReachesConnect) {
  std::string path = dir_.path() + "/";
  path += std::string(125 - path.size(), 'c');
  ASSERT_EQ(path.size(), 125u);
  EXPECT_EQ(ConnectTo(path), ERR_INVALID_ARGUMENT);
}

TEST_F(UnixDomainClientSocketTest, MissingFileIsFileNotFound) {
  EXPECT_EQ(ConnectTo(dir_.Path("absent.sock")), ERR_FILE_NOT_FOUND);
  EXPECT_EQ(ConnectTo(dir_.Path("no/such/dir.sock")), ERR_FILE_NOT_FOUND);
}

TEST_F(UnixDomainClientSocketTest, SocketFileWithoutListenerIsRefused) {
  std::string path = dir_.Path("stale.sock");
  base::ScopedFd bound(BoundSocket(path, -1));
  EXPECT_EQ(ConnectTo(path), ERR_CONNECTION_REFUSED);
  bound.reset();  // the file stays behind, as after a crashed receiver
  EXPECT_EQ(ConnectTo(path), ERR_CONNECTION_REFUSED);
}

TEST_F(UnixDomainClientSocketTest, RegularFileIsRefused) {
  std::string path = dir_.Path("plain-file");
  ASSERT_TRUE(vorn::test::WriteFile(path, "not a socket"));
  EXPECT_EQ(ConnectTo(path), ERR_CONNECTION_REFUSED);
}

// A listener whose backlog is full refuses a non-blocking connect with
// EAGAIN. Nothing is in progress then: the result must be an ordinary error,
// never ERR_IO_PENDING (which would wait for a connection that cannot come).
TEST_F(UnixDomainClientSocketTest, FullBacklogIsAnOrdinaryError) {
  std::string path = dir_.Path("busy.sock");
  listener_.reset(BoundSocket(path, 0));
  std::vector<std::unique_ptr<UnixDomainClientSocket>> clients;
  int rv = OK;
  for (int i = 0; i < 16 && rv == OK; ++i) {
    clients.push_back(std::make_unique<UnixDomainClientSocket>(path, false));
    rv = clients.back()->Connect([](int) { ADD_FAILURE() << "no callback"; });
  }
  EXPECT_EQ(rv, ERR_INSUFFICIENT_RESOURCES);
  EXPECT_GE(clients.size(), 2u);
  // Once the listener accepts, a new connect succeeds.
  base::ScopedFd accepted(::accept(listener_.get(), nullptr, nullptr));
  ASSERT_GE(accepted.get(), 0);
  EXPECT_EQ(ConnectTo(path), OK);
}

TEST_F(UnixDomainClientSocketTest, ConnectAgainReplacesTheSocket) {
  std::string path = dir_.Path("again.sock");
  listener_.reset(BoundSocket(path, 4));
  UnixDomainClientSocket socket(path, false);
  ASSERT_EQ(Connect(&socket), OK);
  ASSERT_EQ(Connect(&socket), OK);
  base::ScopedFd first(::accept(listener_.get(), nullptr, nullptr));
  base::ScopedFd second(::accept(listener_.get(), nullptr, nullptr));
  // The first connection was closed when the second socket replaced it.
  char byte;
  EXPECT_EQ(::read(first.get(), &byte, 1), 0);
  EXPECT_EQ(socket.Write("x", 1, [](int) {}), 1);
  EXPECT_EQ(::read(second.get(), &byte, 1), 1);
}

// --- Read and write ----------------------------------------------------------

TEST_F(UnixDomainClientSocketTest, NotConnectedReadAndWrite) {
  UnixDomainClientSocket socket(dir_.Path("x.sock"), false);
  char buf[4];
  EXPECT_EQ(socket.Read(buf, 4, [](int) {}), ERR_SOCKET_NOT_CONNECTED);
  EXPECT_EQ(socket.Write(buf, 4, [](int) {}), ERR_SOCKET_NOT_CONNECTED);
}

TEST_F(UnixDomainClientSocketTest, ReadCompletesWhenThePeerWrites) {
  std::unique_ptr<UnixDomainClientSocket> client;
  base::ScopedFd peer;
  ConnectPair(&client, &peer);

  char buf[16];
  int result = ERR_IO_PENDING;
  base::RunLoop run_loop;
  ASSERT_EQ(client->Read(buf, sizeof(buf),
                         [&](int r) {
                           result = r;
                           run_loop.Quit();
                         }),
            ERR_IO_PENDING);
  base::ThreadTaskRunnerHandle::Get()->PostTask(
      FROM_HERE, [&] { ASSERT_EQ(::write(peer.get(), "pong", 4), 4); });
  run_loop.Run();
  ASSERT_EQ(result, 4);
  EXPECT_EQ(std::string(buf, 4), "pong");

  // Immediate results need no loop: data already there, then the end.
  ASSERT_EQ(::write(peer.get(), "ab", 2), 2);
  peer.reset();
  EXPECT_EQ(client->Read(buf, sizeof(buf), [](int) { ADD_FAILURE(); }), 2);
  EXPECT_EQ(client->Read(buf, sizeof(buf), [](int) { ADD_FAILURE(); }), 0);
}

TEST_F(UnixDomainClientSocketTest, WriteCompletesWhenThePeerDrains) {
  std::unique_ptr<UnixDomainClientSocket> client;
  base::ScopedFd peer;
  ConnectPair(&client, &peer);

  // Fill the socket buffers until a write has to wait.
  std::string chunk(65536, 'w');
  size_t written = 0;
  int result = ERR_IO_PENDING;
  base::RunLoop run_loop;
  int rv;
  while ((rv = client->Write(chunk.data(), static_cast<int>(chunk.size()),
                             [&](int r) {
                               result = r;
                               run_loop.Quit();
                             })) > 0) {
    written += static_cast<size_t>(rv);
  }
  ASSERT_EQ(rv, ERR_IO_PENDING);
  // The peer drains what is there; the pending write then goes on.
  std::string sink(written + chunk.size(), '\0');
  base::ThreadTaskRunnerHandle::Get()->PostTask(FROM_HERE, [&] {
    size_t got = 0;
    while (got < written) {
      ssize_t n = ::read(peer.get(), &sink[got], sink.size() - got);
      ASSERT_GT(n, 0);
      got += static_cast<size_t>(n);
    }
  });
  run_loop.Run();
  EXPECT_GT(result, 0);
  EXPECT_LE(result, static_cast<int>(chunk.size()));
}

TEST_F(UnixDomainClientSocketTest, WriteToAClosedPeerIsAnErrorNotASignal) {
  std::unique_ptr<UnixDomainClientSocket> client;
  base::ScopedFd peer;
  ConnectPair(&client, &peer);
  peer.reset();
  // EPIPE, without SIGPIPE ending the test program.
  EXPECT_EQ(client->Write("x", 1, [](int) { ADD_FAILURE(); }),
            ERR_CONNECTION_RESET);
}

TEST_F(UnixDomainClientSocketTest, DestroyingDropsAPendingRead) {
  std::unique_ptr<UnixDomainClientSocket> client;
  base::ScopedFd peer;
  ConnectPair(&client, &peer);
  char buf[4];
  bool called = false;
  ASSERT_EQ(client->Read(buf, 4, [&](int) { called = true; }), ERR_IO_PENDING);
  client.reset();
  // The peer sees the close.
  ASSERT_EQ(::send(peer.get(), "late", 4, MSG_NOSIGNAL), -1);
  base::RunLoop().RunUntilIdle();
  EXPECT_FALSE(called);
}

TEST_F(UnixDomainClientSocketTest, AdoptedSocketPair) {
  int fds[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
  base::ScopedFd peer(fds[1]);
  auto posix = std::make_unique<SocketPosix>();
  ASSERT_EQ(posix->AdoptConnectedSocket(fds[0]), OK);
  UnixDomainClientSocket socket(std::move(posix));
  char buf[8];
  // Non-blocking: an empty socket reads as pending, not as a blocked call.
  EXPECT_EQ(socket.Read(buf, 8, [](int) {}), ERR_IO_PENDING);
}

}  // namespace
}  // namespace net
