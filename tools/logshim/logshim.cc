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

#include <unistd.h>

#include <string>

#include "base/files/command_line.h"
#include "base/logging/logging.h"

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
  execvp(argv[1], argv + 1);
  PLOG(ERROR) << "logshim: cannot run " << argv[1];
  return 127;
}
