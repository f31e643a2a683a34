#include "base/json/json_writer.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <sstream>
#include <string>

#include "base/json/json_reader.h"
#include "gtest/gtest.h"

namespace base {
namespace {

std::string Write(const JsonValue& value, int options = 0) {
  std::string text;
  EXPECT_TRUE(WriteJson(value, options, &text));
  return text;
}

std::string WriteDouble(double value, int options = 0) {
  return Write(JsonValue(value), options);
}

std::string WriteString(std::string_view value) {
  return Write(JsonValue(value));
}

// {"a": [1, 2], "b": {"c": true}}
JsonValue SampleDict() {
  JsonValue dict(JsonValue::Type::DICTIONARY);
  JsonValue list(JsonValue::Type::LIST);
  list.Append(JsonValue(1));
  list.Append(JsonValue(2));
  dict.SetKey("a", std::move(list));
  dict.SetPath("b.c", JsonValue(true));
  return dict;
}

TEST(JsonWriterTest, WritesScalars) {
  EXPECT_EQ(Write(JsonValue()), "null");
  EXPECT_EQ(Write(JsonValue(true)), "true");
  EXPECT_EQ(Write(JsonValue(false)), "false");
  EXPECT_EQ(Write(JsonValue(-42)), "-42");
  EXPECT_EQ(Write(JsonValue(-2147483647 - 1)), "-2147483648");
}

TEST(JsonWriterTest, WritesCompactContainersInKeyOrder) {
  EXPECT_EQ(Write(SampleDict()), "{\"a\":[1,2],\"b\":{\"c\":true}}");
  JsonValue dict(JsonValue::Type::DICTIONARY);
  dict.SetKey("z", JsonValue(1));
  dict.SetKey("B", JsonValue(2));
  dict.SetKey("a", JsonValue(3));
  EXPECT_EQ(Write(dict), "{\"B\":2,\"a\":3,\"z\":1}");
  EXPECT_EQ(Write(JsonValue(JsonValue::Type::LIST)), "[]");
  EXPECT_EQ(Write(JsonValue(JsonValue::Type::DICTIONARY)), "{}");
}

TEST(JsonWriterTest, WritesShortestDoubles) {
  EXPECT_EQ(WriteDouble(0.5), "0.5");
  EXPECT_EQ(WriteDouble(-0.5), "-0.5");
  EXPECT_EQ(WriteDouble(3.0), "3.0");
  EXPECT_EQ(WriteDouble(0.0), "0.0");
  EXPECT_EQ(WriteDouble(-0.0), "-0.0");
  EXPECT_EQ(WriteDouble(0.1), "0.1");
  EXPECT_EQ(WriteDouble(1.0 / 3.0), "0.3333333333333333");
  EXPECT_EQ(WriteDouble(-65.613616999999977), "-65.61361699999998");
  EXPECT_EQ(WriteDouble(1e21), "1e+21");
  EXPECT_EQ(WriteDouble(0.0000001), "1e-7");
  EXPECT_EQ(WriteDouble(0.000001), "0.000001");
  EXPECT_EQ(WriteDouble(0.00000123), "0.00000123");
  EXPECT_EQ(WriteDouble(1.5e-7), "1.5e-7");
  EXPECT_EQ(WriteDouble(1e12), "1e+12");
  EXPECT_EQ(WriteDouble(123456789012.0), "123456789012.0");
  EXPECT_EQ(WriteDouble(1234567890123.0), "1.234567890123e+12");
  EXPECT_EQ(WriteDouble(2147483648.0), "2147483648.0");
  EXPECT_EQ(WriteDouble(-1.7976931348623157e308), "-1.7976931348623157e+308");
  EXPECT_EQ(WriteDouble(5e-324), "5e-324");
}

TEST(JsonWriterTest, WritesIntegralDoublesPlainUpToTwelveDigits) {
  EXPECT_EQ(WriteDouble(0.0), "0.0");
  EXPECT_EQ(WriteDouble(-0.0), "-0.0");
  EXPECT_EQ(WriteDouble(-3.0), "-3.0");
  EXPECT_EQ(WriteDouble(1000000.0), "1000000.0");
  EXPECT_EQ(WriteDouble(-2147483648.0), "-2147483648.0");
  EXPECT_EQ(WriteDouble(999999999999.0), "999999999999.0");
  EXPECT_EQ(WriteDouble(-999999999999.0), "-999999999999.0");
  EXPECT_EQ(WriteDouble(1e12), "1e+12");
  EXPECT_EQ(WriteDouble(-1e12), "-1e+12");
  EXPECT_EQ(WriteDouble(4503599627370496.0), "4.503599627370496e+15");
  // Just off an integer: the general path, which keeps the fraction.
  EXPECT_EQ(WriteDouble(std::nextafter(5.0, 6.0)), "5.000000000000001");
}

TEST(JsonWriterTest, IntegralDoublesMatchShortestFixedDigits) {
  std::mt19937_64 random(12);
  for (int i = 0; i < 20000; ++i) {
    const double magnitude = std::pow(10.0, static_cast<double>(random() % 13));
    double value = std::trunc(static_cast<double>(random() % (1u << 30)) /
                              (1u << 30) * magnitude);
    if (random() % 2) value = -value;
    char buffer[40];
    const std::to_chars_result result = std::to_chars(
        buffer, buffer + sizeof(buffer), value, std::chars_format::fixed);
    const std::string expected = std::string(buffer, result.ptr) + ".0";
    ASSERT_EQ(WriteDouble(value), expected);
  }
}

TEST(JsonWriterTest, IntegralDoublesAsIntegersWithOption) {
  const int kOption = OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION;
  EXPECT_EQ(WriteDouble(3.0, kOption), "3");
  EXPECT_EQ(WriteDouble(-0.0, kOption), "0");
  EXPECT_EQ(WriteDouble(1e15, kOption), "1000000000000000");
  EXPECT_EQ(WriteDouble(-9223372036854775808.0, kOption),
            "-9223372036854775808");
  EXPECT_EQ(WriteDouble(3.5, kOption), "3.5");
  EXPECT_EQ(WriteDouble(9223372036854775808.0, kOption),
            "9.223372036854776e+18");
  EXPECT_EQ(WriteDouble(1e21, kOption), "1e+21");
}

TEST(JsonWriterTest, NonFiniteDoublesBecomeNull) {
  EXPECT_EQ(WriteDouble(INFINITY), "null");
  EXPECT_EQ(WriteDouble(-INFINITY), "null");
  EXPECT_EQ(WriteDouble(NAN), "null");
}

TEST(JsonWriterTest, EscapesStrings) {
  EXPECT_EQ(WriteString("plain / text \x7F"), "\"plain / text \x7F\"");
  EXPECT_EQ(WriteString("a<b"), "\"a\\u003Cb\"");
  EXPECT_EQ(WriteString("\x01"), "\"\\u0001\"");
  EXPECT_EQ(WriteString("\x1F\x0B"), "\"\\u001F\\u000B\"");
  EXPECT_EQ(WriteString("\b\t\n\f\r\"\\"), "\"\\b\\t\\n\\f\\r\\\"\\\\\"");
  EXPECT_EQ(WriteString(std::string("\0", 1)), "\"\\u0000\"");
  EXPECT_EQ(WriteString("\xE2\x80\xA8\xE2\x80\xA9"), "\"\\u2028\\u2029\"");
  EXPECT_EQ(WriteString("\xC3\xA9\xF0\x9F\x98\x80"),
            "\"\xC3\xA9\xF0\x9F\x98\x80\"");
}

TEST(JsonWriterTest, CopiesValidMultiByteRunsAndEscapesLineSeparators) {
  EXPECT_EQ(WriteString("\xE6\x97\xA5\xE6\x9C\xAC\xC3\xA9x"),
            "\"\xE6\x97\xA5\xE6\x9C\xAC\xC3\xA9x\"");
  EXPECT_EQ(WriteString("a\xE2\x80\xA8\xC3\xA9\xE2\x80\xA9"),
            "\"a\\u2028\xC3\xA9\\u2029\"");
  // A valid run, then a broken sequence, then a valid run again.
  EXPECT_EQ(WriteString("\xC3\xA9\xE6\x97<\xC3\xA9"),
            "\"\xC3\xA9\xEF\xBF\xBD\\u003C\xC3\xA9\"");
}

TEST(JsonWriterTest, ReplacesInvalidUtf8) {
  EXPECT_EQ(WriteString("a\xFF"
                        "b"),
            "\"a\xEF\xBF\xBD"
            "b\"");
  EXPECT_EQ(WriteString("\xEF\xBF\xBE"), "\"\xEF\xBF\xBD\"");  // U+FFFE
  EXPECT_EQ(WriteString("end\xE2\x82"), "\"end\xEF\xBF\xBD\"");
}

TEST(JsonWriterTest, EscapesKeys) {
  JsonValue dict(JsonValue::Type::DICTIONARY);
  dict.SetKey("<\n", JsonValue(1));
  EXPECT_EQ(Write(dict), "{\"\\u003C\\n\":1}");
}

TEST(JsonWriterTest, PrettyPrintsLikeTheSample) {
  EXPECT_EQ(Write(SampleDict(), OPTIONS_PRETTY_PRINT),
            "{\n"
            "   \"a\": [ 1, 2 ],\n"
            "   \"b\": {\n"
            "      \"c\": true\n"
            "   }\n"
            "}\n");
}

TEST(JsonWriterTest, PrettyPrintsEmptyContainersAndScalars) {
  EXPECT_EQ(Write(JsonValue(JsonValue::Type::LIST), OPTIONS_PRETTY_PRINT),
            "[  ]\n");
  EXPECT_EQ(Write(JsonValue(JsonValue::Type::DICTIONARY), OPTIONS_PRETTY_PRINT),
            "{\n\n}\n");
  EXPECT_EQ(Write(JsonValue(7), OPTIONS_PRETTY_PRINT), "7\n");
  JsonValue dict(JsonValue::Type::DICTIONARY);
  dict.SetKey("e", JsonValue(JsonValue::Type::DICTIONARY));
  EXPECT_EQ(Write(dict, OPTIONS_PRETTY_PRINT), "{\n   \"e\": {\n\n   }\n}\n");
}

TEST(JsonWriterTest, PrettyDictionaryInListKeepsListDepth) {
  JsonValue inner(JsonValue::Type::DICTIONARY);
  inner.SetKey("x", JsonValue(1));
  JsonValue list(JsonValue::Type::LIST);
  list.Append(std::move(inner));
  list.Append(JsonValue(JsonValue::Type::LIST));
  JsonValue root(JsonValue::Type::DICTIONARY);
  root.SetKey("l", std::move(list));
  EXPECT_EQ(Write(root, OPTIONS_PRETTY_PRINT),
            "{\n"
            "   \"l\": [ {\n"
            "      \"x\": 1\n"
            "   }, [  ] ]\n"
            "}\n");
}

TEST(JsonWriterTest, StreamingWritesPrettyForm) {
  std::ostringstream out;
  out << SampleDict();
  std::string pretty;
  WriteJson(SampleDict(), OPTIONS_PRETTY_PRINT, &pretty);
  EXPECT_EQ(out.str(), pretty);
}

TEST(JsonWriterTest, OmitsBinaryWithOption) {
  JsonValue root(JsonValue::Type::DICTIONARY);
  root.SetKey("a", JsonValue(1));
  root.SetKey("bin", JsonValue::CreateBinary({'x'}));
  JsonValue list(JsonValue::Type::LIST);
  list.Append(JsonValue::CreateBinary({}));
  list.Append(JsonValue(2));
  root.SetKey("l", std::move(list));
  EXPECT_EQ(Write(root, OPTIONS_OMIT_BINARY_VALUES), "{\"a\":1,\"l\":[2]}");
}

TEST(JsonWriterTest, ReplacesPreviousOutput) {
  std::string text = "stale";
  EXPECT_TRUE(WriteJson(JsonValue(1), 0, &text));
  EXPECT_EQ(text, "1");
}

// Error paths.

TEST(JsonWriterTest, BinaryFailsButRestIsWritten) {
  JsonValue root(JsonValue::Type::DICTIONARY);
  root.SetKey("a", JsonValue::CreateBinary({'x'}));
  root.SetKey("b", JsonValue(2));
  std::string text;
  EXPECT_FALSE(WriteJson(root, 0, &text));
  EXPECT_NE(text.find("\"b\":2"), std::string::npos) << text;
  EXPECT_FALSE(SerializeToJson(root).has_value());
  EXPECT_FALSE(SerializeToJson(JsonValue::CreateBinary({})).has_value());
}

TEST(JsonWriterTest, SerializeToJsonIsCompact) {
  std::optional<std::string> text = SerializeToJson(SampleDict());
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(*text, "{\"a\":[1,2],\"b\":{\"c\":true}}");
}

}  // namespace
}  // namespace base
