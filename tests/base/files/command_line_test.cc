#include "base/files/command_line.h"

#include <string>

#include "base/logging/logging.h"
#include "gtest/gtest.h"
#include "tests/support/log_capture.h"

namespace base {
namespace {

using vorn::test::CapturedMessage;
using vorn::test::ScopedLogCapture;

ParsedCommandLine Parse(const StringVector& argv) {
  ParsedCommandLine line;
  line.ParseArgumentVector(argv);
  return line;
}

TEST(CommandLineTest, SwitchesMoveBeforeThePositionalArguments) {
  ParsedCommandLine line =
      Parse({"vorn_cli", "start", "--status-timeout=500", "vorn", "-v=2"});
  EXPECT_EQ((StringVector{"vorn_cli", "--status-timeout=500", "-v=2", "start",
                          "vorn"}),
            line.elements());
  EXPECT_EQ(3u, line.first_argument_index());
  EXPECT_EQ((StringVector{"start", "vorn"}), line.PositionalArguments());
  EXPECT_EQ("500", line.SwitchValue("status-timeout"));
  EXPECT_EQ("2", line.SwitchValue("v"));
  EXPECT_EQ("vorn_cli", line.ProgramPath().value());
}

TEST(CommandLineTest, ElementsAreTrimmedOfWhitespace) {
  ParsedCommandLine line = Parse({" \tprog\n", " --quiet ", "\vstop\f\r"});
  EXPECT_EQ("prog", line.elements()[0]);
  EXPECT_TRUE(line.HasSwitchNamed("quiet"));
  EXPECT_EQ((StringVector{"stop"}), line.PositionalArguments());
  EXPECT_EQ("", std::string(TrimWhitespace(" \t\n")));
}

TEST(CommandLineTest, LastValueWinsButEveryElementStays) {
  ParsedCommandLine line =
      Parse({"p", "--status-timeout=100", "x", "--status-timeout=200"});
  EXPECT_EQ("200", line.SwitchValue("status-timeout"));
  EXPECT_EQ(
      (StringVector{"p", "--status-timeout=100", "--status-timeout=200", "x"}),
      line.elements());
  EXPECT_EQ(1u, line.switches().size());
}

TEST(CommandLineTest, ValuesAndNames) {
  ParsedCommandLine line =
      Parse({"p", "--name=", "--Quiet", "--a=b=c", "---x", "--=5", "-", "s"});
  EXPECT_TRUE(line.HasSwitchNamed("name"));
  EXPECT_EQ("", line.SwitchValue("name"));
  EXPECT_EQ("", line.SwitchValue("absent"));
  EXPECT_FALSE(line.HasSwitchNamed("absent"));
  EXPECT_TRUE(line.HasSwitchNamed("Quiet"));
  EXPECT_FALSE(line.HasSwitchNamed("quiet"));
  EXPECT_EQ("b=c", line.SwitchValue("a"));
  EXPECT_TRUE(line.HasSwitchNamed("-x"));
  EXPECT_EQ("5", line.SwitchValue(""));
  EXPECT_EQ((StringVector{"-", "s"}), line.PositionalArguments());
}

TEST(CommandLineTest, SingleAndDoubleDashAreOneEntry) {
  ParsedCommandLine line = Parse({"p", "-quiet", "--quiet"});
  EXPECT_EQ(1u, line.switches().size());
  EXPECT_EQ((StringVector{"p", "-quiet", "--quiet"}), line.elements());
}

TEST(CommandLineTest, DoubleDashEndsSwitchParsing) {
  ParsedCommandLine line = Parse({"vorn_cli", "stop", "--", "--help", "vorn"});
  EXPECT_FALSE(line.HasSwitchNamed("help"));
  EXPECT_EQ((StringVector{"stop", "--help", "vorn"}),
            line.PositionalArguments());
  EXPECT_EQ((StringVector{"vorn_cli", "stop", "--", "--help", "vorn"}),
            line.elements());

  ParsedCommandLine twice = Parse({"p", "--", "a", "--", "b"});
  EXPECT_EQ((StringVector{"a", "--", "b"}), twice.PositionalArguments());
}

TEST(CommandLineTest, EmptyInputAndConstructors) {
  ParsedCommandLine empty = Parse({});
  EXPECT_EQ(StringVector{""}, empty.elements());
  EXPECT_EQ(1u, empty.first_argument_index());
  EXPECT_TRUE(empty.PositionalArguments().empty());

  ParsedCommandLine program(FilePath("  /bin/pm \n"));
  EXPECT_EQ(StringVector{"/bin/pm"}, program.elements());
  EXPECT_EQ(StringVector{""}, ParsedCommandLine().elements());
}

TEST(CommandLineTest, AddSwitchKeepsOrAddsTheDashes) {
  ParsedCommandLine line(FilePath("pm"));
  line.AddArgument("service");
  line.AddSwitch("async", "");
  line.AddSwitch("-v", "1");
  line.AddSwitch("--process-manager-pid-path", "/tmp/p.pid");
  EXPECT_EQ((StringVector{"pm", "--async", "-v=1",
                          "--process-manager-pid-path=/tmp/p.pid", "service"}),
            line.elements());
  EXPECT_TRUE(line.HasSwitchNamed("async"));
  EXPECT_EQ("/tmp/p.pid",
            line.SwitchValueAsPath("process-manager-pid-path").value());
}

TEST(CommandLineTest, AsciiValueRejectsHighBytes) {
  ParsedCommandLine line = Parse({"p", "--a=plain", "--b=caf\xC3\xA9"});
  EXPECT_EQ("plain", line.SwitchValueAscii("a"));
  EXPECT_EQ("", line.SwitchValueAscii("b"));
  EXPECT_EQ("caf\xC3\xA9", line.SwitchValue("b"));
}

TEST(CommandLineTest, SplitSwitch) {
  std::string text, value;
  EXPECT_FALSE(SplitSwitch("-", &text, &value));
  EXPECT_FALSE(SplitSwitch("--", &text, &value));
  EXPECT_FALSE(SplitSwitch("plain", &text, &value));
  ASSERT_TRUE(SplitSwitch("-v=2", &text, &value));
  EXPECT_EQ("-v", text);
  EXPECT_EQ("2", value);
  ASSERT_TRUE(SplitSwitch("--x", &text, &value));
  EXPECT_EQ("--x", text);
  EXPECT_EQ("", value);
}

TEST(CommandLineTest, CommandLineText) {
  ParsedCommandLine line =
      Parse({"/bin/pm", "svc", "--a=1", "-b", "--", "--c=2", "x y"});
  EXPECT_EQ("/bin/pm --a=1 -b svc -- --c=2 x y", line.CommandLineText());
  EXPECT_EQ("p", Parse({"p"}).CommandLineText());
  EXPECT_EQ("", Parse({}).CommandLineText());
}

TEST(CommandLineTest, ProcessCommandLineIsBuiltOnce) {
  const char* first[] = {"first", "--x"};
  const char* second[] = {"second"};
  EXPECT_TRUE(InitProcessCommandLine(2, first));
  EXPECT_FALSE(InitProcessCommandLine(1, second));
  EXPECT_EQ("first", ProcessCommandLine().elements()[0]);
}

TEST(CommandLineTest, AcceptedSwitchCheckWarnsInNameOrder) {
  ParsedCommandLine line =
      Parse({"p", "--zeta", "--quiet", "--alpha", "--volume=3", "-quiet"});
  logging::SetMinLogLevel(0);
  ScopedLogCapture capture;
  bool accepted = CheckAcceptedSwitches(line, {"quiet", "v"}, {"volume"});
  EXPECT_FALSE(accepted);
  // In name order, the summary last; "quiet" and "volume" are accepted.
  EXPECT_EQ(
      "Unknown flag specified: alpha\n"
      "Unknown flag specified: zeta\n"
      "Some invalid flags were specified. Please check help or usage for "
      "more information on available flags\n",
      capture.Texts());
  for (const CapturedMessage& message : capture.messages()) {
    EXPECT_EQ(logging::LOG_WARNING, message.severity) << message.text;
    EXPECT_EQ("command_line.cc", message.file) << message.text;
  }
}

TEST(CommandLineTest, VerbositySwitchesAreHandedToLoggingSettings) {
  logging::LoggingSettings settings;
  AddVerbositySwitches(Parse({"p", "start", "--vmodule=net*=2", "--v=3"}),
                       &settings);
  EXPECT_EQ("3", settings.v_switch.value_or("absent"));
  EXPECT_EQ("net*=2", settings.vmodule_switch.value_or("absent"));

  logging::LoggingSettings only_v;
  AddVerbositySwitches(Parse({"p", "-v", "--", "--vmodule=x=1"}), &only_v);
  EXPECT_EQ("", only_v.v_switch.value_or("absent"));
  EXPECT_FALSE(only_v.vmodule_switch);

  logging::LoggingSettings none;
  AddVerbositySwitches(Parse({"p", "--verbose=1"}), &none);
  EXPECT_FALSE(none.v_switch);
  EXPECT_FALSE(none.vmodule_switch);
}

TEST(CommandLineTest, AcceptedSwitchCheckIsSilentWhenAllAreKnown) {
  ParsedCommandLine line = Parse({"p", "--v=1", "--volume", "start"});
  ScopedLogCapture capture;
  EXPECT_TRUE(CheckAcceptedSwitches(line, {"v"}, {"volume"}));
  EXPECT_EQ("", capture.Texts());
}

}  // namespace
}  // namespace base
