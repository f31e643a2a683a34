#include "vorn_package/vorn_status_service.h"

#include <cstdio>
#include <string_view>
#include <utility>

#include "base/files/command_line.h"
#include "base/files/process.h"
#include "base/json/json_reader.h"
#include "base/json/json_writer.h"
#include "base/logging/logging.h"
#include "base/task/location.h"
#include "base/task/run_loop.h"
#include "base/task/single_thread_task_executor.h"
#include "base/task/single_thread_task_runner.h"
#include "net/net_errors.h"
#include "vorn_package/package_utils.h"
#include "vorn_package/usage.h"

namespace vorn {

namespace {

constexpr char kConnectType[] = "CONNECT";
// How often the status command looks for the receiver's socket path and
// tries to connect, until its deadline.
constexpr base::TimeDelta kStatusPollInterval =
    base::TimeDelta::FromMilliseconds(50);

// The pretty-printed text of `value`, as the answers are logged.
std::string PrettyJson(const base::JsonValue& value) {
  std::string text;
  base::WriteJson(value,
                  base::OPTIONS_PRETTY_PRINT | base::OPTIONS_OMIT_BINARY_VALUES,
                  &text);
  return text;
}

base::JsonValue RequestOfType(const char* type) {
  base::JsonValue request(base::JsonValue::Type::DICTIONARY);
  request.SetKey("type", base::JsonValue(type));
  return request;
}

}  // namespace

VornStatusService::VornStatusService(base::TimeDelta request_timeout)
    : request_timeout_(request_timeout) {
  // Id 0 is never handed out: the first Connect takes 1.
  TakeRequestId();
}

VornStatusService::~VornStatusService() {
  weak_factory_.InvalidateWeakPtrs();
  pending_.reset();
  client_.reset();
}

int32_t VornStatusService::TakeRequestId() { return next_request_id_++; }

bool VornStatusService::Connect(const std::string& socket_path) {
  client_.reset();
  client_ = std::make_unique<receiver::V2UnixDomainClient>(socket_path, this);
  int32_t request_id = TakeRequestId();
  bool connected = RunBlockingTask(
      kConnectType, request_id,
      [this] {
        if (client_ == nullptr) {
          // Nothing quits the loop now; the call ends by its time-out.
          LOG(WARNING) << "Socket was closed before connecting";
          return;
        }
        client_->Connect(kStatusSourceId);
      },
      nullptr);
  if (!connected) client_.reset();
  return connected;
}

bool VornStatusService::IsConnected() const {
  return client_ != nullptr && client_->is_connected();
}

bool VornStatusService::SendMessage(const std::string& destination_id,
                                    const std::string& name_space,
                                    const std::string& text) {
  if (!IsConnected()) {
    LOG(WARNING) << "Status service socket is not connected";
    return false;
  }
  client_->SendMessage(destination_id, name_space, text);
  return true;
}

bool VornStatusService::SendRequest(const std::string& destination_id,
                                    const std::string& name_space,
                                    base::JsonValue request,
                                    base::JsonValue* response) {
  CHECK(request.is_dict());
  std::string type;
  request.GetString("type", &type);
  int32_t request_id = TakeRequestId();
  request.SetKey("requestId", base::JsonValue(request_id));

  std::string text;
  if (!base::WriteJson(request, 0, &text)) {
    std::string shown;
    base::WriteJson(request, base::OPTIONS_OMIT_BINARY_VALUES, &shown);
    LOG(WARNING) << "Unable to serialize JSON message: " << shown;
    return false;
  }
  return RunBlockingTask(
      type, request_id,
      [this, destination_id, name_space, text] {
        if (!SendMessage(destination_id, name_space, text)) {
          LOG(WARNING) << "Unable to send status message: " << text;
          Finish(false);
        }
      },
      response);
}

bool VornStatusService::RunBlockingTask(const std::string& type,
                                        int32_t request_id,
                                        base::OnceClosure task,
                                        base::JsonValue* response) {
  base::RunLoop run_loop;
  auto pending = std::make_unique<PendingRequest>();
  pending->quit = run_loop.QuitClosure();
  pending->type = type;
  pending->request_id = request_id;
  pending->call_number = ++calls_made_;
  int64_t call_number = pending->call_number;
  pending_ = std::move(pending);

  const std::shared_ptr<base::SingleThreadTaskRunner>& runner =
      base::ThreadTaskRunnerHandle::Get();
  runner->PostTask(base::Location("RunBlockingTask", __FILE__, __LINE__),
                   base::BindWeak(weak_factory_.GetWeakPtr(), std::move(task)));
  // The timer outlives this call when an answer comes first; the call
  // number keeps it from ever acting on a later call.
  runner->PostDelayedTask(
      FROM_HERE,
      base::BindWeak(weak_factory_.GetWeakPtr(),
                     [this, call_number] { OnTimeout(call_number); }),
      request_timeout_);
  invalid_messages_logged_ = 0;
  invalid_messages_unlogged_ = 0;
  run_loop.Run();
  if (invalid_messages_unlogged_ > 0) {
    LOG(ERROR) << "Further invalid messages received, not logged: count="
               << invalid_messages_unlogged_;
  }

  CHECK(pending_ != nullptr && pending_->call_number == call_number);
  bool received = pending_->received;
  if (response != nullptr) std::swap(*response, pending_->response);
  pending_.reset();
  return received;
}

void VornStatusService::LogInvalidMessage(const std::string& payload) {
  if (invalid_messages_logged_ >= kMaxInvalidMessagesLogged) {
    ++invalid_messages_unlogged_;
    return;
  }
  ++invalid_messages_logged_;
  if (payload.size() <= kMaxLoggedPayloadSize) {
    LOG(ERROR) << "Invalid message received: " << payload;
    return;
  }
  LOG(ERROR) << "Invalid message received: "
             << std::string_view(payload).substr(0, kMaxLoggedPayloadSize)
             << "... (cut; " << payload.size() << " bytes in all)";
}

void VornStatusService::Finish(bool received) {
  if (pending_ == nullptr || pending_->finished) return;
  pending_->finished = true;
  pending_->received = received;
  pending_->quit();
}

void VornStatusService::OnTimeout(int64_t call_number) {
  if (pending_ == nullptr || pending_->call_number != call_number ||
      pending_->finished) {
    return;
  }
  LOG(WARNING) << "Task timeout occurred: type=" << pending_->type;
  pending_->response = base::JsonValue(base::JsonValue::Type::DICTIONARY);
  Finish(false);
}

void VornStatusService::SendHandshake() {
  char payload[160];
  snprintf(payload, sizeof(payload),
           "{\"%s\":\"%s\", \"%s\":{\"%s\":%d, \"%s\":%d}, \"%s\":%d}", "type",
           kConnectType, "senderInfo", "platform", 7, "connectionType", 3,
           "connType", 2);
  SendMessage(kReceiverDestinationId, kConnectionNamespace, payload);
}

void VornStatusService::OnConnectCompleted(receiver::V2UnixDomainClient* client,
                                           int result) {
  if (client != client_.get()) return;
  const std::shared_ptr<base::SingleThreadTaskRunner>& runner =
      base::ThreadTaskRunnerHandle::Get();
  if (result == net::OK) {
    runner->PostTask(base::Location("OnConnectCompleted", __FILE__, __LINE__),
                     base::BindWeak(weak_factory_.GetWeakPtr(),
                                    [this] { SendHandshake(); }));
  }
  if (pending_ != nullptr && !pending_->finished &&
      pending_->type == kConnectType) {
    // Posted after the handshake, so the handshake is written before the
    // blocking Connect returns.
    pending_->finished = true;
    pending_->received = result == net::OK;
    runner->PostTask(base::Location("OnConnectCompleted", __FILE__, __LINE__),
                     base::OnceClosure(pending_->quit));
  }
}

void VornStatusService::OnClosed(receiver::V2UnixDomainClient* client,
                                 receiver::CloseReason reason) {
  if (client != client_.get()) return;
  LOG(INFO) << "Status socket has closed: " << client->name()
            << ", reason=" << receiver::CloseReasonToString(reason);
  // The client is still on the stack of this call.
  base::ThreadTaskRunnerHandle::Get()->DeleteSoon(
      base::Location("OnClosed", __FILE__, __LINE__), std::move(client_));
  // A pending request is left to its time-out.
}

void VornStatusService::OnMessage(receiver::V2UnixDomainClient* client,
                                  const std::string& name_space,
                                  const std::string& payload) {
  std::unique_ptr<base::JsonValue> message = base::ParseJson(payload);
  if (message == nullptr || !message->is_dict()) {
    LogInvalidMessage(payload);
    return;
  }
  if (message->FindKeyOfType("type", base::JsonValue::Type::STRING) ==
          nullptr &&
      message->FindKeyOfType("responseType", base::JsonValue::Type::STRING) ==
          nullptr) {
    return;
  }
  int request_id = -1;
  message->GetInteger("requestId", &request_id);
  if (pending_ == nullptr || pending_->finished ||
      pending_->request_id != request_id) {
    return;  // unsolicited, an earlier request's, or a second copy
  }
  pending_->response = std::move(*message);
  Finish(true);
}

bool VornStatusService::GetReceiverStatus() {
  base::JsonValue response;
  bool ok = SendRequest(kReceiverDestinationId, kReceiverNamespace,
                        RequestOfType("GET_STATUS"), &response);
  if (ok) {
    LOG(INFO) << "Current receiver status: " << PrettyJson(response);
  } else {
    LOG(ERROR) << "Failed to get receiver status";
  }
  return ok;
}

bool VornStatusService::GetAppConfig(const std::string& app_id) {
  base::JsonValue request = RequestOfType("GET_APP_CONFIG");
  request.SetKey("appId", base::JsonValue(app_id));
  base::JsonValue response;
  if (!SendRequest(kReceiverDestinationId, kReceiverDebugNamespace,
                   std::move(request), &response)) {
    LOG(ERROR) << "Failed to get app config for app:" << app_id;
    return false;
  }
  const base::JsonValue* config =
      response.FindKeyOfType("appConfig", base::JsonValue::Type::DICTIONARY);
  if (config != nullptr && config->DictSize() > 0) {
    LOG(INFO) << "Application config for '" << app_id
              << "': " << PrettyJson(response);
  } else {
    LOG(INFO) << "Could not find config for app: " << app_id;
  }
  return true;
}

bool VornStatusService::GetDiscoveryDeviceInfo() {
  base::JsonValue response;
  bool ok = SendRequest(kReceiverDestinationId, kReceiverDiscoveryNamespace,
                        RequestOfType("GET_DEVICE_INFO"), &response);
  if (ok) {
    LOG(INFO) << "Current discovery DEVICE_INFO: " << PrettyJson(response);
  } else {
    LOG(ERROR) << "Failed to get discovery device info";
  }
  return ok;
}

namespace {

// Runs the status sub-command chosen by `args` on a connected `service`:
// none for the receiver status, "get_app_config" or "discovery". Returns
// the exit status.
int RunStatusSubCommand(VornStatusService* service,
                        const base::StringVector& args) {
  if (args.size() == 1) return service->GetReceiverStatus() ? 0 : 1;
  if (args[1] == "get_app_config") {
    if (args.size() < 3) {
      LOG(ERROR) << "Must specify one or more app-id to query";
      return 1;
    }
    for (size_t i = 2; i < args.size(); ++i) {
      if (!service->GetAppConfig(args[i])) {
        LOG(WARNING) << "'"
                     << "get_app_config"
                     << "' requires debug "
                     << "namespace; make sure enabled on vorn receiver";
        return 1;
      }
    }
    return 0;
  }
  if (args[1] == "discovery") {
    if (args.size() >= 3) {
      LOG(ERROR) << "Invalid discovery status request";
      return 1;
    }
    if (!service->GetDiscoveryDeviceInfo()) {
      LOG(WARNING) << "Unable to fetch discovery info";
      return 1;
    }
    return 0;
  }
  LOG(WARNING) << "Unknown status command; please see --help for details";
  return 1;
}

}  // namespace

int RunStatusQuery(const PackageContext& context,
                   const base::StringVector& args) {
  CHECK(!args.empty() && args[0] == "status");
  // One deadline for both phases; each makes at least one attempt.
  const base::TimeTicks deadline =
      base::TimeTicks::Now() + ParseStatusTimeout(context.command_line);

  base::FilePath socket_path;
  std::string refusal;  // why the last read refused the file, if it did
  for (;;) {
    socket_path = ReadSocketPath(context, &refusal);
    if (!socket_path.empty()) break;
    base::Sleep(kStatusPollInterval);
    if (base::TimeTicks::Now() >= deadline) break;
  }
  if (socket_path.empty()) {
    if (!refusal.empty()) {
      LOG(ERROR) << "Socket-path file refused: "
                 << GetSocketPathFilePath(context).value() << ": " << refusal;
    }
    LOG(ERROR) << "Vorn CLI cannot find running receiver socket to connect";
    return 1;
  }

  std::unique_ptr<base::SingleThreadTaskExecutor> executor =
      base::SingleThreadTaskExecutor::Create(base::MessagePumpType::IO);
  if (executor == nullptr) return 1;  // logged by Create
  auto service = std::make_unique<VornStatusService>();
  for (;;) {
    if (service->Connect(socket_path.value())) break;
    base::Sleep(kStatusPollInterval);
    if (base::TimeTicks::Now() >= deadline) break;
  }

  int status;
  if (!service->IsConnected()) {
    LOG(ERROR) << "Vorn CLI could not connect to receiver using socket: "
               << socket_path.value();
    status = 1;
  } else {
    status = RunStatusSubCommand(service.get(), args);
  }
  // The service's sockets and tasks go before the loop they live on.
  service.reset();
  executor.reset();
  return status;
}

}  // namespace vorn
