// Logging under hostile conditions: verbose levels at the ends of the int
// range, and standard error a pipe whose reader has gone. Each case runs in a
// child (EXPECT_EXIT) because it changes process-wide state.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "base/logging/logging.h"
#include "gtest/gtest.h"

namespace logging {
namespace {

bool SigpipePending() {
  sigset_t pending;
  sigemptyset(&pending);
  return sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
}

bool SigpipeBlocked() {
  sigset_t mask;
  sigemptyset(&mask);
  return pthread_sigmask(SIG_BLOCK, nullptr, &mask) == 0 &&
         sigismember(&mask, SIGPIPE);
}

bool SigpipeHasDefaultAction() {
  struct sigaction action = {};
  return sigaction(SIGPIPE, nullptr, &action) == 0 &&
         action.sa_handler == SIG_DFL;
}

// Points standard error at a pipe whose read end is already closed.
void StderrToBrokenPipe() {
  int fds[2];
  if (pipe(fds) != 0) exit(10);
  close(fds[0]);
  if (dup2(fds[1], STDERR_FILENO) < 0) exit(11);
  close(fds[1]);
}

TEST(LoggingHardeningDeathTest, MostNegativeVerboseLevelRaisesTheMinimum) {
  // --v=-2147483648 asks for minimum level 2147483648: FATAL.
  EXPECT_EXIT(
      {
        LoggingSettings settings;
        settings.v_switch = "-2147483648";
        InitLogging(settings);
        const bool ok = GetMinLogLevel() == LOG_FATAL &&
                        GetVlogLevel("a.cc") == -LOG_FATAL &&
                        !ShouldCreateLogMessage(LOG_ERROR) &&
                        ShouldCreateLogMessage(LOG_FATAL);
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LoggingHardeningDeathTest, LargestVerboseLevelAdmitsEveryVerboseLevel) {
  EXPECT_EXIT(
      {
        LoggingSettings settings;
        settings.v_switch = "2147483647";
        InitLogging(settings);
        const bool ok = GetMinLogLevel() == -INT_MAX &&
                        GetVlogLevel("a.cc") == INT_MAX &&
                        ShouldCreateLogMessage(-INT_MAX) &&
                        !ShouldCreateLogMessage(INT_MIN);
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LoggingHardeningDeathTest, MinimumLevelAtIntMinReadsBackAsIntMax) {
  EXPECT_EXIT(
      {
        SetMinLogLevel(INT_MIN);
        const bool ok = GetMinLogLevel() == INT_MIN &&
                        GetVlogLevel("a.cc") == INT_MAX &&
                        ShouldCreateLogMessage(INT_MIN);
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LoggingHardeningDeathTest, ClosedStderrPipeDoesNotKillTheProcess) {
  EXPECT_EXIT(
      {
        StderrToBrokenPipe();
        LOG(ERROR) << "nobody reads this";
        LOG(WARNING) << "nor this";
        // Alive, nothing left pending, and what children inherit unchanged.
        const bool ok =
            !SigpipePending() && !SigpipeBlocked() && SigpipeHasDefaultAction();
        exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LoggingHardeningDeathTest, ClosedLogFilePipeDoesNotKillTheProcess) {
  // A log file that is a FIFO whose reader went away behaves the same.
  EXPECT_EXIT(
      {
        int fds[2];
        if (pipe(fds) != 0) exit(10);
        const std::string path = "/proc/self/fd/" + std::to_string(fds[1]);
        LoggingSettings settings;
        settings.logging_dest = LOG_TO_FILE;
        settings.log_file_path = path;
        settings.lock_log = DONT_LOCK_LOG_FILE;
        if (!InitLogging(settings)) exit(12);
        close(fds[0]);
        LOG(INFO) << "into a pipe nobody reads";
        exit(!SigpipePending() && !SigpipeBlocked() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LoggingHardeningDeathTest, SigpipePendingBeforeTheWriteStaysPending) {
  // A SIGPIPE the caller has blocked and not yet taken belongs to the caller.
  EXPECT_EXIT(
      {
        sigset_t sigpipe;
        sigemptyset(&sigpipe);
        sigaddset(&sigpipe, SIGPIPE);
        pthread_sigmask(SIG_BLOCK, &sigpipe, nullptr);
        raise(SIGPIPE);
        StderrToBrokenPipe();
        LOG(ERROR) << "lost";
        exit(SigpipePending() && SigpipeBlocked() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(LoggingHardeningDeathTest, IgnoredSigpipeStaysIgnored) {
  EXPECT_EXIT(
      {
        signal(SIGPIPE, SIG_IGN);
        StderrToBrokenPipe();
        LOG(ERROR) << "lost";
        struct sigaction action = {};
        sigaction(SIGPIPE, nullptr, &action);
        exit(action.sa_handler == SIG_IGN && !SigpipeBlocked() ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace logging
