#include "vorn_package/vorn_status_service.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/json/json_reader.h"
#include "base/logging/time.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"
#include "gtest/gtest.h"
#include "tests/receiver/status_test_peer.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"

namespace vorn {
namespace {

using test::PeerReply;
using test::StatusTestPeer;

// Short enough to keep the suite quick, long enough for a loaded machine.
constexpr int kTimeoutMs = 800;

constexpr char kHandshake[] =
    "{\"type\":\"CONNECT\", \"senderInfo\":{\"platform\":7, "
    "\"connectionType\":3}, \"connType\":2}";

// The "requestId" of a request the peer received; -1 without one.
int RequestIdOf(const receiver::VornMessage& message) {
  std::unique_ptr<base::JsonValue> value =
      base::ParseJson(message.payload_text());
  int id = -1;
  if (value != nullptr) value->GetInteger("requestId", &id);
  return id;
}

// The peer's usual handler: no answer to the handshake; for a request,
// `make_answer(id)` as the answer text.
StatusTestPeer::Handler Answering(
    std::function<std::vector<PeerReply>(int id)> make_answer) {
  return [make_answer](const receiver::VornMessage& in) {
    if (in.namespace_() == kConnectionNamespace) {
      return std::vector<PeerReply>();
    }
    return make_answer(RequestIdOf(in));
  };
}

std::string StatusAnswer(int id, const std::string& extra = "") {
  return "{\"requestId\":" + std::to_string(id) +
         ",\"type\":\"RECEIVER_STATUS\"" + extra + "}";
}

class VornStatusServiceTest : public testing::Test {
 protected:
  VornStatusServiceTest()
      : socket_path_(dir_.Path("peer.sock")),
        peer_(socket_path_),
        service_(std::make_unique<VornStatusService>(
            base::TimeDelta::FromMilliseconds(kTimeoutMs))) {}

  void StartPeer(StatusTestPeer::Handler handler) {
    peer_.set_handler(std::move(handler));
    ASSERT_TRUE(peer_.Start());
  }

  // A GET_STATUS request through SendRequest; *elapsed_ms gets its time.
  bool GetStatus(base::JsonValue* response, int64_t* elapsed_ms = nullptr) {
    base::JsonValue request(base::JsonValue::Type::DICTIONARY);
    request.SetKey("type", base::JsonValue("GET_STATUS"));
    base::TimeTicks start = base::TimeTicks::Now();
    bool ok = service_->SendRequest("receiver-0", kReceiverNamespace,
                                    std::move(request), response);
    if (elapsed_ms != nullptr) {
      *elapsed_ms = (base::TimeTicks::Now() - start).InMilliseconds();
    }
    return ok;
  }

  base::SingleThreadTaskExecutor executor_{base::MessagePumpType::IO};
  test::ScopedTempDir dir_;
  const std::string socket_path_;
  StatusTestPeer peer_;
  std::unique_ptr<VornStatusService> service_;
};

TEST_F(VornStatusServiceTest, HandshakeIsFirstFrameAndFirstRequestIdIsTwo) {
  StartPeer(Answering(
      [](int id) { return StatusTestPeer::Answer(StatusAnswer(id)); }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  EXPECT_TRUE(service_->IsConnected());
  base::JsonValue response;
  ASSERT_TRUE(GetStatus(&response));

  std::vector<receiver::VornMessage> seen = peer_.received();
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ(kConnectionNamespace, seen[0].namespace_());
  EXPECT_EQ("vorn-cli-0", seen[0].source_id());
  EXPECT_EQ("receiver-0", seen[0].destination_id());
  EXPECT_EQ(kHandshake, seen[0].payload_text());
  EXPECT_EQ(kReceiverNamespace, seen[1].namespace_());
  EXPECT_EQ("{\"requestId\":2,\"type\":\"GET_STATUS\"}",
            seen[1].payload_text());
  int id = 0;
  EXPECT_TRUE(response.GetInteger("requestId", &id));
  EXPECT_EQ(2, id);
}

TEST_F(VornStatusServiceTest, TwoFailedConnectsThenSuccessGivesRequestIdFour) {
  StartPeer(Answering(
      [](int id) { return StatusTestPeer::Answer(StatusAnswer(id)); }));
  EXPECT_FALSE(service_->Connect(dir_.Path("absent.sock")));
  EXPECT_FALSE(service_->IsConnected());
  EXPECT_FALSE(service_->Connect(dir_.Path("absent.sock")));
  ASSERT_TRUE(service_->Connect(socket_path_));
  base::JsonValue response;
  ASSERT_TRUE(GetStatus(&response));
  std::vector<receiver::VornMessage> seen = peer_.received();
  ASSERT_EQ(2u, seen.size());
  EXPECT_EQ(4, RequestIdOf(seen[1]));
}

TEST_F(VornStatusServiceTest, FailedConnectReturnsAtOnce) {
  base::TimeTicks start = base::TimeTicks::Now();
  EXPECT_FALSE(service_->Connect(dir_.Path("absent.sock")));
  EXPECT_LT((base::TimeTicks::Now() - start).InMilliseconds(), kTimeoutMs / 2);
}

TEST_F(VornStatusServiceTest, ResponseTypeIsAcceptedAsWellAsType) {
  StartPeer(Answering([](int id) {
    return StatusTestPeer::Answer("{\"requestId\":" + std::to_string(id) +
                                  ",\"responseType\":\"STATUS\"}");
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  base::JsonValue response;
  EXPECT_TRUE(GetStatus(&response));
}

TEST_F(VornStatusServiceTest, AnswerWithoutTypeIsIgnoredUntilTimeout) {
  StartPeer(Answering([](int id) {
    return StatusTestPeer::Answer("{\"requestId\":" + std::to_string(id) + "}");
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  test::ScopedLogCapture capture;
  base::JsonValue response;
  int64_t elapsed = 0;
  EXPECT_FALSE(GetStatus(&response, &elapsed));
  EXPECT_GE(elapsed, kTimeoutMs - 5);
  EXPECT_TRUE(capture.Has(logging::LOG_WARNING,
                          "Task timeout occurred: type=GET_STATUS"));
  EXPECT_TRUE(response.is_dict());
  EXPECT_EQ(0u, response.DictSize());
}

TEST_F(VornStatusServiceTest, StringRequestIdIsIgnored) {
  StartPeer(Answering([](int id) {
    return StatusTestPeer::Answer("{\"requestId\":\"" + std::to_string(id) +
                                  "\",\"type\":\"RECEIVER_STATUS\"}");
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  base::JsonValue response;
  EXPECT_FALSE(GetStatus(&response));
}

TEST_F(VornStatusServiceTest, NonDictionaryPayloadIsLoggedAndIgnored) {
  StartPeer(Answering([](int id) {
    std::vector<PeerReply> replies = StatusTestPeer::Answer("[1,2]");
    replies.push_back(StatusTestPeer::Answer(StatusAnswer(id))[0]);
    return replies;
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  test::ScopedLogCapture capture;
  base::JsonValue response;
  EXPECT_TRUE(GetStatus(&response));
  EXPECT_TRUE(
      capture.Has(logging::LOG_ERROR, "Invalid message received: [1,2]"));
}

TEST_F(VornStatusServiceTest, FloodOfInvalidMessagesIsCutAndCounted) {
  const std::string junk(5000, 'x');
  StartPeer(Answering([&junk](int id) {
    std::vector<PeerReply> replies(25, StatusTestPeer::Answer(junk)[0]);
    replies.push_back(StatusTestPeer::Answer(StatusAnswer(id))[0]);
    return replies;
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  test::ScopedLogCapture capture;
  base::JsonValue response;
  EXPECT_TRUE(GetStatus(&response));
  std::vector<test::CapturedMessage> lines = capture.messages();
  ASSERT_EQ(21u, lines.size());
  EXPECT_EQ("Invalid message received: " + junk.substr(0, 4096) +
                "... (cut; 5000 bytes in all)",
            lines[0].text);
  EXPECT_EQ("Further invalid messages received, not logged: count=5",
            lines[20].text);
}

TEST_F(VornStatusServiceTest, DoubledAnswerCompletesWithTheFirstCopy) {
  StartPeer(Answering([](int id) {
    std::vector<PeerReply> replies =
        StatusTestPeer::Answer(StatusAnswer(id, ",\"copy\":1"));
    replies.push_back(
        StatusTestPeer::Answer(StatusAnswer(id, ",\"copy\":2"))[0]);
    return replies;
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  base::JsonValue first;
  ASSERT_TRUE(GetStatus(&first));
  int copy = 0;
  EXPECT_TRUE(first.GetInteger("copy", &copy));
  EXPECT_EQ(1, copy);
  // The second copy, for an id no longer awaited, does not answer the next
  // request.
  base::JsonValue second;
  EXPECT_TRUE(GetStatus(&second));
  int id = 0;
  EXPECT_TRUE(second.GetInteger("requestId", &id));
  EXPECT_EQ(3, id);
}

TEST_F(VornStatusServiceTest, AnswerAfterTimeoutIsIgnoredByTheNextRequest) {
  StartPeer(Answering([](int id) {
    std::vector<PeerReply> replies = StatusTestPeer::Answer(StatusAnswer(id));
    if (id == 2) replies[0].delay_ms = kTimeoutMs + 300;
    return replies;
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  base::JsonValue response;
  EXPECT_FALSE(GetStatus(&response));
  ASSERT_TRUE(GetStatus(&response));
  int id = 0;
  EXPECT_TRUE(response.GetInteger("requestId", &id));
  EXPECT_EQ(3, id);
}

TEST_F(VornStatusServiceTest, StaleTimerDoesNotEndALaterCall) {
  // The first call is answered at once, leaving its timer queued. The second
  // starts later and is answered after that timer has fired.
  constexpr int kPause = kTimeoutMs / 2;
  StartPeer(Answering([](int id) {
    std::vector<PeerReply> replies = StatusTestPeer::Answer(StatusAnswer(id));
    if (id == 3) replies[0].delay_ms = kPause + kTimeoutMs / 4 + 50;
    return replies;
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  test::ScopedLogCapture capture;
  base::JsonValue response;
  ASSERT_TRUE(GetStatus(&response));
  std::this_thread::sleep_for(std::chrono::milliseconds(kPause));
  EXPECT_TRUE(GetStatus(&response));
  EXPECT_EQ(0, capture.Count(logging::LOG_WARNING, "Task timeout occurred"));
}

TEST_F(VornStatusServiceTest, CloseDuringRequestEndsOnlyByTimeout) {
  StartPeer(Answering([](int) {
    std::vector<PeerReply> replies(1);
    replies[0].close = true;
    return replies;
  }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  test::ScopedLogCapture capture;
  base::JsonValue response;
  int64_t elapsed = 0;
  EXPECT_FALSE(GetStatus(&response, &elapsed));
  EXPECT_GE(elapsed, kTimeoutMs - 5);
  EXPECT_TRUE(capture.Has(
      logging::LOG_INFO,
      "Status socket has closed: " + socket_path_ + ", reason=CLOSED_BY_PEER"));
  EXPECT_FALSE(service_->IsConnected());

  // Not connected any more: the next request fails at once.
  capture.Clear();
  int64_t second_elapsed = 0;
  EXPECT_FALSE(GetStatus(&response, &second_elapsed));
  EXPECT_LT(second_elapsed, kTimeoutMs / 2);
  EXPECT_TRUE(capture.Has(logging::LOG_WARNING,
                          "Status service socket is not connected"));
  EXPECT_TRUE(capture.Has(logging::LOG_WARNING,
                          "Unable to send status message: "
                          "{\"requestId\":3,\"type\":\"GET_STATUS\"}"));
}

TEST_F(VornStatusServiceTest, SendMessageWithoutConnectionWarns) {
  test::ScopedLogCapture capture;
  EXPECT_FALSE(service_->SendMessage("receiver-0", kReceiverNamespace, "{}"));
  EXPECT_TRUE(capture.Has(logging::LOG_WARNING,
                          "Status service socket is not connected"));
}

TEST_F(VornStatusServiceTest, AppConfigWithAndWithoutSettings) {
  StartPeer([](const receiver::VornMessage& in) {
    std::unique_ptr<base::JsonValue> request =
        base::ParseJson(in.payload_text());
    std::string app;
    if (request == nullptr || !request->GetString("appId", &app)) {
      return std::vector<PeerReply>();
    }
    std::string config = app == "A" ? "{\"volume\":3}" : "{}";
    return StatusTestPeer::Answer(
        "{\"appConfig\":" + config + ",\"requestId\":" +
        std::to_string(RequestIdOf(in)) + ",\"responseType\":\"APP_CONFIG\"}");
  });
  ASSERT_TRUE(service_->Connect(socket_path_));
  test::ScopedLogCapture capture;
  EXPECT_TRUE(service_->GetAppConfig("A"));
  EXPECT_TRUE(service_->GetAppConfig("B"));
  EXPECT_TRUE(capture.Has(logging::LOG_INFO,
                          "Application config for 'A': {\n"
                          "   \"appConfig\": {\n"
                          "      \"volume\": 3\n"
                          "   },\n"
                          "   \"requestId\": 2,\n"
                          "   \"responseType\": \"APP_CONFIG\"\n"
                          "}\n"));
  EXPECT_TRUE(
      capture.Has(logging::LOG_INFO, "Could not find config for app: B"));
  std::vector<receiver::VornMessage> seen = peer_.received();
  ASSERT_EQ(3u, seen.size());
  EXPECT_EQ(kReceiverDebugNamespace, seen[1].namespace_());
  EXPECT_EQ("{\"appId\":\"A\",\"requestId\":2,\"type\":\"GET_APP_CONFIG\"}",
            seen[1].payload_text());
}

TEST_F(VornStatusServiceTest, QueriesLogTheirFailures) {
  StartPeer(Answering([](int) { return std::vector<PeerReply>(); }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  test::ScopedLogCapture capture;
  EXPECT_FALSE(service_->GetDiscoveryDeviceInfo());
  EXPECT_TRUE(
      capture.Has(logging::LOG_ERROR, "Failed to get discovery device info"));
  EXPECT_TRUE(capture.Has(logging::LOG_WARNING,
                          "Task timeout occurred: type=GET_DEVICE_INFO"));
  EXPECT_EQ(kReceiverDiscoveryNamespace, peer_.received()[1].namespace_());
}

TEST_F(VornStatusServiceTest, DestroyedServiceLeavesNoLiveTimer) {
  StartPeer(Answering(
      [](int id) { return StatusTestPeer::Answer(StatusAnswer(id)); }));
  ASSERT_TRUE(service_->Connect(socket_path_));
  base::JsonValue response;
  ASSERT_TRUE(GetStatus(&response));
  // Two timers are still queued; they must find the service gone.
  service_.reset();
  test::ScopedLogCapture capture;
  base::RunLoop run_loop;
  base::ThreadTaskRunnerHandle::Get()->PostDelayedTask(
      FROM_HERE, run_loop.QuitClosure(),
      base::TimeDelta::FromMilliseconds(kTimeoutMs + 100));
  run_loop.Run();
  EXPECT_EQ(0, capture.Count(logging::LOG_WARNING, "Task timeout occurred"));
}

}  // namespace
}  // namespace vorn
