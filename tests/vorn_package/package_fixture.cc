#include "tests/vorn_package/package_fixture.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <string>

#include "base/files/process.h"
#include "tests/support/files.h"

namespace vorn {
namespace test {

namespace {

std::string Environment(const char* name) {
  const char* value = getenv(name);
  return value ? value : "";
}

// The state letter of /proc/<pid>/stat, or 0 when it cannot be read.
char ProcessState(pid_t pid) {
  std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
  size_t paren = stat.rfind(')');
  if (paren == std::string::npos || paren + 2 >= stat.size()) return 0;
  return stat[paren + 2];
}

}  // namespace

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string JsonQuote(const std::string& text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') quoted += '\\';
    quoted += c;
  }
  return quoted + "\"";
}

bool IsAlive(pid_t pid) {
  if (pid <= 0 || kill(pid, 0) != 0) return false;
  char state = ProcessState(pid);
  return state != 0 && state != 'Z';
}

bool PackageTest::InPidNamespace() {
  return Environment("VORN_PID_NAMESPACE") == "1";
}

bool PackageTest::UnderEmulator() { return !EmulatorPrefix().empty(); }

void PackageTest::SetUp() {
  dir_ = std::make_unique<ScopedTempDir>();
  ASSERT_TRUE(dir_->valid());
  std::string cli = Environment("VORN_CLI");
  ASSERT_FALSE(cli.empty()) << "VORN_CLI must name the vorn_cli binary";
  ASSERT_FALSE(Environment("VORN_PROCESS_MANAGER").empty());
  ASSERT_FALSE(Environment("VORN_LOGSHIM").empty());

  // "<test name>_<pid>": unique across the tests of this program and across
  // programs that run at the same time (other builds of the suite too).
  std::string test_name =
      testing::UnitTest::GetInstance()->current_test_info()->name();
  std::string stem;
  for (char c : test_name.substr(0, 40)) {
    stem += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  }
  name_stem_ = stem + "_" + std::to_string(getpid());

  cli_ = Path("vorn_cli");
  ASSERT_TRUE(CopyFile(cli, cli_));
  manager_ = InstallStandIn(Environment("VORN_PROCESS_MANAGER"), "pm");
  ASSERT_FALSE(manager_.empty());
  manager_name_ = manager_.substr(manager_.rfind('/') + 1);
}

void PackageTest::TearDown() {
  // Nothing of this test may outlive it: processes under its names are
  // killed by pid (never by a name pattern).
  for (const std::string& name : names_) {
    for (pid_t pid : RunningInstances(name)) kill(pid, SIGKILL);
  }
  for (const std::string& name : names_) {
    for (pid_t pid : RunningInstances(name)) WaitUntilGone(pid, 5000);
  }
  dir_.reset();
}

std::string PackageTest::InstallStandIn(const std::string& source,
                                        const std::string& role) {
  std::string name = role + "_" + name_stem_;
  std::string path = Path(name);
  if (!CopyFile(source, path)) return "";
  chmod(path.c_str(), 0755);
  names_.push_back(name);
  return path;
}

std::string PackageTest::InstallManagerCopy(const std::string& role) {
  return InstallStandIn(Environment("VORN_PROCESS_MANAGER"), role);
}

std::string PackageTest::InstallLogshim() {
  return InstallStandIn(Environment("VORN_LOGSHIM"), "logshim");
}

void PackageTest::WriteProcessJson(
    const std::vector<std::string>& args, const std::string& entry_extra,
    const std::vector<std::string>& more_entries) {
  std::string command = JsonQuote("${DIR_EXE}/" + manager_name_) + ", " +
                        JsonQuote("--record-command-line=${DIR_TEMP}/" +
                                  std::string("manager.args")) +
                        ", " +
                        JsonQuote("--record-signals=${DIR_TEMP}/" +
                                  std::string("manager.signals"));
  for (const std::string& arg : args) command += ", " + JsonQuote(arg);
  std::string text =
      "[\n  {\"name\": \"process_manager\", \"command\": [" + command + "]";
  if (!entry_extra.empty()) text += ",\n   " + entry_extra;
  text += "}";
  for (const std::string& entry : more_entries) text += ",\n  " + entry;
  text += "\n]\n";
  WriteRawProcessJson(text);
}

void PackageTest::WriteRawProcessJson(const std::string& text) {
  ASSERT_TRUE(WriteFile(Path("process.json"), text));
}

ChildOptions PackageTest::CliOptions(
    const std::vector<std::string>& args) const {
  ChildOptions options;
  options.argv = WithEmulator({cli_});
  options.argv.insert(options.argv.end(), args.begin(), args.end());
  options.env = {{"TMPDIR", dir()}};
  options.cwd = dir();
  return options;
}

ChildResult PackageTest::RunCli(const std::vector<std::string>& args,
                                int timeout_ms) {
  ChildOptions options = CliOptions(args);
  options.timeout_ms = timeout_ms;
  return RunChild(options);
}

bool PackageTest::StartCli(const std::vector<std::string>& args,
                           ChildProcess* child) {
  return child->Start(CliOptions(args));
}

bool PackageTest::StartProgram(const std::vector<std::string>& argv,
                               ChildProcess* child) {
  ChildOptions options;
  options.argv = argv;
  options.env = {{"TMPDIR", dir()}};
  options.cwd = dir();
  return child->Start(options);
}

std::vector<pid_t> PackageTest::RunningInstances(
    const std::string& name) const {
  std::vector<pid_t> pids;
  base::NamedProcessIterator instances(name);
  while (const base::ProcessEntry* entry = instances.NextProcessEntry()) {
    pids.push_back(entry->pid);
  }
  return pids;
}

bool PackageTest::WaitForFile(const std::string& path, int timeout_ms) const {
  int64_t deadline = MonotonicMilliseconds() + timeout_ms;
  while (access(path.c_str(), F_OK) != 0) {
    if (MonotonicMilliseconds() > deadline) return false;
    usleep(5000);
  }
  return true;
}

bool PackageTest::WaitUntilGone(pid_t pid, int timeout_ms) const {
  int64_t deadline = MonotonicMilliseconds() + timeout_ms;
  while (IsAlive(pid)) {
    if (MonotonicMilliseconds() > deadline) return false;
    usleep(5000);
  }
  return true;
}

std::vector<std::string> PackageTest::RecordedArgs() const {
  return SplitLines(ReadFile(args_file()));
}

std::vector<int64_t> PackageTest::RecordedSigterms(
    const std::string& path) const {
  std::vector<int64_t> times;
  for (const std::string& line :
       SplitLines(ReadFile(path.empty() ? signals_file() : path))) {
    if (line.compare(0, 8, "SIGTERM ") == 0) {
      times.push_back(std::strtoll(line.c_str() + 8, nullptr, 10));
    }
  }
  return times;
}

pid_t PackageTest::PidInFile() const {
  std::string text = ReadFile(pid_file());
  if (text.empty()) return 0;
  return static_cast<pid_t>(std::strtol(text.c_str(), nullptr, 10));
}

pid_t PackageTest::WaitForPidInFile(int timeout_ms) const {
  int64_t deadline = MonotonicMilliseconds() + timeout_ms;
  for (;;) {
    pid_t pid = PidInFile();
    if (IsAlive(pid)) return pid;
    if (MonotonicMilliseconds() > deadline) return 0;
    usleep(5000);
  }
}

}  // namespace test
}  // namespace vorn
