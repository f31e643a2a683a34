// One status request round trip in process: VornStatusService::SendRequest
// of {"type":"GET_STATUS"} until its answer is back, against a raw blocking
// socket ping-pong of the same request frame in plain system calls. Both
// talk to the same peer, a thread that answers every request frame with a
// status answer carrying the request's id, so the peer's work is the same
// on both sides of the ratio.
//
// Each measured iteration is a batch of kBatch round trips, so the loop's
// own cost is negligible; run with --benchmark_repetitions for the median
// and spread.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

#include "base/files/file_util.h"
#include "base/json/json_value.h"
#include "base/logging/eintr.h"
#include "base/logging/logging.h"
#include "base/task/single_thread_task_executor.h"
#include "benchmark/benchmark.h"
#include "receiver/message_frame.h"
#include "vorn_package/vorn_status_service.h"

namespace {

constexpr int kBatch = 100;

// Reads one frame from `fd` into *message; false at the end or on error.
bool ReadFrame(int fd, std::string* body) {
  char header[receiver::kFrameHeaderSize];
  if (!base::ReadFromFileDescriptor(fd, header, sizeof(header))) return false;
  uint32_t length = receiver::DecodeFrameHeader(header);
  if (!receiver::IsValidFrameBodyLength(length)) return false;
  body->resize(length);
  return base::ReadFromFileDescriptor(fd, &(*body)[0], length);
}

// Answers every request frame on each accepted connection, one connection
// at a time, until destroyed.
class AnsweringPeer {
 public:
  AnsweringPeer() {
    const char* tmp = getenv("TMPDIR");
    path_ = std::string(tmp && *tmp ? tmp : "/tmp") + "/vorn_status_bench." +
            std::to_string(getpid()) + ".sock";
    struct sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    strncpy(address.sun_path, path_.c_str(), sizeof(address.sun_path) - 1);
    ::unlink(path_.c_str());
    listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    CHECK(::bind(listen_fd_, reinterpret_cast<struct sockaddr*>(&address),
                 sizeof(address)) == 0);
    CHECK(::listen(listen_fd_, 4) == 0);
    CHECK(::pipe(stop_pipe_) == 0);
    thread_ = std::thread([this] { Serve(); });
  }
  ~AnsweringPeer() {
    char byte = 1;
    CHECK(::write(stop_pipe_[1], &byte, 1) == 1);
    thread_.join();
    ::close(listen_fd_);
    ::close(stop_pipe_[0]);
    ::close(stop_pipe_[1]);
    ::unlink(path_.c_str());
  }
  const std::string& path() const { return path_; }

 private:
  bool Wait(int fd) {
    struct pollfd fds[2] = {{stop_pipe_[0], POLLIN, 0}, {fd, POLLIN, 0}};
    return base::RetryOnEintr([&] { return ::poll(fds, 2, -1); }) > 0 &&
           fds[0].revents == 0;
  }
  void Serve() {
    while (Wait(listen_fd_)) {
      int fd = ::accept(listen_fd_, nullptr, nullptr);
      if (fd < 0) return;
      std::string body;
      receiver::VornMessage in;
      while (Wait(fd) && ReadFrame(fd, &body) &&
             receiver::ParseFrameBody(body.data(), body.size(), &in)) {
        const std::string& text = in.payload_text();
        size_t at = text.find("\"requestId\":");
        if (at == std::string::npos) continue;  // the handshake
        int id = atoi(text.c_str() + at + 12);
        std::string frame;
        size_t length = 0;
        receiver::BuildFrame(
            receiver::MakeTextMessage(
                "receiver-0", in.source_id(), in.namespace_(),
                "{\"requestId\":" + std::to_string(id) +
                    ",\"status\":{\"isActiveInput\":true,"
                    "\"volume\":{\"level\":0.4,\"muted\":false}},"
                    "\"type\":\"RECEIVER_STATUS\"}"),
            &frame, &length);
        if (!base::WriteFileDescriptor(fd, frame.data(), frame.size())) break;
      }
      ::close(fd);
    }
  }

  std::string path_;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::thread thread_;
};

void BM_StatusServiceRoundTrip(benchmark::State& state) {
  logging::SetMinLogLevel(logging::LOG_WARNING);
  AnsweringPeer peer;
  base::SingleThreadTaskExecutor executor(base::MessagePumpType::IO);
  vorn::VornStatusService service;
  CHECK(service.Connect(peer.path()));
  base::JsonValue response;
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      base::JsonValue request(base::JsonValue::Type::DICTIONARY);
      request.SetKey("type", base::JsonValue("GET_STATUS"));
      if (!service.SendRequest(vorn::kReceiverDestinationId,
                               vorn::kReceiverNamespace, std::move(request),
                               &response)) {
        state.SkipWithError("request failed");
        return;
      }
    }
  }
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_StatusServiceRoundTrip)->UseRealTime();

void BM_RawSocketPingPong(benchmark::State& state) {
  AnsweringPeer peer;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  struct sockaddr_un address = {};
  address.sun_family = AF_UNIX;
  strncpy(address.sun_path, peer.path().c_str(), sizeof(address.sun_path) - 1);
  CHECK(::connect(fd, reinterpret_cast<struct sockaddr*>(&address),
                  sizeof(address)) == 0);
  // The very frame SendRequest writes for request id 2.
  std::string request;
  size_t length = 0;
  receiver::BuildFrame(receiver::MakeTextMessage(
                           vorn::kStatusSourceId, vorn::kReceiverDestinationId,
                           vorn::kReceiverNamespace,
                           "{\"requestId\":2,\"type\":\"GET_STATUS\"}"),
                       &request, &length);
  char answer[4096];
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      if (!base::WriteFileDescriptor(fd, request.data(), request.size()) ||
          !base::ReadFromFileDescriptor(fd, answer, 4)) {
        state.SkipWithError("ping-pong failed");
        return;
      }
      uint32_t n = receiver::DecodeFrameHeader(answer);
      if (n > sizeof(answer) || !base::ReadFromFileDescriptor(fd, answer, n)) {
        state.SkipWithError("bad answer");
        return;
      }
    }
  }
  ::close(fd);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_RawSocketPingPong)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
