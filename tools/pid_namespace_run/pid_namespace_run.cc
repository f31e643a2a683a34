// pid_namespace_run: runs a test program in a PID namespace of its own, with
// its own /proc, so that the process scans and signals of the package
// commands under test (start, stop, kill) see and reach only the test's
// processes. Used by CTest for the end-to-end tests; not part of the package.
//
//   pid_namespace_run ./process_control_test --gtest_filter=Stop.*
//   pid_namespace_run qemu-arm -L /sysroot ./process_control_test
//
// The namespace is made by a child of this program, never by this program
// itself: its process 1 (a grandchild) mounts /proc, starts the test, reaps
// every orphan (the daemons a test leaves behind are reparented to it, and
// an unreaped one would still answer signal 0), and when the test ends it
// exits with the test's status, which ends everything left in the
// namespace. The test sees VORN_PID_NAMESPACE=1.
//
// Creating the namespace needs CAP_SYS_ADMIN (root here and in CI). When it
// cannot be made (unshare refused, or /proc not mountable), this program
// says so on standard error and runs the test itself, with
// VORN_PID_NAMESPACE=0; having never unshared, it can still fork. Tests that
// are only safe inside a namespace skip themselves then.
//
// In a chroot "/" is usually not a mount point; the mount that holds /proc
// is then the one made private before the new /proc goes on it.
//
// VORN_PID_NAMESPACE_RUN_FAIL=unshare or =mount makes that step act as if it
// had failed, so that tests can reach the fallback.

#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr char kFailSwitch[] = "VORN_PID_NAMESPACE_RUN_FAIL";

// True when VORN_PID_NAMESPACE_RUN_FAIL asks `step` to fail.
bool ForcedToFail(const char* step) {
  const char* value = getenv(kFailSwitch);
  return value != nullptr && strcmp(value, step) == 0;
}

[[noreturn]] void RunDirectly(char** argv, const char* reason) {
  fprintf(stderr,
          "pid_namespace_run: no PID namespace (%s); running %s without one\n",
          reason, argv[0]);
  setenv("VORN_PID_NAMESPACE", "0", 1);
  execvp(argv[0], argv);
  fprintf(stderr, "pid_namespace_run: cannot run %s: %s\n", argv[0],
          strerror(errno));
  _exit(127);
}

int StatusOf(int wait_status) {
  if (WIFEXITED(wait_status)) return WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) return 128 + WTERMSIG(wait_status);
  return 1;
}

// Waits for `pid`; its status as StatusOf gives it, 1 when the wait fails.
int WaitFor(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  return StatusOf(status);
}

// A mount point as /proc/self/mountinfo writes it, with its octal escapes
// (\040 for a blank, ...) undone.
std::string UnescapeMountPoint(const std::string& field) {
  std::string out;
  auto octal = [&](size_t i) { return field[i] >= '0' && field[i] <= '7'; };
  for (size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) &&
        octal(i + 2) && octal(i + 3)) {
      out += static_cast<char>((field[i + 1] - '0') * 64 +
                               (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

// The mount point that `path` lies on: the longest mount point in
// /proc/self/mountinfo that is `path` or one of its parent folders. Empty
// when the table cannot be read.
std::string MountPointHolding(const std::string& path) {
  std::ifstream table("/proc/self/mountinfo");
  std::string best;
  std::string line;
  while (std::getline(table, line)) {
    // Fields: mount id, parent id, major:minor, root, mount point, ...
    size_t start = 0;
    for (int field = 0; field < 4 && start != std::string::npos; ++field) {
      start = line.find(' ', start);
      if (start != std::string::npos) ++start;
    }
    if (start == std::string::npos) continue;
    std::string point =
        UnescapeMountPoint(line.substr(start, line.find(' ', start) - start));
    bool holds = point == "/" || path == point ||
                 path.compare(0, point.size() + 1, point + "/") == 0;
    if (holds && point.size() > best.size()) best = point;
  }
  return best;
}

// Keeps the new /proc from reaching the mounts outside the namespace: the
// whole tree becomes private, or, where "/" is no mount point (a chroot),
// the mount that holds /proc.
bool MakeProcMountPrivate() {
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0) {
    return true;
  }
  if (errno != EINVAL) return false;
  std::string point = MountPointHolding("/proc");
  if (point.empty()) return false;
  return mount(nullptr, point.c_str(), nullptr, MS_REC | MS_PRIVATE, nullptr) ==
         0;
}

// Process 1 of the namespace: mounts its /proc, tells the caller through
// `ready_fd` (one byte) that the namespace stands, runs the test and reaps.
[[noreturn]] void RunAsInit(char** argv, int ready_fd) {
  // End with the caller, even when CTest kills it at a time-out.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (ForcedToFail("mount") || !MakeProcMountPrivate() ||
      mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC,
            nullptr) != 0) {
    fprintf(stderr, "pid_namespace_run: cannot mount /proc: %s\n",
            ForcedToFail("mount") ? "forced" : strerror(errno));
    _exit(1);
  }
  char byte = 1;
  bool told = write(ready_fd, &byte, 1) == 1;
  close(ready_fd);
  if (!told) _exit(1);
  setenv("VORN_PID_NAMESPACE", "1", 1);
  pid_t test = fork();
  if (test < 0) {
    fprintf(stderr, "pid_namespace_run: fork: %s\n", strerror(errno));
    _exit(1);
  }
  if (test == 0) {
    execvp(argv[0], argv);
    fprintf(stderr, "pid_namespace_run: cannot run %s: %s\n", argv[0],
            strerror(errno));
    _exit(127);
  }
  for (;;) {
    int status = 0;
    pid_t done = wait(&status);
    if (done == test) _exit(StatusOf(status));
    if (done < 0 && errno != EINTR) _exit(1);
  }
}

// The child that unshares: its children are made in the new namespace, and
// once the first of them (process 1) has ended it must not fork again, so
// it only waits and passes the status on. _exit skips exit-time work that
// might fork (a leak checker's helper, under sanitizers).
[[noreturn]] void MakeNamespace(char** argv, int ready_fd) {
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (ForcedToFail("unshare") || unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) {
    fprintf(stderr, "pid_namespace_run: unshare: %s\n",
            ForcedToFail("unshare") ? "forced" : strerror(errno));
    _exit(1);
  }
  pid_t init = fork();
  if (init < 0) _exit(1);
  if (init == 0) RunAsInit(argv, ready_fd);
  close(ready_fd);
  _exit(WaitFor(init));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: pid_namespace_run PROGRAM [ARGS...]\n");
    return 2;
  }
  char** test_argv = argv + 1;
  // Process 1 writes one byte once the namespace stands; without it, the
  // read sees the end of the pipe when the helpers have gone.
  int ready[2];
  if (pipe2(ready, O_CLOEXEC) != 0) RunDirectly(test_argv, strerror(errno));
  pid_t maker = fork();
  if (maker < 0) RunDirectly(test_argv, strerror(errno));
  if (maker == 0) {
    close(ready[0]);
    MakeNamespace(test_argv, ready[1]);
  }
  close(ready[1]);
  char byte = 0;
  ssize_t n;
  do {
    n = read(ready[0], &byte, 1);
  } while (n < 0 && errno == EINTR);
  close(ready[0]);
  int status = WaitFor(maker);
  if (n != 1) RunDirectly(test_argv, "the namespace could not be made");
  return status;
}
