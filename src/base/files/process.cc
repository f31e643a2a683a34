#include "base/files/process.h"

#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>

#include "base/files/file_path.h"
#include "base/files/file_util.h"
#include "base/logging/eintr.h"
#include "base/logging/logging.h"
#include "base/logging/string_number.h"

namespace base {

namespace {

constexpr char kProcDir[] = "/proc";
constexpr char kDeletedSuffix[] = " (deleted)";
// A scan step gives up after this many directory entries in a row that are
// not process ids.
constexpr int kMaxSkippedEntries = 200;
// Longest exe link target read, in bytes.
constexpr size_t kMaxLinkTarget = 4096;

// The fields of /proc/<pid>/stat that the scan uses.
struct StatRecord {
  char state = 0;
  pid_t ppid = 0;
  pid_t pgrp = 0;
};

// Parses "pid (comm) S ppid pgrp ...". The command name may hold blanks and
// parentheses, so the fields are found after its last ")". False when the
// record is cut short, a number does not parse, or the state is not exactly
// one character.
bool ParseStatRecord(std::string_view text, StatRecord* record) {
  size_t close = text.rfind(')');
  if (close == std::string_view::npos) return false;
  std::string_view rest = text.substr(close + 1);
  std::string_view fields[3];
  for (std::string_view& field : fields) {
    if (rest.empty() || rest.front() != ' ') return false;
    rest.remove_prefix(1);
    size_t end = rest.find(' ');
    field = rest.substr(0, end);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end);
  }
  if (fields[0].size() != 1) return false;
  int32_t ppid = 0;
  int32_t pgrp = 0;
  if (!StringToInt32(fields[1], &ppid) || !StringToInt32(fields[2], &pgrp)) {
    return false;
  }
  record->state = fields[0][0];
  record->ppid = ppid;
  record->pgrp = pgrp;
  return true;
}

// /proc/<pid>/<name>.
FilePath ProcessFile(pid_t pid, const char* name) {
  return FilePath(kProcDir).Append(std::to_string(pid)).Append(name);
}

bool ReadStatRecord(pid_t pid, StatRecord* record) {
  std::string text;
  return ReadFileToString(ProcessFile(pid, "stat"), &text) &&
         ParseStatRecord(text, record);
}

// The NUL-separated fields of a cmdline file; the NUL that ends the last
// field does not open another.
std::vector<std::string> SplitCommandLine(std::string_view text) {
  std::vector<std::string> args;
  while (!text.empty()) {
    size_t nul = text.find('\0');
    args.emplace_back(text.substr(0, nul));
    if (nul == std::string_view::npos) break;
    text.remove_prefix(nul + 1);
  }
  return args;
}

// A directory entry name that is a process id: digits only.
bool ParsePidName(const char* name, pid_t* pid) {
  if (*name < '0' || *name > '9') return false;
  for (const char* c = name; *c != '\0'; ++c) {
    if (*c < '0' || *c > '9') return false;
  }
  int32_t value = 0;
  if (!StringToInt32(name, &value) || value <= 0) return false;
  *pid = value;
  return true;
}

}  // namespace

bool ProcessHandle::WaitForProcessExit(int* exit_code,
                                       bool* got_exit_code) const {
  if (got_exit_code != nullptr) *got_exit_code = false;
  if (pid_ == getpid()) return false;
  // A process whose stat record is gone, or whose parent is 0, has no parent
  // left to reap it: it has already ended.
  StatRecord record;
  bool had_parent = ReadStatRecord(pid_, &record) && record.ppid != 0;

  int status = 0;
  pid_t result = RetryOnEintr([&] { return waitpid(pid_, &status, 0); });
  if (result != pid_) return !had_parent;
  if (WIFEXITED(status)) {
    *exit_code = WEXITSTATUS(status);
  } else if (WIFSIGNALED(status)) {
    *exit_code = -1;
  } else {
    return false;  // stopped or continued: not an end
  }
  if (got_exit_code != nullptr) *got_exit_code = true;
  return true;
}

std::string ExecutableBaseName(std::string_view link_target) {
  std::string_view name = link_target;
  size_t slash = name.rfind('/');
  if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
  std::string_view suffix(kDeletedSuffix);
  if (name.size() > suffix.size() &&
      name.substr(name.size() - suffix.size()) == suffix) {
    name.remove_suffix(suffix.size());
  }
  return std::string(name);
}

bool GetProcessExecutablePath(pid_t pid, std::string* target) {
  target->clear();
  std::string link = ProcessFile(pid, "exe").value();
  char buffer[kMaxLinkTarget];
  ssize_t length = RetryOnEintr(
      [&] { return readlink(link.c_str(), buffer, sizeof(buffer)); });
  if (length <= 0 || static_cast<size_t>(length) >= sizeof(buffer)) {
    return false;
  }
  target->assign(buffer, static_cast<size_t>(length));
  return true;
}

bool GetProcessExecutableName(pid_t pid, std::string* name) {
  std::string target;
  GetProcessExecutablePath(pid, &target);
  *name = ExecutableBaseName(target);
  return !name->empty();
}

bool GetProcessExecutableFileId(pid_t pid, FileId* id) {
  return GetFileId(ProcessFile(pid, "exe"), id);
}

bool GetProcessCommandLine(pid_t pid, std::vector<std::string>* args) {
  args->clear();
  std::string text;
  if (!ReadFileToString(ProcessFile(pid, "cmdline"), &text)) return false;
  *args = SplitCommandLine(text);
  return true;
}

NamedProcessIterator::NamedProcessIterator(std::string_view executable_name)
    : executable_name_(executable_name), proc_dir_(opendir(kProcDir)) {
  if (proc_dir_ == nullptr) PLOG(ERROR) << "opendir " << kProcDir;
}

NamedProcessIterator::~NamedProcessIterator() {
  if (proc_dir_ != nullptr) closedir(proc_dir_);
}

const ProcessEntry* NamedProcessIterator::NextProcessEntry() {
  // An empty name would match every process whose executable cannot be read.
  if (executable_name_.empty()) return nullptr;
  while (AdvanceToNextProcess()) {
    if (!entry_.exe_file.empty() && entry_.exe_file == executable_name_) {
      return &entry_;
    }
  }
  return nullptr;
}

bool NamedProcessIterator::AdvanceToNextProcess() {
  if (proc_dir_ == nullptr) return false;
  int skipped = 0;
  while (struct dirent* dir_entry = readdir(proc_dir_)) {
    pid_t pid = 0;
    if (!ParsePidName(dir_entry->d_name, &pid)) {
      if (++skipped >= kMaxSkippedEntries) break;
      continue;
    }
    FilePath dir = FilePath(kProcDir).Append(dir_entry->d_name);
    std::string cmdline;
    StatRecord record;
    if (!ReadFileToString(dir.Append("cmdline"), &cmdline) ||
        !ReadStatRecord(pid, &record) || record.state == 'Z') {
      continue;
    }
    entry_.pid = pid;
    entry_.ppid = record.ppid;
    entry_.gid = record.pgrp;
    entry_.cmd_line_args = SplitCommandLine(cmdline);
    GetProcessExecutableName(pid, &entry_.exe_file);
    return true;
  }
  closedir(proc_dir_);
  proc_dir_ = nullptr;
  return false;
}

void Sleep(TimeDelta duration) {
  int64_t us = duration.InMicroseconds();
  if (us <= 0) return;
  // time_t may be 32 bits: a longer sleep is cut to about 68 years.
  int64_t seconds = us / 1000000;
  if (seconds > INT32_MAX) seconds = INT32_MAX;
  struct timespec request;
  request.tv_sec = static_cast<time_t>(seconds);
  request.tv_nsec = static_cast<long>((us % 1000000) * 1000);
  // After an interruption, sleep again for what is left.
  RetryOnEintr([&] {
    struct timespec remaining = {0, 0};
    int result = nanosleep(&request, &remaining);
    if (result == -1 && errno == EINTR) request = remaining;
    return result;
  });
}

}  // namespace base
