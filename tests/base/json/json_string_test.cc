// Strings of the JSON reader: the word-at-a-time scan and the shortcuts for
// common UTF-8 forms must accept and reject exactly what a plain
// character-by-character check does, wherever the characters fall.

#include <cstdint>
#include <random>
#include <string>

#include "base/json/json_reader.h"
#include "gtest/gtest.h"

namespace base {
namespace {

// A deliberately simple validator: true when `bytes` is well-formed UTF-8
// made of valid characters (no surrogates, no noncharacters, at most
// U+10FFFF).
bool IsValidText(const std::string& bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    const unsigned char lead = static_cast<unsigned char>(bytes[i]);
    int length;
    uint32_t value;
    uint32_t minimum;
    if (lead < 0x80) {
      ++i;
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      value = lead & 0x1Fu;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      value = lead & 0x0Fu;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      value = lead & 0x07u;
      minimum = 0x10000;
    } else {
      return false;
    }
    if (i + static_cast<size_t>(length) > bytes.size()) return false;
    for (int k = 1; k < length; ++k) {
      const unsigned char byte = static_cast<unsigned char>(bytes[i + k]);
      if ((byte & 0xC0) != 0x80) return false;
      value = (value << 6) | (byte & 0x3Fu);
    }
    if (value < minimum || value > 0x10FFFF) return false;
    if (value >= 0xD800 && value <= 0xDFFF) return false;
    if (value >= 0xFDD0 && value <= 0xFDEF) return false;
    if ((value & 0xFFFE) == 0xFFFE) return false;
    i += static_cast<size_t>(length);
  }
  return true;
}

std::unique_ptr<JsonValue> ParseString(const std::string& body,
                                       JsonReader* reader) {
  return reader->ReadToValue("\"" + body + "\"");
}

TEST(JsonStringTest, CharactersAtEveryOffsetOfAWord) {
  const std::string kCharacters[] = {"\xC2\x80",     "\xDF\xBF",
                                     "\xE1\x80\x80", "\xE3\x81\x82",
                                     "\xEC\xBF\xBF", "\xEE\x80\x80",
                                     "\xEF\xBF\xBD", "\xE0\xA0\x80",
                                     "\xED\x9F\xBF", "\xF0\x9F\x98\x80",
                                     "\\n",          "\\u00e9",
                                     "\\\"",         "\x01",
                                     "\x7F"};
  const std::string kDecoded[] = {"\xC2\x80",     "\xDF\xBF",
                                  "\xE1\x80\x80", "\xE3\x81\x82",
                                  "\xEC\xBF\xBF", "\xEE\x80\x80",
                                  "\xEF\xBF\xBD", "\xE0\xA0\x80",
                                  "\xED\x9F\xBF", "\xF0\x9F\x98\x80",
                                  "\n",           "\xC3\xA9",
                                  "\"",           "\x01",
                                  "\x7F"};
  JsonReader reader;
  for (size_t c = 0; c < std::size(kCharacters); ++c) {
    for (size_t before = 0; before <= 17; ++before) {
      for (size_t after = 0; after <= 9; after += 3) {
        const std::string head(before, 'a');
        const std::string tail(after, 'z');
        SCOPED_TRACE(head + kCharacters[c] + tail);
        std::unique_ptr<JsonValue> value =
            ParseString(head + kCharacters[c] + tail, &reader);
        ASSERT_TRUE(value);
        EXPECT_EQ(value->GetString(), head + kDecoded[c] + tail);
      }
    }
  }
}

TEST(JsonStringTest, ClosingQuoteAtEveryOffset) {
  JsonReader reader;
  for (size_t length = 0; length <= 24; ++length) {
    const std::string body(length, 'x');
    std::unique_ptr<JsonValue> list =
        reader.ReadToValue("[\"" + body + "\",\"" + body + "\xC3\xA9\"]");
    ASSERT_TRUE(list) << length;
    EXPECT_EQ(list->GetList()[0].GetString(), body);
    EXPECT_EQ(list->GetList()[1].GetString(), body + "\xC3\xA9");
  }
}

TEST(JsonStringTest, RandomBytesMatchPlainValidator) {
  // Bytes around every boundary the shortcuts rely on; no quote or
  // backslash, so each draw is one string body.
  const unsigned char kBytes[] = {
      'a',  ' ',  0x01, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF,
      0xC0, 0xC1, 0xC2, 0xDF, 0xE0, 0xE1, 0xEC, 0xED, 0xEE, 0xEF,
      0xF0, 0xF4, 0xF5, 0xFF, 0xB7, 0xBE, 0xB0, 0x81, 0xE3};
  // Whole characters, valid and not, near the same boundaries.
  const char* const kPieces[] = {
      "\xC2\x80",         "\xDF\xBF",         "\xE1\x80\x80",
      "\xEC\xBF\xBF",     "\xEE\xBF\xBF",     "\xEF\xB7\x90",
      "\xEF\xBF\xBE",     "\xEF\xBF\xBD",     "\xED\xA0\x80",
      "\xE0\x9F\xBF",     "\xF0\x90\x80\x80", "\xF4\x8F\xBF\xBF",
      "\xF4\x90\x80\x80", "\xE3\x81\x82"};
  std::mt19937 random(99);
  JsonReader reader;
  int valid = 0;
  constexpr int kRounds = 60000;
  for (int i = 0; i < kRounds; ++i) {
    std::string body(static_cast<size_t>(random() % 14), 'q');
    const int extra = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < extra; ++k) {
      if (random() % 3 != 0) {
        body += kPieces[random() % std::size(kPieces)];
      } else {
        body.push_back(static_cast<char>(kBytes[random() % std::size(kBytes)]));
      }
    }
    body.append(static_cast<size_t>(random() % 10), 'r');
    const bool expected = IsValidText(body);
    std::unique_ptr<JsonValue> value = ParseString(body, &reader);
    ASSERT_EQ(value != nullptr, expected) << testing::PrintToString(body);
    if (expected) {
      ++valid;
      ASSERT_EQ(value->GetString(), body);
    } else {
      ASSERT_EQ(reader.error_code(), JsonReader::JSON_UNSUPPORTED_ENCODING);
    }
  }
  // Both outcomes are well represented.
  EXPECT_GT(valid, kRounds / 10);
  EXPECT_LT(valid, kRounds * 9 / 10);
}

TEST(JsonStringTest, TruncatedCharactersAtTheEnd) {
  JsonReader reader;
  for (const char* text : {"\"abc\xE3\x81", "\"abcdefghij\xE3", "\"\xC3",
                           "\"abcdefghijklmnop\xF0\x9F\x98"}) {
    SCOPED_TRACE(text);
    EXPECT_FALSE(reader.ReadToValue(text));
    EXPECT_NE(reader.error_code(), JsonReader::JSON_NO_ERROR);
  }
  // A lead byte whose continuation is the closing quote.
  EXPECT_FALSE(reader.ReadToValue("\"abcdefgh\xE3\x81\""));
  EXPECT_EQ(reader.error_code(), JsonReader::JSON_UNSUPPORTED_ENCODING);
  EXPECT_FALSE(reader.ReadToValue("\"\xC3\"  "));
  EXPECT_EQ(reader.error_code(), JsonReader::JSON_UNSUPPORTED_ENCODING);
}

}  // namespace
}  // namespace base
