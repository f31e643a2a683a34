// V2Socket over one end of a connected pair of Unix stream sockets; the test
// plays the peer on the other end with plain blocking reads and writes.

#include <sys/socket.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"
#include "gtest/gtest.h"
#include "net/net_errors.h"
#include "net/socket_posix.h"
#include "net/unix_domain_client_socket.h"
#include "receiver/message_frame.h"
#include "receiver/v2_ssl_socket.h"
#include "tests/support/log_capture.h"

namespace receiver {
namespace {

using vorn::test::ScopedLogCapture;

constexpr char kId[] = ".receiver.sock";

VornMessage TextMessage(const std::string& payload) {
  return MakeTextMessage("vorn-cli-0", "receiver-0",
                         "urn:x-vorn:com.orbelo.vorn.receiver", payload);
}

// A message whose encoding is exactly `body_size` bytes.
VornMessage MessageWithBody(size_t body_size) {
  VornMessage m = TextMessage("");
  m.set_payload_text(std::string(body_size - m.ByteSizeLong(), 'x'));
  // A longer payload may need a longer length prefix.
  size_t excess = m.ByteSizeLong() - body_size;
  m.mutable_payload_text()->resize(m.payload_text().size() - excess);
  EXPECT_EQ(m.ByteSizeLong(), body_size);
  return m;
}

std::string FrameOf(const VornMessage& message) {
  std::string frame;
  size_t n = 0;
  EXPECT_EQ(BuildFrame(message, &frame, &n), FrameBuildResult::kOk);
  return frame;
}

std::string Header(uint32_t n) {
  char header[4];
  EncodeFrameHeader(n, header);
  return std::string(header, 4);
}

// Records what the socket reports; optional hooks act on the events.
class TestDelegate final : public FramedSocket::Delegate {
 public:
  std::string GetName() const override { return "receiver.sock"; }
  void OnClosed(FramedSocket* socket, CloseReason reason) override {
    closes.push_back(reason);
    if (on_closed) on_closed();
  }
  void OnMessage(FramedSocket* socket, const VornMessage& message) override {
    messages.push_back(message.payload_text());
    if (on_message) on_message();
  }

  std::vector<std::string> messages;  // payload texts, in delivery order
  std::vector<CloseReason> closes;
  std::function<void()> on_message;
  std::function<void()> on_closed;
};

// What a RecordingSocket saw; outlives the socket, which closing destroys.
struct ReadLog {
  std::vector<int> read_lengths;  // asked for, per read
  std::vector<int> read_results;  // immediate or completed
};

// Passes everything to the real socket and records each read in a ReadLog.
class RecordingSocket final : public net::StreamSocket {
 public:
  RecordingSocket(std::unique_ptr<net::StreamSocket> socket, ReadLog* log)
      : socket_(std::move(socket)), log_(log) {}
  int Read(char* buf, int buf_len,
           net::CompletionOnceCallback callback) override {
    log_->read_lengths.push_back(buf_len);
    int rv = socket_->Read(
        buf, buf_len, [this, cb = std::move(callback)](int result) mutable {
          log_->read_results.push_back(result);
          std::move(cb).Run(result);
        });
    if (rv != net::ERR_IO_PENDING) log_->read_results.push_back(rv);
    return rv;
  }
  int Write(const char* buf, int buf_len,
            net::CompletionOnceCallback callback) override {
    return socket_->Write(buf, buf_len, std::move(callback));
  }

 private:
  std::unique_ptr<net::StreamSocket> socket_;
  ReadLog* const log_;
};

class V2SocketTest : public testing::Test {
 protected:
  void SetUp() override {
    int fds[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
    peer_ = fds[1];
    auto posix = std::make_unique<net::SocketPosix>();
    ASSERT_EQ(posix->AdoptConnectedSocket(fds[0]), net::OK);
    auto recording = std::make_unique<RecordingSocket>(
        std::make_unique<net::UnixDomainClientSocket>(std::move(posix)),
        &reads_);
    socket_ =
        std::make_unique<V2Socket>(&delegate_, "", "", std::move(recording));
  }

  void TearDown() override {
    socket_.reset();
    ClosePeer();
  }

  void PeerWrite(const std::string& bytes) {
    ASSERT_EQ(::send(peer_, bytes.data(), bytes.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(bytes.size()));
  }
  // Reads exactly `n` bytes (fewer if the stream ends first).
  std::string PeerRead(size_t n) {
    std::string out(n, '\0');
    size_t got = 0;
    while (got < n) {
      ssize_t r = ::read(peer_, &out[got], n - got);
      if (r <= 0) break;
      got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
  }
  // Reads until the stream ends; returns the byte count.
  size_t PeerDrain() {
    size_t received = 0;
    char buf[65536];
    for (ssize_t n; (n = ::read(peer_, buf, sizeof(buf))) > 0;) {
      received += static_cast<size_t>(n);
    }
    return received;
  }
  // Reads one frame and returns its payload text ("<invalid>" otherwise).
  std::string PeerReadMessage() {
    std::string header = PeerRead(4);
    if (header.size() != 4) return "<eof>";
    std::string body = PeerRead(DecodeFrameHeader(header.data()));
    VornMessage message;
    if (!ParseFrameBody(body.data(), body.size(), &message)) return "<invalid>";
    return message.payload_text();
  }
  void ClosePeer() {
    if (peer_ >= 0) ::close(peer_);
    peer_ = -1;
  }

  void RunUntilIdle() { base::RunLoop().RunUntilIdle(); }
  // Runs the loop until the socket reports OnClosed (10 s at most).
  void RunUntilClosed() {
    base::RunLoop run_loop;
    delegate_.on_closed = run_loop.QuitClosure();
    base::ThreadTaskRunnerHandle::Get()->PostDelayedTask(
        FROM_HERE, run_loop.QuitClosure(), base::TimeDelta::FromSeconds(10));
    run_loop.Run();
    delegate_.on_closed = nullptr;
  }

  // Sends messages of `payload_size` bytes, with the peer not reading,
  // until at least `bytes` are queued behind the socket buffers. Returns the
  // bytes of all the frames sent.
  size_t QueueAtLeast(size_t bytes, size_t payload_size = 60000) {
    VornMessage message = TextMessage(std::string(payload_size, 'q'));
    size_t frame_size = FrameOf(message).size();
    size_t sent = 0;
    for (int i = 0; socket_->write_queue_size() < bytes && i < 1000; ++i) {
      socket_->SendMessage(message);
      sent += frame_size;
    }
    EXPECT_GE(socket_->write_queue_size(), bytes);
    return sent;
  }

  base::SingleThreadTaskExecutor executor_{base::MessagePumpType::IO};
  ScopedLogCapture log_;
  TestDelegate delegate_;
  ReadLog reads_;
  std::unique_ptr<V2Socket> socket_;
  int peer_ = -1;
};

// --- Reading -----------------------------------------------------------------

TEST_F(V2SocketTest, DeliversAFrame) {
  PeerWrite(FrameOf(TextMessage("{\"type\":\"GET_STATUS\"}")));
  socket_->StartReading();
  ASSERT_EQ(delegate_.messages.size(), 1u);
  EXPECT_EQ(delegate_.messages[0], "{\"type\":\"GET_STATUS\"}");
  EXPECT_EQ(socket_->id(), kId);
  EXPECT_EQ(socket_->peer_address(), "");
}

TEST_F(V2SocketTest, TwoFramesInOneBurstEachAfterItsHeader) {
  std::string a = FrameOf(TextMessage("first"));
  std::string b = FrameOf(TextMessage("second, longer"));
  PeerWrite(a + b);
  socket_->StartReading();
  EXPECT_EQ(delegate_.messages,
            (std::vector<std::string>{"first", "second, longer"}));
  // Reads never ask beyond the current header or body; the last one waits.
  int na = static_cast<int>(a.size() - 4), nb = static_cast<int>(b.size() - 4);
  EXPECT_EQ(reads_.read_lengths, (std::vector<int>{4, na, 4, nb, 4}));
  EXPECT_EQ(reads_.read_results, (std::vector<int>{4, na, 4, nb}));
}

TEST_F(V2SocketTest, FrameArrivingOneByteAtATime) {
  std::string frame = FrameOf(TextMessage("dribbled"));
  // Each task writes one byte and posts the next, so the loop reads between
  // writes.
  size_t next = 0;
  std::function<void()> dribble = [&] {
    PeerWrite(frame.substr(next++, 1));
    if (next < frame.size()) {
      base::ThreadTaskRunnerHandle::Get()->PostTask(FROM_HERE, dribble);
    }
  };
  base::RunLoop run_loop;
  delegate_.on_message = run_loop.QuitClosure();
  socket_->StartReading();
  base::ThreadTaskRunnerHandle::Get()->PostTask(FROM_HERE, dribble);
  run_loop.Run();
  EXPECT_EQ(delegate_.messages, std::vector<std::string>{"dribbled"});
  EXPECT_EQ(reads_.read_results, std::vector<int>(frame.size(), 1));
}

TEST_F(V2SocketTest, ReadBudgetPostsAContinuation) {
  std::string burst;
  for (int i = 0; i < 30; ++i) burst += FrameOf(TextMessage(std::to_string(i)));
  PeerWrite(burst);
  socket_->StartReading();
  // Twenty reads (ten frames) in the first turn, the rest in posted tasks.
  EXPECT_EQ(delegate_.messages.size(), 10u);
  RunUntilIdle();
  ASSERT_EQ(delegate_.messages.size(), 30u);
  EXPECT_EQ(delegate_.messages[29], "29");
}

TEST_F(V2SocketTest, ReadBufferGrowsToTheFrameAndShrinksByHalves) {
  EXPECT_EQ(socket_->read_buffer_capacity(), 128u);
  socket_->StartReading();
  auto deliver = [&](size_t body_size) {
    PeerWrite(FrameOf(MessageWithBody(body_size)));
    RunUntilIdle();
    return socket_->read_buffer_capacity();
  };
  EXPECT_EQ(deliver(1000), 1004u);  // exactly header + body
  EXPECT_EQ(deliver(80), 1004u);
  EXPECT_EQ(deliver(80), 1004u);
  EXPECT_EQ(deliver(80), 1004u);
  EXPECT_EQ(deliver(80), 502u);  // the fourth small frame in a row
  EXPECT_EQ(deliver(80), 502u);
  EXPECT_EQ(deliver(80), 502u);
  EXPECT_EQ(deliver(80), 251u);   // then every third
  EXPECT_EQ(deliver(200), 251u);  // more than half: the count restarts
  EXPECT_EQ(deliver(80), 251u);
  EXPECT_EQ(deliver(80), 251u);
  EXPECT_EQ(deliver(80), 251u);
  EXPECT_EQ(deliver(80), 125u);
  EXPECT_EQ(delegate_.messages.size(), 13u);
}

TEST_F(V2SocketTest, LargestFrameIsAccepted) {
  VornMessage m = MessageWithBody(65536);
  std::string frame = FrameOf(m);
  ASSERT_EQ(frame.substr(0, 4), Header(65536));
  std::thread writer([&] { PeerWrite(frame); });
  base::RunLoop run_loop;
  delegate_.on_message = run_loop.QuitClosure();
  socket_->StartReading();
  run_loop.Run();
  writer.join();
  ASSERT_EQ(delegate_.messages.size(), 1u);
  EXPECT_EQ(delegate_.messages[0], m.payload_text());
  EXPECT_EQ(socket_->read_buffer_capacity(), 65540u);
}

TEST_F(V2SocketTest, ZeroLengthHeaderClosesWithInvalidMessage) {
  PeerWrite(Header(0) + FrameOf(TextMessage("never read")));
  socket_->StartReading();
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Message exceeds maximum length. Closing this socket: "
                       "id=.receiver.sock, len=0"))
      << log_.Texts();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::INVALID_MESSAGE});
  EXPECT_TRUE(delegate_.messages.empty());
  EXPECT_EQ(reads_.read_lengths, std::vector<int>{4});
  EXPECT_FALSE(socket_->has_stream_socket());
  EXPECT_EQ(PeerRead(1), "");  // the peer sees the end of the stream
}

TEST_F(V2SocketTest, HeaderOneBeyondTheLimitCloses) {
  PeerWrite(Header(65537));
  socket_->StartReading();
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Message exceeds maximum length. Closing this socket: "
                       "id=.receiver.sock, len=65537"));
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::INVALID_MESSAGE});
}

TEST_F(V2SocketTest, HugeHeaderIsPrintedSigned) {
  PeerWrite(Header(0x80000000u));
  socket_->StartReading();
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Message exceeds maximum length. Closing this socket: "
                       "id=.receiver.sock, len=-2147483648"))
      << log_.Texts();
}

TEST_F(V2SocketTest, BodyThatDoesNotParseClosesWithInvalidMessage) {
  // source_id only: the required fields are missing.
  PeerWrite(Header(3) + std::string("\x12\x01\x61", 3) +
            FrameOf(TextMessage("after")));
  socket_->StartReading();
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Invalid message from socket: id=.receiver.sock"));
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::INVALID_MESSAGE});
  EXPECT_TRUE(delegate_.messages.empty());
}

TEST_F(V2SocketTest, PeerEndOfStreamClosesWithClosedByPeer) {
  PeerWrite(FrameOf(TextMessage("last words")));
  ClosePeer();
  socket_->StartReading();
  EXPECT_EQ(delegate_.messages, std::vector<std::string>{"last words"});
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::CLOSED_BY_PEER});
  EXPECT_EQ(log_.Count(logging::LOG_ERROR, ""), 0) << log_.Texts();
}

TEST_F(V2SocketTest, PeerEndOfStreamWhileReadIsPending) {
  socket_->StartReading();
  base::ThreadTaskRunnerHandle::Get()->PostTask(FROM_HERE,
                                                [&] { ClosePeer(); });
  RunUntilClosed();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::CLOSED_BY_PEER});
}

TEST_F(V2SocketTest, ReadErrorAbortsWithItsLine) {
  // The peer closes with our bytes unread: our next read fails with
  // ECONNRESET.
  socket_->SendMessage(TextMessage("unread"));
  ClosePeer();
  socket_->StartReading();
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Vorn V2 Socket connection is aborted: "
                       "id=.receiver.sock, error=-101"))
      << log_.Texts();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::ABORTED_BY_PEER});
}

TEST_F(V2SocketTest, DelegateClosingInOnMessageStopsReading) {
  PeerWrite(FrameOf(TextMessage("one")) + FrameOf(TextMessage("two")));
  delegate_.on_message = [&] { socket_->Close(CloseReason::UNKNOWN); };
  socket_->StartReading();
  EXPECT_EQ(delegate_.messages, std::vector<std::string>{"one"});
  EXPECT_EQ(delegate_.closes, std::vector<CloseReason>{CloseReason::UNKNOWN});
}

TEST_F(V2SocketTest, DelegateClosingWhileBytesAreQueuedStopsReading) {
  QueueAtLeast(300000);
  PeerWrite(FrameOf(TextMessage("one")) + FrameOf(TextMessage("two")));
  delegate_.on_message = [&] { socket_->Close(CloseReason::UNKNOWN); };
  socket_->StartReading();
  // Still open (the queue waits for the peer), yet nothing more is read.
  EXPECT_EQ(delegate_.messages, std::vector<std::string>{"one"});
  EXPECT_TRUE(delegate_.closes.empty());
  EXPECT_TRUE(socket_->has_stream_socket());
}

TEST_F(V2SocketTest, DelegateMayDestroyTheSocketInOnMessage) {
  PeerWrite(FrameOf(TextMessage("one")) + FrameOf(TextMessage("two")));
  delegate_.on_message = [&] { socket_.reset(); };
  V2Socket* socket = socket_.get();
  socket->StartReading();
  EXPECT_EQ(delegate_.messages, std::vector<std::string>{"one"});
  RunUntilIdle();
  EXPECT_TRUE(delegate_.closes.empty());
}

TEST_F(V2SocketTest, DelegateMayDestroyTheSocketInOnClosed) {
  delegate_.on_closed = [&] { socket_.reset(); };
  ClosePeer();
  V2Socket* socket = socket_.get();
  socket->StartReading();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::CLOSED_BY_PEER});
  EXPECT_EQ(socket_, nullptr);
}

TEST_F(V2SocketTest, DelegateMayDestroyTheSocketWhenAPendingReadEnds) {
  delegate_.on_closed = [&] { socket_.reset(); };
  socket_->StartReading();
  base::ThreadTaskRunnerHandle::Get()->PostTask(FROM_HERE,
                                                [&] { ClosePeer(); });
  RunUntilIdle();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::CLOSED_BY_PEER});
  EXPECT_EQ(socket_, nullptr);
}

TEST_F(V2SocketTest, PendingReadOnAClosingSocketStops) {
  QueueAtLeast(300000);
  socket_->StartReading();  // nothing to read yet: the read waits
  socket_->Close(CloseReason::INVALID_MESSAGE);
  PeerWrite(FrameOf(TextMessage("too late")));
  RunUntilIdle();
  EXPECT_TRUE(
      log_.Has(logging::LOG_INFO, "Stop reading on pending closed socket"))
      << log_.Texts();
  EXPECT_TRUE(delegate_.messages.empty());
}

// --- Writing -----------------------------------------------------------------

TEST_F(V2SocketTest, SendMessageWritesOneFrame) {
  socket_->SendMessage(TextMessage("{\"requestId\":2}"));
  EXPECT_EQ(PeerReadMessage(), "{\"requestId\":2}");
  EXPECT_EQ(socket_->write_queue_size(), 0u);
}

TEST_F(V2SocketTest, MessagesArriveInSendingOrder) {
  QueueAtLeast(200000, 1000);
  size_t queued = socket_->write_queue_size();
  socket_->SendMessage(TextMessage("tail"));
  EXPECT_GT(socket_->write_queue_size(), queued);
  std::vector<std::string> got;
  std::thread reader([&] {
    for (std::string m; (m = PeerReadMessage()) != "tail";) got.push_back(m);
  });
  while (socket_->write_queue_size() > 0) RunUntilIdle();
  reader.join();
  EXPECT_FALSE(got.empty());
  for (const std::string& m : got) ASSERT_EQ(m, std::string(1000, 'q'));
}

TEST_F(V2SocketTest, LargestMessageIsSent) {
  VornMessage m = MessageWithBody(65536);
  socket_->SendMessage(m);
  std::string got;
  std::thread reader([&] { got = PeerReadMessage(); });
  while (socket_->write_queue_size() > 0) RunUntilIdle();
  reader.join();
  EXPECT_EQ(got, m.payload_text());
}

TEST_F(V2SocketTest, OversizedMessageIsDroppedAndTheSocketStaysOpen) {
  VornMessage big = TextMessage(std::string(70000, 'B'));
  socket_->SendMessage(big);
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Dropping V2 message with invalid length: payload_len=" +
                           std::to_string(big.ByteSizeLong()) +
                           ", socket_id=.receiver.sock, source_id=vorn-cli-0, "
                           "destination_id=receiver-0"))
      << log_.Texts();
  EXPECT_EQ(socket_->write_queue_size(), 0u);
  EXPECT_FALSE(socket_->closing());
  socket_->SendMessage(TextMessage("still open"));
  EXPECT_EQ(PeerReadMessage(), "still open");
}

TEST_F(V2SocketTest, FullQueueDropsTheMessage) {
  QueueAtLeast(kMaxWriteQueueSize);
  size_t size = socket_->write_queue_size();
  socket_->SendMessage(TextMessage("dropped"));
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Writing buffer is full: size=" + std::to_string(size)))
      << log_.Texts();
  EXPECT_EQ(socket_->write_queue_size(), size);
  EXPECT_FALSE(socket_->closing());
}

TEST_F(V2SocketTest, WriteErrorAbortsWithItsLine) {
  ClosePeer();
  socket_->SendMessage(TextMessage("into the void"));
  EXPECT_TRUE(log_.Has(logging::LOG_ERROR,
                       "Vorn V2 Socket connection is aborted: "
                       "id=.receiver.sock, error=-101"))
      << log_.Texts();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::ABORTED_BY_PEER});
}

// --- Closing -----------------------------------------------------------------

TEST_F(V2SocketTest, CloseWithNothingQueuedClosesAtOnce) {
  socket_->Close(CloseReason::INVALID_MESSAGE);
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::INVALID_MESSAGE});
  socket_->Close(CloseReason::CLOSED_BY_PEER);
  EXPECT_EQ(delegate_.closes.size(), 1u);
  socket_->SendMessage(TextMessage("after close"));
  EXPECT_TRUE(
      log_.Has(logging::LOG_ERROR,
               "Write message on socket already closed: id=.receiver.sock"));
  EXPECT_EQ(PeerRead(1), "");
}

TEST_F(V2SocketTest, SecondCloseKeepsTheFirstReason) {
  QueueAtLeast(300000);
  size_t queued = socket_->write_queue_size();
  socket_->Close(CloseReason::INVALID_MESSAGE);
  socket_->Close(CloseReason::CLOSED_BY_PEER);
  EXPECT_TRUE(delegate_.closes.empty());  // waits for the queue
  socket_->SendMessage(TextMessage("refused"));
  EXPECT_EQ(
      log_.Count(logging::LOG_ERROR,
                 "Write message on socket already closed: id=.receiver.sock"),
      1);
  EXPECT_EQ(socket_->write_queue_size(), queued);
  std::thread drain([&] { PeerDrain(); });
  RunUntilClosed();
  drain.join();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::INVALID_MESSAGE});
}

// The peer ends its side while frames are queued: the close waits until
// every queued byte is written, then reports CLOSED_BY_PEER.
TEST_F(V2SocketTest, PeerClosingWhileBytesAreQueued) {
  size_t sent = QueueAtLeast(400000);
  ASSERT_EQ(::shutdown(peer_, SHUT_WR), 0);
  socket_->StartReading();
  RunUntilIdle();
  EXPECT_TRUE(socket_->closing());
  EXPECT_TRUE(delegate_.closes.empty());  // bytes still queued

  // The peer now reads everything until our side closes the stream.
  size_t received = 0;
  std::thread drain([&] { received = PeerDrain(); });
  RunUntilClosed();
  drain.join();
  EXPECT_EQ(delegate_.closes,
            std::vector<CloseReason>{CloseReason::CLOSED_BY_PEER});
  EXPECT_EQ(received, sent);
  EXPECT_EQ(socket_->write_queue_size(), 0u);
}

// A stream that takes one byte per write, at once, and never has anything
// to read.
class OneByteWriter final : public net::StreamSocket {
 public:
  explicit OneByteWriter(std::string* written) : written_(written) {}
  int Read(char*, int, net::CompletionOnceCallback) override {
    return net::ERR_IO_PENDING;
  }
  int Write(const char* buf, int buf_len,
            net::CompletionOnceCallback) override {
    written_->push_back(buf[0]);
    return 1;
  }

 private:
  std::string* const written_;
};

TEST(V2SocketWriteLoopTest, WriteBudgetPostsAContinuation) {
  base::SingleThreadTaskExecutor executor(base::MessagePumpType::IO);
  TestDelegate delegate;
  std::string written;
  V2Socket socket(&delegate, "", "", std::make_unique<OneByteWriter>(&written));
  std::string frame = FrameOf(TextMessage("budget"));
  socket.SendMessage(TextMessage("budget"));
  // Twenty writes in the first turn; the rest follow in posted tasks.
  EXPECT_EQ(written.size(), 20u);
  // The last write's byte is accounted for in the continuation.
  EXPECT_EQ(socket.write_queue_size(), frame.size() - 19);
  base::RunLoop().RunUntilIdle();
  EXPECT_EQ(written, frame);
  EXPECT_EQ(socket.write_queue_size(), 0u);
}

TEST(CloseReasonTest, Names) {
  EXPECT_STREQ(CloseReasonToString(CloseReason::CLOSED_BY_PEER),
               "CLOSED_BY_PEER");
  EXPECT_STREQ(CloseReasonToString(CloseReason::ABORTED_BY_PEER),
               "ABORTED_BY_PEER");
  EXPECT_STREQ(CloseReasonToString(CloseReason::INVALID_MESSAGE),
               "INVALID_MESSAGE");
  EXPECT_STREQ(CloseReasonToString(CloseReason::TOO_LONG_INACTIVE),
               "TOO_LONG_INACTIVE");
  EXPECT_STREQ(CloseReasonToString(CloseReason::UNKNOWN), "UNKNOWN");
}

}  // namespace
}  // namespace receiver
