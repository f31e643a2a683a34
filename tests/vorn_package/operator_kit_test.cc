// What the device package gives an operator beside vorn_cli: the manual page
// and the bash completion (both generated from the usage tables), the init
// script run against a package of the test's own inside its PID namespace,
// the page and the scripts passed by their linters, and the systemd unit
// checked by systemd-analyze.

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/files.h"
#include "tests/vorn_package/package_fixture.h"
#include "vorn_package/usage.h"

namespace vorn {
namespace test {
namespace {

// Each row of the tables must be a tagged paragraph of the page: the name
// as the tag, in quotes, with "=" before the placeholder of a switch.
TEST(ManPageTest, TagsEveryCommandAndSwitchOfTheTables) {
  std::string page = ReadFile(VORN_MAN_PAGE);
  ASSERT_FALSE(page.empty()) << VORN_MAN_PAGE;
  for (size_t at; (at = page.find("\\-")) != std::string::npos;) {
    page.replace(at, 2, "-");
  }
  auto expect_tag = [&](const UsageEntry& row, const std::string& prefix,
                        const char* joiner) {
    std::string tag = "\"" + prefix + row.name;
    tag += row.placeholder ? joiner + std::string("\" \"") : "\"\n";
    EXPECT_NE(std::string::npos, page.find(tag)) << tag;
  };
  for (size_t i = 0; i < kCommandUsageCount; ++i) {
    expect_tag(kCommandUsage[i], "", "");
  }
  for (size_t i = 0; i < kStatusCommandUsageCount; ++i) {
    expect_tag(kStatusCommandUsage[i], "status ", " ");
  }
  for (size_t i = 0; i < kOptionUsageCount; ++i) {
    expect_tag(kOptionUsage[i], "--", "=");
  }
  for (size_t i = 0; i < kUnlistedOptionUsageCount; ++i) {
    expect_tag(kUnlistedOptionUsage[i], "--", "=");
  }
}

class CompletionTest : public PackageTest {
 protected:
  // COMPREPLY after completing the last of `words` (vorn_cli's copy first).
  std::set<std::string> Complete(const std::vector<std::string>& words) {
    ChildOptions options;
    const char* script =
        "source \"$0\"; COMP_WORDS=(\"$@\"); "
        "COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _vorn_cli; "
        "printf '%s\\n' \"${COMPREPLY[@]}\"";
    options.argv = {"bash", "--norc", "-c", script, VORN_BASH_COMPLETION,
                    cli()};
    options.argv.insert(options.argv.end(), words.begin(), words.end());
    options.env = {{"TMPDIR", dir()}};
    ChildResult result = RunChild(options);
    EXPECT_EQ(0, result.exit_code);
    EXPECT_EQ("", result.err);  // nothing reaches the terminal
    std::set<std::string> reply;
    std::istringstream lines(result.out);
    for (std::string word; std::getline(lines, word);) {
      if (!word.empty()) reply.insert(word);
    }
    return reply;
  }
};

TEST_F(CompletionTest, OffersTheWordsThatCanFollow) {
  WriteProcessJson({}, R"("external_flags": [
      {"name": "restart-limit", "value_expression": "<count>"},
      {"name": "no-audio"}])");
  using Words = std::set<std::string>;
  EXPECT_EQ(Words({"start", "stop", "kill", "status"}), Complete({""}));
  EXPECT_EQ(Words({"start", "status", "stop"}), Complete({"st"}));
  EXPECT_EQ(Words({"vorn"}), Complete({"start", ""}));
  EXPECT_EQ(Words({"async"}), Complete({"start", "vorn", ""}));
  EXPECT_EQ(Words(), Complete({"stop", "vorn", ""}));
  // Switches and their values are skipped when finding the command word.
  EXPECT_EQ(Words({"vorn"}),
            Complete({"--quiet", "kill", "--status-timeout", "=", "5", ""}));
  EXPECT_EQ(Words({"help", "get_app_config", "discovery"}),
            Complete({"status", ""}));
  EXPECT_EQ(Words(), Complete({"status", "discovery", ""}));
  EXPECT_EQ(Words({"--status-timeout="}), Complete({"--status-t"}));
  EXPECT_EQ(Words({"--vmodule=", "--version", "--vorn-cli-socket-file-path=",
                   "--vorn-package-env=", "--v="}),
            Complete({"--v"}));
  // The service flags come from the completed program's own --help, which
  // bash cannot run under the cross build (no binfmt for qemu-arm).
  if (!UnderEmulator()) {
    EXPECT_EQ(Words({"--restart-limit="}), Complete({"stop", "--res"}));
    EXPECT_EQ(Words({"--no-audio"}), Complete({"--no"}));
  }

  // A broken process.json gives no service flags.
  WriteRawProcessJson("[{\"name\": ");
  std::set<std::string> reply = Complete({"--"});
  EXPECT_EQ(1u, reply.count("--help"));
  EXPECT_EQ(kOptionUsageCount + kUnlistedOptionUsageCount, reply.size());
}

class InitScriptTest : public PackageTest {
 protected:
  int RunInit(const std::string& action) {
    ChildOptions options;
    options.argv = {"sh", VORN_INIT_SCRIPT, action};
    options.env = {{"VORN_CLI", cli()}, {"TMPDIR", dir()}};
    options.cwd = "/";
    options.timeout_ms = 20000;
    return RunChild(options).exit_code;
  }
};

TEST_F(InitScriptTest, StartStatusStopRestartForceStop) {
  if (!InPidNamespace() || UnderEmulator()) {
    GTEST_SKIP() << "needs a PID namespace of its own and a native vorn_cli";
  }
  WriteProcessJson({});
  EXPECT_EQ(3, RunInit("status"));
  EXPECT_EQ(0, RunInit("stop"));  // stopping a stopped service succeeds
  ASSERT_EQ(0, RunInit("start"));
  EXPECT_EQ(0, RunInit("status"));
  pid_t first = PidInFile();
  EXPECT_TRUE(IsAlive(first));
  EXPECT_EQ(0, RunInit("start"));  // already running: nothing more starts
  EXPECT_EQ(1u, RunningInstances(manager_name()).size());

  ASSERT_EQ(0, RunInit("restart"));
  EXPECT_TRUE(WaitUntilGone(first, 5000));
  pid_t second = PidInFile();
  EXPECT_NE(first, second);
  EXPECT_TRUE(IsAlive(second));

  EXPECT_EQ(0, RunInit("stop"));
  EXPECT_TRUE(WaitUntilGone(second, 5000));
  EXPECT_EQ(3, RunInit("status"));

  ASSERT_EQ(0, RunInit("start"));
  pid_t third = PidInFile();
  EXPECT_EQ(0, RunInit("force-stop"));
  EXPECT_TRUE(WaitUntilGone(third, 5000));
  EXPECT_EQ(3, RunInit("status"));
  EXPECT_TRUE(RunningInstances(manager_name()).empty());

  // A record naming another program's live process (this test's) neither
  // blocks a start nor fails a stop: vorn_cli drops it.
  const std::string test_pid = std::to_string(getpid());
  ASSERT_TRUE(WriteFile(pid_file(), test_pid));
  EXPECT_EQ(0, RunInit("stop"));
  ASSERT_TRUE(WriteFile(pid_file(), test_pid));
  ASSERT_EQ(0, RunInit("start"));
  pid_t fourth = PidInFile();
  EXPECT_NE(getpid(), fourth);
  EXPECT_TRUE(IsAlive(fourth));
  EXPECT_EQ(0, RunInit("stop"));
  EXPECT_TRUE(WaitUntilGone(fourth, 5000));

  // Files planted at the pid path: none blocks the script, none counts as a
  // running package, and a stop around them succeeds.
  const std::string other_writable = Path("other_writable");
  ASSERT_TRUE(WriteFile(other_writable, test_pid));
  ASSERT_EQ(0, chmod(other_writable.c_str(), 0666));
  const std::vector<std::string> plants = {
      "mkfifo \"$0\"", "ln -s /dev/zero \"$0\"", "echo 1 >\"$0\"",
      "echo 0 >\"$0\"", "cp -p \"$1\" \"$0\""};
  for (const std::string& plant : plants) {
    ChildOptions options;
    options.argv = {"sh", "-c", plant, pid_file(), other_writable};
    ASSERT_EQ(0, RunChild(options).exit_code) << plant;
    EXPECT_EQ(1, RunInit("status")) << plant;
    EXPECT_EQ(0, RunInit("stop")) << plant;
    unlink(pid_file().c_str());
  }

  // A pid file whose process is gone; a process.json that refuses the start.
  ASSERT_TRUE(WriteFile(pid_file(), "999999"));
  EXPECT_EQ(1, RunInit("status"));
  unlink(pid_file().c_str());
  WriteRawProcessJson("[");
  EXPECT_EQ(6, RunInit("start"));
  EXPECT_EQ(2, RunInit("bogus"));
}

// The page, the init script and the completion as their linters see them:
// nothing to report. lexgrog prints the NAME line it found, which is what
// mandb indexes for apropos.
TEST(OperatorKitLintTest, LintersReportNothing) {
  struct Lint {
    std::vector<std::string> argv;
    std::string expected_out;
  };
  const Lint lints[] = {
      {{"mandoc", "-T", "lint", "-W", "all", VORN_MAN_PAGE}, ""},
      {{"lexgrog", VORN_MAN_PAGE},
       std::string(VORN_MAN_PAGE) +
           ": \"vorn_cli - start, stop and query the vorn receiver "
           "package\"\n"},
      {{"sh", "-n", VORN_INIT_SCRIPT}, ""},
      {{"shellcheck", VORN_INIT_SCRIPT}, ""},
      {{"shellcheck", "--shell=bash", VORN_BASH_COMPLETION}, ""},
  };
  for (const Lint& lint : lints) {
    ChildOptions options;
    options.argv = {"sh", "-c", "command -v \"$0\" >/dev/null || exit 99",
                    lint.argv[0]};
    if (RunChild(options).exit_code == 99) {
      std::cout << "note: " << lint.argv[0] << " is not installed; skipped\n";
      continue;
    }
    options.argv = lint.argv;
    ChildResult result = RunChild(options);
    EXPECT_EQ(0, result.exit_code) << lint.argv[0] << ": " << result.err;
    EXPECT_EQ(lint.expected_out, result.out) << lint.argv[0];
    EXPECT_EQ("", result.err) << lint.argv[0];
  }
}

TEST(SystemdUnitTest, SystemdAnalyzeVerifyAcceptsTheUnit) {
  if (access("/usr/bin/systemd-analyze", X_OK) != 0) {
    GTEST_SKIP() << "systemd-analyze is not installed; unit not verified";
  }
  // A root holding the unit, the targets it refers to and a program at the
  // path of ExecStart, so that nothing of the machine's own state counts.
  ScopedTempDir root;
  ASSERT_TRUE(root.valid());
  ChildOptions options;
  const char* script =
      "units=$0/usr/lib/systemd/system; mkdir -p \"$0/usr/bin\" \"$units\"; "
      "cp /usr/lib/systemd/system/*.target \"$units\"; "
      "cp \"$1\" \"$units\"; cp \"$2\" \"$0/usr/bin/vorn_cli\"; "
      "systemd-analyze verify --root=\"$0\" --man=no \"$units/vorn.service\"";
  options.argv = {
      "sh", "-ec", script, root.path(), VORN_SERVICE_UNIT, getenv("VORN_CLI")};
  ChildResult result = RunChild(options);
  EXPECT_EQ(0, result.exit_code) << result.err;
  EXPECT_EQ("", result.err);
}

}  // namespace
}  // namespace test
}  // namespace vorn
