// Starting a program of the package as a child of vorn_cli, normally through
// the log wrapper ("/bin/logshim", or the "log-wrapper-path" switch), which
// runs the program given as its arguments and takes care of its output.
//
//   base::ParsedCommandLine line = vorn::BuildProcessManagerCommandLine(...);
//   base::ProcessHandle child = vorn::LaunchChild(
//       "process_manager", line, vorn::GetLoggingWrapperPath(context));
//   if (!child.IsValid()) return 1;          // the fork failed (logged)
//   int exit_code = 0;
//   child.WaitForProcessExit(&exit_code);    // 127 when the exec failed
//
// The child inherits everything from vorn_cli unchanged: open descriptors,
// environment, working directory, signal dispositions and mask, session and
// process group. Nothing is closed, reset or redirected between the fork and
// the exec.

#ifndef VORN_VORN_PACKAGE_CHILD_LAUNCH_H_
#define VORN_VORN_PACKAGE_CHILD_LAUNCH_H_

#include <string_view>

#include "base/files/command_line.h"
#include "base/files/file_path.h"
#include "base/files/process.h"

namespace vorn {

// `command_line` wrapped in the log wrapper `wrapper` (as from
// GetLoggingWrapperPath): the wrapper path, trimmed of whitespace, followed
// by every element of `command_line` unchanged. An empty wrapper path leaves
// `command_line` as it is, silently; a wrapper path that does not exist
// leaves it too, after the ERROR "Log wrapper executable not valid. Ignoring
// it: <path>". `*wrapped` (not null) tells whether the wrapper was applied.
base::ParsedCommandLine ApplyLoggingWrapper(
    const base::ParsedCommandLine& command_line, const base::FilePath& wrapper,
    bool* wrapped);

// Wraps `command_line` in `wrapper` (ApplyLoggingWrapper), logs INFO "Run
// <name>: <argv>", forks, and in the child runs element 0 with execvp (so a
// name without "/" is looked up in PATH). Returns the child's handle, which
// owns nothing: the caller reaps the child. Returns an invalid handle, after an
// ERROR naming `name` and the system's error, when the fork failed. When the
// exec fails the child logs an ERROR and ends with _exit(127), running no exit
// handlers and flushing none of the parent's buffers; the parent learns of it
// only by the exit status. `name` is used only in messages.
base::ProcessHandle LaunchChild(std::string_view name,
                                const base::ParsedCommandLine& command_line,
                                const base::FilePath& wrapper);

// As above; `*wrapped` (not null) is set false at entry and true when the log
// wrapper was applied.
base::ProcessHandle LaunchChild(std::string_view name,
                                const base::ParsedCommandLine& command_line,
                                const base::FilePath& wrapper, bool* wrapped);

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_CHILD_LAUNCH_H_
