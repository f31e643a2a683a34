// End-to-end tests of the package commands that take real seconds: clearing
// stale process manager instances (5 s between passes) and stopping one that
// ignores SIGTERM (a SIGTERM every 10 s, giving up after 25 s). Each case is
// a CTest entry of its own, so they run in parallel.

#include <signal.h>
#include <unistd.h>

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

class SlowControlTest : public PackageTest {
 protected:
  // Runs a copy of the process manager under its own executable name, as
  // left over from an earlier run, until it is ready.
  bool StartStaleInstance(const std::vector<std::string>& extra,
                          ChildProcess* child) {
    std::vector<std::string> argv = {
        manager(), "--record-command-line=" + Path("stale.args"),
        "--record-signals=" + Path("stale.signals")};
    argv.insert(argv.end(), extra.begin(), extra.end());
    return StartProgram(argv, child) && WaitForFile(Path("stale.args"), 20000);
  }

  std::string AnotherInstanceLine(pid_t pid) const {
    return "Another process manager instance is running: '" + manager_name() +
           "'; terminating other pid: " + std::to_string(pid);
  }
};

TEST_F(SlowControlTest, StaleInstanceEndingOnSigtermDelaysTheStartByAPause) {
  WriteProcessJson({"--run-time-ms=0"});
  ChildProcess stale;
  ASSERT_TRUE(StartStaleInstance({}, &stale));
  int64_t before = MonotonicMilliseconds();
  ChildResult result = RunCli({"start", "vorn"});
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ(1, CountLogLines(result.err, "ERROR",
                             "Another process manager instance is running"));
  EXPECT_TRUE(HasLogLine(result.err, "ERROR", kControl,
                         AnotherInstanceLine(stale.pid())));
  std::vector<int64_t> sigterms = RecordedSigterms(Path("stale.signals"));
  ASSERT_EQ(1u, sigterms.size());
  EXPECT_LT(sigterms[0] - before, 2000);
  // One pause of 5 s after the pass that found it, then the launch.
  EXPECT_GE(result.elapsed_ms, 4900);
  EXPECT_LT(result.elapsed_ms, 9000);
  EXPECT_TRUE(WaitForFile(args_file(), 0));
  ChildResult stale_end;
  ASSERT_TRUE(stale.Wait(1000, &stale_end));
  EXPECT_EQ(0, stale_end.exit_code);
}

TEST_F(SlowControlTest, StaleInstanceSurvivingThreeSigtermsGetsSigkill) {
  WriteProcessJson({"--run-time-ms=0"});
  ChildProcess stale;
  ASSERT_TRUE(StartStaleInstance({"--ignore-sigterm"}, &stale));
  int64_t before = MonotonicMilliseconds();
  ChildResult result = RunCli({"start", "vorn"});
  EXPECT_EQ(1, result.exit_code) << result.err;
  EXPECT_EQ(
      4, CountLogLines(result.err, "ERROR", AnotherInstanceLine(stale.pid())));
  EXPECT_TRUE(HasLogLine(result.err, "ERROR", kControl,
                         "Unable to kill other process manager instances; "
                         "exiting"));
  std::vector<int64_t> sigterms = RecordedSigterms(Path("stale.signals"));
  ASSERT_EQ(3u, sigterms.size());
  for (size_t i = 0; i < sigterms.size(); ++i) {
    int64_t expected = 5000 * static_cast<int64_t>(i);
    EXPECT_NEAR(expected, sigterms[i] - before, 1500) << "SIGTERM " << i;
  }
  EXPECT_GE(result.elapsed_ms, 14900);
  EXPECT_LT(result.elapsed_ms, 19000);
  ChildResult stale_end;
  ASSERT_TRUE(stale.Wait(5000, &stale_end));
  EXPECT_EQ(SIGKILL, stale_end.term_signal);
  // Nothing was launched.
  EXPECT_FALSE(WaitForFile(args_file(), 0));
  EXPECT_FALSE(HasLogLine(result.err, "INFO", "", "Run process_manager"));
}

TEST_F(SlowControlTest, StopOfManagerIgnoringSigtermTimesOutWithStatus10) {
  WriteProcessJson({"--ignore-sigterm"});
  ChildResult start = RunCli({"start", "vorn", "async"});
  ASSERT_EQ(0, start.exit_code) << start.err;
  pid_t daemon = PidInFile();
  int64_t before = MonotonicMilliseconds();
  ChildResult stop = RunCli({"stop", "vorn"});
  EXPECT_EQ(10, stop.exit_code) << stop.err;
  EXPECT_TRUE(IsOnlyLogLine(stop.err, "ERROR", kControl,
                            "Timeout stopping process_manager at pid '" +
                                std::to_string(daemon) +
                                "'. Please try again or manually clean "
                                "package"));
  EXPECT_GE(stop.elapsed_ms, 24900);
  EXPECT_LT(stop.elapsed_ms, 28000);
  std::vector<int64_t> sigterms = RecordedSigterms();
  ASSERT_EQ(3u, sigterms.size());
  for (size_t i = 0; i < sigterms.size(); ++i) {
    int64_t expected = 10000 * static_cast<int64_t>(i);
    EXPECT_NEAR(expected, sigterms[i] - before, 1500) << "SIGTERM " << i;
  }
  // Still running, still recorded: stop never sends SIGKILL.
  EXPECT_TRUE(IsAlive(daemon));
  EXPECT_EQ(daemon, PidInFile());
}

TEST_F(SlowControlTest, StopRepeatsSigtermAfterTenSeconds) {
  WriteProcessJson({"--ignore-sigterm=1", "--remove-pid-file"});
  ChildResult start = RunCli({"start", "vorn", "async"});
  ASSERT_EQ(0, start.exit_code) << start.err;
  pid_t daemon = PidInFile();
  ChildResult stop = RunCli({"stop", "vorn"});
  EXPECT_EQ(0, stop.exit_code) << stop.err;
  std::vector<int64_t> sigterms = RecordedSigterms();
  ASSERT_EQ(2u, sigterms.size());
  EXPECT_NEAR(10000, sigterms[1] - sigterms[0], 1000);
  EXPECT_GE(stop.elapsed_ms, 9900);
  EXPECT_LT(stop.elapsed_ms, 14000);
  EXPECT_TRUE(WaitUntilGone(daemon, 5000));
}

}  // namespace
}  // namespace test
}  // namespace vorn
