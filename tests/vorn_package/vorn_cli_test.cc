// End-to-end tests: the real vorn_cli binary, run as a child with its output
// captured. VORN_CLI names the binary; VORN_EMULATOR, when set, is a
// blank-separated command prefix (qemu-arm under the armhf cross build).

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "tests/vorn_package/expected_usage_texts.h"

namespace vorn {
namespace {

struct RunResult {
  int status = -1;  // exit status, or -1 when the child did not exit normally
  std::string out;
  std::string err;
};

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

std::vector<std::string> SplitBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::istringstream in(text);
  std::string word;
  while (in >> word) words.push_back(word);
  return words;
}

class VornCliTest : public testing::Test {
 protected:
  void SetUp() override {
    const char* cli = getenv("VORN_CLI");
    ASSERT_NE(nullptr, cli) << "VORN_CLI must name the vorn_cli binary";
    cli_ = cli;
    const char* emulator = getenv("VORN_EMULATOR");
    if (emulator) emulator_ = SplitBlanks(emulator);
    char pattern[] = "/tmp/vorn_cli_test.XXXXXX";
    const char* base = getenv("TMPDIR");
    std::string templ =
        std::string(base && *base ? base : "/tmp") + "/vorn_cli_test.XXXXXX";
    std::vector<char> buffer(templ.begin(), templ.end());
    buffer.push_back('\0');
    ASSERT_NE(nullptr, mkdtemp(buffer.data())) << pattern;
    dir_ = buffer.data();
  }

  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    ASSERT_EQ(0, system(command.c_str()));
  }

  // Runs `program` (vorn_cli unless given) with `args`; argv[0] is the path.
  RunResult Run(const std::vector<std::string>& args,
                const std::string& program = "") {
    std::string binary = program.empty() ? cli_ : program;
    std::vector<std::string> argv = emulator_;
    argv.push_back(binary);
    argv.insert(argv.end(), args.begin(), args.end());
    std::string out_path = dir_ + "/stdout";
    std::string err_path = dir_ + "/stderr";
    pid_t pid = fork();
    if (pid == 0) {
      int out = open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(out, 1);
      dup2(err, 2);
      setenv("TMPDIR", dir_.c_str(), 1);
      std::vector<char*> raw;
      for (std::string& arg : argv) raw.push_back(arg.data());
      raw.push_back(nullptr);
      execvp(raw[0], raw.data());
      _exit(127);
    }
    RunResult result;
    int wait_status = 0;
    EXPECT_EQ(pid, waitpid(pid, &wait_status, 0));
    if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
    result.out = ReadFile(out_path);
    result.err = ReadFile(err_path);
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
    std::string copy = dir_ + "/vorn_cli";
    std::string command = "cp '" + cli_ + "' '" + copy + "'";
    EXPECT_EQ(0, system(command.c_str()));
    return copy;
  }

  void WriteText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }

  std::string cli_;
  std::vector<std::string> emulator_;
  std::string dir_;
};

// One log line of vorn_cli.cc at `severity` holding `text`.
::testing::AssertionResult IsLogLine(const std::string& line,
                                     const std::string& severity,
                                     const std::string& text) {
  std::regex format("^\\[\\d{4}/\\d{6}\\.\\d{6}:" + severity +
                    ":vorn_cli\\.cc\\(\\d+\\)\\] (.*)\n$");
  std::smatch match;
  if (!std::regex_match(line, match, format)) {
    return ::testing::AssertionFailure() << "not a log line: " << line;
  }
  if (match[1].str() != text) {
    return ::testing::AssertionFailure() << "text is: " << match[1].str();
  }
  return ::testing::AssertionSuccess();
}

TEST_F(VornCliTest, VersionPrintsTheVersionLine) {
  RunResult result = Run({"--version"});
  EXPECT_EQ(0, result.status);
  EXPECT_EQ("vorn_cli 1.0\n", result.out);
  EXPECT_EQ("", result.err);
}

TEST_F(VornCliTest, HelpComesBeforeVersionAndStartsNothing) {
  RunResult result = Run({"--version", "--help", "start", "vorn"});
  EXPECT_EQ(ExpectedUsage(cli_), result.out);
  EXPECT_EQ("", result.err);
  // No process.json beside the binary in the build tree.
  EXPECT_EQ(1, result.status);
}

TEST_F(VornCliTest, NoArgumentsIsAnUnknownCommand) {
  RunResult result = Run({});
  EXPECT_EQ(1, result.status);
  EXPECT_TRUE(IsLogLine(result.err, "ERROR", "Unknown command: "));
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
    RunResult result = Run(args);
    std::string text;
    for (size_t i = 0; i < args.size(); ++i) text += (i ? " " : "") + args[i];
    EXPECT_EQ(1, result.status) << text;
    EXPECT_TRUE(IsLogLine(result.err, "ERROR", "Unknown command: " + text));
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
    RunResult result = Run(command.args);
    EXPECT_EQ(command.status, result.status) << command.args[0];
    EXPECT_EQ(std::string::npos, result.err.find("Unknown command"))
        << command.args[0];
    EXPECT_EQ("", result.out) << command.args[0];
  }
}

TEST_F(VornCliTest, QuietSuppressesEveryErrorLine) {
  RunResult unknown = Run({"--quiet"});
  EXPECT_EQ(1, unknown.status);
  EXPECT_EQ("", unknown.err);
  EXPECT_EQ(ExpectedUsage(cli_), unknown.out);

  RunResult recognised = Run({"start", "--quiet", "vorn"});
  EXPECT_EQ(2, recognised.status);
  EXPECT_EQ("", recognised.err);
  EXPECT_EQ("", recognised.out);
}

TEST_F(VornCliTest, StatusHelpListsTheStatusCommands) {
  RunResult result = Run({"status", "help", "anything"});
  EXPECT_EQ(0, result.status);
  std::string expected = testing_texts::kExpectedStatusUsage;
  expected.replace(expected.find("vorn_cli"), 8, cli_);
  EXPECT_EQ(expected, result.out);
  EXPECT_EQ("", result.err);

  RunResult with_help_switch = Run({"status", "--help"});
  EXPECT_EQ(ExpectedUsage(cli_), with_help_switch.out);
}

TEST_F(VornCliTest, StatusIsRecognisedOnTheFirstArgumentOnly) {
  RunResult query = Run({"status", "Help"});
  EXPECT_EQ(1, query.status);
  EXPECT_EQ(std::string::npos, query.err.find("Unknown command"));
  EXPECT_EQ("", query.out);

  RunResult second = Run({"vorn", "status"});
  EXPECT_TRUE(IsLogLine(second.err, "ERROR", "Unknown command: vorn status"));
}

TEST_F(VornCliTest, HelpListsTheServicesOfProcessJsonBesideTheBinary) {
  std::string copy = CopyCli();
  WriteText(dir_ + "/process.json", R"([
    {"name": "process_manager", "command": ["${DIR_EXE}/process_manager"]},
    {"name": "vorn_shell", "command": ["${DIR_EXE}/vorn_shell"],
     "external_flags": [
       {"name": "volume", "description": "Initial volume.",
        "value_expression": "<0-100>"},
       {"name": "mute"}]}
  ])");
  RunResult result = Run({"--help"}, copy);
  EXPECT_EQ(0, result.status);
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
  WriteText(dir_ + "/process.json", "[{\"name\": \"x\",}]");
  RunResult result = Run({"--help"}, copy);
  EXPECT_EQ(1, result.status);
  EXPECT_EQ(ExpectedUsage(copy), result.out);
}

}  // namespace
}  // namespace vorn
