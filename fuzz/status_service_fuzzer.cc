// The status service's answer matching: while a blocking request waits, the
// receiver's messages arrive in OnMessage with arbitrary payloads and request
// ids. The input is the awaited request id, then the payloads (split at NUL
// bytes), each handed to OnMessage in order inside the blocking call; more
// arrive after the call has ended.
//
// Checked against a reference: the call succeeds exactly when some payload
// is a JSON dictionary with a string "type" or "responseType" and the
// integer "requestId" awaited (a missing one counts as -1), and the response
// is the first such payload. Late, unsolicited and malformed messages change
// nothing.

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/json/json_value.h"
#include "base/logging/logging.h"
#include "base/logging/time.h"
#include "base/task/single_thread_task_executor.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"
#include "vorn_package/vorn_status_service.h"

namespace {

using vorn::fuzz::Check;

// Whether `payload` answers request `request_id`, and the answer.
bool Answers(const std::string& payload, int32_t request_id,
             std::unique_ptr<base::JsonValue>* answer) {
  std::unique_ptr<base::JsonValue> value = base::ParseJson(payload);
  if (!value || !value->is_dict()) return false;
  const base::JsonValue* type =
      value->FindKeyOfType("type", base::JsonValue::Type::STRING);
  const base::JsonValue* response_type =
      value->FindKeyOfType("responseType", base::JsonValue::Type::STRING);
  if (type == nullptr && response_type == nullptr) return false;
  const base::JsonValue* id =
      value->FindKeyOfType("requestId", base::JsonValue::Type::INTEGER);
  const int32_t found = id ? id->GetInt() : -1;
  if (found != request_id) return false;
  *answer = std::move(value);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vorn::fuzz::SilenceLogging();
  // One event loop for the whole run, never destroyed; held in a static so
  // the leak checker sees it is still reachable.
  static base::SingleThreadTaskExecutor* executor =
      base::SingleThreadTaskExecutor::Create().release();
  Check(executor != nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  vorn::fuzz::FuzzInput in(data, size);
  static const int32_t kIds[] = {1, 2, 3, 0, -1, INT_MAX, INT_MIN};
  const int32_t request_id =
      in.TakeByte() < 200 ? in.Pick(kIds) : in.TakeInt32();
  const std::vector<std::string> payloads =
      vorn::fuzz::SplitAtNul(in.TakeRest(), 64);

  std::unique_ptr<base::JsonValue> expected;
  for (const std::string& payload : payloads) {
    if (Answers(payload, request_id, &expected)) break;
  }

  // No time to wait: the time-out ends a call that no payload answered.
  vorn::VornStatusService service(base::TimeDelta::FromMilliseconds(0));
  base::JsonValue response;
  const bool answered = service.RunBlockingTask(
      "GET_STATUS", request_id,
      [&service, &payloads] {
        for (const std::string& payload : payloads) {
          service.OnMessage(nullptr, vorn::kReceiverNamespace, payload);
        }
      },
      &response);
  Check(answered == (expected != nullptr));
  if (expected) Check(response == *expected);

  // Messages after the call: nobody waits for them.
  for (const std::string& payload : payloads) {
    service.OnMessage(nullptr, vorn::kReceiverDebugNamespace, payload);
  }
  Check(!service.IsConnected());
  return 0;
}
