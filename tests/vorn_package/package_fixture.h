// PackageTest: a receiver package of its own for one end-to-end test of the
// package commands. SetUp makes a temporary folder holding a copy of
// vorn_cli and copies of the stand-ins under names that belong to this test
// alone (process.json lies beside vorn_cli, and start and kill find
// processes by executable name across the machine, so parallel tests must
// never share a name). vorn_cli runs there with TMPDIR set to the folder, so
// the pid file lies in it too.
//
//   class StartTest : public PackageTest {};
//   TEST_F(StartTest, BlockingStartPassesExitCodeThrough) {
//     WriteProcessJson({"--run-time-ms=0", "--exit-code=3"});
//     ChildResult result = RunCli({"start", "vorn"});
//     EXPECT_EQ(3, result.exit_code) << result.err;
//   }
//
// Environment (set by CTest): VORN_CLI (the program under test),
// VORN_PROCESS_MANAGER and VORN_LOGSHIM (native stand-ins, also under the
// cross build), VORN_EMULATOR (qemu-arm prefix for vorn_cli under the cross
// build), VORN_PID_NAMESPACE ("1" inside a PID namespace of the test's own).
// TearDown kills, by pid, whatever still runs under this test's names.

#ifndef VORN_TESTS_VORN_PACKAGE_PACKAGE_FIXTURE_H_
#define VORN_TESTS_VORN_PACKAGE_PACKAGE_FIXTURE_H_

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace vorn {
namespace test {

class PackageTest : public testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The package folder (TMPDIR of vorn_cli and of the stand-ins) and a path
  // in it.
  const std::string& dir() const { return dir_->path(); }
  std::string Path(const std::string& name) const { return dir_->Path(name); }

  const std::string& cli() const { return cli_; }
  // The process manager stand-in's copy, and its executable name.
  const std::string& manager() const { return manager_; }
  const std::string& manager_name() const { return manager_name_; }
  // The default pid file: process_manager.pid in the folder.
  std::string pid_file() const { return Path("process_manager.pid"); }
  // Where the process manager records the command line it received.
  std::string args_file() const { return Path("manager.args"); }
  // Where it records the SIGTERMs it received.
  std::string signals_file() const { return Path("manager.signals"); }

  // Copies the stand-in `source` into the folder under a name of this test's
  // own that holds `role`; returns the copy's path (empty on failure).
  std::string InstallStandIn(const std::string& source,
                             const std::string& role);
  // A copy of the process manager stand-in (for other services, a stale
  // instance, a fake log wrapper) and of the log wrapper stand-in.
  std::string InstallManagerCopy(const std::string& role);
  std::string InstallLogshim();

  // Writes process.json with one "process_manager" entry running
  // "${DIR_EXE}/<manager name>" with --record-command-line and
  // --record-signals pointing into "${DIR_TEMP}", then `args`.
  // `entry_extra` is added to the entry's dictionary as it stands (for
  // instance `"external_flags": [...]`); `more_entries` are further entries,
  // each a JSON dictionary.
  void WriteProcessJson(const std::vector<std::string>& args,
                        const std::string& entry_extra = "",
                        const std::vector<std::string>& more_entries = {});
  void WriteRawProcessJson(const std::string& text);

  // Runs vorn_cli (through the emulator under the cross build) in the folder.
  ChildResult RunCli(const std::vector<std::string>& args,
                     int timeout_ms = 60000);
  // The same, with extra options for the child (environment, argv prefix).
  ChildOptions CliOptions(const std::vector<std::string>& args) const;
  // Starts vorn_cli and leaves it running.
  bool StartCli(const std::vector<std::string>& args, ChildProcess* child);
  // Starts a stand-in copy directly (not through vorn_cli), in the folder.
  bool StartProgram(const std::vector<std::string>& argv, ChildProcess* child);

  // The pids of the live processes (zombies left out) whose executable base
  // name is `name`.
  std::vector<pid_t> RunningInstances(const std::string& name) const;
  // Waits until `path` exists (true) or `timeout_ms` passes (false).
  bool WaitForFile(const std::string& path, int timeout_ms) const;
  // Waits until no live process has the pid (zombies count as gone).
  bool WaitUntilGone(pid_t pid, int timeout_ms) const;
  // The lines of a file written by --record-command-line.
  std::vector<std::string> RecordedArgs() const;
  // The monotonic times (ms) of the SIGTERMs recorded by --record-signals in
  // `path` (signals_file() when empty).
  std::vector<int64_t> RecordedSigterms(const std::string& path = "") const;
  // The pid in the pid file, or 0.
  pid_t PidInFile() const;
  // Waits until the pid file names a live process and returns its pid, or 0
  // after `timeout_ms`.
  pid_t WaitForPidInFile(int timeout_ms) const;

  // True inside a PID namespace of the test's own (pid_namespace_run).
  static bool InPidNamespace();
  // True under the cross build, where vorn_cli runs in qemu-arm.
  static bool UnderEmulator();

 private:
  std::unique_ptr<ScopedTempDir> dir_;
  std::string cli_;
  std::string manager_;
  std::string manager_name_;
  std::string name_stem_;           // unique to this test run
  std::vector<std::string> names_;  // executable names installed
};

// The lines of `text`, without their line feeds.
std::vector<std::string> SplitLines(const std::string& text);

// `text` as a JSON string literal.
std::string JsonQuote(const std::string& text);

// True when `pid` is a live process that is not a zombie.
bool IsAlive(pid_t pid);

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_VORN_PACKAGE_PACKAGE_FIXTURE_H_
