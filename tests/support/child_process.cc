#include "tests/support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "base/logging/eintr.h"
#include "base/logging/time.h"
#include "tests/support/scratch_file.h"

extern char** environ;

namespace vorn {
namespace test {

namespace {

// The environment the child gets, as "NAME=value" strings.
std::vector<std::string> ChildEnvironment(const ChildOptions& options) {
  std::vector<std::string> env;
  auto overridden = [&options](const std::string& entry) {
    std::string name = entry.substr(0, entry.find('='));
    for (const auto& pair : options.env) {
      if (pair.first == name) return true;
    }
    for (const std::string& unset : options.unset_env) {
      if (unset == name) return true;
    }
    return false;
  };
  for (char** entry = environ; *entry; ++entry) {
    if (!overridden(*entry)) env.push_back(*entry);
  }
  for (const auto& pair : options.env) {
    env.push_back(pair.first + "=" + pair.second);
  }
  return env;
}

// The program to execute: argv[0] itself when it holds a "/", else the first
// executable of that name along PATH in `env`.
std::string ResolveProgram(const std::string& name,
                           const std::vector<std::string>& env) {
  if (name.find('/') != std::string::npos) return name;
  std::string path = "/usr/local/bin:/usr/bin:/bin";
  for (const std::string& entry : env) {
    if (entry.compare(0, 5, "PATH=") == 0) path = entry.substr(5);
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find(':', start);
    if (end == std::string::npos) end = path.size();
    std::string dir = path.substr(start, end - start);
    std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
    start = end + 1;
  }
  return name;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

int64_t MonotonicMilliseconds() {
  return (base::TimeTicks::Now() - base::TimeTicks()).InMilliseconds();
}

std::vector<std::string> EmulatorPrefix() {
  std::vector<std::string> words;
  const char* prefix = getenv("VORN_EMULATOR");
  if (prefix == nullptr) return words;
  std::string text = prefix;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    if (end > start) words.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

std::vector<std::string> WithEmulator(const std::vector<std::string>& argv) {
  std::vector<std::string> full = EmulatorPrefix();
  full.insert(full.end(), argv.begin(), argv.end());
  return full;
}

ChildProcess::~ChildProcess() {
  if (running()) {
    kill(-pid_, SIGKILL);
    kill(pid_, SIGKILL);
    base::RetryOnEintr([this] { return waitpid(pid_, nullptr, 0); });
  }
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

bool ChildProcess::Start(const ChildOptions& options) {
  if (running() || options.argv.empty()) return false;
  out_fd_ = OpenScratchFile();
  err_fd_ = OpenScratchFile();
  int in_fd = OpenScratchFile();
  if (out_fd_ < 0 || err_fd_ < 0 || in_fd < 0) {
    if (in_fd >= 0) close(in_fd);
    return false;
  }
  const std::string& data = options.stdin_data;
  if (!data.empty() && base::RetryOnEintr([&] {
                         return pwrite(in_fd, data.data(), data.size(), 0);
                       }) != static_cast<ssize_t>(data.size())) {
    close(in_fd);
    return false;
  }
  // Everything the child needs is built before fork, so the child only makes
  // async-signal-safe calls.
  std::vector<std::string> env = ChildEnvironment(options);
  std::string program = ResolveProgram(options.argv[0], env);
  std::vector<std::string> argv = options.argv;
  std::vector<char*> raw_argv = Pointers(argv);
  std::vector<char*> raw_env = Pointers(env);
  const char* cwd = options.cwd.empty() ? nullptr : options.cwd.c_str();

  start_ms_ = MonotonicMilliseconds();
  pid_t pid = fork();
  if (pid < 0) {
    close(in_fd);
    return false;
  }
  if (pid == 0) {
    setpgid(0, 0);
    // The test runner may ignore or block signals; the child starts clean.
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    signal(SIGPIPE, SIG_DFL);
    signal(SIGCHLD, SIG_DFL);
    dup2(in_fd, 0);
    dup2(out_fd_, 1);
    dup2(err_fd_, 2);
    if (cwd != nullptr && chdir(cwd) != 0) _exit(127);
    execve(program.c_str(), raw_argv.data(), raw_env.data());
    _exit(127);
  }
  setpgid(pid, pid);
  close(in_fd);
  pid_ = pid;
  return true;
}

bool ChildProcess::Signal(int signal) {
  return running() && kill(pid_, signal) == 0;
}

bool ChildProcess::Wait(int timeout_ms, ChildResult* result) {
  if (!running()) return false;
  const int64_t deadline = MonotonicMilliseconds() + timeout_ms;
  int status = 0;
  for (;;) {
    const pid_t done =
        base::RetryOnEintr([&] { return waitpid(pid_, &status, WNOHANG); });
    if (done == pid_) break;
    if (done < 0) return false;
    if (MonotonicMilliseconds() >= deadline) return false;
    usleep(2000);
  }
  *result = ChildResult();
  result->started = true;
  result->elapsed_ms = MonotonicMilliseconds() - start_ms_;
  if (WIFEXITED(status)) result->exit_code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result->term_signal = WTERMSIG(status);
  result->out = ReadScratchFile(out_fd_);
  result->err = ReadScratchFile(err_fd_);
  pid_ = 0;
  return true;
}

std::string ChildProcess::ReadOutput() const {
  return ReadScratchFile(out_fd_);
}

std::string ChildProcess::ReadError() const { return ReadScratchFile(err_fd_); }

ChildResult RunChild(const ChildOptions& options) {
  ChildProcess child;
  ChildResult result;
  if (!child.Start(options)) return result;
  if (child.Wait(options.timeout_ms, &result)) return result;
  // Time is up: end the child and everything in its process group.
  kill(-child.pid(), SIGKILL);
  child.Signal(SIGKILL);
  child.Wait(60000, &result);
  result.timed_out = true;
  return result;
}

}  // namespace test
}  // namespace vorn
