#include "vorn_package/process_manager_control.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <string>

#include "base/command_line.h"
#include "base/file_path.h"
#include "base/file_util.h"
#include "base/logging.h"
#include "base/process.h"
#include "base/string_number.h"
#include "base/time.h"
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

bool IsTrustedProcess(pid_t pid, const ProcessManagerIdentity& identity) {
  if (!identity.known) return true;
  std::string name;
  if (!base::GetProcessExecutableName(pid, &name) || name.empty()) {
    return false;
  }
  for (const std::string& accepted : identity.executable_names) {
    if (name == accepted) return true;
  }
  return false;
}

ProcessManagerIdentity LoadIdentity(std::vector<ProcessConfig>* configs) {
  bool loaded = LoadProcessConfigs(GetProcessConfigPath(), configs);
  return MakeProcessManagerIdentity(loaded, *configs);
}

// Sends `signal_number` to every running instance of `target` (other than
// this process); true when at least one was found.
bool SignalInstances(const std::string& target, int signal_number) {
  bool found = false;
  base::NamedProcessIterator instances(target);
  while (const base::ProcessEntry* entry = instances.NextProcessEntry()) {
    if (entry->pid == getpid()) continue;
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
    bool loaded, const std::vector<ProcessConfig>& configs) {
  ProcessManagerIdentity identity;
  if (!loaded) return identity;
  identity.known = true;
  if (const ProcessConfig* manager = FindProcessManager(configs)) {
    std::string name = manager->command_line.ProgramPath().BaseName().value();
    if (!name.empty()) identity.executable_names.push_back(name);
  }
  std::string wrapper(base::TrimWhitespace(GetLoggingWrapperPath().value()));
  std::string wrapper_name = base::FilePath(wrapper).BaseName().value();
  if (!wrapper_name.empty()) identity.executable_names.push_back(wrapper_name);
  return identity;
}

bool ParsePidFileContent(std::string_view content, pid_t* pid) {
  int32_t value = 0;
  if (!base::StringToInt32(content, &value) || value <= 0) return false;
  *pid = static_cast<pid_t>(value);
  return true;
}

bool StoreProcessManagerPid(pid_t pid) {
  base::FilePath path = GetPidFilePath();
  std::string text = std::to_string(pid);
  int size = static_cast<int>(text.size());
  if (base::WriteRegularFileNoFollow(path, text.data(), size, 0644) != size) {
    LOG(ERROR) << "Cannot store PID of process manager: pid=" << text
               << ", pid_path=" << path.value();
    return false;
  }
  return true;
}

bool DeleteProcessManagerPidFile() {
  base::FilePath path = GetPidFilePath();
  if (!base::DeleteFile(path, /*recursive=*/false)) {
    LOG(ERROR) << "Cannot delete pid file: path=" << path.value();
    return false;
  }
  return true;
}

pid_t ReadProcessManagerPid(bool log_errors,
                            const ProcessManagerIdentity& identity) {
  base::FilePath path = GetPidFilePath();
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
  // Run as root, a file that someone else could have written is no record.
  bool trusted_file =
      geteuid() != 0 ||
      (info.owner_uid == 0 && (info.mode & (S_IWGRP | S_IWOTH)) == 0);
  if (status == base::SmallFileStatus::kTooLarge || !trusted_file ||
      !ParsePidFileContent(content, &pid)) {
    if (log_errors) {
      LOG(ERROR) << "Invalid pid: pid=" << content << ", path=" << path.value();
    }
    return 0;
  }
  if (kill(pid, 0) == 0 && IsTrustedProcess(pid, identity)) return pid;
  // A manager that removes its own pid file on the way out can be read just
  // before it removes the file and checked just after it has gone: the file
  // then is already gone, and that is a clean stop, not a stale record.
  if (!base::PathExists(path)) return 0;
  LOG(ERROR) << "Process manager is not running: pid=" << pid;
  DeleteProcessManagerPidFile();
  return 0;
}

int StartProcessManager(bool detached) {
  const base::ParsedCommandLine& own_line = base::ProcessCommandLine();
  base::FilePath config_path = GetProcessConfigPath();
  std::vector<ProcessConfig> configs;
  bool loaded = LoadProcessConfigs(config_path, &configs);
  ProcessManagerIdentity identity = MakeProcessManagerIdentity(loaded, configs);

  if (ReadProcessManagerPid(/*log_errors=*/false, identity) != 0) {
    LOG(WARNING) << "Process manager is already running.";
    return 1;
  }
  if (!loaded) {
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
      BuildProcessManagerCommandLine(*manager, configs, detached);
  base::ProcessHandle child = LaunchChild(kProcessManagerName, manager_line);
  if (!child.IsValid()) return 1;

  if (own_line.HasSwitchNamed("store-process-manager-pid")) {
    // Detached, the launched process exits as soon as the package runs on
    // its own: its pid would name a dead process, later a reused one.
    if (detached) {
      LOG(WARNING) << "--store-process-manager-pid applies to the blocking "
                      "start only; not storing the pid of the process that "
                      "detaches";
    } else {
      StoreProcessManagerPid(child.pid());
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
    DeleteProcessManagerPidFile();
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

int StopProcessManager() {
  std::vector<ProcessConfig> configs;
  ProcessManagerIdentity identity = LoadIdentity(&configs);
  pid_t pid = ReadProcessManagerPid(/*log_errors=*/true, identity);
  if (pid == 0) return 1;
  if (kill(pid, SIGTERM) != 0) {
    LOG(ERROR) << "Cannot kill process: pid=" << pid;
    return 1;
  }
  const base::TimeTicks start = base::TimeTicks::Now();
  base::TimeTicks next_sigterm = start + kStopResendInterval;
  const base::TimeTicks deadline = start + kStopTimeout;
  while (ReadProcessManagerPid(/*log_errors=*/false, identity) == pid) {
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

int KillPackageProcesses() {
  base::FilePath config_path = GetProcessConfigPath();
  std::vector<ProcessConfig> configs;
  bool loaded = LoadProcessConfigs(config_path, &configs);
  if (!loaded) {
    LOG(WARNING) << "Invalid or unreadable process json file: "
                 << config_path.value() << "; cannot manually kill services";
    configs.clear();
  }
  ProcessManagerIdentity identity = MakeProcessManagerIdentity(loaded, configs);

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
  for (const ProcessConfig* config : order) {
    std::string target = ScanNameOf(*config);
    if (target.empty()) continue;
    base::NamedProcessIterator instances(target);
    while (const base::ProcessEntry* entry = instances.NextProcessEntry()) {
      if (entry->pid == getpid()) continue;
      LOG(WARNING) << "Killing process '" << entry->pid
                   << "' with name: " << entry->exe_file;
      kill(entry->pid, SIGKILL);
    }
  }

  pid_t pid = ReadProcessManagerPid(/*log_errors=*/false, identity);
  DeleteProcessManagerPidFile();
  if (pid != 0 && kill(pid, 0) == 0) kill(pid, SIGKILL);
  return 0;
}

}  // namespace vorn
