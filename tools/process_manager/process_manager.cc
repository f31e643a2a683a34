// process_manager: stand-in for the receiver package's supervising program,
// the `process_manager` entry of process.json that `vorn_cli start vorn`
// launches. It behaves as vorn_cli expects of the real one and can be told to
// misbehave, for the tests and the demo.
//
//   process_manager                      runs in the foreground until SIGTERM
//   process_manager --async              detaches: the daemon records its pid
//                                        and the launched process exits 0
//   process_manager --record-command-line=/tmp/pm.args --ignore-sigterm=2
//   process_manager --service=/opt/vorn/vorn_shell_sim -- --socket-dir=/tmp
//
// Options (any other switch, such as the flags vorn_cli propagates, is
// accepted and only recorded):
//   --async                      detach; the daemon writes its pid to the
//                                pid path, then the launched process exits 0
//   --process-manager-pid-path=P pid path for --async (default
//                                $TMPDIR/process_manager.pid, /tmp without
//                                TMPDIR)
//   --exit-code=N                exit with N when the run ends; with --async
//                                the launched process fails with N at once
//                                and no daemon starts
//   --run-time-ms=N              end the run by itself after N ms
//   --ignore-sigterm[=N]         survive the first N SIGTERMs (all without N)
//   --end-signal=N               end the run by raising signal N instead of
//                                exiting (to show a death by signal)
//   --remove-pid-file            the daemon deletes its pid file when it ends
//                                (when the file still names it)
//   --log-file=P                 the daemon's standard output and error
//                                (default /dev/null)
//   --record-command-line=P      write the received arguments to P, one per
//                                line, before anything else happens
//   --record-signals=P           append "SIGTERM <ms>" to P for every
//                                SIGTERM received (ms on the monotonic clock)
//   --service=PROGRAM            run PROGRAM with this program's positional
//                                arguments (those after "--" included) as its
//                                service, and stop it with SIGTERM (SIGKILL
//                                after 5 s) when the run ends
//
// SIGTERM, SIGINT and SIGHUP end the run (unless ignored); the exit status is
// then --exit-code (default 0).

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/files/command_line.h"
#include "base/files/file_util.h"
#include "base/logging/eintr.h"
#include "base/logging/logging.h"
#include "base/logging/string_number.h"
#include "base/logging/time.h"

namespace {

constexpr int64_t kServiceStopTimeoutMs = 5000;

struct Options {
  bool async = false;
  std::string pid_path;
  int exit_code = 0;
  int64_t run_time_ms = -1;      // -1: run until signalled
  int64_t sigterms_to_skip = 0;  // -1: every one
  int end_signal = 0;            // 0: exit normally
  bool remove_pid_file = false;
  std::string log_file;
  std::string record_command_line;
  std::string record_signals;
  std::string service;
  base::StringVector service_args;
};

int64_t NowMs() {
  return (base::TimeTicks::Now() - base::TimeTicks()).InMilliseconds();
}

// Parses a non-negative decimal switch value into `out`; logs and returns
// false when it is not one.
bool ReadCount(const base::ParsedCommandLine& line, const char* name,
               int64_t* out) {
  int64_t value = 0;
  if (!base::StringToInt64(line.SwitchValue(name), &value) || value < 0) {
    LOG(ERROR) << "process_manager: --" << name
               << " needs a non-negative number, got '"
               << line.SwitchValue(name) << "'";
    return false;
  }
  *out = value;
  return true;
}

bool ReadOptions(const base::ParsedCommandLine& line, Options* options) {
  options->async = line.HasSwitchNamed("async");
  options->pid_path = line.SwitchValue("process-manager-pid-path");
  if (options->pid_path.empty()) {
    const char* tmp = getenv("TMPDIR");
    options->pid_path =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/process_manager.pid";
  }
  int64_t value = 0;
  if (line.HasSwitchNamed("exit-code")) {
    if (!ReadCount(line, "exit-code", &value) || value > 255) return false;
    options->exit_code = static_cast<int>(value);
  }
  if (line.HasSwitchNamed("run-time-ms")) {
    if (!ReadCount(line, "run-time-ms", &options->run_time_ms)) return false;
  }
  if (line.HasSwitchNamed("ignore-sigterm")) {
    if (line.SwitchValue("ignore-sigterm").empty()) {
      options->sigterms_to_skip = -1;
    } else if (!ReadCount(line, "ignore-sigterm", &options->sigterms_to_skip)) {
      return false;
    }
  }
  if (line.HasSwitchNamed("end-signal")) {
    if (!ReadCount(line, "end-signal", &value) || value < 1 || value > 64) {
      return false;
    }
    options->end_signal = static_cast<int>(value);
  }
  options->remove_pid_file = line.HasSwitchNamed("remove-pid-file");
  options->log_file = line.SwitchValue("log-file");
  options->record_command_line = line.SwitchValue("record-command-line");
  options->record_signals = line.SwitchValue("record-signals");
  options->service = line.SwitchValue("service");
  options->service_args = line.PositionalArguments();
  return true;
}

// Writes all of `text` to `fd`; false on an error (the peer gone, say).
bool WriteString(int fd, const std::string& text) {
  return base::WriteFileDescriptor(fd, text.data(), text.size());
}

// Writes `text` to `path` through a temporary file and a rename, so a reader
// polling for the file never sees it half written. Mode 0644.
bool WriteFileAtomically(const std::string& path, const std::string& text) {
  std::string temporary = path + ".tmp." + std::to_string(getpid());
  int fd = base::RetryOnEintr([&] {
    return ::open(temporary.c_str(),
                  O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  });
  if (fd < 0) {
    PLOG(ERROR) << "process_manager: cannot create " << temporary;
    return false;
  }
  fchmod(fd, 0644);
  bool written = WriteString(fd, text);
  close(fd);
  if (!written || ::rename(temporary.c_str(), path.c_str()) != 0) {
    PLOG(ERROR) << "process_manager: cannot write " << path;
    ::unlink(temporary.c_str());
    return false;
  }
  return true;
}

void RecordCommandLine(const std::string& path, int argc, char** argv) {
  std::string text;
  for (int i = 0; i < argc; ++i) {
    text += argv[i];
    text += '\n';
  }
  WriteFileAtomically(path, text);
}

void RecordSignal(const std::string& path, int signal_number) {
  if (path.empty()) return;
  int fd = base::RetryOnEintr([&] {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC,
                  0644);
  });
  if (fd < 0) {
    PLOG(ERROR) << "process_manager: cannot open " << path;
    return;
  }
  const char* name = signal_number == SIGTERM  ? "SIGTERM"
                     : signal_number == SIGINT ? "SIGINT"
                                               : "SIGHUP";
  WriteString(fd, std::string(name) + " " + std::to_string(NowMs()) + "\n");
  close(fd);
}

// Detaches from vorn_cli: the launched process forks the daemon and exits 0
// once the daemon has recorded its pid (1 when the daemon failed first). Only
// the daemon returns, with true; false when the fork failed.
bool Daemonize(const Options& options) {
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) {
    PLOG(ERROR) << "process_manager: pipe";
    return false;
  }
  pid_t pid = fork();
  if (pid < 0) {
    PLOG(ERROR) << "process_manager: cannot fork the daemon";
    return false;
  }
  if (pid > 0) {
    close(ready[1]);
    char byte = 0;
    ssize_t n = base::RetryOnEintr([&] { return ::read(ready[0], &byte, 1); });
    if (n == 1) {
      LOG(INFO) << "process_manager: daemon " << pid << " is running";
      _exit(0);
    }
    LOG(ERROR) << "process_manager: the daemon ended before it was ready";
    _exit(1);
  }
  close(ready[0]);
  setsid();
  int null_fd = base::RetryOnEintr([] { return ::open("/dev/null", O_RDWR); });
  int out_fd = null_fd;
  if (!options.log_file.empty()) {
    out_fd = base::RetryOnEintr([&] {
      return ::open(options.log_file.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                    0644);
    });
    if (out_fd < 0) out_fd = null_fd;
  }
  if (null_fd >= 0) dup2(null_fd, STDIN_FILENO);
  if (out_fd >= 0) {
    dup2(out_fd, STDOUT_FILENO);
    dup2(out_fd, STDERR_FILENO);
  }
  if (out_fd > STDERR_FILENO && out_fd != null_fd) close(out_fd);
  if (null_fd > STDERR_FILENO) close(null_fd);

  if (!WriteFileAtomically(options.pid_path, std::to_string(getpid()))) {
    _exit(1);
  }
  LOG(INFO) << "process_manager: daemon " << getpid() << " recorded at "
            << options.pid_path;
  char byte = 1;
  WriteString(ready[1], std::string(&byte, 1));
  close(ready[1]);
  return true;
}

// Starts the service with the signal mask this program was started with;
// returns its pid, or 0 when it could not be started.
pid_t StartService(const Options& options, const sigset_t& original_mask) {
  pid_t pid = fork();
  if (pid < 0) {
    PLOG(ERROR) << "process_manager: cannot fork service " << options.service;
    return 0;
  }
  if (pid == 0) {
    sigprocmask(SIG_SETMASK, &original_mask, nullptr);
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(options.service.c_str()));
    for (const std::string& arg : options.service_args) {
      argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    PLOG(ERROR) << "process_manager: cannot run service " << options.service;
    _exit(127);
  }
  LOG(INFO) << "process_manager: service " << options.service
            << " started as pid " << pid;
  return pid;
}

// Reaps the service if it has ended; returns the pid still to watch (0 once
// it is gone).
pid_t ReapService(pid_t service) {
  if (service <= 0) return 0;
  int status = 0;
  pid_t done =
      base::RetryOnEintr([&] { return ::waitpid(service, &status, WNOHANG); });
  if (done != service) return service;
  if (WIFEXITED(status)) {
    LOG(INFO) << "process_manager: service " << service
              << " exited with status " << WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    LOG(INFO) << "process_manager: service " << service << " ended by signal "
              << WTERMSIG(status);
  }
  return 0;
}

// Waits for one of the blocked signals for at most `timeout_ms` (forever when
// negative); returns it, or 0 when the time passed.
int WaitForSignal(const sigset_t& signals, int64_t timeout_ms) {
  if (timeout_ms < 0) {
    return base::RetryOnEintr([&] { return sigwaitinfo(&signals, nullptr); });
  }
  struct timespec timeout;
  timeout.tv_sec = static_cast<time_t>(timeout_ms / 1000);
  timeout.tv_nsec = static_cast<long>((timeout_ms % 1000) * 1000000);
  int signal_number = sigtimedwait(&signals, nullptr, &timeout);
  return signal_number > 0 ? signal_number : 0;
}

void StopService(pid_t service, const sigset_t& signals) {
  service = ReapService(service);
  if (service == 0) return;
  kill(service, SIGTERM);
  int64_t deadline = NowMs() + kServiceStopTimeoutMs;
  while (service != 0) {
    int64_t left = deadline - NowMs();
    if (left <= 0) {
      LOG(WARNING) << "process_manager: service " << service
                   << " ignored SIGTERM; killing it";
      kill(service, SIGKILL);
      int status = 0;
      base::RetryOnEintr([&] { return ::waitpid(service, &status, 0); });
      return;
    }
    WaitForSignal(signals, left < 100 ? left : 100);
    service = ReapService(service);
  }
}

// Deletes the pid file when it still holds this process's pid.
void RemoveOwnPidFile(const std::string& path) {
  char buffer[32];
  int fd = base::RetryOnEintr(
      [&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); });
  if (fd < 0) return;
  ssize_t n = base::RetryOnEintr(
      [&] { return ::read(fd, buffer, sizeof(buffer) - 1); });
  close(fd);
  if (n <= 0) return;
  if (std::string(buffer, static_cast<size_t>(n)) == std::to_string(getpid())) {
    ::unlink(path.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  base::InitProcessCommandLine(argc, argv);
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_TO_STDERR;
  logging::InitLogging(settings);

  Options options;
  if (!ReadOptions(base::ProcessCommandLine(), &options)) return 2;

  // Every signal this program reacts to is taken synchronously, so a signal
  // that arrives at any moment is counted exactly once.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGHUP);
  sigaddset(&signals, SIGCHLD);
  sigset_t original_mask;
  sigprocmask(SIG_BLOCK, &signals, &original_mask);

  if (!options.record_command_line.empty()) {
    RecordCommandLine(options.record_command_line, argc, argv);
  }
  if (options.async) {
    if (options.exit_code != 0) {
      LOG(ERROR) << "process_manager: not starting as daemon (asked to fail "
                    "with exit code "
                 << options.exit_code << ")";
      return options.exit_code;
    }
    if (!Daemonize(options)) return 1;
  }
  LOG(INFO) << "process_manager: running as pid " << getpid();

  pid_t service = 0;
  if (!options.service.empty()) service = StartService(options, original_mask);

  int64_t deadline =
      options.run_time_ms >= 0 ? NowMs() + options.run_time_ms : -1;
  int64_t sigterms_seen = 0;
  for (;;) {
    int64_t left = -1;
    if (deadline >= 0) {
      left = deadline - NowMs();
      if (left <= 0) {
        LOG(INFO) << "process_manager: run time over";
        break;
      }
    }
    int signal_number = WaitForSignal(signals, left);
    if (signal_number == SIGCHLD) {
      service = ReapService(service);
      continue;
    }
    if (signal_number == 0) continue;  // the deadline is checked above
    RecordSignal(options.record_signals, signal_number);
    if (signal_number == SIGTERM) {
      ++sigterms_seen;
      if (options.sigterms_to_skip < 0 ||
          sigterms_seen <= options.sigterms_to_skip) {
        LOG(WARNING) << "process_manager: ignoring SIGTERM " << sigterms_seen;
        continue;
      }
    }
    LOG(INFO) << "process_manager: stopping on signal " << signal_number;
    break;
  }

  StopService(service, signals);
  if (options.async && options.remove_pid_file) {
    RemoveOwnPidFile(options.pid_path);
  }
  if (options.end_signal != 0) {
    LOG(INFO) << "process_manager: ending with signal " << options.end_signal;
    signal(options.end_signal, SIG_DFL);
    sigset_t end_set;
    sigemptyset(&end_set);
    sigaddset(&end_set, options.end_signal);
    sigprocmask(SIG_UNBLOCK, &end_set, nullptr);
    raise(options.end_signal);
  }
  LOG(INFO) << "process_manager: exiting with status " << options.exit_code;
  return options.exit_code;
}
