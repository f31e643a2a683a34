// Unit tests of the pid file, the trust placed in a recorded pid, and child
// launching, in this process (the commands themselves are tested end to end
// in start_test, stop_kill_test and process_control_slow_test).

#include "vorn_package/process_manager_control.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "base/files/command_line.h"
#include "base/files/process.h"
#include "gtest/gtest.h"
#include "tests/support/files.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_dir.h"
#include "vorn_package/child_launch.h"

namespace vorn {
namespace {

using test::ScopedLogCapture;

class PidFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.valid());
    pid_path_ = dir_.Path("pm.pid");
    context_.command_line.ParseArgumentVector(
        {"vorn_cli", "--process-manager-pid-path=" + pid_path_});
    live_ = fork();  // a live process of this program, not this process
    if (live_ == 0)
      for (;;) pause();
  }
  void TearDown() override {
    kill(live_, SIGKILL);
    waitpid(live_, nullptr, 0);
  }

  pid_t Read(bool log_errors, const ProcessManagerIdentity& identity) {
    std::optional<ProcessManagerIdentity> known = identity;
    return ReadProcessManagerPid(context_, log_errors, &known);
  }

  static ProcessManagerIdentity Trusting(const std::string& name) {
    ProcessManagerIdentity identity;
    identity.known = true;
    identity.program = "/opt/vorn/" + name;
    return identity;
  }

  // The executable name the kernel gives the forked child: this test's
  // natively, the emulator's under qemu-arm.
  std::string LiveExecutableName() const {
    std::string name;
    base::GetProcessExecutableName(live_, &name);
    return name;
  }

  test::ScopedTempDir dir_;
  std::string pid_path_;
  PackageContext context_;  // vorn_cli's line: the pid path switch
  pid_t live_ = 0;
};

TEST(PidFileContentTest, AcceptsPositiveDecimalPidsOnly) {
  pid_t pid = 0;
  EXPECT_TRUE(ParsePidFileContent("1", &pid));
  EXPECT_EQ(1, pid);
  EXPECT_TRUE(ParsePidFileContent("+12", &pid));
  EXPECT_EQ(12, pid);
  EXPECT_TRUE(ParsePidFileContent("2147483647", &pid));
  EXPECT_EQ(2147483647, pid);
  // 0 and negative pids reach process groups or every process.
  for (const char* bad :
       {"0", "-1", "+0", "-0", "-12", "-2147483648", "", "12\n", " 12", "12 ",
        "2147483648", "1a", "0x10", "+", "-"}) {
    pid = 77;
    EXPECT_FALSE(ParsePidFileContent(bad, &pid)) << "'" << bad << "'";
    EXPECT_EQ(77, pid) << bad;
  }
}

TEST_F(PidFileTest, StoreWritesDecimalTextWithMode0644WhateverTheUmask) {
  mode_t old_umask = umask(0);
  EXPECT_TRUE(StoreProcessManagerPid(context_, 4321));
  umask(old_umask);
  EXPECT_EQ("4321", test::ReadFile(pid_path_));
  struct stat info;
  ASSERT_EQ(0, stat(pid_path_.c_str(), &info));
  EXPECT_EQ(0644u, info.st_mode & 07777);

  // An existing file is truncated and gets the mode too.
  ASSERT_EQ(0, chmod(pid_path_.c_str(), 0666));
  EXPECT_TRUE(StoreProcessManagerPid(context_, 7));
  EXPECT_EQ("7", test::ReadFile(pid_path_));
  ASSERT_EQ(0, stat(pid_path_.c_str(), &info));
  EXPECT_EQ(0644u, info.st_mode & 07777);
}

TEST_F(PidFileTest, StoreOverADirectoryFailsAndLeavesNothingBehind) {
  ASSERT_EQ(0, mkdir(pid_path_.c_str(), 0755));
  ScopedLogCapture capture;
  EXPECT_FALSE(StoreProcessManagerPid(context_, 55));
  EXPECT_TRUE(capture.Has(logging::LOG_ERROR,
                          "Cannot store PID of process manager: pid=55, "
                          "pid_path=" +
                              pid_path_));
  std::string left = pid_path_ + ".new." + std::to_string(getpid()) + ".0";
  EXPECT_NE(0, access(left.c_str(), F_OK));
}

TEST_F(PidFileTest, DeleteSucceedsWithoutAFileAndReportsAFailure) {
  EXPECT_TRUE(DeleteProcessManagerPidFile(context_));
  ASSERT_TRUE(test::WriteFile(pid_path_, "1"));
  EXPECT_TRUE(DeleteProcessManagerPidFile(context_));
  EXPECT_NE(0, access(pid_path_.c_str(), F_OK));

  ASSERT_EQ(0, mkdir(pid_path_.c_str(), 0755));
  ASSERT_TRUE(test::WriteFile(pid_path_ + "/inside", "x"));
  ScopedLogCapture capture;
  EXPECT_FALSE(DeleteProcessManagerPidFile(context_));
  EXPECT_TRUE(capture.Has(logging::LOG_ERROR,
                          "Cannot delete pid file: path=" + pid_path_));
}

TEST_F(PidFileTest, ReadGivesTheLivePidOfTheExpectedProgram) {
  ASSERT_TRUE(StoreProcessManagerPid(context_, live_));
  EXPECT_EQ(live_, Read(true, ProcessManagerIdentity()));
  EXPECT_EQ(live_, Read(true, Trusting(LiveExecutableName())));
  EXPECT_EQ(std::to_string(live_), test::ReadFile(pid_path_));
}

TEST_F(PidFileTest, LiveProcessOfAnotherProgramCountsAsGone) {
  ASSERT_TRUE(StoreProcessManagerPid(context_, live_));
  ScopedLogCapture capture;
  EXPECT_EQ(0, Read(false, Trusting("process_manager")));
  EXPECT_TRUE(capture.Has(
      logging::LOG_ERROR,
      "Process manager is not running: pid=" + std::to_string(live_)));
  EXPECT_NE(0, access(pid_path_.c_str(), F_OK));
}

TEST_F(PidFileTest, ReadLogsUnreadableAndInvalidFilesOnlyWhenAsked) {
  ScopedLogCapture capture;
  EXPECT_EQ(0, Read(false, ProcessManagerIdentity()));
  EXPECT_TRUE(capture.messages().empty());
  EXPECT_EQ(0, Read(true, ProcessManagerIdentity()));
  EXPECT_TRUE(
      capture.Has(logging::LOG_ERROR,
                  "Cannot read PID of process manager: path=" + pid_path_));

  for (const char* content : {"0", "-1", "12\n", "abc"}) {
    capture.Clear();
    ASSERT_TRUE(test::WriteFile(pid_path_, content));
    EXPECT_EQ(0, Read(false, ProcessManagerIdentity()));
    EXPECT_TRUE(capture.messages().empty()) << content;
    EXPECT_EQ(0, Read(true, ProcessManagerIdentity()));
    EXPECT_TRUE(capture.Has(
        logging::LOG_ERROR,
        std::string("Invalid pid: pid=") + content + ", path=" + pid_path_))
        << content;
    // An invalid file is left where it is.
    EXPECT_EQ(content, test::ReadFile(pid_path_));
  }
}

TEST_F(PidFileTest, RecordOfADeadProcessIsReportedAndDeletedEvenSilently) {
  pid_t child = fork();
  if (child == 0) _exit(0);
  int exit_code = -1;
  ASSERT_TRUE(base::ProcessHandle(child).WaitForProcessExit(&exit_code));
  ASSERT_TRUE(test::WriteFile(pid_path_, std::to_string(child)));
  ScopedLogCapture capture;
  EXPECT_EQ(0, Read(false, ProcessManagerIdentity()));
  EXPECT_TRUE(capture.Has(
      logging::LOG_ERROR,
      "Process manager is not running: pid=" + std::to_string(child)));
  EXPECT_NE(0, access(pid_path_.c_str(), F_OK));
}

TEST_F(PidFileTest, RootDoesNotTrustAFileOthersCouldHaveWritten) {
  if (geteuid() != 0) GTEST_SKIP() << "the check applies to root only";
  ASSERT_TRUE(StoreProcessManagerPid(context_, live_));
  ASSERT_EQ(0, chmod(pid_path_.c_str(), 0664));
  ScopedLogCapture capture;
  EXPECT_EQ(0, Read(true, ProcessManagerIdentity()));
  EXPECT_TRUE(capture.Has(
      logging::LOG_ERROR,
      "Invalid pid: pid=" + std::to_string(live_) + ", path=" + pid_path_));
  ASSERT_EQ(0, chmod(pid_path_.c_str(), 0644));
  ASSERT_EQ(0, chown(pid_path_.c_str(), 65534, 65534));
  EXPECT_EQ(0, Read(false, ProcessManagerIdentity()));
  ASSERT_EQ(0, chown(pid_path_.c_str(), 0, 0));
  EXPECT_EQ(live_, Read(false, ProcessManagerIdentity()));
  // A second name kept elsewhere could put an old record back later.
  const std::string kept = pid_path_ + ".kept";
  ASSERT_EQ(0, link(pid_path_.c_str(), kept.c_str()));
  EXPECT_EQ(0, Read(false, ProcessManagerIdentity()));
  ASSERT_EQ(0, unlink(kept.c_str()));
  EXPECT_EQ(live_, Read(false, ProcessManagerIdentity()));
}

TEST_F(PidFileTest, IdentityNamesTheManagerProgramAndTheLogWrapper) {
  std::vector<ProcessConfig> configs(3);
  configs[0].name = "vorn_shell";
  configs[0].command_line.ParseArgumentVector({"/opt/vorn/vorn_shell"});
  configs[1].name = "process_manager";
  configs[1].command_line.ParseArgumentVector({"/opt/vorn/pm", "--x"});
  configs[2].name = "process_manager";
  configs[2].command_line.ParseArgumentVector({"/opt/vorn/second_pm"});

  EXPECT_FALSE(MakeProcessManagerIdentity(context_, false, configs).known);

  ProcessManagerIdentity identity =
      MakeProcessManagerIdentity(context_, true, configs);
  EXPECT_TRUE(identity.known);
  EXPECT_EQ("/opt/vorn/pm", identity.program);
  EXPECT_EQ("", identity.resolved_program);  // no such file here
  EXPECT_EQ("/bin/logshim", identity.log_wrapper);
}

class ChildLaunchTest : public testing::Test {
 protected:
  static base::ParsedCommandLine Line(const base::StringVector& argv) {
    base::ParsedCommandLine line;
    line.ParseArgumentVector(argv);
    return line;
  }

  static int RunToEnd(const base::ParsedCommandLine& line,
                      const std::string& wrapper, bool* wrapped) {
    base::ProcessHandle child =
        LaunchChild("test_child", line, base::FilePath(wrapper), wrapped);
    EXPECT_TRUE(child.IsValid());
    int exit_code = -100;
    EXPECT_TRUE(child.WaitForProcessExit(&exit_code));
    return exit_code;
  }
};

TEST_F(ChildLaunchTest, WrapperPrecedesTheWholeArgumentVector) {
  bool wrapped = false;
  base::ParsedCommandLine line =
      ApplyLoggingWrapper(Line({"/opt/pm", "--a=1", "plain", "--b"}),
                          base::FilePath("/usr/bin/env"), &wrapped);
  EXPECT_TRUE(wrapped);
  EXPECT_EQ(
      (base::StringVector{"/usr/bin/env", "/opt/pm", "--a=1", "--b", "plain"}),
      line.elements());
}

TEST_F(ChildLaunchTest, MissingWrapperIsReportedAndEmptyOneIsSilent) {
  ScopedLogCapture capture;
  bool wrapped = true;
  base::ParsedCommandLine original = Line({"/opt/pm", "--a"});
  EXPECT_EQ(original.elements(),
            ApplyLoggingWrapper(original, base::FilePath("/no/such/logshim"),
                                &wrapped)
                .elements());
  EXPECT_FALSE(wrapped);
  EXPECT_TRUE(capture.Has(
      logging::LOG_ERROR,
      "Log wrapper executable not valid. Ignoring it: /no/such/logshim"));

  capture.Clear();
  wrapped = true;
  EXPECT_EQ(
      original.elements(),
      ApplyLoggingWrapper(original, base::FilePath(), &wrapped).elements());
  EXPECT_FALSE(wrapped);
  EXPECT_TRUE(capture.messages().empty());
}

TEST_F(ChildLaunchTest, ChildRunsThroughTheWrapperAndPathLookup) {
  ScopedLogCapture capture;
  bool wrapped = false;
  // "sh" is found along PATH, by env here and by execvp without a wrapper.
  EXPECT_EQ(4,
            RunToEnd(Line({"sh", "-c", "exit 4"}), "/usr/bin/env", &wrapped));
  EXPECT_TRUE(wrapped);
  EXPECT_TRUE(capture.Has(logging::LOG_INFO,
                          "Run test_child: /usr/bin/env sh -c exit 4"));

  EXPECT_EQ(5, RunToEnd(Line({"sh", "-c", "exit 5"}), "", &wrapped));
  EXPECT_FALSE(wrapped);
}

TEST_F(ChildLaunchTest, FailedExecEndsTheChildWith127) {
  bool wrapped = true;
  EXPECT_EQ(127, RunToEnd(Line({"/no/such/program", "--x"}), "", &wrapped));
  EXPECT_FALSE(wrapped);
}

TEST_F(ChildLaunchTest, ChildEndedBySignalGivesMinusOne) {
  bool wrapped = false;
  EXPECT_EQ(-1, RunToEnd(Line({"sh", "-c", "kill -9 $$"}), "", &wrapped));
}

}  // namespace
}  // namespace vorn
