// End-to-end: vorn_cli given hostile command lines and a standard error
// nobody reads. VORN_CLI names the binary; VORN_EMULATOR, when set, is the
// emulator prefix of the cross build.

#include <errno.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/log_line.h"

namespace vorn {
namespace {

using test::ChildOptions;
using test::ChildResult;
using test::RunChild;
using test::WithEmulator;

std::string CliPath() {
  const char* cli = getenv("VORN_CLI");
  return cli ? cli : "";
}

ChildResult RunCli(const std::vector<std::string>& args) {
  ChildOptions options;
  options.argv = WithEmulator({CliPath()});
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.timeout_ms = 30000;
  return RunChild(options);
}

// Runs vorn_cli with `args` and standard error a pipe whose read end is
// closed before the child starts. Returns the raw wait status.
int RunCliWithBrokenStderr(const std::vector<std::string>& args) {
  std::vector<std::string> argv = WithEmulator({CliPath()});
  argv.insert(argv.end(), args.begin(), args.end());
  std::vector<char*> raw;
  for (std::string& arg : argv) raw.push_back(arg.data());
  raw.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) return -1;
  close(fds[0]);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], STDERR_FILENO);
    close(fds[1]);
    execvp(raw[0], raw.data());
    _exit(127);
  }
  close(fds[1]);
  int status = -1;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return status;
}

class VornCliHardeningTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(CliPath().empty()) << "VORN_CLI must name the vorn_cli binary";
  }
};

TEST_F(VornCliHardeningTest, MostNegativeVerboseLevelActsLikeQuiet) {
  // Minimum level 2147483648 clamps to FATAL: the unknown command's ERROR
  // is not created, and the status still says the command failed.
  ChildResult result = RunCli({"--v=-2147483648", "frobnicate"});
  EXPECT_EQ(1, result.exit_code) << result.err;
  EXPECT_EQ("", result.err);
}

TEST_F(VornCliHardeningTest, LargestVerboseLevelStillLogsErrors) {
  ChildResult result = RunCli({"--v=2147483647", "frobnicate"});
  EXPECT_EQ(1, result.exit_code) << result.err;
  EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", "vorn_cli.cc",
                               "Unknown command: frobnicate"))
      << result.err;
}

TEST_F(VornCliHardeningTest, VerboseLevelsBeyondIntAreIgnored) {
  for (const char* level : {"--v=-2147483649", "--v=2147483648"}) {
    ChildResult result = RunCli({level, "frobnicate"});
    EXPECT_EQ(1, result.exit_code) << level;
    EXPECT_TRUE(test::HasLogLine(result.err, "ERROR", "vorn_cli.cc",
                                 "Unknown command: frobnicate"))
        << level << "\n"
        << result.err;
  }
}

TEST_F(VornCliHardeningTest, ClosedStderrPipeLeavesTheExitStatusAlone) {
  const int status = RunCliWithBrokenStderr({"frobnicate"});
  ASSERT_FALSE(WIFSIGNALED(status)) << "ended by signal " << WTERMSIG(status);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(1, WEXITSTATUS(status));
}

}  // namespace
}  // namespace vorn
