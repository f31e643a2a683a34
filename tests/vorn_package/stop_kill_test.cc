// End-to-end tests of "stop vorn" and "kill vorn", and of how far a pid file
// is trusted: the real vorn_cli in a package folder of its own, with the
// process manager stand-in started by "start vorn async".

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/files/process.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/log_line.h"
#include "tests/vorn_package/package_fixture.h"

namespace vorn {
namespace test {
namespace {

constexpr char kControl[] = "process_manager_control.cc";

class StopKillTest : public PackageTest {
 protected:
  // Starts the package detached and returns the daemon's pid (0 on failure).
  pid_t StartDaemon(const std::vector<std::string>& manager_args = {}) {
    WriteProcessJson(manager_args);
    ChildResult result = RunCli({"start", "vorn", "async"});
    EXPECT_EQ(0, result.exit_code) << result.err;
    return PidInFile();
  }

  // Runs the stand-in copy `path` in the foreground, as a program the test
  // controls, until it has recorded its arguments in `ready_file`.
  bool StartForeground(const std::string& path, const std::string& ready_file,
                       ChildProcess* child) {
    return StartProgram({path, "--record-command-line=" + ready_file}, child) &&
           WaitForFile(ready_file, 20000);
  }

  // The line that opens "Successfully stopped process_manager at pid <pid>
  // in <ms> ms"; true when `output` holds it with a number of milliseconds.
  static bool HasStoppedLine(const std::string& output, pid_t pid) {
    std::string opening = "Successfully stopped process_manager at pid " +
                          std::to_string(pid) + " in ";
    for (const LogLine& line : ParseLogLines(output)) {
      if (line.severity != "INFO" || line.file != kControl ||
          line.text.compare(0, opening.size(), opening) != 0) {
        continue;
      }
      std::string rest = line.text.substr(opening.size());
      size_t digits = rest.find_first_not_of("0123456789");
      return digits > 0 && digits != std::string::npos &&
             rest.substr(digits) == " ms";
    }
    return false;
  }
};

TEST_F(StopKillTest, StopWithoutPidFileFails) {
  WriteProcessJson({});
  ChildResult result = RunCli({"stop", "vorn"});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(
      IsOnlyLogLine(result.err, "ERROR", kControl,
                    "Cannot read PID of process manager: path=" + pid_file()));

  ChildResult quiet = RunCli({"--quiet", "stop", "vorn"});
  EXPECT_EQ(1, quiet.exit_code);
  EXPECT_EQ("", quiet.err);
}

TEST_F(StopKillTest, StopOfManagerThatLeavesItsPidFileBehind) {
  pid_t daemon = StartDaemon();
  ASSERT_TRUE(IsAlive(daemon));
  ChildResult result = RunCli({"stop", "vorn"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  // The next poll finds the record dead, reports it and removes it.
  EXPECT_TRUE(HasLogLine(
      result.err, "ERROR", kControl,
      "Process manager is not running: pid=" + std::to_string(daemon)));
  EXPECT_TRUE(HasStoppedLine(result.err, daemon)) << result.err;
  EXPECT_TRUE(WaitUntilGone(daemon, 5000));
  EXPECT_FALSE(WaitForFile(pid_file(), 0));
  EXPECT_EQ(1u, RecordedSigterms().size());
}

TEST_F(StopKillTest, StopOfManagerThatRemovesItsPidFile) {
  pid_t daemon = StartDaemon({"--remove-pid-file"});
  ChildResult result = RunCli({"stop", "vorn"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(0, CountLogLines(result.err, "ERROR", ""));
  EXPECT_TRUE(HasStoppedLine(result.err, daemon)) << result.err;
}

TEST_F(StopKillTest, StopEndsTheManagerAndTheServiceItRuns) {
  std::string service = InstallManagerCopy("svc");
  std::string service_name = service.substr(service.rfind('/') + 1);
  pid_t daemon = StartDaemon({"--service=${DIR_EXE}/" + service_name, "--",
                              "--record-command-line=${DIR_TEMP}/svc.args",
                              "--remove-pid-file"});
  ASSERT_TRUE(WaitForFile(Path("svc.args"), 20000));
  std::vector<pid_t> services = RunningInstances(service_name);
  ASSERT_EQ(1u, services.size());
  // The service got the arguments after "--", the propagated switches none.
  std::vector<std::string> expected = {
      service, "--record-command-line=" + Path("svc.args"),
      "--remove-pid-file"};
  EXPECT_EQ(expected, SplitLines(ReadFile(Path("svc.args"))));

  ChildResult stop = RunCli({"stop", "vorn"});
  EXPECT_EQ(0, stop.exit_code) << stop.err;
  EXPECT_TRUE(HasStoppedLine(stop.err, daemon)) << stop.err;
  EXPECT_TRUE(WaitUntilGone(services[0], 5000));
}

TEST_F(StopKillTest, StopTakesThePidPathSwitch) {
  std::string custom = Path("elsewhere.pid");
  WriteProcessJson({});
  ChildResult start = RunCli(
      {"start", "vorn", "async", "--process-manager-pid-path=" + custom});
  ASSERT_EQ(0, start.exit_code) << start.err;
  ASSERT_TRUE(WaitForFile(custom, 0));
  EXPECT_FALSE(WaitForFile(pid_file(), 0));

  EXPECT_EQ(1, RunCli({"stop", "vorn"}).exit_code);
  ChildResult stop =
      RunCli({"stop", "vorn", "--process-manager-pid-path=" + custom});
  EXPECT_EQ(0, stop.exit_code) << stop.err;
}

TEST_F(StopKillTest, KillEndsEveryConfiguredProgramManagerFirst) {
  std::string service = InstallManagerCopy("svc");
  std::string service_name = service.substr(service.rfind('/') + 1);
  WriteProcessJson({}, "",
                   {R"({"name": "vorn_shell", "command": ["${DIR_EXE}/)" +
                    service_name + R"("]})"});
  ChildResult start = RunCli({"start", "vorn", "async"});
  ASSERT_EQ(0, start.exit_code) << start.err;
  pid_t daemon = PidInFile();
  ChildProcess shell;
  ASSERT_TRUE(StartForeground(service, Path("svc.args"), &shell));

  ChildResult result = RunCli({"kill", "vorn"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  std::vector<LogLine> lines = ParseLogLines(result.err);
  ASSERT_GE(lines.size(), 2u) << result.err;
  EXPECT_EQ("Killing process '" + std::to_string(daemon) +
                "' with name: " + manager_name(),
            lines[0].text);
  EXPECT_EQ("Killing process '" + std::to_string(shell.pid()) +
                "' with name: " + service_name,
            lines[1].text);
  EXPECT_EQ("WARNING", lines[1].severity);
  // The manager it has just killed is no stale record.
  EXPECT_EQ(0, CountLogLines(result.err, "ERROR", "")) << result.err;
  EXPECT_TRUE(WaitUntilGone(daemon, 5000));
  ChildResult shell_end;
  ASSERT_TRUE(shell.Wait(5000, &shell_end));
  EXPECT_EQ(SIGKILL, shell_end.term_signal);
  EXPECT_FALSE(WaitForFile(pid_file(), 0));
}

TEST_F(StopKillTest, KillWithoutProcessJsonEndsOnlyTheRecordedPid) {
  pid_t daemon = StartDaemon();
  ASSERT_TRUE(IsAlive(daemon));
  ASSERT_EQ(0, unlink(Path("process.json").c_str()));
  ChildResult result = RunCli({"kill", "vorn"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_TRUE(IsOnlyLogLine(
      result.err, "WARNING", kControl,
      "Invalid or unreadable process json file: " + Path("process.json") +
          "; cannot manually kill services"));
  EXPECT_TRUE(WaitUntilGone(daemon, 5000));
  EXPECT_FALSE(WaitForFile(pid_file(), 0));
}

TEST_F(StopKillTest, KillWithNothingRunningSaysNothing) {
  WriteProcessJson({});
  ChildResult result = RunCli({"kill", "vorn"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("", result.err);
}

TEST_F(StopKillTest, KillSkipsAProgramWithoutAnExecutableName) {
  WriteProcessJson({}, "", {R"({"name": "typo", "command": ["${DIR_EXE}/"]})"});
  ChildResult result = RunCli({"kill", "vorn"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_TRUE(IsOnlyLogLine(result.err, "ERROR", kControl,
                            "Program of process config has no executable "
                            "name; not looking for its processes: name=typo, "
                            "program=" +
                                dir() + "/"));
}

// A pid file is read without blocking, only as a regular file of at most 11
// bytes, and never through a link.
TEST_F(StopKillTest, UnsafePidFilesAreRefusedWithoutHanging) {
  WriteProcessJson({});
  ASSERT_EQ(0, mkfifo(pid_file().c_str(), 0644));
  ChildResult fifo = RunCli({"stop", "vorn"}, 10000);
  EXPECT_FALSE(fifo.timed_out);
  EXPECT_EQ(1, fifo.exit_code);
  EXPECT_TRUE(
      HasLogLine(fifo.err, "ERROR", kControl,
                 "Cannot read PID of process manager: path=" + pid_file()));
  ChildResult kill_fifo = RunCli({"kill", "vorn"}, 10000);
  EXPECT_FALSE(kill_fifo.timed_out);
  EXPECT_EQ(0, kill_fifo.exit_code);

  RemoveTree(pid_file());
  ASSERT_EQ(0, symlink("/dev/zero", pid_file().c_str()));
  ChildResult zero = RunCli({"stop", "vorn"}, 10000);
  EXPECT_FALSE(zero.timed_out);
  EXPECT_EQ(1, zero.exit_code);
  EXPECT_TRUE(
      HasLogLine(zero.err, "ERROR", kControl,
                 "Cannot read PID of process manager: path=" + pid_file()));

  RemoveTree(pid_file());
  ASSERT_TRUE(WriteFile(pid_file(), "000000000012"));
  ChildResult long_file = RunCli({"stop", "vorn"});
  EXPECT_EQ(1, long_file.exit_code);
  EXPECT_TRUE(HasLogLine(long_file.err, "ERROR", kControl,
                         "Invalid pid: pid=00000000001, path=" + pid_file()));
}

TEST_F(StopKillTest, PidFileWritableByOthersIsNotTrustedByRoot) {
  if (geteuid() != 0) GTEST_SKIP() << "only a root-run vorn_cli checks this";
  pid_t daemon = StartDaemon();
  ASSERT_TRUE(IsAlive(daemon));
  ASSERT_EQ(0, chmod(pid_file().c_str(), 0666));
  ChildResult writable = RunCli({"stop", "vorn"});
  EXPECT_EQ(1, writable.exit_code);
  EXPECT_TRUE(IsOnlyLogLine(
      writable.err, "ERROR", kControl,
      "Invalid pid: pid=" + std::to_string(daemon) + ", path=" + pid_file()));

  ASSERT_EQ(0, chmod(pid_file().c_str(), 0644));
  ASSERT_EQ(0, chown(pid_file().c_str(), 65534, 65534));
  ChildResult foreign = RunCli({"stop", "vorn"});
  EXPECT_EQ(1, foreign.exit_code);
  EXPECT_EQ(1, CountLogLines(foreign.err, "ERROR", "Invalid pid: pid="));
  ChildResult kill = RunCli({"kill", "vorn"});
  EXPECT_EQ(0, kill.exit_code);
  // Kill still finds the manager by name, not through the file.
  EXPECT_TRUE(WaitUntilGone(daemon, 5000));
  EXPECT_TRUE(RecordedSigterms().empty());
}

TEST_F(StopKillTest, LiveProcessOfAnotherProgramIsNeverSignalled) {
  WriteProcessJson({});
  std::string own = std::to_string(getpid());
  ASSERT_TRUE(WriteFile(pid_file(), own));
  ChildResult stop = RunCli({"stop", "vorn"});
  EXPECT_EQ(1, stop.exit_code);
  // This test's executable as another process sees it (the emulator, under
  // qemu-arm, which shows a process its own link differently).
  ChildOptions readlink_options;
  readlink_options.argv = {"readlink", "/proc/" + own + "/exe"};
  std::string exe = RunChild(readlink_options).out;
  ASSERT_FALSE(exe.empty());
  exe.pop_back();  // the line feed
  EXPECT_EQ(2u, ParseLogLines(stop.err).size()) << stop.err;
  EXPECT_TRUE(HasLogLine(stop.err, "ERROR", kControl,
                         "Process manager is not running: pid=" + own));
  EXPECT_TRUE(HasLogLine(stop.err, "ERROR", kControl,
                         "Recorded pid belongs to another program: pid=" + own +
                             ", program=" + exe));
  EXPECT_FALSE(WaitForFile(pid_file(), 0));

  ASSERT_TRUE(WriteFile(pid_file(), own));
  ChildResult kill = RunCli({"kill", "vorn"});
  EXPECT_EQ(0, kill.exit_code);
  EXPECT_FALSE(WaitForFile(pid_file(), 0));
  // Still here to check: neither command signalled this process.
}

TEST_F(StopKillTest, RecordedLogWrapperIsTrustedAsTheManager) {
  // A wrapper that stays in between (unlike the logshim stand-in, which
  // replaces itself) is what a blocking start records.
  std::string wrapper = InstallManagerCopy("wrapper");
  WriteProcessJson({});
  ChildProcess running;
  ASSERT_TRUE(StartForeground(wrapper, Path("wrapper.args"), &running));
  ASSERT_TRUE(WriteFile(pid_file(), std::to_string(running.pid())));
  ChildResult stop = RunCli({"stop", "vorn", "--log-wrapper-path=" + wrapper});
  EXPECT_EQ(0, stop.exit_code) << stop.err;
  ChildResult end;
  ASSERT_TRUE(running.Wait(5000, &end));
  EXPECT_EQ(0, end.exit_code);
}

// Pids 0 and -1 would reach a whole process group or every process, and 1 is
// init: a build without the check, run as root, would end the machine's
// processes. Only inside a PID namespace of the test's own.
TEST_F(StopKillTest, PidsZeroMinusOneAndInitAreNeverSignalled) {
  if (!InPidNamespace()) {
    GTEST_SKIP() << "needs a PID namespace of its own (pid_namespace_run); "
                    "the parsing is covered by the unit tests";
  }
  WriteProcessJson({});
  for (const char* content : {"0", "-1", "+0", "1"}) {
    ASSERT_TRUE(WriteFile(pid_file(), content));
    ChildResult stop = RunCli({"stop", "vorn"});
    EXPECT_EQ(1, stop.exit_code) << content;
    EXPECT_TRUE(IsOnlyLogLine(
        stop.err, "ERROR", kControl,
        std::string("Invalid pid: pid=") + content + ", path=" + pid_file()));
    ChildResult kill = RunCli({"kill", "vorn"});
    EXPECT_EQ(0, kill.exit_code) << content;
    EXPECT_EQ(0, kill.term_signal) << content;
  }
  // Nor is init found by name: here it is this namespace's runner, the only
  // process under that name, so a kill of a program of that name ends nothing
  // and says nothing.
  unlink(pid_file().c_str());  // if the last kill left the record
  WriteProcessJson({}, "",
                   {R"({"name": "init_namesake", "command": [")" +
                    std::string(getenv("VORN_PID_NAMESPACE_RUN")) + R"("]})"});
  ChildResult kill = RunCli({"kill", "vorn"});
  EXPECT_EQ(0, kill.exit_code);
  EXPECT_EQ("", kill.err);
}

// Without a namespace, the test runs from a process that can still fork.
TEST(PidNamespaceRunTest, FallbackRunsTheTestWhereItCanFork) {
  for (const char* step : {"unshare", "mount"}) {
    ChildOptions options;
    options.argv = {getenv("VORN_PID_NAMESPACE_RUN"), "/bin/sh", "-c",
                    "/bin/echo $VORN_PID_NAMESPACE; /bin/echo forked"};
    options.env = {{"VORN_PID_NAMESPACE_RUN_FAIL", step}};
    ChildResult result = RunChild(options);
    EXPECT_EQ(0, result.exit_code) << step << ": " << result.err;
    EXPECT_EQ("0\nforked\n", result.out) << step;
  }
}

TEST_F(StopKillTest, OwnPidIsAnInvalidRecordEvenWithoutProcessJson) {
  for (const char* command : {"stop", "kill"}) {
    // The shell records its own pid, then becomes vorn_cli.
    ChildOptions options = CliOptions({command, "vorn"});
    options.argv.insert(
        options.argv.begin(),
        {"sh", "-c", "printf %s $$ >\"$0\" && exec \"$@\"", pid_file()});
    EXPECT_EQ(command[0] == 's' ? 1 : 0, RunChild(options).exit_code)
        << command;
  }
}

TEST_F(StopKillTest, UnprivilegedRunTakesARootManagerAsRunning) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to run vorn_cli as nobody";
  pid_t daemon = StartDaemon();
  ASSERT_EQ(0, chmod(dir().c_str(), 0755));
  const char* const kRuns[][3] = {
      {"stop", "ERROR", "Cannot kill process: pid="},
      {"start", "WARNING", "Process manager is already running."}};
  for (const auto& [command, severity, message] : kRuns) {
    ChildOptions options = CliOptions({command, "vorn"});
    options.argv.insert(
        options.argv.begin(),
        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    ChildResult result = RunChild(options);
    EXPECT_EQ(1, result.exit_code) << result.err;
    EXPECT_EQ(1, CountLogLines(result.err, severity, message)) << result.err;
  }
  EXPECT_EQ(std::vector<pid_t>{daemon}, RunningInstances(manager_name()));
  EXPECT_EQ(daemon, PidInFile());
}

TEST_F(StopKillTest, ProcessJsonIsReadOnlyToIdentifyALiveRecord) {
  StartDaemon({"--remove-pid-file"});
  WriteRawProcessJson("[1,");
  ChildResult again = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(1, again.exit_code);
  EXPECT_TRUE(IsOnlyLogLine(again.err, "WARNING", kControl,
                            "Process manager is already running."));
  ChildResult stop = RunCli({"stop", "vorn"});
  EXPECT_EQ(0, stop.exit_code);
  EXPECT_EQ(0, CountLogLines(stop.err, "ERROR", "")) << stop.err;

  // Without a record there is nothing to identify: no path variables.
  WriteProcessJson({});
  ChildOptions options = CliOptions({"stop", "vorn"});
  options.env = {{"TMPDIR", ""}};
  ChildResult no_tmp = RunChild(options);
  EXPECT_EQ(0, CountLogLines(no_tmp.err, "ERROR", "Cannot get dir for"));
}

// stop, kill and a second start know a recorded manager that runs through a
// symbolic link, as a script, or under a log wrapper that forks (at a path
// the later commands are not given).
TEST_F(StopKillTest, RecordedManagerIsKnownInEveryForm) {
  std::string shim = InstallLogshim();
  std::string link = Path("pm_link");
  ASSERT_EQ(0, symlink(manager().c_str(), link.c_str()));
  std::string script = Path("pm.sh");
  ASSERT_TRUE(WriteFile(script,
                        "#!/bin/sh\n: >\"$TMPDIR/manager.args\"\n"
                        "trap 'exit 0' TERM\n"
                        "while :; do sleep 1 & wait $!; done\n"));
  ASSERT_EQ(0, chmod(script.c_str(), 0755));
  for (const auto& [program, forks] : std::vector<std::pair<std::string, bool>>{
           {link, false}, {script, false}, {manager(), true}}) {
    SCOPED_TRACE(program + (forks ? " under a forking wrapper" : ""));
    WriteRawProcessJson(
        R"([{"name": "process_manager", "command": [)" + JsonQuote(program) +
        ", " + JsonQuote("--record-command-line=" + args_file()) + "]}]");
    ChildOptions options =
        CliOptions({"start", "vorn", "--store-process-manager-pid",
                    "--log-wrapper-path=" + shim});
    if (forks) options.env.push_back({"VORN_LOGSHIM_FORK", "1"});
    for (const char* command : {"stop", "kill"}) {
      unlink(args_file().c_str());
      ChildProcess start;
      ASSERT_TRUE(start.Start(options));
      ASSERT_TRUE(WaitForFile(args_file(), 20000));
      pid_t recorded = WaitForPidInFile(20000);
      EXPECT_EQ(1, RunCli({"start", "vorn", "async"}).exit_code);
      EXPECT_EQ(0, RunCli({command, "vorn"}).exit_code) << command;
      ChildResult end;
      EXPECT_TRUE(start.Wait(20000, &end)) << command;
      EXPECT_FALSE(IsAlive(recorded)) << command;
    }
  }
}

}  // namespace
}  // namespace test
}  // namespace vorn
