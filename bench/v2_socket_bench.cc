// Messages per second through V2Socket over a connected pair of Unix stream
// sockets (one V2Socket sends, another receives and parses, both on one
// event loop), against a plain loop that moves the same framed bytes with
// write() and two read() calls per frame (header, then body). Each measured
// iteration moves a batch of kBatch messages, so the benchmark loop's own
// cost stays far below 2% of an iteration.

#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <memory>
#include <string>

#include "base/logging/logging.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "benchmark/benchmark.h"
#include "net/net_errors.h"
#include "net/socket_posix.h"
#include "net/unix_domain_client_socket.h"
#include "receiver/message_frame.h"
#include "receiver/v2_ssl_socket.h"

namespace {

constexpr int kBatch = 256;

receiver::VornMessage Message(size_t payload_size) {
  return receiver::MakeTextMessage("vorn-cli-0", "receiver-0",
                                   "urn:x-vorn:com.orbelo.vorn.receiver",
                                   std::string(payload_size, 'p'));
}

std::unique_ptr<net::StreamSocket> Adopt(int fd) {
  auto posix = std::make_unique<net::SocketPosix>();
  CHECK(posix->AdoptConnectedSocket(fd) == net::OK);
  return std::make_unique<net::UnixDomainClientSocket>(std::move(posix));
}

// Counts received messages and quits the loop after each batch.
class Counter final : public receiver::FramedSocket::Delegate {
 public:
  std::string GetName() const override { return "bench"; }
  void OnClosed(receiver::FramedSocket*, receiver::CloseReason) override {
    CHECK(false);
  }
  void OnMessage(receiver::FramedSocket*,
                 const receiver::VornMessage& message) override {
    bytes += message.payload_text().size();
    if (++received == kBatch) {
      received = 0;
      quit();
    }
  }

  int received = 0;
  size_t bytes = 0;
  base::RepeatingClosure quit;
};

void BM_V2Socket(benchmark::State& state) {
  logging::SetMinLogLevel(logging::LOG_ERROR);
  base::SingleThreadTaskExecutor executor(base::MessagePumpType::IO);
  int fds[2];
  CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0);
  Counter sender_delegate, receiver_delegate;
  receiver::V2Socket sender(&sender_delegate, "", "", Adopt(fds[0]));
  receiver::V2Socket receiver(&receiver_delegate, "", "", Adopt(fds[1]));
  receiver.StartReading();
  const receiver::VornMessage message =
      Message(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    base::RunLoop run_loop;
    receiver_delegate.quit = run_loop.QuitClosure();
    for (int i = 0; i < kBatch; ++i) sender.SendMessage(message);
    run_loop.Run();
  }
  benchmark::DoNotOptimize(receiver_delegate.bytes);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_V2Socket)->Arg(64)->Arg(4096)->UseRealTime();

bool ReadAll(int fd, char* buf, size_t n) {
  while (n > 0) {
    ssize_t r = ::read(fd, buf, n);
    if (r <= 0) return false;
    buf += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

// The same framed bytes with plain system calls: the writer sends each
// frame whole, the reader takes its header and then its body. Frames are
// written and read alternately, so no call ever blocks.
void BM_PlainLoop(benchmark::State& state) {
  int fds[2];
  CHECK(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) == 0);
  std::string frame;
  size_t n = 0;
  CHECK(receiver::BuildFrame(Message(static_cast<size_t>(state.range(0))),
                             &frame, &n) == receiver::FrameBuildResult::kOk);
  std::string buf(frame.size(), '\0');
  for (auto _ : state) {
    for (int i = 0; i < kBatch; ++i) {
      CHECK(::write(fds[0], frame.data(), frame.size()) ==
            static_cast<ssize_t>(frame.size()));
      CHECK(ReadAll(fds[1], &buf[0], 4));
      CHECK(ReadAll(fds[1], &buf[4], receiver::DecodeFrameHeader(&buf[0])));
    }
    benchmark::DoNotOptimize(buf.data());
  }
  ::close(fds[0]);
  ::close(fds[1]);
  state.SetItemsProcessed(state.iterations() * kBatch);
}
BENCHMARK(BM_PlainLoop)->Arg(64)->Arg(4096)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
