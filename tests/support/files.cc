#include "tests/support/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/files/file_util.h"
#include "base/logging/eintr.h"

namespace vorn {
namespace test {

std::string ReadFile(const std::string& path) {
  std::string content;
  const int fd = base::RetryOnEintr(
      [&path] { return open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return content;
  char buffer[65536];
  for (;;) {
    const ssize_t n =
        base::RetryOnEintr([&] { return read(fd, buffer, sizeof(buffer)); });
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
  }
  close(fd);
  return content;
}

bool WriteFile(const std::string& path, const std::string& contents,
               mode_t mode) {
  const int fd = base::RetryOnEintr([&] {
    return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  });
  if (fd < 0) return false;
  bool ok = base::WriteFileDescriptor(fd, contents.data(), contents.size());
  return close(fd) == 0 && ok;
}

bool CopyFile(const std::string& from, const std::string& to) {
  struct stat info;
  if (stat(from.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  std::string content = ReadFile(from);
  if (content.size() != static_cast<size_t>(info.st_size)) return false;
  unlink(to.c_str());
  return WriteFile(to, content, info.st_mode & 07777) &&
         chmod(to.c_str(), info.st_mode & 07777) == 0;
}

}  // namespace test
}  // namespace vorn
