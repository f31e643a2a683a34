// The package commands of vorn_cli: start the process manager (blocking or
// detached), stop it through its pid file, and kill every configured program
// by executable name. Each takes the PackageContext main gathered.
//
//   vorn::StartProcessManager(context, /*detached=*/false);  // "start vorn"
//   vorn::StartProcessManager(context, /*detached=*/true);   // "... async"
//   vorn::StopProcessManager(context);                       // "stop vorn"
//   vorn::KillPackageProcesses(context);                     // "kill vorn"
//
// The pid file ("process_manager.pid" in the temporary directory, or the
// "process-manager-pid-path" switch) holds the process manager's pid in
// decimal, nothing else. Because it lies in a shared directory by default and
// vorn_cli runs as root, a recorded pid is signalled only when it is trusted:
//   - the content is a positive pid (0 and negatives would reach a whole
//     process group or every process);
//   - the file is a regular file, not a link, read without blocking and with
//     a size limit;
//   - when running as root, the file belongs to root and is not writable by
//     group or others;
//   - the pid is neither vorn_cli's own nor 1 (init);
//   - when process.json can be read, the live process runs the
//     `process_manager` entry's program or the log wrapper, as
//     IsProcessManagerProcess tells; any other live process counts as gone.
// A pid that exists but may not be signalled (EPERM) is alive.
//
// Everything runs on the calling thread; the sleeps and the wait block it.

#ifndef VORN_VORN_PACKAGE_PROCESS_MANAGER_CONTROL_H_
#define VORN_VORN_PACKAGE_PROCESS_MANAGER_CONTROL_H_

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/logging/time.h"
#include "vorn_package/package_utils.h"

namespace vorn {

// The longest valid pid file: "-2147483648".
inline constexpr size_t kPidFileMaxSize = 11;

// Timings of the start and stop commands.
inline constexpr int kStaleInstancePasses = 4;  // 3 x SIGTERM, then SIGKILL
inline constexpr base::TimeDelta kStaleInstancePause =
    base::TimeDelta::FromSeconds(5);
inline constexpr base::TimeDelta kStopPollInterval =
    base::TimeDelta::FromMilliseconds(100);
inline constexpr base::TimeDelta kStopResendInterval =
    base::TimeDelta::FromSeconds(10);
inline constexpr base::TimeDelta kStopTimeout =
    base::TimeDelta::FromSeconds(25);
inline constexpr int kStopTimeoutExitStatus = 10;

// The programs a recorded pid may run. Built from process.json; `known` is
// false when process.json could not be read, and then any live pid is taken
// as the process manager.
struct ProcessManagerIdentity {
  bool known = false;
  // The first `process_manager` entry's program as configured, and that path
  // with every link resolved; empty when there is no such entry (or, for the
  // second, when the path cannot be resolved).
  std::string program;
  std::string resolved_program;
  // The log wrapper, white space trimmed; empty for none.
  std::string log_wrapper;
};

// The identity for `configs` (loaded == whether process.json was read), with
// the context's log wrapper.
ProcessManagerIdentity MakeProcessManagerIdentity(
    const PackageContext& context, bool loaded,
    const std::vector<ProcessConfig>& configs);

// True when the live process `pid` is, as far as /proc tells, the process
// manager of `identity` (always when !identity.known): its executable is the
// same file as the program (links resolved) or the log wrapper; or its
// executable's base name, " (deleted)" stripped, is that of the program, of
// the program's resolved target or of the log wrapper; or the first or
// second field of its command line is the program or its resolved target
// (an interpreted manager, a wrapper that forks).
bool IsProcessManagerProcess(pid_t pid, const ProcessManagerIdentity& identity);

// True when `content` is a valid pid file content: an optional "+" or "-",
// digits, nothing else, within the signed 32-bit range, and a pid above 0.
// Puts the pid in `*pid` then; leaves it alone otherwise.
bool ParsePidFileContent(std::string_view content, pid_t* pid);

// Writes `pid` in decimal to a new file beside GetPidFilePath(), with mode
// 0644 whatever the umask, and renames it over the pid path, so nothing that
// was there (a hard link, a symbolic link, another user's file) is ever
// written through or kept. Returns false after the ERROR "Cannot store PID of
// process manager: pid=<pid>, pid_path=<path>" when that failed.
bool StoreProcessManagerPid(const PackageContext& context, pid_t pid);

// Deletes the pid file when it is a regular file or a symbolic link. True
// also when there is nothing; false, leaving it in place, after the ERROR
// "Cannot delete pid file: path=<path>" for anything else there (a
// directory, a FIFO) or when the unlink fails.
bool DeleteProcessManagerPidFile(const PackageContext& context);

// The pid recorded in the pid file when the file is valid and trusted and the
// process is alive and the process manager; else 0. An unreadable or invalid
// file (vorn_cli's own pid and 1 are invalid too) is reported by an ERROR
// only when `log_errors` is set. A valid record of a process that is gone
// always logs the ERROR "Process manager is not running: pid=<pid>" and
// deletes the file; when another program holds the pid, one more ERROR names
// it. `*identity` is used to tell the process manager; when empty, it is
// loaded from process.json the first time a live pid must be identified,
// without logging that file's faults, and kept for later calls.
pid_t ReadProcessManagerPid(const PackageContext& context, bool log_errors,
                            std::optional<ProcessManagerIdentity>* identity);

// "start vorn" (detached false) and "start vorn async" (detached true).
// Returns 1 when a live process manager is recorded, when stale instances
// survive SIGKILL, when the launch fails or the wait for it fails; 2 when
// process.json is unreadable or invalid, names a missing program, or has no
// `process_manager` entry; otherwise the launched process's exit code (-1
// when a signal ended it). Blocking, it deletes the pid file after the
// process manager ends.
int StartProcessManager(const PackageContext& context, bool detached);

// "stop vorn": SIGTERM to the recorded process manager, again every 10 s,
// polling every 100 ms until it is gone. Returns 0 when it went away, 1 when
// none is recorded or the first SIGTERM fails, 10 when it still runs 25 s
// after the first SIGTERM.
int StopProcessManager(const PackageContext& context);

// "kill vorn": SIGKILL to every running instance of every configured program
// (the process manager's first) and to the recorded pid; deletes the pid
// file. Always returns 0.
int KillPackageProcesses(const PackageContext& context);

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_PROCESS_MANAGER_CONTROL_H_
