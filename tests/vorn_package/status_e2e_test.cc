// End-to-end tests of "vorn_cli status": the real vorn_cli against the
// receiver stand-in vorn_shell_sim, each test in a temporary directory of
// its own that serves as TMPDIR for both. VORN_CLI and VORN_SHELL_SIM name
// the two programs; VORN_EMULATOR, when set, is the prefix that runs
// vorn_cli (qemu-arm under the cross build; the stand-in is always native).
//
// Tests whose name starts with "Slow" wait for the real 5-second time-out;
// CTest runs each of them as an entry of its own so that they overlap.

#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/json/json_value.h"
#include "gtest/gtest.h"
#include "tests/receiver/status_test_peer.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/log_line.h"
#include "tests/support/temp_dir.h"

namespace vorn {
namespace {

constexpr char kService[] = "vorn_status_service.cc";
constexpr char kHandshake[] =
    "{\"type\":\"CONNECT\", \"senderInfo\":{\"platform\":7, "
    "\"connectionType\":3}, \"connType\":2}";
constexpr char kConnectionNamespace[] =
    "urn:x-vorn:com.orbelo.vorn.tp.connection";
constexpr char kReceiverNamespace[] = "urn:x-vorn:com.orbelo.vorn.receiver";
constexpr char kDebugNamespace[] = "urn:x-vorn:com.orbelo.vorn.receiver.debug";
constexpr char kDiscoveryNamespace[] =
    "urn:x-vorn:com.orbelo.vorn.receiver.discovery";
constexpr char kTimeoutWarning[] = "Task timeout occurred: type=";

// One frame as the stand-in recorded it.
struct Frame {
  std::string source;
  std::string destination;
  std::string name_space;
  std::string payload;
  int connection = 0;
};

class StatusEndToEndTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* cli = getenv("VORN_CLI");
    const char* sim = getenv("VORN_SHELL_SIM");
    ASSERT_TRUE(cli != nullptr && sim != nullptr)
        << "VORN_CLI and VORN_SHELL_SIM must name the programs";
    cli_ = cli;
    sim_ = sim;
    ASSERT_TRUE(dir_.valid());
  }

  std::string SocketPath() const { return dir_.Path("vorn_shell.sock"); }
  std::string PathFile() const { return dir_.Path("vorn-cli-socket.path"); }

  // Starts the stand-in with `options`, recording into the test directory.
  // Waits for its socket-path file unless `wait_for_path_file` is false.
  void StartReceiver(const std::vector<std::string>& options,
                     bool wait_for_path_file = true) {
    test::ChildOptions child;
    child.argv = {sim_, "--record=" + dir_.Path("frames.jsonl")};
    child.argv.insert(child.argv.end(), options.begin(), options.end());
    child.env = {{"TMPDIR", dir_.path()}};
    ASSERT_TRUE(receiver_.Start(child));
    if (wait_for_path_file) WaitForFile(PathFile());
  }

  // Waits until `path` has content.
  void WaitForFile(const std::string& path) {
    int64_t give_up = test::MonotonicMilliseconds() + 5000;
    while (test::ReadFile(path).empty()) {
      ASSERT_LT(test::MonotonicMilliseconds(), give_up)
          << "no file " << path << "; stand-in said: " << receiver_.ReadError();
      usleep(5000);
    }
  }

  // How vorn_cli runs with `args` in the test's TMPDIR.
  test::ChildOptions CliOptions(const std::vector<std::string>& args) const {
    test::ChildOptions child;
    child.argv = {cli_};
    child.argv.insert(child.argv.end(), args.begin(), args.end());
    child.argv = test::WithEmulator(child.argv);
    child.env = {{"TMPDIR", dir_.path()}};
    child.timeout_ms = 30000;
    return child;
  }

  test::ChildResult RunCli(const std::vector<std::string>& args) {
    return test::RunChild(CliOptions(args));
  }

  // The frames the stand-in has recorded, once there are at least
  // `at_least` (or after 3 s).
  std::vector<Frame> RecordedFrames(size_t at_least) {
    int64_t give_up = test::MonotonicMilliseconds() + 3000;
    for (;;) {
      std::vector<Frame> frames = ParseFrames();
      if (frames.size() >= at_least ||
          test::MonotonicMilliseconds() > give_up) {
        return frames;
      }
      usleep(5000);
    }
  }

  std::string cli_;
  std::string sim_;
  test::ScopedTempDir dir_;
  test::ChildProcess receiver_;

 private:
  std::vector<Frame> ParseFrames() const {
    std::vector<Frame> frames;
    std::string text = test::ReadFile(dir_.Path("frames.jsonl"));
    size_t start = 0;
    for (size_t end; (end = text.find('\n', start)) != std::string::npos;
         start = end + 1) {
      std::unique_ptr<base::JsonValue> line =
          base::ParseJson(text.substr(start, end - start));
      if (line == nullptr) continue;
      Frame frame;
      line->GetString("source", &frame.source);
      line->GetString("destination", &frame.destination);
      line->GetString("namespace", &frame.name_space);
      line->GetString("payload", &frame.payload);
      line->GetInteger("connection", &frame.connection);
      frames.push_back(frame);
    }
    return frames;
  }
};

// The exact text a pretty-printed dictionary gets in the log.
std::string StatusInfoText() {
  return "Current receiver status: {\n"
         "   \"requestId\": 2,\n"
         "   \"status\": {\n"
         "      \"applications\": [ {\n"
         "         \"appId\": \"radio\",\n"
         "         \"displayName\": \"Radio\",\n"
         "         \"isIdleScreen\": false,\n"
         "         \"sessionId\": \"5e1f0c2a\"\n"
         "      } ],\n"
         "      \"isActiveInput\": true,\n"
         "      \"isStandBy\": false,\n"
         "      \"volume\": {\n"
         "         \"level\": 0.4,\n"
         "         \"muted\": false\n"
         "      }\n"
         "   },\n"
         "   \"type\": \"RECEIVER_STATUS\"\n"
         "}\n";
}

TEST_F(StatusEndToEndTest, StatusLogsTheAnswerAndSendsHandshakeFirst) {
  StartReceiver({});
  test::ChildResult result = RunCli({"status"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ("", result.out);
  EXPECT_TRUE(test::HasLogLine(result.err, "INFO", kService, StatusInfoText()));
  EXPECT_TRUE(test::HasLogLine(
      result.err, "INFO", "v2_unix_domain_client.cc",
      "Successfully connected V2 unix client: name=" + SocketPath()));

  std::vector<Frame> frames = RecordedFrames(2);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kConnectionNamespace, frames[0].name_space);
  EXPECT_EQ(kHandshake, frames[0].payload);
  EXPECT_EQ("vorn-cli-0", frames[0].source);
  EXPECT_EQ("receiver-0", frames[0].destination);
  EXPECT_EQ(kReceiverNamespace, frames[1].name_space);
  EXPECT_EQ("{\"requestId\":2,\"type\":\"GET_STATUS\"}", frames[1].payload);
  EXPECT_EQ(frames[0].connection, frames[1].connection);
}

TEST_F(StatusEndToEndTest, GetAppConfigQueriesEachAppInOrder) {
  StartReceiver({});
  test::ChildResult result =
      RunCli({"status", "get_app_config", "A1", "radio"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_TRUE(test::HasLogLine(result.err, "INFO", kService,
                               "Application config for 'A1': {\n"
                               "   \"appConfig\": {\n"
                               "      \"autoplay\": true,\n"
                               "      \"maxBitrateKbps\": 320\n"
                               "   },\n"
                               "   \"appId\": \"A1\",\n"
                               "   \"requestId\": 2,\n"
                               "   \"responseType\": \"APP_CONFIG\"\n"
                               "}\n"));
  EXPECT_EQ(1, test::CountLogLines(result.err, "INFO",
                                   "Application config for 'radio': "));
  std::vector<Frame> frames = RecordedFrames(3);
  ASSERT_EQ(3u, frames.size());
  EXPECT_EQ(kDebugNamespace, frames[1].name_space);
  EXPECT_EQ("{\"appId\":\"A1\",\"requestId\":2,\"type\":\"GET_APP_CONFIG\"}",
            frames[1].payload);
  EXPECT_EQ("{\"appId\":\"radio\",\"requestId\":3,\"type\":\"GET_APP_CONFIG\"}",
            frames[2].payload);
}

TEST_F(StatusEndToEndTest, DiscoveryLogsTheDeviceInfo) {
  StartReceiver({"--device-name=Kitchen"});
  test::ChildResult result = RunCli({"status", "discovery"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(1, test::CountLogLines(result.err, "INFO",
                                   "Current discovery DEVICE_INFO: {"));
  EXPECT_NE(std::string::npos, result.err.find("\"name\": \"Kitchen\""));
  std::vector<Frame> frames = RecordedFrames(2);
  ASSERT_EQ(2u, frames.size());
  EXPECT_EQ(kDiscoveryNamespace, frames[1].name_space);
  EXPECT_EQ("{\"requestId\":2,\"type\":\"GET_DEVICE_INFO\"}",
            frames[1].payload);
}

TEST_F(StatusEndToEndTest, NoSocketPathFileFailsAfterOnePoll) {
  test::ChildResult result = RunCli({"status"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(test::IsOnlyLogLine(
      result.err, "ERROR", kService,
      "Vorn CLI cannot find running receiver socket to connect"));
  // One read, one 50 ms sleep, and no further polling (the bound leaves room
  // for a slow start under an emulator).
  EXPECT_GE(result.elapsed_ms, 50);
  EXPECT_LT(result.elapsed_ms, 2000);
}

TEST_F(StatusEndToEndTest, PathFileAppearingLaterIsFoundWithinTheTimeout) {
  // The stand-in listens and publishes its path elsewhere; the file moves to
  // where vorn_cli looks 120 ms after vorn_cli has started.
  std::string staged = dir_.Path("staged.path");
  StartReceiver({"--vorn-cli-socket-file-path=" + staged},
                /*wait_for_path_file=*/false);
  WaitForFile(staged);
  test::ChildProcess cli;
  ASSERT_TRUE(cli.Start(CliOptions({"--status-timeout=200", "status"})));
  usleep(120000);
  ASSERT_EQ(0, rename(staged.c_str(), PathFile().c_str()));
  test::ChildResult result;
  ASSERT_TRUE(cli.Wait(30000, &result));
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(
      1, test::CountLogLines(result.err, "INFO", "Current receiver status: "));
  EXPECT_GE(result.elapsed_ms, 120);
}

TEST_F(StatusEndToEndTest, SocketWithoutListenerCannotConnect) {
  StartReceiver({"--fault=not-listening"});
  test::ChildResult result = RunCli({"status"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", "v2_unix_domain_client.cc",
                               "Connect error: ERR_CONNECTION_REFUSED"));
  EXPECT_TRUE(test::HasLogLine(
      result.err, "ERROR", kService,
      "Vorn CLI could not connect to receiver using socket: " + SocketPath()));
}

TEST_F(StatusEndToEndTest, PathFileEndingInLineFeedCannotConnect) {
  StartReceiver({"--path-file-line-feed"});
  EXPECT_EQ(SocketPath() + "\n", test::ReadFile(PathFile()));
  test::ChildResult result = RunCli({"status"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", "v2_unix_domain_client.cc",
                               "Connect error: ERR_FILE_NOT_FOUND"));
  EXPECT_TRUE(test::HasLogLine(
      result.err, "ERROR", kService,
      "Vorn CLI could not connect to receiver using socket: " + SocketPath() +
          "\n"));
}

TEST_F(StatusEndToEndTest, ConnectPhaseRetriesUntilTheDeadline) {
  StartReceiver({"--fault=not-listening"});
  test::ChildResult result = RunCli({"--status-timeout=300", "status"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_GE(test::CountLogLines(result.err, "ERROR",
                                "Connect error: ERR_CONNECTION_REFUSED"),
            2);
  EXPECT_GE(result.elapsed_ms, 300);
}

TEST_F(StatusEndToEndTest, DoubledAnswerIsUsedOnce) {
  StartReceiver({"--fault=answer-twice"});
  test::ChildResult result =
      RunCli({"status", "get_app_config", "A1", "radio"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(1, test::CountLogLines(result.err, "INFO",
                                   "Application config for 'A1': "));
  EXPECT_EQ(1, test::CountLogLines(result.err, "INFO",
                                   "Application config for 'radio': "));
}

TEST_F(StatusEndToEndTest, LateAnswerWithinTheTimeoutIsUsed) {
  StartReceiver({"--fault=answer-late", "--answer-delay-ms=700"});
  test::ChildResult result = RunCli({"status"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_TRUE(test::HasLogLine(result.err, "INFO", kService, StatusInfoText()));
  EXPECT_GE(result.elapsed_ms, 700);
}

TEST_F(StatusEndToEndTest, GetAppConfigWithoutIdConnectsThenFails) {
  StartReceiver({});
  test::ChildResult result = RunCli({"status", "get_app_config"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", kService,
                               "Must specify one or more app-id to query"));
  std::vector<Frame> frames = RecordedFrames(1);
  ASSERT_EQ(1u, frames.size());
  EXPECT_EQ(kConnectionNamespace, frames[0].name_space);
}

TEST_F(StatusEndToEndTest, EmptyAppConfigIsReportedAsNotFound) {
  StartReceiver({"--app-config=A={}"});
  test::ChildResult result = RunCli({"status", "get_app_config", "A"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_TRUE(test::HasLogLine(result.err, "INFO", kService,
                               "Could not find config for app: A"));
}

TEST_F(StatusEndToEndTest, DiscoveryWithArgumentIsInvalid) {
  StartReceiver({});
  test::ChildResult result = RunCli({"status", "discovery", "x"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", kService,
                               "Invalid discovery status request"));
  EXPECT_EQ(1u, RecordedFrames(1).size());  // the handshake only
}

TEST_F(StatusEndToEndTest, UnknownSubCommandWarns) {
  StartReceiver({});
  test::ChildResult result = RunCli({"status", "bogus"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(test::HasLogLine(
      result.err, "WARNING", kService,
      "Unknown status command; please see --help for details"));
}

TEST_F(StatusEndToEndTest, UnknownSubCommandWithoutReceiverReportsNoSocket) {
  test::ChildResult result = RunCli({"status", "bogus"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(test::IsOnlyLogLine(
      result.err, "ERROR", kService,
      "Vorn CLI cannot find running receiver socket to connect"));
}

TEST_F(StatusEndToEndTest, QuietPrintsNothingAgainstALiveReceiver) {
  StartReceiver({});
  test::ChildResult result = RunCli({"--quiet", "status"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.out);
  EXPECT_EQ("", result.err);
}

TEST_F(StatusEndToEndTest, SocketPathFileSwitchIsHonoured) {
  std::string path_file = dir_.Path("elsewhere.path");
  StartReceiver({"--vorn-cli-socket-file-path=" + path_file},
                /*wait_for_path_file=*/false);
  test::ChildResult result =
      RunCli({"--status-timeout=3000",
              "--vorn-cli-socket-file-path=" + path_file, "status"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_FALSE(test::ReadFile(path_file).empty());
}

TEST_F(StatusEndToEndTest, LinkedPathFileIsRefused) {
  StartReceiver({});
  ASSERT_EQ(0, rename(PathFile().c_str(), dir_.Path("real.path").c_str()));
  ASSERT_EQ(0, symlink("real.path", PathFile().c_str()));
  test::ChildResult linked = RunCli({"--status-timeout=200", "status"});
  EXPECT_EQ(2, test::CountLogLines(linked.err, "ERROR", ""));  // + no socket
  EXPECT_TRUE(test::HasLogLine(
      linked.err, "ERROR", kService,
      "Socket-path file refused: " + PathFile() + ": it is a symbolic link"));
}

TEST_F(StatusEndToEndTest, StandInNeverWritesThroughALinkAtItsTemporaryName) {
  ASSERT_TRUE(test::WriteFile(dir_.Path("victim"), "precious"));
  StartReceiver({"--path-file-delay-ms=700"}, /*wait_for_path_file=*/false);
  std::string temp = PathFile() + ".tmp." + std::to_string(receiver_.pid());
  ASSERT_EQ(0, symlink("victim", temp.c_str()));
  WaitForFile(PathFile());
  EXPECT_EQ("precious", test::ReadFile(dir_.Path("victim")));
  EXPECT_EQ(SocketPath(), test::ReadFile(PathFile()));
}

TEST_F(StatusEndToEndTest, ClientThatNeverReadsBlocksNeitherOthersNorStop) {
  std::string frame =
      test::StatusTestPeer::Frame("{\"requestId\":7,\"type\":\"GET_STATUS\"}");
  std::string requests;
  for (int i = 0; i < 2000; ++i) requests += frame;
  for (const char* mode :
       {"none", "never-answer", "answer-twice", "string-request-id", "no-type",
        "oversized-frame", "malformed-body", "close-mid-request", "answer-late",
        "not-listening", "invalid-flood"}) {
    SCOPED_TRACE(mode);
    StartReceiver({std::string("--fault=") + mode});
    // Sends until the stand-in stops taking requests (or 1.5 s pass).
    int client = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct sockaddr_un address = {AF_UNIX, {}};
    SocketPath().copy(address.sun_path, sizeof(address.sun_path) - 1);
    struct timeval limit = {1, 500000};
    setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit));
    connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    send(client, requests.data(), requests.size(), MSG_NOSIGNAL);
    if (std::string(mode) == "none") {
      EXPECT_EQ(0, RunCli({"status"}).exit_code);  // others are still served
    }
    ASSERT_TRUE(receiver_.Signal(SIGTERM));
    test::ChildResult result;
    ASSERT_TRUE(receiver_.Wait(1000, &result));
    close(client);
  }
}

// ---- the 5-second time-out, for real -------------------------------------

// Checks a query that ended by its time-out.
void ExpectTimedOut(const test::ChildResult& result, const std::string& type) {
  EXPECT_EQ(1, result.exit_code);
  EXPECT_GE(result.elapsed_ms, 5000);
  EXPECT_LT(result.elapsed_ms, 9000);
  EXPECT_TRUE(test::HasLogLine(result.err, "WARNING", kService,
                               kTimeoutWarning + type));
}

TEST_F(StatusEndToEndTest, SlowSilentReceiverTimesOut) {
  StartReceiver({"--fault=never-answer"});
  test::ChildResult result = RunCli({"status"});
  ExpectTimedOut(result, "GET_STATUS");
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", kService,
                               "Failed to get receiver status"));
}

TEST_F(StatusEndToEndTest, SlowSilentReceiverFailsDiscovery) {
  StartReceiver({"--fault=never-answer"});
  test::ChildResult result = RunCli({"status", "discovery"});
  ExpectTimedOut(result, "GET_DEVICE_INFO");
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", kService,
                               "Failed to get discovery device info"));
  EXPECT_TRUE(test::HasLogLine(result.err, "WARNING", kService,
                               "Unable to fetch discovery info"));
}

TEST_F(StatusEndToEndTest, SlowStringRequestIdIsIgnored) {
  StartReceiver({"--fault=string-request-id"});
  ExpectTimedOut(RunCli({"status"}), "GET_STATUS");
}

TEST_F(StatusEndToEndTest, SlowAnswerWithoutTypeIsIgnored) {
  StartReceiver({"--fault=no-type"});
  ExpectTimedOut(RunCli({"status"}), "GET_STATUS");
}

TEST_F(StatusEndToEndTest, SlowOversizedFrameClosesWithInvalidMessage) {
  StartReceiver({"--fault=oversized-frame"});
  test::ChildResult result = RunCli({"status"});
  ExpectTimedOut(result, "GET_STATUS");
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", "v2_ssl_socket.cc",
                               "Message exceeds maximum length. Closing this "
                               "socket: id=.vorn_shell.sock, len=65537"));
  EXPECT_TRUE(test::HasLogLine(result.err, "INFO", kService,
                               "Status socket has closed: " + SocketPath() +
                                   ", reason=INVALID_MESSAGE"));
}

TEST_F(StatusEndToEndTest, SlowMalformedBodyClosesWithInvalidMessage) {
  StartReceiver({"--fault=malformed-body"});
  test::ChildResult result = RunCli({"status"});
  ExpectTimedOut(result, "GET_STATUS");
  EXPECT_TRUE(
      test::HasLogLine(result.err, "ERROR", "v2_ssl_socket.cc",
                       "Invalid message from socket: id=.vorn_shell.sock"));
  EXPECT_TRUE(test::HasLogLine(result.err, "INFO", kService,
                               "Status socket has closed: " + SocketPath() +
                                   ", reason=INVALID_MESSAGE"));
}

TEST_F(StatusEndToEndTest, SlowCloseDuringRequestStillWaitsForTimeout) {
  StartReceiver({"--fault=close-mid-request"});
  test::ChildResult result = RunCli({"status"});
  ExpectTimedOut(result, "GET_STATUS");
  EXPECT_TRUE(test::HasLogLine(
      result.err, "INFO", kService,
      "Status socket has closed: " + SocketPath() + ", reason=CLOSED_BY_PEER"));
}

TEST_F(StatusEndToEndTest, SlowAnswerAfterTheTimeoutIsIgnored) {
  StartReceiver({"--fault=answer-late", "--answer-delay-ms=6000"});
  ExpectTimedOut(RunCli({"status"}), "GET_STATUS");
}

TEST_F(StatusEndToEndTest, SlowSecondAppTimesOutAndLaterAppsAreNotQueried) {
  StartReceiver({"--fault=never-answer", "--fault-from=2"});
  test::ChildResult result =
      RunCli({"status", "get_app_config", "A1", "B", "radio"});
  ExpectTimedOut(result, "GET_APP_CONFIG");
  std::vector<test::LogLine> lines = test::ParseLogLines(result.err);
  std::vector<std::string> texts;
  for (const test::LogLine& line : lines) {
    if (line.file == kService) texts.push_back(line.severity + " " + line.text);
  }
  ASSERT_EQ(4u, texts.size()) << result.err;
  EXPECT_EQ(0u, texts[0].find("INFO Application config for 'A1': {"));
  EXPECT_EQ("WARNING Task timeout occurred: type=GET_APP_CONFIG", texts[1]);
  EXPECT_EQ("ERROR Failed to get app config for app:B", texts[2]);
  EXPECT_EQ(
      "WARNING 'get_app_config' requires debug namespace; make sure enabled "
      "on vorn receiver",
      texts[3]);
  std::vector<Frame> frames = RecordedFrames(3);
  ASSERT_EQ(3u, frames.size());  // handshake, A1, B; never radio
  EXPECT_EQ("{\"appId\":\"B\",\"requestId\":3,\"type\":\"GET_APP_CONFIG\"}",
            frames[2].payload);
}

}  // namespace
}  // namespace vorn
