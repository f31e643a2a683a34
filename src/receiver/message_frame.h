// Frames of the status socket: a 4-byte body length N, unsigned and
// big-endian, followed by N bytes of one encoded VornMessage. N is at least 1
// and at most 65536; the header is not counted in N. Frames follow each other
// back to back with no padding, magic number or checksum.
//
//   receiver::VornMessage message =
//       receiver::MakeTextMessage("vorn-cli-0", "receiver-0", name_space,
//       text);
//   std::string frame;
//   size_t body_length = 0;
//   if (receiver::BuildFrame(message, &frame, &body_length) ==
//       receiver::FrameBuildResult::kOk) {
//   }
//
//   uint32_t n = receiver::DecodeFrameHeader(header);   // 4 bytes read
//   if (!receiver::IsValidFrameBodyLength(n)) { /* stream is invalid */ }
//   receiver::ParseFrameBody(body, n, &message);        // N bytes read

#ifndef VORN_RECEIVER_MESSAGE_FRAME_H_
#define VORN_RECEIVER_MESSAGE_FRAME_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "receiver/transport.pb.h"

namespace receiver {

using VornMessage = ::vornix::receiver::VornMessage;

// Size of the length header in front of every body.
inline constexpr size_t kFrameHeaderSize = 4;
// Largest body length N a frame may carry, in bytes (0x10000).
inline constexpr uint32_t kMaxFrameBodySize = 65536;

enum class FrameBuildResult {
  kOk,            // *frame holds header and body
  kEncodeFailed,  // the runtime refused the encoding (beyond 2 GB)
  kBodyTooLong,   // the body is longer than kMaxFrameBodySize
};

// A text message of protocol version 0 carrying `text`.
VornMessage MakeTextMessage(const std::string& source_id,
                            const std::string& destination_id,
                            const std::string& name_space,
                            const std::string& text);

// Builds the frame of `message` into *frame, replacing what it held: four
// header bytes, then the message's encoding (required fields are not
// checked: a message that lacks one encodes the fields it has). Sets
// *body_length to the encoding's length N whenever the encoding succeeded,
// even when it is too long. On kOk the header holds N big-endian; on the
// failures *frame holds no usable frame and must not be sent.
FrameBuildResult BuildFrame(const VornMessage& message, std::string* frame,
                            size_t* body_length);

// Writes `body_length` big-endian into header[0, 4).
void EncodeFrameHeader(uint32_t body_length, char* header);

// Reads the body length from header[0, 4), big-endian.
uint32_t DecodeFrameHeader(const char* header);

// True when 1 <= body_length <= kMaxFrameBodySize.
bool IsValidFrameBodyLength(uint32_t body_length);

// Parses body[0, length) into *message (cleared first). True only when the
// bytes decode and every required field (1 to 5) is present. Values outside
// the closed enumerations and unknown fields are kept among the message's
// unknown fields and written back when it is encoded again.
bool ParseFrameBody(const char* body, size_t length, VornMessage* message);

}  // namespace receiver

#endif  // VORN_RECEIVER_MESSAGE_FRAME_H_
