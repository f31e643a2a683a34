#include "vorn_package/usage.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "base/files/command_line.h"
#include "base/logging/logging.h"
#include "gtest/gtest.h"
#include "tests/support/files.h"
#include "tests/support/log_capture.h"
#include "tests/support/output_capture.h"
#include "tests/support/temp_dir.h"
#include "tests/vorn_package/expected_usage_texts.h"

namespace vorn {
namespace {

using test::ScopedLogCapture;
using test::ScopedOutputCapture;

std::string Repeat(char c, size_t n) { return std::string(n, c); }

TEST(WrapHelpTextTest, ShortTextsStayOnOneLine) {
  EXPECT_EQ("", WrapHelpText(""));
  EXPECT_EQ("      word", WrapHelpText("word"));
  std::string exactly73 = Repeat('a', 30) + " " + Repeat('b', 42);
  ASSERT_EQ(73u, exactly73.size());
  EXPECT_EQ("      " + exactly73, WrapHelpText(exactly73));
}

TEST(WrapHelpTextTest, BreaksAtTheLastBlankWithin74) {
  // The blank at index 73 is the last one a line may break at.
  std::string text = Repeat('a', 73) + " tail";
  EXPECT_EQ("      " + Repeat('a', 73) + "\n      tail", WrapHelpText(text));
  // A blank at index 74 is too far: break at the earlier one.
  std::string later = Repeat('a', 10) + " " + Repeat('b', 63) + " c";
  ASSERT_EQ(' ', later[74]);
  EXPECT_EQ("      " + Repeat('a', 10) + "\n      " + Repeat('b', 63) + " c",
            WrapHelpText(later));
}

TEST(WrapHelpTextTest, BreaksInsideAWordWithoutBlanks) {
  std::string exactly74 = Repeat('x', 74);
  // The text runs out at the break, so the result keeps that line feed.
  EXPECT_EQ("      " + exactly74 + "\n", WrapHelpText(exactly74));
  std::string longer = Repeat('x', 80) + " end";
  EXPECT_EQ("      " + Repeat('x', 74) + "\n      xxxxxx end",
            WrapHelpText(longer));
}

TEST(WrapHelpTextTest, EveryLineIsIndentedAndBounded) {
  std::string text;
  for (int i = 0; i < 60; ++i) text += std::string(i % 13 + 1, 'w') + ' ';
  std::string wrapped = WrapHelpText(text);
  size_t start = 0;
  while (start < wrapped.size()) {
    size_t end = wrapped.find('\n', start);
    if (end == std::string::npos) end = wrapped.size();
    std::string line = wrapped.substr(start, end - start);
    EXPECT_EQ(0u, line.find("      ")) << line;
    EXPECT_LE(line.size(), 6u + 74u) << line;
    start = end + 1;
  }
}

TEST(PrintUsageTest, MatchesTheTablesByteForByte) {
  ScopedOutputCapture out(STDOUT_FILENO);
  int status = PrintUsageWithConfigs("vorn_cli", nullptr);
  EXPECT_EQ(testing_texts::kExpectedUsage, out.Finish());
  EXPECT_EQ(1, status);
}

// A record of process.json with `name` and `flags`.
ProcessConfig Record(const std::string& name, std::vector<ExternalFlag> flags) {
  ProcessConfig config;
  config.name = name;
  config.command_line.ParseArgumentVector({"/opt/vorn/" + name});
  config.external_flags = std::move(flags);
  return config;
}

TEST(PrintUsageTest, ListsServiceFlags) {
  std::vector<ProcessConfig> services = {
      Record("process_manager", {}),
      Record("vorn_shell",
             {{"volume", "Initial volume of the receiver.", "<0-100>"},
              {"mute", "", ""},
              {"log-dir", std::string(80, 'z'), "<path>"}}),
  };
  ScopedOutputCapture capture(STDOUT_FILENO);
  int status = PrintUsageWithConfigs("/opt/vorn/vorn_cli", &services);
  std::string out = capture.Finish();
  EXPECT_EQ(0, status);
  EXPECT_EQ(0u, out.find("\nUsage: /opt/vorn/vorn_cli <options> <command>\n"));
  EXPECT_EQ(std::string::npos, out.find("process_manager\""));
  const std::string section =
      "\noptions for service \"vorn_shell\":\n"
      "  --volume=<0-100>\n"
      "      Initial volume of the receiver.\n"
      "  --mute\n"
      "  --log-dir=<path>\n"
      "      " +
      std::string(74, 'z') +
      "\n      zzzzzz\n"
      "\n\n";
  ASSERT_GE(out.size(), section.size());
  EXPECT_EQ(section, out.substr(out.size() - section.size()));
}

TEST(PrintUsageTest, StatusListEndsWithItsLastDescription) {
  ScopedOutputCapture capture(STDOUT_FILENO);
  PrintStatusUsage("vorn_cli");
  std::string out = capture.Finish();
  EXPECT_EQ(testing_texts::kExpectedStatusUsage, out);
  EXPECT_NE(std::string::npos, out.find("\n  status  \n"));
  EXPECT_NE(std::string::npos, out.find("\n  status help \n"));
}

TEST(PrintUsageTest, OptionNamesAreTheAcceptedSwitches) {
  EXPECT_EQ((base::StringVector{
                "process-manager-pid-path", "store-process-manager-pid",
                "dont-propagate-command-line", "vorn-package-env",
                "status-timeout", "quiet", "v", "help", "version"}),
            AcceptedOptionNames());
}

class StatusTimeoutTest : public testing::Test {
 protected:
  // The time-out read from a command line holding `element`, with what it
  // logged in `*log`.
  base::TimeDelta Parse(const std::string& element, std::string* log) {
    base::ParsedCommandLine command_line;
    command_line.ParseArgumentVector({"vorn_cli", "status", element});
    ScopedLogCapture capture;
    base::TimeDelta timeout = ParseStatusTimeout(command_line);
    *log = capture.Texts();
    return timeout;
  }
};

TEST_F(StatusTimeoutTest, ValidNumbers) {
  std::string log;
  EXPECT_EQ(base::TimeDelta::FromMilliseconds(250),
            Parse("--status-timeout=250", &log));
  EXPECT_EQ(base::TimeDelta::FromMilliseconds(2147483647),
            Parse("--status-timeout=+2147483647", &log));
  EXPECT_EQ(base::TimeDelta(), Parse("--status-timeout=-5", &log));
  EXPECT_EQ(base::TimeDelta(), Parse("--status-timeout=0", &log));
  EXPECT_EQ(base::TimeDelta(), Parse("--other=5", &log));
  EXPECT_EQ("", log);
}

TEST_F(StatusTimeoutTest, InvalidTextsWarnAndGiveZero) {
  // Only the element's ends are trimmed, so blanks right after "=" and
  // inside the value stay part of the text.
  const char* const kInvalid[] = {"5s", " 5",         "5 5",         "",    "+",
                                  "-",  "2147483648", "-2147483649", "0x10"};
  for (const char* text : kInvalid) {
    base::ParsedCommandLine command_line;
    command_line.ParseArgumentVector(
        {"vorn_cli", std::string("--status-timeout=") + text});
    ScopedLogCapture capture;
    EXPECT_EQ(base::TimeDelta(), ParseStatusTimeout(command_line)) << text;
    ASSERT_EQ(1u, capture.messages().size()) << "[" << text << "]";
    const test::CapturedMessage message = capture.messages()[0];
    EXPECT_EQ(logging::LOG_WARNING, message.severity);
    EXPECT_EQ("usage.cc", message.file);
    EXPECT_EQ(std::string("Invalid timeout value: ") + text, message.text);
  }
}

// PrintUsage reads process.json beside the executable; each case puts the
// package's directories at a folder of its own.
class PrintUsageFromFileTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir_.valid());
    context_.exe_dir = context_.home_dir = context_.temp_dir =
        base::FilePath(dir_.path());
  }

  // Prints the usage text for "vorn_cli"; returns the status, with the text
  // in `*out` and the log messages' texts in `*log`.
  int Print(std::string* out, std::string* log) {
    test::ScopedLogCapture capture;
    test::ScopedOutputCapture stdout_capture(STDOUT_FILENO);
    int status = PrintUsage(context_, "vorn_cli");
    *out = stdout_capture.Finish();
    *log = capture.Texts();
    return status;
  }

  std::string JsonPath() const { return dir_.Path("process.json"); }

  test::ScopedTempDir dir_;
  PackageContext context_;
};

TEST_F(PrintUsageFromFileTest, ADirectoryInPlaceOfTheFileGivesThePlainUsage) {
  // Reading a directory used to abort the program with an uncaught stream
  // exception, printing nothing.
  ASSERT_EQ(0, mkdir(JsonPath().c_str(), 0700));
  std::string out, log;
  EXPECT_EQ(1, Print(&out, &log));
  EXPECT_EQ(testing_texts::kExpectedUsage, out);
  EXPECT_EQ("", log);
}

TEST_F(PrintUsageFromFileTest, MissingOrEmptyFilesGiveThePlainUsage) {
  std::string out, log;
  EXPECT_EQ(1, Print(&out, &log));
  EXPECT_EQ(testing_texts::kExpectedUsage, out);
  EXPECT_EQ("", log);

  ASSERT_TRUE(test::WriteFile(JsonPath(), ""));
  EXPECT_EQ(1, Print(&out, &log));
  EXPECT_EQ(testing_texts::kExpectedUsage, out);
  EXPECT_EQ("Invalid json string for process config: \n", log);
}

TEST_F(PrintUsageFromFileTest, ABadFlagSkipsOnlyThatFlag) {
  ASSERT_TRUE(test::WriteFile(JsonPath(), R"([
    {"name": "process_manager", "command": ["pm"]},
    {"name": "vorn_shell", "command": ["shell"], "external_flags": [
      {"name": "volume", "value_expression": "<n>"},
      {"description": "no name"}]}])"));
  std::string out, log;
  EXPECT_EQ(0, Print(&out, &log));
  EXPECT_NE(std::string::npos,
            out.find("\noptions for service \"vorn_shell\":\n  --volume=<n>\n"
                     "\n\n"))
      << out;
  EXPECT_EQ(
      "Invalid flag entry in array 'external_flags' missing required key: "
      "name\n",
      log);
}

TEST_F(PrintUsageFromFileTest, EntriesWithoutAValidCommandRefuseTheFile) {
  const std::string json = R"([{"name": "vorn_shell", "external_flags": [
      {"name": "volume"}]}])";
  ASSERT_TRUE(test::WriteFile(JsonPath(), json));
  std::string out, log;
  EXPECT_EQ(1, Print(&out, &log));
  EXPECT_EQ(testing_texts::kExpectedUsage, out);
  EXPECT_EQ(
      "Mandatory field missing or not a string array: field=command, "
      "index=0, str=" +
          json + "\n",
      log);
}

}  // namespace
}  // namespace vorn
