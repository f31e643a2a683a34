// The package's process configuration (process.json beside vorn_cli), its
// well-known paths, and the process manager's command line with the flags
// vorn_cli passes on. All of them work from a PackageContext: vorn_cli's own
// command line and the path service's directories, gathered once by main.
//
//   vorn::PackageContext context =
//       vorn::MakePackageContext(base::ProcessCommandLine());
//   std::vector<vorn::ProcessConfig> configs;
//   if (!vorn::LoadProcessConfigs(
//           context, vorn::GetProcessConfigPath(context), &configs))
//     return 2;                                  // messages already logged
//   for (const vorn::ProcessConfig& config : configs)
//     if (config.name == "process_manager")
//       line = vorn::BuildProcessManagerCommandLine(context, config, configs,
//                                                   /*async=*/true);
//
// process.json is a JSON list with one dictionary per process:
//
//   [{"name": "process_manager",
//     "command": ["${DIR_EXE}/process_manager", "--verbose"],
//     "service_type": "critical", "dirs": ["${DIR_TEMP}/pm"],
//     "external_flags": [{"name": "volume", "description": "Start volume.",
//                         "value_expression": "<0-100>"}]}]
//
// Everything here runs on the calling thread and reports failures through
// its result and log lines.

#ifndef VORN_VORN_PACKAGE_PACKAGE_UTILS_H_
#define VORN_VORN_PACKAGE_PACKAGE_UTILS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/files/command_line.h"
#include "base/files/file_path.h"
#include "vorn_package/external_flag.h"

namespace vorn {

// How the process manager treats a process; vorn_cli only stores it.
enum class ServiceType : int32_t {
  kDefault = 0,   // "default"
  kOneshot = 1,   // "oneshot"
  kCritical = 2,  // "critical"
};

// One entry of process.json.
struct ProcessConfig {
  std::string name;  // non-empty; need not be unique
  // The expanded "command": elements()[0] is the program, the rest parsed
  // into switches and arguments as a process's own argument vector is.
  base::ParsedCommandLine command_line;
  ServiceType service_type = ServiceType::kDefault;
  std::vector<base::FilePath> dirs;          // expanded; in file order
  std::vector<base::FilePath> sockets;       // expanded; in file order
  std::vector<ExternalFlag> external_flags;  // in file order; names non-empty
};

// What the package commands take from vorn_cli's command line and the path
// service. main gathers it once; tests and fuzzers fill one in directly.
struct PackageContext {
  base::ParsedCommandLine command_line;  // vorn_cli's own switches
  // The path service's DIR_EXE, DIR_HOME and DIR_TEMP; empty when it has
  // none. The functions below log a missing one when they need it.
  base::FilePath exe_dir;
  base::FilePath home_dir;
  base::FilePath temp_dir;
};

// `own` and the three directories as the path service answers them now.
// The only reader of the path service in the package code. Logs nothing.
PackageContext MakePackageContext(const base::ParsedCommandLine& own);

// ---- process.json ---------------------------------------------------------

// process.json in context.exe_dir. When that directory is empty, logs
// "Cannot get default dir: 2" and returns the bare "process.json".
base::FilePath GetProcessConfigPath(const PackageContext& context);

// `text` with every "${DIR_EXE}", "${DIR_HOME}" and "${DIR_TEMP}" replaced by
// that directory of `context`, in this order; after each replacement that
// changed the text, every "//" becomes "/" in one left-to-right pass. An
// empty directory logs ERROR "Cannot get dir for ${...}" (on every call,
// named in `text` or not) and is replaced by nothing.
std::string ExpandPathVariables(const PackageContext& context,
                                std::string_view text);

// Parses a process.json text, all or nothing: on success `*configs` is
// replaced by the records in file order and true returned; on failure false
// is returned, `*configs` is left untouched, and the reason has been logged
// as ERROR. Faults in "service_type", "dirs", "sockets" and "external_flags"
// are logged but never refuse the file. Paths are expanded with
// ExpandPathVariables. `configs` must not be null.
bool ParseProcessConfigs(const PackageContext& context, std::string_view json,
                         std::vector<ProcessConfig>* configs);

// Reads `path` whole and parses it with ParseProcessConfigs. A file that
// cannot be read (missing, a directory, a read error) returns false without
// a message and leaves `*configs` untouched.
bool LoadProcessConfigs(const PackageContext& context,
                        const base::FilePath& path,
                        std::vector<ProcessConfig>* configs);

// True when the program (command_line element 0) of every record exists as a
// path (relative paths against the current directory, no PATH search). Stops
// at the first missing one. Logs nothing.
bool CheckProgramsExist(const std::vector<ProcessConfig>& configs);

// ---- paths and settings from vorn_cli's command line ----------------------

// The value of the switch `switch_name` of context.command_line when it is
// present with a non-empty value (used as given); otherwise the context's
// directory for the path key `dir_key` (base::DIR_EXE, DIR_HOME, DIR_TEMP)
// joined with `file_name`. When that directory is empty or the key another
// one, logs ERROR "Cannot get default dir: " and the key, and returns the
// bare `file_name`. An empty `switch_name` means no switch.
base::FilePath GetPathFromSwitchOrDefault(const PackageContext& context,
                                          std::string_view switch_name,
                                          int dir_key,
                                          std::string_view file_name);

// "process-manager-pid-path", else temp_dir + "/process_manager.pid".
base::FilePath GetPidFilePath(const PackageContext& context);

// "vorn-cli-socket-file-path", else temp_dir + "/vorn-cli-socket.path".
base::FilePath GetSocketPathFilePath(const PackageContext& context);

// Most bytes read from the socket-path file. A path the client cannot use
// (longer than a Unix-domain address holds) is still read, so that the
// connect reports it rather than a missing receiver.
inline constexpr size_t kMaxSocketPathFileSize = 4096;

// The receiver's socket path: the whole content of the socket-path file
// (GetSocketPathFilePath), unchanged (a final line feed stays). Empty when the
// file is missing or cannot be opened, and empty with a reason in `*refusal`
// (when not null; cleared otherwise) when the file is not trusted: a symbolic
// link (never followed), anything but a regular file (the open never waits on a
// FIFO), more than kMaxSocketPathFileSize bytes, or, when running as root, a
// file that group or others may write. The owner does not matter: the receiver
// may run under an account of its own. Logs nothing.
base::FilePath ReadSocketPath(const PackageContext& context,
                              std::string* refusal = nullptr);

// The "log-wrapper-path" value when the switch is present (even if empty:
// no wrapper), else "/bin/logshim".
base::FilePath GetLoggingWrapperPath(const PackageContext& context);

// Every external flag of `configs` that context.command_line holds,
// appended to `*child` in flag-name order (the first declaration of a name
// wins), each with vorn_cli's value. A flag whose value expression is not
// empty but which was given no value logs the WARNING "Current process
// command line flag '<name>' should not be empty when passing as external
// flag" and is passed without a value.
void PropagateExternalFlags(const PackageContext& context,
                            const std::vector<ProcessConfig>& configs,
                            base::ParsedCommandLine* child);

// The process manager's command line: a copy of `process_manager`'s, then
// "--async" when `async` and the copy lacks it, then, unless vorn_cli has
// "dont-propagate-command-line": the external flags (PropagateExternalFlags),
// "vorn-package-env" with vorn_cli's value when given, and
// "process-manager-pid-path" with GetPidFilePath() when that switch was
// given. Added switches come after the copy's switches and before its plain
// arguments.
base::ParsedCommandLine BuildProcessManagerCommandLine(
    const PackageContext& context, const ProcessConfig& process_manager,
    const std::vector<ProcessConfig>& configs, bool async);

}  // namespace vorn

#endif  // VORN_VORN_PACKAGE_PACKAGE_UTILS_H_
