// Parse, write and parse again: the two trees must be equal, in compact and
// pretty form, over hand-written texts and the benchmark documents.

#include <unistd.h>

#include <string>

#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "gtest/gtest.h"
#include "tests/support/files.h"

namespace base {
namespace {

void ExpectRoundTrip(const std::string& text) {
  std::unique_ptr<JsonValue> first = ParseJson(text);
  ASSERT_TRUE(first) << text.substr(0, 200);
  for (int options : {0, static_cast<int>(OPTIONS_PRETTY_PRINT)}) {
    std::string written;
    ASSERT_TRUE(WriteJson(*first, options, &written));
    std::unique_ptr<JsonValue> second = ParseJson(written);
    ASSERT_TRUE(second) << written.substr(0, 200);
    EXPECT_EQ(*first, *second) << written.substr(0, 200);
    // Writing is deterministic, so a second write gives the same text.
    std::string rewritten;
    ASSERT_TRUE(WriteJson(*second, options, &rewritten));
    EXPECT_EQ(written, rewritten);
  }
}

TEST(JsonRoundTripTest, HandWrittenTexts) {
  const char* const kTexts[] = {
      "null",
      "[true, false, null, 0, -0, 1, -2147483648, 2147483648]",
      "[0.1, 1e300, -1e-300, 5e-324, 1.7976931348623157e308, 123456.789]",
      "{\"a\": {\"b\": {\"c\": [[], {}, [[{}]]]}}}",
      "\"\\u0001\\u001f<>&\\\\\\\"\\/\\u2028\\u2029\\uD83D\\uDE00\\xE9\"",
      "{\"\xC3\xA9t\xC3\xA9\": \"\xE6\x97\xA5\xE6\x9C\xAC\", \"\": \"\"}",
      "[\"tab\\there\", \"line\\nfeed\", \"\\b\\f\\r\\v\"]",
  };
  for (const char* text : kTexts) ExpectRoundTrip(text);
}

TEST(JsonRoundTripTest, BenchmarkDocuments) {
  int found = 0;
  for (const char* name :
       {"canada.json", "citm_catalog.json", "twitter.json"}) {
    const std::string path = std::string(VORN_JSON_BENCH_DATA) + "/" + name;
    if (access(path.c_str(), R_OK) != 0) continue;
    ++found;
    SCOPED_TRACE(name);
    ExpectRoundTrip(vorn::test::ReadFile(path));
  }
  if (found == 0) GTEST_SKIP() << "no documents in " << VORN_JSON_BENCH_DATA;
}

}  // namespace
}  // namespace base
