// Unnamed temporary files for the test helpers: the child runner keeps a
// child's output in them, and ScopedOutputCapture this process's own.
//
//   int fd = OpenScratchFile();
//   ... let something write to fd ...
//   std::string text = ReadScratchFile(fd);
//   close(fd);
//
// Internal to tests/support; tests use the helpers built on it.

#ifndef VORN_TESTS_SUPPORT_SCRATCH_FILE_H_
#define VORN_TESTS_SUPPORT_SCRATCH_FILE_H_

#include <string>

namespace vorn {
namespace test {

// A new unnamed file under $TMPDIR (or /tmp), open for reading and writing
// with close-on-exec set; the caller owns the descriptor. -1 on failure.
int OpenScratchFile();

// Everything in the file open at `fd`, from its first byte, whatever the
// file offset is (the offset is left alone). Empty when `fd` is -1.
std::string ReadScratchFile(int fd);

}  // namespace test
}  // namespace vorn

#endif  // VORN_TESTS_SUPPORT_SCRATCH_FILE_H_
