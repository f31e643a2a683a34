// Feeds arbitrary bytes to the JSON reader under every option set. Whatever
// parses must write and read back to an equal tree, in compact and pretty
// form; any difference traps.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/json/json_reader.h"
#include "base/json/json_value.h"
#include "base/json/json_writer.h"

namespace {

void CheckRoundTrip(const base::JsonValue& value, int options) {
  std::string text;
  if (!base::WriteJson(value, options, &text)) __builtin_trap();
  std::unique_ptr<base::JsonValue> again = base::ParseJson(text);
  if (!again || *again != value) __builtin_trap();
}

// Carriage returns, line feeds and the pairs of them.
int LineBreaks(std::string_view text) {
  int breaks = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    if (text[i] == '\n' || text[i] == '\r') ++breaks;
  }
  return breaks;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  for (int options = 0; options < 4; ++options) {
    base::JsonReader reader(options);
    std::unique_ptr<base::JsonValue> value = reader.ReadToValue(text);
    if (!value) {
      // The message is always formed from a known code.
      if (reader.GetErrorMessage().empty() &&
          reader.error_code() != base::JsonReader::JSON_NO_ERROR) {
        __builtin_trap();
      }
      // A failure with a code has a position inside the text: a line no
      // further than its line breaks reach, a column from 1.
      if (reader.error_code() != base::JsonReader::JSON_NO_ERROR) {
        if (reader.error_line() < 1 ||
            reader.error_line() > 1 + LineBreaks(text) ||
            reader.error_column() < 1 ||
            static_cast<size_t>(reader.error_column()) > size + 1) {
          __builtin_trap();
        }
      }
      continue;
    }
    if (reader.error_code() != base::JsonReader::JSON_NO_ERROR) {
      __builtin_trap();
    }
    CheckRoundTrip(*value, 0);
    CheckRoundTrip(*value, base::OPTIONS_PRETTY_PRINT);
    CheckRoundTrip(value->Clone(), 0);
  }
  return 0;
}
