#include "receiver/v2_unix_domain_client.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"
#include "gtest/gtest.h"
#include "net/net_errors.h"
#include "tests/receiver/status_test_peer.h"
#include "tests/support/files.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace receiver {
namespace {

using vorn::test::PeerReply;
using vorn::test::StatusTestPeer;

// Records the client's events and ends the waiting run loop on each.
class RecordingDelegate final : public V2UnixDomainClient::Delegate {
 public:
  void OnConnectCompleted(V2UnixDomainClient* client, int result) override {
    connect_results.push_back(result);
    Wake();
  }
  void OnClosed(V2UnixDomainClient* client, CloseReason reason) override {
    close_reasons.push_back(reason);
    Wake();
  }
  void OnMessage(V2UnixDomainClient* client, const std::string& name_space,
                 const std::string& payload) override {
    messages.push_back(name_space + " " + payload);
    Wake();
  }

  // Runs the loop until the next event, or `timeout_ms`.
  void WaitForEvent(int timeout_ms = 5000) {
    base::RunLoop run_loop;
    quit_ = run_loop.QuitClosure();
    base::ThreadTaskRunnerHandle::Get()->PostDelayedTask(
        FROM_HERE, run_loop.QuitClosure(),
        base::TimeDelta::FromMilliseconds(timeout_ms));
    run_loop.Run();
    quit_ = nullptr;
  }

  std::vector<int> connect_results;
  std::vector<CloseReason> close_reasons;
  std::vector<std::string> messages;  // "namespace payload"

 private:
  void Wake() {
    if (quit_) quit_();
  }
  base::RepeatingClosure quit_;
};

class V2UnixDomainClientTest : public testing::Test {
 protected:
  V2UnixDomainClientTest() : socket_path_(dir_.Path("peer.sock")) {}

  std::unique_ptr<V2UnixDomainClient> MakeClient(const std::string& path) {
    return std::make_unique<V2UnixDomainClient>(path, &delegate_);
  }

  // Runs the loop until nothing immediate is left.
  void RunUntilIdle() { base::RunLoop().RunUntilIdle(); }

  base::SingleThreadTaskExecutor executor_{base::MessagePumpType::IO};
  vorn::test::ScopedTempDir dir_;
  const std::string socket_path_;
  RecordingDelegate delegate_;
};

TEST_F(V2UnixDomainClientTest, ConnectsSendsAndReceivesText) {
  StatusTestPeer peer(socket_path_);
  peer.set_handler([](const VornMessage& in) {
    return StatusTestPeer::Answer("{\"echo\":\"" + in.payload_text() + "\"}");
  });
  ASSERT_TRUE(peer.Start());
  vorn::test::ScopedLogCapture capture;

  auto client = MakeClient(socket_path_);
  client->Connect("vorn-cli-0");
  if (delegate_.connect_results.empty()) delegate_.WaitForEvent();
  ASSERT_EQ(std::vector<int>{net::OK}, delegate_.connect_results);
  EXPECT_TRUE(client->is_connected());
  EXPECT_TRUE(capture.Has(
      logging::LOG_INFO,
      "Successfully connected V2 unix client: name=" + socket_path_));

  client->SendMessage("receiver-0", "urn:x-vorn:test", "ping");
  delegate_.WaitForEvent();
  ASSERT_EQ(1u, delegate_.messages.size());
  EXPECT_EQ("urn:x-vorn:com.orbelo.vorn.receiver {\"echo\":\"ping\"}",
            delegate_.messages[0]);

  std::vector<VornMessage> seen = peer.received();
  ASSERT_EQ(1u, seen.size());
  EXPECT_EQ(VornMessage::VERSION_0, seen[0].protocol_version());
  EXPECT_EQ("vorn-cli-0", seen[0].source_id());
  EXPECT_EQ("receiver-0", seen[0].destination_id());
  EXPECT_EQ("urn:x-vorn:test", seen[0].namespace_());
  EXPECT_EQ(VornMessage::TEXT, seen[0].payload_kind());
  EXPECT_EQ("ping", seen[0].payload_text());
  EXPECT_FALSE(seen[0].has_payload_bytes());
  EXPECT_FALSE(seen[0].has_extra_flag());
  EXPECT_FALSE(seen[0].has_extra_count());
}

TEST_F(V2UnixDomainClientTest, NameIsLastPathComponent) {
  auto client = MakeClient("/run/vorn/receiver.sock");
  EXPECT_EQ("receiver.sock", client->GetName());
  EXPECT_EQ("/run/vorn/receiver.sock", client->name());
  EXPECT_EQ("plain", MakeClient("plain")->GetName());
}

TEST_F(V2UnixDomainClientTest, MissingSocketFileFailsWithFileNotFound) {
  vorn::test::ScopedLogCapture capture;
  auto client = MakeClient(dir_.Path("absent.sock"));
  client->Connect("vorn-cli-0");
  RunUntilIdle();
  EXPECT_EQ(std::vector<int>{net::ERR_FILE_NOT_FOUND},
            delegate_.connect_results);
  EXPECT_FALSE(client->is_connected());
  EXPECT_TRUE(
      capture.Has(logging::LOG_ERROR, "Connect error: ERR_FILE_NOT_FOUND"));
}

TEST_F(V2UnixDomainClientTest, SocketWithoutListenerIsRefused) {
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, socket_path_.c_str(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(0, ::bind(fd, reinterpret_cast<struct sockaddr*>(&address),
                      sizeof(address)));
  vorn::test::ScopedLogCapture capture;
  auto client = MakeClient(socket_path_);
  client->Connect("vorn-cli-0");
  RunUntilIdle();
  ::close(fd);
  EXPECT_EQ(std::vector<int>{net::ERR_CONNECTION_REFUSED},
            delegate_.connect_results);
  EXPECT_TRUE(
      capture.Has(logging::LOG_ERROR, "Connect error: ERR_CONNECTION_REFUSED"));
}

TEST_F(V2UnixDomainClientTest, RegularFileAtPathFailsToConnect) {
  ASSERT_TRUE(vorn::test::WriteFile(socket_path_, "not a socket"));
  auto client = MakeClient(socket_path_);
  client->Connect("vorn-cli-0");
  RunUntilIdle();
  ASSERT_EQ(1u, delegate_.connect_results.size());
  EXPECT_EQ(net::ERR_CONNECTION_REFUSED, delegate_.connect_results[0]);
}

TEST_F(V2UnixDomainClientTest, PathOf126BytesIsAnInvalidAddress) {
  vorn::test::ScopedLogCapture capture;
  auto client = MakeClient("/" + std::string(125, 'x'));
  client->Connect("vorn-cli-0");
  EXPECT_EQ(std::vector<int>{net::ERR_ADDRESS_INVALID},
            delegate_.connect_results);
  EXPECT_TRUE(
      capture.Has(logging::LOG_ERROR, "Connect error: ERR_ADDRESS_INVALID"));
}

TEST_F(V2UnixDomainClientTest, SecondConnectDoesNothing) {
  StatusTestPeer peer(socket_path_);
  ASSERT_TRUE(peer.Start());
  auto client = MakeClient(socket_path_);
  client->Connect("vorn-cli-0");
  client->Connect("other-source");
  if (delegate_.connect_results.empty()) delegate_.WaitForEvent();
  client->Connect("other-source");
  RunUntilIdle();
  EXPECT_EQ(std::vector<int>{net::OK}, delegate_.connect_results);

  client->SendMessage("receiver-0", "urn:x-vorn:test", "one");
  for (int i = 0; i < 100 && peer.received().empty(); ++i) {
    delegate_.WaitForEvent(10);
  }
  ASSERT_EQ(1u, peer.received().size());
  EXPECT_EQ("vorn-cli-0", peer.received()[0].source_id());
  EXPECT_EQ(1, peer.connections());
}

TEST_F(V2UnixDomainClientTest, PeerCloseReportsClosedByPeerOnce) {
  StatusTestPeer peer(socket_path_);
  peer.set_handler([](const VornMessage&) {
    std::vector<PeerReply> replies(1);
    replies[0].close = true;
    return replies;
  });
  ASSERT_TRUE(peer.Start());
  auto client = MakeClient(socket_path_);
  client->Connect("vorn-cli-0");
  if (delegate_.connect_results.empty()) delegate_.WaitForEvent();
  client->SendMessage("receiver-0", "urn:x-vorn:test", "bye");
  delegate_.WaitForEvent();
  EXPECT_EQ(std::vector<CloseReason>{CloseReason::CLOSED_BY_PEER},
            delegate_.close_reasons);
  EXPECT_FALSE(client->is_connected());
  // Nothing is sent, and nothing breaks, once closed.
  client->SendMessage("receiver-0", "urn:x-vorn:test", "after");
  RunUntilIdle();
  EXPECT_EQ(1u, delegate_.close_reasons.size());
}

TEST_F(V2UnixDomainClientTest, InvalidFrameClosesWithInvalidMessage) {
  StatusTestPeer peer(socket_path_);
  peer.set_handler([](const VornMessage&) {
    std::vector<PeerReply> replies(1);
    replies[0].bytes = std::string("\x00\x01\x00\x01", 4);  // 65537
    return replies;
  });
  ASSERT_TRUE(peer.Start());
  auto client = MakeClient(socket_path_);
  client->Connect("vorn-cli-0");
  if (delegate_.connect_results.empty()) delegate_.WaitForEvent();
  client->SendMessage("receiver-0", "urn:x-vorn:test", "x");
  delegate_.WaitForEvent();
  EXPECT_EQ(std::vector<CloseReason>{CloseReason::INVALID_MESSAGE},
            delegate_.close_reasons);
  EXPECT_TRUE(delegate_.messages.empty());
}

TEST_F(V2UnixDomainClientTest, DestroyedRightAfterConnectRunsNoTask) {
  StatusTestPeer peer(socket_path_);
  ASSERT_TRUE(peer.Start());
  auto client = MakeClient(socket_path_);
  client->Connect("vorn-cli-0");
  // The posted StartReading (and any pending connect) must not reach the
  // destroyed client.
  client.reset();
  RunUntilIdle();
  delegate_.WaitForEvent(50);
  EXPECT_TRUE(delegate_.close_reasons.empty());
  EXPECT_TRUE(delegate_.messages.empty());
}

}  // namespace
}  // namespace receiver
