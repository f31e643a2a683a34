#include "receiver/v2_ssl_socket.h"

#include <cstring>
#include <utility>

#include "base/logging/logging.h"
#include "base/task/location.h"
#include "base/task/single_thread_task_runner.h"
#include "net/net_errors.h"

namespace receiver {

namespace {

// Posts `task` to the current thread's task runner.
void PostTask(const base::Location& from_here, base::OnceClosure task) {
  base::ThreadTaskRunnerHandle::Get()->PostTask(from_here, std::move(task));
}

}  // namespace

const char* CloseReasonToString(CloseReason reason) {
  switch (reason) {
    case CloseReason::CLOSED_BY_PEER:
      return "CLOSED_BY_PEER";
    case CloseReason::ABORTED_BY_PEER:
      return "ABORTED_BY_PEER";
    case CloseReason::INVALID_MESSAGE:
      return "INVALID_MESSAGE";
    case CloseReason::TOO_LONG_INACTIVE:
      return "TOO_LONG_INACTIVE";
    case CloseReason::UNKNOWN:
      return "UNKNOWN";
  }
  return "UNKNOWN";
}

// --- FramedSocket ------------------------------------------------------------

FramedSocket::FramedSocket(Delegate* delegate, const std::string& id_prefix)
    : id_(id_prefix + "." + delegate->GetName()), delegate_(delegate) {}

FramedSocket::~FramedSocket() = default;

std::string FramedSocket::peer_address() const { return std::string(); }

// --- V2Socket::ReadBuffer ----------------------------------------------------

V2Socket::ReadBuffer::ReadBuffer()
    : data_(new char[kInitialReadBufferCapacity]),
      capacity_(kInitialReadBufferCapacity) {}

void V2Socket::ReadBuffer::SetCapacity(size_t capacity) {
  CHECK(capacity >= offset_);
  if (capacity == capacity_) return;
  std::unique_ptr<char[]> data(new char[capacity]);
  if (offset_ > 0) std::memcpy(data.get(), data_.get(), offset_);
  data_ = std::move(data);
  capacity_ = capacity;
}

// --- V2Socket::WriteQueue ----------------------------------------------------

void V2Socket::WriteQueue::Append(std::string frame) {
  // The frame is taken over as it is unless the pending string already owns
  // room for it (kept from an earlier burst, see PrepareNextWrite): then
  // copying it there keeps that room, where a move would free it and the
  // next burst would grow a new string again.
  if (pending_.empty() && pending_.capacity() < frame.size()) {
    pending_ = std::move(frame);
  } else {
    pending_.append(frame);
  }
}

void V2Socket::WriteQueue::PrepareNextWrite() {
  if (in_flight_left() > 0) return;
  // The emptied in-flight string becomes the new pending one, keeping its
  // allocation for the frames that follow.
  in_flight_.swap(pending_);
  pending_.clear();
  position_ = 0;
}

void V2Socket::WriteQueue::Consume(size_t n) {
  CHECK(n <= in_flight_left());
  if (n == in_flight_left()) {
    in_flight_.clear();
    position_ = 0;
  } else {
    position_ += n;
  }
}

void V2Socket::WriteQueue::Reset() {
  pending_.clear();
  in_flight_.clear();
  position_ = 0;
}

// --- V2Socket ----------------------------------------------------------------

V2Socket::V2Socket(Delegate* delegate, const std::string& id_prefix,
                   const std::string& peer_address,
                   std::unique_ptr<net::StreamSocket> stream_socket)
    : FramedSocket(delegate, id_prefix),
      peer_address_(peer_address),
      stream_socket_(std::move(stream_socket)) {
  CHECK(stream_socket_ != nullptr);
}

V2Socket::~V2Socket() = default;

std::string V2Socket::peer_address() const { return peer_address_; }

void V2Socket::StartReading() {
  CHECK(stream_socket_ != nullptr);
  DoReadLoop(static_cast<int>(kFrameHeaderSize));
}

void V2Socket::DoReadLoop(int bytes_to_read) {
  if (closing_) {
    LOG(INFO) << "Stop reading on pending closed socket";
    return;
  }
  if (bytes_to_read >= 1 && !stream_socket_) {
    LOG(ERROR) << "Underlying StreamSocket has been closed: id=" << id();
    return;
  }
  int budget = kMaxReadsOrWritesPerTurn;
  while (bytes_to_read >= 1 && budget > 0) {
    size_t wanted = static_cast<size_t>(bytes_to_read);
    if (wanted > read_buffer_.free_space()) {
      read_buffer_.SetCapacity(read_buffer_.offset() + wanted);
    }
    int result = stream_socket_->Read(
        read_buffer_.end(), bytes_to_read,
        base::BindWeak(weak_factory_.GetWeakPtr(),
                       net::CompletionOnceCallback(
                           [this](int rv) { OnReadCompleted(rv); })));
    if (result == net::ERR_IO_PENDING) return;
    bytes_to_read = ProcessReadResult(result);
    if (bytes_to_read == kDestroyed) return;
    --budget;
  }
  if (bytes_to_read >= 1) {
    PostTask(FROM_HERE,
             base::BindWeak(weak_factory_.GetWeakPtr(), [this, bytes_to_read] {
               DoReadLoop(bytes_to_read);
             }));
  }
}

void V2Socket::OnReadCompleted(int result) {
  if (closing_) {
    LOG(INFO) << "Stop reading on pending closed socket";
    return;
  }
  int bytes_to_read = ProcessReadResult(result);
  if (bytes_to_read == kDestroyed) return;
  DoReadLoop(bytes_to_read);
}

int V2Socket::ProcessReadResult(int result) {
  // Close and OnMessage reach the delegate, which may destroy this socket.
  base::WeakPtr<V2Socket> alive = weak_factory_.GetWeakPtr();
  if (result == 0 || result == net::ERR_CONNECTION_CLOSED) {
    Close(CloseReason::CLOSED_BY_PEER);
    return alive ? net::ERR_CONNECTION_CLOSED : kDestroyed;
  }
  if (result < 0) {
    LOG(ERROR) << "Vorn V2 Socket connection is aborted: id=" << id()
               << ", error=" << result;
    write_queue_.Reset();
    Close(CloseReason::ABORTED_BY_PEER);
    return alive ? result : kDestroyed;
  }
  read_buffer_.set_offset(read_buffer_.offset() + static_cast<size_t>(result));
  size_t offset = read_buffer_.offset();
  if (offset < kFrameHeaderSize) {
    return static_cast<int>(kFrameHeaderSize - offset);
  }
  if (offset == kFrameHeaderSize) {
    uint32_t n = DecodeFrameHeader(read_buffer_.data());
    body_length_ = static_cast<int32_t>(n);
    if (IsValidFrameBodyLength(n)) return static_cast<int>(n);
    LOG(ERROR) << "Message exceeds maximum length. Closing this socket: id="
               << id() << ", len=" << body_length_;
    Close(CloseReason::INVALID_MESSAGE);
    return alive ? net::ERR_MSG_TOO_BIG : kDestroyed;
  }
  size_t body_read = offset - kFrameHeaderSize;
  size_t body_length = static_cast<size_t>(body_length_);
  if (body_read < body_length) {
    return static_cast<int>(body_length - body_read);
  }

  VornMessage message;
  if (!ParseFrameBody(read_buffer_.data() + kFrameHeaderSize, body_length,
                      &message)) {
    LOG(ERROR) << "Invalid message from socket: id=" << id();
    Close(CloseReason::INVALID_MESSAGE);
    return alive ? net::ERR_UNEXPECTED : kDestroyed;
  }
  delegate()->OnMessage(this, message);
  if (!alive) return kDestroyed;
  // The delegate closed the socket meanwhile: read nothing more, even while
  // queued bytes keep the stream socket open.
  if (!stream_socket_ || closing_) return net::ERR_CONNECTION_CLOSED;
  UpdateReadBufferAfterFrame();
  read_buffer_.set_offset(0);
  return static_cast<int>(kFrameHeaderSize);
}

void V2Socket::UpdateReadBufferAfterFrame() {
  size_t half = read_buffer_.capacity() / 2;
  if (read_buffer_.offset() > half) {
    small_message_count_ = 0;
  } else if (small_message_count_ >= 3) {
    read_buffer_.SetCapacity(half);
    small_message_count_ = 1;
  } else {
    ++small_message_count_;
  }
}

void V2Socket::SendMessage(const VornMessage& message) {
  if (!stream_socket_ || closing_) {
    LOG(ERROR) << "Write message on socket already closed: id=" << id();
    return;
  }
  std::string frame;
  size_t body_length = 0;
  switch (BuildFrame(message, &frame, &body_length)) {
    case FrameBuildResult::kOk:
      break;
    case FrameBuildResult::kEncodeFailed:
      LOG(ERROR) << "Invalid message from local: " << message.source_id();
      return;
    case FrameBuildResult::kBodyTooLong:
      LOG(ERROR) << "Dropping V2 message with invalid length: "
                 << "payload_len=" << body_length << ", socket_id=" << id()
                 << ", source_id=" << message.source_id()
                 << ", destination_id=" << message.destination_id();
      return;
  }
  if (write_queue_.full()) {
    LOG(ERROR) << "Writing buffer is full: size=" << write_queue_.size();
    return;
  }
  if (write_queue_.empty()) {
    write_queue_.Append(std::move(frame));
    OnWriteCompleted(net::OK);
  } else {
    write_queue_.Append(std::move(frame));
  }
}

void V2Socket::OnWriteCompleted(int result) {
  if (result == net::ERR_IO_PENDING) return;
  if (!stream_socket_) {
    LOG(ERROR) << "Underlying StreamSocket has been closed: id=" << id();
    return;
  }
  int budget = kMaxReadsOrWritesPerTurn;
  while (true) {
    if (budget == 0) {
      PostTask(FROM_HERE,
               base::BindWeak(weak_factory_.GetWeakPtr(),
                              [this, result] { OnWriteCompleted(result); }));
      return;
    }
    if (result == net::ERR_CONNECTION_CLOSED) {
      write_queue_.Reset();
      Close(CloseReason::CLOSED_BY_PEER);
      return;
    }
    if (result < 0) {
      LOG(ERROR) << "Vorn V2 Socket connection is aborted: id=" << id()
                 << ", error=" << result;
      write_queue_.Reset();
      Close(CloseReason::ABORTED_BY_PEER);
      return;
    }
    write_queue_.Consume(static_cast<size_t>(result));
    if (write_queue_.empty()) {
      if (closing_) MaybeFinishClose();
      return;
    }
    --budget;
    write_queue_.PrepareNextWrite();
    result = stream_socket_->Write(
        write_queue_.data(), static_cast<int>(write_queue_.in_flight_left()),
        base::BindWeak(weak_factory_.GetWeakPtr(),
                       net::CompletionOnceCallback(
                           [this](int rv) { OnWriteCompleted(rv); })));
    if (result == net::ERR_IO_PENDING) return;
  }
}

void V2Socket::Close(CloseReason reason) {
  if (!closing_) {
    closing_ = true;
    close_reason_ = reason;
  }
  MaybeFinishClose();
}

void V2Socket::MaybeFinishClose() {
  if (!stream_socket_ || !write_queue_.empty()) return;
  stream_socket_.reset();
  // Last: the delegate may destroy this socket.
  delegate()->OnClosed(this, close_reason_);
}

}  // namespace receiver
