#include "base/json/json_reader.h"

#include <climits>
#include <cmath>
#include <string>

#include "gtest/gtest.h"

namespace base {
namespace {

class JsonReaderTest : public ::testing::Test {
 protected:
  // Parses `text` with `options`; null on failure (reader_ keeps the error).
  std::unique_ptr<JsonValue> Parse(std::string_view text, int options = 0) {
    reader_ = std::make_unique<JsonReader>(options);
    return reader_->ReadToValue(text);
  }

  // The error code of parsing `text`, expecting the parse to fail.
  JsonReader::JsonParseError ErrorOf(std::string_view text, int options = 0) {
    std::unique_ptr<JsonValue> value = Parse(text, options);
    EXPECT_EQ(value, nullptr) << text;
    return reader_->error_code();
  }

  // Parses a one-string document and returns the string.
  std::string StringOf(std::string_view text) {
    std::unique_ptr<JsonValue> value = Parse(text);
    if (!value || !value->is_string()) {
      ADD_FAILURE() << "not a string document: " << text;
      return std::string();
    }
    return value->GetString();
  }

  static std::string Nested(int depth) {
    return std::string(static_cast<size_t>(depth), '[') +
           std::string(static_cast<size_t>(depth), ']');
  }

  std::unique_ptr<JsonReader> reader_;
};

TEST_F(JsonReaderTest, ParsesEveryRootKind) {
  EXPECT_TRUE(Parse("null")->is_none());
  EXPECT_TRUE(Parse("true")->GetBool());
  EXPECT_FALSE(Parse("false")->GetBool());
  EXPECT_EQ(Parse("42")->GetInt(), 42);
  EXPECT_EQ(Parse("2.5")->GetDouble(), 2.5);
  EXPECT_EQ(Parse("\"hi\"")->GetString(), "hi");
  EXPECT_TRUE(Parse("[]")->is_list());
  EXPECT_TRUE(Parse("{}")->is_dict());
  EXPECT_EQ(reader_->error_code(), JsonReader::JSON_NO_ERROR);
  EXPECT_EQ(reader_->GetErrorMessage(), "");
}

TEST_F(JsonReaderTest, ParsesNestedDocument) {
  std::unique_ptr<JsonValue> value =
      Parse("{\"b\": [1, 2.5, \"x\", {\"c\": null}], \"a\": {\"d\": true}}");
  ASSERT_TRUE(value);
  ASSERT_EQ(value->DictSize(), 2u);
  EXPECT_EQ(value->DictItems()[0].first, "a");
  const JsonValue* list = value->FindKeyOfType("b", JsonValue::Type::LIST);
  ASSERT_TRUE(list);
  ASSERT_EQ(list->ListSize(), 4u);
  EXPECT_EQ(list->GetList()[0].GetInt(), 1);
  EXPECT_EQ(list->GetList()[1].GetDouble(), 2.5);
  EXPECT_EQ(list->GetList()[2].GetString(), "x");
  EXPECT_TRUE(list->GetList()[3].FindKey("c")->is_none());
  ASSERT_TRUE(value->FindPath("a.d"));
  EXPECT_TRUE(value->FindPath("a.d")->GetBool());
}

TEST_F(JsonReaderTest, SkipsBomWhitespaceAndComments) {
  EXPECT_EQ(Parse("\xEF\xBB\xBF 7")->GetInt(), 7);
  EXPECT_EQ(Parse(" \t\r\n[1, /* two */ 2 // end\n]")->ListSize(), 2u);
  EXPECT_EQ(Parse("1 // trailing line comment")->GetInt(), 1);
  EXPECT_EQ(Parse("[1] /* unterminated after the root")->ListSize(), 1u);
  EXPECT_EQ(Parse("/**/{/*k*/\"a\"/*:*/:/*v*/1/**/}")->DictSize(), 1u);
}

TEST_F(JsonReaderTest, LastDuplicateKeyWins) {
  std::unique_ptr<JsonValue> value = Parse("{\"a\": 1, \"b\": 0, \"a\": 2}");
  ASSERT_TRUE(value);
  EXPECT_EQ(value->DictSize(), 2u);
  EXPECT_EQ(value->FindKey("a")->GetInt(), 2);
}

TEST_F(JsonReaderTest, LargeDictionaryIsSortedWithLastDuplicateWinning) {
  std::string text = "{";
  for (int i = 99; i >= 0; --i) {
    text += "\"k" + std::to_string(i % 50) + "\": " + std::to_string(i) + ",";
  }
  text.back() = '}';
  std::unique_ptr<JsonValue> value = Parse(text);
  ASSERT_TRUE(value);
  ASSERT_EQ(value->DictSize(), 50u);
  // Key k7 was given 57 first and 7 last.
  EXPECT_EQ(value->FindKey("k7")->GetInt(), 7);
  const auto& items = value->DictItems();
  for (size_t i = 1; i < items.size(); ++i) {
    EXPECT_LT(items[i - 1].first, items[i].first);
  }
}

TEST_F(JsonReaderTest, NumbersBecomeIntegersOnlyWhenLossless) {
  EXPECT_EQ(Parse("2147483647")->GetInt(), 2147483647);
  EXPECT_EQ(Parse("-2147483648")->GetInt(), -2147483647 - 1);
  EXPECT_TRUE(Parse("2147483648")->is_double());
  EXPECT_EQ(Parse("2147483648")->GetDouble(), 2147483648.0);
  EXPECT_TRUE(Parse("-2147483649")->is_double());
  EXPECT_TRUE(Parse("12345678901234")->is_double());
  std::unique_ptr<JsonValue> minus_zero = Parse("-0");
  ASSERT_TRUE(minus_zero->is_int());
  EXPECT_EQ(minus_zero->GetInt(), 0);
  EXPECT_TRUE(Parse("1.0")->is_double());
  EXPECT_TRUE(Parse("1e2")->is_double());
}

TEST_F(JsonReaderTest, ParsesFractionsAndExponents) {
  EXPECT_EQ(Parse("0.5")->GetDouble(), 0.5);
  EXPECT_EQ(Parse("-1.25e2")->GetDouble(), -125.0);
  EXPECT_EQ(Parse("1E+2")->GetDouble(), 100.0);
  EXPECT_EQ(Parse("1.007")->GetDouble(), 1.007);
  EXPECT_EQ(Parse("1e007")->GetDouble(), 1e7);
  EXPECT_EQ(Parse("2e-3")->GetDouble(), 0.002);
  EXPECT_EQ(Parse("4.9e-324")->GetDouble(), 4.9e-324);
  // Too small for a double: rounds to zero and keeps the sign.
  EXPECT_EQ(Parse("1e-400")->GetDouble(), 0.0);
  EXPECT_TRUE(std::signbit(Parse("-0.0001e-400")->GetDouble()));
}

TEST_F(JsonReaderTest, TooLargeNumberFailsWithoutErrorCode) {
  EXPECT_EQ(ErrorOf("1e400"), JsonReader::JSON_NO_ERROR);
  EXPECT_EQ(ErrorOf("[-1e400]"), JsonReader::JSON_NO_ERROR);
  EXPECT_EQ(ErrorOf("1" + std::string(400, '0')), JsonReader::JSON_NO_ERROR);
  EXPECT_EQ(reader_->error_line(), 0);
  EXPECT_EQ(reader_->GetErrorMessage(), "");
}

TEST_F(JsonReaderTest, DecodesEscapes) {
  EXPECT_EQ(StringOf(R"("\"\\\/\b\f\n\r\t\v")"), "\"\\/\b\f\n\r\t\v");
  EXPECT_EQ(StringOf(R"("\u00e9")"), "\xC3\xA9");
  EXPECT_EQ(StringOf(R"("\xE9")"), "\xC3\xA9");
  EXPECT_EQ(StringOf(R"("a\x41b")"), "aAb");
  EXPECT_EQ(StringOf(R"("\u20AC")"), "\xE2\x82\xAC");
  EXPECT_EQ(StringOf(R"("\uD83D\uDE00")"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(StringOf(R"("x\u0000y")"), std::string("x\0y", 3));
}

TEST_F(JsonReaderTest, AcceptsUtf8AndRawControlCharacters) {
  EXPECT_EQ(StringOf("\"\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 long enough\""),
            "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 long enough");
  EXPECT_EQ(StringOf("\"tab\there\x01\""), "tab\there\x01");
}

TEST_F(JsonReaderTest, Accepts199NestedContainers) {
  EXPECT_TRUE(Parse(Nested(199)));
  std::string dicts;
  for (int i = 0; i < 198; ++i) dicts += "{\"a\":";
  dicts += "[]" + std::string(198, '}');
  EXPECT_TRUE(Parse(dicts));
}

TEST_F(JsonReaderTest, OptionsAllowTrailingCommasAndReplaceInvalidText) {
  EXPECT_EQ(Parse("[1,2,]", JSON_ALLOW_TRAILING_COMMAS)->ListSize(), 2u);
  EXPECT_EQ(Parse("{\"a\":1,}", JSON_ALLOW_TRAILING_COMMAS)->DictSize(), 1u);
  std::unique_ptr<JsonValue> value =
      Parse("\"a\xFF\\n\xEF\xBF\xBE\\uFDD0\"", JSON_REPLACE_INVALID_CHARACTERS);
  ASSERT_TRUE(value);
  EXPECT_EQ(value->GetString(), "a\xEF\xBF\xBD\n\xEF\xBF\xBD\xEF\xBF\xBD");
}

TEST_F(JsonReaderTest, ReaderCanBeReused) {
  JsonReader reader;
  EXPECT_FALSE(reader.ReadToValue("[1,]"));
  EXPECT_EQ(reader.error_code(), JsonReader::JSON_TRAILING_COMMA);
  EXPECT_TRUE(reader.ReadToValue("[1]"));
  EXPECT_EQ(reader.error_code(), JsonReader::JSON_NO_ERROR);
  EXPECT_EQ(reader.error_line(), 0);
}

// Error paths.

TEST_F(JsonReaderTest, ErrorTable) {
  struct Case {
    const char* text;
    JsonReader::JsonParseError code;
  };
  const Case kCases[] = {
      {"\"\\q\"", JsonReader::JSON_INVALID_ESCAPE},
      {"[1 2]", JsonReader::JSON_SYNTAX_ERROR},
      {"", JsonReader::JSON_UNEXPECTED_TOKEN},
      {"[1,]", JsonReader::JSON_TRAILING_COMMA},
      {"{\"a\":1,}", JsonReader::JSON_TRAILING_COMMA},
      {"\"a\" \"b\"", JsonReader::JSON_UNEXPECTED_DATA_AFTER_ROOT},
      {"\"\xFF\"", JsonReader::JSON_UNSUPPORTED_ENCODING},
      {"{a:1}", JsonReader::JSON_UNQUOTED_DICTIONARY_KEY},
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(ErrorOf(c.text), c.code) << c.text;
  }
  EXPECT_EQ(ErrorOf(Nested(200)), JsonReader::JSON_TOO_MUCH_NESTING);
}

TEST_F(JsonReaderTest, ErrorMessagesCarryLineAndColumn) {
  EXPECT_EQ(ErrorOf(""), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(reader_->error_line(), 1);
  EXPECT_EQ(reader_->GetErrorMessage(),
            "Line: 1, column: 1, Unexpected token.");
  EXPECT_EQ(ErrorOf("[1,\n 2,\r\n  ]"), JsonReader::JSON_TRAILING_COMMA);
  EXPECT_EQ(reader_->error_line(), 3);
  EXPECT_EQ(reader_->error_column(), 3);
  EXPECT_EQ(ErrorOf("{\r\r\"a\" 1}"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(reader_->error_line(), 3);
  EXPECT_EQ(reader_->error_column(), 5);
  EXPECT_EQ(ErrorOf("/* a\nb */ x"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(reader_->error_line(), 2);
  EXPECT_EQ(reader_->error_column(), 6);
}

TEST_F(JsonReaderTest, ErrorCodesHaveFixedTexts) {
  EXPECT_STREQ(JsonReader::ErrorCodeToString(JsonReader::JSON_NO_ERROR), "");
  EXPECT_STREQ(JsonReader::ErrorCodeToString(JsonReader::JSON_SYNTAX_ERROR),
               "Syntax error.");
  EXPECT_STREQ(
      JsonReader::ErrorCodeToString(JsonReader::JSON_UNSUPPORTED_ENCODING),
      "Unsupported encoding. JSON must be UTF-8.");
  EXPECT_STREQ(JsonReader::ErrorCodeToString(JsonReader::JSON_TOO_LARGE),
               "Input string is too large (>2GB).");
}

TEST_F(JsonReaderTest, UnterminatedBlockCommentDependsOnPosition) {
  EXPECT_EQ(ErrorOf("[1 /* open"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("{ /* open"), JsonReader::JSON_UNQUOTED_DICTIONARY_KEY);
  EXPECT_EQ(ErrorOf("{\"a\": 1, /* open"),
            JsonReader::JSON_UNQUOTED_DICTIONARY_KEY);
  EXPECT_EQ(ErrorOf("[ /* open"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf("{\"a\": /* open"), JsonReader::JSON_UNEXPECTED_TOKEN);
}

TEST_F(JsonReaderTest, RejectsMalformedTokens) {
  EXPECT_EQ(ErrorOf("/"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf("[1 / 2]"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("tru"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("nul"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("fals"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("[}"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf(":"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf("{\"a\" 1}"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("{\"a\":1 \"b\":2}"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("{\"a\":1"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("[1"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("[1,"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf("[,1]"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf("{,}"), JsonReader::JSON_UNQUOTED_DICTIONARY_KEY);
  EXPECT_EQ(ErrorOf("[1] 2"), JsonReader::JSON_UNEXPECTED_DATA_AFTER_ROOT);
}

TEST_F(JsonReaderTest, RejectsMalformedNumbers) {
  EXPECT_EQ(ErrorOf("01"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("-01"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("-"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("1."), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf(".5"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf("1e"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("1e+"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("+1"), JsonReader::JSON_UNEXPECTED_TOKEN);
  EXPECT_EQ(ErrorOf("1x"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("[1 true]"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("0x10"), JsonReader::JSON_SYNTAX_ERROR);
}

TEST_F(JsonReaderTest, RejectsBadEscapes) {
  EXPECT_EQ(ErrorOf(R"("\uD800")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\uDC00")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\uD800\u0041")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\uD800x")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\u12G4")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\u12")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\x4")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\a")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\uFFFE")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\uFDD0")"), JsonReader::JSON_INVALID_ESCAPE);
  EXPECT_EQ(ErrorOf(R"("\uDBFF\uDFFF")"), JsonReader::JSON_INVALID_ESCAPE);
}

TEST_F(JsonReaderTest, RejectsInvalidUtf8AndNoncharacters) {
  const char* const kTexts[] = {
      "\"\xC0\xAF\"",          // overlong "/"
      "\"\xE0\x80\xAF\"",      // overlong, three bytes
      "\"\xED\xA0\x80\"",      // surrogate U+D800
      "\"\xEF\xB7\x90\"",      // U+FDD0
      "\"\xEF\xBF\xBF\"",      // U+FFFF
      "\"\xF0\x9F\xBF\xBE\"",  // U+1FFFE
      "\"\xF4\x90\x80\x80\"",  // above U+10FFFF
      "\"\xC3\"",              // truncated sequence
      "\"\x80\"",              // lone continuation byte
      "\"plain ascii first \\n then \xFF\"",
  };
  for (const char* text : kTexts) {
    EXPECT_EQ(ErrorOf(text), JsonReader::JSON_UNSUPPORTED_ENCODING) << text;
  }
}

TEST_F(JsonReaderTest, UnterminatedStringIsSyntaxError) {
  EXPECT_EQ(ErrorOf("\"abc"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("\"a long string that never ends"),
            JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("\"abc\\n"), JsonReader::JSON_SYNTAX_ERROR);
  EXPECT_EQ(ErrorOf("\"abc\\"), JsonReader::JSON_SYNTAX_ERROR);
}

TEST_F(JsonReaderTest, DeepInputFailsAtTheLimit) {
  EXPECT_EQ(ErrorOf(std::string(100000, '[')),
            JsonReader::JSON_TOO_MUCH_NESTING);
  EXPECT_EQ(reader_->GetErrorMessage(),
            "Line: 1, column: 200, Too much nesting.");
  EXPECT_EQ(ErrorOf(std::string(100000, '{')),
            JsonReader::JSON_UNQUOTED_DICTIONARY_KEY);
  std::string dicts;
  for (int i = 0; i < 100000; ++i) dicts += "{\"a\":";
  EXPECT_EQ(ErrorOf(dicts), JsonReader::JSON_TOO_MUCH_NESTING);
}

TEST_F(JsonReaderTest, SmallerDepthLimit) {
  JsonReader reader(JSON_PARSE_RFC, 3);
  EXPECT_TRUE(reader.ReadToValue("[[1]]"));
  EXPECT_FALSE(reader.ReadToValue("[[[1]]]"));
  EXPECT_EQ(reader.error_code(), JsonReader::JSON_TOO_MUCH_NESTING);
}

TEST_F(JsonReaderTest, OversizedTextFailsBeforeReading) {
  // The reader rejects the length before touching a byte, so the view may
  // claim more than the buffer holds.
  const char byte = '1';
  std::string_view huge(&byte, static_cast<size_t>(INT32_MAX) + 1);
  reader_ = std::make_unique<JsonReader>();
  EXPECT_FALSE(reader_->ReadToValue(huge));
  EXPECT_EQ(reader_->error_code(), JsonReader::JSON_TOO_LARGE);
  EXPECT_EQ(reader_->error_line(), 1);
  EXPECT_EQ(reader_->error_column(), 0);
  EXPECT_EQ(reader_->GetErrorMessage(),
            "Line: 1, column: 0, Input string is too large (>2GB).");
}

TEST_F(JsonReaderTest, ParseJsonUsesStrictDefaults) {
  EXPECT_TRUE(ParseJson("{\"a\": [1]}"));
  EXPECT_FALSE(ParseJson("[1,]"));
  EXPECT_FALSE(ParseJson(Nested(200)));
  EXPECT_FALSE(ParseJson("\"\xFF\""));
}

}  // namespace
}  // namespace base
