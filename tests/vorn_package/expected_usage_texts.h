// The usage texts vorn_cli prints for the program name "vorn_cli", laid out
// by hand from the command, option and status-command tables: six blanks of
// indent, lines broken at the last blank within 74 characters.

#ifndef VORN_TESTS_VORN_PACKAGE_EXPECTED_USAGE_TEXTS_H_
#define VORN_TESTS_VORN_PACKAGE_EXPECTED_USAGE_TEXTS_H_

namespace vorn {
namespace testing_texts {

// Without any "options for service" section (no process.json).
constexpr const char kExpectedUsage[] =
    "\n"
    "Usage: vorn_cli <options> <command>\n"
    "\n"
    "commands:\n"
    "  start vorn\n"
    "      Starts vorn receiver package. It blocks until child processes exit. "
    "If\n"
    "      vorn receiver package is already running, it exits with error. Note "
    "that\n"
    "      killing the process blocked with this command doesn't stop vorn "
    "receiver\n"
    "      package.\n"
    "  start vorn async\n"
    "      Starts vorn receiver package. If vorn receiver package is already\n"
    "      running, it exits with error. If not, it exits after printing "
    "current\n"
    "      status.\n"
    "  stop vorn\n"
    "      Stops vorn receiver package if running. If not running, it exits "
    "with\n"
    "      error.\n"
    "  kill vorn\n"
    "      Forcibly stops vorn receiver package. Reads the current "
    "process.json\n"
    "      config and attempts to forcibly kill all services (including\n"
    "      process_manager) on the current system with matching executable "
    "names via\n"
    "      SIGKILL. This will stop the processes, but may leave behind shared "
    "or\n"
    "      persistent data, e.g. garbage in shared memory.\n"
    "  status\n"
    "      Queries status information from running vorn package. Add 'help' "
    "after\n"
    "      status command to list available package queries, i.e. 'status "
    "help'. If\n"
    "      no query is specified then the default receiver status is printed\n"
    "\n"
    "options:\n"
    "  --process-manager-pid-path=<path>\n"
    "      Process manager pid path. (default=$HOME/process_manager.pid)\n"
    "  --store-process-manager-pid\n"
    "      Store process manager pid. (default=don't store)\n"
    "  --dont-propagate-command-line\n"
    "      Don't propagate command line flags to child processes.\n"
    "      (default=propagate)\n"
    "  --vorn-package-env=[var vars...]\n"
    "      Collection of environment variables with format '<key>=<value>' "
    "delimited\n"
    "      by whitespace that will be set for all child processes. Actual "
    "spaces are\n"
    "      escaped with preceding backslash.\n"
    "  --status-timeout=<milliseconds>\n"
    "      Specify the number of milliseconds to allow vorn_shell to come "
    "online and\n"
    "      connect when responding to status commands. Vorn shell will be "
    "polled\n"
    "      every 50 ms, so timeout should be multiple of poll interval. "
    "(default=0)\n"
    "  --quiet\n"
    "      Silently ignore non-fatal zorvane logging messages.\n"
    "  --v=<verbose level>\n"
    "      Set verbose logging level. (default=0)\n"
    "  --help\n"
    "      Print this usage information and exit.\n"
    "  --version\n"
    "      Print the current version of vorn_cli tool.\n"
    "\n"
    "\n";

constexpr const char kExpectedStatusUsage[] =
    "\n"
    "Usage: vorn_cli [status-command]\n"
    "\n"
    "status-commands:\n"
    "  status  \n"
    "      Get the default receiver status for vorn package.\n"
    "  status help \n"
    "      List available status query commands for vorn package.\n"
    "  status get_app_config [app-id ...]\n"
    "      Get the application config settings for each listed app-id.\n"
    "  status discovery \n"
    "      Get discovery related information for default virtual device.\n";

}  // namespace testing_texts
}  // namespace vorn

#endif  // VORN_TESTS_VORN_PACKAGE_EXPECTED_USAGE_TEXTS_H_
