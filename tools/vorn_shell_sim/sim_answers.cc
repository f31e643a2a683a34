#include "vorn_shell_sim/sim_answers.h"

#include <string>
#include <utility>

namespace sim {

namespace {

struct FaultNameEntry {
  Fault fault;
  const char* name;
};

constexpr FaultNameEntry kFaultNames[] = {
    {Fault::kNone, "none"},
    {Fault::kNeverAnswer, "never-answer"},
    {Fault::kAnswerTwice, "answer-twice"},
    {Fault::kStringRequestId, "string-request-id"},
    {Fault::kNoType, "no-type"},
    {Fault::kOversizedFrame, "oversized-frame"},
    {Fault::kMalformedBody, "malformed-body"},
    {Fault::kCloseMidRequest, "close-mid-request"},
    {Fault::kAnswerLate, "answer-late"},
    {Fault::kNotListening, "not-listening"},
    {Fault::kInvalidFlood, "invalid-flood"},
};

base::JsonValue NewDict() {
  return base::JsonValue(base::JsonValue::Type::DICTIONARY);
}

base::JsonValue StringList(const char* first, const char* second) {
  base::JsonValue::ListStorage list;
  list.emplace_back(first);
  list.emplace_back(second);
  return base::JsonValue(std::move(list));
}

base::JsonValue ReceiverStatus() {
  base::JsonValue app = NewDict();
  app.SetKey("appId", base::JsonValue("radio"));
  app.SetKey("displayName", base::JsonValue("Radio"));
  app.SetKey("isIdleScreen", base::JsonValue(false));
  app.SetKey("sessionId", base::JsonValue("5e1f0c2a"));
  base::JsonValue::ListStorage apps;
  apps.push_back(std::move(app));

  base::JsonValue volume = NewDict();
  volume.SetKey("level", base::JsonValue(0.4));
  volume.SetKey("muted", base::JsonValue(false));

  base::JsonValue status = NewDict();
  status.SetKey("applications", base::JsonValue(std::move(apps)));
  status.SetKey("isActiveInput", base::JsonValue(true));
  status.SetKey("isStandBy", base::JsonValue(false));
  status.SetKey("volume", std::move(volume));
  return status;
}

base::JsonValue DeviceInfo(const std::string& name) {
  base::JsonValue info = NewDict();
  info.SetKey("capabilities", StringList("audio", "multizone"));
  info.SetKey("deviceModel", base::JsonValue("vorn_shell_sim"));
  info.SetKey("name", base::JsonValue(name));
  info.SetKey("ssdpUdn",
              base::JsonValue("0d3c6f6e-5f36-4c1e-9a51-7d1c0b6f2e11"));
  info.SetKey("version", base::JsonValue(12));
  return info;
}

}  // namespace

const char* FaultName(Fault fault) {
  for (const FaultNameEntry& entry : kFaultNames) {
    if (entry.fault == fault) return entry.name;
  }
  return "none";
}

bool ParseFault(const std::string& name, Fault* fault) {
  for (const FaultNameEntry& entry : kFaultNames) {
    if (name == entry.name) {
      *fault = entry.fault;
      return true;
    }
  }
  return false;
}

std::string AllFaultNames() {
  std::string names;
  for (const FaultNameEntry& entry : kFaultNames) {
    if (!names.empty()) names += ", ";
    names += entry.name;
  }
  return names;
}

AnswerBook::AnswerBook() {
  base::JsonValue a1 = NewDict();
  a1.SetKey("autoplay", base::JsonValue(true));
  a1.SetKey("maxBitrateKbps", base::JsonValue(320));
  app_configs_["A1"] = std::move(a1);
  base::JsonValue radio = NewDict();
  radio.SetKey("region", base::JsonValue("eu"));
  radio.SetKey("stations", StringList("news", "jazz"));
  app_configs_["radio"] = std::move(radio);
}

void AnswerBook::ClearAppConfigs() { app_configs_.clear(); }

void AnswerBook::SetAppConfig(const std::string& app_id,
                              base::JsonValue config) {
  app_configs_[app_id] = std::move(config);
}

bool AnswerBook::Answer(const base::JsonValue& request,
                        base::JsonValue* answer) const {
  const base::JsonValue* id =
      request.FindKeyOfType("requestId", base::JsonValue::Type::INTEGER);
  if (id == nullptr) return false;
  std::string type;
  request.GetString("type", &type);

  base::JsonValue result(base::JsonValue::Type::DICTIONARY);
  result.SetKey("requestId", base::JsonValue(id->GetInt()));
  if (type == "GET_STATUS") {
    result.SetKey("type", base::JsonValue("RECEIVER_STATUS"));
    result.SetKey("status", ReceiverStatus());
  } else if (type == "GET_APP_CONFIG") {
    std::string app_id;
    request.GetString("appId", &app_id);
    result.SetKey("responseType", base::JsonValue("APP_CONFIG"));
    result.SetKey("appId", base::JsonValue(app_id));
    auto found = app_configs_.find(app_id);
    result.SetKey("appConfig",
                  found != app_configs_.end()
                      ? found->second.Clone()
                      : base::JsonValue(base::JsonValue::Type::DICTIONARY));
  } else if (type == "GET_DEVICE_INFO") {
    result.SetKey("responseType", base::JsonValue("DEVICE_INFO"));
    result.SetKey("deviceInfo", DeviceInfo(device_name_));
  } else {
    result.SetKey("type", base::JsonValue("INVALID_REQUEST"));
    result.SetKey("reason", base::JsonValue("unknown request type: " + type));
  }
  *answer = std::move(result);
  return true;
}

void ApplyAnswerFault(Fault fault, base::JsonValue* answer) {
  if (fault == Fault::kStringRequestId) {
    int id = 0;
    if (answer->GetInteger("requestId", &id)) {
      answer->SetKey("requestId", base::JsonValue(std::to_string(id)));
    }
  } else if (fault == Fault::kNoType) {
    answer->RemoveKey("type");
    answer->RemoveKey("responseType");
  }
}

}  // namespace sim
