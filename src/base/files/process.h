// Processes: handles to wait for a child, a scan of /proc for the running
// instances of a program by executable name, and Sleep.
//
//   base::ProcessHandle child(pid);
//   int exit_code = 0;
//   if (child.WaitForProcessExit(&exit_code)) ...   // 3, or -1 if signalled
//
//   base::NamedProcessIterator it("process_manager");
//   while (const base::ProcessEntry* entry = it.NextProcessEntry())
//     kill(entry->pid, SIGTERM);
//
//   base::Sleep(base::TimeDelta::FromMilliseconds(100));
//
// Everything blocks on the calling thread; nothing throws.

#ifndef VORN_BASE_FILES_PROCESS_H_
#define VORN_BASE_FILES_PROCESS_H_

#include <dirent.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

#include "base/files/file_util.h"
#include "base/logging/time.h"

namespace base {

// A process id; 0 is no process. Copying or destroying a handle does nothing
// to the process: it neither kills nor reaps it.
class ProcessHandle {
 public:
  ProcessHandle() = default;
  explicit ProcessHandle(pid_t pid) : pid_(pid) {}

  bool IsValid() const { return pid_ != 0; }
  pid_t pid() const { return pid_; }

  // Waits, without a time limit, for the process to end and reaps it. On an
  // exit, `*exit_code` is its exit status; when a signal ended it, -1. Returns
  // true then. Returns false at once for the calling process itself, and when
  // the wait fails while the process still had a parent (it is not our
  // child, say). When the wait fails for a process that had no parent left
  // (already gone) it returns true without setting `*exit_code`:
  // `*got_exit_code`, when not null, tells the two true cases apart (it is
  // set true only when `*exit_code` was set). `exit_code` must not be null.
  bool WaitForProcessExit(int* exit_code, bool* got_exit_code = nullptr) const;

 private:
  pid_t pid_ = 0;  // 0: no process
};

// One running process as the scan of /proc saw it.
struct ProcessEntry {
  pid_t pid = 0;
  pid_t ppid = 0;  // parent process id
  pid_t gid = 0;   // process group id
  // The NUL-separated fields of /proc/<pid>/cmdline (empty for a kernel
  // thread).
  std::vector<std::string> cmd_line_args;
  // Base name of the /proc/<pid>/exe link, without a trailing " (deleted)";
  // empty when the link cannot be read (another user's process, say).
  std::string exe_file;
};

// The base name that a /proc/<pid>/exe link target stands for: the text
// after the last "/", with the " (deleted)" the kernel appends for a replaced
// or removed program cut off, so an old instance left running after an
// update still answers to its program's name.
std::string ExecutableBaseName(std::string_view link_target);

// Puts the executable base name (as ExecutableBaseName gives it) of process
// `pid` in `*name`; false, with `*name` empty, when its exe link cannot be
// read (gone, a kernel thread, another user's process).
bool GetProcessExecutableName(pid_t pid, std::string* name);

// Puts the target of process `pid`'s /proc/<pid>/exe link in `*target`, as
// the kernel gives it (a " (deleted)" suffix kept); false, with `*target`
// empty, when the link cannot be read.
bool GetProcessExecutablePath(pid_t pid, std::string* target);

// The FileId of the file process `pid` runs (its exe link followed, which
// works also when the file was removed since); false when it cannot be
// examined (gone, a kernel thread, another user's process).
bool GetProcessExecutableFileId(pid_t pid, FileId* id);

// The NUL-separated fields of /proc/<pid>/cmdline (none for a kernel thread
// or a zombie); false, with `*args` empty, when the file cannot be read.
bool GetProcessCommandLine(pid_t pid, std::vector<std::string>* args);

// Walks /proc once, yielding the live processes whose executable base name
// equals `executable_name` exactly (byte-wise). Zombies, processes whose
// cmdline or stat cannot be read, and processes whose executable name cannot
// be read are never yielded; an empty `executable_name` yields nothing.
// Processes that start or end during the walk may or may not appear. When
// /proc cannot be opened, one ERROR "opendir /proc" with the system's error
// text is logged and the scan yields nothing.
class NamedProcessIterator final {
 public:
  explicit NamedProcessIterator(std::string_view executable_name);
  ~NamedProcessIterator();

  NamedProcessIterator(const NamedProcessIterator&) = delete;
  NamedProcessIterator& operator=(const NamedProcessIterator&) = delete;

  // The next matching process, or null at the end of the walk. The entry
  // stays valid until the next call or the iterator's destruction.
  const ProcessEntry* NextProcessEntry();

 private:
  // Moves to the next process directory that can be read into `entry_`;
  // false at the end.
  bool AdvanceToNextProcess();

  const std::string executable_name_;
  DIR* proc_dir_;       // null once the walk ended or /proc failed to open
  ProcessEntry entry_;  // the last process read by AdvanceToNextProcess
};

// Blocks the calling thread for `duration`; sleeps on for the rest after an
// interruption. Zero or negative durations return at once.
void Sleep(TimeDelta duration);

}  // namespace base

#endif  // VORN_BASE_FILES_PROCESS_H_
