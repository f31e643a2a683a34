#include "vorn_package/process_manager_control.h"

#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <deque>
#include <string>

#include "base/files/command_line.h"
#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/files/process.h"
#include "base/logging/logging.h"
#include "base/logging/string_number.h"
#include "base/logging/time.h"
#include "vorn_package/child_launch.h"
#include "vorn_package/usage.h"

namespace vorn {

namespace {

constexpr char kProcessManagerName[] = "process_manager";

// The first record named "process_manager", or null.
const ProcessConfig* FindProcessManager(
    const std::vector<ProcessConfig>& configs) {
  for (const ProcessConfig& config : configs) {
    if (config.name == kProcessManagerName) return &config;
  }
  return nullptr;
}

// The executable base name that running instances of `config`'s program
// carry; empty, after an ERROR naming the entry, when the program path ends
// in "/" (a scan for an empty name would match every process whose
// executable cannot be read).
std::string ScanNameOf(const ProcessConfig& config) {
  std::string name = config.command_line.ProgramPath().BaseName().value();
  if (name.empty()) {
    LOG(ERROR) << "Program of process config has no executable name; not "
                  "looking for its processes: name="
               << config.name
               << ", program=" << config.command_line.ProgramPath().value();
  }
  return name;
}

// A pid that the name scans and the pid file never reach: vorn_cli's own,
// and init's.
bool IsProtectedPid(pid_t pid) { return pid == getpid() || pid == 1; }

// Signal 0: true when the process exists, also when it may not be signalled.
bool IsAlive(pid_t pid) { return kill(pid, 0) == 0 || errno == EPERM; }

// The identity from process.json, read without a log line: its faults are
// the start command's to report, at its own step.
ProcessManagerIdentity LoadIdentityQuietly(const PackageContext& context) {
  // Below FATAL no message is even created while the file is read.
  const int previous_level = logging::GetMinLogLevel();
  logging::SetMinLogLevel(logging::LOG_FATAL);
  std::vector<ProcessConfig> configs;
  bool loaded =
      LoadProcessConfigs(context, GetProcessConfigPath(context), &configs);
  ProcessManagerIdentity identity =
      MakeProcessManagerIdentity(context, loaded, configs);
  logging::SetMinLogLevel(previous_level);
  return identity;
}

// What names the program that process `pid` runs: its executable, else the
// first field of its command line; empty when neither can be read.
std::string DescribeProcess(pid_t pid) {
  std::string program;
  if (base::GetProcessExecutablePath(pid, &program)) return program;
  std::vector<std::string> args;
  if (base::GetProcessCommandLine(pid, &args) && !args.empty()) return args[0];
  return "";
}

// ReadProcessManagerPid; a stale record of a pid in `just_killed` is deleted
// without the ERROR (the kill command has just ended that process itself).
pid_t ReadRecordedPid(const PackageContext& context, bool log_errors,
                      std::optional<ProcessManagerIdentity>* identity,
                      const std::vector<pid_t>& just_killed) {
  base::FilePath path = GetPidFilePath(context);
  std::string content;
  base::RegularFileInfo info;
  base::SmallFileStatus status = base::ReadSmallRegularFile(
      path, kPidFileMaxSize, base::LinkPolicy::kRefuse, &content, &info);
  if (status == base::SmallFileStatus::kUnreadable) {
    if (log_errors) {
      LOG(ERROR) << "Cannot read PID of process manager: path=" << path.value();
    }
    return 0;
  }
  pid_t pid = 0;
  // Run as root, a file that someone else could have written is no record,
  // nor is one with a second name: the pid file is only ever stored by
  // rename, so another link to it is someone keeping an old record to put
  // back after it has gone stale.
  bool trusted_file =
      geteuid() != 0 ||
      (info.owner_uid == 0 && (info.mode & (S_IWGRP | S_IWOTH)) == 0 &&
       info.links == 1);
  if (status == base::SmallFileStatus::kTooLarge || !trusted_file ||
      !ParsePidFileContent(content, &pid) || IsProtectedPid(pid)) {
    if (log_errors) {
      LOG(ERROR) << "Invalid pid: pid=" << content << ", path=" << path.value();
    }
    return 0;
  }
  std::string holder;
  if (IsAlive(pid)) {
    if (!identity->has_value()) *identity = LoadIdentityQuietly(context);
    if (IsProcessManagerProcess(pid, **identity)) return pid;
    holder = DescribeProcess(pid);
  }
  // A manager that removes its own pid file on the way out can be read just
  // before it removes the file and checked just after it has gone: the file
  // then is already gone, and that is a clean stop, not a stale record.
  if (!base::PathExists(path)) return 0;
  bool killed_here = std::find(just_killed.begin(), just_killed.end(), pid) !=
                     just_killed.end();
  if (!killed_here) {
    LOG(ERROR) << "Process manager is not running: pid=" << pid;
    if (!holder.empty()) {
      LOG(ERROR) << "Recorded pid belongs to another program: pid=" << pid
                 << ", program=" << holder;
    }
  }
  DeleteProcessManagerPidFile(context);
  return 0;
}

// Sends `signal_number` to every running instance of `target` (other than
// this process and init); true when at least one was found.
bool SignalInstances(const std::string& target, int signal_number) {
  bool found = false;
  base::NamedProcessIterator instances(target);
  while (const base::ProcessEntry* entry = instances.NextProcessEntry()) {
    if (IsProtectedPid(entry->pid)) continue;
    found = true;
    LOG(ERROR) << "Another process manager instance is running: '"
               << entry->exe_file << "'; terminating other pid: " << entry->pid;
    kill(entry->pid, signal_number);
  }
  return found;
}

// Clears process manager instances that run without a live record: SIGTERM
// in three passes 5 s apart, then SIGKILL. False when the SIGKILL pass still
// found some.
bool ClearStaleInstances(const std::string& target) {
  if (target.empty()) return true;
  for (int pass = 0; pass < kStaleInstancePasses; ++pass) {
    bool last = pass == kStaleInstancePasses - 1;
    if (!SignalInstances(target, last ? SIGKILL : SIGTERM)) return true;
    if (last) {
      LOG(ERROR) << "Unable to kill other process manager instances; exiting";
      return false;
    }
    base::Sleep(kStaleInstancePause);
  }
  return true;
}

base::StringVector ExternalFlagNames(
    const std::vector<ProcessConfig>& configs) {
  base::StringVector names;
  for (const ProcessConfig& config : configs) {
    for (const ExternalFlag& flag : config.external_flags) {
      names.push_back(flag.name);
    }
  }
  return names;
}

}  // namespace

ProcessManagerIdentity MakeProcessManagerIdentity(
    const PackageContext& context, bool loaded,
    const std::vector<ProcessConfig>& configs) {
  ProcessManagerIdentity identity;
  if (!loaded) return identity;
  identity.known = true;
  if (const ProcessConfig* manager = FindProcessManager(configs)) {
    identity.program = manager->command_line.ProgramPath().value();
    if (char* resolved = realpath(identity.program.c_str(), nullptr)) {
      identity.resolved_program = resolved;
      free(resolved);
    }
  }
  identity.log_wrapper =
      std::string(base::TrimWhitespace(GetLoggingWrapperPath(context).value()));
  return identity;
}

bool IsProcessManagerProcess(pid_t pid,
                             const ProcessManagerIdentity& identity) {
  if (!identity.known) return true;
  const std::string* programs[] = {&identity.program,
                                   &identity.resolved_program};
  const std::string* executables[] = {
      &identity.program, &identity.resolved_program, &identity.log_wrapper};
  base::FileId running;
  if (base::GetProcessExecutableFileId(pid, &running)) {
    for (const std::string* path : executables) {
      base::FileId id;
      if (!path->empty() && base::GetFileId(base::FilePath(*path), &id) &&
          id == running) {
        return true;
      }
    }
  }
  std::string name;
  if (base::GetProcessExecutableName(pid, &name)) {
    for (const std::string* path : executables) {
      std::string wanted = base::FilePath(*path).BaseName().value();
      if (!wanted.empty() && wanted == name) return true;
    }
  }
  std::vector<std::string> args;
  base::GetProcessCommandLine(pid, &args);
  for (size_t i = 0; i < args.size() && i < 2; ++i) {
    for (const std::string* program : programs) {
      if (!program->empty() && args[i] == *program) return true;
    }
  }
  return false;
}

bool ParsePidFileContent(std::string_view content, pid_t* pid) {
  int32_t value = 0;
  if (!base::StringToInt32(content, &value) || value <= 0) return false;
  *pid = static_cast<pid_t>(value);
  return true;
}

bool StoreProcessManagerPid(const PackageContext& context, pid_t pid) {
  base::FilePath path = GetPidFilePath(context);
  std::string text = std::to_string(pid);
  int size = static_cast<int>(text.size());
  if (base::WriteFileByRename(path, text.data(), size, 0644) != size) {
    LOG(ERROR) << "Cannot store PID of process manager: pid=" << text
               << ", pid_path=" << path.value();
    return false;
  }
  return true;
}

bool DeleteProcessManagerPidFile(const PackageContext& context) {
  base::FilePath path = GetPidFilePath(context);
  if (!base::DeleteRegularFileOrLink(path)) {
    LOG(ERROR) << "Cannot delete pid file: path=" << path.value();
    return false;
  }
  return true;
}

pid_t ReadProcessManagerPid(const PackageContext& context, bool log_errors,
                            std::optional<ProcessManagerIdentity>* identity) {
  return ReadRecordedPid(context, log_errors, identity, {});
}

int StartProcessManager(const PackageContext& context, bool detached) {
  const base::ParsedCommandLine& own_line = context.command_line;
  std::optional<ProcessManagerIdentity> identity;
  if (ReadProcessManagerPid(context, /*log_errors=*/false, &identity) != 0) {
    LOG(WARNING) << "Process manager is already running.";
    return 1;
  }
  base::FilePath config_path = GetProcessConfigPath(context);
  std::vector<ProcessConfig> configs;
  if (!LoadProcessConfigs(context, config_path, &configs)) {
    LOG(ERROR) << "Invalid or unreadable process json file: "
               << config_path.value();
    return 2;
  }
  if (!CheckProgramsExist(configs)) {
    LOG(ERROR) << "Could not verify executable paths for entries in json file: "
               << config_path.value();
    return 2;
  }
  base::CheckAcceptedSwitches(own_line, AcceptedOptionNames(),
                              ExternalFlagNames(configs));
  const ProcessConfig* manager = FindProcessManager(configs);
  if (manager == nullptr) {
    LOG(ERROR) << "Cannot find '" << kProcessManagerName
               << "' in process configs.";
    return 2;
  }
  if (!ClearStaleInstances(ScanNameOf(*manager))) return 1;

  base::ParsedCommandLine manager_line =
      BuildProcessManagerCommandLine(context, *manager, configs, detached);
  base::ProcessHandle child = LaunchChild(kProcessManagerName, manager_line,
                                          GetLoggingWrapperPath(context));
  if (!child.IsValid()) return 1;

  if (own_line.HasSwitchNamed("store-process-manager-pid")) {
    // Detached, the launched process exits as soon as the package runs on
    // its own: its pid would name a dead process, later a reused one.
    if (detached) {
      LOG(WARNING) << "--store-process-manager-pid applies to the blocking "
                      "start only; not storing the pid of the process that "
                      "detaches";
    } else {
      StoreProcessManagerPid(context, child.pid());
    }
  }

  int exit_code = 0;
  bool got_exit_code = false;
  if (!child.WaitForProcessExit(&exit_code, &got_exit_code) || !got_exit_code) {
    LOG(ERROR) << "Cannot wait for process manager exit. Already died?";
    return 1;
  }
  if (!detached) {
    LOG(INFO) << "Process manager has stopped: exit_code=" << exit_code;
    DeleteProcessManagerPidFile(context);
    return exit_code;
  }
  if (exit_code == 0) {
    LOG(INFO) << "Process manager successfully started as daemon";
  } else {
    LOG(ERROR) << "Process manager failed to start as daemon: exit_code="
               << exit_code;
  }
  return exit_code;
}

int StopProcessManager(const PackageContext& context) {
  std::optional<ProcessManagerIdentity> identity;
  pid_t pid = ReadProcessManagerPid(context, /*log_errors=*/true, &identity);
  if (pid == 0) return 1;
  if (kill(pid, SIGTERM) != 0) {
    LOG(ERROR) << "Cannot kill process: pid=" << pid;
    return 1;
  }
  const base::TimeTicks start = base::TimeTicks::Now();
  base::TimeTicks next_sigterm = start + kStopResendInterval;
  const base::TimeTicks deadline = start + kStopTimeout;
  while (ReadProcessManagerPid(context, /*log_errors=*/false, &identity) ==
         pid) {
    base::TimeTicks now = base::TimeTicks::Now();
    if (now > deadline) {
      LOG(ERROR) << "Timeout stopping process_manager at pid '" << pid << "'. "
                 << "Please try again or manually clean package";
      return kStopTimeoutExitStatus;
    }
    if (now > next_sigterm) {
      kill(pid, SIGTERM);
      next_sigterm = now + kStopResendInterval;
    }
    base::Sleep(kStopPollInterval);
  }
  LOG(INFO) << "Successfully stopped process_manager at pid " << pid << " in "
            << (base::TimeTicks::Now() - start).InMilliseconds() << " ms";
  return 0;
}

int KillPackageProcesses(const PackageContext& context) {
  base::FilePath config_path = GetProcessConfigPath(context);
  std::vector<ProcessConfig> configs;
  bool loaded = LoadProcessConfigs(context, config_path, &configs);
  if (!loaded) {
    LOG(WARNING) << "Invalid or unreadable process json file: "
                 << config_path.value() << "; cannot manually kill services";
    configs.clear();
  }
  std::optional<ProcessManagerIdentity> identity =
      MakeProcessManagerIdentity(context, loaded, configs);

  // The process manager first, so it cannot restart the services killed
  // after it.
  std::deque<const ProcessConfig*> order;
  for (const ProcessConfig& config : configs) {
    if (config.name == kProcessManagerName) {
      order.push_front(&config);
    } else {
      order.push_back(&config);
    }
  }
  std::vector<pid_t> killed;
  for (const ProcessConfig* config : order) {
    std::string target = ScanNameOf(*config);
    if (target.empty()) continue;
    base::NamedProcessIterator instances(target);
    while (const base::ProcessEntry* entry = instances.NextProcessEntry()) {
      if (IsProtectedPid(entry->pid)) continue;
      LOG(WARNING) << "Killing process '" << entry->pid
                   << "' with name: " << entry->exe_file;
      kill(entry->pid, SIGKILL);
      killed.push_back(entry->pid);
    }
  }

  pid_t pid = ReadRecordedPid(context, /*log_errors=*/false, &identity, killed);
  DeleteProcessManagerPidFile(context);
  if (pid != 0 && kill(pid, 0) == 0) kill(pid, SIGKILL);
  return 0;
}

}  // namespace vorn
