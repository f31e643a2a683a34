// The VornMessage encoding and its frames, checked byte by byte.

#include <cstdint>
#include <string>

#include "gtest/gtest.h"
#include "receiver/message_frame.h"

namespace receiver {
namespace {

// The bytes of a hex text such as "08 00 12 00".
std::string Bytes(const std::string& hex) {
  std::string out;
  int nibbles = 0;
  unsigned value = 0;
  for (char c : hex) {
    if (c == ' ') continue;
    value = value * 16 +
            static_cast<unsigned>(c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10);
    if (++nibbles == 2) {
      out.push_back(static_cast<char>(value));
      nibbles = 0;
      value = 0;
    }
  }
  return out;
}

std::string Hex(const std::string& bytes) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : bytes) {
    if (!out.empty()) out.push_back(' ');
    out.push_back(kDigits[c >> 4]);
    out.push_back(kDigits[c & 15]);
  }
  return out;
}

// Every required field present, at its default.
VornMessage DefaultsMessage() {
  VornMessage message;
  message.set_protocol_version(VornMessage::VERSION_0);
  message.set_source_id("");
  message.set_destination_id("");
  message.set_namespace_("");
  message.set_payload_kind(VornMessage::TEXT);
  return message;
}

VornMessage StatusMessage(const std::string& payload) {
  return MakeTextMessage("vorn-cli-0", "receiver-0",
                         "urn:x-vorn:com.orbelo.vorn.receiver", payload);
}

bool Parse(const std::string& body, VornMessage* message) {
  return ParseFrameBody(body.data(), body.size(), message);
}

std::string Frame(const VornMessage& message) {
  std::string frame;
  size_t n = 0;
  EXPECT_EQ(BuildFrame(message, &frame, &n), FrameBuildResult::kOk);
  return frame;
}

// The five required fields at their defaults, as encoded.
const char kDefaultsHex[] = "08 00 12 00 1A 00 22 00 28 00";

TEST(VornMessageTest, TypeName) {
  EXPECT_EQ(VornMessage().GetTypeName(), "vornix.receiver.VornMessage");
}

TEST(VornMessageTest, AllDefaultsEncodeToTenBytes) {
  VornMessage message = DefaultsMessage();
  EXPECT_EQ(message.ByteSizeLong(), 10u);
  EXPECT_EQ(Hex(message.SerializeAsString()), kDefaultsHex);
  EXPECT_EQ(Hex(Frame(message)), std::string("00 00 00 0A ") + kDefaultsHex);
}

TEST(VornMessageTest, OptionalFieldsFollowInFieldOrder) {
  VornMessage message = DefaultsMessage();
  message.set_extra_count(300);
  message.set_extra_flag(true);
  message.set_payload_bytes(std::string("\x00\xFF", 2));
  message.set_payload_text("{}");
  EXPECT_EQ(
      Hex(message.SerializeAsString()),
      std::string(kDefaultsHex) + " 32 02 7B 7D 3A 02 00 FF 40 01 48 AC 02");
  // Field 8 costs two bytes, field 9 one tag byte plus its varint.
  EXPECT_EQ(message.ByteSizeLong(), 10u + 4 + 4 + 2 + 3);
}

TEST(VornMessageTest, EncodingDoesNotRequireRequiredFields) {
  VornMessage message;
  message.set_source_id("a");
  EXPECT_FALSE(message.IsInitialized());
  EXPECT_EQ(Hex(Frame(message)), "00 00 00 03 12 01 61");
  VornMessage parsed;
  EXPECT_FALSE(Parse(message.SerializePartialAsString(), &parsed));
}

TEST(VornMessageTest, StatusMessageRoundTrip) {
  VornMessage message = StatusMessage("{\"type\":\"GET_STATUS\"}");
  std::string frame = Frame(message);
  ASSERT_EQ(DecodeFrameHeader(frame.data()), frame.size() - 4);
  VornMessage parsed;
  ASSERT_TRUE(ParseFrameBody(frame.data() + 4, frame.size() - 4, &parsed));
  EXPECT_EQ(parsed.source_id(), "vorn-cli-0");
  EXPECT_EQ(parsed.destination_id(), "receiver-0");
  EXPECT_EQ(parsed.namespace_(), "urn:x-vorn:com.orbelo.vorn.receiver");
  EXPECT_EQ(parsed.payload_text(), "{\"type\":\"GET_STATUS\"}");
  EXPECT_FALSE(parsed.has_payload_bytes());
  EXPECT_FALSE(parsed.has_extra_flag());
  EXPECT_FALSE(parsed.has_extra_count());
}

TEST(VornMessageTest, PresenceCountsEvenAtDefaults) {
  VornMessage parsed;
  ASSERT_TRUE(Parse(Bytes(kDefaultsHex), &parsed));
  EXPECT_TRUE(parsed.has_protocol_version());
  EXPECT_TRUE(parsed.has_namespace_());
  EXPECT_TRUE(parsed.has_payload_kind());
  // Re-encoding a parsed message writes the same bytes.
  EXPECT_EQ(Hex(parsed.SerializeAsString()), kDefaultsHex);
}

// --- Unknown enum values and unknown fields ---------------------------------

TEST(VornMessageTest, UnknownVersionIsKeptAndFailsTheRequiredCheck) {
  // Field 1 = 5 only: the value is not stored, so field 1 stays absent.
  std::string body = Bytes("08 05 12 00 1A 00 22 00 28 00");
  VornMessage parsed;
  EXPECT_FALSE(Parse(body, &parsed));
  VornMessage partial;
  ASSERT_TRUE(partial.ParsePartialFromString(body));
  EXPECT_FALSE(partial.has_protocol_version());
  // The tag and the value are kept among the unknown fields, after field 5.
  EXPECT_EQ(Hex(partial.SerializePartialAsString()),
            "12 00 1A 00 22 00 28 00 08 05");
}

TEST(VornMessageTest, Version999Parses) {
  VornMessage parsed;
  ASSERT_TRUE(Parse(Bytes("08 E7 07 12 00 1A 00 22 00 28 00"), &parsed));
  EXPECT_EQ(parsed.protocol_version(), VornMessage::VERSION_999);
}

TEST(VornMessageTest, KnownThenUnknownVersionKeepsTheKnownOne) {
  VornMessage parsed;
  ASSERT_TRUE(Parse(Bytes("08 00 08 05 12 00 1A 00 22 00 28 00"), &parsed));
  EXPECT_EQ(parsed.protocol_version(), VornMessage::VERSION_0);
  EXPECT_EQ(Hex(parsed.SerializeAsString()),
            std::string(kDefaultsHex) + " 08 05");
}

TEST(VornMessageTest, UnknownPayloadKindIsKept) {
  VornMessage parsed;
  ASSERT_TRUE(Parse(Bytes("08 00 12 00 1A 00 22 00 28 01 28 02"), &parsed));
  EXPECT_EQ(parsed.payload_kind(), VornMessage::BYTES);
  EXPECT_EQ(Hex(parsed.SerializeAsString()),
            "08 00 12 00 1A 00 22 00 28 01 28 02");
}

TEST(VornMessageTest, UnknownField12SurvivesAfterField9) {
  // Field 12 (length-delimited "xy") arrives first; it is written last.
  std::string body =
      Bytes("62 02 78 79") + Bytes(kDefaultsHex) + Bytes("48 07");
  VornMessage parsed;
  ASSERT_TRUE(Parse(body, &parsed));
  EXPECT_EQ(parsed.extra_count(), 7u);
  EXPECT_EQ(Hex(parsed.SerializeAsString()),
            std::string(kDefaultsHex) + " 48 07 62 02 78 79");
}

TEST(VornMessageTest, MismatchedWireTypeIsAnUnknownField) {
  // Field 6 as a varint (tag 0x30) instead of a length-delimited string.
  VornMessage parsed;
  ASSERT_TRUE(Parse(Bytes(kDefaultsHex) + Bytes("30 01"), &parsed));
  EXPECT_FALSE(parsed.has_payload_text());
  EXPECT_EQ(Hex(parsed.SerializeAsString()),
            std::string(kDefaultsHex) + " 30 01");
}

TEST(VornMessageTest, MergeOverwritesPresentFieldsAndAppendsUnknown) {
  VornMessage target;
  ASSERT_TRUE(Parse(Bytes(kDefaultsHex) + Bytes("62 01 41"), &target));
  VornMessage source;
  ASSERT_TRUE(
      Parse(Bytes("08 01 12 01 62 1A 00 22 00 28 00 62 01 42"), &source));
  target.MergeFrom(source);
  EXPECT_EQ(target.protocol_version(), VornMessage::VERSION_1);
  EXPECT_EQ(target.source_id(), "b");
  EXPECT_EQ(Hex(target.SerializeAsString()),
            "08 01 12 01 62 1A 00 22 00 28 00 62 01 41 62 01 42");
}

TEST(VornMessageTest, ClearDropsUnknownFields) {
  VornMessage parsed;
  ASSERT_TRUE(Parse(Bytes(kDefaultsHex) + Bytes("62 01 41"), &parsed));
  parsed.Clear();
  EXPECT_EQ(parsed.ByteSizeLong(), 0u);
}

TEST(VornMessageTest, MalformedInputFails) {
  VornMessage parsed;
  // A varint cut short, and a string length beyond the end.
  EXPECT_FALSE(Parse(Bytes(kDefaultsHex) + Bytes("48 80"), &parsed));
  EXPECT_FALSE(Parse(Bytes(kDefaultsHex) + Bytes("32 05 41"), &parsed));
  EXPECT_FALSE(Parse("", &parsed));
}

// --- Frames ------------------------------------------------------------------

TEST(MessageFrameTest, HeaderIsBigEndian) {
  char header[4];
  EncodeFrameHeader(0x01020304u, header);
  EXPECT_EQ(Hex(std::string(header, 4)), "01 02 03 04");
  EXPECT_EQ(DecodeFrameHeader(header), 0x01020304u);
  // High bytes are unsigned: no sign extension on the way back.
  EXPECT_EQ(DecodeFrameHeader(Bytes("FF FF FF FE").data()), 0xFFFFFFFEu);
}

TEST(MessageFrameTest, BodyLengthLimits) {
  EXPECT_FALSE(
      IsValidFrameBodyLength(DecodeFrameHeader(Bytes("00 00 00 00").data())));
  EXPECT_TRUE(
      IsValidFrameBodyLength(DecodeFrameHeader(Bytes("00 00 00 01").data())));
  EXPECT_TRUE(
      IsValidFrameBodyLength(DecodeFrameHeader(Bytes("00 01 00 00").data())));
  EXPECT_FALSE(
      IsValidFrameBodyLength(DecodeFrameHeader(Bytes("00 01 00 01").data())));
  EXPECT_FALSE(
      IsValidFrameBodyLength(DecodeFrameHeader(Bytes("80 00 00 00").data())));
}

// A status message whose encoding is exactly `body_size` bytes.
VornMessage MessageOfSize(size_t body_size) {
  VornMessage message = StatusMessage("");
  size_t overhead = message.ByteSizeLong();
  // The empty payload_text already costs its tag and a one-byte length; the
  // length takes three bytes for payloads of 16384 bytes and more.
  message.set_payload_text(std::string(body_size - overhead - 2, 'x'));
  EXPECT_EQ(message.ByteSizeLong(), body_size);
  return message;
}

TEST(MessageFrameTest, BodyOfExactly65536BytesIsFramed) {
  VornMessage message = MessageOfSize(65536);
  std::string frame;
  size_t n = 0;
  ASSERT_EQ(BuildFrame(message, &frame, &n), FrameBuildResult::kOk);
  EXPECT_EQ(n, 65536u);
  EXPECT_EQ(frame.size(), 65540u);
  EXPECT_EQ(Hex(frame.substr(0, 4)), "00 01 00 00");
  VornMessage parsed;
  ASSERT_TRUE(ParseFrameBody(frame.data() + 4, n, &parsed));
  EXPECT_EQ(parsed.payload_text(), message.payload_text());
}

TEST(MessageFrameTest, BodyOneByteLongerIsRefused) {
  VornMessage message = MessageOfSize(65537);
  std::string frame;
  size_t n = 0;
  EXPECT_EQ(BuildFrame(message, &frame, &n), FrameBuildResult::kBodyTooLong);
  EXPECT_EQ(n, 65537u);
}

TEST(MessageFrameTest, OversizedBodyIsNotParsed) {
  std::string body = MessageOfSize(65537).SerializeAsString();
  VornMessage parsed;
  EXPECT_FALSE(ParseFrameBody(body.data(), body.size(), &parsed));
}

}  // namespace
}  // namespace receiver
