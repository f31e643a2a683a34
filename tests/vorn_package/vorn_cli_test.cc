// End-to-end tests: the real vorn_cli binary, run as a child with its output
// captured. VORN_CLI names the binary; VORN_EMULATOR, when set, is a
// blank-separated command prefix (qemu-arm under the armhf cross build).

#include <cstdlib>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/log_line.h"
#include "tests/support/temp_dir.h"
#include "tests/vorn_package/expected_usage_texts.h"

namespace vorn {
namespace {

using test::ChildResult;
using test::IsOnlyLogLine;

class VornCliTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* cli = getenv("VORN_CLI");
    ASSERT_NE(nullptr, cli) << "VORN_CLI must name the vorn_cli binary";
    cli_ = cli;
    ASSERT_TRUE(dir_.valid());
  }

  // Runs `program` (vorn_cli unless given) with `args` and TMPDIR set to the
  // test's directory; argv[0] is the path.
  ChildResult Run(const std::vector<std::string>& args,
                  const std::string& program = "") {
    std::vector<std::string> argv = {program.empty() ? cli_ : program};
    argv.insert(argv.end(), args.begin(), args.end());
    test::ChildOptions options;
    options.argv = test::WithEmulator(argv);
    options.env = {{"TMPDIR", dir_.path()}};
    ChildResult result = test::RunChild(options);
    EXPECT_TRUE(result.started);
    EXPECT_FALSE(result.timed_out);
    return result;
  }

  // The usage text as printed for the invocation name `program`.
  static std::string ExpectedUsage(const std::string& program) {
    std::string text = testing_texts::kExpectedUsage;
    const std::string from = "Usage: vorn_cli ";
    text.replace(text.find(from), from.size(), "Usage: " + program + " ");
    return text;
  }

  // A copy of vorn_cli in the test's directory, so a process.json can lie
  // beside it.
  std::string CopyCli() {
    const std::string copy = dir_.Path("vorn_cli");
    EXPECT_TRUE(test::CopyFile(cli_, copy));
    return copy;
  }

  std::string cli_;
  test::ScopedTempDir dir_;
};

TEST_F(VornCliTest, VersionPrintsTheVersionLine) {
  ChildResult result = Run({"--version"});
  EXPECT_EQ(0, result.exit_code);
  EXPECT_EQ("vorn_cli 1.0\n", result.out);
  EXPECT_EQ("", result.err);
}

TEST_F(VornCliTest, HelpComesBeforeVersionAndStartsNothing) {
  ChildResult result = Run({"--version", "--help", "start", "vorn"});
  EXPECT_EQ(ExpectedUsage(cli_), result.out);
  EXPECT_EQ("", result.err);
  // No process.json beside the binary in the build tree.
  EXPECT_EQ(1, result.exit_code);
}

TEST_F(VornCliTest, NoArgumentsIsAnUnknownCommand) {
  ChildResult result = Run({});
  EXPECT_EQ(1, result.exit_code);
  EXPECT_TRUE(
      IsOnlyLogLine(result.err, "ERROR", "vorn_cli.cc", "Unknown command: "));
  EXPECT_EQ(ExpectedUsage(cli_), result.out);
}

TEST_F(VornCliTest, CommandWordsAreMatchedExactly) {
  const std::vector<std::vector<std::string>> kUnknown = {
      {"help"},
      {"Start", "vorn"},
      {"start", "vorn", "async", "extra"},
      {"startvorn"},
      {"start", "", "vorn"}};
  for (const auto& args : kUnknown) {
    ChildResult result = Run(args);
    std::string text;
    for (size_t i = 0; i < args.size(); ++i) text += (i ? " " : "") + args[i];
    EXPECT_EQ(1, result.exit_code) << text;
    EXPECT_TRUE(IsOnlyLogLine(result.err, "ERROR", "vorn_cli.cc",
                              "Unknown command: " + text));
    EXPECT_EQ(ExpectedUsage(cli_), result.out) << text;
  }
}

TEST_F(VornCliTest, CommandTextIsTheJoinOfThePositionalArguments) {
  // The built binary has no process.json beside it, and TMPDIR (the pid
  // file's folder) is the test's own empty one: start is refused (2), stop
  // finds nothing to stop (1), kill has nothing to kill (0).
  struct Recognised {
    std::vector<std::string> args;
    int status;
  };
  const Recognised kRecognised[] = {{{"start", "vorn"}, 2},
                                    {{"start vorn"}, 2},
                                    {{"--", "start", "vorn"}, 2},
                                    {{"start", "--no-such-switch", "vorn"}, 2},
                                    {{"stop", "vorn"}, 1},
                                    {{"kill", "vorn"}, 0},
                                    {{"start", "vorn", "async"}, 2}};
  for (const Recognised& command : kRecognised) {
    ChildResult result = Run(command.args);
    EXPECT_EQ(command.status, result.exit_code) << command.args[0];
    EXPECT_EQ(std::string::npos, result.err.find("Unknown command"))
        << command.args[0];
    EXPECT_EQ("", result.out) << command.args[0];
  }
}

TEST_F(VornCliTest, QuietSuppressesEveryErrorLine) {
  ChildResult unknown = Run({"--quiet"});
  EXPECT_EQ(1, unknown.exit_code);
  EXPECT_EQ("", unknown.err);
  EXPECT_EQ(ExpectedUsage(cli_), unknown.out);

  ChildResult recognised = Run({"start", "--quiet", "vorn"});
  EXPECT_EQ(2, recognised.exit_code);
  EXPECT_EQ("", recognised.err);
  EXPECT_EQ("", recognised.out);
}

TEST_F(VornCliTest, StatusHelpListsTheStatusCommands) {
  ChildResult result = Run({"status", "help", "anything"});
  EXPECT_EQ(0, result.exit_code);
  std::string expected = testing_texts::kExpectedStatusUsage;
  expected.replace(expected.find("vorn_cli"), 8, cli_);
  EXPECT_EQ(expected, result.out);
  EXPECT_EQ("", result.err);

  ChildResult with_help_switch = Run({"status", "--help"});
  EXPECT_EQ(ExpectedUsage(cli_), with_help_switch.out);
}

TEST_F(VornCliTest, StatusIsRecognisedOnTheFirstArgumentOnly) {
  ChildResult query = Run({"status", "Help"});
  EXPECT_EQ(1, query.exit_code);
  EXPECT_EQ(std::string::npos, query.err.find("Unknown command"));
  EXPECT_EQ("", query.out);

  ChildResult second = Run({"vorn", "status"});
  EXPECT_TRUE(IsOnlyLogLine(second.err, "ERROR", "vorn_cli.cc",
                            "Unknown command: vorn status"));
}

TEST_F(VornCliTest, HelpListsTheServicesOfProcessJsonBesideTheBinary) {
  std::string copy = CopyCli();
  ASSERT_TRUE(test::WriteFile(dir_.Path("process.json"), R"([
    {"name": "process_manager", "command": ["${DIR_EXE}/process_manager"]},
    {"name": "vorn_shell", "command": ["${DIR_EXE}/vorn_shell"],
     "external_flags": [
       {"name": "volume", "description": "Initial volume.",
        "value_expression": "<0-100>"},
       {"name": "mute"}]}
  ])"));
  ChildResult result = Run({"--help"}, copy);
  EXPECT_EQ(0, result.exit_code);
  std::string expected = ExpectedUsage(copy);
  expected.resize(expected.size() - 2);  // the closing "\n\n"
  expected +=
      "\noptions for service \"vorn_shell\":\n"
      "  --volume=<0-100>\n"
      "      Initial volume.\n"
      "  --mute\n"
      "\n\n";
  EXPECT_EQ(expected, result.out);
  EXPECT_EQ("", result.err);
}

TEST_F(VornCliTest, HelpWithAnInvalidProcessJsonLeavesOutTheServices) {
  std::string copy = CopyCli();
  ASSERT_TRUE(
      test::WriteFile(dir_.Path("process.json"), "[{\"name\": \"x\",}]"));
  ChildResult result = Run({"--help"}, copy);
  EXPECT_EQ(1, result.exit_code);
  EXPECT_EQ(ExpectedUsage(copy), result.out);
}

}  // namespace
}  // namespace vorn
