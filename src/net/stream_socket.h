// StreamSocket: a connected, non-blocking byte stream as the framed socket
// sees it. Every operation either completes at once or returns
// ERR_IO_PENDING and completes later through its callback, on the event
// loop's thread.
//
//   int rv = socket->Read(buf, len, [](int result) { ... });
//   if (rv != net::ERR_IO_PENDING) { /* rv: bytes read, 0 at end, or error */ }

#ifndef VORN_NET_STREAM_SOCKET_H_
#define VORN_NET_STREAM_SOCKET_H_

#include "base/task/callback.h"

namespace net {

// Runs once with the operation's result: a byte count (0 at the end of the
// stream for reads) or a NetError. Never runs with ERR_IO_PENDING.
using CompletionOnceCallback = base::OnceCallback<void(int)>;

class StreamSocket {
 public:
  virtual ~StreamSocket() = default;

  // Reads up to `buf_len` (>= 1) bytes into `buf`. Returns the byte count
  // (0 at the end of the stream), a NetError, or ERR_IO_PENDING: then
  // `callback` runs later with the result and `buf` must stay valid until
  // it has run or this socket is destroyed (which drops the callback
  // unrun). At most one read may be pending.
  virtual int Read(char* buf, int buf_len, CompletionOnceCallback callback) = 0;

  // Writes up to `buf_len` (>= 1) bytes of `buf`; a short write is
  // possible. Returns the count written, a NetError or ERR_IO_PENDING, with
  // the same rules for `callback` and `buf` as Read. At most one write may
  // be pending.
  virtual int Write(const char* buf, int buf_len,
                    CompletionOnceCallback callback) = 0;
};

}  // namespace net

#endif  // VORN_NET_STREAM_SOCKET_H_
