// vorn_cli: starts, stops and kills the receiver package and queries the
// running receiver. Each run does one thing, chosen by its positional
// arguments, and exits with a status:
//
//   0   success
//   1   the command failed (unknown command, failed status query, ...)
//   2   start refused because of process.json
//   10  stop timed out
//   any other: the process manager's own exit code, passed through by start
//
// Only the usage text, the version line and the status-command list go to
// standard output; everything else is a log line on standard error.

#include <signal.h>

#include <cstdio>
#include <string>

#include "base/files/at_exit.h"
#include "base/files/command_line.h"
#include "base/logging/logging.h"
#include "vorn_package/package_utils.h"
#include "vorn_package/process_manager_control.h"
#include "vorn_package/usage.h"
#include "vorn_package/vorn_status_service.h"

namespace {

constexpr const char kVersion[] = "1.0";

std::string JoinCommandText(const base::StringVector& args) {
  std::string text;
  for (size_t i = 0; i < args.size(); ++i) {
    if (i > 0) text += ' ';
    text += args[i];
  }
  return text;
}

int Dispatch(const vorn::PackageContext& context,
             const std::string& program_name) {
  base::StringVector args = context.command_line.PositionalArguments();
  if (!args.empty() && args[0] == "status") {
    if (args.size() >= 2 && args[1] == "help") {
      vorn::PrintStatusUsage(program_name);
      return 0;
    }
    return vorn::RunStatusQuery(context, args);
  }

  std::string command_text = JoinCommandText(args);
  if (command_text == "start vorn") {
    return vorn::StartProcessManager(context, /*detached=*/false);
  }
  if (command_text == "start vorn async") {
    return vorn::StartProcessManager(context, /*detached=*/true);
  }
  if (command_text == "stop vorn") return vorn::StopProcessManager(context);
  if (command_text == "kill vorn") return vorn::KillPackageProcesses(context);

  LOG(ERROR) << "Unknown command: " << command_text;
  vorn::PrintUsage(context, program_name);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  base::InitProcessCommandLine(argc, argv);
  // A SIGCHLD ignored by whoever started us is inherited through exec; then
  // the kernel reaps our children itself and the wait for the process
  // manager could never learn its exit code. Take the default back before
  // any child is launched (children inherit the default in turn).
  signal(SIGCHLD, SIG_DFL);

  logging::LoggingSettings settings;
  settings.logging_dest =
      logging::LOG_TO_SYSTEM_DEBUG_LOG | logging::LOG_TO_STDERR;
  settings.delete_old = logging::APPEND_TO_OLD_LOG_FILE;
  base::AddVerbositySwitches(base::ProcessCommandLine(), &settings);
  logging::InitLogging(settings);

  int status;
  {
    base::AtExitManager exit_manager;
    // The invocation name exactly as given, for the usage texts.
    std::string program_name = argc > 0 && argv[0] ? argv[0] : "";
    // Everything the commands need from the command line and the path
    // service, gathered once.
    const vorn::PackageContext context =
        vorn::MakePackageContext(base::ProcessCommandLine());
    const base::ParsedCommandLine& command_line = context.command_line;
    if (command_line.HasSwitchNamed("help")) {
      status = vorn::PrintUsage(context, program_name);
    } else if (command_line.HasSwitchNamed("version")) {
      printf("vorn_cli %s\n", kVersion);
      status = 0;
    } else {
      if (command_line.HasSwitchNamed("quiet")) {
        logging::SetMinLogLevel(logging::LOG_FATAL);
      }
      status = Dispatch(context, program_name);
    }
  }
  fflush(stdout);
  return status;
}
