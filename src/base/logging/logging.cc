#include "base/logging/logging.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iomanip>
#include <mutex>
#include <string_view>
#include <vector>

#include "base/logging/eintr.h"
#include "base/logging/string_number.h"
#include "base/logging/time.h"

namespace logging {

namespace {

// One "vmodule" rule: source files matching `pattern` log verbose messages up
// to `level`.
struct VlogRule {
  std::string pattern;
  int level = 0;
  bool is_path = false;  // pattern holds "/" or "\\": match the whole path
};

struct LoggingState {
  int min_log_level = 0;
  uint32_t destination = LOG_DEFAULT;
  std::string log_file_path = "debug.log";
  LogLockingState lock_log = LOCK_LOG_FILE;
  bool log_process_id = false;
  bool log_thread_id = false;
  bool log_timestamp = true;
  bool log_tickcount = false;
  std::string prefix;
  LogMessageHandlerFunction handler = nullptr;
  bool vlog_initialized = false;
  std::vector<VlogRule> vlog_rules;
  int log_file_fd = -1;  // opened on first use; guarded by file_mutex
};

LoggingState& State() {
  // Never destroyed, so messages issued from static destructors still work.
  static LoggingState* state = new LoggingState;
  return *state;
}

std::mutex& FileMutex() {
  static std::mutex* mutex = new std::mutex;
  return *mutex;
}

// The text after the last "/" or "\\".
const char* BaseName(const char* file) {
  const char* base = file;
  for (const char* p = file; *p; ++p) {
    if (*p == '/' || *p == '\\') base = p + 1;
  }
  return base;
}

// Glob match with "*" (any run) and "?" (any one character), iterative.
bool MatchPattern(std::string_view text, std::string_view pattern) {
  size_t t = 0, p = 0, star = std::string_view::npos, mark = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || pattern[p] == text[t])) {
      ++t;
      ++p;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      mark = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++mark;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

void ParseVmodule(const std::string& text, std::vector<VlogRule>* rules) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string_view pair(text.data() + start, comma - start);
    size_t eq = pair.rfind('=');
    int level = 0;
    if (eq != std::string_view::npos && eq > 0 &&
        base::StringToInt32(pair.substr(eq + 1), &level)) {
      VlogRule rule;
      rule.pattern = std::string(pair.substr(0, eq));
      rule.level = level;
      rule.is_path = rule.pattern.find_first_of("/\\") != std::string::npos;
      rules->push_back(std::move(rule));
    }
    start = comma + 1;
  }
}

void InitVlog(const LoggingSettings& settings) {
  LoggingState& state = State();
  // Setting up verbosity twice means two owners think they configure logging.
  CHECK(!state.vlog_initialized);
  state.vlog_initialized = true;
  if (settings.v_switch) {
    int level = 0;
    if (base::StringToInt32(*settings.v_switch, &level)) {
      // Negated in 64 bits: -INT_MIN does not fit an int. Anything above
      // FATAL is FATAL, so the clamp keeps the meaning of every level.
      const int64_t min_level = -static_cast<int64_t>(level);
      SetMinLogLevel(static_cast<int>(std::min<int64_t>(min_level, LOG_FATAL)));
    }
  }
  if (settings.vmodule_switch) {
    ParseVmodule(*settings.vmodule_switch, &state.vlog_rules);
  }
}

// Opens the log file in append mode if it is not open yet. Caller holds the
// file mutex.
bool OpenLogFileLocked() {
  LoggingState& state = State();
  if (state.log_file_fd >= 0) return true;
  const int fd = base::RetryOnEintr([&state] {
    return open(state.log_file_path.c_str(),
                O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  });
  if (fd < 0) return false;
  state.log_file_fd = fd;
  return true;
}

// Keeps a write to a pipe whose reader has gone from ending the process with
// SIGPIPE: the signal is blocked in this thread for the object's lifetime, and
// a SIGPIPE that the guarded writes raised is taken off the pending set before
// the old mask returns. The disposition is left alone, so children started
// later still inherit the default action; a SIGPIPE that was already pending
// when the guard began stays pending.
class ScopedSigpipeGuard {
 public:
  ScopedSigpipeGuard() {
    sigset_t sigpipe;
    sigemptyset(&sigpipe);
    sigaddset(&sigpipe, SIGPIPE);
    sigset_t pending;
    sigemptyset(&pending);
    was_pending_ = sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE);
    blocked_ = pthread_sigmask(SIG_BLOCK, &sigpipe, &old_mask_) == 0;
  }
  ~ScopedSigpipeGuard() {
    if (!blocked_) return;
    if (!was_pending_) {
      sigset_t pending;
      sigemptyset(&pending);
      if (sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE)) {
        sigset_t sigpipe;
        sigemptyset(&sigpipe);
        sigaddset(&sigpipe, SIGPIPE);
        const struct timespec no_wait = {0, 0};
        base::RetryOnEintr(
            [&] { return sigtimedwait(&sigpipe, nullptr, &no_wait); });
      }
    }
    pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
  }

  ScopedSigpipeGuard(const ScopedSigpipeGuard&) = delete;
  ScopedSigpipeGuard& operator=(const ScopedSigpipeGuard&) = delete;

 private:
  sigset_t old_mask_;         // the thread's mask before; valid if blocked_
  bool blocked_ = false;      // pthread_sigmask succeeded
  bool was_pending_ = false;  // SIGPIPE was pending before the guard began
};

// Writes all of `data`, retrying after partial writes and interruptions.
// Errors are ignored: there is nowhere left to report them. A reader that has
// closed its end of a pipe gives EPIPE here, never SIGPIPE.
void WriteAll(int fd, const char* data, size_t size) {
  ScopedSigpipeGuard sigpipe_guard;
  while (size > 0) {
    const ssize_t written =
        base::RetryOnEintr([=] { return write(fd, data, size); });
    if (written < 0) return;
    data += written;
    size -= static_cast<size_t>(written);
  }
}

void WriteToFile(const std::string& line) {
  LoggingState& state = State();
  std::lock_guard<std::mutex> lock(FileMutex());
  if (!OpenLogFileLocked()) return;
  bool file_lock = state.lock_log == LOCK_LOG_FILE;
  if (file_lock) {
    base::RetryOnEintr([&state] { return flock(state.log_file_fd, LOCK_EX); });
  }
  WriteAll(state.log_file_fd, line.data(), line.size());
  if (file_lock) flock(state.log_file_fd, LOCK_UN);
}

}  // namespace

bool InitLogging(const LoggingSettings& settings) {
  LoggingState& state = State();
  if (settings.v_switch || settings.vmodule_switch) InitVlog(settings);
  state.destination = settings.logging_dest;
  state.lock_log = settings.lock_log;
  if (!(settings.logging_dest & LOG_TO_FILE)) return true;

  std::lock_guard<std::mutex> lock(FileMutex());
  if (state.log_file_fd >= 0) {
    close(state.log_file_fd);
    state.log_file_fd = -1;
  }
  state.log_file_path = settings.log_file_path;
  if (settings.delete_old == DELETE_OLD_LOG_FILE) {
    unlink(state.log_file_path.c_str());
  }
  return OpenLogFileLocked();
}

void SetMinLogLevel(int level) {
  State().min_log_level = level < LOG_FATAL ? level : LOG_FATAL;
}

int GetMinLogLevel() { return State().min_log_level; }

bool ShouldCreateLogMessage(LogSeverity severity) {
  const LoggingState& state = State();
  if (severity < state.min_log_level) return false;
  return state.destination != LOG_NONE || state.handler != nullptr ||
         severity >= LOG_ERROR;
}

int GetVlogLevel(const char* file) {
  const LoggingState& state = State();
  if (!state.vlog_rules.empty()) {
    std::string_view path(file);
    std::string_view module(BaseName(file));
    // The module of a plain pattern is the base name without its extension.
    size_t dot = module.rfind('.');
    if (dot != std::string_view::npos) module = module.substr(0, dot);
    for (const VlogRule& rule : state.vlog_rules) {
      if (MatchPattern(rule.is_path ? path : module, rule.pattern)) {
        return rule.level;
      }
    }
  }
  // Negated in 64 bits: SetMinLogLevel accepts INT_MIN, whose negation does
  // not fit an int; such a level admits every verbose message anyway.
  return static_cast<int>(
      std::min<int64_t>(-static_cast<int64_t>(state.min_log_level), INT_MAX));
}

void SetLogItems(bool enable_process_id, bool enable_thread_id,
                 bool enable_timestamp, bool enable_tickcount) {
  LoggingState& state = State();
  state.log_process_id = enable_process_id;
  state.log_thread_id = enable_thread_id;
  state.log_timestamp = enable_timestamp;
  state.log_tickcount = enable_tickcount;
}

void SetLogPrefix(const char* prefix) { State().prefix = prefix ? prefix : ""; }

void SetLogMessageHandler(LogMessageHandlerFunction handler) {
  State().handler = handler;
}

LogMessageHandlerFunction GetLogMessageHandler() { return State().handler; }

std::string SeverityName(LogSeverity severity) {
  static const char* const kNames[LOG_NUM_SEVERITIES] = {"INFO", "WARNING",
                                                         "ERROR", "FATAL"};
  if (severity < 0) {
    // Written through int64_t so that the most negative int stays positive.
    return "VERBOSE" + std::to_string(-static_cast<int64_t>(severity));
  }
  if (severity < LOG_NUM_SEVERITIES) return kNames[severity];
  return "UNKNOWN";
}

void ImmediateCrash() { __builtin_trap(); }

LogMessage::LogMessage(const char* file, int line, LogSeverity severity)
    : severity_(severity), file_(file), line_(line), saved_errno_(errno) {
  errno = 0;
  Init(file, line);
}

LogMessage::~LogMessage() { Flush(); }

void LogMessage::Init(const char* file, int line) {
  const LoggingState& state = State();
  stream_ << '[';
  if (!state.prefix.empty()) stream_ << state.prefix << ':';
  if (state.log_process_id) stream_ << getpid() << ':';
  if (state.log_thread_id) {
    stream_ << static_cast<long>(syscall(SYS_gettid)) << ':';
  }
  if (state.log_timestamp) {
    struct timeval now;
    gettimeofday(&now, nullptr);
    time_t seconds = now.tv_sec;
    struct tm local;
    localtime_r(&seconds, &local);
    char stamp[32];
    snprintf(stamp, sizeof(stamp),
             "%02d%02d/%02d%02d%02d.%06ld:", local.tm_mon + 1, local.tm_mday,
             local.tm_hour, local.tm_min, local.tm_sec,
             static_cast<long>(now.tv_usec));
    stream_ << stamp;
  }
  if (state.log_tickcount)
    stream_ << (base::TimeTicks::Now() - base::TimeTicks()).InMicroseconds()
            << ':';
  stream_ << SeverityName(severity_) << ':' << BaseName(file) << '(' << line
          << ")] ";
  message_start_ = static_cast<size_t>(stream_.tellp());
}

void LogMessage::Flush() {
  if (flushed_) return;
  flushed_ = true;
  const LoggingState& state = State();
  stream_ << '\n';
  std::string line = stream_.str();

  bool handled = state.handler != nullptr &&
                 state.handler(severity_, file_, line_, message_start_, line);
  if (!handled) {
    bool to_stderr =
        (state.destination & LOG_TO_STDERR) ||
        (!(state.destination & (LOG_TO_SYSTEM_DEBUG_LOG | LOG_TO_STDERR)) &&
         severity_ >= LOG_ERROR);
    if (to_stderr) {
      WriteAll(STDERR_FILENO, line.data(), line.size());
      fflush(stderr);
    }
    if (state.destination & LOG_TO_FILE) WriteToFile(line);
  }

  if (severity_ == LOG_FATAL) {
    // Keep the message on the stack between two markers, where a core dump
    // shows it, then stop at once.
    volatile uint32_t start_marker = 0xDEADBEEF;
    char message[1024];
    size_t length = line.size() - message_start_;
    if (length > sizeof(message) - 1) length = sizeof(message) - 1;
    memcpy(message, line.data() + message_start_, length);
    message[length] = '\0';
    volatile uint32_t end_marker = 0xCAFEF00D;
    asm volatile("" : : "r"(message) : "memory");
    (void)start_marker;
    (void)end_marker;
    ImmediateCrash();
  }
  errno = saved_errno_;
}

ErrnoLogMessage::ErrnoLogMessage(const char* file, int line,
                                 LogSeverity severity, int err)
    : LogMessage(file, line, severity), err_(err) {}

ErrnoLogMessage::~ErrnoLogMessage() {
  char buffer[256];
  // The GNU strerror_r returns the text, which may not be `buffer`.
  const char* text = strerror_r(err_, buffer, sizeof(buffer));
  stream() << ": " << text << " (" << err_ << ")";
  Flush();
}

}  // namespace logging
