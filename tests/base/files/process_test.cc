#include "base/files/process.h"

#include <signal.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "base/files/file_util.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/temp_dir.h"

namespace base {
namespace {

using vorn::test::ScopedTempDir;

// Starts `argv` as a direct child (not through the test's child runner) so
// the test itself reaps it. Returns its pid, or -1.
pid_t Spawn(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& arg : argv) {
    pointers.push_back(const_cast<char*>(arg.c_str()));
  }
  pointers.push_back(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    execv(pointers[0], pointers.data());
    _exit(127);
  }
  return pid;
}

// The state letter of process `pid`, or 0 when it cannot be read.
char ProcessState(pid_t pid) {
  std::string stat =
      vorn::test::ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t close = stat.rfind(')');
  return close == std::string::npos || close + 2 >= stat.size()
             ? 0
             : stat[close + 2];
}

// The pids the scan yields for `name`.
std::vector<pid_t> Scan(const std::string& name) {
  std::vector<pid_t> pids;
  NamedProcessIterator it(name);
  while (const ProcessEntry* entry = it.NextProcessEntry()) {
    EXPECT_EQ(name, entry->exe_file);
    pids.push_back(entry->pid);
  }
  return pids;
}

// Copies of system programs under names no other process has, so a scan
// finds exactly the children a test starts. Under the armhf suite the test
// itself runs in qemu-arm, while these copies are native programs.
class ProcessTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir_.valid()); }

  // A copy of `program` named `name` plus this test's pid.
  std::string CopyProgram(const std::string& program, const std::string& name) {
    std::string path = dir_.Path(name + "_" + std::to_string(getpid()));
    EXPECT_TRUE(vorn::test::CopyFile(program, path));
    return path;
  }

  // Waits until the exec of `pid` has replaced the forked test image.
  void AwaitExec(pid_t pid, const std::string& path) {
    std::string name;
    std::string want = FilePath(path).BaseName().value();
    for (int i = 0; i < 500; ++i) {
      if (GetProcessExecutableName(pid, &name) && name == want) return;
      usleep(10000);
    }
    ADD_FAILURE() << "child " << pid << " never ran " << path;
  }

  ScopedTempDir dir_;
};

TEST_F(ProcessTest, WaitReportsTheExitStatus) {
  pid_t pid = Spawn({"/bin/sh", "-c", "exit 3"});
  ASSERT_GT(pid, 0);
  int exit_code = 0;
  bool got = false;
  EXPECT_TRUE(ProcessHandle(pid).WaitForProcessExit(&exit_code, &got));
  EXPECT_EQ(3, exit_code);
  EXPECT_TRUE(got);
}

TEST_F(ProcessTest, WaitReportsMinusOneForASignal) {
  pid_t pid = Spawn({"/bin/sleep", "30"});
  ASSERT_GT(pid, 0);
  ASSERT_EQ(0, kill(pid, SIGKILL));
  int exit_code = 0;
  EXPECT_TRUE(ProcessHandle(pid).WaitForProcessExit(&exit_code));
  EXPECT_EQ(-1, exit_code);
}

TEST_F(ProcessTest, WaitRefusesTheCallerAndStrangers) {
  int exit_code = 42;
  bool got = true;
  EXPECT_FALSE(ProcessHandle(getpid()).WaitForProcessExit(&exit_code, &got));
  EXPECT_FALSE(got);
  // The test's parent is alive and has a parent of its own, but is not our
  // child: the wait fails.
  pid_t parent = getppid();
  std::string stat =
      vorn::test::ReadFile("/proc/" + std::to_string(parent) + "/stat");
  if (parent > 1 && stat.find(") ") != std::string::npos &&
      stat.substr(stat.rfind(')') + 4, 2) != "0 ") {
    EXPECT_FALSE(ProcessHandle(parent).WaitForProcessExit(&exit_code, &got));
  }
  EXPECT_EQ(42, exit_code);
}

TEST_F(ProcessTest, WaitForAProcessAlreadyGoneSetsNoExitCode) {
  // A child reaped elsewhere has no stat record left: the wait reports it
  // gone, without an exit code.
  pid_t pid = Spawn({"/bin/sh", "-c", "exit 5"});
  ASSERT_GT(pid, 0);
  int status = 0;
  ASSERT_EQ(pid, waitpid(pid, &status, 0));
  int exit_code = 42;
  bool got = true;
  EXPECT_TRUE(ProcessHandle(pid).WaitForProcessExit(&exit_code, &got));
  EXPECT_FALSE(got);
  EXPECT_EQ(42, exit_code);
}

TEST_F(ProcessTest, HandlesAreValidOnlyWithAPid) {
  EXPECT_FALSE(ProcessHandle().IsValid());
  EXPECT_EQ(0, ProcessHandle().pid());
  EXPECT_TRUE(ProcessHandle(12).IsValid());
  EXPECT_EQ(12, ProcessHandle(12).pid());
}

TEST_F(ProcessTest, ScanFindsChildrenByExecutableName) {
  std::string program = CopyProgram("/bin/sleep", "scan_finds");
  pid_t first = Spawn({program, "30"});
  pid_t second = Spawn({program, "30"});
  ASSERT_GT(first, 0);
  ASSERT_GT(second, 0);
  AwaitExec(first, program);
  AwaitExec(second, program);

  NamedProcessIterator it(FilePath(program).BaseName().value());
  std::vector<ProcessEntry> found;
  while (const ProcessEntry* entry = it.NextProcessEntry()) {
    found.push_back(*entry);
  }
  ASSERT_EQ(2u, found.size());
  for (const ProcessEntry& entry : found) {
    EXPECT_TRUE(entry.pid == first || entry.pid == second) << entry.pid;
    EXPECT_EQ(getpid(), entry.ppid);
    EXPECT_EQ(getpgrp(), entry.gid);
    EXPECT_EQ((std::vector<std::string>{program, "30"}), entry.cmd_line_args);
  }
  // Names are compared whole: neither a prefix nor another case matches.
  std::string name = FilePath(program).BaseName().value();
  EXPECT_TRUE(Scan(name.substr(0, name.size() - 1)).empty());
  EXPECT_TRUE(Scan("SCAN" + name.substr(4)).empty());

  for (pid_t pid : {first, second}) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  EXPECT_TRUE(Scan(name).empty());
}

TEST_F(ProcessTest, ScanSkipsZombies) {
  std::string program = CopyProgram("/bin/sleep", "scan_zombie");
  std::string name = FilePath(program).BaseName().value();
  pid_t pid = Spawn({program, "30"});
  ASSERT_GT(pid, 0);
  AwaitExec(pid, program);
  EXPECT_EQ(std::vector<pid_t>{pid}, Scan(name));
  // Ended but not reaped: it stays a zombie until waitpid below.
  ASSERT_EQ(0, kill(pid, SIGKILL));
  for (int i = 0; i < 500 && ProcessState(pid) != 'Z'; ++i) usleep(10000);
  ASSERT_EQ('Z', ProcessState(pid));
  EXPECT_TRUE(Scan(name).empty());
  waitpid(pid, nullptr, 0);
}

TEST_F(ProcessTest, ScanReadsStatRecordsWhoseNameLooksLikeFields) {
  // The kernel's command name (the first 15 bytes of the file name) goes
  // between parentheses in the stat record; one that holds ") Z " must not
  // be taken for a zombie's state.
  std::string program = CopyProgram("/bin/sleep", "x) Z 1 1 (y");
  std::string name = FilePath(program).BaseName().value();
  pid_t pid = Spawn({program, "30"});
  ASSERT_GT(pid, 0);
  AwaitExec(pid, program);
  EXPECT_EQ(std::vector<pid_t>{pid}, Scan(name));
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST_F(ProcessTest, ScanSeesProgramsDeletedWhileRunning) {
  // After a package update replaced a running program, its exe link reads
  // "<path> (deleted)"; the old instance still answers to its name.
  std::string program = CopyProgram("/bin/sleep", "scan_deleted");
  std::string name = FilePath(program).BaseName().value();
  pid_t pid = Spawn({program, "30"});
  ASSERT_GT(pid, 0);
  AwaitExec(pid, program);
  ASSERT_EQ(0, unlink(program.c_str()));
  char target[4096];
  std::string link = "/proc/" + std::to_string(pid) + "/exe";
  ssize_t n = readlink(link.c_str(), target, sizeof(target));
  ASSERT_GT(n, 0);
  EXPECT_EQ(program + " (deleted)", std::string(target, n));

  EXPECT_EQ(std::vector<pid_t>{pid}, Scan(name));
  std::string exe_name;
  EXPECT_TRUE(GetProcessExecutableName(pid, &exe_name));
  EXPECT_EQ(name, exe_name);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

TEST_F(ProcessTest, EmptyNamesNeverMatch) {
  // Kernel threads have no readable exe link, so their name is empty; an
  // empty wanted name must not find them (or any process at all).
  EXPECT_TRUE(Scan("").empty());
  std::string name = "stale";
  EXPECT_FALSE(GetProcessExecutableName(999999999, &name));
  EXPECT_EQ("", name);
}

TEST(ExecutableBaseNameTest, StripsDirectoriesAndTheDeletedMark) {
  EXPECT_EQ("pm", ExecutableBaseName("/opt/vorn/pm"));
  EXPECT_EQ("pm", ExecutableBaseName("/opt/vorn/pm (deleted)"));
  EXPECT_EQ("pm", ExecutableBaseName("pm"));
  EXPECT_EQ("", ExecutableBaseName("/opt/vorn/"));
  // Only a suffix after a name is the mark.
  EXPECT_EQ(" (deleted)", ExecutableBaseName("/ (deleted)"));
  EXPECT_EQ("pm (deleted) x", ExecutableBaseName("/a/pm (deleted) x"));
}

void IgnoreSignal(int) {}

TEST(SleepTest, SleepsTheWholeDurationThroughInterruptions) {
  struct sigaction action = {};
  action.sa_handler = IgnoreSignal;  // no SA_RESTART: nanosleep sees EINTR
  struct sigaction old_action;
  ASSERT_EQ(0, sigaction(SIGALRM, &action, &old_action));
  struct itimerval timer = {};
  timer.it_interval.tv_usec = 20000;
  timer.it_value.tv_usec = 20000;
  ASSERT_EQ(0, setitimer(ITIMER_REAL, &timer, nullptr));

  int64_t start = vorn::test::MonotonicMilliseconds();
  Sleep(TimeDelta::FromMilliseconds(250));
  int64_t elapsed = vorn::test::MonotonicMilliseconds() - start;

  struct itimerval off = {};
  setitimer(ITIMER_REAL, &off, nullptr);
  sigaction(SIGALRM, &old_action, nullptr);
  EXPECT_GE(elapsed, 250);
  EXPECT_LT(elapsed, 5000);
}

TEST(SleepTest, NonPositiveDurationsReturnAtOnce) {
  int64_t start = vorn::test::MonotonicMilliseconds();
  Sleep(TimeDelta());
  Sleep(TimeDelta::FromSeconds(-5));
  EXPECT_LT(vorn::test::MonotonicMilliseconds() - start, 1000);
}

}  // namespace
}  // namespace base
