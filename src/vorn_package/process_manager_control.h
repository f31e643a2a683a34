// The package commands of vorn_cli: start the process manager (blocking or
// detached), stop it through its pid file, and kill every configured program
// by executable name.
//
//   vorn::StartProcessManager(/*detached=*/false);  // "start vorn"
//   vorn::StartProcessManager(/*detached=*/true);   // "start vorn async"
//   vorn::StopProcessManager();                     // "stop vorn"
//   vorn::KillPackageProcesses();                   // "kill vorn"
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
//   - when process.json can be read, the live process carries the executable
//     name of the `process_manager` entry's program or of the log wrapper;
//     any other live process counts as gone.
//
// Everything runs on the calling thread; the sleeps and the wait block it.

#ifndef VORN_VORN_PACKAGE_PROCESS_MANAGER_CONTROL_H_
#define VORN_VORN_PACKAGE_PROCESS_MANAGER_CONTROL_H_

#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/time.h"
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

// The executables a recorded pid may belong to. Built once per command from
// process.json; `known` is false when process.json could not be read, and
// then any live pid is taken as the process manager.
struct ProcessManagerIdentity {
  bool known = false;
  // Base names of the first `process_manager` entry's program and of the log
  // wrapper; never empty strings.
  std::vector<std::string> executable_names;
};

// The identity for `configs` (loaded == whether process.json was read).
ProcessManagerIdentity MakeProcessManagerIdentity(
    bool loaded, const std::vector<ProcessConfig>& configs);

// True when `content` is a valid pid file content: an optional "+" or "-",
// digits, nothing else, within the signed 32-bit range, and a pid above 0.
// Puts the pid in `*pid` then; leaves it alone otherwise.
bool ParsePidFileContent(std::string_view content, pid_t* pid);

// Writes `pid` in decimal to GetPidFilePath(), creating the file with mode
// 0644 whatever the umask, or truncating it. A symbolic link or anything but
// a regular file at the path is never written through. Returns false after
// the ERROR "Cannot store PID of process manager: pid=<pid>,
// pid_path=<path>" when not every byte was written.
bool StoreProcessManagerPid(pid_t pid);

// Deletes the pid file (not a directory's contents). True also when there is
// no file; false after the ERROR "Cannot delete pid file: path=<path>".
bool DeleteProcessManagerPidFile();

// The pid recorded in the pid file when the file is valid and trusted and the
// process is alive and, as `identity` says, the process manager; else 0. An
// unreadable or invalid file is reported by an ERROR only when `log_errors`
// is set. A valid record of a process that is gone (or is another program)
// always logs the ERROR "Process manager is not running: pid=<pid>" and
// deletes the file.
pid_t ReadProcessManagerPid(bool log_errors,
                            const ProcessManagerIdentity& identity);

// "start vorn" (detached false) and "start vorn async" (detached true).
// Returns 1 when a live process manager is recorded, when stale instances
// survive SIGKILL, when the launch fails or the wait for it fails; 2 when
// process.json is unreadable or invalid, names a missing program, or has no
// `process_manager` entry; otherwise the launched process's exit code (-1
// when a signal ended it). Blocking, it deletes the pid file after the
// process manager ends.
int StartProcessManager(bool detached);

// "stop vorn": SIGTERM to the recorded process manager, again every 10 s,
// polling every 100 ms until it is gone. Returns 0 when it went away, 1 when
// none is recorded or the first SIGTERM fails, 10 when it still runs 25 s
// after the first SIGTERM.
int StopProcessManager();

// "kill vorn": SIGKILL to every running instance of every configured program
// (the process manager's first) and to the recorded pid; deletes the pid
// file. Always returns 0.
int KillPackageProcesses();

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_PROCESS_MANAGER_CONTROL_H_
