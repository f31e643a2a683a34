// The receiver stand-in's answers: what vorn_shell says to the status
// requests of vorn_cli, and how each fault mode bends that answer.
//
//   sim::AnswerBook book;                       // the built-in apps
//   book.SetAppConfig("A1", std::move(config));   // or your own
//   std::unique_ptr<base::JsonValue> request = base::ParseJson(payload);
//   base::JsonValue answer;
//   if (book.Answer(*request, &answer)) {
//     sim::ApplyAnswerFault(sim::Fault::kStringRequestId, &answer);
//     // {"requestId":"2","status":{...},"type":"RECEIVER_STATUS"}
//   }
//
// Only the request's JSON is looked at; framing and sockets live in
// vorn_shell_sim.cc.

#ifndef VORN_TOOLS_VORN_SHELL_SIM_SIM_ANSWERS_H_
#define VORN_TOOLS_VORN_SHELL_SIM_SIM_ANSWERS_H_

#include <map>
#include <string>

#include "base/json/json_value.h"

namespace sim {

// How the stand-in misbehaves. Each has a switch value (FaultName).
enum class Fault {
  kNone,             // "none": answers every request once, at once
  kNeverAnswer,      // "never-answer": reads requests, writes nothing
  kAnswerTwice,      // "answer-twice": sends the same answer two times
  kStringRequestId,  // "string-request-id": "requestId" as a JSON string
  kNoType,           // "no-type": neither "type" nor "responseType"
  kOversizedFrame,   // "oversized-frame": a header announcing 65537 bytes
  kMalformedBody,    // "malformed-body": a frame whose body does not parse
  kCloseMidRequest,  // "close-mid-request": closes instead of answering
  kAnswerLate,       // "answer-late": answers after --answer-delay-ms
  kNotListening,     // "not-listening": the socket file exists, nobody
                     // listens on it (connect is refused)
  kInvalidFlood,     // "invalid-flood": before each answer, 25 messages of
                     // 5000 bytes that are not JSON
};

// The switch value of `fault` ("never-answer", ...).
const char* FaultName(Fault fault);

// Sets *fault from its switch value; false (and *fault untouched) for a text
// that names no fault.
bool ParseFault(const std::string& name, Fault* fault);

// The switch values of every fault, separated by ", ", for the usage text.
std::string AllFaultNames();

// The answers the stand-in gives. Owns its app configurations.
class AnswerBook {
 public:
  // Starts with the built-in apps "A1" and "radio", which have settings.
  AnswerBook();

  AnswerBook(const AnswerBook&) = delete;
  AnswerBook& operator=(const AnswerBook&) = delete;

  // Replaces every app configuration: the next SetAppConfig starts a list of
  // its own instead of adding to the built-in apps.
  void ClearAppConfigs();
  // Records `config` (a dictionary, possibly empty) as the settings of
  // `app_id`, replacing what it had.
  void SetAppConfig(const std::string& app_id, base::JsonValue config);

  void set_device_name(const std::string& name) { device_name_ = name; }

  // Builds the answer to `request` (a JSON dictionary) into *answer. Returns
  // false, leaving *answer untouched, when the request carries no integer
  // "requestId": there is nothing to pair an answer with. A request whose
  // "type" is unknown gets an answer of type "INVALID_REQUEST".
  bool Answer(const base::JsonValue& request, base::JsonValue* answer) const;

 private:
  // app id -> its "appConfig" dictionary; apps not listed get {}.
  std::map<std::string, base::JsonValue> app_configs_;
  std::string device_name_ = "Living room";  // "name" in the device info
};

// Changes `answer` the way the faults that bend its JSON do: a string
// "requestId" (kStringRequestId) or no type keys (kNoType). Other faults
// leave it as it is.
void ApplyAnswerFault(Fault fault, base::JsonValue* answer);

}  // namespace sim

#endif  // VORN_TOOLS_VORN_SHELL_SIM_SIM_ANSWERS_H_
