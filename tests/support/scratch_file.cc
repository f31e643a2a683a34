#include "tests/support/scratch_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "base/logging/eintr.h"

namespace vorn {
namespace test {

int OpenScratchFile() {
  const char* base = getenv("TMPDIR");
  const std::string dir = base && *base ? base : "/tmp";
  int fd = base::RetryOnEintr([&dir] {
    return open(dir.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  });
  if (fd >= 0) return fd;
  // File systems without O_TMPFILE: a named file, unlinked at once.
  const std::string pattern = dir + "/vorn_scratch.XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  fd = base::RetryOnEintr([&name] { return mkostemp(name.data(), O_CLOEXEC); });
  if (fd >= 0) unlink(name.data());
  return fd;
}

std::string ReadScratchFile(int fd) {
  std::string content;
  if (fd < 0) return content;
  char buffer[65536];
  off_t offset = 0;
  for (;;) {
    const ssize_t n = base::RetryOnEintr(
        [&] { return pread(fd, buffer, sizeof(buffer), offset); });
    if (n <= 0) break;
    content.append(buffer, static_cast<size_t>(n));
    offset += n;
  }
  return content;
}

}  // namespace test
}  // namespace vorn
