// End-to-end tests of "start vorn" and "start vorn async": the real vorn_cli
// in a package folder of its own, launching the process manager stand-in.

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/log_line.h"
#include "tests/vorn_package/package_fixture.h"

namespace vorn {
namespace test {
namespace {

constexpr char kControl[] = "process_manager_control.cc";

class StartTest : public PackageTest {
 protected:
  // The switches the process manager got beyond those of its process.json
  // entry (which are the program, the two --record-... and `own_args`).
  std::vector<std::string> AddedArgs(size_t own_args) const {
    std::vector<std::string> args = RecordedArgs();
    size_t skip = 3 + own_args;
    if (args.size() < skip) return {};
    return std::vector<std::string>(args.begin() + skip, args.end());
  }

  // A pid that no process has: a child that has ended and been reaped.
  static pid_t DeadPid() {
    pid_t pid = fork();
    if (pid == 0) _exit(0);
    int status = 0;
    waitpid(pid, &status, 0);
    return pid;
  }

  int Count(const std::vector<std::string>& args, const std::string& arg) {
    return static_cast<int>(std::count(args.begin(), args.end(), arg));
  }
};

TEST_F(StartTest, BlockingStartPassesTheExitCodeThroughAndDeletesThePidFile) {
  WriteProcessJson({"--run-time-ms=0", "--exit-code=3"});
  ChildResult result = RunCli({"start", "vorn", "--store-process-manager-pid"});
  EXPECT_EQ(3, result.exit_code) << result.err;
  EXPECT_TRUE(HasLogLine(result.err, "INFO", kControl,
                         "Process manager has stopped: exit_code=3"));
  EXPECT_FALSE(WaitForFile(pid_file(), 0));
}

TEST_F(StartTest, ProcessManagerEndedBySignalGives255ToTheShell) {
  WriteProcessJson({"--run-time-ms=0", "--end-signal=15"});
  ChildResult result = RunCli({"start", "vorn"});
  EXPECT_EQ(255, result.exit_code) << result.err;
  EXPECT_TRUE(HasLogLine(result.err, "INFO", kControl,
                         "Process manager has stopped: exit_code=-1"));
}

TEST_F(StartTest, BlockingStartStoresThePidWithMode0644AndStopEndsIt) {
  WriteProcessJson({});
  // A file of another user's at the pid path is replaced, not written into,
  // so the stop below still trusts the record.
  ASSERT_TRUE(WriteFile(pid_file(), "", 0666));
  ASSERT_EQ(0, geteuid() == 0 ? chown(pid_file().c_str(), 65534, 65534) : 0);
  mode_t old_umask = umask(0);
  ChildProcess start;
  ASSERT_TRUE(
      StartCli({"start", "vorn", "--store-process-manager-pid"}, &start));
  umask(old_umask);
  ASSERT_TRUE(WaitForFile(args_file(), 20000));
  pid_t pid = WaitForPidInFile(20000);
  EXPECT_EQ(std::vector<pid_t>{pid}, RunningInstances(manager_name()));
  struct stat info;
  ASSERT_EQ(0, stat(pid_file().c_str(), &info));
  EXPECT_EQ(0644u, info.st_mode & 07777);

  ChildResult stop = RunCli({"stop", "vorn"});
  EXPECT_EQ(0, stop.exit_code) << stop.err;
  ChildResult blocking;
  ASSERT_TRUE(start.Wait(20000, &blocking));
  EXPECT_EQ(0, blocking.exit_code) << blocking.err;
  EXPECT_FALSE(WaitForFile(pid_file(), 0));
}

TEST_F(StartTest, AsyncStartDetachesAndAddsAsync) {
  WriteProcessJson({"--remove-pid-file"});
  ChildResult result = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_TRUE(HasLogLine(result.err, "INFO", kControl,
                         "Process manager successfully started as daemon"));
  EXPECT_EQ(std::vector<std::string>{"--async"}, AddedArgs(1));
  pid_t daemon = PidInFile();
  EXPECT_EQ(std::vector<pid_t>{daemon}, RunningInstances(manager_name()));

  ChildResult again = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(1, again.exit_code);
  EXPECT_TRUE(HasLogLine(again.err, "WARNING", kControl,
                         "Process manager is already running."));
}

TEST_F(StartTest, AsyncStartAddsNoSecondAsync) {
  WriteProcessJson({"--async"});
  ChildResult result = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(1, Count(RecordedArgs(), "--async"));
}

TEST_F(StartTest, FailedDaemonStartPassesItsCodeAndLeavesThePidFile) {
  WriteProcessJson({"--exit-code=3"});
  // Invalid content: the start reads it without a message and goes on.
  ASSERT_TRUE(WriteFile(pid_file(), "123\n"));
  ChildResult result = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(3, result.exit_code) << result.err;
  EXPECT_TRUE(HasLogLine(result.err, "ERROR", kControl,
                         "Process manager failed to start as daemon: "
                         "exit_code=3"));
  EXPECT_EQ("123\n", ReadFile(pid_file()));
  EXPECT_EQ(0, CountLogLines(result.err, "ERROR", "pid"));
}

TEST_F(StartTest, PropagatesExternalFlagsInNameOrderThenEnvAndPidPath) {
  std::string service = InstallManagerCopy("svc");
  WriteProcessJson({"--run-time-ms=0"},
                   R"("external_flags": [{"name": "zeta"},
          {"name": "alpha", "value_expression": "<n>"}])",
                   {R"({"name": "vorn_shell", "command": ["${DIR_EXE}/)" +
                    service.substr(service.rfind('/') + 1) + R"("],
          "external_flags": [{"name": "alpha", "description": "again"},
                             {"name": "beta", "value_expression": "<b>"}]})"});
  std::string custom_pid = Path("custom.pid");
  ChildResult result =
      RunCli({"start", "vorn", "--zeta", "--alpha=1", "--beta",
              "--vorn-package-env=A=1 B\\ 2",
              "--process-manager-pid-path=" + custom_pid, "--gamma=3"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  std::vector<std::string> expected = {
      "--alpha=1", "--beta", "--zeta", "--vorn-package-env=A=1 B\\ 2",
      "--process-manager-pid-path=" + custom_pid};
  EXPECT_EQ(expected, AddedArgs(1));
  EXPECT_TRUE(HasLogLine(result.err, "WARNING", "",
                         "Current process command line flag 'beta' should not "
                         "be empty when passing as external flag"));
  // Only the switch that nobody declares is unknown.
  EXPECT_EQ(1, CountLogLines(result.err, "WARNING", "Unknown flag specified"));
  EXPECT_TRUE(
      HasLogLine(result.err, "WARNING", "", "Unknown flag specified: gamma"));
}

TEST_F(StartTest, DontPropagateCommandLinePassesOnlyAsync) {
  WriteProcessJson({}, R"("external_flags": [{"name": "alpha"}])");
  ChildResult result = RunCli(
      {"start", "vorn", "async", "--dont-propagate-command-line", "--alpha",
       "--vorn-package-env=A=1", "--process-manager-pid-path=" + pid_file()});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(std::vector<std::string>{"--async"}, AddedArgs(0));
}

TEST_F(StartTest, UnknownSwitchesAreWarnedInNameOrder) {
  WriteProcessJson({"--run-time-ms=0"});
  ChildResult result =
      RunCli({"start", "--zeta", "vorn", "--alpha", "--quiet=0", "-v=0"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  std::vector<std::string> warnings;
  for (const LogLine& line : ParseLogLines(result.err)) {
    if (line.severity == "WARNING") warnings.push_back(line.text);
  }
  // --quiet=0 is still "quiet": the warnings are not even created.
  EXPECT_TRUE(warnings.empty()) << result.err;

  result = RunCli({"start", "--zeta", "vorn", "--alpha", "-v=0"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  warnings.clear();
  for (const LogLine& line : ParseLogLines(result.err)) {
    if (line.severity == "WARNING") warnings.push_back(line.text);
  }
  std::vector<std::string> expected = {
      "Unknown flag specified: alpha", "Unknown flag specified: zeta",
      "Some invalid flags were specified. Please check help or usage for more "
      "information on available flags"};
  EXPECT_EQ(expected, warnings);
}

TEST_F(StartTest, StalePidFileOfADeadProcessIsRemovedAndTheStartGoesOn) {
  WriteProcessJson({});
  pid_t dead = DeadPid();
  ASSERT_TRUE(WriteFile(pid_file(), std::to_string(dead)));
  ChildResult result = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_TRUE(HasLogLine(
      result.err, "ERROR", kControl,
      "Process manager is not running: pid=" + std::to_string(dead)));
  // The daemon has written its own pid since.
  EXPECT_NE(dead, PidInFile());
  EXPECT_TRUE(IsAlive(PidInFile()));
}

TEST_F(StartTest, PidFileNamingAnotherProgramIsNotTakenForTheManager) {
  WriteProcessJson({});
  // This test's own pid is alive, but it is not the process manager.
  ASSERT_TRUE(WriteFile(pid_file(), std::to_string(getpid())));
  ChildResult result = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_TRUE(HasLogLine(
      result.err, "ERROR", kControl,
      "Process manager is not running: pid=" + std::to_string(getpid())));
}

TEST_F(StartTest, ExecFailureGives127) {
  WriteProcessJson({});
  ASSERT_EQ(0, chmod(manager().c_str(), 0644));
  ChildResult result = RunCli({"start", "vorn"});
  EXPECT_EQ(127, result.exit_code) << result.err;
  EXPECT_EQ(1, CountLogLines(result.err, "ERROR",
                             "Unable to execvp child 'process_manager'"));
  EXPECT_TRUE(HasLogLine(result.err, "INFO", kControl,
                         "Process manager has stopped: exit_code=127"));
}

TEST_F(StartTest, LogWrapperRunsTheProcessManager) {
  std::string shim = InstallLogshim();
  WriteProcessJson({"--run-time-ms=0"});
  ChildResult result = RunCli({"start", "vorn", "--log-wrapper-path=" + shim});
  EXPECT_EQ(0, result.exit_code) << result.err;
  std::string manager_line =
      manager() + " --record-command-line=" + args_file() +
      " --record-signals=" + signals_file() + " --run-time-ms=0";
  EXPECT_TRUE(HasLogLine(result.err, "INFO", "child_launch.cc",
                         "Run process_manager: " + shim + " " + manager_line));
  EXPECT_TRUE(HasLogLine(result.err, "INFO", "logshim.cc",
                         "logshim: running " + manager_line));
  ASSERT_FALSE(RecordedArgs().empty());
  EXPECT_EQ(manager(), RecordedArgs()[0]);
}

TEST_F(StartTest, MissingLogWrapperIsReportedAndSkipped) {
  WriteProcessJson({"--run-time-ms=0"});
  ChildResult result =
      RunCli({"start", "vorn", "--log-wrapper-path=" + Path("no_shim")});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_TRUE(HasLogLine(
      result.err, "ERROR", "child_launch.cc",
      "Log wrapper executable not valid. Ignoring it: " + Path("no_shim")));
  EXPECT_EQ(1, CountLogLines(result.err, "INFO",
                             "Run process_manager: " + manager() + " "));
}

TEST_F(StartTest, EmptyLogWrapperPathMeansNoWrapperAndNoMessage) {
  WriteProcessJson({"--run-time-ms=0"});
  ChildResult result = RunCli({"start", "vorn", "--log-wrapper-path="});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(0, CountLogLines(result.err, "ERROR", ""));
  EXPECT_EQ(1, CountLogLines(result.err, "INFO",
                             "Run process_manager: " + manager() + " "));
}

TEST_F(StartTest, RefusalsBecauseOfProcessJsonGiveStatus2) {
  ChildResult missing = RunCli({"start", "vorn"});
  EXPECT_EQ(2, missing.exit_code);
  EXPECT_TRUE(HasLogLine(
      missing.err, "ERROR", kControl,
      "Invalid or unreadable process json file: " + Path("process.json")));

  WriteRawProcessJson(R"([{"name": "process_manager",
                           "command": ["${DIR_EXE}/no_such_program"]}])");
  ChildResult absent_program = RunCli({"start", "vorn"});
  EXPECT_EQ(2, absent_program.exit_code);
  EXPECT_TRUE(HasLogLine(
      absent_program.err, "ERROR", kControl,
      "Could not verify executable paths for entries in json file: " +
          Path("process.json")));

  WriteRawProcessJson("[]");
  ChildResult no_manager = RunCli({"start", "vorn", "async"});
  EXPECT_EQ(2, no_manager.exit_code);
  EXPECT_TRUE(HasLogLine(no_manager.err, "ERROR", kControl,
                         "Cannot find 'process_manager' in process configs."));
}

TEST_F(StartTest, AsyncStartDoesNotStoreThePidOfTheProcessThatDetaches) {
  WriteProcessJson({"--remove-pid-file"});
  ChildResult result =
      RunCli({"start", "vorn", "async", "--store-process-manager-pid"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(1, CountLogLines(result.err, "WARNING",
                             "--store-process-manager-pid applies to the "
                             "blocking start only"));
  // The file names the daemon (written by the daemon itself), which lives.
  pid_t recorded = PidInFile();
  EXPECT_EQ(std::vector<pid_t>{recorded}, RunningInstances(manager_name()));
}

TEST_F(StartTest, InheritedIgnoredSigchldDoesNotLoseTheExitCode) {
  WriteProcessJson({"--run-time-ms=0", "--exit-code=3"});
  ChildOptions options = CliOptions({"start", "vorn"});
  options.argv.insert(options.argv.begin(), {"env", "--ignore-signal=CHLD"});
  ChildResult result = RunChild(options);
  EXPECT_EQ(3, result.exit_code) << result.err;
  EXPECT_EQ(0, CountLogLines(result.err, "ERROR", "Cannot wait"));
}

TEST_F(StartTest, PidFileIsNeverWrittenThroughALink) {
  WriteProcessJson({"--run-time-ms=0"});
  // Another user's file, linked at the pid path either way: the link itself
  // is replaced, then deleted when the manager ends.
  std::string target = Path("precious");
  ASSERT_TRUE(WriteFile(target, "keep", 0600));
  ASSERT_EQ(0, geteuid() == 0 ? chown(target.c_str(), 65534, 65534) : 0);
  for (auto make_link : {symlink, link}) {
    ASSERT_EQ(0, make_link(target.c_str(), pid_file().c_str()));
    ChildResult result =
        RunCli({"start", "vorn", "--store-process-manager-pid"});
    EXPECT_EQ(0, result.exit_code) << result.err;
    EXPECT_EQ(0, CountLogLines(result.err, "ERROR", "pid")) << result.err;
    EXPECT_EQ("keep", ReadFile(target));
    struct stat info;
    ASSERT_EQ(0, stat(target.c_str(), &info));
    EXPECT_EQ(0600u, info.st_mode & 07777);
  }
}

TEST_F(StartTest, PidPathThatIsNotAFileIsLeftInPlace) {
  WriteProcessJson({"--run-time-ms=0"});
  ASSERT_EQ(0, mkdir(pid_file().c_str(), 0755));
  ChildResult result = RunCli({"start", "vorn"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_TRUE(HasLogLine(result.err, "ERROR", kControl,
                         "Cannot delete pid file: path=" + pid_file()));
  EXPECT_TRUE(WaitForFile(pid_file(), 0));
}

TEST_F(StartTest, ProgramWithoutAnExecutableNameIsNeverScannedFor) {
  WriteRawProcessJson(
      R"([{"name": "process_manager", "command": ["${DIR_EXE}/"]}])");
  ChildResult result = RunCli({"start", "vorn"});
  // The folder exists, so the check passes; running it cannot work.
  EXPECT_EQ(127, result.exit_code) << result.err;
  EXPECT_EQ(1, CountLogLines(result.err, "ERROR",
                             "Program of process config has no executable "
                             "name; not looking for its processes: "
                             "name=process_manager"));
  EXPECT_EQ(0, CountLogLines(result.err, "ERROR", "Another process manager"));
}

// "help" lists what process.json declares, and never dies on a bad one.
class HelpTest : public PackageTest {};

TEST_F(HelpTest, ListsTheServicesExternalFlags) {
  WriteProcessJson({}, R"("external_flags": [
      {"name": "restart-limit", "description": "Restarts before giving up.",
       "value_expression": "<count>"}, {"name": "safe-mode"}])");
  ChildResult result = RunCli({"--help"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_NE(std::string::npos,
            result.out.find("\noptions for service \"process_manager\":\n"
                            "  --restart-limit=<count>\n"
                            "      Restarts before giving up.\n"
                            "  --safe-mode\n"
                            "\n\n"))
      << result.out;
}

TEST_F(HelpTest, UnusableProcessJsonGivesUsageWithoutServicesAndStatus1) {
  struct Case {
    const char* what;
    void (*make)(const std::string& path);
  };
  const Case kCases[] = {
      {"directory", [](const std::string& p) { mkdir(p.c_str(), 0755); }},
      {"empty", [](const std::string& p) { WriteFile(p, ""); }},
      {"invalid", [](const std::string& p) { WriteFile(p, "[{]"); }},
      {"bad entry",
       [](const std::string& p) { WriteFile(p, R"([{"name": "x"}])"); }},
  };
  for (const Case& c : kCases) {
    RemoveTree(Path("process.json"));
    c.make(Path("process.json"));
    ChildResult result = RunCli({"--help"});
    EXPECT_EQ(1, result.exit_code) << c.what << "\n" << result.err;
    EXPECT_EQ(0, result.term_signal) << c.what;
    EXPECT_NE(std::string::npos, result.out.find("\noptions:\n")) << c.what;
    EXPECT_EQ(std::string::npos, result.out.find("options for service"))
        << c.what;
  }
}

}  // namespace
}  // namespace test
}  // namespace vorn
