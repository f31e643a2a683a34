#include "tests/receiver/status_test_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

#include "base/files/file_util.h"
#include "base/logging/eintr.h"

namespace vorn {
namespace test {

StatusTestPeer::StatusTestPeer(const std::string& socket_path)
    : socket_path_(socket_path) {}

StatusTestPeer::~StatusTestPeer() {
  if (thread_.joinable()) {
    char byte = 1;
    ssize_t ignored = ::write(stop_pipe_[1], &byte, 1);
    (void)ignored;
    thread_.join();
  }
  for (int fd : {listen_fd_, stop_pipe_[0], stop_pipe_[1]}) {
    if (fd >= 0) ::close(fd);
  }
  ::unlink(socket_path_.c_str());
}

bool StatusTestPeer::Start() {
  if (::pipe2(stop_pipe_, O_CLOEXEC) != 0) return false;
  struct sockaddr_un address;
  memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  if (socket_path_.size() >= sizeof(address.sun_path)) return false;
  memcpy(address.sun_path, socket_path_.data(), socket_path_.size());
  listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0 ||
      ::bind(listen_fd_, reinterpret_cast<struct sockaddr*>(&address),
             sizeof(address)) != 0 ||
      ::listen(listen_fd_, 8) != 0) {
    return false;
  }
  thread_ = std::thread([this] { Serve(); });
  return true;
}

std::vector<receiver::VornMessage> StatusTestPeer::received() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return received_;
}

int StatusTestPeer::connections() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return connections_;
}

std::string StatusTestPeer::Frame(const std::string& payload,
                                  const std::string& name_space) {
  std::string frame;
  size_t length = 0;
  receiver::BuildFrame(receiver::MakeTextMessage("receiver-0", "vorn-cli-0",
                                                 name_space, payload),
                       &frame, &length);
  return frame;
}

std::vector<PeerReply> StatusTestPeer::Answer(const std::string& text) {
  std::vector<PeerReply> replies(1);
  replies[0].bytes = Frame(text);
  return replies;
}

bool StatusTestPeer::WaitReadable(int fd) {
  struct pollfd fds[2] = {{stop_pipe_[0], POLLIN, 0}, {fd, POLLIN, 0}};
  int ready = base::RetryOnEintr([&] { return ::poll(fds, 2, -1); });
  return ready > 0 && fds[0].revents == 0;
}

void StatusTestPeer::Serve() {
  while (WaitReadable(listen_fd_)) {
    int fd = base::RetryOnEintr(
        [&] { return ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC); });
    if (fd < 0) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      ++connections_;
    }
    ServeConnection(fd);
    ::close(fd);
  }
}

void StatusTestPeer::ServeConnection(int fd) {
  for (;;) {
    char header[receiver::kFrameHeaderSize];
    if (!WaitReadable(fd) ||
        !base::ReadFromFileDescriptor(fd, header, sizeof(header)))
      return;
    uint32_t length = receiver::DecodeFrameHeader(header);
    if (!receiver::IsValidFrameBodyLength(length)) return;
    std::string body(length, '\0');
    if (!base::ReadFromFileDescriptor(fd, &body[0], length)) return;
    receiver::VornMessage message;
    if (!receiver::ParseFrameBody(body.data(), length, &message)) return;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      received_.push_back(message);
    }
    if (!handler_) continue;
    for (const PeerReply& reply : handler_(message)) {
      if (reply.delay_ms > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.delay_ms));
      }
      if (reply.close) return;
      if (!base::WriteFileDescriptor(fd, reply.bytes.data(),
                                     reply.bytes.size()))
        return;
    }
  }
}

}  // namespace test
}  // namespace vorn
