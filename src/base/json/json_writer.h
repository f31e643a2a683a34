// JSON writer: turns a JsonValue tree into text, compact or pretty.
//
//   std::string text;
//   base::WriteJson(value, base::OPTIONS_PRETTY_PRINT, &text);
//   std::optional<std::string> payload = base::SerializeToJson(request);
//
// Compact form: {"a":[1,2],"b":{"c":true}}. Pretty form, three spaces per
// level, lists on one line, one final line feed:
//   {
//      "a": [ 1, 2 ],
//      "b": {
//         "c": true
//      }
//   }

#ifndef VORN_BASE_JSON_JSON_WRITER_H_
#define VORN_BASE_JSON_JSON_WRITER_H_

#include <optional>
#include <string>

#include "base/json/json_value.h"

namespace base {

enum JsonWriterOptions {
  // Leaves out binary values (a dictionary pair or list element holding one
  // is dropped whole) instead of failing.
  OPTIONS_OMIT_BINARY_VALUES = 1 << 0,
  // Writes a double with an integral value in the 64-bit range as an
  // integer ("3" rather than "3.0").
  OPTIONS_OMIT_DOUBLE_TYPE_PRESERVATION = 1 << 1,
  // Multi-line form with indentation and a final line feed.
  OPTIONS_PRETTY_PRINT = 1 << 2,
};

// Replaces *out with the text of `value` written with `options`
// (JsonWriterOptions bits). Returns false when the tree holds a binary value
// and OPTIONS_OMIT_BINARY_VALUES is not set; the rest of the tree is still
// written into *out. `out` must not be null.
bool WriteJson(const JsonValue& value, int options, std::string* out);

// The compact text of `value`, or nullopt when it holds a binary value.
std::optional<std::string> SerializeToJson(const JsonValue& value);

}  // namespace base

#endif  // VORN_BASE_JSON_JSON_WRITER_H_
