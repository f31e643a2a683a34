// The shared test helpers: a wrong matcher or runner would let other tests
// pass without checking anything, so their own behaviour is pinned here.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "base/logging/logging.h"
#include "gtest/gtest.h"
#include "tests/support/child_process.h"
#include "tests/support/files.h"
#include "tests/support/log_capture.h"
#include "tests/support/log_line.h"
#include "tests/support/output_capture.h"
#include "tests/support/temp_dir.h"

namespace vorn {
namespace test {
namespace {

TEST(LogLineTest, SplitsALineIntoItsParts) {
  std::optional<LogLine> line = ParseLogLine(
      "[1208/043344.123456:ERROR:package_utils.cc(217)] Invalid pid: pid=12\n");
  ASSERT_TRUE(line);
  EXPECT_EQ("1208/043344.123456", line->prefix);
  EXPECT_EQ("ERROR", line->severity);
  EXPECT_EQ("package_utils.cc", line->file);
  EXPECT_EQ(217, line->line);
  EXPECT_EQ("Invalid pid: pid=12", line->text);

  std::optional<LogLine> bare = ParseLogLine("[VERBOSE2:a.cc(1)] x");
  ASSERT_TRUE(bare);
  EXPECT_EQ("VERBOSE2", bare->severity);
  EXPECT_EQ("", bare->prefix);

  std::optional<LogLine> empty_text = ParseLogLine("[INFO:a.cc(3)]");
  ASSERT_TRUE(empty_text);
  EXPECT_EQ("", empty_text->text);
}

TEST(LogLineTest, RefusesWhatIsNotALogLine) {
  for (const char* text :
       {"", "plain text", "[INFO:a.cc] x", "[NOTICE:a.cc(1)] x",
        "[12/3:INFO:a.cc(1)] x", "[INFO:a.cc(x)] y", "INFO:a.cc(1)] x"}) {
    EXPECT_FALSE(ParseLogLine(text)) << text;
  }
}

TEST(LogLineTest, MatchesSeverityFileAndExactText) {
  const std::string output =
      "[1208/043344.123456:WARNING:a.cc(1)] first\n"
      "[1208/043344.123457:ERROR:b.cc(2)] second\n"
      "continued\n";
  EXPECT_TRUE(HasLogLine(output, "WARNING", "a.cc", "first"));
  EXPECT_TRUE(HasLogLine(output, "ERROR", "", "second\ncontinued"));
  EXPECT_FALSE(HasLogLine(output, "ERROR", "a.cc", "first"));
  EXPECT_FALSE(HasLogLine(output, "WARNING", "a.cc", "firs"));
  EXPECT_FALSE(IsOnlyLogLine(output, "WARNING", "a.cc", "first"));
  EXPECT_TRUE(IsOnlyLogLine("[INFO:a.cc(1)] x\n", "INFO", "a.cc", "x"));
  EXPECT_EQ(1, CountLogLines(output, "ERROR", "sec"));
  EXPECT_EQ(0, CountLogLines(output, "INFO", ""));
}

TEST(LogCaptureTest, CollectsMessagesInsteadOfWritingThem) {
  ScopedLogCapture capture;
  LOG(WARNING) << "value=" << 3;
  LOG(ERROR) << "second";
  std::vector<CapturedMessage> messages = capture.messages();
  ASSERT_EQ(2u, messages.size());
  EXPECT_EQ(logging::LOG_WARNING, messages[0].severity);
  EXPECT_EQ("test_support_test.cc", messages[0].file);
  EXPECT_EQ("value=3", messages[0].text);
  EXPECT_TRUE(capture.Has(logging::LOG_ERROR, "second"));
  EXPECT_FALSE(capture.Has(logging::LOG_WARNING, "second"));
  EXPECT_EQ(1, capture.Count(logging::LOG_WARNING, "value"));
  EXPECT_TRUE(ParseLogLine(messages[1].full_line));
  capture.Clear();
  EXPECT_TRUE(capture.messages().empty());
}

TEST(OutputCaptureTest, CatchesDescriptorAndStdioWritesThenRestores) {
  std::string first;
  {
    ScopedOutputCapture err;
    fputs("stdio ", stderr);  // buffered or not, it is flushed into the capture
    ASSERT_EQ(4, write(STDERR_FILENO, "raw\n", 4));
    EXPECT_EQ("stdio raw\n", err.Text());
    LOG(WARNING) << "logged";
    first = err.Finish();
    EXPECT_EQ("", err.Finish());
  }
  EXPECT_EQ(0u, first.find("stdio raw\n"));
  EXPECT_TRUE(IsOnlyLogLine(first.substr(10), "WARNING", "test_support_test.cc",
                            "logged"));

  // Standard output, and a second capture after the first was restored.
  ScopedOutputCapture out(STDOUT_FILENO);
  ScopedOutputCapture err;
  printf("to stdout\n");
  fprintf(stderr, "to stderr\n");
  EXPECT_EQ("to stdout\n", out.Finish());
  EXPECT_EQ("to stderr\n", err.Finish());
}

TEST(ChildProcessTest, CapturesOutputStatusAndEnvironment) {
  ChildOptions options;
  options.argv = {"/bin/sh", "-c",
                  "read line; echo \"$line $VORN_X\"; echo err >&2; exit 3"};
  options.env = {{"VORN_X", "set"}};
  options.stdin_data = "input\n";
  ChildResult result = RunChild(options);
  EXPECT_TRUE(result.started);
  EXPECT_EQ(3, result.exit_code);
  EXPECT_EQ(0, result.term_signal);
  EXPECT_EQ("input set\n", result.out);
  EXPECT_EQ("err\n", result.err);
}

TEST(ChildProcessTest, ReportsSignalsTimeOutsAndFailedExec) {
  ChildOptions signalled;
  signalled.argv = {"/bin/sh", "-c", "kill -TERM $$"};
  ChildResult result = RunChild(signalled);
  EXPECT_EQ(-1, result.exit_code);
  EXPECT_EQ(SIGTERM, result.term_signal);

  ChildOptions slow;
  slow.argv = {"/bin/sh", "-c", "sleep 30"};
  slow.timeout_ms = 100;
  result = RunChild(slow);
  EXPECT_TRUE(result.timed_out);
  EXPECT_EQ(SIGKILL, result.term_signal);
  EXPECT_LT(result.elapsed_ms, 10000);

  ChildOptions missing;
  missing.argv = {"/nonexistent/program"};
  EXPECT_EQ(127, RunChild(missing).exit_code);
}

TEST(ChildProcessTest, BackgroundChildRunsUntilSignalled) {
  ChildProcess child;
  ChildOptions options;
  options.argv = {"/bin/sh", "-c", "echo up; exec sleep 30"};
  ASSERT_TRUE(child.Start(options));
  ChildResult result;
  EXPECT_FALSE(child.Wait(50, &result));
  // Signal only once the shell has written its line: on a loaded machine it
  // may not have run at all yet.
  const int64_t deadline = MonotonicMilliseconds() + 10000;
  while (child.ReadOutput().empty() && MonotonicMilliseconds() < deadline) {
    usleep(1000);
  }
  EXPECT_EQ("up\n", child.ReadOutput());
  EXPECT_TRUE(child.Signal(SIGTERM));
  ASSERT_TRUE(child.Wait(10000, &result));
  EXPECT_EQ(SIGTERM, result.term_signal);
  EXPECT_EQ("up\n", result.out);
  EXPECT_FALSE(child.running());
}

TEST(TempDirTest, IsRemovedWithItsContents) {
  std::string path;
  {
    ScopedTempDir dir;
    ASSERT_TRUE(dir.valid());
    path = dir.path();
    ASSERT_EQ(0, mkdir(dir.Path("sub").c_str(), 0500));
    ASSERT_TRUE(WriteFile(dir.Path("file"), "abc"));
    EXPECT_EQ("abc", ReadFile(dir.Path("file")));
    ASSERT_EQ(0, symlink("/", dir.Path("link").c_str()));
  }
  struct stat info;
  EXPECT_NE(0, lstat(path.c_str(), &info));
  EXPECT_EQ("", ReadFile(path + "/file"));
}

}  // namespace
}  // namespace test
}  // namespace vorn
