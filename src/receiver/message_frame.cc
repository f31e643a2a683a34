#include "receiver/message_frame.h"

namespace receiver {

VornMessage MakeTextMessage(const std::string& source_id,
                            const std::string& destination_id,
                            const std::string& name_space,
                            const std::string& text) {
  VornMessage message;
  message.set_protocol_version(VornMessage::VERSION_0);
  message.set_source_id(source_id);
  message.set_destination_id(destination_id);
  message.set_namespace_(name_space);
  message.set_payload_kind(VornMessage::TEXT);
  message.set_payload_text(text);
  return message;
}

FrameBuildResult BuildFrame(const VornMessage& message, std::string* frame,
                            size_t* body_length) {
  frame->assign(kFrameHeaderSize, '\0');
  // The partial variant does not insist on the required fields (the runtime's
  // checked variant aborts on a missing one). It fails only when the encoding
  // would exceed 2 GB; the runtime logs that itself.
  if (!message.AppendPartialToString(frame)) {
    frame->clear();
    return FrameBuildResult::kEncodeFailed;
  }
  *body_length = frame->size() - kFrameHeaderSize;
  if (*body_length > kMaxFrameBodySize) {
    return FrameBuildResult::kBodyTooLong;
  }
  EncodeFrameHeader(static_cast<uint32_t>(*body_length), &(*frame)[0]);
  return FrameBuildResult::kOk;
}

void EncodeFrameHeader(uint32_t body_length, char* header) {
  header[0] = static_cast<char>((body_length >> 24) & 0xFF);
  header[1] = static_cast<char>((body_length >> 16) & 0xFF);
  header[2] = static_cast<char>((body_length >> 8) & 0xFF);
  header[3] = static_cast<char>(body_length & 0xFF);
}

uint32_t DecodeFrameHeader(const char* header) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(header);
  return (static_cast<uint32_t>(bytes[0]) << 24) |
         (static_cast<uint32_t>(bytes[1]) << 16) |
         (static_cast<uint32_t>(bytes[2]) << 8) |
         static_cast<uint32_t>(bytes[3]);
}

bool IsValidFrameBodyLength(uint32_t body_length) {
  return body_length >= 1 && body_length <= kMaxFrameBodySize;
}

bool ParseFrameBody(const char* body, size_t length, VornMessage* message) {
  // ParseFromArray takes an int length; a frame body never exceeds 64 KiB.
  if (length > kMaxFrameBodySize) {
    message->Clear();
    return false;
  }
  return message->ParseFromArray(body, static_cast<int>(length));
}

}  // namespace receiver
