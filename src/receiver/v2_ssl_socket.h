// V2Socket: VornMessage frames (message_frame.h) over a connected,
// non-blocking stream socket. It reads frames in a loop and hands each
// decoded message to its delegate, queues outgoing messages and writes them
// out, and closes with a CloseReason that it reports to the delegate once
// the queued bytes are written. It never blocks: every read and write
// completes at once or later through a callback on the event loop's thread.
//
//   class Client : public receiver::FramedSocket::Delegate { ... };
//   auto socket = std::make_unique<receiver::V2Socket>(
//       &client, "", "", std::move(connected_stream_socket));
//   socket->StartReading();             // messages arrive in OnMessage
//   socket->SendMessage(message);       // framed and queued
//   socket->Close(receiver::CloseReason::CLOSED_BY_PEER);  // OnClosed once
//                                                          // the queue drained
//
// Threads: one, the event loop's; no locks. Failures are logged at ERROR
// (a close on a closing socket at INFO) and never reported to the caller of
// SendMessage.
//
// The file keeps the name v2_ssl_socket although no TLS is involved: log
// lines carry the source file's base name, and the lines of this socket are
// matched by that name ("v2_ssl_socket.cc") wherever they are read.

#ifndef VORN_RECEIVER_V2_SSL_SOCKET_H_
#define VORN_RECEIVER_V2_SSL_SOCKET_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/task/weak_ptr.h"
#include "net/stream_socket.h"
#include "receiver/message_frame.h"

namespace receiver {

// Why a framed socket closed; printed by name (CloseReasonToString).
enum class CloseReason : int32_t {
  CLOSED_BY_PEER = 0,     // the peer ended the stream
  ABORTED_BY_PEER = 1,    // any other read or write error
  INVALID_MESSAGE = 2,    // bad frame length, or a body that does not parse
  TOO_LONG_INACTIVE = 3,  // not raised by vorn
  UNKNOWN = 4,            // not raised by vorn
};

// "CLOSED_BY_PEER", "ABORTED_BY_PEER", "INVALID_MESSAGE",
// "TOO_LONG_INACTIVE", "UNKNOWN"; "UNKNOWN" for values outside the table.
const char* CloseReasonToString(CloseReason reason);

// Largest number of queued outgoing bytes; a message is dropped while the
// queue holds at least this many (1 MiB).
inline constexpr size_t kMaxWriteQueueSize = 1048576;
// Reads and writes made per turn of the event loop before the socket posts
// a continuation task, so that other work is served between bursts.
inline constexpr int kMaxReadsOrWritesPerTurn = 20;
// Capacity of the read buffer before the first frame, in bytes.
inline constexpr size_t kInitialReadBufferCapacity = 128;

// A socket that carries VornMessage frames. Holds the id used in log lines
// and the delegate.
class FramedSocket {
 public:
  // Receives a framed socket's events, on the event loop's thread. Not owned
  // by the socket; must outlive it.
  class Delegate {
   public:
    // The name that forms the socket's id (after the owner's prefix and
    // "."). Called once, during the socket's construction.
    virtual std::string GetName() const = 0;
    // Called once, when the socket has closed: its stream socket is gone
    // and nothing more is read or written. `reason` is the one the first
    // Close was given. The delegate may destroy `socket` here.
    virtual void OnClosed(FramedSocket* socket, CloseReason reason) = 0;
    // Called for each frame that parsed, in stream order. The delegate may
    // Close or destroy `socket` here; reading then stops.
    virtual void OnMessage(FramedSocket* socket,
                           const VornMessage& message) = 0;

   protected:
    virtual ~Delegate() = default;
  };

  // id = id_prefix + "." + delegate->GetName(). `delegate` must outlive
  // this socket.
  FramedSocket(Delegate* delegate, const std::string& id_prefix);
  virtual ~FramedSocket();

  FramedSocket(const FramedSocket&) = delete;
  FramedSocket& operator=(const FramedSocket&) = delete;

  // Stops reading and writing and closes once the queued bytes are written;
  // the delegate's OnClosed reports the first Close's reason.
  virtual void Close(CloseReason reason) = 0;
  // Starts the read loop; messages arrive in the delegate's OnMessage.
  virtual void StartReading() = 0;
  // Frames and queues `message` for writing. Returns nothing: a message that
  // cannot be sent is logged and dropped.
  virtual void SendMessage(const VornMessage& message) = 0;
  // A text naming the peer, for logs; empty unless a subclass knows one.
  virtual std::string peer_address() const;

  const std::string& id() const { return id_; }

 protected:
  Delegate* delegate() const { return delegate_; }

 private:
  const std::string id_;      // fixed at construction
  Delegate* const delegate_;  // not owned; never null
};

class V2Socket final : public FramedSocket {
 public:
  // Takes ownership of `stream_socket`, which must be connected and not
  // null. `peer_address` is returned by peer_address(). Nothing is read
  // until StartReading.
  V2Socket(Delegate* delegate, const std::string& id_prefix,
           const std::string& peer_address,
           std::unique_ptr<net::StreamSocket> stream_socket);
  // Destroys the stream socket (closing its descriptor), the buffer and the
  // queue; pending callbacks and posted tasks are dropped. No OnClosed.
  ~V2Socket() override;

  // The first call records `reason` and stops reading and sending; later
  // calls keep it. Closes at once when nothing is queued, else once the
  // write loop has written the queue (or a write failed).
  void Close(CloseReason reason) override;
  // Requires the stream socket (a check); call once, right after
  // construction.
  void StartReading() override;
  // Drops (with an ERROR line) a message on a closing or closed socket, one
  // whose body would exceed 65536 bytes, or one that finds 1 MiB or more
  // already queued. Otherwise queues its frame and starts writing if the
  // queue was empty; the first write may happen before this returns.
  void SendMessage(const VornMessage& message) override;
  std::string peer_address() const override;

  // State, for tests and diagnostics.
  bool closing() const { return closing_; }
  bool has_stream_socket() const { return stream_socket_ != nullptr; }
  size_t read_buffer_capacity() const { return read_buffer_.capacity(); }
  size_t write_queue_size() const { return write_queue_.size(); }

 private:
  // A growable byte buffer: bytes [0, offset) are filled.
  class ReadBuffer {
   public:
    ReadBuffer();
    size_t capacity() const { return capacity_; }
    size_t offset() const { return offset_; }
    size_t free_space() const { return capacity_ - offset_; }
    char* data() { return data_.get(); }
    char* end() { return data_.get() + offset_; }
    void set_offset(size_t offset) { offset_ = offset; }
    // Changes the capacity to `capacity` (>= offset), keeping the filled
    // bytes.
    void SetCapacity(size_t capacity);

   private:
    std::unique_ptr<char[]> data_;  // capacity_ bytes
    size_t capacity_ = 0;
    size_t offset_ = 0;  // <= capacity_
  };

  // Outgoing bytes: frames are appended to `pending_`; `in_flight_` holds
  // the bytes being written, from `position_` on. The two strings trade
  // places on each write, so a burst's allocation (at most about 1 MiB plus
  // one frame) is reused by the next burst instead of grown again.
  class WriteQueue {
   public:
    // Bytes left in flight + pending bytes.
    size_t size() const {
      return in_flight_.size() - position_ + pending_.size();
    }
    bool empty() const { return size() == 0; }
    bool full() const { return size() >= kMaxWriteQueueSize; }
    // Moves `frame` in when nothing is pending and no room is kept, else
    // appends its bytes.
    void Append(std::string frame);
    // When nothing is left in flight, moves the pending bytes into flight.
    void PrepareNextWrite();
    const char* data() const { return in_flight_.data() + position_; }
    size_t in_flight_left() const { return in_flight_.size() - position_; }
    // Marks `n` (<= in_flight_left()) bytes as written.
    void Consume(size_t n);
    void Reset();

   private:
    std::string pending_;
    std::string in_flight_;
    size_t position_ = 0;  // <= in_flight_.size(); in_flight_ is cleared
                           // once position_ reaches its end
  };

  // Reads until `bytes_to_read` < 1, a read is pending, or the budget of
  // kMaxReadsOrWritesPerTurn reads is used (then continues in a task).
  void DoReadLoop(int bytes_to_read);
  // Completion of a pending read.
  void OnReadCompleted(int result);
  // Accounts for a read's `result`; returns the bytes to read next, or a
  // negative NetError that stops the loop. May deliver a message, close
  // the socket, or (through the delegate) destroy it: then returns
  // kDestroyed without touching members.
  int ProcessReadResult(int result);
  // The write loop: accounts for a write's `result` and writes on.
  void OnWriteCompleted(int result);
  // Closes the stream socket and tells the delegate, when the socket is
  // closing, still has its stream socket and nothing is queued.
  void MaybeFinishClose();
  // Applies the read buffer's shrinking policy after a delivered frame.
  void UpdateReadBufferAfterFrame();

  // A ProcessReadResult value: this socket was destroyed meanwhile.
  static constexpr int kDestroyed = -0x7fffffff;

  const std::string peer_address_;
  std::unique_ptr<net::StreamSocket> stream_socket_;  // null once closed
  bool closing_ = false;                              // set by the first Close
  CloseReason close_reason_ = CloseReason::UNKNOWN;   // the first Close's
  ReadBuffer read_buffer_;
  int32_t body_length_ = -1;     // N of the frame being read; -1 before the
                                 // first header
  int small_message_count_ = 0;  // frames in a row using <= half the buffer
  WriteQueue write_queue_;
  base::WeakPtrFactory<V2Socket> weak_factory_{this};  // last member
};

}  // namespace receiver

#endif  // VORN_RECEIVER_V2_SSL_SOCKET_H_
