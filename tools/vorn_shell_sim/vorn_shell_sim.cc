// vorn_shell_sim: a stand-in for the receiver program vorn_shell at the far
// end of vorn_cli's status socket. It listens on a Unix-domain stream socket,
// publishes the socket's path in the socket-path file, reads the frames of
// any number of clients (one after another or side by side), ignores the
// CONNECT handshake and answers GET_STATUS, GET_APP_CONFIG and
// GET_DEVICE_INFO. A fault mode makes it misbehave in one chosen way.
// Clients are served without blocking: one that never reads its answers
// holds up neither the others nor a stop signal.
//
//   vorn_shell_sim                                   # $TMPDIR/vorn_shell.sock
//   vorn_shell_sim --fault=answer-late --answer-delay-ms=6000
//   vorn_shell_sim --app-config='A={"volume":3}' --app-config='B={}'
//       --record=frames.jsonl --vorn-cli-socket-file-path=/run/x.path
//
// The socket-path file is written atomically (a temporary file renamed over
// it) and holds the path alone, without a line feed. The stand-in runs until
// SIGTERM or SIGINT, then removes its socket file and, when it still names
// this socket, the socket-path file, and exits 0. Exit status 1 when it
// cannot start, 2 for a bad command line.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/files/command_line.h"
#include "base/files/file_util.h"
#include "base/json/json_reader.h"
#include "base/json/json_value.h"
#include "base/json/json_writer.h"
#include "base/logging/eintr.h"
#include "base/logging/logging.h"
#include "base/logging/string_number.h"
#include "base/logging/time.h"
#include "receiver/message_frame.h"
#include "vorn_shell_sim/sim_answers.h"

namespace {

constexpr char kUsage[] =
    "Usage: vorn_shell_sim [options]\n"
    "\n"
    "A stand-in for the receiver program vorn_shell: listens on a Unix-domain\n"
    "socket, writes its path into the socket-path file and answers the status\n"
    "requests of vorn_cli. Runs until SIGTERM or SIGINT.\n"
    "\n"
    "  --socket=PATH                  listening socket (default\n"
    "                                 $TMPDIR/vorn_shell.sock, TMPDIR else "
    "/tmp)\n"
    "  --vorn-cli-socket-file-path=PATH\n"
    "                                 socket-path file to write (default\n"
    "                                 $TMPDIR/vorn-cli-socket.path)\n"
    "  --path-file-delay-ms=N         write the socket-path file N ms after\n"
    "                                 listening has begun (default 0)\n"
    "  --path-file-line-feed          end the socket-path file with a line "
    "feed\n"
    "  --fault=MODE                   misbehave in one way (modes below)\n"
    "  --fault-from=N                 apply the fault from the N-th request "
    "on,\n"
    "                                 counted over the whole run (default 1)\n"
    "  --answer-delay-ms=N            delay of answer-late (default 1000)\n"
    "  --app-config=ID=JSON           settings of app ID, a JSON dictionary\n"
    "                                 (repeatable; replaces the built-in apps\n"
    "                                 A1 and radio); other apps get {}\n"
    "  --device-name=NAME             \"name\" in the device info\n"
    "  --record=FILE                  append every frame received to FILE, "
    "one\n"
    "                                 JSON line each (emptied at start)\n";

constexpr char kConnectionNamespace[] =
    "urn:x-vorn:com.orbelo.vorn.tp.connection";
constexpr char kSourceId[] = "receiver-0";

// Written by the signal handler, read by the loop through the pipe.
int g_signal_pipe[2] = {-1, -1};

void OnStopSignal(int) {
  int saved_errno = errno;
  char byte = 1;
  // A full pipe already holds a wake-up; nothing is lost.
  ssize_t ignored = ::write(g_signal_pipe[1], &byte, 1);
  (void)ignored;
  errno = saved_errno;
}

int64_t NowMs() {
  return (base::TimeTicks::Now() - base::TimeTicks()).InMilliseconds();
}

std::string TempDir() {
  const char* tmp = getenv("TMPDIR");
  return tmp != nullptr && tmp[0] != '\0' ? tmp : "/tmp";
}

// Writes all of `text` to the (blocking) file `fd`; false on an error.
bool WriteString(int fd, const std::string& text) {
  return base::WriteFileDescriptor(fd, text.data(), text.size());
}

// Most answer bytes held for a client that does not read them; past this
// the client is dropped rather than let its backlog grow without end.
constexpr size_t kMaxPendingOutput = 1 << 20;

struct SimOptions {
  std::string socket_path;
  std::string path_file;
  int path_file_delay_ms = 0;
  bool path_file_line_feed = false;
  sim::Fault fault = sim::Fault::kNone;
  int fault_from = 1;
  int answer_delay_ms = 1000;
  std::string record_path;
};

bool ParseMilliseconds(const base::ParsedCommandLine& line, const char* name,
                       int* out) {
  if (!line.HasSwitchNamed(name)) return true;
  int32_t value = 0;
  if (!base::StringToInt32(line.SwitchValue(name), &value) || value < 0) {
    fprintf(stderr, "vorn_shell_sim: --%s wants a count >= 0\n", name);
    return false;
  }
  *out = value;
  return true;
}

// Fills *options and the app configurations of *book from the process
// command line. Returns false, after a message, on a bad command line.
bool ParseOptions(SimOptions* options, sim::AnswerBook* book) {
  const base::ParsedCommandLine& line = base::ProcessCommandLine();
  static const char* const kKnown[] = {"socket",
                                       "vorn-cli-socket-file-path",
                                       "path-file-delay-ms",
                                       "path-file-line-feed",
                                       "fault",
                                       "fault-from",
                                       "answer-delay-ms",
                                       "app-config",
                                       "device-name",
                                       "record",
                                       "v",
                                       "vmodule"};
  for (const auto& [name, value] : line.switches()) {
    bool known = false;
    for (const char* k : kKnown) known = known || name == k;
    if (!known) {
      fprintf(stderr, "vorn_shell_sim: unknown option --%s\n", name.c_str());
      return false;
    }
  }
  if (!line.PositionalArguments().empty()) {
    fprintf(stderr, "vorn_shell_sim: takes no arguments\n");
    return false;
  }
  std::string tmp = TempDir();
  options->socket_path = line.HasSwitchNamed("socket")
                             ? line.SwitchValue("socket")
                             : tmp + "/vorn_shell.sock";
  options->path_file = line.HasSwitchNamed("vorn-cli-socket-file-path")
                           ? line.SwitchValue("vorn-cli-socket-file-path")
                           : tmp + "/vorn-cli-socket.path";
  options->path_file_line_feed = line.HasSwitchNamed("path-file-line-feed");
  options->record_path = line.SwitchValue("record");
  if (line.HasSwitchNamed("device-name")) {
    book->set_device_name(line.SwitchValue("device-name"));
  }
  if (line.HasSwitchNamed("fault") &&
      !sim::ParseFault(line.SwitchValue("fault"), &options->fault)) {
    fprintf(stderr, "vorn_shell_sim: --fault is one of: %s\n",
            sim::AllFaultNames().c_str());
    return false;
  }
  if (!ParseMilliseconds(line, "path-file-delay-ms",
                         &options->path_file_delay_ms) ||
      !ParseMilliseconds(line, "answer-delay-ms", &options->answer_delay_ms) ||
      !ParseMilliseconds(line, "fault-from", &options->fault_from)) {
    return false;
  }

  // --app-config may be given many times; the switch map keeps only the
  // last, so walk the elements.
  bool cleared = false;
  const base::StringVector& elements = line.elements();
  for (size_t i = 1; i < line.first_argument_index(); ++i) {
    std::string switch_text, value;
    if (!base::SplitSwitch(elements[i], &switch_text, &value)) continue;
    if (switch_text.substr(base::SwitchPrefixLength(switch_text)) !=
        "app-config") {
      continue;
    }
    size_t equals = value.find('=');
    std::unique_ptr<base::JsonValue> config =
        equals == std::string::npos ? nullptr
                                    : base::ParseJson(value.substr(equals + 1));
    if (config == nullptr || !config->is_dict()) {
      fprintf(stderr,
              "vorn_shell_sim: --app-config wants ID={...} (a JSON "
              "dictionary), got \"%s\"\n",
              value.c_str());
      return false;
    }
    if (!cleared) book->ClearAppConfigs();
    cleared = true;
    book->SetAppConfig(value.substr(0, equals), std::move(*config));
  }
  return true;
}

// One accepted client. Its socket is non-blocking: a client that stops
// reading holds up only its own answers, never the other clients or a stop
// signal.
struct Connection {
  int fd = -1;         // owned; non-blocking
  int number = 0;      // 1 for the first connection of the run, ...
  std::string input;   // bytes received and not yet taken as frames
  std::string output;  // answer bytes not yet taken by the socket
};

// An answer held back by the answer-late fault.
struct DelayedAnswer {
  int64_t due_ms;
  int connection_number;
  std::string frame;
};

class ShellSim {
 public:
  ShellSim(SimOptions options, std::unique_ptr<sim::AnswerBook> book)
      : options_(std::move(options)), book_(std::move(book)) {}
  ~ShellSim();

  ShellSim(const ShellSim&) = delete;
  ShellSim& operator=(const ShellSim&) = delete;

  // Opens the record file and the socket, and starts listening (unless the
  // fault is not-listening). False, after a log line, when it cannot.
  bool Start();
  // Serves clients until a stop signal arrives (true) or a system call
  // fails (false, after a log line).
  bool Run();

 private:
  bool WritePathFile();
  void RemoveFiles();
  void Accept();
  // Reads what `connection` has sent; false when it is to be closed.
  bool ReadFrom(Connection* connection);
  // Handles one received message; false when the connection is to be closed.
  bool HandleMessage(Connection* connection, const receiver::VornMessage& in);
  void Record(const Connection& connection, const receiver::VornMessage& in);
  // Queues `bytes` for `connection` and sends what the socket takes now.
  // False when the connection is to be closed (an error, or a backlog past
  // kMaxPendingOutput).
  bool Send(Connection* connection, const std::string& bytes);
  // Sends queued bytes until the socket would block; false on an error.
  bool Flush(Connection* connection);
  void CloseConnection(int number);
  void SendDueAnswers();
  int PollTimeoutMs() const;

  const SimOptions options_;
  const std::unique_ptr<sim::AnswerBook> book_;
  int listen_fd_ = -1;  // owned; bound to options_.socket_path
  int record_fd_ = -1;  // owned; -1 without --record
  bool socket_bound_ = false;
  std::string path_file_content_;          // what WritePathFile wrote
  int64_t path_file_due_ms_ = -1;          // when to write it; -1 once written
  std::map<int, Connection> connections_;  // by number
  int connections_accepted_ = 0;
  int requests_seen_ = 0;  // requests with an integer "requestId", all clients
  std::vector<DelayedAnswer> delayed_;  // in order of due time
};

ShellSim::~ShellSim() {
  for (auto& [number, connection] : connections_) ::close(connection.fd);
  if (listen_fd_ >= 0) ::close(listen_fd_);
  if (record_fd_ >= 0) ::close(record_fd_);
  RemoveFiles();
}

bool ShellSim::Start() {
  if (!options_.record_path.empty()) {
    record_fd_ = base::RetryOnEintr([&] {
      return ::open(options_.record_path.c_str(),
                    O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    });
    if (record_fd_ < 0) {
      PLOG(ERROR) << "Cannot open the record file " << options_.record_path;
      return false;
    }
  }

  struct sockaddr_un address;
  memset(&address, 0, sizeof(address));
  address.sun_family = AF_UNIX;
  if (options_.socket_path.empty() ||
      options_.socket_path.size() >= sizeof(address.sun_path)) {
    LOG(ERROR) << "Socket path empty or longer than "
               << sizeof(address.sun_path) - 1
               << " bytes: " << options_.socket_path;
    return false;
  }
  memcpy(address.sun_path, options_.socket_path.data(),
         options_.socket_path.size());

  // A socket file left by an earlier run is replaced; anything else at the
  // path is someone's file and stays.
  struct stat st;
  if (::lstat(options_.socket_path.c_str(), &st) == 0) {
    if (!S_ISSOCK(st.st_mode)) {
      LOG(ERROR) << "Not a socket, left alone: " << options_.socket_path;
      return false;
    }
    ::unlink(options_.socket_path.c_str());
  }

  listen_fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (listen_fd_ < 0) {
    PLOG(ERROR) << "socket() failed";
    return false;
  }
  if (::bind(listen_fd_, reinterpret_cast<struct sockaddr*>(&address),
             sizeof(address)) != 0) {
    PLOG(ERROR) << "Cannot bind " << options_.socket_path;
    return false;
  }
  socket_bound_ = true;
  if (options_.fault != sim::Fault::kNotListening &&
      ::listen(listen_fd_, 16) != 0) {
    PLOG(ERROR) << "listen() failed on " << options_.socket_path;
    return false;
  }

  path_file_due_ms_ = NowMs() + options_.path_file_delay_ms;
  if (options_.path_file_delay_ms == 0 && !WritePathFile()) return false;
  LOG(INFO) << "vorn_shell_sim on " << options_.socket_path
            << ", fault=" << sim::FaultName(options_.fault);
  return true;
}

bool ShellSim::WritePathFile() {
  path_file_due_ms_ = -1;
  path_file_content_ = options_.socket_path;
  if (options_.path_file_line_feed) path_file_content_ += '\n';
  std::string temp =
      options_.path_file + ".tmp." + std::to_string(static_cast<int>(getpid()));
  // The folder may be shared: whatever lies at the temporary name (a link
  // planted there, say) is never opened, only removed, and the file is made
  // anew.
  auto create = [&] {
    return base::RetryOnEintr([&] {
      return ::open(temp.c_str(),
                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    });
  };
  int fd = create();
  if (fd < 0 && errno == EEXIST && ::unlink(temp.c_str()) == 0) fd = create();
  if (fd < 0) {
    PLOG(ERROR) << "Cannot create " << temp;
    return false;
  }
  bool written = WriteString(fd, path_file_content_);
  ::close(fd);
  if (!written || ::rename(temp.c_str(), options_.path_file.c_str()) != 0) {
    PLOG(ERROR) << "Cannot write the socket-path file " << options_.path_file;
    ::unlink(temp.c_str());
    return false;
  }
  return true;
}

void ShellSim::RemoveFiles() {
  if (socket_bound_) ::unlink(options_.socket_path.c_str());
  socket_bound_ = false;
  if (path_file_content_.empty()) return;
  // Another receiver may have taken the file over since; leave it then.
  char buffer[512];
  int fd = base::RetryOnEintr(
      [&] { return ::open(options_.path_file.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return;
  ssize_t n =
      base::RetryOnEintr([&] { return ::read(fd, buffer, sizeof(buffer)); });
  ::close(fd);
  if (n >= 0 &&
      std::string(buffer, static_cast<size_t>(n)) == path_file_content_) {
    ::unlink(options_.path_file.c_str());
  }
  path_file_content_.clear();
}

void ShellSim::Accept() {
  int fd = base::RetryOnEintr([&] {
    return ::accept4(listen_fd_, nullptr, nullptr,
                     SOCK_CLOEXEC | SOCK_NONBLOCK);
  });
  if (fd < 0) {
    // The client may have given up between poll and accept.
    if (errno != EAGAIN && errno != ECONNABORTED) {
      PLOG(WARNING) << "accept() failed";
    }
    return;
  }
  Connection connection;
  connection.fd = fd;
  connection.number = ++connections_accepted_;
  VLOG(1) << "Connection " << connection.number << " accepted";
  connections_[connection.number] = std::move(connection);
}

bool ShellSim::ReadFrom(Connection* connection) {
  char buffer[16384];
  ssize_t n = base::RetryOnEintr(
      [&] { return ::read(connection->fd, buffer, sizeof(buffer)); });
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
  if (n <= 0) {
    if (n < 0) PLOG(WARNING) << "read() failed";
    VLOG(1) << "Connection " << connection->number << " ended";
    return false;
  }
  connection->input.append(buffer, static_cast<size_t>(n));
  while (connection->input.size() >= receiver::kFrameHeaderSize) {
    uint32_t length = receiver::DecodeFrameHeader(connection->input.data());
    if (!receiver::IsValidFrameBodyLength(length)) {
      LOG(ERROR) << "Invalid frame length " << length << " on connection "
                 << connection->number;
      return false;
    }
    if (connection->input.size() < receiver::kFrameHeaderSize + length) break;
    receiver::VornMessage message;
    bool parsed = receiver::ParseFrameBody(
        connection->input.data() + receiver::kFrameHeaderSize, length,
        &message);
    connection->input.erase(0, receiver::kFrameHeaderSize + length);
    if (!parsed) {
      LOG(ERROR) << "Invalid message on connection " << connection->number;
      return false;
    }
    if (!HandleMessage(connection, message)) return false;
  }
  return true;
}

void ShellSim::Record(const Connection& connection,
                      const receiver::VornMessage& in) {
  if (record_fd_ < 0) return;
  base::JsonValue line(base::JsonValue::Type::DICTIONARY);
  line.SetKey("connection", base::JsonValue(connection.number));
  line.SetKey("protocolVersion",
              base::JsonValue(static_cast<int>(in.protocol_version())));
  line.SetKey("source", base::JsonValue(in.source_id()));
  line.SetKey("destination", base::JsonValue(in.destination_id()));
  line.SetKey("namespace", base::JsonValue(in.namespace_()));
  line.SetKey("payloadKind",
              base::JsonValue(static_cast<int>(in.payload_kind())));
  line.SetKey("payload", base::JsonValue(in.payload_text()));
  std::string text;
  base::WriteJson(line, 0, &text);
  text += '\n';
  if (!WriteString(record_fd_, text)) PLOG(ERROR) << "Cannot record";
}

bool ShellSim::HandleMessage(Connection* connection,
                             const receiver::VornMessage& in) {
  Record(*connection, in);
  // The handshake needs no answer.
  if (in.namespace_() == kConnectionNamespace) return true;

  std::unique_ptr<base::JsonValue> request = base::ParseJson(in.payload_text());
  base::JsonValue answer;
  if (request == nullptr || !request->is_dict() ||
      !book_->Answer(*request, &answer)) {
    LOG(WARNING) << "Not a request, ignored: " << in.payload_text();
    return true;
  }
  ++requests_seen_;
  sim::Fault fault = requests_seen_ >= options_.fault_from ? options_.fault
                                                           : sim::Fault::kNone;
  if (fault == sim::Fault::kNeverAnswer) return true;
  if (fault == sim::Fault::kCloseMidRequest) return false;
  sim::ApplyAnswerFault(fault, &answer);

  std::string frame;
  if (fault == sim::Fault::kOversizedFrame) {
    // Announces one byte more than a frame may hold.
    frame.assign(receiver::kFrameHeaderSize + 16, '\0');
    receiver::EncodeFrameHeader(receiver::kMaxFrameBodySize + 1, &frame[0]);
  } else if (fault == sim::Fault::kMalformedBody) {
    // Field 2 claims 16 bytes and the body ends after 3.
    static const char kBody[] = {0x12, 0x10, 'a', 'b', 'c'};
    frame.assign(receiver::kFrameHeaderSize, '\0');
    receiver::EncodeFrameHeader(sizeof(kBody), &frame[0]);
    frame.append(kBody, sizeof(kBody));
  } else {
    std::string text;
    base::WriteJson(answer, 0, &text);
    receiver::VornMessage out = receiver::MakeTextMessage(
        kSourceId, in.source_id(), in.namespace_(), text);
    size_t length = 0;
    if (receiver::BuildFrame(out, &frame, &length) !=
        receiver::FrameBuildResult::kOk) {
      LOG(ERROR) << "Answer too long to send: " << length << " bytes";
      return true;
    }
  }

  if (fault == sim::Fault::kAnswerLate) {
    delayed_.push_back({NowMs() + options_.answer_delay_ms, connection->number,
                        std::move(frame)});
    return true;
  }
  if (fault == sim::Fault::kInvalidFlood) {
    receiver::VornMessage junk;
    junk.set_protocol_version(receiver::VornMessage::VERSION_0);
    junk.set_source_id(kSourceId);
    junk.set_destination_id(in.source_id());
    junk.set_namespace_(in.namespace_());
    junk.set_payload_kind(receiver::VornMessage::TEXT);
    junk.set_payload_text(std::string(5000, 'x'));
    std::string junk_frame;
    size_t length = 0;
    receiver::BuildFrame(junk, &junk_frame, &length);
    for (int i = 0; i < 25; ++i) {
      if (!Send(connection, junk_frame)) return false;
    }
  }
  if (!Send(connection, frame)) return false;
  if (fault == sim::Fault::kAnswerTwice) return Send(connection, frame);
  return true;
}

bool ShellSim::Send(Connection* connection, const std::string& bytes) {
  if (connection->output.size() + bytes.size() > kMaxPendingOutput) {
    LOG(WARNING) << "Connection " << connection->number
                 << " does not read its answers; closing it";
    return false;
  }
  connection->output += bytes;
  return Flush(connection);
}

bool ShellSim::Flush(Connection* connection) {
  while (!connection->output.empty()) {
    ssize_t n = base::RetryOnEintr([&] {
      return ::send(connection->fd, connection->output.data(),
                    connection->output.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    });
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    if (n <= 0) {
      VLOG(1) << "Connection " << connection->number << " ended on write";
      return false;
    }
    connection->output.erase(0, static_cast<size_t>(n));
  }
  return true;
}

void ShellSim::CloseConnection(int number) {
  auto found = connections_.find(number);
  if (found == connections_.end()) return;
  ::close(found->second.fd);
  connections_.erase(found);
}

void ShellSim::SendDueAnswers() {
  int64_t now = NowMs();
  while (!delayed_.empty() && delayed_.front().due_ms <= now) {
    DelayedAnswer answer = std::move(delayed_.front());
    delayed_.erase(delayed_.begin());
    auto found = connections_.find(answer.connection_number);
    if (found == connections_.end()) continue;  // the client has gone
    if (!Send(&found->second, answer.frame)) {
      CloseConnection(answer.connection_number);
    }
  }
}

int ShellSim::PollTimeoutMs() const {
  int64_t due = -1;
  if (!delayed_.empty()) due = delayed_.front().due_ms;
  if (path_file_due_ms_ >= 0 && (due < 0 || path_file_due_ms_ < due)) {
    due = path_file_due_ms_;
  }
  if (due < 0) return -1;
  int64_t wait = due - NowMs();
  return wait < 0 ? 0 : static_cast<int>(wait);
}

bool ShellSim::Run() {
  for (;;) {
    std::vector<struct pollfd> fds;
    fds.push_back({g_signal_pipe[0], POLLIN, 0});
    // An unlistened stream socket polls as hung up at once; leave it out.
    bool listening = options_.fault != sim::Fault::kNotListening;
    fds.push_back({listening ? listen_fd_ : -1, POLLIN, 0});
    std::vector<int> numbers;
    for (const auto& [number, connection] : connections_) {
      short events = POLLIN;
      if (!connection.output.empty()) events |= POLLOUT;
      fds.push_back({connection.fd, events, 0});
      numbers.push_back(number);
    }
    int timeout = PollTimeoutMs();
    int ready = base::RetryOnEintr(
        [&] { return ::poll(fds.data(), fds.size(), timeout); });
    if (ready < 0) {
      PLOG(ERROR) << "poll() failed";
      return false;
    }
    if (fds[0].revents != 0) return true;  // SIGTERM or SIGINT
    if (path_file_due_ms_ >= 0 && NowMs() >= path_file_due_ms_) {
      if (!WritePathFile()) return false;
    }
    SendDueAnswers();
    if (fds[1].revents & POLLIN) Accept();
    for (size_t i = 0; i < numbers.size(); ++i) {
      if (fds[i + 2].revents == 0) continue;
      auto found = connections_.find(numbers[i]);
      if (found == connections_.end()) continue;
      bool open = true;
      if (fds[i + 2].revents & POLLOUT) open = Flush(&found->second);
      if (open && (fds[i + 2].revents & ~POLLOUT) != 0) {
        open = ReadFrom(&found->second);
      }
      if (!open) CloseConnection(numbers[i]);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  base::InitProcessCommandLine(argc, argv);
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_TO_STDERR;
  logging::InitLogging(settings);

  if (base::ProcessCommandLine().HasSwitchNamed("help")) {
    fputs(kUsage, stdout);
    printf("\nFault modes: %s\n", sim::AllFaultNames().c_str());
    return 0;
  }
  SimOptions options;
  auto book = std::make_unique<sim::AnswerBook>();
  if (!ParseOptions(&options, book.get())) return 2;

  if (::pipe2(g_signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    PLOG(ERROR) << "pipe2() failed";
    return 1;
  }
  struct sigaction action;
  memset(&action, 0, sizeof(action));
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);

  ShellSim shell_sim(std::move(options), std::move(book));
  if (!shell_sim.Start()) return 1;
  return shell_sim.Run() ? 0 : 1;
}
