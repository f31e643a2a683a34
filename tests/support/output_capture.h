// ScopedOutputCapture: sends what this process writes to standard error (or
// standard output) into a scratch file while it lives, for tests that check
// the exact bytes a component writes there: the log line format and
// destinations, the usage texts, and the log lines of a plug-in library whose
// logging state is its own and so out of reach of ScopedLogCapture.
//
//   ScopedOutputCapture err;  // standard error
//   LOG(ERROR) << "Invalid pid: pid=" << 12;
//   EXPECT_TRUE(IsOnlyLogLine(err.Finish(), "ERROR", "x.cc",
//                             "Invalid pid: pid=12"));
//
// It works at the level of the file descriptor (dup2), so writes through
// write(2) and through stdio are both caught; stdio is flushed on the way in
// and out. Prefer ScopedLogCapture for what this process logs: it checks the
// messages without depending on where they would have gone. Captures of the
// same stream do not nest. Not thread-safe: start and finish it on the
// test's thread while nothing else writes to the stream.

#ifndef VORN_TESTS_SUPPORT_OUTPUT_CAPTURE_H_
#define VORN_TESTS_SUPPORT_OUTPUT_CAPTURE_H_

#include <unistd.h>

#include <string>

namespace vorn {
namespace test {

class ScopedOutputCapture {
 public:
  // Starts capturing `fd`, STDERR_FILENO or STDOUT_FILENO. When the scratch
  // file cannot be made the stream is left alone and Finish() returns "".
  explicit ScopedOutputCapture(int fd = STDERR_FILENO);
  // Restores the stream if Finish() has not.
  ~ScopedOutputCapture();

  ScopedOutputCapture(const ScopedOutputCapture&) = delete;
  ScopedOutputCapture& operator=(const ScopedOutputCapture&) = delete;

  // Everything written so far; the capture goes on.
  std::string Text() const;
  // Restores the stream and returns everything written while capturing.
  // Later calls return "".
  std::string Finish();

 private:
  void Restore();

  int fd_;             // the captured descriptor (1 or 2)
  int saved_fd_ = -1;  // a duplicate of the original stream; -1 once restored
  int file_fd_ = -1;   // the scratch file receiving the output; -1 after Finish
};

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_OUTPUT_CAPTURE_H_
