#include "base/logging.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "base/command_line.h"
#include "gtest/gtest.h"

namespace logging {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

class LoggingTest : public testing::Test {
 protected:
  void SetUp() override { Reset(); }
  void TearDown() override { Reset(); }

  static void Reset() {
    SetMinLogLevel(0);
    LoggingSettings defaults;
    InitLogging(defaults);
    SetLogMessageHandler(nullptr);
    SetLogItems(false, false, true, false);
    SetLogPrefix(nullptr);
  }
};

int g_evaluations = 0;
int Evaluate() {
  ++g_evaluations;
  return 7;
}

TEST_F(LoggingTest, LineOpensWithTimeSeverityFileAndLine) {
  CaptureStderr();
  LOG(ERROR) << "Invalid pid: pid=" << 12;
  int line = __LINE__ - 1;
  std::string out = GetCapturedStderr();
  std::regex format(
      R"(^\[(\d\d)(\d\d)/(\d\d)(\d\d)(\d\d)\.\d{6}:ERROR:logging_test\.cc\((\d+)\)\] Invalid pid: pid=12\n$)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(out, match, format)) << out;
  EXPECT_EQ(std::to_string(line), match[6].str());
  int month = std::stoi(match[1].str());
  int day = std::stoi(match[2].str());
  EXPECT_GE(month, 1);
  EXPECT_LE(month, 12);
  EXPECT_GE(day, 1);
  EXPECT_LE(day, 31);
  EXPECT_LT(std::stoi(match[3].str()), 24);
}

TEST_F(LoggingTest, SeverityNames) {
  EXPECT_EQ("INFO", SeverityName(0));
  EXPECT_EQ("WARNING", SeverityName(1));
  EXPECT_EQ("ERROR", SeverityName(2));
  EXPECT_EQ("FATAL", SeverityName(3));
  EXPECT_EQ("UNKNOWN", SeverityName(4));
  EXPECT_EQ("UNKNOWN", SeverityName(5));
  EXPECT_EQ("VERBOSE2", SeverityName(-2));
  EXPECT_EQ("VERBOSE2147483648", SeverityName(-2147483647 - 1));

  CaptureStderr();
  LOG_WITH_SEVERITY(5) << "odd";
  EXPECT_NE(std::string::npos, GetCapturedStderr().find(":UNKNOWN:"));
}

TEST_F(LoggingTest, FileNameIsCutToItsBaseName) {
  CaptureStderr();
  { LogMessage("src/base/deep/dir/module.cc", 7, LOG_WARNING).stream() << "x"; }
  { LogMessage("C:\\src\\win.cc", 8, LOG_WARNING).stream() << "y"; }
  { LogMessage("plain.cc", 9, LOG_WARNING).stream() << "z"; }
  std::string out = GetCapturedStderr();
  EXPECT_NE(std::string::npos, out.find(":WARNING:module.cc(7)] x\n"));
  EXPECT_NE(std::string::npos, out.find(":WARNING:win.cc(8)] y\n"));
  EXPECT_NE(std::string::npos, out.find(":WARNING:plain.cc(9)] z\n"));
  EXPECT_EQ(std::string::npos, out.find("deep"));
}

TEST_F(LoggingTest, SuppressedMessageDoesNotEvaluateItsArguments) {
  SetMinLogLevel(LOG_FATAL);
  g_evaluations = 0;
  CaptureStderr();
  LOG(ERROR) << Evaluate();
  LOG(INFO) << Evaluate();
  PLOG(WARNING) << Evaluate();
  EXPECT_EQ("", GetCapturedStderr());
  EXPECT_EQ(0, g_evaluations);

  SetMinLogLevel(0);
  CaptureStderr();
  LOG(INFO) << Evaluate();
  GetCapturedStderr();
  EXPECT_EQ(1, g_evaluations);
}

TEST_F(LoggingTest, MinimumLevelIsClampedToFatal) {
  SetMinLogLevel(7);
  EXPECT_EQ(LOG_FATAL, GetMinLogLevel());
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_ERROR));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_FATAL));
  SetMinLogLevel(-3);
  EXPECT_EQ(-3, GetMinLogLevel());
  EXPECT_TRUE(ShouldCreateLogMessage(-3));
  EXPECT_FALSE(ShouldCreateLogMessage(-4));
}

TEST_F(LoggingTest, ErrorsStillReachStderrWithoutADestination) {
  LoggingSettings none;
  none.logging_dest = LOG_NONE;
  ASSERT_TRUE(InitLogging(none));
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_INFO));
  EXPECT_FALSE(ShouldCreateLogMessage(LOG_WARNING));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_ERROR));
  CaptureStderr();
  LOG(WARNING) << "dropped";
  LOG(ERROR) << "kept";
  std::string out = GetCapturedStderr();
  EXPECT_EQ(std::string::npos, out.find("dropped"));
  EXPECT_NE(std::string::npos, out.find("] kept\n"));
}

TEST_F(LoggingTest, SystemLogBitAloneWritesNothing) {
  LoggingSettings syslog_only;
  syslog_only.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  ASSERT_TRUE(InitLogging(syslog_only));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_INFO));
  CaptureStderr();
  LOG(ERROR) << "nowhere";
  EXPECT_EQ("", GetCapturedStderr());
}

TEST_F(LoggingTest, ErrnoIsPreservedAcrossAStatement) {
  errno = EDOM;
  CaptureStderr();
  LOG(INFO) << "value " << (errno = EBADF, 1) << strerror(ENOENT);
  GetCapturedStderr();
  EXPECT_EQ(EDOM, errno);

  SetMinLogLevel(LOG_FATAL);
  errno = ERANGE;
  LOG(INFO) << "suppressed";
  EXPECT_EQ(ERANGE, errno);
}

TEST_F(LoggingTest, ErrnoVariantAppendsTheSystemText) {
  std::string expected_tail = std::string(": ") + strerror(ENOENT) + " (2)\n";
  errno = ENOENT;
  CaptureStderr();
  PLOG(ERROR) << "open /nowhere";
  std::string out = GetCapturedStderr();
  EXPECT_EQ(ENOENT, errno);
  ASSERT_GE(out.size(), expected_tail.size());
  EXPECT_EQ(expected_tail, out.substr(out.size() - expected_tail.size()));
  EXPECT_NE(std::string::npos, out.find("] open /nowhere: "));
}

TEST_F(LoggingTest, PrefixItemsComeInOrder) {
  SetLogPrefix("cli");
  SetLogItems(true, false, false, true);
  CaptureStderr();
  LOG(INFO) << "m";
  std::string out = GetCapturedStderr();
  std::regex format(
      R"(^\[cli:(\d+):(\d+):INFO:logging_test\.cc\(\d+\)\] m\n$)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(out, match, format)) << out;
  EXPECT_EQ(std::to_string(getpid()), match[1].str());
}

bool g_swallow = false;
std::string g_handled;
bool Handler(LogSeverity severity, const char* file, int line, size_t start,
             const std::string& text) {
  g_handled = text.substr(start);
  return g_swallow;
}

TEST_F(LoggingTest, HandlerSeesTheMessageAndMaySwallowIt) {
  SetLogMessageHandler(&Handler);
  g_swallow = true;
  CaptureStderr();
  LOG(WARNING) << "first";
  EXPECT_EQ("", GetCapturedStderr());
  EXPECT_EQ("first\n", g_handled);

  g_swallow = false;
  CaptureStderr();
  LOG(WARNING) << "second";
  EXPECT_NE(std::string::npos, GetCapturedStderr().find("] second\n"));
  EXPECT_EQ("second\n", g_handled);
}

TEST_F(LoggingTest, FileDestinationAppendsLines) {
  std::string path =
      testing::TempDir() + "/logging_test_" + std::to_string(getpid()) + ".log";
  {
    std::ofstream old(path);
    old << "old line\n";
  }
  LoggingSettings to_file;
  to_file.logging_dest = LOG_TO_FILE;
  to_file.log_file_path = path;
  to_file.delete_old = APPEND_TO_OLD_LOG_FILE;
  ASSERT_TRUE(InitLogging(to_file));
  CaptureStderr();
  LOG(INFO) << "into the file";
  EXPECT_EQ("", GetCapturedStderr());

  std::ifstream in(path);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(0u, content.str().find("old line\n"));
  EXPECT_NE(std::string::npos, content.str().find("] into the file\n"));

  to_file.delete_old = DELETE_OLD_LOG_FILE;
  ASSERT_TRUE(InitLogging(to_file));
  LOG(INFO) << "fresh";
  std::ifstream again(path);
  std::stringstream fresh;
  fresh << again.rdbuf();
  EXPECT_EQ(std::string::npos, fresh.str().find("old line"));
  EXPECT_NE(std::string::npos, fresh.str().find("] fresh\n"));
  unlink(path.c_str());
}

TEST_F(LoggingTest, UnopenableLogFileFailsInitButKeepsStderr) {
  LoggingSettings bad;
  bad.logging_dest = LOG_TO_FILE | LOG_TO_STDERR;
  bad.log_file_path = "/nonexistent-dir/for/sure/debug.log";
  EXPECT_FALSE(InitLogging(bad));
  CaptureStderr();
  LOG(WARNING) << "still here";
  EXPECT_NE(std::string::npos, GetCapturedStderr().find("] still here\n"));
}

using LoggingDeathTest = LoggingTest;

TEST_F(LoggingDeathTest, FatalWritesItsLineThenTraps) {
  EXPECT_DEATH(LOG(FATAL) << "boom " << 42,
               "FATAL:logging_test\\.cc\\([0-9]+\\)\\] boom 42");
}

TEST_F(LoggingDeathTest, FailedCheckTrapsWithoutAMessage) {
  int zero = 0;
  // Nothing of ours reaches stderr. Under qemu-user the emulator itself
  // reports the trap in one line of its own, which is allowed for.
  EXPECT_DEATH(CHECK(zero == 1), "^(qemu: uncaught target signal [^\n]*\n?)?$");
}

TEST_F(LoggingDeathTest, VerbositySwitchesAreReadAtInit) {
  EXPECT_EXIT(
      {
        base::ResetProcessCommandLineForTesting(
            {"prog", "--v=2", "--vmodule=net*=4,sub/dir/*=1"});
        InitLogging(LoggingSettings());
        bool ok = GetMinLogLevel() == -2 && GetVlogLevel("src/other.cc") == 2 &&
                  GetVlogLevel("src/network.cc") == 4 &&
                  GetVlogLevel("sub/dir/file.cc") == 1 &&
                  ShouldCreateLogMessage(-2) && !ShouldCreateLogMessage(-3);
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(LoggingDeathTest, QuietAfterVerbosityWins) {
  EXPECT_EXIT(
      {
        base::ResetProcessCommandLineForTesting({"prog", "--v=3"});
        InitLogging(LoggingSettings());
        SetMinLogLevel(LOG_FATAL);
        exit(ShouldCreateLogMessage(LOG_ERROR) ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(LoggingDeathTest, VerbosityInitialisedTwiceIsACheckFailure) {
  EXPECT_DEATH(
      {
        base::ResetProcessCommandLineForTesting({"prog", "--v=1"});
        InitLogging(LoggingSettings());
        InitLogging(LoggingSettings());
      },
      "");
}

TEST_F(LoggingDeathTest, UnparsableVerbosityLeavesTheLevel) {
  EXPECT_EXIT(
      {
        base::ResetProcessCommandLineForTesting({"prog", "--v=two"});
        InitLogging(LoggingSettings());
        exit(GetMinLogLevel() == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace logging
