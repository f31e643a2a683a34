// Runs programs as children of a test: the program under test, stand-ins, or
// peers, with their own arguments, environment and input, and collects what
// they print and how they ended.
//
//   ChildOptions options;
//   options.argv = WithEmulator({cli_path, "stop", "vorn"});
//   options.env = {{"TMPDIR", dir.path()}};
//   ChildResult result = RunChild(options);
//   EXPECT_EQ(0, result.exit_code) << result.err;
//
// Standard output and error go to unnamed temporary files, not pipes, so a
// daemon that keeps them open never holds up the test. Each child leads a
// process group of its own, which a time-out kills as a whole.

#ifndef VORN_TESTS_SUPPORT_CHILD_PROCESS_H_
#define VORN_TESTS_SUPPORT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace vorn {
namespace test {

struct ChildOptions {
  // argv[0] is the program: a path, or a name looked up in the PATH of the
  // child's environment.
  std::vector<std::string> argv;
  // Variables set on top of the test's own environment.
  std::vector<std::pair<std::string, std::string>> env;
  // Variables removed from it.
  std::vector<std::string> unset_env;
  // Standard input; the child reads end-of-file after it.
  std::string stdin_data;
  // A child still running after this long is killed with SIGKILL.
  int timeout_ms = 60000;
  // Working directory; the test's own when empty.
  std::string cwd;
};

struct ChildResult {
  int exit_code = -1;      // the exit status, or -1 when it did not exit
  int term_signal = 0;     // the signal that ended it, or 0
  bool timed_out = false;  // killed because timeout_ms passed
  bool started = false;    // false when the child could not be started
  std::string out;         // everything written to standard output
  std::string err;         // everything written to standard error
  int64_t elapsed_ms = 0;  // from start to end
};

// Runs the child to its end (or its time-out) and returns what happened.
ChildResult RunChild(const ChildOptions& options);

// A child that runs while the test goes on, such as a peer that a command
// under test talks to. The destructor kills (SIGKILL) and reaps a child that
// is still running.
class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Starts the child; false when it could not be. options.timeout_ms is
  // ignored here: Wait takes its own.
  bool Start(const ChildOptions& options);

  pid_t pid() const { return pid_; }
  bool running() const { return pid_ > 0; }

  // Sends `signal` to the child; false when it is not running.
  bool Signal(int signal);

  // Waits up to `timeout_ms` for the child to end, then fills `result`
  // (output included) and returns true. Returns false, leaving the child
  // running, when it is still alive at the time limit.
  bool Wait(int timeout_ms, ChildResult* result);

  // Everything the child has written to standard output or error so far.
  std::string ReadOutput() const;
  std::string ReadError() const;

 private:
  pid_t pid_ = 0;
  int out_fd_ = -1;  // unnamed temporary file holding standard output
  int err_fd_ = -1;  // unnamed temporary file holding standard error
  int64_t start_ms_ = 0;
};

// The blank-separated emulator prefix in $VORN_EMULATOR (qemu-arm and its
// options under the armhf cross build), empty natively.
std::vector<std::string> EmulatorPrefix();

// EmulatorPrefix() followed by `argv`: how a test runs a program of the
// build under test.
std::vector<std::string> WithEmulator(const std::vector<std::string>& argv);

// The time of the monotonic clock in milliseconds.
int64_t MonotonicMilliseconds();

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_CHILD_PROCESS_H_
