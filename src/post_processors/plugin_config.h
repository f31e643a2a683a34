// Reading a plug-in's configuration text: one strict JSON text (no
// extensions, nesting depth 200) whose top-level value must be a dictionary.
//
//   std::string error;
//   std::unique_ptr<base::JsonValue> dict =
//       post_processors::ParseConfigDictionary(text, &error);
//   double onset = 0;
//   if (!dict || !post_processors::FindNumber(*dict, "onset_volume", &onset))
//     ...;  // refuse the configuration, logging `error`

#ifndef VORN_POST_PROCESSORS_PLUGIN_CONFIG_H_
#define VORN_POST_PROCESSORS_PLUGIN_CONFIG_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/json/json_value.h"

namespace post_processors {

// Parses `text`. Returns the top-level dictionary, or null with *error set to
// a short reason when the text is not valid JSON or not a dictionary.
// `text` is read during the call only.
std::unique_ptr<base::JsonValue> ParseConfigDictionary(std::string_view text,
                                                       std::string* error);

// Reads the number under `key` of `dict` as a double (an integer is
// widened). False, with *out untouched, when the key is missing or holds
// something other than a number.
bool FindNumber(const base::JsonValue& dict, std::string_view key, double* out);

// Whether a processor can run at `sample_rate` (frames per second): true when
// it is positive. Otherwise logs one ERROR line that starts with `processor`
// (such as "Governor") and returns false; the caller then changes nothing.
bool AcceptSampleRate(int32_t sample_rate, std::string_view processor);

}  // namespace post_processors

#endif  // VORN_POST_PROCESSORS_PLUGIN_CONFIG_H_
