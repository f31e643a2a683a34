#include "tests/support/output_capture.h"

#include <fcntl.h>

#include <cstdio>

#include "base/logging/eintr.h"
#include "tests/support/scratch_file.h"

namespace vorn {
namespace test {

namespace {

void FlushStdio(int fd) { fflush(fd == STDOUT_FILENO ? stdout : stderr); }

}  // namespace

ScopedOutputCapture::ScopedOutputCapture(int fd) : fd_(fd) {
  file_fd_ = OpenScratchFile();
  if (file_fd_ < 0) return;
  FlushStdio(fd_);
  saved_fd_ = fcntl(fd_, F_DUPFD_CLOEXEC, 0);
  if (saved_fd_ < 0 ||
      base::RetryOnEintr([this] { return dup2(file_fd_, fd_); }) < 0) {
    if (saved_fd_ >= 0) close(saved_fd_);
    saved_fd_ = -1;
    close(file_fd_);
    file_fd_ = -1;
  }
}

ScopedOutputCapture::~ScopedOutputCapture() {
  Restore();
  if (file_fd_ >= 0) close(file_fd_);
}

std::string ScopedOutputCapture::Text() const {
  if (saved_fd_ >= 0) FlushStdio(fd_);
  return ReadScratchFile(file_fd_);
}

std::string ScopedOutputCapture::Finish() {
  Restore();
  std::string text = ReadScratchFile(file_fd_);
  if (file_fd_ >= 0) close(file_fd_);
  file_fd_ = -1;
  return text;
}

void ScopedOutputCapture::Restore() {
  if (saved_fd_ < 0) return;
  FlushStdio(fd_);
  base::RetryOnEintr([this] { return dup2(saved_fd_, fd_); });
  close(saved_fd_);
  saved_fd_ = -1;
}

}  // namespace test
}  // namespace vorn
