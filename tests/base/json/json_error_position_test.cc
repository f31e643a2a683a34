// Where the JSON reader says a failure is: the line and column an operator's
// editor needs to land on the fault, whatever lies before it.

#include <memory>
#include <string>

#include "base/json/json_reader.h"
#include "base/json/json_value.h"
#include "gtest/gtest.h"

namespace base {
namespace {

struct Position {
  int line;
  int column;
  JsonReader::JsonParseError code;
};

Position FailureOf(const std::string& text) {
  JsonReader reader;
  EXPECT_EQ(nullptr, reader.ReadToValue(text)) << text;
  return {reader.error_line(), reader.error_column(), reader.error_code()};
}

void ExpectFailureAt(const std::string& text, int line, int column) {
  const Position at = FailureOf(text);
  EXPECT_EQ(line, at.line) << text;
  EXPECT_EQ(column, at.column) << text;
}

TEST(JsonErrorPositionTest, RawLineBreaksInsideStringsEndLines) {
  // The bad token "x" sits on line 2 in each, two bytes after the break.
  ExpectFailureAt("[\"a\nb\", x]", 2, 5);
  ExpectFailureAt("[\"a\rb\", x]", 2, 5);
  ExpectFailureAt("[\"a\r\nb\", x]", 2, 5);
  ExpectFailureAt("{\"k\n\n\": 1,\n \"v\": x}", 4, 7);
}

TEST(JsonErrorPositionTest, FailureInsideAStringCountsItsBreaks) {
  // An invalid escape after a raw break, on the second line.
  const Position at = FailureOf("\"first\nsecond \\q\"");
  EXPECT_EQ(JsonReader::JSON_INVALID_ESCAPE, at.code);
  EXPECT_EQ(2, at.line);
  EXPECT_EQ(8, at.column);
}

TEST(JsonErrorPositionTest, BreaksInCommentsAndWhiteSpaceStillCount) {
  ExpectFailureAt("[1,\n/* a\r\nb */ 2,\r x]", 4, 2);
  ExpectFailureAt("// one\n// two\n@", 3, 1);
}

TEST(JsonErrorPositionTest, ByteOrderMarkCountsInTheFirstLinesColumns) {
  // The mark is three bytes; "x" is the fifth byte of the text.
  ExpectFailureAt("\xEF\xBB\xBF[ x]", 1, 6);
  ExpectFailureAt("[ x]", 1, 3);
  // After a line break, columns count from the break as always.
  ExpectFailureAt("\xEF\xBB\xBF[\n x]", 2, 2);
}

TEST(JsonErrorPositionTest, MessageCarriesTheSamePosition) {
  JsonReader reader;
  EXPECT_EQ(nullptr, reader.ReadToValue("[\"a\nb\",\n\n x]"));
  EXPECT_EQ("Line: 4, column: 2, Unexpected token.", reader.GetErrorMessage());
}

TEST(JsonErrorPositionTest, ValidTextsWithBreaksInStringsStillParse) {
  std::unique_ptr<JsonValue> value = ParseJson("[\"a\r\nb\", \"\n\"]");
  ASSERT_NE(nullptr, value);
  ASSERT_EQ(2u, value->GetList().size());
  EXPECT_EQ("a\r\nb", value->GetList()[0].GetString());
}

}  // namespace
}  // namespace base
