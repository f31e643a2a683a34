#include "base/logging/logging.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <thread>

#include "gtest/gtest.h"
#include "tests/support/files.h"
#include "tests/support/log_capture.h"
#include "tests/support/log_line.h"
#include "tests/support/output_capture.h"
#include "tests/support/temp_dir.h"

namespace logging {
namespace {

using vorn::test::CapturedMessage;
using vorn::test::IsOnlyLogLine;
using vorn::test::LogLine;
using vorn::test::ParseLogLine;
using vorn::test::ScopedLogCapture;
using vorn::test::ScopedOutputCapture;

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

// The exact bytes on standard error: one line, the time stamp alone in the
// prefix, then severity, file, line and text.
TEST_F(LoggingTest, LineOpensWithTimeSeverityFileAndLine) {
  ScopedOutputCapture err;
  LOG(ERROR) << "Invalid pid: pid=" << 12;
  const int line = __LINE__ - 1;
  const std::string out = err.Finish();
  ASSERT_TRUE(
      IsOnlyLogLine(out, "ERROR", "logging_test.cc", "Invalid pid: pid=12"));
  const std::optional<LogLine> parsed = ParseLogLine(out);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(line, parsed->line);
  // "MMDD/HHMMSS.uuuuuu", its form checked by the parser.
  ASSERT_EQ(18u, parsed->prefix.size()) << out;
  EXPECT_EQ('[', out[0]);
  const int month = std::stoi(parsed->prefix.substr(0, 2));
  const int day = std::stoi(parsed->prefix.substr(2, 2));
  EXPECT_GE(month, 1);
  EXPECT_LE(month, 12);
  EXPECT_GE(day, 1);
  EXPECT_LE(day, 31);
  EXPECT_LT(std::stoi(parsed->prefix.substr(5, 2)), 24);
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

  ScopedOutputCapture err;
  LOG_WITH_SEVERITY(5) << "odd";
  EXPECT_TRUE(IsOnlyLogLine(err.Finish(), "UNKNOWN", "logging_test.cc", "odd"));
}

TEST_F(LoggingTest, FileNameIsCutToItsBaseName) {
  ScopedLogCapture capture;
  { LogMessage("src/base/deep/dir/module.cc", 7, LOG_WARNING).stream() << "x"; }
  { LogMessage("C:\\src\\win.cc", 8, LOG_WARNING).stream() << "y"; }
  { LogMessage("plain.cc", 9, LOG_WARNING).stream() << "z"; }
  const std::vector<CapturedMessage> messages = capture.messages();
  ASSERT_EQ(3u, messages.size());
  const char* const kExpected[] = {":WARNING:module.cc(7)] x\n",
                                   ":WARNING:win.cc(8)] y\n",
                                   ":WARNING:plain.cc(9)] z\n"};
  for (size_t i = 0; i < 3; ++i) {
    const std::string& line = messages[i].full_line;
    EXPECT_NE(std::string::npos, line.find(kExpected[i])) << line;
    EXPECT_EQ(std::string::npos, line.find("deep")) << line;
    EXPECT_EQ(std::string::npos, line.find("src")) << line;
  }
}

TEST_F(LoggingTest, SuppressedMessageDoesNotEvaluateItsArguments) {
  SetMinLogLevel(LOG_FATAL);
  g_evaluations = 0;
  ScopedLogCapture capture;
  LOG(ERROR) << Evaluate();
  LOG(INFO) << Evaluate();
  PLOG(WARNING) << Evaluate();
  EXPECT_TRUE(capture.messages().empty());
  EXPECT_EQ(0, g_evaluations);

  SetMinLogLevel(0);
  LOG(INFO) << Evaluate();
  EXPECT_TRUE(capture.Has(LOG_INFO, "7"));
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
  ScopedOutputCapture err;
  LOG(WARNING) << "dropped";
  LOG(ERROR) << "kept";
  EXPECT_TRUE(IsOnlyLogLine(err.Finish(), "ERROR", "logging_test.cc", "kept"));
}

TEST_F(LoggingTest, SystemLogBitAloneWritesNothing) {
  LoggingSettings syslog_only;
  syslog_only.logging_dest = LOG_TO_SYSTEM_DEBUG_LOG;
  ASSERT_TRUE(InitLogging(syslog_only));
  EXPECT_TRUE(ShouldCreateLogMessage(LOG_INFO));
  ScopedOutputCapture err;
  LOG(ERROR) << "nowhere";
  EXPECT_EQ("", err.Finish());
}

TEST_F(LoggingTest, ErrnoIsPreservedAcrossAStatement) {
  errno = EDOM;
  {
    // Standard error is written to, as in use; the handler would not be.
    ScopedOutputCapture err;
    LOG(INFO) << "value " << (errno = EBADF, 1) << strerror(ENOENT);
    EXPECT_EQ(EDOM, errno);
    EXPECT_NE("", err.Finish());
  }
  EXPECT_EQ(EDOM, errno);

  SetMinLogLevel(LOG_FATAL);
  errno = ERANGE;
  LOG(INFO) << "suppressed";
  EXPECT_EQ(ERANGE, errno);
}

TEST_F(LoggingTest, ErrnoVariantAppendsTheSystemText) {
  std::string expected_tail = std::string(": ") + strerror(ENOENT) + " (2)\n";
  errno = ENOENT;
  ScopedOutputCapture err;
  PLOG(ERROR) << "open /nowhere";
  std::string out = err.Finish();
  EXPECT_EQ(ENOENT, errno);
  EXPECT_TRUE(IsOnlyLogLine(
      out, "ERROR", "logging_test.cc",
      "open /nowhere" + expected_tail.substr(0, expected_tail.size() - 1)));
}

TEST_F(LoggingTest, PrefixItemsComeInOrder) {
  SetLogPrefix("cli");
  SetLogItems(true, false, false, true);
  ScopedOutputCapture err;
  LOG(INFO) << "m";
  const std::string out = err.Finish();
  ASSERT_TRUE(IsOnlyLogLine(out, "INFO", "logging_test.cc", "m"));
  // "cli:<pid>:<tick count>", no time stamp.
  const std::string prefix = ParseLogLine(out)->prefix;
  const std::string pid = "cli:" + std::to_string(getpid()) + ":";
  ASSERT_EQ(0u, prefix.find(pid)) << out;
  const std::string tick = prefix.substr(pid.size());
  ASSERT_FALSE(tick.empty()) << out;
  EXPECT_EQ(std::string::npos, tick.find_first_not_of("0123456789")) << out;
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
  ScopedOutputCapture swallowed;
  LOG(WARNING) << "first";
  EXPECT_EQ("", swallowed.Finish());
  EXPECT_EQ("first\n", g_handled);

  g_swallow = false;
  ScopedOutputCapture passed;
  LOG(WARNING) << "second";
  EXPECT_TRUE(
      IsOnlyLogLine(passed.Finish(), "WARNING", "logging_test.cc", "second"));
  EXPECT_EQ("second\n", g_handled);
}

std::thread::id g_handler_thread;
bool RecordThread(LogSeverity, const char*, int, size_t, const std::string&) {
  g_handler_thread = std::this_thread::get_id();
  return true;
}

TEST_F(LoggingTest, HandlerRunsOnTheIssuingThreadBeforeTheStatementEnds) {
  SetLogMessageHandler(&RecordThread);
  std::thread::id issuer;
  bool seen_in_time = false;
  std::thread thread([&] {
    issuer = std::this_thread::get_id();
    LOG(WARNING) << "from a thread";
    seen_in_time = g_handler_thread == issuer;
  });
  thread.join();
  EXPECT_TRUE(seen_in_time);
  EXPECT_NE(std::this_thread::get_id(), g_handler_thread);
}

TEST_F(LoggingTest, FileDestinationAppendsLines) {
  vorn::test::ScopedTempDir dir;
  ASSERT_TRUE(dir.valid());
  const std::string path = dir.Path("debug.log");
  ASSERT_TRUE(vorn::test::WriteFile(path, "old line\n"));
  LoggingSettings to_file;
  to_file.logging_dest = LOG_TO_FILE;
  to_file.log_file_path = path;
  to_file.delete_old = APPEND_TO_OLD_LOG_FILE;
  ASSERT_TRUE(InitLogging(to_file));
  ScopedOutputCapture err;
  LOG(INFO) << "into the file";
  EXPECT_EQ("", err.Finish());

  const std::string content = vorn::test::ReadFile(path);
  EXPECT_EQ(0u, content.find("old line\n"));
  EXPECT_TRUE(IsOnlyLogLine(content.substr(content.find('\n') + 1), "INFO",
                            "logging_test.cc", "into the file"));

  to_file.delete_old = DELETE_OLD_LOG_FILE;
  ASSERT_TRUE(InitLogging(to_file));
  LOG(INFO) << "fresh";
  EXPECT_TRUE(IsOnlyLogLine(vorn::test::ReadFile(path), "INFO",
                            "logging_test.cc", "fresh"));
}

TEST_F(LoggingTest, UnopenableLogFileFailsInitButKeepsStderr) {
  LoggingSettings bad;
  bad.logging_dest = LOG_TO_FILE | LOG_TO_STDERR;
  bad.log_file_path = "/nonexistent-dir/for/sure/debug.log";
  EXPECT_FALSE(InitLogging(bad));
  ScopedOutputCapture err;
  LOG(WARNING) << "still here";
  EXPECT_TRUE(
      IsOnlyLogLine(err.Finish(), "WARNING", "logging_test.cc", "still here"));
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
        LoggingSettings settings;
        settings.v_switch = "2";
        settings.vmodule_switch = "net*=4,sub/dir/*=1";
        InitLogging(settings);
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
        LoggingSettings settings;
        settings.v_switch = "3";
        InitLogging(settings);
        SetMinLogLevel(LOG_FATAL);
        exit(ShouldCreateLogMessage(LOG_ERROR) ? 1 : 0);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(LoggingDeathTest, VerbosityInitialisedTwiceIsACheckFailure) {
  EXPECT_DEATH(
      {
        LoggingSettings settings;
        settings.v_switch = "1";
        InitLogging(settings);
        InitLogging(settings);
      },
      "");
}

TEST_F(LoggingDeathTest, UnparsableVerbosityLeavesTheLevel) {
  EXPECT_EXIT(
      {
        LoggingSettings settings;
        settings.v_switch = "two";
        InitLogging(settings);
        exit(GetMinLogLevel() == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(LoggingDeathTest, ModuleRulesAloneCountAsVerbositySettings) {
  // Without any verbosity switch InitLogging may run again and again.
  InitLogging(LoggingSettings());
  InitLogging(LoggingSettings());
  EXPECT_EXIT(
      {
        LoggingSettings settings;
        settings.vmodule_switch = "a=1";
        InitLogging(settings);
        exit(GetVlogLevel("dir/a.cc") == 1 && GetMinLogLevel() == 0 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
  EXPECT_DEATH(
      {
        LoggingSettings settings;
        settings.vmodule_switch = "a=1";
        InitLogging(settings);
        settings.vmodule_switch.reset();
        settings.v_switch = "1";
        InitLogging(settings);
      },
      "");
}

}  // namespace
}  // namespace logging
