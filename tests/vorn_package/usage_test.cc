#include "vorn_package/usage.h"

#include <cstdio>
#include <string>

#include "base/command_line.h"
#include "base/logging.h"
#include "gtest/gtest.h"
#include "tests/vorn_package/expected_usage_texts.h"
#include "vorn_package/service_usage_loader.h"

namespace vorn {
namespace {

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

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
  CaptureStdout();
  int status = PrintUsageWithServices("vorn_cli", nullptr);
  fflush(stdout);
  EXPECT_EQ(testing_texts::kExpectedUsage, GetCapturedStdout());
  EXPECT_EQ(1, status);
}

TEST(PrintUsageTest, ListsServiceFlags) {
  std::vector<ServiceUsage> services = {
      {"process_manager", {}},
      {"vorn_shell",
       {{"volume", "Initial volume of the receiver.", "<0-100>"},
        {"mute", "", ""},
        {"log-dir", std::string(80, 'z'), "<path>"}}},
  };
  CaptureStdout();
  int status = PrintUsageWithServices("/opt/vorn/vorn_cli", &services);
  fflush(stdout);
  std::string out = GetCapturedStdout();
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
  CaptureStdout();
  PrintStatusUsage("vorn_cli");
  fflush(stdout);
  std::string out = GetCapturedStdout();
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
    base::ResetProcessCommandLineForTesting({"vorn_cli", "status", element});
    CaptureStderr();
    base::TimeDelta timeout = ParseStatusTimeout();
    *log = GetCapturedStderr();
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
    std::string log;
    base::ResetProcessCommandLineForTesting(
        {"vorn_cli", std::string("--status-timeout=") + text});
    CaptureStderr();
    EXPECT_EQ(base::TimeDelta(), ParseStatusTimeout()) << text;
    log = GetCapturedStderr();
    EXPECT_NE(std::string::npos,
              log.find(std::string("] Invalid timeout value: ") + text + "\n"))
        << "[" << text << "] " << log;
    EXPECT_NE(std::string::npos, log.find(":WARNING:usage.cc("));
  }
}

TEST(ServiceUsageLoaderTest, ReadsNamesAndFlags) {
  std::vector<ServiceUsage> services;
  ASSERT_TRUE(ParseServiceUsage(R"([
      {"name": "process_manager", "command": ["${DIR_EXE}/pm"]},
      // comments are accepted
      {"name": "vorn_shell", "external_flags": [
          {"name": "volume", "description": "Volume.", "value_expression": "<n>"},
          {"name": "mute", "description": 3}]}])",
                                &services));
  ASSERT_EQ(2u, services.size());
  EXPECT_EQ("process_manager", services[0].name);
  EXPECT_TRUE(services[0].external_flags.empty());
  ASSERT_EQ(2u, services[1].external_flags.size());
  EXPECT_EQ("<n>", services[1].external_flags[0].value_expression);
  EXPECT_EQ("", services[1].external_flags[1].description);
}

TEST(ServiceUsageLoaderTest, InvalidFilesLeaveTheListUntouched) {
  std::vector<ServiceUsage> services = {{"kept", {}}};
  const char* const kInvalid[] = {
      "",
      "{}",
      "[1]",
      "[{\"name\": \"\"}]",
      "[{\"command\": []}]",
      "[{\"name\": \"a\", \"external_flags\": [{\"name\": \"\"}]}]",
      "[{\"name\": \"a\", \"external_flags\": [\"x\"]}]",
      "[{\"name\": \"a\"},]"};
  for (const char* text : kInvalid) {
    EXPECT_FALSE(ParseServiceUsage(text, &services)) << text;
    ASSERT_EQ(1u, services.size());
    EXPECT_EQ("kept", services[0].name);
  }
  EXPECT_TRUE(ParseServiceUsage("[]", &services));
  EXPECT_TRUE(services.empty());
}

}  // namespace
}  // namespace vorn
