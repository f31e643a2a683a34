// Logging: one line per message on standard error (and optionally a file),
// opened by a bracketed prefix with the local time, the severity and the
// issuing source file and line.
//
//   LOG(ERROR) << "Invalid pid: pid=" << pid;
//   // [1208/043344.123456:ERROR:package_utils.cc(217)] Invalid pid: pid=12
//
//   PLOG(ERROR) << "open " << path;   // appends ": <strerror> (<errno>)"
//   CHECK(index < size);               // traps without a message
//
// A message is built only when it would be created (ShouldCreateLogMessage),
// so the streamed arguments of a suppressed message are never evaluated.
// Logging never changes the caller's errno.
//
// The state is process-wide. Messages issued before InitLogging use the
// defaults: destination system debug log plus standard error, minimum level 0,
// time stamps on. Each shared library that links this file has its own copy of
// the state.
//
// Threads. Issuing messages (LOG, PLOG, VLOG, CHECK and the query functions
// ShouldCreateLogMessage, GetMinLogLevel, GetVlogLevel, GetLogMessageHandler)
// is safe from any number of threads at once. The settings functions
// (InitLogging, SetMinLogLevel, SetLogItems, SetLogPrefix,
// SetLogMessageHandler) are not synchronised: call them at start-up or while
// no other thread logs. Each line reaches standard error in one write(2)
// when the descriptor takes it whole (lines from two threads can interleave
// only after a partial write, e.g. to a full pipe); file output is serialised
// by the logging lock, and across processes by a lock on the file unless
// DONT_LOCK_LOG_FILE is set. The logging lock is the only lock logging takes,
// and it is not held while the handler runs.

#ifndef VORN_BASE_LOGGING_LOGGING_H_
#define VORN_BASE_LOGGING_LOGGING_H_

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>

namespace logging {

// Severities. Negative values are verbose levels (-n is verbose level n).
using LogSeverity = int;
constexpr LogSeverity LOG_VERBOSE = -1;
constexpr LogSeverity LOG_INFO = 0;
constexpr LogSeverity LOG_WARNING = 1;
constexpr LogSeverity LOG_ERROR = 2;
constexpr LogSeverity LOG_FATAL = 3;
constexpr LogSeverity LOG_NUM_SEVERITIES = 4;

// Destination bits. Only the file and standard-error bits produce output; the
// system-debug-log bit stops ERROR messages from falling back to stderr.
enum LoggingDestination : uint32_t {
  LOG_NONE = 0,
  LOG_TO_FILE = 1 << 0,
  LOG_TO_SYSTEM_DEBUG_LOG = 1 << 1,
  LOG_TO_STDERR = 1 << 2,
  LOG_TO_ALL = LOG_TO_FILE | LOG_TO_SYSTEM_DEBUG_LOG | LOG_TO_STDERR,
  LOG_DEFAULT = LOG_TO_SYSTEM_DEBUG_LOG | LOG_TO_STDERR,
};

// Whether file output is serialised across processes (a lock on the file) or
// only within this process (a mutex).
enum LogLockingState { LOCK_LOG_FILE, DONT_LOCK_LOG_FILE };

// What InitLogging does with a log file that already exists.
enum OldFileDeletionState { DELETE_OLD_LOG_FILE, APPEND_TO_OLD_LOG_FILE };

struct LoggingSettings {
  uint32_t logging_dest = LOG_DEFAULT;      // LoggingDestination bits
  std::string log_file_path = "debug.log";  // used only with LOG_TO_FILE
  LogLockingState lock_log = LOCK_LOG_FILE;
  OldFileDeletionState delete_old = APPEND_TO_OLD_LOG_FILE;
  // The values of the program's "v" and "vmodule" switches, handed over at
  // start-up (base::AddVerbositySwitches copies them from a command line);
  // nullopt when the switch is absent. "v" is a verbose level n: the minimum
  // level becomes -n, so VLOG(n) and above are created; a value that is not a
  // whole number changes nothing. "vmodule" is a comma-separated list of
  // "<pattern>=<level>" rules for GetVlogLevel; malformed rules are skipped.
  std::optional<std::string> v_switch;
  std::optional<std::string> vmodule_switch;
};

// Applies `settings`. The verbosity switches are applied when either is set;
// applying them a second time in one process is a check failure (two owners
// would be configuring logging). Returns false when the log file cannot be
// opened; other output is unaffected.
bool InitLogging(const LoggingSettings& settings);

// Messages below the minimum level are not created. Values above LOG_FATAL
// are clamped to LOG_FATAL.
void SetMinLogLevel(int level);
int GetMinLogLevel();

// True when a message of `severity` would be created: at or above the minimum
// level, and a destination or handler exists or the severity is ERROR or more.
bool ShouldCreateLogMessage(LogSeverity severity);

// The verbose level in force for `file` (a source path): the first matching
// "vmodule" pattern's level, else minus the minimum level.
int GetVlogLevel(const char* file);

// Which fields open each line. Time stamps are on by default, the rest off.
void SetLogItems(bool enable_process_id, bool enable_thread_id,
                 bool enable_timestamp, bool enable_tickcount);
// A text put first in every prefix; null or empty switches it off.
void SetLogPrefix(const char* prefix);

// A handler sees every finished line first and may swallow it by returning
// true; otherwise the line goes to the destinations as usual.
//
// When: once per created message, as the message is finished (at the end of
// the LOG statement), before any output; for FATAL, before the trap.
// Thread: the thread that issued the message, synchronously, with no lock of
// logging's held, so a process that logs from several threads needs a
// handler that is safe to call concurrently.
// Arguments: `severity`, the `file` and `line` given to the message (the full
// source path, not the base name), `text` the whole line with its prefix and
// final line feed, and `message_start` the offset of the caller's text
// within it. `text` is valid only during the call.
// It must not log: a message it issued would reach it again, without end.
// It stays installed until replaced; null removes it.
using LogMessageHandlerFunction = bool (*)(LogSeverity severity,
                                           const char* file, int line,
                                           size_t message_start,
                                           const std::string& text);
void SetLogMessageHandler(LogMessageHandlerFunction handler);
// The installed handler, or null.
LogMessageHandlerFunction GetLogMessageHandler();

// The name a severity has in the line: "INFO", "WARNING", "ERROR", "FATAL",
// "VERBOSE<n>" for negative values and "UNKNOWN" from 4 upward.
std::string SeverityName(LogSeverity severity);

// One message under construction. Constructed with its prefix, filled by
// streaming, written when destroyed. FATAL messages trap after output.
class LogMessage {
 public:
  LogMessage(const char* file, int line, LogSeverity severity);
  virtual ~LogMessage();

  LogMessage(const LogMessage&) = delete;
  LogMessage& operator=(const LogMessage&) = delete;

  std::ostream& stream() { return stream_; }
  LogSeverity severity() const { return severity_; }

 protected:
  // Writes the finished line; used by the destructors.
  void Flush();

 private:
  void Init(const char* file, int line);

  LogSeverity severity_;
  std::ostringstream stream_;
  size_t message_start_ = 0;  // offset of the caller's text in stream_
  const char* file_;
  int line_;
  int saved_errno_;  // restored when the message is finished
  bool flushed_ = false;
};

// A message that, when finished, appends ": ", the system's text for `err`,
// " (", err in decimal and ")".
class ErrnoLogMessage final : public LogMessage {
 public:
  ErrnoLogMessage(const char* file, int line, LogSeverity severity, int err);
  ~ErrnoLogMessage() override;

 private:
  int err_;
};

// Turns the stream expression of a LOG statement into void so it can stand in
// the second branch of the conditional of LAZY_STREAM.
class LogMessageVoidify {
 public:
  void operator&(std::ostream&) {}
};

// Traps at once, without a message.
[[noreturn]] void ImmediateCrash();

}  // namespace logging

#define VORN_LAZY_STREAM(stream, condition) \
  !(condition) ? (void)0 : ::logging::LogMessageVoidify() & (stream)

#define LOG_IS_ON(severity) \
  (::logging::ShouldCreateLogMessage(::logging::LOG_##severity))

#define LOG(severity)                                                      \
  VORN_LAZY_STREAM(                                                        \
      ::logging::LogMessage(__FILE__, __LINE__, ::logging::LOG_##severity) \
          .stream(),                                                       \
      LOG_IS_ON(severity))

// Logs at `severity`, a value rather than a name.
#define LOG_WITH_SEVERITY(severity)                                   \
  VORN_LAZY_STREAM(                                                   \
      ::logging::LogMessage(__FILE__, __LINE__, (severity)).stream(), \
      ::logging::ShouldCreateLogMessage(severity))

// The error-number variant: appends the text of the current errno.
#define PLOG(severity)                                                       \
  VORN_LAZY_STREAM(::logging::ErrnoLogMessage(                               \
                       __FILE__, __LINE__, ::logging::LOG_##severity, errno) \
                       .stream(),                                            \
                   LOG_IS_ON(severity))

#define VLOG_IS_ON(verbose_level) \
  ((verbose_level) <= ::logging::GetVlogLevel(__FILE__))

#define VLOG(verbose_level)                                                 \
  VORN_LAZY_STREAM(                                                         \
      ::logging::LogMessage(__FILE__, __LINE__, -(verbose_level)).stream(), \
      VLOG_IS_ON(verbose_level) &&                                          \
          ::logging::ShouldCreateLogMessage(-(verbose_level)))

// A failed check is a programming error: trap at once, no message.
#define CHECK(condition) \
  (__builtin_expect(!!(condition), 1) ? (void)0 : ::logging::ImmediateCrash())

#define NOTREACHED() ::logging::ImmediateCrash()

#endif  // VORN_BASE_LOGGING_LOGGING_H_
