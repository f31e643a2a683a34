// logshim: stand-in for the log wrapper that vorn_cli puts in front of the
// process manager ("/bin/logshim" on the device). Its calling convention is
// the whole interface: the wrapped program and that program's arguments are
// its own arguments, and it runs that program.
//
//   logshim /opt/vorn/process_manager --async --restart-limit=3
//
// It logs one INFO line naming what it runs, then replaces itself with the
// program (execvp, so a name without "/" is looked up in PATH). The program
// therefore keeps logshim's pid, its standard streams and its parent: a
// blocking vorn_cli waits for the program itself. Exit status 127 when the
// program cannot be run, 2 when no program is given.
//
// With VORN_LOGSHIM_FORK=1 in its environment it stays in between instead, as
// some wrappers do: it runs the program as its child, passes SIGTERM, SIGINT
// and SIGHUP on to it, and exits with its status (128 + the signal when a
// signal ended it).

#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "base/files/command_line.h"
#include "base/logging/eintr.h"
#include "base/logging/logging.h"

namespace {

pid_t g_child = 0;  // the program, in forking mode

void PassSignalOn(int signal_number) { kill(g_child, signal_number); }

// Runs argv[0] as a child until it ends; returns its status for our exit.
int RunAsChild(char** argv) {
  g_child = fork();
  if (g_child < 0) {
    PLOG(ERROR) << "logshim: cannot fork";
    return 127;
  }
  if (g_child == 0) {
    execvp(argv[0], argv);
    PLOG(ERROR) << "logshim: cannot run " << argv[0];
    _exit(127);
  }
  for (int signal_number : {SIGTERM, SIGINT, SIGHUP}) {
    signal(signal_number, PassSignalOn);
  }
  int status = 0;
  if (base::RetryOnEintr([&] { return waitpid(g_child, &status, 0); }) < 0) {
    return 127;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

int main(int argc, char** argv) {
  logging::LoggingSettings settings;
  settings.logging_dest = logging::LOG_TO_STDERR;
  logging::InitLogging(settings);
  if (argc < 2) {
    LOG(ERROR) << "logshim: no program to run";
    return 2;
  }
  std::string text = argv[1];
  for (int i = 2; i < argc; ++i) {
    text += ' ';
    text += argv[i];
  }
  LOG(INFO) << "logshim: running " << text;
  const char* fork_mode = getenv("VORN_LOGSHIM_FORK");
  if (fork_mode != nullptr && strcmp(fork_mode, "1") == 0) {
    return RunAsChild(argv + 1);
  }
  execvp(argv[1], argv + 1);
  PLOG(ERROR) << "logshim: cannot run " << argv[1];
  return 127;
}
