#include "receiver/v2_unix_domain_client.h"

#include <utility>

#include "base/logging/logging.h"
#include "base/task/callback.h"
#include "base/task/location.h"
#include "base/task/single_thread_task_runner.h"
#include "net/net_errors.h"

namespace receiver {

V2UnixDomainClient::V2UnixDomainClient(const std::string& socket_path,
                                       Delegate* delegate)
    : name_(socket_path), delegate_(delegate) {
  CHECK(delegate_ != nullptr);
}

V2UnixDomainClient::~V2UnixDomainClient() {
  weak_factory_.InvalidateWeakPtrs();
  framed_socket_.reset();
  stream_socket_.reset();
}

void V2UnixDomainClient::Connect(const std::string& source_id) {
  if (stream_socket_ != nullptr || framed_socket_ != nullptr) return;
  source_id_ = source_id;
  stream_socket_ = std::make_unique<net::UnixDomainClientSocket>(
      name_, /*use_abstract_namespace=*/false);
  int result = stream_socket_->Connect(
      base::BindWeak(weak_factory_.GetWeakPtr(),
                     net::CompletionOnceCallback([this](int connect_result) {
                       OnConnect(connect_result);
                     })));
  if (result != net::ERR_IO_PENDING) OnConnect(result);
}

void V2UnixDomainClient::OnConnect(int result) {
  if (result == net::OK) {
    framed_socket_ =
        std::make_unique<V2Socket>(this, "", "", std::move(stream_socket_));
    int connection = ++connections_made_;
    base::ThreadTaskRunnerHandle::Get()->PostTask(
        base::Location("OnConnect", __FILE__, __LINE__),
        base::BindWeak(weak_factory_.GetWeakPtr(), [this, connection] {
          if (framed_socket_ != nullptr && connection == connections_made_) {
            framed_socket_->StartReading();
          }
        }));
    LOG(INFO) << "Successfully connected V2 unix client: name=" << name_;
  } else {
    LOG(ERROR) << "Connect error: " << net::ErrorToString(result);
  }
  delegate_->OnConnectCompleted(this, result);
}

void V2UnixDomainClient::SendMessage(const std::string& destination_id,
                                     const std::string& name_space,
                                     const std::string& payload) {
  if (framed_socket_ == nullptr) return;
  framed_socket_->SendMessage(
      MakeTextMessage(source_id_, destination_id, name_space, payload));
}

std::string V2UnixDomainClient::GetName() const {
  size_t slash = name_.rfind('/');
  return slash == std::string::npos ? name_ : name_.substr(slash + 1);
}

void V2UnixDomainClient::OnClosed(FramedSocket* socket, CloseReason reason) {
  if (socket != framed_socket_.get()) return;
  // The V2Socket is still on the stack of this call; it goes once the loop
  // is back at its top.
  base::ThreadTaskRunnerHandle::Get()->DeleteSoon(
      base::Location("OnClosed", __FILE__, __LINE__),
      std::move(framed_socket_));
  delegate_->OnClosed(this, reason);
}

void V2UnixDomainClient::OnMessage(FramedSocket* socket,
                                   const VornMessage& message) {
  if (socket != framed_socket_.get()) return;
  delegate_->OnMessage(this, message.namespace_(), message.payload_text());
}

}  // namespace receiver
