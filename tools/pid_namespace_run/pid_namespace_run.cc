// pid_namespace_run: runs a test program in a PID namespace of its own, with
// its own /proc, so that the process scans and signals of the package
// commands under test (start, stop, kill) see and reach only the test's
// processes. Used by CTest for the end-to-end tests; not part of the package.
//
//   pid_namespace_run ./process_control_test --gtest_filter=Stop.*
//   pid_namespace_run qemu-arm -L /sysroot ./process_control_test
//
// Inside, this program is process 1: it starts the test, reaps every orphan
// (the daemons a test leaves behind are reparented to it, and an unreaped
// one would still answer signal 0), and when the test ends it exits with the
// test's status, which ends everything left in the namespace. The test sees
// VORN_PID_NAMESPACE=1.
//
// Creating the namespace needs CAP_SYS_ADMIN (root here and in CI). Without
// it, this program says so on standard error and runs the test directly,
// with VORN_PID_NAMESPACE=0; tests that are only safe inside a namespace
// skip themselves then.

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

namespace {

// Exit status of the namespace's process 1 when /proc could not be mounted
// there; the caller then runs the test without a namespace.
constexpr int kNoNamespace = 125;

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

// Process 1 of the namespace: mounts its /proc, runs the test and reaps.
[[noreturn]] void RunAsInit(char** argv) {
  // End with the caller, even when CTest kills it at a time-out.
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
      mount("proc", "/proc", "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC,
            nullptr) != 0) {
    fprintf(stderr, "pid_namespace_run: cannot mount /proc: %s\n",
            strerror(errno));
    _exit(kNoNamespace);
  }
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

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: pid_namespace_run PROGRAM [ARGS...]\n");
    return 2;
  }
  char** test_argv = argv + 1;
  if (unshare(CLONE_NEWPID | CLONE_NEWNS) != 0) {
    RunDirectly(test_argv, strerror(errno));
  }
  pid_t init = fork();
  if (init < 0) RunDirectly(test_argv, strerror(errno));
  if (init == 0) RunAsInit(test_argv);
  int status = 0;
  while (waitpid(init, &status, 0) < 0) {
    if (errno != EINTR) return 1;
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == kNoNamespace) {
    RunDirectly(test_argv, "/proc could not be mounted");
  }
  return StatusOf(status);
}
