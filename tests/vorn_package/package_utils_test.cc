#include "vorn_package/package_utils.h"

#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <optional>
#include <string>
#include <vector>

#include "base/files/command_line.h"
#include "base/files/path_service.h"
#include "base/logging/logging.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/log_capture.h"
#include "tests/support/scoped_env.h"
#include "tests/support/temp_dir.h"

namespace vorn {
namespace {

using logging::LOG_ERROR;
using logging::LOG_WARNING;
using test::ScopedLogCapture;
using test::ScopedTempDir;

using test::ScopedEnv;

// Each case starts with a context of known directories: the executable's
// is /opt/vorn, the temporary one /tmp/t and the home one /home/op, and
// vorn_cli's own command line holds nothing but the program.
class PackageUtilsTest : public testing::Test {
 protected:
  PackageUtilsTest() {
    SetArgs({"vorn_cli"});
    context_.exe_dir = base::FilePath("/opt/vorn");
    context_.temp_dir = base::FilePath("/tmp/t");
    context_.home_dir = base::FilePath("/home/op");
  }

  // vorn_cli's own command line.
  void SetArgs(const base::StringVector& argv) {
    context_.command_line.ParseArgumentVector(argv);
  }

  // Parses `json` into a list that held one sentinel record, and checks
  // that a refusal leaves it there.
  bool Parse(const std::string& json) {
    configs_.assign(1, ProcessConfig());
    configs_[0].name = "sentinel";
    bool ok = ParseProcessConfigs(context_, json, &configs_);
    if (!ok) {
      EXPECT_EQ(1u, configs_.size());
      if (!configs_.empty()) {
        EXPECT_EQ("sentinel", configs_[0].name);
      }
    }
    return ok;
  }

  // Refuses `json` with exactly one ERROR, `message`, and nothing else.
  void ExpectRefused(const std::string& json, const std::string& message) {
    ScopedLogCapture capture;
    EXPECT_FALSE(Parse(json)) << json;
    ASSERT_EQ(1u, capture.messages().size()) << capture.Texts();
    EXPECT_TRUE(capture.Has(LOG_ERROR, message)) << capture.Texts();
  }

  ScopedTempDir work_;
  PackageContext context_;
  std::vector<ProcessConfig> configs_;
};

// ---- ExpandPathVariables ---------------------------------------------------

TEST_F(PackageUtilsTest, ExpandsTheThreeDirectories) {
  EXPECT_EQ("/opt/vorn/process_manager",
            ExpandPathVariables(context_, "${DIR_EXE}/process_manager"));
  EXPECT_EQ("/home/op/.vorn",
            ExpandPathVariables(context_, "${DIR_HOME}/.vorn"));
  EXPECT_EQ("/tmp/t/a:/tmp/t/b",
            ExpandPathVariables(context_, "${DIR_TEMP}/a:${DIR_TEMP}/b"));
  EXPECT_EQ("--log=/tmp/t/x",
            ExpandPathVariables(context_, "--log=${DIR_TEMP}/x"));
  EXPECT_EQ("${DIR_OTHER}/x", ExpandPathVariables(context_, "${DIR_OTHER}/x"));
  EXPECT_EQ("$DIR_EXE/x", ExpandPathVariables(context_, "$DIR_EXE/x"));
}

TEST_F(PackageUtilsTest, DoubleSlashesCollapseOnlyInExpandedTexts) {
  EXPECT_EQ("a//b", ExpandPathVariables(context_, "a//b"));
  EXPECT_EQ("/tmp/t/a/b", ExpandPathVariables(context_, "${DIR_TEMP}/a//b"));
  // Each variable's step collapses once: "///" after the last variable keeps
  // one "//", after the first it is collapsed by the two later steps too.
  EXPECT_EQ("/tmp/t//x", ExpandPathVariables(context_, "${DIR_TEMP}///x"));
  EXPECT_EQ("/opt/vorn/x", ExpandPathVariables(context_, "${DIR_EXE}///x"));
}

TEST_F(PackageUtilsTest, AnExecutableInTheRootDirectoryGivesOneSlash) {
  context_.exe_dir = base::FilePath("/");
  EXPECT_EQ("/process_manager",
            ExpandPathVariables(context_, "${DIR_EXE}/process_manager"));
}

TEST_F(PackageUtilsTest, AFailedLookupIsLoggedForEveryElement) {
  context_.temp_dir = base::FilePath();
  ScopedLogCapture capture;
  EXPECT_EQ("/x", ExpandPathVariables(context_, "${DIR_TEMP}/x"));
  EXPECT_EQ("plain", ExpandPathVariables(context_, "plain"));
  EXPECT_EQ(2, capture.Count(LOG_ERROR, "Cannot get dir for ${DIR_TEMP}"));
  EXPECT_EQ(2u, capture.messages().size()) << capture.Texts();
}

// ---- ParseProcessConfigs ---------------------------------------------------

TEST_F(PackageUtilsTest, ParsesAFullEntry) {
  ScopedLogCapture capture;
  ASSERT_TRUE(Parse(R"([
    {"name": "process_manager",
     "command": ["${DIR_EXE}/process_manager", "", "--verbose=2", "-q",
                 "arg", "--late"],
     "service_type": "critical",
     "dirs": ["${DIR_TEMP}/pm", "", "/var/lib/pm"],
     "sockets": ["${DIR_HOME}/pm.sock"],
     "external_flags": [
       {"name": "volume", "description": "Start volume.",
        "value_expression": "<0-100>"},
       {"name": "mute", "description": 5, "value_expression": null}],
     "ignored": true},
    // comments are accepted
    {"name": "oneshot", "command": ["relative"], "service_type": "oneshot"}
  ])"));
  EXPECT_EQ("", capture.Texts());
  ASSERT_EQ(2u, configs_.size());
  const ProcessConfig& pm = configs_[0];
  EXPECT_EQ("process_manager", pm.name);
  // Switches after a plain argument still count as switches (the argument
  // vector's own rule) and are kept before the plain arguments.
  EXPECT_EQ((base::StringVector{"/opt/vorn/process_manager", "--verbose=2",
                                "-q", "--late", "arg"}),
            pm.command_line.elements());
  EXPECT_EQ("2", pm.command_line.SwitchValue("verbose"));
  EXPECT_TRUE(pm.command_line.HasSwitchNamed("q"));
  EXPECT_TRUE(pm.command_line.HasSwitchNamed("late"));
  EXPECT_EQ(base::StringVector{"arg"}, pm.command_line.PositionalArguments());
  EXPECT_EQ(ServiceType::kCritical, pm.service_type);
  EXPECT_EQ((std::vector<base::FilePath>{base::FilePath("/tmp/t/pm"),
                                         base::FilePath("/var/lib/pm")}),
            pm.dirs);
  EXPECT_EQ(std::vector<base::FilePath>{base::FilePath("/home/op/pm.sock")},
            pm.sockets);
  ASSERT_EQ(2u, pm.external_flags.size());
  EXPECT_EQ("volume", pm.external_flags[0].name);
  EXPECT_EQ("Start volume.", pm.external_flags[0].description);
  EXPECT_EQ("<0-100>", pm.external_flags[0].value_expression);
  EXPECT_EQ("mute", pm.external_flags[1].name);
  EXPECT_EQ("", pm.external_flags[1].description);
  EXPECT_EQ("", pm.external_flags[1].value_expression);

  EXPECT_EQ(ServiceType::kOneshot, configs_[1].service_type);
  EXPECT_EQ("relative", configs_[1].command_line.ProgramPath().value());
  EXPECT_TRUE(configs_[1].dirs.empty());
  EXPECT_TRUE(configs_[1].external_flags.empty());
}

TEST_F(PackageUtilsTest, AnEmptyListIsValid) {
  EXPECT_TRUE(Parse("[]"));
  EXPECT_TRUE(configs_.empty());
}

TEST_F(PackageUtilsTest, InvalidJsonIsRefusedWithTheWholeText) {
  ExpectRefused("", "Invalid json string for process config: ");
  const std::string trailing = R"([{"name": "a", "command": ["x"],}])";
  ExpectRefused(trailing,
                "Invalid json string for process config: " + trailing);
  ExpectRefused("[1,]", "Invalid json string for process config: [1,]");
}

TEST_F(PackageUtilsTest, TheTopLevelMustBeAList) {
  const std::string dict = R"({"name": "a", "command": ["x"]})";
  ExpectRefused(dict, "Invalid non-list json for process config: " + dict);
  ExpectRefused("\"x\"", "Invalid non-list json for process config: \"x\"");
}

TEST_F(PackageUtilsTest, EveryEntryMustBeADictionary) {
  const std::string json = R"([{"name": "a", "command": ["x"]}, 7])";
  ExpectRefused(json,
                "Invalid non-dictionary json for process config: index=1, "
                "str=" +
                    json);
}

TEST_F(PackageUtilsTest, AnEntryNeedsANonEmptyStringName) {
  for (const std::string name : {"", R"("name": "",)", R"("name": 3,)"}) {
    const std::string json = "[{" + name + R"("command": ["x"]}])";
    ExpectRefused(json,
                  "Mandatory field missing: field=name, index=0, str=" + json);
  }
}

TEST_F(PackageUtilsTest, AnEntryNeedsACommandOfStrings) {
  // Entries without a valid command are refused, and the file with them.
  for (const std::string command :
       {"", R"(, "command": "x")", R"(, "command": {})"}) {
    const std::string json =
        R"([{"name": "ok", "command": ["x"]}, {"name": "a")" + command + "}]";
    ExpectRefused(json,
                  "Mandatory field missing or not a string array: "
                  "field=command, index=1, str=" +
                      json);
  }
  const std::string mixed = R"([{"name": "a", "command": ["x", 1]}])";
  ScopedLogCapture capture;
  EXPECT_FALSE(Parse(mixed));
  ASSERT_EQ(2u, capture.messages().size()) << capture.Texts();
  EXPECT_EQ("Not string in array of command", capture.messages()[0].text);
  EXPECT_EQ(LOG_ERROR, capture.messages()[0].severity);
  EXPECT_TRUE(capture.Has(LOG_ERROR,
                          "Mandatory field missing or not a string array: "
                          "field=command, index=0, str=" +
                              mixed));
}

TEST_F(PackageUtilsTest, ACommandOfEmptyStringsIsRefused) {
  const std::string json = R"([{"name": "a", "command": ["", ""]}])";
  ExpectRefused(json, "Empty command: index=0, str=" + json);
  const std::string none = R"([{"name": "a", "command": []}])";
  ExpectRefused(none, "Empty command: index=0, str=" + none);
}

TEST_F(PackageUtilsTest, UnknownServiceTypesWarnAndStayDefault) {
  ScopedLogCapture capture;
  ASSERT_TRUE(Parse(R"([
    {"name": "a", "command": ["x"], "service_type": "Critical"},
    {"name": "b", "command": ["x"], "service_type": 2}])"));
  EXPECT_EQ(ServiceType::kDefault, configs_[0].service_type);
  EXPECT_EQ(ServiceType::kDefault, configs_[1].service_type);
  ASSERT_EQ(1u, capture.messages().size()) << capture.Texts();
  EXPECT_TRUE(capture.Has(
      LOG_WARNING, "Unknown service type in config: service=a, type=Critical"));
}

TEST_F(PackageUtilsTest, BadDirsAndSocketsAreDroppedButTheEntryStays) {
  ScopedLogCapture capture;
  ASSERT_TRUE(Parse(R"([{"name": "a", "command": ["x"],
      "dirs": ["/ok", 5], "sockets": [null], "service_type": "oneshot"},
      {"name": "b", "command": ["x"], "dirs": "/not-a-list"}])"));
  ASSERT_EQ(2u, configs_.size());
  EXPECT_TRUE(configs_[0].dirs.empty());
  EXPECT_TRUE(configs_[0].sockets.empty());
  EXPECT_EQ(ServiceType::kOneshot, configs_[0].service_type);
  EXPECT_TRUE(configs_[1].dirs.empty());
  ASSERT_EQ(2u, capture.messages().size()) << capture.Texts();
  EXPECT_TRUE(capture.Has(LOG_ERROR, "Not string in array of dirs"));
  EXPECT_TRUE(capture.Has(LOG_ERROR, "Not string in array of sockets"));
}

TEST_F(PackageUtilsTest, ABadExternalFlagIsSkippedAndTheOthersKept) {
  ScopedLogCapture capture;
  ASSERT_TRUE(Parse(R"([
    {"name": "process_manager", "command": ["x"]},
    {"name": "vorn_shell", "command": ["y"], "external_flags": [
      {"name": "volume", "value_expression": "<n>"},
      "not-a-dictionary",
      {"description": "has no name"},
      {"name": ""},
      {"name": 4},
      {"name": "mute"}]},
    {"name": "other", "command": ["z"], "external_flags": {"name": "x"}}])"));
  ASSERT_EQ(3u, configs_.size());
  ASSERT_EQ(2u, configs_[1].external_flags.size());
  EXPECT_EQ("volume", configs_[1].external_flags[0].name);
  EXPECT_EQ("mute", configs_[1].external_flags[1].name);
  EXPECT_TRUE(configs_[2].external_flags.empty());
  EXPECT_EQ(1, capture.Count(LOG_ERROR,
                             "External flag entry in array 'external_flags' "
                             "must be a dictionary"));
  EXPECT_EQ(3, capture.Count(LOG_ERROR,
                             "Invalid flag entry in array 'external_flags' "
                             "missing required key: name"));
  EXPECT_EQ(4u, capture.messages().size()) << capture.Texts();
}

TEST_F(PackageUtilsTest, DuplicateNamesAreKept) {
  ASSERT_TRUE(Parse(R"([{"name": "a", "command": ["x"]},
                        {"name": "a", "command": ["y"]}])"));
  ASSERT_EQ(2u, configs_.size());
  EXPECT_EQ("y", configs_[1].command_line.ProgramPath().value());
}

// ---- LoadProcessConfigs, CheckProgramsExist, GetProcessConfigPath ---------

TEST_F(PackageUtilsTest, UnreadableFilesFailWithoutAMessage) {
  const ScopedTempDir& dir = work_;
  ASSERT_TRUE(dir.valid());
  ScopedLogCapture capture;
  std::vector<ProcessConfig> configs(1);
  // A directory where process.json should be.
  EXPECT_FALSE(
      LoadProcessConfigs(context_, base::FilePath(dir.path()), &configs));
  EXPECT_FALSE(LoadProcessConfigs(context_, base::FilePath(dir.Path("missing")),
                                  &configs));
  EXPECT_EQ(1u, configs.size());
  EXPECT_EQ("", capture.Texts());

  ASSERT_TRUE(test::WriteFile(dir.Path("process.json"),
                              R"([{"name": "a", "command": ["x"]}])"));
  EXPECT_TRUE(LoadProcessConfigs(
      context_, base::FilePath(dir.Path("process.json")), &configs));
  ASSERT_EQ(1u, configs.size());
  EXPECT_EQ("a", configs[0].name);
}

TEST_F(PackageUtilsTest, ProcessJsonLiesBesideTheExecutable) {
  EXPECT_EQ("/opt/vorn/process.json", GetProcessConfigPath(context_).value());
  context_.exe_dir = base::FilePath("/");
  EXPECT_EQ("/process.json", GetProcessConfigPath(context_).value());
}

TEST_F(PackageUtilsTest, ProgramsMustExistAsGiven) {
  const ScopedTempDir& dir = work_;
  ASSERT_TRUE(dir.valid());
  ASSERT_TRUE(test::WriteFile(dir.Path("pm"), "", 0600));
  ASSERT_TRUE(Parse("[{\"name\": \"a\", \"command\": [\"" + dir.Path("pm") +
                    "\"]}, {\"name\": \"b\", \"command\": [\"" + dir.path() +
                    "\"]}]"));
  EXPECT_TRUE(CheckProgramsExist(configs_));
  EXPECT_TRUE(CheckProgramsExist({}));

  // A bare name is not looked up along PATH.
  std::vector<ProcessConfig> bare(1);
  bare[0].command_line.ParseArgumentVector({"sh"});
  char cwd[4096];
  ASSERT_NE(nullptr, getcwd(cwd, sizeof(cwd)));
  ASSERT_EQ(0, chdir(dir.path().c_str()));
  EXPECT_FALSE(CheckProgramsExist(bare));
  bare[0].command_line.ParseArgumentVector({"pm"});
  EXPECT_TRUE(CheckProgramsExist(bare));
  ASSERT_EQ(0, chdir(cwd));

  configs_.push_back(ProcessConfig());
  configs_.back().command_line.ParseArgumentVector({dir.Path("missing")});
  EXPECT_FALSE(CheckProgramsExist(configs_));
}

// ---- Well-known paths -------------------------------------------------------

TEST_F(PackageUtilsTest, TheContextHoldsTheLineAndThePathServiceDirectories) {
  ScopedEnv tmpdir("TMPDIR", "/tmp/t");
  ScopedEnv home("HOME", "/home/op");
  base::PathService::ClearCacheForTesting();
  PackageContext context = MakePackageContext(context_.command_line);
  EXPECT_EQ(context_.command_line.elements(), context.command_line.elements());
  char exe[4096] = {};
  ASSERT_GT(readlink("/proc/self/exe", exe, sizeof(exe) - 1), 0);
  EXPECT_EQ(base::FilePath(exe).DirName().value(), context.exe_dir.value());
  EXPECT_EQ("/tmp/t", context.temp_dir.value());
  EXPECT_EQ("/home/op", context.home_dir.value());
  // Directories the path service cannot find stay empty.
  ScopedEnv no_tmpdir("TMPDIR", "");
  ScopedEnv no_home("HOME", nullptr);
  base::PathService::ClearCacheForTesting();
  context = MakePackageContext(context_.command_line);
  EXPECT_TRUE(context.temp_dir.empty());
  EXPECT_TRUE(context.home_dir.empty());
}

TEST_F(PackageUtilsTest, DefaultFilesLieInTheTemporaryDirectory) {
  EXPECT_EQ("/tmp/t/process_manager.pid", GetPidFilePath(context_).value());
  EXPECT_EQ("/tmp/t/vorn-cli-socket.path",
            GetSocketPathFilePath(context_).value());
}

TEST_F(PackageUtilsTest, SwitchesOverrideTheDefaultPaths) {
  SetArgs({"vorn_cli", "--process-manager-pid-path=rel/pm.pid",
           "--vorn-cli-socket-file-path=/run/s.path"});
  EXPECT_EQ("rel/pm.pid", GetPidFilePath(context_).value());
  EXPECT_EQ("/run/s.path", GetSocketPathFilePath(context_).value());
  // An empty value falls back to the default.
  SetArgs({"vorn_cli",
           "--process-manager-pid-path=", "--vorn-cli-socket-file-path"});
  EXPECT_EQ("/tmp/t/process_manager.pid", GetPidFilePath(context_).value());
  EXPECT_EQ("/tmp/t/vorn-cli-socket.path",
            GetSocketPathFilePath(context_).value());
}

TEST_F(PackageUtilsTest, AnUnusableDirectoryLeavesTheBareFileName) {
  context_.temp_dir = base::FilePath();
  ScopedLogCapture capture;
  EXPECT_EQ("process_manager.pid", GetPidFilePath(context_).value());
  EXPECT_TRUE(capture.Has(LOG_ERROR, "Cannot get default dir: 5"));
  EXPECT_EQ("x.json",
            GetPathFromSwitchOrDefault(context_, "", 9999, "x.json").value());
  EXPECT_TRUE(capture.Has(LOG_ERROR, "Cannot get default dir: 9999"));
}

TEST_F(PackageUtilsTest, LoggingWrapperPath) {
  EXPECT_EQ("/bin/logshim", GetLoggingWrapperPath(context_).value());
  SetArgs({"vorn_cli", "--log-wrapper-path=/opt/shim"});
  EXPECT_EQ("/opt/shim", GetLoggingWrapperPath(context_).value());
  // Given empty: no wrapper.
  SetArgs({"vorn_cli", "--log-wrapper-path="});
  EXPECT_EQ("", GetLoggingWrapperPath(context_).value());
  SetArgs({"vorn_cli", "--log-wrapper-path"});
  EXPECT_EQ("", GetLoggingWrapperPath(context_).value());
}

class SocketPathTest : public PackageUtilsTest {
 protected:
  void SetUp() override {
    PackageUtilsTest::SetUp();
    ASSERT_TRUE(work_.valid());
    SetArgs({"vorn_cli", "--vorn-cli-socket-file-path=" + path()});
  }
  std::string path() const { return work_.Path("vorn-cli-socket.path"); }
};

TEST_F(SocketPathTest, TheWholeContentIsThePath) {
  ASSERT_TRUE(test::WriteFile(path(), "/tmp/t/vorn.sock\n"));
  EXPECT_EQ("/tmp/t/vorn.sock\n", ReadSocketPath(context_).value());
  ASSERT_TRUE(test::WriteFile(path(), " /a b "));
  EXPECT_EQ(" /a b ", ReadSocketPath(context_).value());
}

TEST_F(SocketPathTest, FindsTheDefaultFileInTmpdir) {
  context_.temp_dir = base::FilePath(work_.path());
  SetArgs({"vorn_cli"});
  ASSERT_TRUE(test::WriteFile(path(), "/s"));
  EXPECT_EQ("/s", ReadSocketPath(context_).value());
}

TEST_F(SocketPathTest, FailuresGiveAnEmptyPathSilently) {
  ScopedLogCapture capture;
  EXPECT_EQ("", ReadSocketPath(context_).value());  // no file
  ASSERT_EQ(0, mkdir(path().c_str(), 0700));
  EXPECT_EQ("", ReadSocketPath(context_).value());  // a directory
  ASSERT_EQ(0, rmdir(path().c_str()));
  // A FIFO must not hold the status command up.
  ASSERT_EQ(0, mkfifo(path().c_str(), 0600));
  int64_t start = test::MonotonicMilliseconds();
  std::string refusal;
  EXPECT_EQ("", ReadSocketPath(context_, &refusal).value());
  EXPECT_EQ("it is not a regular file", refusal);
  EXPECT_LT(test::MonotonicMilliseconds() - start, 2000);
  ASSERT_EQ(0, unlink(path().c_str()));
  // Nor may a link to an endless device.
  ASSERT_EQ(0, symlink("/dev/zero", path().c_str()));
  EXPECT_EQ("", ReadSocketPath(context_).value());
  EXPECT_EQ("", capture.Texts());
}

TEST_F(SocketPathTest, FilesUpTo4KiBAreReadWhole) {
  std::string longest = "/" + std::string(kMaxSocketPathFileSize - 1, 's');
  ASSERT_TRUE(test::WriteFile(path(), longest));
  EXPECT_EQ(longest, ReadSocketPath(context_).value());
  ASSERT_TRUE(test::WriteFile(path(), longest + "s"));
  std::string refusal;
  EXPECT_EQ("", ReadSocketPath(context_, &refusal).value());
  EXPECT_EQ("it holds more than 4096 bytes", refusal);
}

TEST_F(SocketPathTest, FilesOthersMayWriteAreRefusedToRoot) {
  const bool root = geteuid() == 0;
  std::string refusal;
  ASSERT_TRUE(test::WriteFile(path(), "/s"));
  ASSERT_EQ(0, root ? chown(path().c_str(), 4321, 4321) : 0);  // any owner
  for (mode_t mode : {0644, 0664, 0646}) {
    ASSERT_EQ(0, chmod(path().c_str(), mode));
    bool refused = root && mode != 0644;
    EXPECT_EQ(refused ? "" : "/s", ReadSocketPath(context_, &refusal).value())
        << mode;
    EXPECT_EQ(refused ? "group or others may write it" : "", refusal) << mode;
  }
}

// ---- Flag propagation and the process manager's command line -------------

class CommandLineBuildTest : public PackageUtilsTest {
 protected:
  void SetUp() override {
    PackageUtilsTest::SetUp();
    ASSERT_TRUE(Parse(R"([
      {"name": "process_manager",
       "command": ["/opt/vorn/pm", "--pm-own", "plain"],
       "external_flags": [{"name": "volume", "value_expression": "<n>"}]},
      {"name": "vorn_shell", "command": ["/opt/vorn/shell"],
       "external_flags": [{"name": "mute"},
                          {"name": "volume"},
                          {"name": "area", "value_expression": "<code>"}]}
    ])"));
  }

  base::StringVector Build(bool async) {
    return BuildProcessManagerCommandLine(context_, configs_[0], configs_,
                                          async)
        .elements();
  }
};

TEST_F(CommandLineBuildTest, NothingIsAddedWithoutSwitches) {
  EXPECT_EQ((base::StringVector{"/opt/vorn/pm", "--pm-own", "plain"}),
            Build(false));
  EXPECT_EQ(
      (base::StringVector{"/opt/vorn/pm", "--pm-own", "--async", "plain"}),
      Build(true));
}

TEST_F(CommandLineBuildTest, AsyncIsNotAddedTwice) {
  configs_[0].command_line.ParseArgumentVector({"/opt/vorn/pm", "--async"});
  EXPECT_EQ((base::StringVector{"/opt/vorn/pm", "--async"}), Build(true));
}

TEST_F(CommandLineBuildTest, GivenFlagsArePassedInNameOrderBeforeArguments) {
  SetArgs({"vorn_cli", "start", "--volume=40", "--unknown=1", "--mute", "vorn",
           "--area=eu", "--status-timeout=5"});
  ScopedLogCapture capture;
  EXPECT_EQ((base::StringVector{"/opt/vorn/pm", "--pm-own", "--async",
                                "--area=eu", "--mute", "--volume=40", "plain"}),
            Build(true));
  EXPECT_EQ("", capture.Texts());
}

TEST_F(CommandLineBuildTest, AFlagDeclaredTwiceIsPassedOnceAsFirstDeclared) {
  // process_manager declares "volume" with a value, vorn_shell without:
  // the first declaration decides, so an empty value is warned about.
  SetArgs({"vorn_cli", "--volume"});
  ScopedLogCapture capture;
  EXPECT_EQ(
      (base::StringVector{"/opt/vorn/pm", "--pm-own", "--volume", "plain"}),
      Build(false));
  ASSERT_EQ(1u, capture.messages().size()) << capture.Texts();
  EXPECT_TRUE(capture.Has(LOG_WARNING,
                          "Current process command line flag 'volume' should "
                          "not be empty when passing as external flag"));
}

TEST_F(CommandLineBuildTest, AFlagWithoutValueExpressionPassesSilently) {
  SetArgs({"vorn_cli", "--mute="});
  ScopedLogCapture capture;
  base::ParsedCommandLine child(base::FilePath("/child"));
  PropagateExternalFlags(context_, configs_, &child);
  EXPECT_EQ((base::StringVector{"/child", "--mute"}), child.elements());
  EXPECT_EQ("", capture.Texts());
}

TEST_F(CommandLineBuildTest, PackageEnvAndPidPathFollowTheFlags) {
  SetArgs({"vorn_cli", "--vorn-package-env=A=1 B=two\\ words",
           "--process-manager-pid-path=", "--mute"});
  EXPECT_EQ((base::StringVector{"/opt/vorn/pm", "--pm-own", "--mute",
                                "--vorn-package-env=A=1 B=two\\ words",
                                "--process-manager-pid-path=/tmp/t/"
                                "process_manager.pid",
                                "plain"}),
            Build(false));
  SetArgs({"vorn_cli", "--process-manager-pid-path=/run/pm.pid"});
  EXPECT_EQ(
      (base::StringVector{"/opt/vorn/pm", "--pm-own",
                          "--process-manager-pid-path=/run/pm.pid", "plain"}),
      Build(false));
}

TEST_F(CommandLineBuildTest, DontPropagateKeepsOnlyAsync) {
  SetArgs({"vorn_cli", "--dont-propagate-command-line", "--mute",
           "--vorn-package-env=A=1", "--process-manager-pid-path=/run/p"});
  EXPECT_EQ(
      (base::StringVector{"/opt/vorn/pm", "--pm-own", "--async", "plain"}),
      Build(true));
  EXPECT_EQ((base::StringVector{"/opt/vorn/pm", "--pm-own", "plain"}),
            Build(false));
}

TEST_F(CommandLineBuildTest, ASwitchThePmAlreadyHasIsAddedAgain) {
  configs_[0].command_line.ParseArgumentVector(
      {"/opt/vorn/pm", "--mute=no", "plain"});
  SetArgs({"vorn_cli", "--mute"});
  base::ParsedCommandLine line =
      BuildProcessManagerCommandLine(context_, configs_[0], configs_, false);
  EXPECT_EQ(
      (base::StringVector{"/opt/vorn/pm", "--mute=no", "--mute", "plain"}),
      line.elements());
  EXPECT_EQ("", line.SwitchValue("mute"));
  // The record itself is not changed.
  EXPECT_EQ(3u, configs_[0].command_line.elements().size());
}

}  // namespace
}  // namespace vorn
