// StatusTestPeer: a receiver end of the status socket for in-process tests.
// It listens on a Unix-domain socket and serves connections one after
// another on a thread of its own, with plain blocking calls, so that the
// code under test can run its event loop on the test's thread meanwhile.
//
//   StatusTestPeer peer(dir.Path("peer.sock"));
//   peer.set_handler([](const receiver::VornMessage& in) {
//     return std::vector<PeerReply>{
//         {StatusTestPeer::Frame("{\"requestId\":2,\"type\":\"X\"}")}};
//   });
//   ASSERT_TRUE(peer.Start());
//   ... the client connects and sends ...
//   std::vector<receiver::VornMessage> seen = peer.received();
//
// The handler runs on the peer's thread for every frame received (the
// handshake too) and says what to write back.

#ifndef VORN_TESTS_RECEIVER_STATUS_TEST_PEER_H_
#define VORN_TESTS_RECEIVER_STATUS_TEST_PEER_H_

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "receiver/message_frame.h"

namespace vorn {
namespace test {

// One thing the peer does after reading a frame.
struct PeerReply {
  std::string bytes;   // written as they are (use Frame to build a frame)
  int delay_ms = 0;    // waited before writing
  bool close = false;  // close the connection instead of writing
};

class StatusTestPeer {
 public:
  using Handler =
      std::function<std::vector<PeerReply>(const receiver::VornMessage& in)>;

  explicit StatusTestPeer(const std::string& socket_path);
  // Stops the thread and closes every descriptor.
  ~StatusTestPeer();

  StatusTestPeer(const StatusTestPeer&) = delete;
  StatusTestPeer& operator=(const StatusTestPeer&) = delete;

  // Set before Start. Without a handler the peer answers nothing.
  void set_handler(Handler handler) { handler_ = std::move(handler); }

  // Binds, listens and starts serving. False when the socket cannot be made.
  bool Start();

  // Every message received so far, in order, over all connections.
  std::vector<receiver::VornMessage> received() const;
  // Connections accepted so far.
  int connections() const;

  // A frame from "receiver-0" to "vorn-cli-0" on `name_space` with the text
  // `payload`.
  static std::string Frame(
      const std::string& payload,
      const std::string& name_space = "urn:x-vorn:com.orbelo.vorn.receiver");
  // Answers the handler can use: the JSON `text` framed, sent at once.
  static std::vector<PeerReply> Answer(const std::string& text);

 private:
  void Serve();
  // Serves one accepted connection until it ends or the peer stops.
  void ServeConnection(int fd);
  // Waits until `fd` is readable or the stop pipe is; false on stop.
  bool WaitReadable(int fd);

  const std::string socket_path_;
  Handler handler_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};  // written by the destructor
  std::thread thread_;
  mutable std::mutex mutex_;  // guards the two below
  std::vector<receiver::VornMessage> received_;
  int connections_ = 0;
};

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_RECEIVER_STATUS_TEST_PEER_H_
