#include "vorn_package/usage.h"

#include <cstdint>
#include <cstdio>

#include "base/logging/logging.h"
#include "base/logging/string_number.h"
#include "vorn_package/package_utils.h"

namespace vorn {

namespace {

constexpr size_t kWrapWidth = 73;  // text per line when breaking at a blank
constexpr const char kIndent[] = "      ";

void PrintDescription(const char* description) {
  printf("%s\n", WrapHelpText(description).c_str());
}

}  // namespace

const UsageEntry kCommandUsage[] = {
    {"start vorn", nullptr,
     "Starts vorn receiver package. It blocks until child processes exit. If "
     "vorn receiver package is already running, it exits with error. Note "
     "that killing the process blocked with this command doesn't stop vorn "
     "receiver package."},
    {"start vorn async", nullptr,
     "Starts vorn receiver package. If vorn receiver package is already "
     "running, it exits with error. If not, it exits after printing current "
     "status."},
    {"stop vorn", nullptr,
     "Stops vorn receiver package if running. If not running, it exits with "
     "error."},
    {"kill vorn", nullptr,
     "Forcibly stops vorn receiver package. Reads the current process.json "
     "config and attempts to forcibly kill all services (including "
     "process_manager) on the current system with matching executable names "
     "via SIGKILL. This will stop the processes, but may leave behind shared "
     "or persistent data, e.g. garbage in shared memory."},
    {"status", nullptr,
     "Queries status information from running vorn package. Add 'help' after "
     "status command to list available package queries, i.e. 'status help'. "
     "If no query is specified then the default receiver status is printed"},
};
const size_t kCommandUsageCount = sizeof(kCommandUsage) / sizeof(UsageEntry);

const UsageEntry kOptionUsage[] = {
    {"process-manager-pid-path", "<path>",
     "Process manager pid path. (default=$HOME/process_manager.pid)"},
    {"store-process-manager-pid", nullptr,
     "Store process manager pid. (default=don't store)"},
    {"dont-propagate-command-line", nullptr,
     "Don't propagate command line flags to child processes. "
     "(default=propagate)"},
    {"vorn-package-env", "[var vars...]",
     "Collection of environment variables with format '<key>=<value>' "
     "delimited by whitespace that will be set for all child processes. "
     "Actual spaces are escaped with preceding backslash."},
    {"status-timeout", "<milliseconds>",
     "Specify the number of milliseconds to allow vorn_shell to come online "
     "and connect when responding to status commands. Vorn shell will be "
     "polled every 50 ms, so timeout should be multiple of poll interval. "
     "(default=0)"},
    {"quiet", nullptr, "Silently ignore non-fatal zorvane logging messages."},
    {"v", "<verbose level>", "Set verbose logging level. (default=0)"},
    {"help", nullptr, "Print this usage information and exit."},
    {"version", nullptr, "Print the current version of vorn_cli tool."},
};
const size_t kOptionUsageCount = sizeof(kOptionUsage) / sizeof(UsageEntry);

const UsageEntry kStatusCommandUsage[] = {
    {"", nullptr, "Get the default receiver status for vorn package."},
    {"help", nullptr, "List available status query commands for vorn package."},
    {"get_app_config", "[app-id ...]",
     "Get the application config settings for each listed app-id."},
    {"discovery", nullptr,
     "Get discovery related information for default virtual device."},
};
const size_t kStatusCommandUsageCount =
    sizeof(kStatusCommandUsage) / sizeof(UsageEntry);

const UsageEntry kUnlistedOptionUsage[] = {
    {"log-wrapper-path", "<path>",
     "Log wrapper that starts each child process. An empty value starts "
     "them directly. (default=/bin/logshim)"},
    {"vorn-cli-socket-file-path", "<path>",
     "File holding the path of the receiver's status socket. "
     "(default=$TMPDIR/vorn-cli-socket.path)"},
    {"vmodule", "<pattern=level,...>",
     "Per-source verbose logging levels, as comma-separated pattern=level "
     "pairs."},
};
const size_t kUnlistedOptionUsageCount =
    sizeof(kUnlistedOptionUsage) / sizeof(UsageEntry);

base::StringVector AcceptedOptionNames() {
  base::StringVector names;
  for (size_t i = 0; i < kOptionUsageCount; ++i) {
    names.emplace_back(kOptionUsage[i].name);
  }
  return names;
}

std::string WrapHelpText(std::string_view text) {
  std::string wrapped;
  size_t i = 0;
  while (i < text.size()) {
    std::string_view rest = text.substr(i);
    wrapped += kIndent;
    if (rest.size() <= kWrapWidth) {
      wrapped.append(rest);
      break;
    }
    size_t blank = rest.rfind(' ', kWrapWidth);
    if (blank != std::string_view::npos) {
      wrapped.append(rest.substr(0, blank));
      i += blank + 1;
    } else {
      wrapped.append(rest.substr(0, kWrapWidth + 1));
      i += kWrapWidth + 1;
    }
    wrapped += '\n';
  }
  return wrapped;
}

int PrintUsageWithConfigs(const std::string& program_name,
                          const std::vector<ProcessConfig>* configs) {
  printf("\nUsage: %s <options> <command>\n", program_name.c_str());
  printf("\ncommands:\n");
  for (size_t i = 0; i < kCommandUsageCount; ++i) {
    printf("  %s\n", kCommandUsage[i].name);
    PrintDescription(kCommandUsage[i].description);
  }
  printf("\noptions:\n");
  for (size_t i = 0; i < kOptionUsageCount; ++i) {
    const UsageEntry& option = kOptionUsage[i];
    if (option.placeholder) {
      printf("  --%s=%s\n", option.name, option.placeholder);
    } else {
      printf("  --%s\n", option.name);
    }
    PrintDescription(option.description);
  }
  if (configs) {
    for (const ProcessConfig& config : *configs) {
      if (config.external_flags.empty()) continue;
      printf("\noptions for service \"%s\":\n", config.name.c_str());
      for (const ExternalFlag& flag : config.external_flags) {
        if (flag.value_expression.empty()) {
          printf("  --%s\n", flag.name.c_str());
        } else {
          printf("  --%s=%s\n", flag.name.c_str(),
                 flag.value_expression.c_str());
        }
        if (!flag.description.empty()) {
          printf("%s\n", WrapHelpText(flag.description).c_str());
        }
      }
    }
  }
  printf("\n\n");
  return configs ? 0 : 1;
}

int PrintUsage(const PackageContext& context, const std::string& program_name) {
  std::vector<ProcessConfig> configs;
  bool loaded =
      LoadProcessConfigs(context, GetProcessConfigPath(context), &configs);
  return PrintUsageWithConfigs(program_name, loaded ? &configs : nullptr);
}

void PrintStatusUsage(const std::string& program_name) {
  printf("\nUsage: %s [status-command]\n", program_name.c_str());
  printf("\nstatus-commands:\n");
  for (size_t i = 0; i < kStatusCommandUsageCount; ++i) {
    const UsageEntry& command = kStatusCommandUsage[i];
    printf("  %s %s %s\n", "status", command.name,
           command.placeholder ? command.placeholder : "");
    PrintDescription(command.description);
  }
}

base::TimeDelta ParseStatusTimeout(
    const base::ParsedCommandLine& command_line) {
  if (!command_line.HasSwitchNamed("status-timeout")) return base::TimeDelta();
  std::string text = command_line.SwitchValue("status-timeout");
  int32_t milliseconds = 0;
  if (!base::StringToInt32(text, &milliseconds)) {
    LOG(WARNING) << "Invalid timeout value: " << text;
    return base::TimeDelta();
  }
  if (milliseconds <= 0) return base::TimeDelta();
  return base::TimeDelta::FromMilliseconds(milliseconds);
}

}  // namespace vorn
