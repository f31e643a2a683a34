#include "post_processors/plugin_config.h"

#include "base/json/json_reader.h"
#include "base/logging/logging.h"

namespace post_processors {

namespace {

constexpr int kMaxConfigDepth = 200;

}  // namespace

std::unique_ptr<base::JsonValue> ParseConfigDictionary(std::string_view text,
                                                       std::string* error) {
  base::JsonReader reader(base::JSON_PARSE_RFC, kMaxConfigDepth);
  std::unique_ptr<base::JsonValue> root = reader.ReadToValue(text);
  if (!root) {
    *error = "the configuration is not valid JSON";
    const std::string detail = reader.GetErrorMessage();
    if (!detail.empty()) *error += " (" + detail + ")";
    return nullptr;
  }
  if (!root->is_dict()) {
    *error = "the configuration is not a JSON dictionary";
    return nullptr;
  }
  return root;
}

bool FindNumber(const base::JsonValue& dict, std::string_view key,
                double* out) {
  const base::JsonValue* value = dict.FindKey(key);
  return value != nullptr && value->GetAsDouble(out);
}

bool AcceptSampleRate(int32_t sample_rate, std::string_view processor) {
  if (sample_rate > 0) return true;
  LOG(ERROR) << processor << ": ignoring a sample rate that is not positive: "
             << sample_rate;
  return false;
}

}  // namespace post_processors
