// V2UnixDomainClient: the status client's connection to the receiver's
// local socket. It connects a non-blocking Unix-domain stream socket, wraps
// it in a V2Socket once connected, builds the outgoing VornMessages and
// passes connection, close and message events on to its delegate.
//
//   class Service : public receiver::V2UnixDomainClient::Delegate { ... };
//   auto client = std::make_unique<receiver::V2UnixDomainClient>(
//       "/tmp/vorn_shell.sock", &service);
//   client->Connect("vorn-cli-0");   // OnConnectCompleted(client, net::OK)
//   client->SendMessage("receiver-0", "urn:x-vorn:com.orbelo.vorn.receiver",
//                       "{\"requestId\":2,\"type\":\"GET_STATUS\"}");
//   // answers arrive in OnMessage(client, namespace, payload text)
//
// The client never reconnects by itself. States: idle (no socket) ->
// connecting (stream socket, Connect pending) -> connected (V2Socket
// reading; the stream socket now inside it) -> closed (V2Socket given up
// after OnClosed). A failed connect leaves the stream socket with the
// client; its owner destroys the client.
//
// Threads: one, the event loop's (base::SingleThreadTaskExecutor of type
// IO must exist). Every callback runs there.

#ifndef VORN_RECEIVER_V2_UNIX_DOMAIN_CLIENT_H_
#define VORN_RECEIVER_V2_UNIX_DOMAIN_CLIENT_H_

#include <memory>
#include <string>

#include "base/task/weak_ptr.h"
#include "net/unix_domain_client_socket.h"
#include "receiver/message_frame.h"
#include "receiver/v2_ssl_socket.h"

namespace receiver {

class V2UnixDomainClient final : public FramedSocket::Delegate {
 public:
  // Receives the client's events on the event loop's thread. Not owned by
  // the client; must outlive it. A delegate may give the client up (delete
  // it soon) inside OnClosed, but must not destroy it synchronously inside a
  // callback.
  class Delegate {
   public:
    // Once per Connect that started: `result` is net::OK when the V2Socket
    // exists and reads, else the NetError of the attempt. May run inside
    // Connect (an error found at once) or later from the loop.
    virtual void OnConnectCompleted(V2UnixDomainClient* client, int result) = 0;
    // Once per connection, when the V2Socket has closed: nothing more is
    // read or sent on it.
    virtual void OnClosed(V2UnixDomainClient* client, CloseReason reason) = 0;
    // For each message received, in stream order: its namespace and text
    // payload; other fields are not passed on.
    virtual void OnMessage(V2UnixDomainClient* client,
                           const std::string& name_space,
                           const std::string& payload) = 0;

   protected:
    virtual ~Delegate() = default;
  };

  // `socket_path` is the receiver's socket, used as given; it is also the
  // client's name in log lines. `delegate` must outlive the client.
  V2UnixDomainClient(const std::string& socket_path, Delegate* delegate);
  // Invalidates the weak references (queued tasks become no-ops), then
  // destroys the V2Socket and the stream socket, closing the descriptor.
  // No callback runs from here.
  ~V2UnixDomainClient() override;

  V2UnixDomainClient(const V2UnixDomainClient&) = delete;
  V2UnixDomainClient& operator=(const V2UnixDomainClient&) = delete;

  // Starts connecting, stamping `source_id` on every message sent later.
  // Does nothing while a connect is pending or a connection exists. The
  // outcome arrives in the delegate's OnConnectCompleted, possibly before
  // this returns.
  void Connect(const std::string& source_id);

  // Sends one text message from the source id given to Connect to
  // `destination_id` on `name_space`. Does nothing unless connected; a
  // message the V2Socket cannot send is logged and dropped there.
  void SendMessage(const std::string& destination_id,
                   const std::string& name_space, const std::string& payload);

  // True while a V2Socket exists: connected and not yet closed.
  bool is_connected() const { return framed_socket_ != nullptr; }
  // The socket path.
  const std::string& name() const { return name_; }

  // FramedSocket::Delegate:
  // The last component of the socket path.
  std::string GetName() const override;
  void OnClosed(FramedSocket* socket, CloseReason reason) override;
  void OnMessage(FramedSocket* socket, const VornMessage& message) override;

 private:
  // Completion of the stream socket's Connect.
  void OnConnect(int result);

  const std::string name_;    // the socket path
  Delegate* const delegate_;  // not owned; never null
  std::string source_id_;     // set by Connect
  // Exists while connecting, and after a failed connect; moved into the
  // V2Socket on success.
  std::unique_ptr<net::UnixDomainClientSocket> stream_socket_;
  // Exists from a successful connect until OnClosed.
  std::unique_ptr<FramedSocket> framed_socket_;
  // Counts the V2Sockets made, so that a posted StartReading reaches only
  // the socket it was posted for.
  int connections_made_ = 0;
  base::WeakPtrFactory<V2UnixDomainClient> weak_factory_{this};  // last
};

}  // namespace receiver

#endif  // VORN_RECEIVER_V2_UNIX_DOMAIN_CLIENT_H_
