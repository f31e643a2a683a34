// The status socket's receiving side as V2Socket runs it: the input is the
// byte stream a peer sends, fed through a fake stream socket in random chunk
// sizes, each read completing at once or later on the event loop, and ending
// in an end of stream or an error. The delegate sometimes answers with the
// message it got, closes the socket, or destroys it.
//
// Input: four bytes that seed the chunking and the delegate's choices, one
// byte of flags, then the stream.
//
// Checked against a reference decoder that walks the same stream frame by
// frame (4-byte big-endian length N, 1 <= N <= 65536, then a body that must
// parse with every required field): V2Socket delivers exactly the messages
// the reference decodes, in order, then closes once with the reason the
// reference predicts (INVALID_MESSAGE, CLOSED_BY_PEER or ABORTED_BY_PEER),
// or the one the delegate closed with. Every delivered message encodes and
// parses back to itself.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/logging/logging.h"
#include "base/task/location.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "net/net_errors.h"
#include "net/stream_socket.h"
#include "receiver/message_frame.h"
#include "receiver/v2_ssl_socket.h"

namespace {

using vorn::fuzz::Check;

using receiver::CloseReason;
using receiver::FramedSocket;
using receiver::V2Socket;
using receiver::VornMessage;

// xorshift32: the chunk sizes and choices, reproducible from the seed.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed ? seed : 0x9e3779b9u) {}
  uint32_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  bool OneIn(uint32_t n) { return Next() % n == 0; }

 private:
  uint32_t state_;
};

enum Flags : uint8_t {
  kEndWithError = 1 << 0,             // the stream ends in an error, not EOF
  kEndWithConnectionClosed = 1 << 1,  // ... that error is CONNECTION_CLOSED
  kEchoMessages = 1 << 2,             // the delegate sends some messages back
  kDelegateCloses = 1 << 3,           // the delegate may close in OnMessage
  kDelegateDestroys = 1 << 4,         // the delegate may destroy in OnMessage
  kWritesFail = 1 << 5,               // writes fail after a while
};

// A stream socket that reads from `stream` in random chunks.
class FakeStreamSocket final : public net::StreamSocket {
 public:
  FakeStreamSocket(std::string stream, int end_result, bool writes_fail,
                   Random* random)
      : stream_(std::move(stream)),
        end_result_(end_result),
        writes_fail_(writes_fail),
        random_(random) {}

  int Read(char* buf, int buf_len,
           net::CompletionOnceCallback callback) override {
    Check(buf_len >= 1);
    Check(!read_pending_);
    if (!random_->OneIn(3)) return ReadNow(buf, buf_len);
    read_pending_ = true;
    base::ThreadTaskRunnerHandle::Get()->PostTask(
        FROM_HERE, [weak = weak_factory_.GetWeakPtr(), buf, buf_len,
                    cb = std::move(callback)]() mutable {
          if (!weak) return;
          weak->read_pending_ = false;
          std::move(cb).Run(weak->ReadNow(buf, buf_len));
        });
    return net::ERR_IO_PENDING;
  }

  int Write(const char* buf, int buf_len,
            net::CompletionOnceCallback callback) override {
    Check(buf_len >= 1);
    Check(!write_pending_);
    const int result = WriteResult(buf_len);
    if (!random_->OneIn(2)) return result;
    write_pending_ = true;
    base::ThreadTaskRunnerHandle::Get()->PostTask(
        FROM_HERE, [weak = weak_factory_.GetWeakPtr(), result,
                    cb = std::move(callback)]() mutable {
          if (!weak) return;
          weak->write_pending_ = false;
          std::move(cb).Run(result);
        });
    return net::ERR_IO_PENDING;
  }

 private:
  int ReadNow(char* buf, int buf_len) {
    if (position_ == stream_.size()) return end_result_;
    size_t chunk = 1 + random_->Next() % (random_->OneIn(4) ? 70000 : 8);
    chunk = std::min(
        {chunk, static_cast<size_t>(buf_len), stream_.size() - position_});
    std::copy_n(stream_.data() + position_, chunk, buf);
    position_ += chunk;
    return static_cast<int>(chunk);
  }

  int WriteResult(int buf_len) {
    written_ += static_cast<size_t>(buf_len);
    if (writes_fail_ && written_ > 64) return net::ERR_CONNECTION_RESET;
    return 1 +
           static_cast<int>(random_->Next() % static_cast<uint32_t>(buf_len));
  }

  const std::string stream_;
  size_t position_ = 0;   // stream_[0, position_) has been read
  const int end_result_;  // what reads give at the end of the stream
  const bool writes_fail_;
  size_t written_ = 0;
  bool read_pending_ = false;
  bool write_pending_ = false;
  Random* const random_;
  base::WeakPtrFactory<FakeStreamSocket> weak_factory_{this};
};

// What the reference decoder expects of the stream.
struct Expectation {
  std::vector<std::string> encodings;  // each delivered message, re-encoded
  CloseReason reason = CloseReason::UNKNOWN;
};

Expectation Decode(const std::string& stream, int end_result) {
  Expectation expected;
  size_t at = 0;
  while (true) {
    if (stream.size() - at < receiver::kFrameHeaderSize) break;
    const uint32_t n = receiver::DecodeFrameHeader(stream.data() + at);
    if (!receiver::IsValidFrameBodyLength(n)) {
      expected.reason = CloseReason::INVALID_MESSAGE;
      return expected;
    }
    at += receiver::kFrameHeaderSize;
    if (stream.size() - at < n) break;
    VornMessage message;
    if (!receiver::ParseFrameBody(stream.data() + at, n, &message)) {
      expected.reason = CloseReason::INVALID_MESSAGE;
      return expected;
    }
    expected.encodings.push_back(message.SerializeAsString());
    at += n;
  }
  expected.reason = end_result == 0 || end_result == net::ERR_CONNECTION_CLOSED
                        ? CloseReason::CLOSED_BY_PEER
                        : CloseReason::ABORTED_BY_PEER;
  return expected;
}

class Delegate final : public FramedSocket::Delegate {
 public:
  Delegate(uint8_t flags, Random* random) : flags_(flags), random_(random) {}

  std::string GetName() const override { return "fuzz.sock"; }

  void OnClosed(FramedSocket* socket, CloseReason reason) override {
    Check(socket == socket_.get());
    Check(closes_ == 0);
    ++closes_;
    reason_ = reason;
  }

  void OnMessage(FramedSocket* socket, const VornMessage& message) override {
    Check(socket == socket_.get());
    Check(closes_ == 0 && !destroyed_);
    Check(message.IsInitialized());
    received_.push_back(message.SerializeAsString());

    // The message frames and parses back to itself.
    std::string frame;
    size_t body_length = 0;
    Check(receiver::BuildFrame(message, &frame, &body_length) ==
          receiver::FrameBuildResult::kOk);
    VornMessage again;
    Check(receiver::ParseFrameBody(frame.data() + 4, body_length, &again));
    Check(again.SerializeAsString() == received_.back());

    if ((flags_ & kEchoMessages) && random_->OneIn(2)) {
      socket->SendMessage(message);
    }
    // A failed write of the echo may have closed the socket already, inside
    // SendMessage; a close by the delegate then changes nothing.
    if (closes_ != 0) return;
    if ((flags_ & kDelegateCloses) && random_->OneIn(4)) {
      closed_by_delegate_ = true;
      delegate_reason_ = random_->OneIn(2) ? CloseReason::UNKNOWN
                                           : CloseReason::TOO_LONG_INACTIVE;
      socket->Close(delegate_reason_);
      socket->Close(CloseReason::CLOSED_BY_PEER);  // never changes it
    } else if ((flags_ & kDelegateDestroys) && random_->OneIn(4)) {
      destroyed_ = true;
      socket_.reset();
    }
  }

  std::unique_ptr<V2Socket>& socket() { return socket_; }
  const std::vector<std::string>& received() const { return received_; }
  int closes() const { return closes_; }
  CloseReason reason() const { return reason_; }
  bool destroyed() const { return destroyed_; }
  bool closed_by_delegate() const { return closed_by_delegate_; }
  CloseReason delegate_reason() const { return delegate_reason_; }

 private:
  const uint8_t flags_;
  Random* const random_;
  std::unique_ptr<V2Socket> socket_;
  std::vector<std::string> received_;
  int closes_ = 0;
  CloseReason reason_ = CloseReason::UNKNOWN;
  bool destroyed_ = false;
  bool closed_by_delegate_ = false;
  CloseReason delegate_reason_ = CloseReason::UNKNOWN;
};

base::SingleThreadTaskExecutor* g_executor = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vorn::fuzz::SilenceLogging();
  // One event loop for the whole run, never destroyed.
  g_executor = base::SingleThreadTaskExecutor::Create().release();
  Check(g_executor != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vorn::fuzz::FuzzInput in(data, size);
  Random random(in.TakeUint32());
  const uint8_t flags = in.TakeByte();
  const std::string stream = in.TakeRest();

  int end_result = 0;
  if (flags & kEndWithError) {
    end_result = (flags & kEndWithConnectionClosed) ? net::ERR_CONNECTION_CLOSED
                                                    : net::ERR_CONNECTION_RESET;
  }
  const bool writes_fail = (flags & kWritesFail) != 0;

  Delegate delegate(flags, &random);
  delegate.socket() =
      std::make_unique<V2Socket>(&delegate, "", "",
                                 std::make_unique<FakeStreamSocket>(
                                     stream, end_result, writes_fail, &random));
  delegate.socket()->StartReading();
  base::RunLoop().RunUntilIdle();

  // Reading stops only by a close or by the delegate destroying the socket.
  Check(delegate.destroyed() || delegate.closes() == 1);
  const Expectation expected = Decode(stream, end_result);
  const std::vector<std::string>& received = delegate.received();
  Check(received.size() <= expected.encodings.size());
  for (size_t i = 0; i < received.size(); ++i) {
    Check(received[i] == expected.encodings[i]);
  }
  const bool stopped_early =
      delegate.destroyed() || delegate.closed_by_delegate() ||
      (writes_fail && delegate.reason() == CloseReason::ABORTED_BY_PEER);
  if (!stopped_early) {
    Check(received.size() == expected.encodings.size());
    Check(delegate.reason() == expected.reason);
  }
  if (delegate.closed_by_delegate()) {
    Check(delegate.reason() == delegate.delegate_reason());
  }
  if (!delegate.destroyed()) {
    Check(!delegate.socket()->has_stream_socket());
  }
  delegate.socket().reset();
  return 0;
}
