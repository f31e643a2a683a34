// JsonReader: parses one JSON text into a JsonValue tree. Strict by default
// (RFC 8259 plus comments, "\v" and "\x" escapes); an option bit allows
// trailing commas and another replaces invalid characters instead of failing.
// On failure the reader keeps an error code and the line and column where
// parsing stopped.
//
//   base::JsonReader reader;
//   std::unique_ptr<base::JsonValue> root = reader.ReadToValue(text);
//   if (!root) LOG(ERROR) << reader.GetErrorMessage();
//
//   // Or, when the reason does not matter:
//   std::unique_ptr<base::JsonValue> config = base::ParseJson(text);

#ifndef VORN_BASE_JSON_JSON_READER_H_
#define VORN_BASE_JSON_JSON_READER_H_

#include <memory>
#include <string>
#include <string_view>

#include "base/json/json_value.h"

namespace base {

enum JsonParserOptions {
  // Strict parsing.
  JSON_PARSE_RFC = 0,
  // Accepts a "," straight before "]" or "}".
  JSON_ALLOW_TRAILING_COMMAS = 1 << 0,
  // Writes U+FFFD for invalid UTF-8 and invalid characters in strings
  // instead of failing.
  JSON_REPLACE_INVALID_CHARACTERS = 1 << 1,
};

class JsonReader {
 public:
  enum JsonParseError {
    JSON_NO_ERROR = 0,
    JSON_INVALID_ESCAPE,
    JSON_SYNTAX_ERROR,
    JSON_UNEXPECTED_TOKEN,
    JSON_TRAILING_COMMA,
    JSON_TOO_MUCH_NESTING,
    JSON_UNEXPECTED_DATA_AFTER_ROOT,
    JSON_UNSUPPORTED_ENCODING,
    JSON_UNQUOTED_DICTIONARY_KEY,
    JSON_TOO_LARGE,
  };

  // `options` is a set of JsonParserOptions bits. Entering the
  // `max_depth`-th nested container fails, so at most max_depth - 1
  // containers may be nested.
  explicit JsonReader(int options = JSON_PARSE_RFC, int max_depth = 200);
  JsonReader(const JsonReader&) = delete;
  JsonReader& operator=(const JsonReader&) = delete;

  // Parses `json`, which need only stay live during the call. Returns the
  // root value, or null on failure (error_code() then tells why, except for
  // a number too large for a double, which fails with JSON_NO_ERROR). Each
  // call resets the error state.
  std::unique_ptr<JsonValue> ReadToValue(std::string_view json);

  JsonParseError error_code() const { return error_code_; }
  // 1-based line and column of the failure; both 0 when there was none.
  int error_line() const { return error_line_; }
  int error_column() const { return error_column_; }
  // "Line: <line>, column: <column>, <text>", or the text alone when line and
  // column are both 0; empty when there was no error.
  std::string GetErrorMessage() const;

  // The fixed text of `code`; empty for JSON_NO_ERROR.
  static const char* ErrorCodeToString(JsonParseError code);

 private:
  const int options_;
  const int max_depth_;
  JsonParseError error_code_ = JSON_NO_ERROR;
  int error_line_ = 0;
  int error_column_ = 0;
};

// The reader with no options and a depth limit of 200. Returns null when
// `json` is not a valid JSON text.
std::unique_ptr<JsonValue> ParseJson(std::string_view json);

}  // namespace base

#endif  // VORN_BASE_JSON_JSON_READER_H_
