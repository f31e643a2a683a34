// VornStatusService: blocking calls over the asynchronous connection to the
// receiver program vorn_shell, and the status queries built on them. Each
// blocking call runs the thread's event loop until its answer arrives or
// 5 seconds pass.
//
//   base::SingleThreadTaskExecutor executor(base::MessagePumpType::IO);
//   vorn::VornStatusService service;
//   if (service.Connect("/tmp/vorn_shell.sock")) {   // sends the handshake
//     base::JsonValue request(base::JsonValue::Type::DICTIONARY);
//     request.SetKey("type", base::JsonValue("GET_STATUS"));
//     base::JsonValue response;
//     service.SendRequest("receiver-0", vorn::kReceiverNamespace,
//                         std::move(request), &response);
//     // on the wire: {"requestId":2,"type":"GET_STATUS"}
//   }
//
//   int status =
//       vorn::RunStatusQuery(context, {"status", "get_app_config", "A1"});
//
// Request ids: the first Connect attempt takes id 1, each further attempt
// the next one, and each SendRequest the next after that; so after a first
// successful connect the first request carries "requestId" 2.
//
// Threads: one, the thread that owns the event loop; blocking calls never
// nest.

#ifndef VORN_VORN_PACKAGE_VORN_STATUS_SERVICE_H_
#define VORN_VORN_PACKAGE_VORN_STATUS_SERVICE_H_

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/files/command_line.h"
#include "base/json/json_value.h"
#include "base/logging/time.h"
#include "base/task/callback.h"
#include "base/task/weak_ptr.h"
#include "receiver/v2_unix_domain_client.h"
#include "vorn_package/package_utils.h"

namespace vorn {

// Fixed values of the status protocol.
inline constexpr char kStatusSourceId[] = "vorn-cli-0";
inline constexpr char kReceiverDestinationId[] = "receiver-0";
inline constexpr char kConnectionNamespace[] =
    "urn:x-vorn:com.orbelo.vorn.tp.connection";
inline constexpr char kReceiverNamespace[] =
    "urn:x-vorn:com.orbelo.vorn.receiver";
inline constexpr char kReceiverDebugNamespace[] =
    "urn:x-vorn:com.orbelo.vorn.receiver.debug";
inline constexpr char kReceiverDiscoveryNamespace[] =
    "urn:x-vorn:com.orbelo.vorn.receiver.discovery";
// How long one blocking call waits for its answer.
inline constexpr base::TimeDelta kStatusRequestTimeout =
    base::TimeDelta::FromSeconds(5);

// A peer may send any number of invalid messages. Each is logged with at most
// the first kMaxLoggedPayloadSize bytes of its payload and its full size;
// after kMaxInvalidMessagesLogged of them in one blocking call, the rest are
// only counted, and the count is logged once when the call ends.
inline constexpr size_t kMaxLoggedPayloadSize = 4096;
inline constexpr int kMaxInvalidMessagesLogged = 20;

class VornStatusService final : public receiver::V2UnixDomainClient::Delegate {
 public:
  // Needs the current thread's event loop, which must outlive the service.
  // `request_timeout` is how long each blocking call waits; the status
  // command always uses kStatusRequestTimeout.
  explicit VornStatusService(
      base::TimeDelta request_timeout = kStatusRequestTimeout);
  // Invalidates the weak references (queued tasks and timers become
  // no-ops), then destroys a pending request and the client.
  ~VornStatusService() override;

  VornStatusService(const VornStatusService&) = delete;
  VornStatusService& operator=(const VornStatusService&) = delete;

  // Replaces any client by a new one for `socket_path`, connects it and
  // sends the CONNECT handshake. True when connected; on false the client
  // is destroyed again (the caller may try once more). Takes a request id.
  bool Connect(const std::string& socket_path);

  // True while a client exists and holds its open framed socket.
  bool IsConnected() const;

  // Hands one text message to the client without waiting. True only means
  // it was handed on (the socket may still drop it); false, with a WARNING,
  // when not connected.
  bool SendMessage(const std::string& destination_id,
                   const std::string& name_space, const std::string& text);

  // Adds the next "requestId" (an integer) to `request` (a dictionary),
  // sends it as compact JSON and waits for the response with that id. True
  // when it arrived: *response (if not null) then holds it. False on a
  // request that cannot be written as JSON or sent, or after the time-out.
  bool SendRequest(const std::string& destination_id,
                   const std::string& name_space, base::JsonValue request,
                   base::JsonValue* response);

  // The blocking core: makes `type`/`request_id` the pending request, posts
  // `task`, posts the time-out, and runs the loop until an answer, a
  // connect result, a send failure or the time-out ends it. Returns whether
  // the awaited event succeeded; *response (if not null) receives the
  // matching response.
  bool RunBlockingTask(const std::string& type, int32_t request_id,
                       base::OnceClosure task, base::JsonValue* response);

  // The status queries. Each logs its answer at INFO (pretty-printed JSON)
  // or its failure at ERROR, and returns whether the request succeeded.
  bool GetReceiverStatus();
  // True also when the app has no settings (logged at INFO).
  bool GetAppConfig(const std::string& app_id);
  bool GetDiscoveryDeviceInfo();

  // receiver::V2UnixDomainClient::Delegate:
  void OnConnectCompleted(receiver::V2UnixDomainClient* client,
                          int result) override;
  void OnClosed(receiver::V2UnixDomainClient* client,
                receiver::CloseReason reason) override;
  void OnMessage(receiver::V2UnixDomainClient* client,
                 const std::string& name_space,
                 const std::string& payload) override;

 private:
  // The one outstanding blocking call.
  struct PendingRequest {
    base::RepeatingClosure quit;  // ends this call's run loop
    std::string type;             // "CONNECT" for the handshake
    int32_t request_id = 0;
    int64_t call_number = 0;  // tells this call from later ones
    bool finished = false;    // an outcome was recorded; nothing changes it
    bool received = false;    // the awaited event succeeded
    base::JsonValue response{base::JsonValue::Type::DICTIONARY};
  };

  int32_t TakeRequestId();
  // Records the outcome of the pending call and quits its loop.
  void Finish(bool received);
  void SendHandshake();
  // Logs (or, past the limit, counts) a payload that is not a dictionary.
  void LogInvalidMessage(const std::string& payload);
  void OnTimeout(int64_t call_number);

  const base::TimeDelta request_timeout_;
  std::unique_ptr<receiver::V2UnixDomainClient> client_;  // may be null
  std::unique_ptr<PendingRequest> pending_;  // non-null only inside a call
  int32_t next_request_id_ = 0;
  int64_t calls_made_ = 0;  // blocking calls started so far
  // Invalid messages of the current blocking call, logged and not logged.
  int invalid_messages_logged_ = 0;  // at most kMaxInvalidMessagesLogged
  int invalid_messages_unlogged_ = 0;
  base::WeakPtrFactory<VornStatusService> weak_factory_{this};  // last
};

// The "status" command after dispatch: `args` are the positional arguments
// ("status" first, the second not "help"). Polls for the receiver's socket
// path (ReadSocketPath) and connection until the deadline of the context's
// "status-timeout" switch, runs the
// sub-command and returns the exit status (0 success, 1 failure). Creates
// the thread's event loop and destroys it before returning; the thread
// must not have one yet.
int RunStatusQuery(const PackageContext& context,
                   const base::StringVector& args);

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_VORN_STATUS_SERVICE_H_
