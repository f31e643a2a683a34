// Feeds arbitrary bytes to the JSON reader under every option set. Whatever
// parses must write and read back to an equal tree, in compact and pretty
// form; any difference traps.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/json_reader.h"
#include "base/json_value.h"
#include "base/json_writer.h"

namespace {

void CheckRoundTrip(const base::JsonValue& value, int options) {
  std::string text;
  if (!base::WriteJson(value, options, &text)) __builtin_trap();
  std::unique_ptr<base::JsonValue> again = base::ParseJson(text);
  if (!again || *again != value) __builtin_trap();
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
