// The socket-path file that vorn_shell leaves for vorn_cli: the input is the
// file's content, written to a temporary file that the
// "vorn-cli-socket-file-path" switch names, then read with ReadSocketPath.
//
// Each content is read three ways: as a file only its owner may write, as a
// file that group and others may write, and through a symbolic link to it.
//
// Checked: from the owner-only file, a content of at most
// kMaxSocketPathFileSize bytes comes back unchanged up to its first NUL byte
// (a path ends there) and a longer one gives the empty path with a reason;
// the writable file is refused as such when running as root and read alike
// otherwise; the link is always refused, whatever it points to.

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
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

std::string g_path;              // the socket-path file, in a folder of its own
std::string g_target;            // a file beside it, for the link
vorn::PackageContext g_context;  // whose switch names g_path

// ReadSocketPath's result and refusal, checked against the expectations.
void CheckRead(const std::string& path, const std::string& refusal) {
  std::string got_refusal;
  const std::string got = vorn::ReadSocketPath(g_context, &got_refusal).value();
  Check(got == path);
  Check(got_refusal == refusal);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vorn::fuzz::SilenceLogging();
  const char* tmp = getenv("TMPDIR");
  std::string folder =
      std::string(tmp && *tmp ? tmp : "/tmp") + "/socket_path_fuzzer.XXXXXX";
  Check(mkdtemp(folder.data()) != nullptr);
  g_path = folder + "/vorn-cli-socket.path";
  g_target = folder + "/target";
  g_context.command_line.ParseArgumentVector(
      {"vorn_cli", "status", "--vorn-cli-socket-file-path=" + g_path});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int fd = open(g_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  Check(fd >= 0);
  Check(write(fd, data, size) == static_cast<ssize_t>(size));
  close(fd);

  const std::string content(reinterpret_cast<const char*>(data), size);
  const bool fits = size <= vorn::kMaxSocketPathFileSize;
  const std::string path = fits ? content.substr(0, content.find('\0')) : "";
  const std::string too_large = fits ? "" : "it holds more than 4096 bytes";
  CheckRead(path, too_large);

  Check(chmod(g_path.c_str(), 0666) == 0);
  if (geteuid() == 0 && fits) {
    CheckRead("", "group or others may write it");
  } else {
    CheckRead(path, too_large);
  }

  Check(rename(g_path.c_str(), g_target.c_str()) == 0);
  Check(symlink(g_target.c_str(), g_path.c_str()) == 0);
  CheckRead("", "it is a symbolic link");
  Check(unlink(g_path.c_str()) == 0);
  return 0;
}
