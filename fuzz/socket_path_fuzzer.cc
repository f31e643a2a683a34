// The socket-path file that vorn_shell leaves for vorn_cli: the input is the
// file's content, written to a temporary file that the
// "vorn-cli-socket-file-path" switch names, then read with ReadSocketPath.
//
// Checked: a content of at most kMaxSocketPathLength bytes comes back
// unchanged up to its first NUL byte (a path ends there); a longer one gives
// the empty path.

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "base/files/command_line.h"
#include "base/logging/logging.h"
#include "fuzz/fuzz_check.h"
#include "vorn_package/package_utils.h"

namespace {

using vorn::fuzz::Check;

std::string g_path;  // the socket-path file, in a folder of its own

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vorn::fuzz::SilenceLogging();
  const char* tmp = getenv("TMPDIR");
  std::string folder =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/socket_path_fuzzer.XXXXXX";
  Check(mkdtemp(folder.data()) != nullptr);
  g_path = folder + "/vorn-cli-socket.path";
  base::ResetProcessCommandLineForTesting(
      {"vorn_cli", "status", "--vorn-cli-socket-file-path=" + g_path});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = open(g_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Check(fd >= 0);
  Check(write(fd, data, size) == static_cast<ssize_t>(size));
  close(fd);

  const std::string path = vorn::ReadSocketPath().value();
  const std::string content(reinterpret_cast<const char*>(data), size);
  if (size <= vorn::kMaxSocketPathLength) {
    Check(path == content.substr(0, content.find('\0')));
  } else {
    Check(path.empty());
  }
  return 0;
}
