// The process manager's pid file as the stop and start commands read it:
// the input is the file's content, written to the path the
// "process-manager-pid-path" switch names, then read with
// ReadProcessManagerPid, once trusting any live process, once knowing the
// process manager as a program no process runs (so a live pid is identified
// through its /proc entries, executable and command line, and found to be
// another program's), and once with the identity left to be loaded from a
// process.json that does not exist.
//
// Checked against a reference: a file is a record only when it holds at most
// kPidFileMaxSize bytes forming an optional sign and decimal digits of a
// value from 1 to 2147483647 (0 and negatives would signal a process group
// or every process) that is neither this process's pid nor 1. Then the pid
// is returned exactly when that process is alive (and, when the program is
// known, runs it; none here does, so such a record is deleted as stale).
// Anything else gives 0 and leaves the file.

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "base/files/command_line.h"
#include "base/logging/logging.h"
#include "fuzz/fuzz_check.h"
#include "vorn_package/process_manager_control.h"

namespace {

using vorn::fuzz::Check;

std::string g_path;  // the pid file, in a folder of its own
// Its switch names g_path; its executable folder is g_path's, with no
// process.json.
vorn::PackageContext g_context;

// The pid `content` records: an optional sign and decimal digits of a value
// from 1 to 2147483647, nothing else; 0 when it records none.
pid_t ReferencePid(const std::string& content) {
  size_t i = 0;
  bool negative = false;
  if (i < content.size() && (content[i] == '+' || content[i] == '-')) {
    negative = content[i] == '-';
    ++i;
  }
  if (i == content.size()) return 0;
  int64_t value = 0;
  for (; i < content.size(); ++i) {
    if (content[i] < '0' || content[i] > '9') return 0;
    value = value * 10 + (content[i] - '0');
    if (value > INT32_MAX) value = INT64_C(1) << 40;  // stays out of range
  }
  if (negative || value <= 0 || value > INT32_MAX) return 0;
  return static_cast<pid_t>(value);
}

void WritePidFile(const uint8_t* data, size_t size) {
  unlink(g_path.c_str());
  const int fd = open(g_path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  Check(fd >= 0);
  Check(fchmod(fd, 0644) == 0);
  Check(write(fd, data, size) == static_cast<ssize_t>(size));
  close(fd);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vorn::fuzz::SilenceLogging();
  const char* tmp = getenv("TMPDIR");
  std::string folder =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/pid_file_fuzzer.XXXXXX";
  Check(mkdtemp(folder.data()) != nullptr);
  g_path = folder + "/process_manager.pid";
  g_context.command_line.ParseArgumentVector(
      {"vorn_cli", "stop", "vorn", "--process-manager-pid-path=" + g_path});
  g_context.exe_dir = base::FilePath(folder);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string content(reinterpret_cast<const char*>(data), size);
  const pid_t parsed_expected = ReferencePid(content);
  pid_t parsed = -1;
  Check(vorn::ParsePidFileContent(content, &parsed) == (parsed_expected != 0));
  Check(parsed == (parsed_expected != 0 ? parsed_expected : -1));
  // The file is read only up to its size limit; this process and init are
  // never a record.
  const bool protected_pid =
      parsed_expected == getpid() || parsed_expected == 1;
  const pid_t expected = size <= vorn::kPidFileMaxSize && !protected_pid
                             ? parsed_expected
                             : pid_t{0};
  const bool alive =
      expected != 0 && (kill(expected, 0) == 0 || errno == EPERM);

  // Any live process is the process manager: no process.json to read.
  WritePidFile(data, size);
  std::optional<vorn::ProcessManagerIdentity> unread;
  Check(vorn::ReadProcessManagerPid(g_context, true, &unread) ==
        (alive ? expected : 0));
  Check(unread.has_value() == alive);

  // A process manager no live process is: a valid record is stale.
  WritePidFile(data, size);
  vorn::ProcessManagerIdentity nobody;
  nobody.known = true;
  nobody.program = "/nonexistent/no-such-process-manager";
  nobody.resolved_program = nobody.program;
  nobody.log_wrapper = "/nonexistent/no-such-wrapper";
  std::optional<vorn::ProcessManagerIdentity> known = nobody;
  Check(vorn::ReadProcessManagerPid(g_context, false, &known) == 0);
  struct stat info;
  const bool kept = stat(g_path.c_str(), &info) == 0;
  Check(kept == (expected == 0));
  return 0;
}
